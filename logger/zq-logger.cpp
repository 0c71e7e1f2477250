// zq-logger: a measuring task without a window (logger/Logger.h).

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "Logger.h"
#include "Signaly.h"
#include "Vystup.h"

namespace {

// Qt's own warnings go where the logger's go, never blocking either.
TNeblokujiciVystup* chybyQt = nullptr;

void ZpravaQt(QtMsgType, const QMessageLogContext&, const QString& zprava) {
  if (chybyQt != nullptr) chybyQt->Pridej("zq-logger: Qt: " + zprava.toStdString() + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  IgnorujPrerusenouRouru();
  // Neither a full pipe nor a stalled journal may hold the measurement or
  // its stop up: standard output and error are written without blocking.
  // Never destroyed: a thread left inside a library call or the publishing
  // may still say something while the program ends.
  auto& vystupBuf = *new TNeblokujiciVystup(STDOUT_FILENO);
  auto& chybyBuf = *new TNeblokujiciVystup(STDERR_FILENO);
  std::ostream vystup(&vystupBuf);
  std::ostream chyby(&chybyBuf);
  chyby.setf(std::ios::unitbuf);
  chybyQt = &chybyBuf;
  qInstallMessageHandler(ZpravaQt);

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zq-logger"));
  std::vector<std::string> argumenty;
  for (int i = 1; i < argc; ++i) argumenty.emplace_back(argv[i]);
  bool visi = false;
  const int kod = SpustLogger(argumenty, vystup, chyby, visi);
  // What the readers have not taken yet gets a moment, never more: a stop
  // ends within its usual time whatever the pipes do.
  vystupBuf.Dopis(500);
  chybyBuf.Dopis(500);
  // A worker thread still inside an interface-library call cannot be waited
  // for: leave at once, every file was closed after its last write.
  if (visi) {
    std::fflush(nullptr);
    std::_Exit(kod);
  }
  return kod;
}
