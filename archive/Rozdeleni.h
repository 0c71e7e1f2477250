#pragma once
// A task's data file split into a series of files by day, week, month or
// size, and the limits of the formats guarded whatever the setting.
//
// The settings are ours, not the designed task's: ZQ_soubory.ini in the
// program's folder, UTF-8 or Windows-1250 (TKodovani::Utf8NeboCp1250).
// Section "Rozdělení" holds the program-wide default; a section named by
// the task file's name without ".zq" ([Linka1] for Linka1.zq) holds the
// task's own keys, which win.  Split off, which is the default, the file is
// the task's "Jméno souboru" byte for byte as designed.
//
// A split file is named by its period, put before the extension:
// data_2026-12-08.csv (den), data_2026-W50.csv (týden: the ISO week and its
// year), data_2026-12.csv (měsíc), data_2026-12-08_142530.csv (velikost:
// the time of its first sample, "-2", "-3" ... appended when the name is
// taken).  A DBF table never passes 2 GiB: the record that would pass it
// starts the next part, data_2.dbf, data_3.dbf (after the period when
// split: data_2026-12-08_2.dbf).  Periods are those of the local date, as
// the files' own date columns are.  Texts are Windows-1250.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArchivDat.h"
#include "Hodiny.h"

inline constexpr std::string_view JmenoNastaveniSouboru = "ZQ_soubory.ini";

enum class TRozdeleni { Ne, Den, Tyden, Mesic, Velikost };

struct TNastaveniSouboru {
  TRozdeleni Rozdelit = TRozdeleni::Ne;
  int32_t VelikostMB = 0;  // Velikost: no file passes this many MB (MiB)
  int32_t Ponechat = 0;    // files of the series kept; 0: all of them
  bool operator==(const TNastaveniSouboru&) const = default;
};

// The keyword of the setting as the file holds it ("ne", "den", "týden",
// "měsíc", "velikost").
std::string KlicoveSlovo(TRozdeleni r);

// The largest "Velikost MB" a format allows: a DBF table stays below 2 GiB.
inline constexpr int32_t MaxVelikostDBF = 2047;
inline constexpr int32_t MaxVelikost = 1048576;
int32_t MaxVelikostMB(TFormatSouboru f);

// The split in a few words for a line that names the file: " (rozděleno po
// dnech, ponechat 7 souborů)"; empty when off.
std::string PopisRozdeleni(const TNastaveniSouboru& n);

// The task's section: the task file's name without ".zq".
std::string SekceSouboru(std::string_view uloha);

// The settings of task `uloha` (its file name, "Linka1.zq") for its data
// file `jmenoDat`: its own keys, else those of "Rozdělení", else the
// defaults.  A value that is wrong (an unknown keyword, a size of 0 or
// beyond the format's limit, a count below 0) gives the designed behaviour,
// no split (keep every file for "Ponechat souborů"), never a guess; what
// was wrong, and what the file holds that nobody reads, goes to `zpravy`, a
// message each in Czech.
TNastaveniSouboru PrectiNastaveniSouboru(const std::filesystem::path& soubor,
                                         std::string_view uloha, std::string_view jmenoDat,
                                         std::vector<std::string>* zpravy = nullptr);
// Writes the task's section (every key).  Throws TChybaZapisu when refused.
void ZapisNastaveniSouboru(const std::filesystem::path& soubor, std::string_view uloha,
                           const TNastaveniSouboru& n);

// The data file of a task as a path: a relative name lies in the program's
// folder.
std::filesystem::path DatovaCesta(const std::string& jmeno);

// The period of a moment as its file names it: "2026-12-08", "2026-W50",
// "2026-12", "2026-12-08_142530"; empty without a split.
std::string ObdobiSouboru(TRozdeleni r, const TDatumCas& t);

// One file of a series: its period, its number among files of the same
// name (velikost: "-2") and its part (a DBF table past its limit: "_2").
struct TClenRady {
  std::string Obdobi;
  int Kolize = 1;
  int Dil = 1;
  bool operator==(const TClenRady&) const = default;
  // Older first: the order in which they were written.
  bool operator<(const TClenRady& b) const;
};

// The name of series file `c` of data file `jmeno` (any path, Windows-1250):
// the period, "-<kolize>" and "_<dil>" before the extension of the last
// path component.  Without a period and past no limit it is `jmeno`.
std::string JmenoClenu(std::string_view jmeno, const TClenRady& c);
// Which file of the series of `jmeno` split as `r` the file `soubor` is (a
// name in the same folder), if any.  Parts are DBF's only.
std::optional<TClenRady> ClenRady(std::string_view jmeno, TRozdeleni r, std::string_view soubor);
// The files of the series there are now, oldest first.
std::vector<TClenRady> SouboryRady(const std::string& jmeno, TRozdeleni r);

// The DBF limit: no table grows past this many bytes (2 GiB - 1, the
// largest offset a signed 32-bit reader reaches), and the bytes of one MB
// of "Velikost MB" (1 MiB).  Tests and the soak make them small, so that a
// series switches without writing gigabytes; 0 restores the real value.
uint64_t LimitDBF();
void NastavLimitDBF(uint64_t bajtu);
uint64_t BajtuMB();
void NastavBajtuMB(uint64_t bajtu);

// What a run needs to split the task's file: the settings as it uses them,
// what was wrong with them, the data files of the other tasks (never
// written into, never deleted) and the file an earlier run left to go on
// with.
struct TRozdeleniBehu {
  TNastaveniSouboru Nastaveni;
  std::vector<std::string> Zpravy;
  std::string Jmeno;              // the task's data file, a full path
  std::vector<std::string> Cizi;  // the other tasks' data files, full paths
  std::optional<TClenRady> Dale;  // --pokracovat: the series file to go on with
  // The file a sample taken at `kdy` begins (velikost: a new file then).
  std::string Soubor(const TDatumCas& kdy) const;
  // The same as a person is shown it before a run: by size, the period
  // spelt out ("data_RRRR-MM-DD_hhmmss.csv"), since the first sample names it.
  std::string Ukazat(const TDatumCas& kdy) const;
  // The file `c` is of the period of `kdy`: a run goes on with it.
  bool Aktualni(const TClenRady& c, const TDatumCas& kdy) const;
};

// Reads the settings of task `uloha` (from `nastaveni`) for its data file
// `jmeno` (a full path) and finds the data files the task files in
// `slozkyUloh` name, `vlastni` (the task's own file) left out.  A split
// whose series would take in a file another task names is refused (no
// split, said in Zpravy).
TRozdeleniBehu PripravRozdeleni(const std::filesystem::path& nastaveni, std::string_view uloha,
                                const std::string& jmeno,
                                const std::vector<std::filesystem::path>& slozkyUloh,
                                const std::filesystem::path& vlastni);

// The series of a running measurement, on the main thread: which file each
// sample goes to, the DBF limit, and the oldest files deleted beyond
// "Ponechat souborů".
class TRadaSouboru {
 public:
  void Zacni(const TRozdeleniBehu& r);
  // Sets a.JmenoSouboru to the file the sample taken at `kdy` goes to (a new
  // one when its period began or the last is full).  What is to be said
  // (a DBF table at its limit) goes to `zpravy`.
  void PredZapisem(TArchivDat& a, const TDatumCas& kdy, std::vector<std::string>& zpravy);
  // After the sample's write: true when it began a file the series switched
  // to; the oldest beyond "Ponechat souborů" are deleted then, each deletion
  // (and each that failed) said in `zpravy`.
  bool PoZapisu(bool zapsano, std::vector<std::string>& zpravy);

 private:
  // Bytes the file `c` would have with the record of `a` appended.
  uint64_t VelikostSZaznamem(const TClenRady& c, const TArchivDat& a) const;
  void Uklid(std::vector<std::string>& zpravy);

  TRozdeleniBehu r_;
  TFormatSouboru format_ = TFormatSouboru::Text;
  bool zvolen_ = false;  // a file has been chosen in this run
  TClenRady clen_;
  bool novy_ = false;  // the file chosen for this sample did not exist
};

// With the split off: when the file of a task writing `format` with
// `volby`, `kanalu` channels every `periodaSek` seconds from `zacatek` will
// pass the 1,048,576 rows a spreadsheet opens (text, CSV) or 2 GiB (DBF)
// within 30 days, the date it happens and the setting that avoids it; empty
// otherwise.
std::string VarovaniLimitu(TFormatSouboru format, int32_t volby, int32_t kanalu, int32_t periodaSek,
                           const TNastaveniSouboru& n, const TDatumCas& zacatek);
