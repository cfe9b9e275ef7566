#include "platform/ui/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

#include <cstdio>

#include "platform/ui/syscolor.h"

namespace {

constexpr char kClassicStyle[] = "Windows";
constexpr char kFrameworkTexts[] = "qtbase_zh_CN";  // in Qt's translations folder

}  // namespace

namespace ui {

QPalette ClassicPalette() {
  const auto colour = [](int index) {
    const COLORREF c = GetSysColor(index);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
  };
  QPalette palette;
  palette.setColor(QPalette::Window, colour(COLOR_BTNFACE));
  palette.setColor(QPalette::Button, colour(COLOR_BTNFACE));
  palette.setColor(QPalette::Base, colour(COLOR_WINDOW));
  palette.setColor(QPalette::WindowText, colour(COLOR_WINDOWTEXT));
  palette.setColor(QPalette::Text, colour(COLOR_WINDOWTEXT));
  palette.setColor(QPalette::ButtonText, colour(COLOR_BTNTEXT));
  palette.setColor(QPalette::Light, colour(COLOR_BTNHIGHLIGHT));
  palette.setColor(QPalette::Midlight, colour(COLOR_3DLIGHT));
  palette.setColor(QPalette::Mid, colour(COLOR_BTNSHADOW));
  palette.setColor(QPalette::Dark, colour(COLOR_BTNSHADOW));
  palette.setColor(QPalette::Shadow, colour(COLOR_3DDKSHADOW));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, colour(COLOR_GRAYTEXT));
  palette.setColor(QPalette::Disabled, QPalette::Text, colour(COLOR_GRAYTEXT));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, colour(COLOR_GRAYTEXT));
  return palette;
}

void SetUpApplication(const char* name) {
  QCoreApplication::setApplicationName(QString::fromUtf8(name));
  if (QStyle* style = QStyleFactory::create(QString::fromLatin1(kClassicStyle))) {
    QApplication::setStyle(style);  // the application takes ownership
  } else {
    std::fprintf(stderr, "ui: no \"%s\" style, the default look stays\n", kClassicStyle);
  }
  // After the style, which brings its own colours.
  QApplication::setPalette(ClassicPalette());
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // Owned by the application, so it lives exactly as long as the texts are used.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QString::fromLatin1(kFrameworkTexts), folder) ||
      !QCoreApplication::installTranslator(translator)) {
    std::fprintf(stderr, "ui: %s not found in %s, the framework's texts stay English\n",
                 kFrameworkTexts, folder.toLocal8Bit().constData());
    delete translator;
  }
}

}  // namespace ui
