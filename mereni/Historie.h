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
// for the length of one copy or one pass's additions of a channel.

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
  uint32_t CasMs = 0;
  float Hodnota = NAN;
};

// One interval of the thinned history: where it begins, min and max of the
// values read in it (NaN when every read failed: a gap), how many reads and
// how many of them failed.
struct TUsekHistorie {
  uint32_t OdMs = 0;
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
  double PrumerOdezvyMs() const { return Cteni ? SoucetOdezvyMs / static_cast<double>(Cteni) : 0; }
  // Failures by status code as the window and the logger show them:
  // "3: 12, 20: 5" (empty when none failed).
  std::string TextPodleKodu() const;
  void Pricti(const TStatistikaKanalu& s);
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
  static constexpr uint32_t PlnaDelkaMs = 3600 * 1000;  // the last hour at full rate
  static constexpr size_t MaxUseku = 2048;              // thinned intervals per channel
  static constexpr uint32_t PrvniSirkaUsekuMs = 10 * 1000;

  // A new measurement of one channel per entry of `adresy` (its module
  // address) with the measuring period `periodaSek`: everything forgotten.
  void Zacni(const std::vector<uint8_t>& adresy, int32_t periodaSek);

  // The acquisition thread: a read of channel `kanal` at `casMs` (since the
  // start) that took `odezvaMs`; `hodnota` NaN and `kod` nonzero when it
  // failed, `text` its "code - text", `cas` the local time.
  void Pridej(size_t kanal, uint32_t casMs, double hodnota, double odezvaMs, int kod = 0,
              const std::string& text = {}, const std::string& cas = {});
  // A read that counts for the statistics only (one the measurement's stop
  // overtook: its value is not stored).
  void PridejCteni(size_t kanal, double odezvaMs, int kod = 0, const std::string& text = {},
                   const std::string& cas = {});
  void PridejPrubeh(double ms);

  int32_t PocetKanalu() const;
  // Copies for the main thread.
  std::vector<TBodHistorie> Body(size_t kanal, uint32_t odMs = 0) const;
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
  struct TKanal {
    std::deque<TBodHistorie> Body;  // full-rate points, oldest first
    std::deque<TUsekHistorie> Useky;
    TStatistikaKanalu Statistika;
  };
  void Zredukuj();  // halves the number of intervals of every channel
  static void Zapocitej(TStatistikaKanalu& s, double odezvaMs, int kod, const std::string& text,
                        const std::string& cas);

  mutable std::mutex zamek_;
  std::vector<TKanal> kanaly_;
  uint32_t sirkaUsekuMs_ = PrvniSirkaUsekuMs;
  TPrubehy prubehy_;
};
