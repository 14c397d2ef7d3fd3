#include "engine/batch_runner.h"

#include "engine/app_state.h"
#include "engine/batch_file_reader.h"
#include "engine/batch_line.h"
#include "engine/compress_entry.h"
#include "engine/file_entries.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "platform/cp932.h"
#include "platform/file_system.h"

namespace vedo {
namespace {

void showError(EngineContext& ctx, cp932::FixedText text) {
  ctx.ui.playSound(Sound::Exclamation);
  ctx.ui.ShowNotice(NoticeKind::Error, ButtonAbort, cp932::fixed(text));
}

}  // namespace

void RunBatchFile(EngineContext& ctx) {
  const std::string fileName = ctx.fields.BatchFileName();
  if (!fs::fileExists(fileName)) {
    showError(ctx, "バッチ処理ファイルがありません");
    return;
  }

  BatchFileReader reader(fileName);
  if (!IsBatchHeader(reader.readLine())) {
    showError(ctx, "バッチ処理ファイルではありません");
    reader.close();
    return;
  }

  beginRun(ctx.state);

  while (!reader.atEnd()) {
    const BatchLine line = ParseBatchLine(reader.readLine());
    if (line.setsCommand) ctx.state.EntryCommand = line.command;
    if (line.jobDialogs) ctx.state.JobDialogs = *line.jobDialogs;

    switch (line.action) {
      case BatchLineAction::Skip:
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
