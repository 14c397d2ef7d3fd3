#pragma once
// The edge between the engine's CP932 byte strings and Qt's QString, and the
// fonts the windows use.

#include <QFont>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace vedo::ui {

// CP932 -> QString for display. Bytes that do not form a valid character are
// shown as U+FFFD; the caller keeps the original bytes when it needs them.
QString fromCp932(std::string_view bytes);

// QString -> CP932, strictly: nullopt for text that CP932 cannot hold or that
// does not convert back to the same text.
std::optional<std::string> toCp932(const QString& text);

// The notice for a field whose text CP932 cannot hold (CP932).
std::string unrepresentableTextNotice();

// A caption without its "&" mnemonic markers ("&&" stays one "&").
QString withoutMnemonics(const QString& caption);

// The archiver library's version as the windows show it: the low 16 bits of
// the reported value times 0.01, with two decimals ("1.13").
QString formatLibraryVersion(int reported);

// A Japanese program: Qt's own dialogs and buttons (the file chooser, the
// standard buttons of a message box) speak Japanese whatever the locale, from
// Qt's translations (Debian's qt6-translations-l10n). False when they are not
// installed; Qt's English stays then.
bool installQtTranslations();

// "ＭＳ ゴシック" and "ＭＳ Ｐゴシック" with the fallbacks available on Linux.
QFont gothicFont(int pixelSize, bool bold);
QFont pGothicFont(int pixelSize, bool bold);

}  // namespace vedo::ui
