#include "Mereni.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <system_error>

#include "ArchivDat.h"
#include "ChybySouboru.h"
#include "Cp1250.h"
#include "Hodiny.h"
#include "Linka.h"
#include "Mistni.h"
#include "Slozka.h"
#include "Vlakna.h"

TCFG CFG;
TSdileneKanaly Kanaly;

TPoleKanal TSdileneKanaly::Kopie() const {
  std::lock_guard<std::mutex> z(zamek_);
  return tabulka_;
}

TKanal TSdileneKanaly::Kanal(size_t i) const {
  std::lock_guard<std::mutex> z(zamek_);
  return tabulka_.at(i);
}

void TSdileneKanaly::Nahrad(const TPoleKanal& nove) {
  std::lock_guard<std::mutex> z(zamek_);
  tabulka_ = nove;
}

// ---------------------------------------------------------------------------

std::string NelzeVytvorit(const std::string& jmeno) {
  return Cp1250("Nelze vytvořit soubor \"") + jmeno + "\"";
}

TProbaSouboru ProverDatovySoubor(const std::string& jmeno,
                                 const std::function<bool()>& smimPrepsat) {
  const std::filesystem::path cesta = DatovaCesta(jmeno);
  std::error_code ec;
  const std::filesystem::path slozka = cesta.parent_path();
  if (!slozka.empty() && !std::filesystem::exists(slozka, ec)) {
    std::filesystem::create_directories(slozka, ec);
    if (ec) return TProbaSouboru::Nelze;
  }
  if (std::filesystem::exists(cesta, ec) && !smimPrepsat()) return TProbaSouboru::Odmitnuto;
  const int fd = ::open(cesta.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0 || ::close(fd) != 0 || !std::filesystem::remove(cesta, ec) || ec)
    return TProbaSouboru::Nelze;
  return TProbaSouboru::Ok;
}

bool PlatnaUloha(const TCFG& u) {
  return !u.IPAdresa.empty() && u.UDPPort >= linka::MinUdpPortMereni &&
         u.UDPPort <= linka::MaxUdpPortMereni && !u.JmenoSouboru.empty() && u.PocetKanalu >= 1 &&
         u.PocetKanalu <= MaxKanalu;
}

// ---------------------------------------------------------------------------

TMereni::TMereni()
    : fronta_(std::make_unique<TFrontaHlavnihoVlakna>(nullptr)),
      cteni_(std::make_unique<TFrontaCteni>(
          [this](std::deque<TFrontaCteni::TZaznam>& zaznamy) { Zpracuj(zaznamy); }, nullptr)) {}

TMereni::~TMereni() {
  if (stav_ == TStavMereni::Bezi) Zastav();
  // Once asked to end, the loops return within moments (a sample they still
  // hand over is served meanwhile), and the thread objects free themselves
  // through the event loop served here.  A thread still inside a library
  // call cannot be waited for: whoever owns this object must not destroy it
  // while VlaknaBezi() (the programs leave with _Exit).
  Cekej([this] { return komThread_ == nullptr && fileThread_ == nullptr; }, 2000);
}

void TMereni::PridejPozorovatele(TPozorovatelMereni* p) { pozorovatele_.push_back(p); }

void TMereni::OdeberPozorovatele(TPozorovatelMereni* p) {
  pozorovatele_.erase(std::remove(pozorovatele_.begin(), pozorovatele_.end(), p),
                      pozorovatele_.end());
}

template <typename F>
void TMereni::Oznam(F&& f) {
  // A copy: an observer may leave (or come) while it is told; one that has
  // left is not told any more.
  const std::vector<TPozorovatelMereni*> kopie = pozorovatele_;
  for (TPozorovatelMereni* p : kopie)
    if (Prihlasen(p)) f(*p);
}

bool TMereni::Prihlasen(const TPozorovatelMereni* p) const {
  return std::find(pozorovatele_.begin(), pozorovatele_.end(), p) != pozorovatele_.end();
}

bool TMereni::VlaknaBezi() const { return komBezi_ || fileBezi_ || RozhraniVolaniProbiha(); }

void TMereni::Cekej(const std::function<bool()>& hotovo, int32_t ms) {
  uint64_t t0 = TikMs();
  while (!hotovo()) {
    SpiMs(1);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const uint64_t ted = TikMs();
    if (ted < t0) t0 = ted;
    if (ted - t0 > static_cast<uint64_t>(ms < 0 ? 0 : ms)) break;
  }
}

TVysledekMereni TMereni::Start(const TCFG& cfg, uint32_t indexPred,
                               const TRozdeleniBehu& rozdeleni) {
  if (stav_ != TStavMereni::Zastaveno) return {0, Cp1250("Měření již probíhá")};
  stav_ = TStavMereni::Startuje;
  auto konec = [&](TVysledekMereni vysledek) {
    stav_ = TStavMereni::Zastaveno;
    return vysledek;
  };

  // Threads of the previous measurement that have not returned yet: the
  // logging thread ends within a moment (a sample it still hands over is
  // written here), an acquisition thread stuck in a library call is left to
  // return by itself; it never touches this measurement's state.
  Cekej([this] { return fileThread_ == nullptr; }, 2000);

  periodaSek_ = PeriodaSekund(cfg.Perioda);
  // Computed wide and capped: the window accepts any integer for the
  // time-out and the retries.
  auto omez = [](int64_t x) {
    return static_cast<int32_t>(x > INT32_MAX ? INT32_MAX : (x < 0 ? 0 : x));
  };
  int64_t timeout = (static_cast<int64_t>(linka::DobaRamce(cfg.RS485Rychlost)) + cfg.RS485Timeout) *
                    (static_cast<int64_t>(cfg.RS485Opakovani) + 1);

  Oznam([](TPozorovatelMereni& p) { p.Postup(Cp1250("Probíhá inicializace měření ...")); });

  TParametryRozhrani parametry;
  typRozhrani_ = TypNeznamy;
  const std::string& r = cfg.Rozhrani;
  if (r == RozhraniCOM) {
    typRozhrani_ = TypCOM;
    parametry.Polozka[0] = cfg.PortCOM;
  } else if (r == RozhraniPCI407) {
    typRozhrani_ = TypPCI407;
    parametry.Polozka[0] = cfg.BazovaAdresa;
  } else if (r == RozhraniPCI1407) {
    typRozhrani_ = TypPCI1407;
  } else if (r == RozhraniUSB) {
    typRozhrani_ = TypUSB;
  } else if (r == RozhraniZQ || r == RozhraniZQU) {
    typRozhrani_ = TypZQ;
    ipText_ = cfg.IPAdresa;
    parametry.Polozka[0] = reinterpret_cast<intptr_t>(ipText_.c_str());
    parametry.Polozka[1] = cfg.UDPPort;
    parametry.Polozka[2] = cfg.LANTimeout;
    if (cfg.LANTimeout > timeout) timeout = cfg.LANTimeout;
  }
  if (typRozhrani_ != TypNeznamy) timeout += 100;
  timeoutUkonceni_ = omez(timeout);
  if (typRozhrani_ == TypNeznamy) return konec({0, Cp1250("Neznámý typ rozhraní")});

  auto textKodu = [this](int32_t kod) {
    TPole100 text{};
    ChybovyText(typRozhrani_, kod, text);
    return TVysledekMereni{kod, std::to_string(kod) + " - " + PoleNaText(text)};
  };
  int32_t e = InitRozhrani(typRozhrani_, &handleRozhrani_, parametry);
  if (e != 0) return konec(textKodu(e));
  knihovnaOtevrena_ = true;
  e = NastavRozhrani(typRozhrani_, handleRozhrani_, cfg.RS485Rychlost, cfg.RS485Timeout,
                     cfg.RS485Opakovani);
  if (e != 0) {
    const TVysledekMereni v = textKodu(e);  // asked while the library is still loaded
    UkonciRozhrani(typRozhrani_, &handleRozhrani_);
    knihovnaOtevrena_ = false;
    return konec(v);
  }

  PripravArchiv(Archiv, CestaCp1250(DatovaCesta(cfg.JmenoSouboru)), cfg.Volby, cfg.PocetKanalu);
  rozdeleni_ = rozdeleni;
  rozdeleni_.Jmeno = Archiv.JmenoSouboru;
  rada_.Zacni(rozdeleni_);
  uloha_.Cfg = cfg;
  uloha_.Kanaly.clear();
  Kanaly.Cti([&](const TPoleKanal& kanaly) {
    uloha_.Kanaly.assign(kanaly.begin(),
                         kanaly.begin() + std::clamp(cfg.PocetKanalu, 0, MaxKanalu));
  });
  Archiv.IndexVzorku = indexPred;
  pocetVzorku_ = 0;
  nezapsano_ = 0;
  std::vector<uint8_t> adresy;
  Kanaly.Cti([&](const TPoleKanal& kanaly) {
    for (int32_t i = 0; i < cfg.PocetKanalu && i < MaxKanalu; ++i)
      adresy.push_back(kanaly[static_cast<size_t>(i)].Adresa);
  });
  // The history takes this measurement's generation before any thread of
  // it runs: from now on only this measurement's threads add to it.
  const uint64_t generace = ++generace_;
  TPodminkyCteni podminky;
  podminky.LimitLinkyMs =
      static_cast<double>(linka::DobaRamce(cfg.RS485Rychlost) + cfg.RS485Timeout) *
      (static_cast<double>(cfg.RS485Opakovani) + 1);
  if (typRozhrani_ == TypZQ) podminky.LimitPrevodnikuMs = cfg.LANTimeout;
  podminky.ChybovaHodnota = cfg.ChybovaHodnota;
  historie_.Zacni(generace, adresy, periodaSek_, podminky);
  zacatekMs_ = TikMs();
  zacatekEpochaMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();

  // The regional settings are read from the system at their first use,
  // through Qt: that happens here, on the main thread, never first in a
  // worker.
  static_cast<void>(Mistni());
  cyklusHotov_ = false;
  auto* kom = new TKomThread(this, generace);
  kom->Cfg = cfg;
  kom->HandleRozhrani = handleRozhrani_;
  kom->TypRozhrani = typRozhrani_;
  komThread_ = kom;
  komBezi_ = true;  // the thread's own flag, set here too so a stop at once waits for it
  kom->Spust("zq-cteni");
  auto* file = new TFileThread(this, generace);
  file->Cfg = cfg;
  fileThread_ = file;
  file->Spust("zq-zapis");

  stav_ = TStavMereni::Bezi;
  Oznam([this](TPozorovatelMereni& p) { p.MereniZahajeno(uloha_); });
  return {};
}

TVysledekMereni TMereni::Zastav() {
  if (stav_ != TStavMereni::Bezi) return {};
  stav_ = TStavMereni::Zastavuje;
  if (komThread_) komThread_->Ukonci();
  if (fileThread_) fileThread_->Ukonci();
  Cekej([this] { return !komBezi_.load(); }, timeoutUkonceni_);
  // Every read stored before the end is shown before the stop is; after it
  // none of this measurement's is (Zpracuj looks at the state).
  cteni_->Zpracuj();
  if (knihovnaOtevrena_) UkonciRozhrani(typRozhrani_, &handleRozhrani_);
  knihovnaOtevrena_ = false;
  stav_ = TStavMereni::Zastaveno;
  Oznam([](TPozorovatelMereni& p) { p.MereniZastaveno(); });
  // A library that broke during the measurement (or while closing) is said
  // so: the operator must know the next start of this interface is refused.
  const std::string porucha = PoruchaRozhrani(typRozhrani_);
  if (porucha.empty()) return {};
  return {KodVyjimka, std::to_string(KodVyjimka) + " - " + porucha};
}

void TMereni::Zpracuj(std::deque<std::pair<uint64_t, TPrecteno>>& zaznamy) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool probiha = stav_ == TStavMereni::Bezi || stav_ == TStavMereni::Zastavuje;
  // Told read after read, each to every observer, as Oznam does, with one
  // copy of the list for the batch.
  const std::vector<TPozorovatelMereni*> kopie = pozorovatele_;
  for (const auto& [generace, precteno] : zaznamy) {
    if (!probiha || generace != generace_.load()) continue;  // an earlier measurement's
    for (TPozorovatelMereni* p : kopie)
      if (Prihlasen(p)) p->KanalPrecten(precteno);
    ++pocetObnov_;
  }
  casObnovUs_ += static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
          .count());
}

void TMereni::UlozVzorek(const std::vector<double>& cisla, const TDatumCas& kdy) {
  TVzorekMereni v;
  v.Poradi = pocetVzorku_;
  // The switch to the next file of a series comes here, between two
  // samples, while the logging thread waits.
  try {
    rada_.PredZapisem(Archiv, kdy, v.Zpravy);
    ZapisVzorek(Archiv, v.Chyba);
    v.NovySoubor = rada_.PoZapisu(v.Chyba.empty(), v.Zpravy);
  } catch (...) {
    v.Chyba = ChybaZapisu();
  }
  if (!v.Chyba.empty()) {
    ++nezapsano_;
    v.Pricina = PricinaChyby(Archiv.Pricina);
    v.KodPriciny = Archiv.Pricina;
  }
  // The sample as the writer had it, handed on as a whole.
  const TVzorek& z = Archiv.Vzorek;
  v.Index = Archiv.IndexVzorku;
  v.CasMs = casVzorkuMs_;
  v.BehMs = zacatekEpochaMs_;
  v.Datum = z.Datum;
  v.Cas = z.Cas;
  v.Soubor = SystemovaCesta(Archiv.JmenoSouboru);
  v.Kanaly.resize(cisla.size());
  for (size_t i = 0; i < cisla.size(); ++i)
    v.Kanaly[i] = {z.Nazev[i], z.Hodnota[i], z.Chyba[i] != 0 ? NAN : cisla[i], z.Chyba[i]};
  Oznam([&](TPozorovatelMereni& p) { p.VzorekZapsan(v, uloha_); });
}

void TMereni::Odhlas(const TPracovniVlakno* vlakno) {
  // A thread of an earlier measurement that returned late is no longer
  // the one remembered.
  if (static_cast<const TPracovniVlakno*>(komThread_) == vlakno) komThread_ = nullptr;
  if (static_cast<const TPracovniVlakno*>(fileThread_) == vlakno) fileThread_ = nullptr;
}

void TMereni::PoruchaKnihovny(uint64_t generace) {
  // Only the measurement that runs now, and not while a stop is under way
  // (that stop reports the fault itself).
  if (generace != generace_.load() || stav_ != TStavMereni::Bezi) return;
  const TVysledekMereni v = Zastav();
  Oznam([&](TPozorovatelMereni& p) { p.MereniSkoncilo(v); });
}
