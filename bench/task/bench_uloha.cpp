// Saves and loads a task with 256 channels N times (argument 1, default 200)
// in a temporary folder and prints the microseconds per operation and the
// number of times the task file was opened per operation.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "Dekl.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"

namespace {

struct TMereni {
  double UsNaOperaci = 0;
  double OtevreniNaOperaci = 0;
};

template <typename F>
TMereni Mer(int opakovani, F&& operace) {
  const uint64_t otevreniPred = PocetOtevreniProfilu();
  const auto zacatek = std::chrono::steady_clock::now();
  for (int i = 0; i < opakovani; ++i) operace(i);
  const auto konec = std::chrono::steady_clock::now();
  TMereni m;
  m.UsNaOperaci = std::chrono::duration<double, std::micro>(konec - zacatek).count() / opakovani;
  m.OtevreniNaOperaci = double(PocetOtevreniProfilu() - otevreniPred) / opakovani;
  return m;
}

void Vypis(const char* nazev, const TMereni& m) {
  std::printf("%-38s %10.1f us/op %6.2f opens/op\n", nazev, m.UsNaOperaci, m.OtevreniNaOperaci);
}

}  // namespace

int main(int argc, char** argv) {
  const int opakovani = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  namespace fs = std::filesystem;
  const fs::path slozka = fs::temp_directory_path() / ("bench_uloha." + std::to_string(::getpid()));
  fs::create_directories(slozka);
  NastavSlozkuProgramu(slozka);
  NastavMistni(MistniCeske());

  TCFG u;
  InitCFG(u);
  u.PocetKanalu = MaxKanalu;
  auto k = std::make_unique<TPoleKanal>();
  InitKanaly(*k);
  for (int i = 0; i < MaxKanalu; ++i) {
    (*k)[static_cast<size_t>(i)].KonstK = 1.0 + i / 7.0;
    (*k)[static_cast<size_t>(i)].KonstQ = -i / 3.0;
  }

  std::printf("task with %d channels, %d repetitions\n", MaxKanalu, opakovani);
  Vypis("ZapisUlohu + ZapisKanaly, new file", Mer(opakovani, [&](int) {
          fs::remove(slozka / JmenoUlohy(u.Uloha));
          ZapisUlohu(u);
          ZapisKanaly(u, *k);
        }));
  Vypis("ZapisUlohu + ZapisKanaly, changed", Mer(opakovani, [&](int i) {
          u.Volby = i & 31;
          (*k)[0].Nazev = "Ch " + std::to_string(i);
          ZapisUlohu(u);
          ZapisKanaly(u, *k);
        }));
  Vypis("ZapisCelouUlohu (the window's save)", Mer(opakovani, [&](int i) {
          u.Volby = (i + 1) & 31;
          (*k)[0].Nazev = "Ch " + std::to_string(i + 1);
          ZapisCelouUlohu(u, *k);
        }));
  std::printf("task file: %ju bytes\n",
              static_cast<uintmax_t>(fs::file_size(slozka / JmenoUlohy(u.Uloha))));
  Vypis("PrectiUlohu + PrectiKanaly", Mer(opakovani, [&](int) {
          TCFG r;
          InitCFG(r);
          PrectiUlohu(r);
          PrectiKanaly(r, *k);
        }));
  Vypis("PrectiCelouUlohu (a load)", Mer(opakovani, [&](int) {
          TCFG r;
          InitCFG(r);
          r.Uloha = u.Uloha;
          PrectiCelouUlohu(r, *k);
        }));
  Vypis("PrectiKanaly alone", Mer(opakovani, [&](int) { PrectiKanaly(u, *k); }));

  fs::remove_all(slozka);
  return 0;
}
