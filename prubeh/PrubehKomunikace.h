#pragma once
// The trend window's tab "Komunikace": the health of the communication per
// module and per channel (reads, failures by status code, response times,
// the last failure) and the pass time against the measuring period; and the
// warning shown above the tabs when passes outlast the period.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <map>
#include <vector>

#include "Historie.h"

class QLabel;
class QTableWidget;
class TModelMereni;

class TKartaKomunikace : public QWidget {
 public:
  explicit TKartaKomunikace(QWidget* rodic = nullptr);

  // Shows the figures of `h` for the channels of `seznam` (their names from
  // it); nullptr: the task shown was not measured since the program started.
  void Obnov(const THistorie* h, const TModelMereni& seznam);

  QLabel* Prubehy = nullptr;  // pass time against the period
  QTableWidget* TabulkaModulu = nullptr;
  QTableWidget* TabulkaKanalu = nullptr;
};

// Why passes outlast the measuring period, from what the recent reads of
// each module measured: how many failed, and how many of those waited out
// the line's time limit (nothing came back from the module) or the LAN
// converter's own limit as well (nothing came back from the converter).
// No library's status codes: they are the libraries' own business.
struct TPricinaPomalosti {
  // Modules at least half of whose recent reads waited out the time limit,
  // ascending.
  std::vector<uint8_t> Neodpovidaji;
  // The other modules some of whose recent reads failed, ascending.
  std::vector<uint8_t> Selhavaji;
  bool Vsechny = false;         // Neodpovidaji is every module read
  bool Prevodnik = false;       // most of those reads waited out the converter's limit too
  bool NejakeSelhalo = false;   // a recent read failed
  bool VsechnoSelhalo = false;  // every recent read failed
};

// From the per-module figures of the recent reads: those of `ted` less those
// of `drive`, a look taken before (empty: since the start).
TPricinaPomalosti PricinaPomalosti(const std::map<uint8_t, TStatistikaKanalu>& ted,
                                   const std::map<uint8_t, TStatistikaKanalu>& drive);

// The per-module figures as they were a while ago, so that the advice
// follows what the modules do now, not over the whole run.
class TDrivejsiModuly {
 public:
  // The look to compare `ted` with: taken one to two times `odstupMs`
  // before `tikMs` (the first look: none).  While no reads come (the
  // measurement has stopped) it is kept, so the advice stays that of the
  // last reads.
  const std::map<uint8_t, TStatistikaKanalu>& Pred(const std::map<uint8_t, TStatistikaKanalu>& ted,
                                                   uint64_t tikMs, uint64_t odstupMs);
  // Another measurement: looks of the one before are no use.
  void Zapomen();

 private:
  std::map<uint8_t, TStatistikaKanalu> drive_, posledni_;
  uint64_t tikPosledni_ = 0;
  bool zacato_ = false;
};

// The warning of passes slower than the measuring period, with the advice
// that fits the cause; empty while they are not slower.  Its first clause
// says what the data file holds meanwhile: values of an earlier pass, and
// for failed reads what the task's "Chybová hodnota" puts there (0: a
// zero, 1: the value read before).  The advice of a slow line never comes
// while reads fail.
QString VarovaniPrubehu(const TPrubehy& p, const TPricinaPomalosti& pricina,
                        int32_t chybovaHodnota);
// The same for the history `h` now: the modules' recent reads compared over
// at least 10 s and two passes.
QString VarovaniPrubehu(const THistorie& h, TDrivejsiModuly& drivejsi);
