// bench_komunikace [reads]: channel reads through WZQ1407 from the module-bus
// simulator on loopback, first as fast as the simulator answers, then with
// the line emulated at 115200 Bd.  Default 10000 reads in each run.

#include "Protokol.h"
#include "Simulator.h"
#include "Wxxx407.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

namespace {

using THodiny = std::chrono::steady_clock;

constexpr int32_t Rychlost = 115200;
constexpr int PocetModulu = 16;
constexpr int PeriferiiNaModul = 16;  // 256 channels, as many as a task holds

struct TVysledek {
  double ZaSekundu = 0;
  double PrumerUs = 0;
  double P99Us = 0;
  int Chyby = 0;
};

TVysledek Mereni(int32_t handle, int pocet) {
  std::vector<double> casy;
  casy.reserve(static_cast<size_t>(pocet));
  TVysledek v;
  TPole100 odpoved{};
  const auto zacatek = THodiny::now();
  for (int i = 0; i < pocet; ++i) {
    const int kanal = i % (PocetModulu * PeriferiiNaModul);
    uint8_t delka = 0, d0 = 0, d1 = 0, d2 = 0, d3 = 0, status = 0;
    const auto t0 = THodiny::now();
    DotazModulu(TypZQ, handle, static_cast<uint8_t>(1 + kanal / PeriferiiNaModul), 0,
                static_cast<uint8_t>(kanal % PeriferiiNaModul), delka, d0, d1, d2, d3, status,
                odpoved);
    casy.push_back(std::chrono::duration<double, std::micro>(THodiny::now() - t0).count());
    if (status != 0 || delka != 4) ++v.Chyby;
  }
  const double celkem = std::chrono::duration<double>(THodiny::now() - zacatek).count();
  std::sort(casy.begin(), casy.end());
  double soucet = 0;
  for (double c : casy) soucet += c;
  v.ZaSekundu = pocet / celkem;
  v.PrumerUs = soucet / pocet;
  v.P99Us = casy[static_cast<size_t>(pocet * 99 / 100)];
  return v;
}

void Vypis(const char* nazev, int pocet, const TVysledek& v) {
  std::cout << std::fixed << std::setprecision(1) << nazev << ": " << pocet << " reads, "
            << v.ZaSekundu << " reads/s, mean " << v.PrumerUs << " us, 99th percentile " << v.P99Us
            << " us, failed " << v.Chyby << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  int pocet = 10000;
  if (argc > 1) {
    const auto r = std::from_chars(argv[1], argv[1] + std::strlen(argv[1]), pocet);
    if (r.ec != std::errc() || pocet < 100) {
      std::cerr << "usage: bench_komunikace [reads >= 100]\n";
      return 2;
    }
  }
  zqsim::TSimulator sim;
  if (!sim.SpustUdp(0)) {
    std::cerr << "the simulator cannot listen on loopback\n";
    return 1;
  }
  for (int m = 0; m < PocetModulu; ++m)
    for (int p = 0; p < PeriferiiNaModul; ++p) {
      zqsim::THodnota h;
      h.Format = static_cast<zqsim::TFormat>(p % 3);
      h.Prubeh = p % 2 ? zqsim::TPrubeh::Sinus : zqsim::TPrubeh::Citac;
      h.Amplituda = 100;
      h.Mista = 2;
      sim.PridejPeriferii(static_cast<uint8_t>(1 + m), static_cast<uint8_t>(p), h);
    }
  const std::string ip = "127.0.0.1";
  int32_t handle = 0;
  TParametryRozhrani par;
  par.Polozka[0] = reinterpret_cast<intptr_t>(ip.c_str());
  par.Polozka[1] = sim.UdpPort();
  par.Polozka[2] = 1000;
  if (int32_t kod = InitRozhrani(TypZQ, &handle, par); kod != 0) {
    TPole100 text{};
    ChybovyText(TypZQ, kod, text);
    std::cerr << "InitRozhrani: " << kod << " - " << PoleNaText(text) << "\n";
    return 1;
  }
  if (int32_t kod = NastavRozhrani(TypZQ, handle, Rychlost, 100, 1); kod != 0) {
    std::cerr << "NastavRozhrani: " << kod << "\n";
    return 1;
  }

  Vypis("LAN, loopback", pocet, Mereni(handle, pocet));

  sim.NastavRychlostLinky(Rychlost);
  const TVysledek linka = Mereni(handle, pocet);
  Vypis("LAN, line emulated at 115200 Bd", pocet, linka);
  const double drat = static_cast<double>(zqdrv::DobaNaLince(8 + zqdrv::DelkaOdpovedi, Rychlost));
  std::cout << std::fixed << std::setprecision(1)
            << "wire time of one read (8 + 12 bytes): " << drat << " us; measured / wire: mean "
            << std::setprecision(3) << linka.PrumerUs / drat << ", 99th percentile "
            << linka.P99Us / drat << "\n";

  UkonciRozhrani(TypZQ, &handle);
  sim.Zastav();
  return 0;
}
