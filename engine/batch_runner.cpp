#include "engine/batch_runner.h"

#include "engine/app_state.h"
#include "engine/batch_file_reader.h"
#include "engine/batch_line.h"
#include "engine/compress_entry.h"
#include "engine/file_entries.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "engine/run_report.h"
#include "platform/cp932.h"
#include "platform/file_system.h"

namespace vedo {
namespace {

// The batch file cannot be run at all.
void showUnreadable(EngineContext& ctx, cp932::FixedText utf8) {
  const std::string text = cp932::fixed(utf8);
  if (ctx.report != nullptr) ctx.report->fileUnreadable();
  ctx.ui.playSound(Sound::Exclamation);
  ctx.ui.ShowNotice(NoticeKind::Error, ButtonAbort, text);
}

// A UTF-8 line holding a character CP932 cannot hold: its entry fails, the
// run goes on.
void reportUnconvertibleLine(EngineContext& ctx, int lineNumber) {
  const std::string text = cp932::fixed("バッチ処理ファイルの ") + std::to_string(lineNumber) +
                           cp932::fixed(" 行目に\rShift-JIS で表せない文字があります");
  if (ctx.report != nullptr) ctx.report->failed(text);
  if (!ReportsProblems(ctx.state)) return;
  ctx.ui.playSound(Sound::Exclamation);
  ctx.ui.ShowNotice(NoticeKind::Error, ButtonOk, text);
}

}  // namespace

void RunBatchFile(EngineContext& ctx) {
  const std::string fileName = ctx.fields.BatchFileName();
  if (!fs::fileExists(fileName)) {
    showUnreadable(ctx, "バッチ処理ファイルがありません");
    return;
  }

  BatchFileReader reader(fileName);
  // The header text is ASCII: a header line CP932 cannot hold is tested as
  // its UTF-8 bytes.
  if (!IsBatchHeader(reader.readLine().text)) {
    showUnreadable(ctx, "バッチ処理ファイルではありません");
    reader.close();
    return;
  }

  beginRun(ctx.state);

  int lineNumber = 1;
  while (!reader.atEnd()) {
    const BatchFileLine read = reader.readLine();
    ++lineNumber;
    if (!read.fitsCp932) {
      reportUnconvertibleLine(ctx, lineNumber);
      continue;
    }
    const BatchLine line = ParseBatchLine(read.text);
    if (line.setsCommand) ctx.state.EntryCommand = line.command;
    if (line.jobDialogs) ctx.state.JobDialogs = *line.jobDialogs;

    switch (line.action) {
      case BatchLineAction::Skip:
        continue;
      case BatchLineAction::Incomplete:
        if (ctx.report != nullptr)
          ctx.report->entryFailed(line.source, line.target, cp932::fixed("対象ファイル名か圧縮ファイル名が空です"));
        continue;
      case BatchLineAction::ChangeFolder:
        if (!ChangeFolderEntry(ctx, line.source)) {
          reader.close();
          return;
        }
        continue;
      case BatchLineAction::Entry:
        break;
    }

    // Source first: writing it lets the main window derive a target of its
    // own, which the entry's target then replaces.
    ctx.fields.setSource(line.source);
    ctx.fields.setTarget(line.target);
    if (line.command == EntryCP || line.command == EntryMV)
      CopyOrMoveEntry(ctx, line.command);
    else
      CompressEntry(ctx);  // the entry reports its own failures

    if (ctx.state.EntryAnswer == AnswerAbort) {
      if (ctx.report != nullptr) ctx.report->failed(cp932::fixed("バッチ処理を中断しました"));
      reader.close();
      return;
    }
  }

  reader.close();
  if (ctx.ui.progressWindowVisible()) ctx.ui.hideProgressWindow();
  ctx.ui.playSound(Sound::Asterisk);
  if (ctx.state.BatchConfirm || ctx.state.DeleteMode == 3)
    ctx.ui.ShowNotice(NoticeKind::Information, ButtonOk, cp932::fixed("バッチ処理が終了しました"));
}

}  // namespace vedo
