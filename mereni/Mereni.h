#pragma once
// A measurement, apart from any window: the interface binding, the two
// worker threads, the stop time-out, the sample counter and the state.  The
// main window and the headless logger drive it and observe it; the worker
// threads know it and never a window.
//
// Everything here runs on the main thread (the one that owns the event loop)
// except where a comment says otherwise.

#include <atomic>
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
  // Runs cteni(table) under the lock, for a consistent look at many
  // entries at once (the logging thread's sample, the grid refresh).
  template <typename F>
  void Cti(F&& cteni) const {
    std::lock_guard<std::mutex> z(zamek_);
    cteni(static_cast<const TPoleKanal&>(tabulka_));
  }

 private:
  mutable std::mutex zamek_;
  TPoleKanal tabulka_;
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

// Who wants to hear of a measurement.  Called on the main thread.
class TPozorovatelMereni {
 public:
  virtual ~TPozorovatelMereni() = default;
  // A progress text, to be shown at once ("Probíhá inicializace měření ...").
  virtual void Postup(const std::string& text) { (void)text; }
  // The measurement started (both threads run): its history begins now.
  virtual void MereniZahajeno() {}
  // A channel's reading was stored.  Every read of the measurement comes,
  // in the order of the reads, a batch in each turn of the event loop; the
  // acquisition thread does not wait for it.
  virtual void KanalPrecten(const TPrecteno& precteno) { (void)precteno; }
  // A sample was taken and handed to the data-file writer: its number
  // (PocetVzorku), the writer's error text, empty when it was written, and
  // why it failed in the operator's words ("disk je plný").
  virtual void VzorekZapsan(int32_t pocetVzorku, const std::string& chyba,
                            const std::string& pricina) {
    (void)pocetVzorku, (void)chyba, (void)pricina;
  }
  // The measurement has stopped, by the operator or by itself.
  virtual void MereniZastaveno() {}
  // The measurement stopped by itself (its interface library broke); the
  // outcome carries the fault.
  virtual void MereniSkoncilo(const TVysledekMereni& vysledek) { (void)vysledek; }
};

// The data file of a task as a path: a relative name lies in the program's
// folder.
std::filesystem::path DatovaCesta(const std::string& jmeno);

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
  TVysledekMereni Start(const TCFG& cfg, uint32_t indexPred = 0);
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
  // When the sample being written was taken, ms since the epoch (UTC); read
  // while the observers hear of it (VzorekZapsan).
  int64_t CasVzorkuMs() const { return casVzorkuMs_; }

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
  void UlozVzorek();
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
