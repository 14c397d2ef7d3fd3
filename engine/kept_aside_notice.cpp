#include "engine/kept_aside_notice.h"

#include "engine/interaction_port.h"
#include "platform/cp932.h"

namespace vedo {

void reportKeptAside(InteractionPort& ui, const fs::RemovalResult& removal) {
  if (removal.keptAs.empty()) return;
  static const std::string text =
      cp932::fixed("削除を取りやめましたが、元の名前には新しいファイルがあるため、元のファイルを次の名前で残しました\r");
  ui.playSound(Sound::Exclamation);
  ui.ShowNotice(NoticeKind::Warning, ButtonOk, text + "\"" + removal.keptAs + "\"");
}

}  // namespace vedo
