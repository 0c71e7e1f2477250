#include "Vzhled.h"

#include <QFontDatabase>
#include <QStringList>

QFont PismoFormulare() {
  static const QFont pismo = [] {
    const QStringList rodiny = QFontDatabase::families();
    QFont f;
    for (const char* jmeno : {"Liberation Sans", "Nimbus Sans", "Arial", "DejaVu Sans"}) {
      if (rodiny.contains(QString::fromLatin1(jmeno))) {
        f.setFamily(QString::fromLatin1(jmeno));
        break;
      }
    }
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
  }();
  return pismo;
}
