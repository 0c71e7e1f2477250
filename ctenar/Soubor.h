#pragma once
// One data file read through a buffer of bounded size: its layout, the
// forms of its dates and times, and an index of its records by block (where
// each block starts, its records' times, and per channel the extremes of
// what it holds, for the channels read so far).  Records are found and
// parsed only in the columns asked for.  The file is read with pread, never
// mapped: a file cut back while it is read ends the walk with a message
// rather than a fault.

#include <sys/types.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MistniCas.h"
#include "Rozlozeni.h"

// A run of consecutive records.
struct TBlok {
  uint64_t Od = 0;          // byte after the previous block's last record
  uint64_t Do = 0;          // byte after its own last record
  uint64_t PrvniRadek = 0;  // the file's number of its first record (from 0)
  uint32_t Radku = 0;
  // Places on the axis (MistniCas.h; the record's number in a file without
  // a date and a time column).
  int64_t PolohaPrvni = 0, PolohaPosledni = 0, PolohaMin = 0, PolohaMax = 0;
  // The first and last record (1 .. Radku-1) that follows its predecessor
  // in the block after a gap of time; Zadny when none does.
  static constexpr uint32_t Zadny = UINT32_MAX;
  uint32_t PrvniMezera = Zadny, PosledniMezera = Zadny;
};

// One channel over one block: its extremes and its first and last value
// (drawing precision), and where in the block they are.
struct TSouhrn {
  float Min = NAN, Max = NAN, Prvni = NAN, Posledni = NAN;
  uint32_t IPrvni = TBlok::Zadny, IPosledni = TBlok::Zadny;
  uint8_t Znamy = 0;  // 0: not read yet
  void Pridej(double v, uint32_t i);
};

// What a walk found that is not a record, or not a value.
struct TPocty {
  uint64_t VadneRadky = 0;  // lines or DBF records not of the layout
  uint64_t PrvniVadny = 0;  // the first one's line (DBF: record) number, from 1
  uint64_t SpatnyCas = 0;   // records whose date or time does not read
  uint64_t PrvniSpatnyCas = 0;
  uint64_t NecitelneHodnoty = 0;  // channel texts that are no number
  void Pridej(const TPocty& p);
};

// The index of a file as far as it goes.
struct TIndex {
  uint32_t RadkuVBloku = 0;  // records per block (the last may have fewer)
  int64_t Perioda = 1;       // the usual step between records on the axis
  std::vector<TBlok> Bloky;
  uint64_t Radku = 0;  // records indexed
  uint64_t Konec = 0;  // byte after the last record indexed
  uint64_t Radek = 0;  // lines (DBF: records) indexed, for the numbers of messages
  TPocty Pocty;
  // Channel -> its summary of every block.
  std::map<int, std::vector<TSouhrn>> Souhrny;
};

// One record of a walk.
struct TRadekCteni {
  uint64_t Radek = 0;  // the file's number of the record
  int64_t Poloha = 0;
  const double* Hodnoty = nullptr;   // the channels asked for; NaN: a gap
  const uint8_t* Selhalo = nullptr;  // 1: the error group marks the read failed
  const TPoleZaznamu* Pole = nullptr;
};

// Bytes done and bytes to do; false to stop.
using TPrubeh = std::function<bool(uint64_t hotovo, uint64_t celkem)>;
using TPrijemRadku = std::function<bool(const TRadekCteni&)>;

class TSouborDat {
 public:
  enum TVysledek { Hotovo, Zruseno, Selhalo };

  // Opens the file and recognises it.  `uloha` serves a text or CSV file
  // without a header line.  Null with `rozpoznani` saying why.
  static std::unique_ptr<TSouborDat> Otevri(const std::filesystem::path& cesta,
                                            const TUlohaSouboru* uloha, TRozpoznani& rozpoznani);
  ~TSouborDat();
  TSouborDat(const TSouborDat&) = delete;
  TSouborDat& operator=(const TSouborDat&) = delete;

  const std::filesystem::path& Cesta() const { return cesta_; }
  const TRozlozeni& Rozlozeni() const { return r_; }
  const TIndex& Index() const { return ix_; }
  // The bytes of complete records the file had when last looked at (Obnov).
  uint64_t KonecDat() const { return konecDat_; }
  bool Indexovano() const { return ix_.Konec >= konecDat_ && tvaryZnamy_; }
  // Bytes of an incomplete last line or record (never read).
  uint64_t NeuplnyKonec() const { return neuplny_; }
  // Why the last walk ended early (the file cut back, a read error), Czech.
  const std::string& Chyba() const { return chyba_; }

  // Extends the index to the end of the file's complete records.  Each
  // record goes to `radek` too, and the channels `kanaly` are summed up per
  // block.  `predchozi`: the place of the record before the file (a series).
  TVysledek Indexuj(const std::vector<int>& kanaly, const TPrijemRadku* radek,
                    const TPrubeh& prubeh, int64_t predchozi);
  // Walks the records of blocks [od, do) with the channels `kanaly`; blocks
  // read whole get their summaries of those channels.  False when the walk
  // ended early (Chyba() says why) or `radek` said stop.
  bool CtiBloky(size_t od, size_t do_, const std::vector<int>& kanaly, int64_t predchozi,
                const TPrijemRadku& radek);
  // The summary of a channel over a block, when known.
  const TSouhrn* Souhrn(int kanal, size_t blok) const;

  // What happened to the file since it was opened or last looked at.
  enum TZmena {
    Beze,     // nothing
    Pridano,  // records appended: Indexuj reads them
    Znovu,    // cut back, replaced or rewritten: the index starts again
    Zmizel,   // gone (what was read stays)
  };
  TZmena Obnov();

  // About how many blocks a file's index keeps (tests make it small).
  static inline uint64_t CilovyPocetBloku = 8192;

  // The cache: the key of the file's identity and the layout's signature.
  struct TKlic {
    uint64_t Zarizeni = 0, Inode = 0, Velikost = 0;
    int64_t Zmeneno = 0;  // ns
    uint64_t Podpis = 0;  // of the layout and forms
  };
  TKlic Klic() const;
  // Takes an index read from the cache (its key checked by the caller).
  void PrevezmiIndex(TIndex index);
  // Whether the index grew or gained summaries since it was taken or kept.
  bool IndexZmenen() const { return indexZmenen_; }
  void IndexUlozen() { indexZmenen_ = false; }

 private:
  TSouborDat() = default;
  // At least `bajtu` of buffer (within its bounds), the first `ponechat`
  // bytes kept.
  void Buffer(uint64_t bajtu, size_t ponechat = 0);
  bool UrciTvary(std::string& duvod);
  void ZapamatujPosledni();
  void Zhust();
  int64_t OdhadniPeriodu();
  struct TChod;
  bool Projdi(TChod& chod);

  std::filesystem::path cesta_;
  int fd_ = -1;
  TRozlozeni r_;
  TIndex ix_;
  uint64_t velikost_ = 0;
  uint64_t konecDat_ = 0;
  uint64_t neuplny_ = 0;
  int64_t zmeneno_ = 0;
  dev_t zarizeni_ = 0;
  ino_t inode_ = 0;
  bool tvaryZnamy_ = false;
  bool indexZmenen_ = false;
  std::string posledni_;  // the last indexed record's bytes, to see it unchanged
  uint64_t posledniOd_ = 0;
  std::string chyba_;
  TMistniCas mistni_;
  // The walks' memory: neither zeroed nor copied whole when it grows, since
  // its first touch costs more than the reading itself.
  std::unique_ptr<char[]> buf_;
  size_t velikostBufferu_ = 0;
};

// The layout of a file's records, dates and times as one number: a cached
// index holds for the same signature only.
uint64_t PodpisRozlozeni(const TRozlozeni& r);
