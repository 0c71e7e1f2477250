// zq-prohlizec: data files of any size from the command line (Prohlizec.h).

#include <QCoreApplication>
#include <QGuiApplication>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(ZpravaQt);
  std::vector<std::string> argumenty(argv + 1, argv + argc);
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
