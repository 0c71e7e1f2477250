// zq-logger: a measuring task without a window (app/Logger.h).

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "Logger.h"
#include "Signaly.h"

int main(int argc, char** argv) {
  IgnorujPrerusenouRouru();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zq-logger"));
  std::vector<std::string> argumenty;
  for (int i = 1; i < argc; ++i) argumenty.emplace_back(argv[i]);
  bool visi = false;
  const int kod = SpustLogger(argumenty, std::cout, std::cerr, visi);
  // A worker thread still inside an interface-library call cannot be waited
  // for: leave at once, every file was closed after its last write.
  if (visi) {
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(kod);
  }
  return kod;
}
