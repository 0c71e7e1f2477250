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

QString StylFormulare() {
  return QStringLiteral(
      "QGroupBox { border: 1px solid #a0a0a0; border-radius: 2px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; top: 0px; padding: 0px 1px; }");
}
