// The plot's drawing, measured.
//
//   bench_graf [OBRAZEK.png]
//
// A picture 1600 x 900 of 8 channels over a week, each reduced to two
// points per pixel column (about 3,100 points a channel, a gap in each):
// the time of one drawing into a QImage, with one value axis and with each
// channel over its own range (target: milliseconds, not seconds).  And the
// reduction before it: 8 channels of a week at one value a second (4.8
// million values, generated beforehand) to pixel columns (TSloupceKrivky),
// values per second.
// Saves the picture when given a name, to be looked at.

#include <QDateTime>
#include <QGuiApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "KresbaGrafu.h"
#include "Krivky.h"

using Hodiny = std::chrono::steady_clock;

namespace {

double Ms(Hodiny::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Channel k's value at second s: a slow wave, a daily one and some noise;
// missing for half an hour in the middle of the week (a gap).
double Hodnota(int k, int64_t s) {
  if (s > 300000 + 600 * k && s < 301800 + 600 * k) return NAN;
  const double sum = std::sin(static_cast<double>(s * (k + 7)) * 1e-3);
  return 20 * k + 5 * std::sin(static_cast<double>(s) * 2 * M_PI / 86400 + k) +
         (k % 2 ? 0.8 : 0.2) * sum;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  constexpr int Kanalu = 8;
  constexpr int64_t Tyden = 7 * 86400;
  const int64_t od = QDateTime(QDate(2026, 12, 1), QTime(0, 0)).toMSecsSinceEpoch();

  TZadaniGrafu z;
  z.Nadpis = QString::fromUtf8("Kotelna_2026-12.txt: 1.12.2026 0:00:00 až 8.12.2026 0:00:00");
  z.OdMs = od;
  z.DoMs = od + Tyden * 1000;
  z.Velikost = QSize(1600, 900);
  const char* nazvy[] = {"Teplota přívod", "Teplota zpátečka", "Tlak",  "Průtok",
                         "Výkon",          "Napětí",           "Proud", "Vlhkost"};
  for (int k = 0; k < Kanalu; ++k) {
    TKanalGrafu kanal;
    kanal.Cislo = kanal.Barva = 13 * k;
    kanal.Nazev = QString::fromUtf8(nazvy[k]);
    kanal.DesetinnaMista = 2;
    z.Kanaly.push_back(kanal);
  }

  // The reduction: every value of the week, as a reader hands them over.
  const TRozvrzeniGrafu r = RozvrhniGraf(z);
  const double krokMs = static_cast<double>(z.DoMs - z.OdMs) / r.Plocha.width();
  std::vector<float> hodnoty(static_cast<size_t>(Tyden));
  double redukce = 0;
  size_t bodu = 0;
  for (int k = 0; k < Kanalu; ++k) {
    for (int64_t s = 0; s < Tyden; ++s)
      hodnoty[static_cast<size_t>(s)] = static_cast<float>(Hodnota(k, s));
    const auto t0 = Hodiny::now();
    TSloupceKrivky sloupce(static_cast<double>(z.OdMs), krokMs);
    for (int64_t s = 0; s < Tyden; ++s)
      sloupce.Pridej(static_cast<double>(od + s * 1000), hodnoty[static_cast<size_t>(s)]);
    z.Kanaly[static_cast<size_t>(k)].Casti = sloupce.Casti();
    redukce += Ms(Hodiny::now() - t0);
    for (const auto& cast : z.Kanaly[static_cast<size_t>(k)].Casti)
      bodu += static_cast<size_t>(cast.size());
  }
  std::printf(
      "reduction: %d channels x %lld values (a week at 1 s) to the %d pixel columns of the plot: "
      "%.0f ms, %.1f million values/s, %zu points (%.0f per channel)\n",
      Kanalu, static_cast<long long>(Tyden), r.Plocha.width(), redukce,
      Kanalu * static_cast<double>(Tyden) / redukce / 1000, bodu,
      static_cast<double>(bodu) / Kanalu);

  for (bool zvlast : {false, true}) {
    z.KanalyZvlast = zvlast;
    constexpr int Kol = 20;
    QImage obrazek;
    const auto t1 = Hodiny::now();
    for (int i = 0; i < Kol; ++i) obrazek = ObrazekGrafu(z);
    std::printf("drawing %d x %d, %s: %.1f ms per picture (target: milliseconds)\n",
                z.Velikost.width(), z.Velikost.height(),
                zvlast ? "each channel over its own range" : "one value axis",
                Ms(Hodiny::now() - t1) / Kol);
    if (argc > 1 && !zvlast) obrazek.save(QString::fromLocal8Bit(argv[1]));
  }
  return 0;
}
