#include "Preklady.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool NactiPrekladyQt(const QLocale& locale) {
  if (locale.language() != QLocale::Czech) return false;
  auto* preklad = new QTranslator(QCoreApplication::instance());
  if (!preklad->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete preklad;
    return false;
  }
  return QCoreApplication::installTranslator(preklad);
}
