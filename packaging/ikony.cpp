// Writes the icons of the program and of the viewer in the layout of the
// hicolor icon theme: <folder>/scalable/apps/<name>.svg and
// <folder>/<n>x<n>/apps/<name>.png for every size of ikona::Velikosti.
//   zq-ikony <folder> <program's name> <viewer's name>

#include <QDir>
#include <QFile>

#include <cstdio>

#include "Ikona.h"

namespace {

bool Zapis(const QString& slozka, const QString& jmeno, ikona::TKresba kresba) {
  QFile svg(slozka + "/scalable/apps/" + jmeno + ".svg");
  if (!QDir().mkpath(slozka + "/scalable/apps") ||
      !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(ikona::Svg(kresba)) < 0 ||
      !svg.flush()) {
    std::fprintf(stderr, "zq-ikony: cannot write %s\n", qPrintable(svg.fileName()));
    return false;
  }
  for (int velikost : ikona::Velikosti) {
    const QString podslozka = slozka + QStringLiteral("/%1x%1/apps").arg(velikost);
    const QString soubor = podslozka + '/' + jmeno + ".png";
    if (!QDir().mkpath(podslozka) || !ikona::Obraz(velikost, kresba).save(soubor, "PNG")) {
      std::fprintf(stderr, "zq-ikony: cannot write %s\n", qPrintable(soubor));
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: zq-ikony <folder> <program's name> <viewer's name>\n");
    return 2;
  }
  const QString slozka = QString::fromLocal8Bit(argv[1]);
  return Zapis(slozka, QString::fromLocal8Bit(argv[2]), ikona::Prvky) &&
                 Zapis(slozka, QString::fromLocal8Bit(argv[3]), ikona::PrvkyProhlizece)
             ? 0
             : 1;
}
