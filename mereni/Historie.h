#pragma once
// What a measurement remembers of its channels beyond the last reading: the
// history of every channel's value, and the health of the communication per
// channel and per module.  Kept by the measurement (TMereni), not by a
// window, in bounded memory:
// - the last hour at full rate (one point per pass and channel, a pass at
//   most once a second: at most 3600 points an hour);
// - the whole run thinned to min/max per interval: at most MaxUseku
//   intervals per channel, whose width doubles whenever they run out.
// Both are kept in small blocks taken as the points come and given back as
// they go (std::deque), never in one array grown by copying: memory follows
// what is held, an hour of 256 channels is not taken at the first pass, and
// no freed arrays of ever larger sizes are left behind in the heap.
// A read that failed is a gap (NaN), never a zero.
//
// The acquisition thread adds; the main thread (the trend window, the
// logger's summary) takes copies.  One lock guards everything here, held
// for the length of one copy or one pass's additions of a channel.  Every
// addition names the measurement it belongs to (its generation), checked
// under that lock: a thread of an earlier measurement still stuck in a
// library call never adds to the one that runs now.
//
// Times are milliseconds since the start in 64 bits: a run of years does
// not wrap (32 bits would after 49.7 days).  A full-rate point keeps 32 bits
// of them, from a 64-bit base of its channel, so that it stays small.

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// One full-rate point: milliseconds since the start of the measurement and
// the channel's value; NaN when the read failed.
struct TBodHistorie {
  uint64_t CasMs = 0;
  float Hodnota = NAN;
};

// One interval of the thinned history: where it begins, min and max of the
// values read in it (NaN when every read failed: a gap), how many reads and
// how many of them failed.
struct TUsekHistorie {
  uint64_t OdMs = 0;
  float Min = NAN;
  float Max = NAN;
  uint16_t Pocet = 0;
  uint16_t Chyb = 0;
};

// The health of one channel's communication (or, summed, of a module's).
struct TStatistikaKanalu {
  uint8_t Adresa = 0;                 // module address
  uint64_t Cteni = 0;                 // reads
  uint64_t Chyby = 0;                 // reads that failed
  std::map<int, uint64_t> PodleKodu;  // failures by status code
  int PosledniKod = 0;                // the last failure: its status code,
  std::string PosledniText;           // "code - text" (Windows-1250)
  std::string PosledniCas;            // and its local time ("14:02:31")
  double SoucetOdezvyMs = 0;          // response times of all reads
  double MaxOdezvyMs = 0;
  // Failed reads that waited out the line's time limit (nothing came back
  // from the module), and of them those that waited out the LAN converter's
  // own limit as well (nothing came back from the converter either).
  uint64_t Vyprselo = 0;
  uint64_t VyprseloPrevodniku = 0;
  double PrumerOdezvyMs() const { return Cteni ? SoucetOdezvyMs / static_cast<double>(Cteni) : 0; }
  // Failures by status code as the window and the logger show them:
  // "3: 12, 20: 5" (empty when none failed).
  std::string TextPodleKodu() const;
  void Pricti(const TStatistikaKanalu& s);
};

// What a measurement's reads are measured against: the time a read waits
// for a module before it counts as unanswered (the line's time-out with its
// retries), and where a LAN converter carries the line, the time the
// program waits for the converter itself (0 without one); what the data
// file holds for a failed read (the task's "Chybová hodnota": 0 a zero, 1
// the value read before).
struct TPodminkyCteni {
  double LimitLinkyMs = 0;
  double LimitPrevodnikuMs = 0;
  int32_t ChybovaHodnota = 0;
};

// Pass time against the measuring period.
struct TPrubehy {
  uint64_t Pocet = 0;     // full passes
  double PosledniMs = 0;  // duration of the last full pass
  double MaxMs = 0;
  double SoucetMs = 0;
  int32_t PeriodaSek = 1;  // the measuring period
  double PrumerMs() const { return Pocet ? SoucetMs / static_cast<double>(Pocet) : 0; }
  // The last pass took longer than the measuring period: samples repeat
  // values read in an earlier period as if they were fresh.
  bool PomalejsiNezPerioda() const { return Pocet > 0 && PosledniMs > PeriodaSek * 1000.0; }
};

class THistorie {
 public:
  static constexpr uint64_t PlnaDelkaMs = 3600 * 1000;  // the last hour at full rate
  static constexpr size_t MaxUseku = 2048;              // thinned intervals per channel
  static constexpr uint32_t PrvniSirkaUsekuMs = 10 * 1000;

  // A new measurement, generation `generace`, of one channel per entry of
  // `adresy` (its module address) with the measuring period `periodaSek`
  // and its reads' conditions: everything forgotten.
  void Zacni(uint64_t generace, const std::vector<uint8_t>& adresy, int32_t periodaSek,
             const TPodminkyCteni& podminky = {});

  // The acquisition thread of measurement `generace` (anything of another
  // is let be): a read of channel `kanal` at `casMs` (since the start) that
  // took `odezvaMs`; `hodnota` NaN and `kod` nonzero when it failed, `text`
  // its "code - text", `cas` the local time.
  void Pridej(uint64_t generace, size_t kanal, uint64_t casMs, double hodnota, double odezvaMs,
              int kod = 0, const std::string& text = {}, const std::string& cas = {});
  // A read that counts for the statistics only (one the measurement's stop
  // overtook: its value is not stored).
  void PridejCteni(uint64_t generace, size_t kanal, double odezvaMs, int kod = 0,
                   const std::string& text = {}, const std::string& cas = {});
  void PridejPrubeh(uint64_t generace, double ms);

  int32_t PocetKanalu() const;
  TPodminkyCteni Podminky() const;
  // Copies for the main thread.
  std::vector<TBodHistorie> Body(size_t kanal, uint64_t odMs = 0) const;
  std::vector<TUsekHistorie> Useky(size_t kanal) const;
  uint32_t SirkaUsekuMs() const;
  TStatistikaKanalu Statistika(size_t kanal) const;
  // Per module address, the channels' statistics summed.
  std::map<uint8_t, TStatistikaKanalu> PodleModulu() const;
  TStatistikaKanalu Celkem() const;
  TPrubehy Prubehy() const;

  // Bytes the history holds now (its containers' blocks).
  size_t Pamet() const;

 private:
  // A full-rate point as kept: its time from the channel's base.
  struct TBod {
    uint32_t Posun;
    float Hodnota;
  };
  struct TKanal {
    uint64_t Zaklad = 0;    // the time the points' Posun counts from
    std::deque<TBod> Body;  // full-rate points, oldest first
    std::deque<TUsekHistorie> Useky;
    TStatistikaKanalu Statistika;
  };
  void Zredukuj();  // halves the number of intervals of every channel
  void Zapocitej(TStatistikaKanalu& s, double odezvaMs, int kod, const std::string& text,
                 const std::string& cas) const;

  mutable std::mutex zamek_;
  uint64_t generace_ = 0;
  TPodminkyCteni podminky_;
  std::vector<TKanal> kanaly_;
  uint32_t sirkaUsekuMs_ = PrvniSirkaUsekuMs;
  TPrubehy prubehy_;
};
