#pragma once
// A measurement, apart from any window: the interface binding, the two
// worker threads, the stop time-out, the sample counter and the state.  The
// main window and the headless logger drive it and observe it; the worker
// threads know it and never a window.
//
// Everything here runs on the main thread (the one that owns the event loop)
// except where a comment says otherwise.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Dekl.h"
#include "Historie.h"
#include "Rozdeleni.h"
#include "Wxxx407.h"

class TFrontaHlavnihoVlakna;
class TFrontaCteni;
class TPracovniVlakno;
class TKomThread;
class TFileThread;

// ---------------------------------------------------------------------------
// The channel table of the current task.  The acquisition thread stores each
// channel's reading into it, the logging thread copies the whole sample out
// of it, and the main thread replaces it (task commands, the channel dialog)
// while the threads may run.  Every access goes through these operations,
// each under the table's lock; nobody else takes the lock.
class TSdileneKanaly {
 public:
  // A copy of the whole table.
  TPoleKanal Kopie() const;
  // A copy of entry i.
  TKanal Kanal(size_t i) const;
  // Replaces the whole table.
  void Nahrad(const TPoleKanal& nove);
  // Runs uprava(entry i) under the lock (the acquisition thread's store).
  template <typename F>
  void Uprav(size_t i, F&& uprava) {
    std::lock_guard<std::mutex> z(zamek_);
    uprava(tabulka_.at(i));
  }
  // The same, keeping the number uprava returns (the value read and
  // converted, NaN for a failed read) with the entry, for the samples.
  template <typename F>
  void UlozCteni(size_t i, F&& uprava) {
    std::lock_guard<std::mutex> z(zamek_);
    cisla_.at(i) = uprava(tabulka_.at(i));
  }
  // Runs cteni(table) under the lock, for a consistent look at many
  // entries at once (the logging thread's sample, the grid refresh).
  template <typename F>
  void Cti(F&& cteni) const {
    std::lock_guard<std::mutex> z(zamek_);
    cteni(static_cast<const TPoleKanal&>(tabulka_));
  }
  // The same with the entries' numbers (the logging thread's sample).
  template <typename F>
  void CtiSCisly(F&& cteni) const {
    std::lock_guard<std::mutex> z(zamek_);
    cteni(static_cast<const TPoleKanal&>(tabulka_), cisla_);
  }

 private:
  mutable std::mutex zamek_;
  TPoleKanal tabulka_;
  std::array<double, std::tuple_size_v<TPoleKanal>> cisla_{};
};

// The task and its channel table: the current task of the program.
extern TCFG CFG;
extern TSdileneKanaly Kanaly;

// ---------------------------------------------------------------------------

enum class TStavMereni {
  Zastaveno,  // idle
  Startuje,   // Start() runs
  Bezi,       // both threads run
  Zastavuje,  // Zastav() runs
};

// The outcome of a start or a stop as the operator is to read it: the text
// is empty on success.  Windows-1250.
struct TVysledekMereni {
  int32_t Kod = 0;   // status code of the interface, 0 when none applies
  std::string Text;  // "Neznámý typ rozhraní", "103 - chyba inicializace ..."
  bool Uspech() const { return Text.empty(); }
};

// One channel's read as the acquisition thread stored it, handed to the
// main thread.  Texts are Windows-1250.
struct TPrecteno {
  int32_t Kanal = 0;             // the channel read
  int32_t PocetKanalu = 0;       // channels taking part
  std::string Hodnota;           // its value text as stored
  uint8_t Chyba = 0;             // its status
  bool ChybaKomunikace = false;  // a read of this pass failed, this one or before
  std::string PosledniChyba;     // "code - text" of the pass's last failure
};

// The task a measurement measures, as it started: its settings and its
// channels' definitions (0 .. PocetKanalu - 1).  Texts are Windows-1250.
struct TUlohaMereni {
  TCFG Cfg;
  std::vector<TKanal> Kanaly;
};

// One channel of a sample as the data file got it.
struct TKanalVzorku {
  std::string Nazev;     // the channel's name when the sample was taken
  std::string Text;      // its value's text as written
  double Hodnota = NAN;  // the number the acquisition converted; NaN when the read failed
  uint8_t Chyba = 0;     // the read's status, 0 when it succeeded
};

// One sample as it was handed to the data-file writer: what the observers
// of a measurement get, so that none of them reads the data-file state or
// the current task behind it.  Texts are Windows-1250.
struct TVzorekMereni {
  int32_t Poradi = 0;  // its number in the run ("Uloženo")
  uint32_t Index = 0;  // the index column's value
  int64_t CasMs = 0;   // when it was taken, ms since the epoch (UTC)
  int64_t BehMs = 0;   // when the run started, ms since the epoch (UTC)
  std::string Datum;   // the date and time the sample holds
  std::string Cas;
  std::vector<TKanalVzorku> Kanaly;  // the task's channels in order
  std::filesystem::path Soubor;      // the data file it went to
  // It began a file the series switched to (a new period, a new part of a
  // table at its limit; with a split on the run's first file too).
  bool NovySoubor = false;
  // What the series of files has to say with it (Windows-1250): a table at
  // its limit, files deleted beyond "Ponechat souborů", one that could not be.
  std::vector<std::string> Zpravy;
  std::string Chyba;    // the writer's error text, empty when it was written
  std::string Pricina;  // why it failed, in the operator's words ("disk je plný")
  int KodPriciny = 0;   // and as an errno value or a code of ChybySouboru.h
};

// Who wants to hear of a measurement.  Called on the main thread.
class TPozorovatelMereni {
 public:
  virtual ~TPozorovatelMereni() = default;
  // A progress text, to be shown at once ("Probíhá inicializace měření ...").
  virtual void Postup(const std::string& text) { (void)text; }
  // The measurement of `uloha` started (both threads run): its history
  // begins now.
  virtual void MereniZahajeno(const TUlohaMereni& uloha) { (void)uloha; }
  // A channel's reading was stored.  Every read of the measurement comes,
  // in the order of the reads, a batch in each turn of the event loop; the
  // acquisition thread does not wait for it.
  virtual void KanalPrecten(const TPrecteno& precteno) { (void)precteno; }
  // A sample of `uloha` was taken and handed to the data-file writer,
  // whether the writer managed it or not (vzorek.Chyba).
  virtual void VzorekZapsan(const TVzorekMereni& vzorek, const TUlohaMereni& uloha) {
    (void)vzorek, (void)uloha;
  }
  // The measurement has stopped, by the operator or by itself.
  virtual void MereniZastaveno() {}
  // The measurement stopped by itself (its interface library broke); the
  // outcome carries the fault.
  virtual void MereniSkoncilo(const TVysledekMereni& vysledek) { (void)vysledek; }
};

// Outcome of the data-file probe of a start.
enum class TProbaSouboru {
  Ok,         // the file can be created; it does not exist now
  Odmitnuto,  // it exists and may not be overwritten: the start ends silently
  Nelze,      // it or its folder cannot be created
};
// Creates the missing folders of the data file, asks `smimPrepsat` before an
// existing file is overwritten, creates the file empty and removes it again,
// so that logging begins with no file.
TProbaSouboru ProverDatovySoubor(const std::string& jmeno,
                                 const std::function<bool()>& smimPrepsat);
// The status text of a data file that cannot be created.
std::string NelzeVytvorit(const std::string& jmeno);

// The checks a task must pass to be measured (beyond the conversions of the
// window's fields): IP address and data file not empty, UDP port 1..65534,
// 1..256 channels.
bool PlatnaUloha(const TCFG& u);

class TMereni {
 public:
  TMereni();
  // A measurement still running is stopped first.  Must not be destroyed
  // while VlaknaBezi(): a thread inside a hanging library call still uses it.
  ~TMereni();
  TMereni(const TMereni&) = delete;
  TMereni& operator=(const TMereni&) = delete;

  void PridejPozorovatele(TPozorovatelMereni* p);
  void OdeberPozorovatele(TPozorovatelMereni* p);

  // The start after the data-file probe: period and stop time-out, the
  // interface opened and configured, the data-file state prepared, both
  // threads started.  A task that is not a valid one is the caller's to
  // refuse before.  On failure nothing runs and the interface is closed
  // again (after a failed configuration) or left as the binding leaves it
  // (after a failed opening).  `indexPred` is the index of the last record
  // of a data file being continued: the first sample gets the next one.
  // `rozdeleni`: how the data file is split into a series (none by default;
  // the DBF limit is guarded whatever it says).
  TVysledekMereni Start(const TCFG& cfg, uint32_t indexPred = 0,
                        const TRozdeleniBehu& rozdeleni = {});
  // Ends a running measurement: asks both threads to end, waits for the
  // acquisition thread at most TimeoutUkonceni ms while serving their calls
  // into the main thread, and closes the interface.  The text is empty, or
  // "4 - <fault>" when the interface library broke during the measurement.
  TVysledekMereni Zastav();

  TStavMereni Stav() const { return stav_; }
  bool Bezi() const { return stav_ == TStavMereni::Bezi; }
  // A thread of this or an earlier measurement has not returned yet (a
  // library call hangs past the stop): the process may not wait for it.
  bool VlaknaBezi() const;

  // Waits on the main thread, serving the workers' calls into it and the
  // window's events, until `hotovo` or `ms` milliseconds have passed.
  static void Cekej(const std::function<bool()>& hotovo, int32_t ms);

  // Run-time values of a measurement.
  bool KomBezi() const { return komBezi_; }          // the acquisition loop runs
  bool FileBezi() const { return fileBezi_; }        // the logging loop runs
  bool CyklusHotov() const { return cyklusHotov_; }  // a full pass is done
  bool KnihovnaOtevrena() const { return knihovnaOtevrena_; }
  int32_t PeriodaSek() const { return periodaSek_; }
  int32_t TimeoutUkonceni() const { return timeoutUkonceni_; }
  int32_t PocetVzorku() const { return pocetVzorku_; }
  // Samples of this measurement that could not be written.
  int32_t Nezapsano() const { return nezapsano_; }
  // The task of the measurement running or last run, as it started.
  const TUlohaMereni& Uloha() const { return uloha_; }
  // How its data file is split, as it started.
  const TRozdeleniBehu& Rozdeleni() const { return rozdeleni_; }

  // The history of the channels' values and the health of the communication
  // of the measurement running or last run.
  const THistorie& Historie() const { return historie_; }
  // When the measurement running or last run started: the clock of TikMs
  // (history time 0) and the wall clock in milliseconds since the epoch
  // (0 before the first start).
  uint64_t ZacatekTikMs() const { return zacatekMs_; }
  int64_t ZacatekEpochaMs() const { return zacatekEpochaMs_; }

  // Figures for the benchmarks: the duration of the last full pass, and the
  // time the main thread spent applying the reads (the observers' work on
  // each) and how many reads it applied.
  uint64_t DobaPrubehuUs() const { return dobaPrubehuUs_; }
  uint64_t CasObnovUs() const { return casObnovUs_; }
  uint64_t PocetObnov() const { return pocetObnov_; }

 private:
  friend class TKomThread;
  friend class TFileThread;
  friend class TPracovniVlakno;

  template <typename F>
  void Oznam(F&& f);
  // The observer is still among those told.
  bool Prihlasen(const TPozorovatelMereni* p) const;
  TFrontaHlavnihoVlakna* Fronta() const { return fronta_.get(); }
  // On the main thread, on the workers' behalf: the reads queued so far,
  // of the measurement running or being stopped (none of an earlier one).
  void Zpracuj(std::deque<std::pair<uint64_t, TPrecteno>>& zaznamy);
  // `cisla`: the channels' numbers as the sample took them; `kdy`: its
  // local time, which decides its file of a series.
  void UlozVzorek(const std::vector<double>& cisla, const TDatumCas& kdy);
  void PoruchaKnihovny(uint64_t generace);

  std::vector<TPozorovatelMereni*> pozorovatele_;
  std::unique_ptr<TFrontaHlavnihoVlakna> fronta_;
  std::unique_ptr<TFrontaCteni> cteni_;
  TStavMereni stav_ = TStavMereni::Zastaveno;

  // Each start of a measurement gets a new generation; a thread of an
  // earlier measurement (one still stuck in a library call after its stop)
  // never writes the flags of a later one.
  std::atomic<uint64_t> generace_{0};

  std::atomic<bool> komBezi_{false};      // written by the acquisition thread
  std::atomic<bool> fileBezi_{false};     // written by the logging thread
  std::atomic<bool> cyklusHotov_{false};  // written by the acquisition thread
  bool knihovnaOtevrena_ = false;
  std::atomic<int32_t> periodaSek_{1};
  int32_t timeoutUkonceni_ = 1000;
  std::atomic<int32_t> pocetVzorku_{0};  // written by the logging thread
  int32_t nezapsano_ = 0;
  std::atomic<int64_t> casVzorkuMs_{0};  // written by the logging thread
  uint8_t typRozhrani_ = TypNeznamy;
  int32_t handleRozhrani_ = 0;
  std::string ipText_;  // the IP text handed to the LAN library
  THistorie historie_;
  TUlohaMereni uloha_;
  TRozdeleniBehu rozdeleni_;
  TRadaSouboru rada_;                   // main thread only, like Archiv
  std::atomic<uint64_t> zacatekMs_{0};  // when the measurement started (TikMs)
  int64_t zacatekEpochaMs_ = 0;         // the same moment on the wall clock

  // Main thread only: the threads of the measurement running or last run,
  // until each has ended and been joined (Odhlas); nullptr then.
  TKomThread* komThread_ = nullptr;
  TFileThread* fileThread_ = nullptr;
  void Odhlas(const TPracovniVlakno* vlakno);

  std::atomic<uint64_t> dobaPrubehuUs_{0};
  std::atomic<uint64_t> casObnovUs_{0};
  std::atomic<uint64_t> pocetObnov_{0};
};
