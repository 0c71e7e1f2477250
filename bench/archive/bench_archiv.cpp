// Appends 10,000 samples of 256 channels to a text, a CSV and a DBF data file
// and prints the cost per sample, and whether that cost stays flat as the
// file grows (mean of the first 1,000 appends against the last 1,000).
//
// Usage: bench_archiv [folder] [samples]   (default: a fresh folder in /tmp)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchivDat.h"
#include "Mistni.h"

namespace fs = std::filesystem;
using Hodiny = std::chrono::steady_clock;

namespace {

constexpr int Kanalu = 256;

double Prumer(const std::vector<double>& t, size_t od, size_t pocet) {
  double soucet = 0;
  for (size_t i = od; i < od + pocet; ++i) soucet += t[i];
  return soucet / static_cast<double>(pocet);
}

// The median resists the odd slow append of a busy machine.
double Median(const std::vector<double>& t, size_t od, size_t pocet) {
  std::vector<double> v(t.begin() + static_cast<long>(od),
                        t.begin() + static_cast<long>(od + pocet));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(pocet / 2), v.end());
  return v[pocet / 2];
}

bool Mer(const fs::path& slozka, const char* jmeno, int vzorku) {
  const fs::path cesta = slozka / jmeno;
  fs::remove(cesta);
  TArchivDat a;
  PripravArchiv(a, cesta.string(), 31, Kanalu);
  for (int k = 0; k < Kanalu; ++k) {
    a.Vzorek.Nazev[k] = "Kanal " + std::to_string(k);
    a.Vzorek.DesetinnaMista[k] = 2;
  }
  a.Vzorek.Datum = "7.12.2026";
  std::vector<double> us;
  us.reserve(static_cast<size_t>(vzorku));
  std::string chyba;
  const auto zacatek = Hodiny::now();
  for (int i = 0; i < vzorku; ++i) {
    a.Vzorek.Cas = "12:" + std::to_string(i / 60 % 60) + ":" + std::to_string(i % 60);
    for (int k = 0; k < Kanalu; ++k) {
      a.Vzorek.Hodnota[k] = std::to_string((i * 7 + k) % 10000) + ",25";
      a.Vzorek.Chyba[k] = static_cast<uint8_t>((i + k) % 97 == 0);
    }
    const auto t0 = Hodiny::now();
    ZapisVzorek(a, chyba);
    us.push_back(std::chrono::duration<double, std::micro>(Hodiny::now() - t0).count());
    if (!chyba.empty()) {
      std::printf("%-6s write failed at sample %d\n", jmeno, i + 1);
      return false;
    }
  }
  const double celkem = std::chrono::duration<double, std::micro>(Hodiny::now() - zacatek).count();
  const size_t okno = std::min<size_t>(1000, us.size() / 2);
  const size_t konec = us.size() - okno;
  const double prvni = Prumer(us, 0, okno), posledni = Prumer(us, konec, okno);
  const double prvniMed = Median(us, 0, okno), posledniMed = Median(us, konec, okno);
  double zapis = 0;
  for (double t : us) zapis += t;
  std::printf(
      "%-9s %d samples, %.1f MB: %.1f us per append (%.1f us per sample with filling)\n"
      "          first %zu: mean %.1f us, median %.1f us; last %zu: mean %.1f us, "
      "median %.1f us; median ratio %.2f -> %s\n",
      jmeno, vzorku, static_cast<double>(fs::file_size(cesta)) / 1e6, zapis / vzorku,
      celkem / vzorku, okno, prvni, prvniMed, okno, posledni, posledniMed, posledniMed / prvniMed,
      posledniMed / prvniMed < 1.5 ? "flat" : "GROWS");
  fs::remove(cesta);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  NastavMistni(MistniCeske());
  fs::path slozka =
      argc > 1 ? fs::path(argv[1])
               : fs::temp_directory_path() / ("bench_archiv_" + std::to_string(::getpid()));
  const int vzorku = argc > 2 ? std::atoi(argv[2]) : 10000;
  fs::create_directories(slozka);
  std::printf("bench_archiv: %d samples of %d channels, all columns, in %s\n", vzorku, Kanalu,
              slozka.c_str());
  bool ok = Mer(slozka, "data.txt", vzorku) && Mer(slozka, "data.csv", vzorku) &&
            Mer(slozka, "data.dbf", vzorku);
  if (argc <= 1) fs::remove_all(slozka);
  return ok ? 0 : 1;
}
