// The trend window, measured.
//
//   bench_prubeh [pruchod [passes]] [historie] [pamet [minutes]]
//
// pruchod   256 channels on loopback through the real window (offscreen),
//           both threads, the LAN library and the in-process simulator:
//           the mean pass time without the trend window and with it open,
//           plotting 8 channels (target: within 20 %), and the share of the
//           main thread's time the trend window's refreshes took, painting
//           included (target: at most 5 %).  Alternates the two twice.
// historie  A history of 256 channels over 24 hours at one pass a second
//           (256 x 86400 additions): the bytes it holds (target: at most
//           64 MiB); then the trend window plotting 8 of its channels over
//           each time range: the time of one refresh with its painting.
// pamet     The program's memory in a long measurement (120 minutes unless
//           told): 256 channels on loopback through the real window
//           (offscreen), the simulator losing 1 % of its answers, the trend
//           window open plotting 8 channels.  Prints at intervals the RSS,
//           the bytes the history reports and the difference, and at the end
//           the difference's change over the second half of the run (target:
//           within 2 MiB): the history grows by design, nothing else should.

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "Dekl.h"
#include "Hlavni.h"
#include "Modalni.h"
#include "Prubeh.h"
#include "Slozka.h"
#include "Spolecne.h"

namespace fs = std::filesystem;
using namespace zqsim;
using Hodiny = std::chrono::steady_clock;

namespace {

double Us(Hodiny::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// 256 channels, each a sine of its own period.
THodnota Sinus(int i) { return {TFormat::Float32, TPrubeh::Sinus, 20, 5, 60.0 + i, 1, 2}; }

// The window set up for 256 channels, its grid and the trend window as after
// the channel dialog.
void Nastav(TProstredi& p, TForm1& w) {
  w.InitOknoMereni(p.Nastav(w, 256), 256);
  w.Prubeh()->NastavUlohu(CFG.Uloha, 256, TZmenaUlohy::Tataz);
}

struct TVysledek {
  double PruchodUs = 0;   // mean full pass
  double PodilObnov = 0;  // trend refreshes / wall time
  uint64_t Obnov = 0;
};

// One measurement of `pruchodu` full passes after the first one, the trend
// window open (plotting 8 channels over the last 5 minutes) or not.
TVysledek Mer(TProstredi& p, bool sOknem, int pruchodu) {
  TForm1 w;
  Nastav(p, w);
  w.show();
  TFormPrubeh* prubeh = w.Prubeh();
  if (sOknem) {
    // Shown first: showing it takes the task's remembered choice, none here.
    prubeh->Ukaz();
    for (int k = 0; k < 256; k += 32) prubeh->Vyber(k, true);
    prubeh->PanelGrafu->Rozsah->setCurrentIndex(1);  // 5 minutes: drawn again every second
  }
  w.Button2Click();
  const TMereni& m = w.Mereni();
  Cekej([&] { return m.CyklusHotov(); }, 30000);
  uint64_t posledni = m.DobaPrubehuUs();
  uint64_t soucet = 0;
  const uint64_t obnovPred = prubeh->CasObnovUs(), pocetPred = prubeh->PocetObnov();
  const auto t0 = Hodiny::now();
  for (int i = 0; i < pruchodu; ++i) {
    Cekej([&] { return m.DobaPrubehuUs() != posledni; }, 30000);
    posledni = m.DobaPrubehuUs();
    soucet += posledni;
  }
  const double stena = Us(Hodiny::now() - t0);
  TVysledek v;
  v.PruchodUs = static_cast<double>(soucet) / pruchodu;
  v.PodilObnov = static_cast<double>(prubeh->CasObnovUs() - obnovPred) / stena;
  v.Obnov = prubeh->PocetObnov() - pocetPred;
  w.Button2Click();
  Cekej([&] { return !m.VlaknaBezi(); }, 10000);
  prubeh->close();
  return v;
}

void Pruchod(int pruchodu) {
  TProstredi p(256, Sinus);
  std::printf("pruchod: 256 channels, LAN on loopback, windows offscreen, %d passes each\n",
              pruchodu);
  double bez = 0, s = 0, podil = 0;
  for (int kolo = 0; kolo < 2; ++kolo) {
    const TVysledek a = Mer(p, false, pruchodu);
    const TVysledek b = Mer(p, true, pruchodu);
    std::printf("  without the trend window: pass %.1f ms\n", a.PruchodUs / 1000);
    std::printf(
        "  with it, 8 channels plotted: pass %.1f ms; %llu refreshes took %.2f %% of the main "
        "thread's time\n",
        b.PruchodUs / 1000, static_cast<unsigned long long>(b.Obnov), 100 * b.PodilObnov);
    bez += a.PruchodUs;
    s += b.PruchodUs;
    podil = std::max(podil, b.PodilObnov);
  }
  std::printf(
      "  pass with / without: %.3f (target <= 1.20); refreshes at most %.2f %% "
      "(target <= 5 %%)\n",
      s / bez, 100 * podil);
}

void Historie() {
  // 24 hours of 256 channels at one pass a second; one read in a hundred
  // fails (a gap).
  THistorie h;
  h.Zacni(1, std::vector<uint8_t>(256, 1), 1);
  const auto t0 = Hodiny::now();
  for (uint32_t s = 0; s < 86400; ++s)
    for (size_t k = 0; k < 256; ++k) {
      const bool chyba = (s + k) % 100 == 7;
      h.Pridej(1, k, s * 1000 + static_cast<uint32_t>(k),
               chyba ? NAN : 20 + 5 * std::sin(s / (60.0 + k)), 0.05, chyba ? 20 : 0);
    }
  const double plneni = Us(Hodiny::now() - t0);
  std::printf("historie: 256 channels x 86400 passes (24 h at one pass a second)\n");
  std::printf("  %zu bytes = %.1f MiB (target <= 64 MiB); %.0f ns per addition\n", h.Pamet(),
              static_cast<double>(h.Pamet()) / (1024.0 * 1024.0), plneni * 1000 / (256.0 * 86400));

  QTemporaryDir slozka;
  NastavSlozkuProgramu(fs::path(slozka.path().toStdString()));
  TMereni mereni;
  TPoleKanal kanaly;
  InitKanaly(kanaly);
  Kanaly.Nahrad(kanaly);
  TFormPrubeh okno(mereni, nullptr);
  okno.NastavUlohu("bench.zq", 256, TZmenaUlohy::Jina);
  okno.NastavZdrojHistorie(&h);
  okno.Ukaz();
  for (int k = 0; k < 256; k += 32) okno.Vyber(k, true);
  okno.resize(1200, 700);
  QCoreApplication::processEvents();
  std::printf(
      "  trend window 1200 x 700 plotting 8 of these channels: one refresh with the plot drawn "
      "and painted;\n  the plot is drawn when a two-pixel column's time has passed, at most once "
      "a second:\n");
  const char* rozsahy[] = {"last minute", "last 5 minutes", "last 15 minutes", "last hour",
                           "whole run (24 h)"};
  const double rozsahMs[] = {60e3, 300e3, 900e3, 3600e3, 86400e3};
  for (int r = 0; r < 5; ++r) {
    okno.PanelGrafu->Rozsah->setCurrentIndex(r);
    QCoreApplication::processEvents();
    constexpr int Kol = 20;
    const uint64_t pred = okno.CasObnovUs();
    for (int i = 0; i < Kol; ++i) {
      okno.Obnov();
      QCoreApplication::processEvents();  // the painting
    }
    const double ms = static_cast<double>(okno.CasObnovUs() - pred) / Kol / 1000;
    size_t bodu = 0;
    for (int k = 0; k < 256; k += 32)
      for (const auto& cast : okno.Krivka(k)) bodu += static_cast<size_t>(cast.size());
    const double kazdychMs =
        std::max(1000.0, rozsahMs[r] / (okno.PanelGrafu->Graf->chart()->plotArea().width() / 2));
    std::printf(
        "    %-17s %6.2f ms, %5zu points; drawn every %5.1f s: %.2f %% of the main thread "
        "(%.2f %% if every second)\n",
        rozsahy[r], ms, bodu, kazdychMs / 1000, 100 * ms / kazdychMs, ms / 10);
  }
  okno.close();
}

// Resident set size of this process (/proc/self/statm), bytes.
size_t Rss() {
  std::ifstream f("/proc/self/statm");
  size_t celkem = 0, rezidentni = 0;
  f >> celkem >> rezidentni;
  return rezidentni * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

double MiB(double bajty) { return bajty / (1024.0 * 1024.0); }

void Pamet(double minut) {
  TProstredi p(256, Sinus);
  TPorucha ztrata;
  ztrata.Druh = TDruhPoruchy::Zahozeni;
  ztrata.Pravdepodobnost = 0.01;
  p.sim.PridejPoruchu(ztrata);
  TForm1 w;
  Nastav(p, w);
  w.show();
  TFormPrubeh* prubeh = w.Prubeh();
  for (int k = 0; k < 256; k += 32) prubeh->Vyber(k, true);
  prubeh->Ukaz();
  Bez(2000);
  const size_t rssPred = Rss();
  w.Button2Click();
  const TMereni& m = w.Mereni();
  Cekej([&] { return m.CyklusHotov(); }, 30000);

  const double celkemMs = minut * 60000;
  const double krokMs = std::clamp(celkemMs / 24, 5000.0, 300000.0);
  std::printf(
      "pamet: 256 channels, LAN on loopback, 1 %% of answers lost, trend window plotting 8 "
      "channels, Qt platform %s, %.0f min\n",
      qPrintable(QGuiApplication::platformName()), minut);
  std::printf("  %8s %10s %12s %14s %10s\n", "min", "RSS MiB", "history MiB", "RSS-hist MiB",
              "passes");
  std::printf("  %8s %10.2f %12s %14s %10s   (windows shown, not measuring yet)\n", "-",
              MiB(static_cast<double>(rssPred)), "-", "-", "-");
  // Samples at whole steps from the start, so one falls on the half exactly.
  const auto t0 = Hodiny::now();
  const int kroku = static_cast<int>(std::lround(celkemMs / krokMs));
  double rozdil0 = 0, rozdilPul = 0, rozdil = 0;
  for (int i = 0; i <= kroku; ++i) {
    const double cil = i == kroku ? celkemMs : static_cast<double>(i) * krokMs;
    for (double uplynulo = 0;
         (uplynulo = std::chrono::duration<double, std::milli>(Hodiny::now() - t0).count()) < cil;)
      Bez(static_cast<int>(std::ceil(cil - uplynulo)));
    const size_t rss = Rss(), historie = m.Historie().Pamet();
    rozdil = static_cast<double>(rss) - static_cast<double>(historie);
    if (i == 0) rozdil0 = rozdil;
    if (i == kroku / 2) rozdilPul = rozdil;
    std::printf("  %8.1f %10.2f %12.2f %14.2f %10llu\n", cil / 60000, MiB(rss), MiB(historie),
                MiB(rozdil), static_cast<unsigned long long>(m.Historie().Prubehy().Pocet));
    std::fflush(stdout);
  }
  const TStatistikaKanalu c = m.Historie().Celkem();
  std::printf(
      "  reads %llu, failed %llu; RSS-history: first half %+.2f MiB, second half %+.2f MiB "
      "(target: second half within 2 MiB)\n",
      static_cast<unsigned long long>(c.Cteni), static_cast<unsigned long long>(c.Chyby),
      MiB(rozdilPul - rozdil0), MiB(rozdil - rozdilPul));
  w.Button2Click();
  Cekej([&] { return !m.VlaknaBezi(); }, 10000);
  prubeh->close();
}

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless a platform is named (a real X server: QT_QPA_PLATFORM=xcb xvfb-run ...).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Each measurement writes the same data file: it may be overwritten.
  NastavZobrazovac([](QDialog&) { return VysledekAno; });
  bool pruchod = argc < 2, historie = argc < 2, pamet = false;
  int pruchodu = 15;
  double minut = 120;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "historie") historie = true;
    if (a == "pruchod") {
      pruchod = true;
      if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
        pruchodu = std::atoi(argv[++i]);
    }
    if (a == "pamet") {
      pamet = true;
      if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
        minut = std::atof(argv[++i]);
    }
  }
  if (historie) Historie();
  if (pruchod) Pruchod(pruchodu);
  if (pamet) Pamet(minut);
  return 0;
}
