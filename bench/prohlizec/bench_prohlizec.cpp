// Data files of 256 channels at a 1 s period, each of at least 1 GiB (a
// size given in MiB instead), in text, CSV and DBF, read by the reader:
//   - the whole file's pass (the index and the summaries of 8 channels,
//     the plot of 1200 columns from them): records/s, MB/s, seconds, warm
//     page cache, no index cached;
//   - the same file opened again with its index cached;
//   - a one-hour extract of the 8 channels, opened with the cached index;
//   - zq-prohlizec as a whole process: the picture of the 8 channels over
//     the whole file (--png) without and with the index cached, and the
//     hour's extract (--csv);
//   - each of them in a process of its own: its wall time and peak
//     resident memory.
//   - where installed, Kst (kst2, the reference for viewing large ASCII
//     data files) drawing the same 8 channels of the text file to a PNG as
//     a whole process, and how many times faster zq-prohlizec's picture of
//     each format was in the same run.
// Each measurement is a function of its own.
//
// The files start with records written by the writers themselves
// (archive/ArchivDat.h); the rest is written directly in the same format,
// checked byte for byte against the writers' record first.  They lie in a
// temporary folder removed at the end.
//
// Usage: bench_prohlizec [MiB] [txt|csv|dbf ...]   (default 1024, all three)
// With ZQ_BENCH_NECHAT set the files and caches stay (for a profiler).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ArchivDat.h"
#include "Cp1250.h"
#include "Ctenar.h"
#include "Hodiny.h"
#include "Mistni.h"

namespace fs = std::filesystem;
using Hodiny = std::chrono::steady_clock;

namespace {

constexpr int Kanalu = 256;
constexpr int32_t Volby = 31;
// 2026-12-07 00:00:00 in the local zone of the run.
const int64_t Zacatek = [] {
  std::tm tm{};
  tm.tm_year = 126;
  tm.tm_mon = 11;
  tm.tm_mday = 7;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}();
const std::vector<int> Osm{13, 14, 15, 16, 17, 18, 19, 20};

TDatumCas g_ted;

double Sekund(Hodiny::time_point od) {
  return std::chrono::duration<double>(Hodiny::now() - od).count();
}

TDatumCas Mistni(int64_t s) {
  const std::time_t t = static_cast<std::time_t>(s);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Channel k of record i: a value of two decimals, and whether its read failed.
int Setiny(int64_t i, int k) { return static_cast<int>((i * 7 + k * 131) % 200000) - 100000; }
bool Selhal(int64_t i, int k) { return (i + k) % 997 == 0; }

std::string Hodnota(int64_t i, int k) {
  if (Selhal(i, k)) return "0";
  const int s = Setiny(i, k);
  char b[48];
  std::snprintf(b, sizeof b, "%s%d,%02d", s < 0 ? "-" : "", std::abs(s) / 100, std::abs(s) % 100);
  return b;
}

// The fields of record i (index i + 1), as the sample gives them.
void Vzorek(TArchivDat& a, int64_t i) {
  g_ted = Mistni(Zacatek + i);
  a.Vzorek.Datum = FormatujDatum(g_ted);
  a.Vzorek.Cas = FormatujCas(g_ted);
  for (int k = 0; k < Kanalu; ++k) {
    a.Vzorek.Hodnota[k] = Hodnota(i, k);
    a.Vzorek.Chyba[k] = Selhal(i, k) ? 4 : 0;
  }
}

// Record i in the file's format, CR LF or the DBF record.
std::string Zaznam(TFormatSouboru f, int64_t i) {
  TArchivDat a;
  PripravArchiv(a, "x", Volby, Kanalu);
  Vzorek(a, i);
  std::vector<std::string> pole{std::to_string(i + 1), a.Vzorek.Datum, a.Vzorek.Cas};
  for (int g = 0; g < Kanalu; g += 32)
    pole.push_back(std::to_string(SkupinaChyb(a.Vzorek, g, Kanalu)));
  for (int k = 0; k < Kanalu; ++k) pole.push_back(a.Vzorek.Hodnota[k]);
  std::string z;
  if (f == TFormatSouboru::DBF) {
    z = " ";
    for (std::string p : pole) {
      for (char& c : p)
        if (c == ',') c = '.';
      z += std::string(14 - p.size(), ' ') + p;
    }
    return z;
  }
  for (size_t j = 0; j < pole.size(); ++j) {
    if (j) z += f == TFormatSouboru::Text ? '\t' : ';';
    z += f == TFormatSouboru::Text ? pole[j] + std::string(14 - pole[j].size(), ' ') : pole[j];
  }
  return z + "\r\n";
}

// A file of at least `bajtu` bytes: its first records by the writer, the
// rest in the same bytes (checked against the writer's own record).
bool Vytvor(const fs::path& cesta, uint64_t bajtu, int64_t& zaznamu) {
  const TFormatSouboru f = FormatSouboru(cesta.string());
  TArchivDat a;
  PripravArchiv(a, cesta.string(), Volby, Kanalu);
  for (int k = 0; k < Kanalu; ++k) {
    a.Vzorek.Nazev[k] = "Kanal " + std::to_string(k);
    a.Vzorek.DesetinnaMista[k] = 2;
  }
  std::string chyba;
  for (int64_t i = 0; i < 3; ++i) {
    Vzorek(a, i);
    ZapisVzorek(a, chyba);
    if (!chyba.empty()) return false;
  }
  const uint64_t velikost = fs::file_size(cesta);
  const std::string posledni = Zaznam(f, 2);
  std::string konec(posledni.size(), '\0');
  const int fd = ::open(cesta.c_str(), O_RDWR);
  const off_t kde = static_cast<off_t>(velikost - posledni.size() - (f == TFormatSouboru::DBF));
  if (fd < 0 ||
      ::pread(fd, konec.data(), konec.size(), kde) != static_cast<ssize_t>(konec.size()) ||
      konec != posledni) {
    std::fprintf(stderr, "%s: the benchmark's record differs from the writer's\n", cesta.c_str());
    return false;
  }
  if (f == TFormatSouboru::DBF && ::ftruncate(fd, static_cast<off_t>(velikost - 1)) != 0)
    return false;
  ::lseek(fd, 0, SEEK_END);
  std::string kus;
  uint64_t celkem = velikost;
  int64_t i = 3;
  for (; celkem < bajtu; ++i) {
    const std::string z = Zaznam(f, i);
    kus += z;
    celkem += z.size();
    if (kus.size() >= (8u << 20) || celkem >= bajtu) {
      if (::write(fd, kus.data(), kus.size()) != static_cast<ssize_t>(kus.size())) return false;
      kus.clear();
    }
  }
  zaznamu = i;
  if (f == TFormatSouboru::DBF) {
    const char znak = static_cast<char>(DBF_KonecSouboru);
    const uint32_t n = static_cast<uint32_t>(i);
    const char pocet[4] = {static_cast<char>(n), static_cast<char>(n >> 8),
                           static_cast<char>(n >> 16), static_cast<char>(n >> 24)};
    if (::write(fd, &znak, 1) != 1 || ::pwrite(fd, pocet, 4, 4) != 4) return false;
  }
  return ::close(fd) == 0;
}

// The file into the page cache, as a viewer's second look finds it.
void Zahrej(const fs::path& cesta) {
  const int fd = ::open(cesta.c_str(), O_RDONLY);
  std::vector<char> b(8 << 20);
  while (::read(fd, b.data(), b.size()) > 0) {
  }
  ::close(fd);
}

// The file with the index cache in `mezipamet`; null, said, when it fails.
std::unique_ptr<TCtenar> Otevri(const fs::path& cesta, const fs::path& mezipamet) {
  TNastaveniCteni n;
  n.SlozkaMezipameti = mezipamet;
  std::string chyba;
  auto c = TCtenar::Otevri({cesta}, n, chyba);
  if (!c) std::printf("  %s\n", Utf8(chyba).c_str());
  return c;
}

// The peak resident memory of this process, MiB (VmHWM: of this program's
// own memory since its exec).
double Spicka() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  char radek[256];
  double kib = 0;
  while (f && std::fgets(radek, sizeof radek, f))
    if (std::sscanf(radek, "VmHWM: %lf", &kib) == 1) break;
  if (f) std::fclose(f);
  return kib / 1024;
}

// The whole file: opened, indexed with 8 channels summed up, drawn in 1200
// columns; the index kept when `mezipamet` is given.
void MerCteni(const fs::path& cesta, const fs::path& mezipamet, const char* jak) {
  const auto t0 = Hodiny::now();
  auto c = Otevri(cesta, mezipamet);
  if (!c) return;
  const double otevreni = Sekund(t0);
  const auto t1 = Hodiny::now();
  c->Indexuj(Osm);
  const double index = Sekund(t1);
  const auto t2 = Hodiny::now();
  const auto rozsah = c->Rozsah();
  const TPrehled p = c->Prehled(Osm, rozsah->first, rozsah->second, 1200);
  const double prehled = Sekund(t2);
  const double celkem = Sekund(t0);
  const double mb = static_cast<double>(fs::file_size(cesta)) / 1e6;
  std::printf(
      "  %-22s %.3f s (open %.3f, index %.3f, plot %.3f): %.0f records/s, %.0f MB/s, peak RSS "
      "%.1f MiB%s\n",
      jak, celkem, otevreni, index, prehled, static_cast<double>(c->PocetZaznamu()) / celkem,
      mb / celkem, Spicka(), p.Uplny ? "" : " INCOMPLETE");
  c->UlozMezipamet();
}

// One hour from the middle of the file, 8 channels, from the cached index.
void MerVypis(const fs::path& cesta, const fs::path& mezipamet, int64_t zaznamu) {
  const auto t0 = Hodiny::now();
  auto c = Otevri(cesta, mezipamet);
  if (!c) return;
  const int64_t od = Zacatek + zaznamu / 2;
  uint64_t radku = 0;
  c->Vypis(Osm, od, od + 3599, [&](const TZaznam&) {
    ++radku;
    return true;
  });
  std::printf("  one-hour extract       %.1f ms, %llu records, the index %s, peak RSS %.1f MiB\n",
              Sekund(t0) * 1e3, static_cast<unsigned long long>(radku),
              c->Indexovano() ? "cached" : "MADE AGAIN", Spicka());
}

// A program as a whole process: its wall time, and its peak resident memory
// as GNU time reports it where installed.  (The rusage of a child started
// from here would count this process's memory too: exec keeps the larger
// of the two.)  The measurements of this program run so as well, a fresh
// process each, and say their own peak.
double MerProces(const std::vector<std::string>& argumenty, const char* co,
                 const std::vector<std::string>& prostredi = {}) {
  std::vector<std::string> a = argumenty;
  const fs::path pamet =
      fs::temp_directory_path() / ("bench_prohlizec_time_" + std::to_string(::getpid()));
  const bool time = ::access("/usr/bin/time", X_OK) == 0;
  if (time) a.insert(a.begin(), {"/usr/bin/time", "-o", pamet.string(), "-f", "%M"});
  std::vector<char*> argv;
  for (std::string& x : a) argv.push_back(x.data());
  argv.push_back(nullptr);
  // The environment with `prostredi` ("NAME=value") over it.
  std::vector<std::string> env = prostredi;
  for (char** e = environ; *e; ++e) {
    const std::string_view x = *e;
    bool prepsano = false;
    for (const std::string& n : prostredi)
      prepsano = prepsano || x.substr(0, x.find('=') + 1) == n.substr(0, n.find('=') + 1);
    if (!prepsano) env.emplace_back(x);
  }
  std::vector<char*> envp;
  for (std::string& x : env) envp.push_back(x.data());
  envp.push_back(nullptr);
  std::fflush(nullptr);
  const auto t0 = Hodiny::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
    std::printf("  %-22s cannot start %s\n", co, argv[0]);
    return -1;
  }
  int stav = 0;
  ::waitpid(pid, &stav, 0);
  const double ms = Sekund(t0) * 1e3;
  double kib = 0;
  if (std::FILE* f = time ? std::fopen(pamet.c_str(), "r") : nullptr) {
    if (std::fscanf(f, "%lf", &kib) != 1) kib = 0;
    std::fclose(f);
    fs::remove(pamet);
  }
  std::printf("  %-22s %.1f ms as a process", co, ms);
  if (kib > 0) std::printf(", peak RSS %.1f MiB", kib / 1024);
  std::printf(", exit %d\n", WEXITSTATUS(stav));
  return WIFEXITED(stav) && WEXITSTATUS(stav) == 0 ? ms : -1;
}

// Kst's picture of channels 13 to 20 of the text file: its columns are
// counted from 1 (index, date, time, 8 error groups, then channel 0 in
// column 12), drawn as one plot into a PNG, without a display; -1 when
// kst2 is not installed or fails.
double MerKst(const fs::path& text, const fs::path& png) {
  if (::access("/usr/bin/kst2", X_OK) != 0) {
    std::printf("  kst2 --png             not installed (scripts/zavislosti.sh --testy)\n");
    return -1;
  }
  std::vector<std::string> a{"/usr/bin/kst2", text.string(), "-P", "p"};
  for (int k : Osm) a.insert(a.end(), {"-y", std::to_string(12 + k)});
  a.insert(a.end(), {"--png", png.string()});
  return MerProces(a, "kst2 --png (same 8)", {"QT_QPA_PLATFORM=offscreen"});
}

std::string CasVolby(int64_t s) {
  const TDatumCas t = Mistni(s);
  char b[96];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", t.Rok, t.Mesic, t.Den, t.Hodina,
                t.Minuta, t.Sekunda);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  NastavMistni(MistniCeske());
  NastavZdrojCasu([] { return g_ted; });
  // One measurement in a process of its own: --mer cteni|znovu|vypis FILE CACHE [records].
  if (argc >= 5 && std::string_view(argv[1]) == "--mer") {
    const std::string_view co = argv[2];
    if (co == "vypis")
      MerVypis(argv[3], argv[4], argc > 5 ? std::atoll(argv[5]) : 0);
    else
      MerCteni(argv[3], argv[4], co == "cteni" ? "whole pass, no index" : "again, index cached");
    return 0;
  }
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  std::vector<std::string> formaty;
  for (int i = 2; i < argc; ++i) formaty.emplace_back(argv[i]);
  if (formaty.empty()) formaty = {"txt", "csv", "dbf"};
  const fs::path slozka =
      fs::temp_directory_path() / ("bench_prohlizec_" + std::to_string(::getpid()));
  fs::create_directories(slozka);
  std::printf("bench_prohlizec: %d channels at 1 s, files of %llu MiB in %s; 8 channels read\n",
              Kanalu, static_cast<unsigned long long>(mib), slozka.c_str());
  double kst = -1;
  std::vector<std::pair<std::string, double>> obrazky;  // zq-prohlizec's picture per format
  for (const std::string& pripona : formaty) {
    const fs::path cesta = slozka / ("data." + pripona);
    const fs::path mezipamet = slozka / ("mezipamet-" + pripona);
    const auto t0 = Hodiny::now();
    int64_t zaznamu = 0;
    if (!Vytvor(cesta, mib << 20, zaznamu)) return 1;
    std::printf("%s: %llu bytes, %lld records (%.1f days) made in %.1f s\n", pripona.c_str(),
                static_cast<unsigned long long>(fs::file_size(cesta)),
                static_cast<long long>(zaznamu), static_cast<double>(zaznamu) / 86400, Sekund(t0));
    Zahrej(cesta);
    const std::string ja = fs::read_symlink("/proc/self/exe").string();
    MerProces({ja, "--mer", "cteni", cesta.string(), mezipamet.string()}, "  (its process)");
    MerProces({ja, "--mer", "znovu", cesta.string(), mezipamet.string()}, "  (its process)");
    MerProces({ja, "--mer", "vypis", cesta.string(), mezipamet.string(), std::to_string(zaznamu)},
              "  (its process)");
    const int64_t od = Zacatek + zaznamu / 2;
    // The program as a script runs it: the picture of the whole file with
    // no index cached (a first look), again with it, then the hour's
    // extract.  (An outside program's picture of the same file belongs
    // here too.)
    const fs::path cache = slozka / ("cache-" + pripona);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::string png = (slozka / "obrazek.png").string();
    obrazky.emplace_back(pripona, MerProces({ZQ_BIN "/zq-prohlizec", "--png", png, "--kanaly",
                                             "13-20", cesta.string()},
                                            "zq-prohlizec --png"));
    if (pripona == "txt") kst = MerKst(cesta, slozka / "kst.png");
    MerProces({ZQ_BIN "/zq-prohlizec", "--png", png, "--kanaly", "13-20", cesta.string()},
              "  again, index cached");
    MerProces({ZQ_BIN "/zq-prohlizec", "--csv", (slozka / "hodina.csv").string(), "--kanaly",
               "13-20", "--od", CasVolby(od), "--do", CasVolby(od + 3599), cesta.string()},
              "zq-prohlizec --csv 1 h");
    if (!std::getenv("ZQ_BENCH_NECHAT")) fs::remove(cesta);
  }
  if (kst > 0) {
    std::printf(
        "picture of the whole file, 8 channels, first look (no index cached), as a "
        "process: kst2 on the text file %.0f ms\n",
        kst);
    for (const auto& [pripona, ms] : obrazky)
      if (ms > 0)
        std::printf("  zq-prohlizec %-4s %.0f ms: %.1fx faster than kst2\n", pripona.c_str(), ms,
                    kst / ms);
  }
  if (!std::getenv("ZQ_BENCH_NECHAT")) fs::remove_all(slozka);
  return 0;
}
