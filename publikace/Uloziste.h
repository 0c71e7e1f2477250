#pragma once
// The store of samples a broker has not acknowledged yet: segment files of
// records on disk, each record with a checksum, and the position of the
// first record not acknowledged, kept in a file beside them.
//
// A record is written to its segment as it comes (one write), so a process
// killed at any moment leaves it to the system's cache; the segment, its
// entry in the folder and the position are made durable at least once a
// second (Zajisti), so a power cut loses at most the last second.  A torn
// record at the end of a segment (a power cut in the middle of a write)
// fails its checksum when the store is opened again and is cut off.  The
// store is bounded: when it would grow past its limit the oldest segment
// goes first, and its records not yet acknowledged are counted as dropped.
//
// Nothing on disk is taken on trust: a record is checked (marker, length,
// checksum) when the store is opened and again each time it is read; a
// damaged one is skipped and counted, never handed out, and the records
// after it are found again.  A position that is not at a record start
// means the next record start at or after it.
//
// The folder is one store's alone: a lock on a file in it is held while the
// store is open, so a second store on the same folder (two programs
// publishing with the same client id) is refused rather than let the two
// read each other's records as their own.
//
// Thread-safe: the publishing side's two threads share it (one appends,
// the other reads and acknowledges).

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Where a record begins: its segment and the offset in it.
struct TMisto {
  uint32_t Segment = 0;
  uint64_t Posun = 0;
  friend bool operator==(const TMisto& a, const TMisto& b) {
    return a.Segment == b.Segment && a.Posun == b.Posun;
  }
  friend bool operator<(const TMisto& a, const TMisto& b) {
    return a.Segment < b.Segment || (a.Segment == b.Segment && a.Posun < b.Posun);
  }
};

class TUloziste {
 public:
  // Opens the store in `slozka` (created when missing) with a limit of
  // `limitBajtu` for its segments; torn records are cut off.  A folder
  // another store holds leaves this one closed (Chyba says so).
  TUloziste(std::filesystem::path slozka, uint64_t limitBajtu);
  ~TUloziste();
  TUloziste(const TUloziste&) = delete;
  TUloziste& operator=(const TUloziste&) = delete;

  // Open: the folder is this store's and its records are read.
  bool Otevreno() const;
  // Tries again to open a store that is not open (the other one may have
  // let the folder go); true when it is open.
  bool Otevri();
  // Makes everything durable and lets the folder go; the counts stay.
  void Zavri();

  // Why the store cannot be used (Windows-1250), empty when it can.
  std::string Chyba() const;

  // Appends a record; `priznaky` are kept with it.  False (and nothing
  // left of it on disk) when it could not be written; Chyba() says why.
  bool Pridej(std::string_view data, uint32_t priznaky);
  // Makes the appended records and the acknowledged position durable.
  void Zajisti();

  // The record at `m` and where the next one begins; false at the end.  A
  // place before the first record kept (dropped meanwhile) reads from it,
  // a place inside a record from the next one; a damaged record on the
  // way is skipped (Preskoceno) and `m` is where the record read begins.
  bool Cti(TMisto& m, std::string& data, uint32_t& priznaky, TMisto& dalsi);
  // The first record not acknowledged.
  TMisto Potvrzeno() const;
  // The record at `zacatek` is acknowledged; `dalsi` follows it.  Only the
  // first record not acknowledged moves the position (acknowledgements come
  // in order); an older one, dropped meanwhile, is let be.
  void Potvrd(TMisto zacatek, TMisto dalsi);

  // Where the first record appended after opening goes: the records
  // before it were found in the store, left there by an earlier run.
  TMisto Nalezeno() const;

  uint64_t Cekajicich() const;  // records not acknowledged
  uint64_t Zahozeno() const;    // records dropped for the limit since opening
  uint64_t Odriznuto() const;   // bytes of torn records cut off when opening
  uint64_t Bajtu() const;       // bytes of the segments
  uint64_t Preskoceno() const;  // damaged records skipped since opening
  // The skipped records in the operator's words (Windows-1250).
  std::string TextPreskoceni() const;

 private:
  struct TSegment {
    std::filesystem::path Cesta;
    int Fd = -1;
    uint64_t Velikost = 0;
    std::vector<uint64_t> Zaznamy;  // where each record begins
  };

  bool Nacti();
  void NactiSegment(uint32_t cislo);
  bool NovySegment();
  void ZahodNejstarsi();
  void UlozPozici();
  uint64_t ZaznamuOd(const TSegment& s, uint64_t posun) const;
  TMisto Zacatek(TMisto m) const;

  mutable std::mutex m_;
  std::filesystem::path slozka_;
  uint64_t limit_;
  uint64_t velikostSegmentu_;
  int fdZamku_ = -1;   // the lock file, locked while open
  int fdSlozky_ = -1;  // the folder, synced when entries change
  std::map<uint32_t, TSegment> segmenty_;
  TMisto pozice_;
  TMisto nalezeno_;
  bool poziceZmenena_ = false;
  bool neulozeno_ = false;      // appended since the last Zajisti
  bool slozkaZmenena_ = false;  // a segment made since the last Zajisti
  uint64_t cekajicich_ = 0;
  uint64_t zahozeno_ = 0;
  uint64_t odriznuto_ = 0;
  uint64_t bajtu_ = 0;
  uint64_t preskoceno_ = 0;
  std::string chyba_;
};
