#include "ui/ui_text.h"

#include "platform/cp932.h"
#include "platform/sjis_text.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

namespace vedo::ui {

QString fromCp932(std::string_view bytes) {
  if (auto utf8 = cp932::toUtf8(bytes)) return QString::fromStdString(*utf8);
  // Convert character by character so one bad byte spoils only itself.
  QString out;
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t len = sjis::charLength(bytes, pos);
    if (auto one = cp932::toUtf8(bytes.substr(pos, len)))
      out += QString::fromStdString(*one);
    else
      out += QChar(0xFFFD);
    pos += len;
  }
  return out;
}

std::optional<std::string> toCp932(const QString& text) {
  return cp932::fromUtf8(text.toStdString());
}

std::string unrepresentableTextNotice() {
  return cp932::fixed("Shift-JIS で表せない文字が含まれています");
}

QString withoutMnemonics(const QString& caption) {
  QString out;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return out;
}

QString formatLibraryVersion(int reported) {
  return QString::asprintf("%1.2f", (reported & 0xFFFF) * 0.01);
}

namespace {
QFont makeFont(const QStringList& families, int pixelSize, bool bold) {
  QFont font;
  font.setFamilies(families);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}
}  // namespace

QFont gothicFont(int pixelSize, bool bold) {
  return makeFont({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic")},
                  pixelSize, bold);
}

QFont pGothicFont(int pixelSize, bool bold) {
  return makeFont({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic")},
                  pixelSize, bold);
}

bool installQtTranslations() {
  static QTranslator* translator = nullptr;  // lives as long as the application
  if (translator != nullptr) return true;
  auto* loaded = new QTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}

}  // namespace vedo::ui
