// zq-prohlizec: data files of any size from the command line (Prohlizec.h).

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <vector>

#include "Prohlizec.h"

int main(int argc, char** argv) {
  std::vector<std::string> argumenty(argv + 1, argv + argc);
  if (ChceObrazek(argumenty)) ZvolPlatformu();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zq-prohlizec"));
  const int kod = SpustProhlizec(argumenty, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() || kod != 0 ? kod : ProhlizecVystup;
}
