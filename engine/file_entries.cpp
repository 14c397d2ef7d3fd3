#include "engine/file_entries.h"

#include "engine/app_state.h"
#include "engine/interaction_port.h"
#include "engine/job_fields.h"
#include "engine/kept_aside_notice.h"
#include "engine/run_report.h"
#include "platform/cp932.h"
#include "platform/file_system.h"
#include "platform/full_path.h"
#include "platform/guarded_removal.h"
#include "platform/sjis_text.h"

namespace vedo {
namespace {

// A byte test on purpose: a double-byte character whose second byte is 0x5C
// (表, ソ) also counts as ending in "\", as the batch format has always read it.
bool endsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

}  // namespace

void CopyOrMoveEntry(EngineContext& ctx, int command) {
  const std::string source = ctx.fields.Source();
  if (!fs::fileExists(source)) {
    ReportEntryFailure(ctx, cp932::fixed("対象ファイルが見つかりません"));
    if (ctx.state.BatchConfirm) {
      ctx.ui.showProgressRunningLabel();
      ctx.ui.setSourceNotFoundLabel(fullPath(source));
      ctx.ui.playSound(Sound::Asterisk);
      ctx.ui.showSourceNotFound();  // writes EntryAnswer 2 or 3
    }
    return;
  }

  // The destination is the target folder joined with the source's name. A
  // target without a trailing separator names a folder that is created first
  // (one level; an existing folder or a missing parent is no error here: the
  // copy then fails or succeeds on its own).
  std::string destination = ctx.fields.Target();
  // An empty target would make the destination "/" and the name: the root
  // folder. The runner never passes one; nothing is copied if it happens.
  if (destination.empty()) {
    ReportEntryFailure(ctx, cp932::fixed("コピー先がありません"));
    return;
  }
  if (!endsInSeparator(destination)) {
    destination += '/';
    fs::createFolder(destination);
  }
  destination += sjis::namePart(source);
  ctx.fields.setTarget(destination);

  // A failed copy shows no notice; a move keeps its source then. Copying a
  // file onto itself fails, so a move onto itself never deletes it. The copy
  // and its folder are synced when copyFile succeeds; the source then goes
  // only if it is still the file that was copied and its bytes equal the
  // copy's, so a write into it during the copy keeps both files.
  fs::FileIdentity copied;
  if (fs::copyFile(source, destination, &copied) != 0) {
    ReportEntryFailure(ctx, cp932::fixed("コピーできません"));
    return;
  }
  if (command != EntryMV) return;
  const fs::RemovalResult removal =
      fs::removeGuarded(source, copied, [&](int fd) { return fs::sameBytes(fd, destination); });
  reportKeptAside(ctx.ui, removal);
  if (removal.error != 0) ReportEntryFailure(ctx, cp932::fixed("移動元を削除できません"));
}

bool ChangeFolderEntry(EngineContext& ctx, const std::string& path) {
  if (fs::changeFolder(path) == 0) return true;  // stays current after the batch
  const std::string text = cp932::fixed("指定のフォルダーが見つかりません\rバッチ処理の実行を中断します。\r");
  if (ctx.report != nullptr) ctx.report->entryFailed(path, "", text);
  ctx.ui.playSound(Sound::Asterisk);
  ctx.ui.ShowNotice(NoticeKind::Warning, ButtonAbort, text);
  return false;
}

}  // namespace vedo
