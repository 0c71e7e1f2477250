#pragma once
// The reader of data files: one file or a series of one task, read as one
// sequence of records on one axis.  Everything a viewer needs goes through
// here; the files themselves through TSouborDat (Soubor.h).
//
//   std::string chyba;
//   auto c = TCtenar::Otevri({"data.txt"}, {}, chyba);   // recognises, no full read
//   c->Indexuj({13, 14}, prubeh);                         // one pass, may be cancelled
//   TPrehled p = c->Prehled({13, 14}, od, do_, 1200);     // min/max per pixel column
//   c->Vypis({13, 14}, od, do_, [](const TZaznam& z) { ...; return true; });
//   c->Obnov();                                           // a growing file: appended records
//
// The axis: seconds since the epoch (the files' local dates and times,
// MistniCas.h) when the files have a date and a time column, otherwise the
// records' numbers counted through the series from 0.  Channels are given
// by position: 0 is the task's channel 0, the first channel column.
//
// A channel's value is NaN (a gap) where its error group marks the read as
// failed, and where its text is no number.  A file without error groups
// cannot tell a failed read from a value: the task's error value (0, or the
// last value kept) is read as written.
//
// Memory stays bounded whatever the files' size: pieces of 256 KiB read
// at a time (a buffer of up to 4 MiB only for a line that long), and the
// index of at most about 8192 blocks per file (more only as a file grows
// while open) with the summaries of the channels read.
//
// Not thread-safe: one thread at a time.  A window reads on a worker thread
// and cancels through the progress callback.  Texts are Windows-1250.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Rozlozeni.h"
#include "Soubor.h"

struct TNastaveniCteni {
  // The task of files written without a header line; empty: the task in the
  // file's folder whose "Jméno souboru" names the file (or its series).
  std::filesystem::path Uloha;
  // The index cache (Mezipamet.h): its folder; empty: no cache.
  std::filesystem::path SlozkaMezipameti;
  // One file stands for its whole series (Rada.h), and Obnov adds the
  // series' new files.  A name that does not exist but whose series does
  // is read as the series anyway.
  bool CelaRada = false;
};

// One pixel column of one channel: the extremes of its values, its first and
// last value, and whether the line comes into it from the value before
// without a gap (no failed read, no missing time between them).  Min is NaN
// where the column holds no value.
struct TBodPrehledu {
  float Min = NAN, Max = NAN, Prvni = NAN, Posledni = NAN;
  bool SpojitZleva = false;
  bool Prazdny() const { return std::isnan(Min); }
};

struct TPrehled {
  int64_t Od = 0, Do = 0;  // the range, both ends included
  int Sloupcu = 0;  // column c spans [Od + c*(Do-Od+1)/Sloupcu, Od + (c+1)*(Do-Od+1)/Sloupcu)
  std::vector<std::vector<TBodPrehledu>> Kanaly;  // [the channel's place in the choice][column]
  bool Uplny = true;  // false: the reading stopped (cancelled, or a file ended early)
};

// One record of an extract: the texts as the file has them (without the
// text format's padding, a CSV field's quotes or a DBF field's alignment),
// valid only during the call.
struct TZaznam {
  uint64_t Radek = 0;                   // the record's number in the series, from 0
  int64_t Poloha = 0;                   // on the axis
  std::string_view Index, Datum, Cas;   // empty without the column
  std::vector<std::string_view> Texty;  // the chosen channels
  std::vector<double> Hodnoty;          // NaN: a gap
  std::vector<uint8_t> Selhalo;         // the error group marks the read failed
};

class TCtenar {
 public:
  // Opens the files as one series: they must have the same columns.  The
  // members of one series are put in their names' order (period, then
  // collision, then part); other files stay in the order given.  Null with
  // `chyba` (Czech, naming the file and, where it lies in one, the line)
  // when a file cannot be read as ours.
  static std::unique_ptr<TCtenar> Otevri(const std::vector<std::filesystem::path>& soubory,
                                         const TNastaveniCteni& nastaveni, std::string& chyba);
  ~TCtenar();

  const TRozlozeni& Rozlozeni() const;  // the first file's; all have its columns
  size_t PocetSouboru() const { return soubory_.size(); }
  const TSouborDat& Soubor(size_t i) const { return *soubory_[i]; }
  bool MaCas() const { return Rozlozeni().MaCas(); }

  // Indexes what is not indexed yet, summing up the channels `kanaly` along
  // (a plot of them then needs no second pass).  `prubeh` hears the bytes
  // done and the bytes to do, and cancels by returning false; what was
  // indexed until then stays, and the next call goes on from there.
  enum class TStav { Hotovo, Zruseno, Chyba };
  TStav Indexuj(const std::vector<int>& kanaly = {}, const TPrubeh& prubeh = {});
  bool Indexovano() const;
  // Why a reading ended early, Czech; empty when none did.
  const std::string& Chyba() const { return chyba_; }

  // Of what is indexed: the records, and the first and last place on the axis.
  uint64_t PocetZaznamu() const;
  std::optional<std::pair<int64_t, int64_t>> Rozsah() const;

  // The chosen channels over [od, do_] in `sloupcu` columns.  Indexes first
  // when needed; blocks that lie in one column come from their summaries,
  // the others are read.
  TPrehled Prehled(const std::vector<int>& kanaly, int64_t od, int64_t do_, int sloupcu,
                   const TPrubeh& prubeh = {});
  // The records in [od, do_] in file order, with the chosen channels; stops
  // when `zaznam` returns false.  False when a file could not be read to
  // its end (Chyba() says why).  Indexes first when needed, as Prehled:
  // an index pass cancelled through `prubeh` leaves the records indexed.
  bool Vypis(const std::vector<int>& kanaly, int64_t od, int64_t do_,
             const std::function<bool(const TZaznam&)>& zaznam, const TPrubeh& prubeh = {});

  // A file that grows while it is open: appended records are indexed by the
  // next Indexuj; a file cut back, replaced or written anew is opened and
  // indexed again; a new file of the series (when opened as one) is added.
  // A line still being written is never read until its CR LF.
  struct TZmena {
    bool Pridano = false;  // records or files appended
    bool Znovu = false;    // something is read anew: earlier results are void
    std::string Chyba;     // a file that could not be read again, Czech
  };
  TZmena Obnov();

  // What the reading passed over: lines that are not records, dates or
  // times that do not read, texts that are no number, a DBF header's count,
  // a torn last line.  Czech, one line each, naming the file.
  std::vector<std::string> Poznamky() const;

  // Keeps the indexes of the files in the cache folder (when one is set)
  // that grew or gained summaries since they were read or kept.
  void UlozMezipamet();

  // A local time given by a person as the start (the earlier instant of a
  // repeated hour) or the end (the later) of a range on the axis.
  static int64_t Okamzik(const TDatumCas& t, bool konec);

 private:
  TCtenar() = default;
  int64_t PosunSouboru(size_t i) const;  // a file without time: its first record's number
  int64_t Predchozi(size_t i) const;     // the place of the record before file i
  std::unique_ptr<TSouborDat> OtevriSoubor(const std::filesystem::path& p, std::string& chyba);

  TNastaveniCteni nastaveni_;
  std::vector<std::unique_ptr<TSouborDat>> soubory_;
  std::vector<std::string> poznamkyOtevreni_;
  std::optional<TUlohaSouboru> uloha_;
  std::filesystem::path rada_;  // the series' data file, when opened as one
  std::string chyba_;
};

// The task a header-less file is read with: the file `uloha` when given,
// else the one task in the file's folder whose "Jméno souboru" names the
// file or its series.  Empty with `chyba` (Czech) when none or several do.
std::optional<TUlohaSouboru> UlohaSouboru(const std::filesystem::path& soubor,
                                          const std::filesystem::path& uloha, std::string& chyba);
