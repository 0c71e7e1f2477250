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
//         against the wire time of the frames (target: within 10 %).

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "Hlavni.h"
#include "Protokol.h"
#include "Spolecne.h"

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
  std::printf("  grid refreshes: %.1f ms per pass = %.0f %% of the pass (%.1f us each)\n",
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

void Linka() {
  double prumer = 0, obnova = 0;
  MerMereni(115200, 5, prumer, obnova);
  // A read: the request frame (no data bytes) and the 12-byte answer.
  const double dratUs =
      256.0 * static_cast<double>(zqdrv::DobaNaLince(8 + zqdrv::DelkaOdpovedi, 115200));
  std::printf("linka: 256 channels, line emulated at 115200 Bd\n");
  std::printf(
      "  wire time of a pass: %.1f ms, measured pass: %.1f ms, ratio %.3f (target <= 1.10)\n",
      dratUs / 1000.0, prumer / 1000.0, prumer / dratUs);
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
