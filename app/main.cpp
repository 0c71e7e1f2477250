// Program entry: the application title, the main window, the message loop.

#include <QApplication>
#include <QLocale>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "../packaging/Ikona.h"
#include "Hlavni.h"
#include "Preklady.h"
#include "Signaly.h"
#include "Vzhled.h"

namespace {

// The window needs a display; Qt would end with its own English words and
// an abort.  Said in Czech, with the ways to get one and the program that
// measures without one.  Only where Qt would look for a display that is
// not there: a platform chosen on the command line or one that needs none
// (offscreen, vnc, eglfs...) is Qt's business.
bool ChybiDisplej(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0) return false;
  auto je = [](const char* promenna) {
    // Read before any thread exists, and never changed.
    const char* v = std::getenv(promenna);  // NOLINT(concurrency-mt-unsafe)
    return v != nullptr && *v != '\0';
  };
  if (je("DISPLAY") || je("WAYLAND_DISPLAY")) return false;
  const char* platforma = std::getenv("QT_QPA_PLATFORM");  // NOLINT(concurrency-mt-unsafe)
  if (platforma == nullptr || *platforma == '\0') return true;
  // A list ("wayland;xcb"): the first that works is taken.
  for (std::string_view zbyva = platforma; !zbyva.empty();) {
    const size_t konec = zbyva.find(';');
    const std::string_view jedna = zbyva.substr(0, konec);
    if (jedna.substr(0, 3) != "xcb" && jedna.substr(0, 7) != "wayland") return false;
    zbyva = konec == std::string_view::npos ? std::string_view() : zbyva.substr(konec + 1);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (ChybiDisplej(argc, argv)) {
    std::fputs(
        "zq-datalogger: okno programu potřebuje grafický displej, ale není nastaven\n"
        "(chybí proměnná DISPLAY i WAYLAND_DISPLAY, např. po přihlášení přes ssh bez -X).\n"
        "Displej získáte takto:\n"
        "  - přihlaste se z počítače s grafickým prostředím přes \"ssh -X\" (nebo -Y),\n"
        "  - nebo spusťte server VNC (např. x11vnc nebo TigerVNC) na virtuálním displeji\n"
        "    a připojte se k němu prohlížečem VNC ze svého počítače.\n"
        "Bez okna měří úlohu program zq-logger (man zq-logger), např.:\n"
        "  zq-logger Linka1.zq\n",
        stderr);
    return 1;
  }
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
