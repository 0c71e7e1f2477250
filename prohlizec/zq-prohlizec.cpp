// zq-prohlizec: data files of any size, from the command line (Prohlizec.h)
// or in its window (OknoProhlizece.h).

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Ctenar.h"
#include "OknoProhlizece.h"
#include "Prohlizec.h"

namespace {

// Qt's own warnings go where the program's messages go, after its name; a
// machine without a login session (cron) has no runtime folder, which the
// offscreen platform does not need, and that is not said.
void ZpravaQt(QtMsgType typ, const QMessageLogContext&, const QString& zprava) {
  if (typ == QtDebugMsg || typ == QtInfoMsg || zprava.contains(QStringLiteral("XDG_RUNTIME_DIR")))
    return;
  std::cerr << "zq-prohlizec: Qt: " << zprava.toStdString() << "\n";
}

// The window with the files of the command line; a bad --kanaly, --od or
// --do is said as the command line's other mistakes are.
int SpustOkno(int argc, char** argv, const TVolbyProhlizece& v) {
  std::vector<int> kanaly;
  std::string chyba;
  if (v.Kanaly) {
    // The file's channels are not known yet: those it lacks are left out.
    const auto k = CtiKanaly(*v.Kanaly, 1 << 16, chyba);
    if (!k) {
      std::cerr << "zq-prohlizec: " << chyba << " (nápověda: zq-prohlizec --help)\n";
      return ProhlizecChybneVolani;
    }
    kanaly = *k;
  }
  std::optional<std::pair<int64_t, int64_t>> rozsah;
  if (v.Od || v.Do) {
    const auto od = v.Od ? CtiCasVolby(*v.Od) : std::nullopt;
    const auto po = v.Do ? CtiCasVolby(*v.Do) : std::nullopt;
    if ((v.Od && !od) || (v.Do && !po)) {
      std::cerr << "zq-prohlizec: čas --od nebo --do nemá tvar RRRR-MM-DDTHH:MM:SS\n";
      return ProhlizecChybneVolani;
    }
    if (od && po) rozsah = {{TCtenar::Okamzik(*od, false), TCtenar::Okamzik(*po, true)}};
  }
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zq-prohlizec"));
  TOknoProhlizece okno;
  okno.show();
  if (!v.Soubory.empty()) okno.Otevri(v.Soubory, v.Rada, v.Uloha, kanaly, rozsah);
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(ZpravaQt);
  std::vector<std::string> argumenty(argv + 1, argv + argc);
  {
    // Without a display the window cannot be shown: what the files hold is
    // said instead, as before the window existed (scripts may rely on it).
    TVolbyProhlizece v;
    std::ostringstream nic;
    int kod = 0;
    if (CtiVolby(argumenty, v, nic, nic, kod) && ChceOkno(v) && MaDisplej())
      return SpustOkno(argc, argv, v);
  }
  // A picture needs Qt's painting and fonts; the rest only Qt Core.
  std::unique_ptr<QCoreApplication> app;
  if (ChceObrazek(argumenty)) {
    ZvolPlatformu();
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QStringLiteral("zq-prohlizec"));
  const int kod = SpustProhlizec(argumenty, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() || kod != 0 ? kod : ProhlizecVystup;
}
