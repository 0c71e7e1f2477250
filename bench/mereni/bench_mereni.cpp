// A running measurement, measured: the real window (offscreen), the two
// worker threads, the LAN interface library and the in-process module-bus
// simulator on loopback.
//
//   bench_mereni [obnova] [cpu [seconds]] [linka]
//
// obnova  256 channels: time of a full pass and the share of it the main
//         thread spent refreshing the grid (target: a pass in 100 ms or less).
// cpu     one channel, period 1 s: CPU time of the process per second of
//         wall time while measuring (target: under 2 % of one core).
// linka   256 channels with the line emulated at 115200 Bd: the pass time
//         against the wire time of the frames, and against the binding's own
//         reads of the same channels in the same run, without the
//         measurement around them (median of the passes, with the spread).

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Hlavni.h"
#include "Protokol.h"
#include "Spolecne.h"
#include "Wxxx407.h"

using namespace zqsim;

namespace {

double CpuSekund() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Every channel the same sine.
THodnota Sinus(int) { return {TFormat::Float32, TPrubeh::Sinus, 20, 5, 10, 1, 2}; }

// The window set up for `kanalu` channels over the LAN converter, the line
// speed `bd` chosen in it.
void Nastav(TProstredi& p, TForm1& w, int kanalu, int32_t bd) {
  p.Nastav(w, kanalu);
  w.ComboBox2->setCurrentIndex(bd == 115200 ? 5 : 1);
}

// Mean pass time (µs) over `pruchodu` full passes after the first one, and
// the refresh time over the same stretch.
void MerPruchody(const TMereni& m, int pruchodu, double& prumerUs, double& obnovaUs,
                 double& stenaUs) {
  Cekej([&] { return m.CyklusHotov(); }, 30000);
  uint64_t soucet = 0;
  uint64_t posledni = m.DobaPrubehuUs();
  const uint64_t obnovPred = m.CasObnovUs();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < pruchodu; ++i) {
    Cekej([&] { return m.DobaPrubehuUs() != posledni; }, 30000);
    posledni = m.DobaPrubehuUs();
    soucet += posledni;
  }
  stenaUs = static_cast<double>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
          .count());
  prumerUs = static_cast<double>(soucet) / pruchodu;
  obnovaUs = static_cast<double>(m.CasObnovUs() - obnovPred) / pruchodu;
}

// Runs 256 channels at `bd` (0: no line emulation) and measures `pruchodu`
// full passes after the first one.
void MerMereni(int32_t bd, int pruchodu, double& prumer, double& obnova) {
  TProstredi p(256, Sinus, bd);
  TForm1 w;
  Nastav(p, w, 256, bd == 0 ? 9600 : bd);
  w.show();
  w.Button2Click();
  double stena = 0;
  MerPruchody(w.Mereni(), pruchodu, prumer, obnova, stena);
  w.Button2Click();
}

void Obnova() {
  double prumer = 0, obnova = 0;
  MerMereni(0, 10, prumer, obnova);
  std::printf("obnova: 256 channels, LAN on loopback, window offscreen\n");
  std::printf("  full pass: %.1f ms (target <= 100 ms)\n", prumer / 1000.0);
  std::printf("  grid refreshes: %.2f ms per pass = %.1f %% of the pass (%.2f us each)\n",
              obnova / 1000.0, 100.0 * obnova / prumer, obnova / 256.0);
}

void Cpu(int sekund) {
  TProstredi p(1, Sinus);
  TForm1 w;
  Nastav(p, w, 1, 9600);
  w.show();
  w.Button2Click();
  Cekej([&] { return w.Mereni().PocetVzorku() >= 1; }, 10000);
  const double cpu0 = CpuSekund();
  const auto t0 = std::chrono::steady_clock::now();
  Bez(sekund * 1000);
  const double stena = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = CpuSekund() - cpu0;
  const int vzorku = w.Mereni().PocetVzorku();
  w.Button2Click();
  std::printf("cpu: one channel, period 1 s, %d s of measuring, %d samples\n", sekund, vzorku);
  std::printf("  CPU time per second of wall time: %.2f %% of one core (target < 2 %%)\n",
              100.0 * cpu / stena);
}

// Times of `pruchodu` full passes of a running measurement after its first.
std::vector<double> PruchodyMereni(const TMereni& m, int pruchodu) {
  Cekej([&] { return m.CyklusHotov(); }, 30000);
  std::vector<double> doby;
  uint64_t posledni = m.DobaPrubehuUs();
  for (int i = 0; i < pruchodu; ++i) {
    Cekej([&] { return m.DobaPrubehuUs() != posledni; }, 30000);
    posledni = m.DobaPrubehuUs();
    doby.push_back(static_cast<double>(posledni));
  }
  return doby;
}

// The binding's own reads of the same channels, with the same line
// settings, a pass after another (µs each): what the line allows.
std::vector<double> PruchodySamotnychCteni(TProstredi& p, const TPoleKanal& k, int kanalu,
                                           int pruchodu) {
  std::vector<double> doby;
  const std::string ip = "127.0.0.1";
  TParametryRozhrani parametry;
  parametry.Polozka[0] = reinterpret_cast<intptr_t>(ip.c_str());
  parametry.Polozka[1] = p.sim.UdpPort();
  parametry.Polozka[2] = 500;
  int32_t handle = 0;
  if (InitRozhrani(TypZQ, &handle, parametry) != 0 ||
      NastavRozhrani(TypZQ, handle, 115200, 100, 1) != 0) {
    std::fprintf(stderr, "bench_mereni: the binding does not open\n");
    std::_Exit(1);
  }
  for (int r = 0; r <= pruchodu; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kanalu; ++i) {
      uint8_t delka = 0, d[4] = {}, status = 0;
      TPole100 odpoved{};
      const TKanal& c = k[static_cast<size_t>(i)];
      DotazModulu(TypZQ, handle, c.Adresa, c.Funkce, c.Periferie, delka, d[0], d[1], d[2], d[3],
                  status, odpoved);
    }
    const auto doba = std::chrono::steady_clock::now() - t0;
    if (r > 0)  // the first pass warms up, as the measurement's first does
      doby.push_back(
          static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(doba).count()));
  }
  UkonciRozhrani(TypZQ, &handle);
  return doby;
}

void Linka() {
  constexpr int Pruchodu = 7;
  TProstredi p(256, Sinus, 115200);
  std::vector<double> mereni, samotna;
  // Two rounds of each, in turn, so that a change of the machine's load
  // falls on both sides.
  for (int kolo = 0; kolo < 2; ++kolo) {
    // A new data file each round: the window would ask before overwriting.
    QFile::remove(p.slozka.filePath(QStringLiteral("data.csv")));
    TForm1 w;
    const TPoleKanal k = p.Nastav(w, 256);
    w.ComboBox2->setCurrentIndex(5);
    w.show();
    w.Button2Click();
    for (double d : PruchodyMereni(w.Mereni(), Pruchodu)) mereni.push_back(d);
    w.Button2Click();
    Cekej([&] { return !w.Mereni().VlaknaBezi(); }, 10000);
    for (double d : PruchodySamotnychCteni(p, k, 256, Pruchodu)) samotna.push_back(d);
  }
  // A read: the request frame (no data bytes) and the 12-byte answer.
  const double dratUs =
      256.0 * static_cast<double>(zqdrv::DobaNaLince(8 + zqdrv::DelkaOdpovedi, 115200));
  const TRozptyl m = Rozptyl(mereni), s = Rozptyl(samotna);
  std::printf("linka: 256 channels, line emulated at 115200 Bd, %zu passes of each\n",
              mereni.size());
  std::printf("  wire time of a pass: %.1f ms\n", dratUs / 1000.0);
  std::printf("  measured pass: median %.1f ms (%.1f-%.1f), %.3f x the wire time\n",
              m.Median / 1000.0, m.Min / 1000.0, m.Max / 1000.0, m.Median / dratUs);
  std::printf("  reads alone:   median %.1f ms (%.1f-%.1f), %.3f x the wire time\n",
              s.Median / 1000.0, s.Min / 1000.0, s.Max / 1000.0, s.Median / dratUs);
  // The spread: the fastest pass against the slowest pass of reads alone,
  // and the slowest against the fastest.
  std::printf(
      "  pass / reads alone: %.3f (spread %.3f-%.3f; target <= 1.02 quiet, <= 1.05 "
      "with two busy cores)\n",
      m.Median / s.Median, m.Min / s.Max, m.Max / s.Min);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bool obnova = argc < 2, cpu = argc < 2, linka = argc < 2;
  int sekund = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "obnova") obnova = true;
    if (a == "linka") linka = true;
    if (a == "cpu") {
      cpu = true;
      if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
        sekund = std::atoi(argv[++i]);
    }
  }
  if (obnova) Obnova();
  if (linka) Linka();
  if (cpu) Cpu(sekund);
  return 0;
}
