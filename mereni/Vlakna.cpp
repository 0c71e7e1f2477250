#include "Vlakna.h"

#include <QSocketNotifier>
#include <QTimer>

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "ArchivDat.h"
#include "Cp1250.h"
#include "Dekodovani.h"
#include "Hodiny.h"
#include "Mereni.h"
#include "Mistni.h"
#include "Wxxx407.h"

struct TFrontaHlavnihoVlakna::TUkol {
  std::function<void()> prace;
  std::atomic<bool> hotovo{false};
  std::condition_variable cv;
  bool nikdoNeceka = false;  // queued by Posli: freed by the main thread
};

TFrontaHlavnihoVlakna::TFrontaHlavnihoVlakna(QObject* rodic) : QObject(rodic) {
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  auto* upozorneni = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Read, this);
  connect(upozorneni, &QSocketNotifier::activated, this, [this] { Obsluz(); });
}

TFrontaHlavnihoVlakna::~TFrontaHlavnihoVlakna() {
  if (fd_ >= 0) ::close(fd_);
  // Jobs nobody waits for that never ran (the window went first).
  for (TUkol* ukol : fronta_)
    if (ukol->nikdoNeceka) delete ukol;
}

void TFrontaHlavnihoVlakna::Zarad(TUkol* ukol) {
  {
    std::lock_guard<std::mutex> z(m_);
    fronta_.push_back(ukol);
  }
  const uint64_t jedna = 1;
  if (::write(fd_, &jedna, sizeof jedna) < 0) {
    // The 64-bit counter cannot overflow with the few jobs queued; nothing to do.
  }
}

void TFrontaHlavnihoVlakna::Proved(std::function<void()> prace) {
  TUkol ukol;
  ukol.prace = std::move(prace);
  Zarad(&ukol);
  // The main thread usually runs the job within microseconds: wait for it
  // briefly without sleeping, since putting this thread to sleep and waking
  // it again costs more than the job on a busy line.
  const auto konecCekani = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
  for (int i = 0; !ukol.hotovo.load(std::memory_order_acquire); ++i) {
    if ((i & 63) == 63 && std::chrono::steady_clock::now() > konecCekani) break;
    std::this_thread::yield();
  }
  // The lock is taken in every case: the main thread notifies under it, so
  // once it is ours the main thread no longer touches `ukol`.
  std::unique_lock<std::mutex> z(m_);
  ukol.cv.wait(z, [&] { return ukol.hotovo.load(std::memory_order_acquire); });
}

void TFrontaHlavnihoVlakna::Posli(std::function<void()> prace) {
  auto* ukol = new TUkol;
  ukol->prace = std::move(prace);
  ukol->nikdoNeceka = true;
  Zarad(ukol);
}

void TFrontaHlavnihoVlakna::Obsluz() {
  uint64_t pocet = 0;
  if (::read(fd_, &pocet, sizeof pocet) < 0) {
    // Already emptied by an earlier round; the queue decides.
  }
  for (;;) {
    TUkol* ukol = nullptr;
    {
      std::lock_guard<std::mutex> z(m_);
      if (fronta_.empty()) return;
      ukol = fronta_.front();
      fronta_.pop_front();
    }
    ukol->prace();
    if (ukol->nikdoNeceka) {
      delete ukol;
      continue;
    }
    std::lock_guard<std::mutex> z(m_);
    ukol->hotovo.store(true, std::memory_order_release);
    ukol->cv.notify_one();
  }
}

TFrontaCteni::TFrontaCteni(std::function<void(std::deque<TZaznam>&)> zpracuj, QObject* rodic)
    : QObject(rodic), zpracuj_(std::move(zpracuj)) {
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  auto* upozorneni = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Read, this);
  connect(upozorneni, &QSocketNotifier::activated, this, [this] { Zpracuj(); });
  // A few milliseconds: the grid shows a read within a frame of a display,
  // and the reads of a pass come in a handful of batches.
  znovu_ = new QTimer(this);
  znovu_->setSingleShot(true);
  znovu_->setInterval(5);
  connect(znovu_, &QTimer::timeout, this, [this] { Zpracuj(); });
}

TFrontaCteni::~TFrontaCteni() {
  if (fd_ >= 0) ::close(fd_);
}

void TFrontaCteni::Vloz(TZaznam zaznam, size_t kapacita, const std::function<bool()>& konec) {
  bool probudit = false;
  {
    std::unique_lock<std::mutex> z(m_);
    // Looked at again now and then: an end request must not wait for a
    // main thread that is busy elsewhere.
    while (fronta_.size() >= kapacita) {
      if (konec()) return;
      misto_.wait_for(z, std::chrono::milliseconds(20));
    }
    fronta_.push_back(std::move(zaznam));
    probudit = !podivaSe_;
    podivaSe_ = true;
  }
  const uint64_t jedna = 1;
  if (probudit && ::write(fd_, &jedna, sizeof jedna) < 0) {
    // The 64-bit counter cannot overflow; nothing to do.
  }
}

void TFrontaCteni::Zpracuj() {
  uint64_t pocet = 0;
  if (::read(fd_, &pocet, sizeof pocet) < 0) {
    // Already emptied by an earlier round; the queue decides.
  }
  std::deque<TZaznam> davka;
  {
    std::lock_guard<std::mutex> z(m_);
    davka.swap(fronta_);
    // Nothing came since the last look: idle, the next read wakes it.
    podivaSe_ = !davka.empty();
  }
  misto_.notify_all();
  if (davka.empty()) return;
  znovu_->start();
  zpracuj_(davka);
}

void TPreruseni::Pozadej() {
  {
    std::lock_guard<std::mutex> z(m_);
    pozadano_ = true;
  }
  cv_.notify_all();
}

bool TPreruseni::Pozadano() const {
  std::lock_guard<std::mutex> z(m_);
  return pozadano_;
}

bool TPreruseni::Cekej(uint32_t ms) {
  std::unique_lock<std::mutex> z(m_);
  return cv_.wait_for(z, std::chrono::milliseconds(ms), [this] { return pozadano_; });
}

// ---------------------------------------------------------------------------

TPracovniVlakno::TPracovniVlakno(TMereni* mereni, uint64_t generace)
    : mereni_(mereni), generace_(generace) {}

TPracovniVlakno::~TPracovniVlakno() = default;

void TPracovniVlakno::Spust(const char* jmeno) {
  vlakno_ = std::thread([this, n = std::string(jmeno)] { Beh(n); });
}

void TPracovniVlakno::Beh(const std::string& jmeno) {
  pthread_setname_np(pthread_self(), jmeno.substr(0, 15).c_str());
  Smycka();
  // Handed to the main thread through the queue's lock, so everything the
  // loop wrote is ordered before the join and the delete there.
  mereni_->Fronta()->Posli([this] { Uvolni(); });
}

void TPracovniVlakno::Uvolni() {
  vlakno_.join();
  mereni_->Odhlas(this);
  delete this;
}

void TPracovniVlakno::Ukonci() { preruseni_.Pozadej(); }

bool TPracovniVlakno::Moje() const { return mereni_->generace_.load() == generace_; }

void TPracovniVlakno::VHlavnimVlakne(std::function<void()> prace) {
  mereni_->Fronta()->Proved(std::move(prace));
}

// ---------------------------------------------------------------------------

void TKomThread::Smycka() {
  if (Moje()) mereni_->komBezi_ = true;
  // The first pass begins at once; each later one 1000 ms after the start
  // of the one before, or at once when a pass took longer.
  uint64_t zacatek = 0;
  bool prvni = true;
  while (!Konec()) {
    if (!prvni) {
      const uint64_t ted = TikMs();
      if (ted - zacatek < 1000) {
        if (Spi(static_cast<uint32_t>(1000 - (ted - zacatek)))) break;
        continue;
      }
    }
    prvni = false;
    zacatek = TikMs();
    const auto zacatekUs = std::chrono::steady_clock::now();
    ChybaKomunikace = false;
    bool cely = true;
    for (int32_t i = 0; i < Cfg.PocetKanalu && i < MaxKanalu; ++i) {
      if (Konec()) {
        cely = false;
        break;
      }
      CtiKanal(static_cast<size_t>(i));
      if (Konec()) {
        cely = false;
        break;
      }
      if (KnihovnaPorouchana) break;
    }
    if (KnihovnaPorouchana) {
      // A broken library is never called again: this thread ends, and the
      // window stops the measurement (it waits for this thread, so it is
      // asked without waiting for the answer).
      if (Moje())
        mereni_->Fronta()->Posli(
            [mereni = mereni_, generace = Generace()] { mereni->PoruchaKnihovny(generace); });
      break;
    }
    if (cely && Moje()) {
      mereni_->cyklusHotov_ = true;
      const auto doba = std::chrono::steady_clock::now() - zacatekUs;
      mereni_->dobaPrubehuUs_ = static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(doba).count());
      mereni_->historie_.PridejPrubeh(Generace(),
                                      std::chrono::duration<double, std::milli>(doba).count());
    }
  }
  if (Moje()) {
    mereni_->cyklusHotov_ = false;
    mereni_->komBezi_ = false;
  }
}

void TKomThread::CtiKanal(size_t i) {
  TKanal def;
  Kanaly.Cti([&](const TPoleKanal& kanaly) {
    def.Adresa = kanaly[i].Adresa;
    def.Funkce = kanaly[i].Funkce;
    def.Periferie = kanaly[i].Periferie;
  });
  uint8_t delka = 0, d[4] = {0, 0, 0, 0}, status = 0;
  TPole100 odpoved{};
  const auto t0 = std::chrono::steady_clock::now();
  try {
    DotazModulu(TypRozhrani, HandleRozhrani, def.Adresa, def.Funkce, def.Periferie, delka, d[0],
                d[1], d[2], d[3], status, odpoved);
  } catch (...) {
    status = static_cast<uint8_t>(KodVyjimka);
  }
  const double odezvaMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const uint64_t casMs = TikMs() - mereni_->zacatekMs_;
  std::string chyba, kdy;
  if (status != 0) {
    TPole100 text{};
    ChybovyText(TypRozhrani, status, text);
    chyba = std::to_string(status) + " - " + PoleNaText(text);
    kdy = FormatujCas(TedMistni());
  }
  THistorie& historie = mereni_->historie_;
  if (Konec()) {
    // A read finished after the end request is not stored; it was made,
    // though, and counts for the health of the line.
    historie.PridejCteni(Generace(), i, odezvaMs, status, chyba, kdy);
    return;
  }

  const uint8_t r[4] = {static_cast<uint8_t>(odpoved[0]), static_cast<uint8_t>(odpoved[1]),
                        static_cast<uint8_t>(odpoved[2]), static_cast<uint8_t>(odpoved[3])};
  const char oddelovac = Mistni().DesetinnyOddelovac;
  TPrecteno p;
  p.Kanal = static_cast<int32_t>(i);
  p.PocetKanalu = Cfg.PocetKanalu;
  if (status == 0) {
    double hodnota = 0;
    Kanaly.UlozCteni(i, [&](TKanal& k) {
      hodnota = UlozPrecteno(k, r, oddelovac);
      p.Hodnota = k.Hodnota;
      p.Chyba = k.Chyba;
      return hodnota;
    });
    historie.Pridej(Generace(), i, casMs, hodnota, odezvaMs);
  } else {
    Kanaly.UlozCteni(i, [&](TKanal& k) {
      UlozChybu(k, status, Cfg.ChybovaHodnota, oddelovac);
      p.Hodnota = k.Hodnota;
      p.Chyba = k.Chyba;
      return std::nan("");
    });
    historie.Pridej(Generace(), i, casMs, std::nan(""), odezvaMs, status, chyba, kdy);
    PosledniChyba = chyba;
    ChybaKomunikace = true;
    if (!PoruchaRozhrani(TypRozhrani).empty()) KnihovnaPorouchana = true;
  }
  // Handed over without waiting for the main thread: the next request goes
  // out at once.  A pass's worth of records not applied yet holds it up.
  p.ChybaKomunikace = ChybaKomunikace;
  p.PosledniChyba = PosledniChyba;
  if (Moje())
    mereni_->cteni_->Vloz({Generace(), std::move(p)},
                          static_cast<size_t>(std::max<int32_t>(Cfg.PocetKanalu, 1)),
                          [this] { return Konec(); });
}

// ---------------------------------------------------------------------------

void TFileThread::Smycka() {
  if (Moje()) mereni_->fileBezi_ = true;
  uint64_t posledni = 0;
  bool prvni = true;
  while (!Konec()) {
    // No sample before the acquisition thread has finished its first pass.
    if (!mereni_->cyklusHotov_ || !Moje()) {
      if (Spi(1)) break;
      continue;
    }
    const uint64_t perioda = static_cast<uint64_t>(mereni_->periodaSek_.load()) * 1000u;
    if (!prvni) {
      const uint64_t ted = TikMs();
      if (ted - posledni < perioda) {
        const uint64_t zbyva = perioda - (ted - posledni);
        if (Spi(static_cast<uint32_t>(zbyva > 1000 ? 1000 : zbyva))) break;
        continue;
      }
    }
    prvni = false;
    posledni = TikMs();
    ++mereni_->pocetVzorku_;
    const TDatumCas t = TedMistni();
    mereni_->casVzorkuMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    // The numbers go with the texts: an observer never parses a text back.
    std::vector<double> cisla(static_cast<size_t>(std::clamp(Cfg.PocetKanalu, 0, MaxKanalu)));
    Kanaly.CtiSCisly([&](const TPoleKanal& kanaly, const auto& hodnoty) {
      TVzorek& v = Archiv.Vzorek;
      v.Datum = FormatujDatum(t);
      v.Cas = FormatujCas(t);
      for (size_t i = 0; i < cisla.size(); ++i) {
        const TKanal& k = kanaly[i];
        v.Nazev[i] = k.Nazev;
        v.Hodnota[i] = k.Hodnota;
        v.Chyba[i] = k.Chyba;
        v.DesetinnaMista[i] = static_cast<uint8_t>(k.DesetinnaMista);
        cisla[i] = hodnoty[i];
      }
    });
    if (Konec()) break;
    VHlavnimVlakne([mereni = mereni_, &cisla, &t] { mereni->UlozVzorek(cisla, t); });
  }
  if (Moje()) mereni_->fileBezi_ = false;
}
