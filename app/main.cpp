// Program entry: the application title, the main window, the message loop.

#include <QApplication>
#include <QLocale>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

#include "../packaging/Ikona.h"
#include "Hlavni.h"
#include "Preklady.h"
#include "Signaly.h"
#include "Vzhled.h"

int main(int argc, char** argv) {
  IgnorujPrerusenouRouru();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ZQ - datalogger"));
  QApplication::setWindowIcon(ikona::Ikona());
  QGuiApplication::setDesktopFileName(QStringLiteral("cz.zentrolix.datalogger"));  // Wayland's icon
  QApplication::setFont(PismoFormulare());
  NactiPrekladyQt(QLocale::system());

  TForm1 okno;
  ZachytavejUkonceni(&okno, [&okno](int signal) { okno.UkonciNaSignal(signal); });
  if (const QScreen* obrazovka = QGuiApplication::primaryScreen()) {
    const QRect plocha = obrazovka->availableGeometry();
    okno.move(plocha.center() - QPoint(okno.width() / 2, okno.height() / 2));
  }
  okno.show();
  const int vysledek = QApplication::exec();

  // A worker thread still inside an interface-library call (the stop waited
  // its time-out and went on) must not keep the program from ending, and its
  // thread object cannot be destroyed while it runs: leave at once.  Every
  // file was closed after its last write.
  if (okno.Mereni().VlaknaBezi()) {
    std::fflush(nullptr);
    std::_Exit(vysledek);
  }
  return vysledek;
}
