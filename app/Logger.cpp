#include "Logger.h"

#include <QEventLoop>
#include <QObject>

#include <csignal>
#include <filesystem>
#include <memory>
#include <system_error>

#include "ArchivDat.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Mereni.h"
#include "Signaly.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

const char* const Napoveda =
    "Použití: zq-logger [volby] ÚLOHA\n"
    "Měří úlohu bez okna a zapisuje její datový soubor stejně jako okno programu.\n"
    "ÚLOHA je jméno souboru úlohy ve složce programu, nebo cesta k němu (obsahuje \"/\").\n"
    "\n"
    "Volby:\n"
    "  -q, --tichy    nevypisovat řádek za každý vzorek\n"
    "      --prepsat  přepsat existující datový soubor (okno se na to ptá)\n"
    "  -h, --help     tato nápověda\n"
    "      --version  verze programu\n"
    "\n"
    "Měření skončí signálem SIGINT nebo SIGTERM (Ctrl-C, systemctl stop).\n"
    "Návratový kód: 0 po řádném ukončení, 1 když se měření nespustí, 2 při chybném\n"
    "volání nebo souboru bez úlohy, 3 když měření skončí samo (porucha knihovny).\n";

// What the logger prints of a running measurement.
class TVypis : public TPozorovatelMereni {
 public:
  TVypis(std::ostream& vystup, bool tichy, int32_t pocetKanalu)
      : vystup_(vystup), tichy_(tichy), pocetKanalu_(pocetKanalu) {}

  void KanalPrecten(int32_t, bool chybaKomunikace, const std::string& posledniChyba) override {
    if (chybaKomunikace) posledniChyba_ = posledniChyba;
  }

  void VzorekZapsan(int32_t pocetVzorku, const std::string& chyba) override {
    if (!chyba.empty()) ++nezapsano_;
    if (tichy_) return;
    // The sample just written is still in Archiv: its status codes tell
    // which channels failed.
    int chybnych = 0;
    for (int32_t i = 0; i < pocetKanalu_ && i < MaxKanalu; ++i)
      if (Archiv.Vzorek.Chyba[static_cast<size_t>(i)] != 0) ++chybnych;
    vystup_ << "vzorek " << pocetVzorku << ": chybné kanály " << chybnych;
    if (chybnych > 0 && !posledniChyba_.empty())
      vystup_ << ", poslední chyba " << Utf8(posledniChyba_);
    if (!chyba.empty()) vystup_ << ", zápis: " << Utf8(chyba);
    vystup_ << std::endl;
  }

  void MereniSkoncilo(const TVysledekMereni& v) override {
    samo_ = true;
    vysledek_ = v;
    if (smycka_) smycka_->quit();
  }

  void Skonci(int signal) {
    signal_ = signal;
    if (smycka_) smycka_->quit();
  }

  QEventLoop* smycka_ = nullptr;
  bool samo_ = false;
  int signal_ = 0;
  int nezapsano_ = 0;
  TVysledekMereni vysledek_;

 private:
  std::ostream& vystup_;
  bool tichy_;
  int32_t pocetKanalu_;
  std::string posledniChyba_;
};

// The health of the communication over the whole run, on one line.
std::string Souhrn(const THistorie& h) {
  const TStatistikaKanalu c = h.Celkem();
  const TPrubehy p = h.Prubehy();
  auto ms = [](double v) { return FixniText(v, 1, '.'); };
  std::string s = "zq-logger: komunikace: čtení " + std::to_string(c.Cteni) + ", chybných " +
                  std::to_string(c.Chyby);
  if (!c.PodleKodu.empty()) s += " (" + c.TextPodleKodu() + ")";
  s += "; odezva průměr " + ms(c.PrumerOdezvyMs()) + " ms, nejvýše " + ms(c.MaxOdezvyMs) + " ms";
  // Which module failed, without the window's table: reads/failed per address.
  const auto moduly = h.PodleModulu();
  if (!moduly.empty()) {
    s += "; moduly (čtení/chybných)";
    const char* oddelovac = " ";
    for (const auto& [adresa, m] : moduly) {
      s += oddelovac + std::to_string(adresa) + ": " + std::to_string(m.Cteni) + "/" +
           std::to_string(m.Chyby);
      oddelovac = ", ";
    }
  }
  if (p.Pocet > 0) {
    s += "; průchod průměr " + ms(p.PrumerMs()) + " ms, nejdelší " + ms(p.MaxMs) + " ms, perioda " +
         std::to_string(p.PeriodaSek) + " s";
    if (p.MaxMs > p.PeriodaSek * 1000.0)
      s += " (průchody delší než perioda: vzorky opakují hodnoty)";
  }
  if (c.PosledniKod != 0) s += "; poslední chyba " + c.PosledniCas + " " + Utf8(c.PosledniText);
  return s;
}

const char* JmenoSignalu(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signál";
  }
}

}  // namespace

int SpustLogger(const std::vector<std::string>& argumenty, std::ostream& vystup,
                std::ostream& chyby, bool& visi) {
  visi = false;
  bool tichy = false, prepsat = false;
  std::string uloha;
  for (const std::string& a : argumenty) {
    if (a == "-h" || a == "--help") {
      vystup << Napoveda;
      return LoggerOk;
    }
    if (a == "--version") {
      vystup << "zq-logger " << ZQ_VERZE << "\n";
      return LoggerOk;
    }
    if (a == "-q" || a == "--tichy") {
      tichy = true;
    } else if (a == "--prepsat") {
      prepsat = true;
    } else if (!a.empty() && a[0] == '-') {
      chyby << "zq-logger: neznámá volba " << a << "\n" << Napoveda;
      return LoggerChybneVolani;
    } else if (uloha.empty()) {
      uloha = a;
    } else {
      chyby << "zq-logger: zadejte jedinou úlohu\n" << Napoveda;
      return LoggerChybneVolani;
    }
  }
  if (uloha.empty()) {
    chyby << "zq-logger: chybí úloha\n" << Napoveda;
    return LoggerChybneVolani;
  }

  // A bare name is a task in the program's folder, as in the window.
  const fs::path soubor =
      uloha.find('/') == std::string::npos ? CestaVeSlozceProgramu(Cp1250(uloha)) : fs::path(uloha);
  TCFG cfg;
  InitCFG(cfg);
  cfg.Uloha = JmenoUlohy(Cp1250(soubor.filename().string()));
  TPoleKanal kanaly;
  InitKanaly(kanaly);
  std::error_code ec;
  if (!fs::is_regular_file(soubor, ec)) {
    chyby << "zq-logger: soubor \"" << soubor.string() << "\" neexistuje\n";
    return LoggerChybneVolani;
  }
  if (!PrectiUlohuZ(soubor, cfg)) {
    chyby << "zq-logger: soubor \"" << soubor.string() << "\" neobsahuje měřicí úlohu\n";
    return LoggerChybneVolani;
  }
  PrectiKanalyZ(soubor, kanaly);
  CFG = cfg;
  Kanaly.Nahrad(kanaly);

  // The same start as the window's, without its questions.
  if (!PlatnaUloha(cfg)) {
    chyby << "Chyba zadaných parametrů\n";
    return LoggerNespusteno;
  }
  switch (ProverDatovySoubor(cfg.JmenoSouboru, [prepsat] { return prepsat; })) {
    case TProbaSouboru::Ok: break;
    case TProbaSouboru::Odmitnuto:
      chyby << "Soubor \"" << Utf8(cfg.JmenoSouboru)
            << "\" již existuje; přepsat jej dovolí volba --prepsat\n";
      return LoggerNespusteno;
    case TProbaSouboru::Nelze:
      chyby << Utf8(NelzeVytvorit(cfg.JmenoSouboru)) << "\n";
      return LoggerNespusteno;
  }

  // Kept on the heap: when a library call hangs past the stop, its thread
  // still uses the object, which then is never destroyed.
  auto mereni = std::make_unique<TMereni>();
  TVypis vypis(vystup, tichy, cfg.PocetKanalu);
  mereni->PridejPozorovatele(&vypis);
  const TVysledekMereni start = mereni->Start(cfg);
  if (!start.Uspech()) {
    mereni->OdeberPozorovatele(&vypis);
    chyby << Utf8(start.Text) << "\n";
    return LoggerNespusteno;
  }
  if (!tichy)
    vystup << "zq-logger: úloha \"" << soubor.string() << "\", " << cfg.PocetKanalu
           << " kanálů, perioda " << mereni->PeriodaSek() << " s, data do \""
           << DatovaCesta(cfg.JmenoSouboru).string() << "\"" << std::endl;

  QEventLoop smycka;
  vypis.smycka_ = &smycka;
  {
    QObject hlidac;
    ZachytavejUkonceni(&hlidac, [&vypis](int signal) { vypis.Skonci(signal); });
    smycka.exec();
  }
  PrestanZachytavat();

  int kod = LoggerOk;
  if (vypis.samo_) {
    chyby << "Měření ukončeno: " << Utf8(vypis.vysledek_.Text) << "\n";
    kod = LoggerSkoncilSam;
  } else {
    const TVysledekMereni konec = mereni->Zastav();
    if (!konec.Uspech()) chyby << "Měření ukončeno: " << Utf8(konec.Text) << "\n";
  }
  vystup << "zq-logger: měření ukončeno";
  if (vypis.signal_) vystup << " (" << JmenoSignalu(vypis.signal_) << ")";
  vystup << ", vzorků " << mereni->PocetVzorku() << ", nezapsaných " << vypis.nezapsano_ << "\n";
  mereni->OdeberPozorovatele(&vypis);
  TMereni::Cekej([&] { return !mereni->KomBezi() && !mereni->FileBezi(); }, 1000);
  // Summed once the acquisition thread has ended, so the pass it was in
  // counts too and the figures equal what went over the bus.
  vystup << Souhrn(mereni->Historie()) << std::endl;
  if (mereni->VlaknaBezi()) {
    visi = true;
    static_cast<void>(mereni.release());
  }
  return kod;
}
