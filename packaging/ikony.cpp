// Writes the program's icon in the layout of the hicolor icon theme:
// <folder>/scalable/apps/<name>.svg and <folder>/<n>x<n>/apps/<name>.png for
// every size of ikona::Velikosti.
//   zq-ikony <folder> <name>

#include <QDir>
#include <QFile>

#include <cstdio>

#include "Ikona.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zq-ikony <folder> <name>\n");
    return 2;
  }
  const QString slozka = QString::fromLocal8Bit(argv[1]);
  const QString jmeno = QString::fromLocal8Bit(argv[2]);
  QFile svg(slozka + "/scalable/apps/" + jmeno + ".svg");
  if (!QDir().mkpath(slozka + "/scalable/apps") ||
      !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(ikona::Svg()) < 0 ||
      !svg.flush()) {
    std::fprintf(stderr, "zq-ikony: cannot write %s\n", qPrintable(svg.fileName()));
    return 1;
  }
  for (int velikost : ikona::Velikosti) {
    const QString podslozka = slozka + QStringLiteral("/%1x%1/apps").arg(velikost);
    const QString soubor = podslozka + '/' + jmeno + ".png";
    if (!QDir().mkpath(podslozka) || !ikona::Obraz(velikost).save(soubor, "PNG")) {
      std::fprintf(stderr, "zq-ikony: cannot write %s\n", qPrintable(soubor));
      return 1;
    }
  }
  return 0;
}
