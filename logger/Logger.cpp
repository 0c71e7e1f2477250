#include "Logger.h"

#include <QEventLoop>
#include <QLocale>
#include <QObject>
#include <QTimer>

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "ArchivDat.h"
#include "ChybySouboru.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Mereni.h"
#include "Mistni.h"
#include "Publikace.h"
#include "Rozdeleni.h"
#include "Signaly.h"
#include "Slozka.h"
#include "Sluzba.h"

namespace fs = std::filesystem;

namespace {

const char* const Napoveda =
    "Použití: zq-logger [volby] ÚLOHA\n"
    "Měří úlohu bez okna a zapisuje její datový soubor stejně jako okno programu.\n"
    "ÚLOHA je jméno souboru úlohy ve složce programu, nebo cesta k němu (obsahuje \"/\").\n"
    "\n"
    "Volby:\n"
    "  -q, --tichy       nevypisovat řádek za každý vzorek\n"
    "      --prepsat     přepsat existující datový soubor (okno se na to ptá)\n"
    "      --pokracovat  pokračovat v existujícím datovém souboru téže úlohy\n"
    "                    (po restartu); neúplný poslední záznam se odřízne\n"
    "      --publikace SOUBOR\n"
    "                    nastavení publikace MQTT z tohoto souboru místo\n"
    "                    ZQ_publikace.ini ve složce programu\n"
    "      --soubory SOUBOR\n"
    "                    rozdělení datových souborů (po dnech, týdnech, měsících,\n"
    "                    podle velikosti) z tohoto souboru místo ZQ_soubory.ini\n"
    "                    ve složce programu\n"
    "  -h, --help        tato nápověda\n"
    "      --version     verze programu\n"
    "\n"
    "Měření skončí signálem SIGINT, SIGTERM, SIGHUP nebo SIGQUIT (Ctrl-C,\n"
    "systemctl stop); SIGUSR1 vypíše průběžný stav na standardní chybový výstup.\n"
    "Návratový kód: 0 po řádném ukončení; 1 když se měření nespustí, ale později\n"
    "může (rozhraní se neotevře, složku dat nelze vytvořit); 2 při chybném volání,\n"
    "vadném souboru úlohy nebo datovém souboru, v němž nelze pokračovat (opakování\n"
    "nepomůže); 3 když měření skončí samo (porucha knihovny); 4 když další signál\n"
    "ukončí program dřív, než se měření zastaví.\n";

// A call that is wrong gets one line, not the whole help.
const char* const KratkaNapoveda = "(nápověda: zq-logger --help)\n";

// "; úlohy ve složce "/var/lib/…": Linka1.zq, Linka2.zq": what the folder of a
// task that is not there holds instead.
std::string UlohyVeSlozce(const fs::path& slozka) {
  std::vector<std::string> jmena;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(slozka.empty() ? fs::path(".") : slozka, ec))
    if (e.path().extension() == ".zq" && e.is_regular_file(ec))
      jmena.push_back(e.path().filename().string());
  std::sort(jmena.begin(), jmena.end());
  const std::string kde = "\"" + (slozka.empty() ? std::string(".") : slozka.string()) + "\"";
  if (jmena.empty()) return "; ve složce " + kde + " není žádná úloha (*.zq)";
  std::string s = "; úlohy ve složce " + kde + ": ";
  constexpr size_t Nejvyse = 20;
  for (size_t i = 0; i < jmena.size() && i < Nejvyse; ++i) s += (i ? ", " : "") + jmena[i];
  if (jmena.size() > Nejvyse) s += " a další (" + std::to_string(jmena.size() - Nejvyse) + ")";
  return s;
}

// A sample line is at most this many characters: a terminal's width or
// two, however many channels the task has.
constexpr size_t DelkaRadku = 160;

// `text` (UTF-8) cut to `znaku` characters, the last of them "…" when cut.
std::string Zkrat(const std::string& text, size_t znaku) {
  size_t i = 0, n = 0;
  while (i < text.size() && n + 1 < znaku) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    ++n;
  }
  if (i >= text.size()) return text;
  // One more character fits: it ends the text or it is the ellipsis.
  size_t j = i + 1;
  while (j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) ++j;
  return j >= text.size() ? text : text.substr(0, i) + "…";
}

// What the logger prints of a running measurement.
class TVypis : public TPozorovatelMereni {
 public:
  // `jenProCteni`: the line for a sample refused by a read-only file system.
  TVypis(std::ostream& vystup, std::ostream& chyby, bool tichy, std::string jenProCteni)
      : vystup_(vystup), chyby_(chyby), tichy_(tichy), jenProCteni_(std::move(jenProCteni)) {}

  void KanalPrecten(const TPrecteno& p) override {
    if (p.ChybaKomunikace) posledniChyba_ = p.PosledniChyba;
  }

  void VzorekZapsan(const TVzorekMereni& v, const TUlohaMereni&) override {
    HlidejPublikaci();
    // A table at its limit, files deleted or not: said also with -q.
    for (const std::string& z : v.Zpravy) chyby_ << "zq-logger: " << Utf8(z) << std::endl;
    if (v.NovySoubor && !tichy_ && !vystup_.fail()) {
      vystup_ << "zq-logger: nový datový soubor \"" << v.Soubor.string() << "\"" << std::endl;
      HlidejVystup();
    }
    // Said once, on standard error, also with -q as the service runs: every
    // sample after it fails alike.
    if (!v.Chyba.empty() && v.KodPriciny == EROFS && !jenProCteniReceno_) {
      jenProCteniReceno_ = true;
      chyby_ << jenProCteni_ << std::endl;
    }
    if (tichy_ || vystup_.fail()) return;
    int chybnych = 0;
    for (const TKanalVzorku& k : v.Kanaly)
      if (k.Chyba != 0) ++chybnych;
    std::string radek =
        "vzorek " + std::to_string(v.Poradi) + ": chybné kanály " + std::to_string(chybnych);
    if (chybnych > 0 && !posledniChyba_.empty())
      radek += ", poslední chyba " + Utf8(posledniChyba_);
    if (!v.Chyba.empty()) {
      radek += ", zápis: " + Utf8(v.Chyba);
      if (!v.Pricina.empty()) radek += " (" + Utf8(v.Pricina) + ")";
    }
    // The values as the file holds them, as people expect of a poller.
    radek += ", hodnoty: ";
    for (size_t i = 0; i < v.Kanaly.size() && radek.size() < 4 * DelkaRadku; ++i)
      radek += (i ? "; " : "") + Utf8(v.Kanaly[i].Text);
    vystup_ << Zkrat(radek, DelkaRadku) << std::endl;
    HlidejVystup();
  }

  // Standard output that fails (its reader went away: `| head`, a pager, a
  // closed ssh session) is not written to any more; the measurement and its
  // data file go on.  Said once on standard error, which may still be read.
  void HlidejVystup() {
    if (!vystup_.fail() || vystupSelhal_) return;
    vystupSelhal_ = true;
    chyby_ << "zq-logger: standardní výstup nelze zapisovat, řádky vzorků se dál nevypisují; "
              "měření a zápis dat pokračují"
           << std::endl;
  }

  // What the publishing has to say (a failure, dropped samples), each text
  // once on standard error; how often it speaks is its own (Oznamovatel.h).
  void HlidejPublikaci() {
    if (!Publikace) return;
    for (const TOznameniPublikace& o : Publikace->Stav().Oznameni) {
      if (o.Cislo <= receno_) continue;
      receno_ = o.Cislo;
      chyby_ << "zq-logger: publikace: " << Utf8(o.Text) << std::endl;
    }
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
  const TPublikaceMereni* Publikace = nullptr;
  bool samo_ = false;
  int signal_ = 0;
  TVysledekMereni vysledek_;

 private:
  std::ostream& vystup_;
  std::ostream& chyby_;
  bool vystupSelhal_ = false;
  uint64_t receno_ = 0;  // the publishing's texts said up to this number
  bool tichy_;
  std::string posledniChyba_;
  std::string jenProCteni_;
  bool jenProCteniReceno_ = false;
};

// The health of the communication over the whole run, on one line.
std::string Souhrn(const THistorie& h) {
  const TStatistikaKanalu c = h.Celkem();
  const TPrubehy p = h.Prubehy();
  // Numbers as the window shows them: the regional decimal separator.
  auto ms = [](double v) { return FixniText(v, 1, Mistni().DesetinnyOddelovac); };
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

namespace {

// Why `soubor` cannot be the file `co` names ("soubor úlohy"); empty when it
// is a regular file, and when it is not there and `chybet` allows that.
std::string NeniSoubor(const fs::path& soubor, const char* co, bool chybet = false) {
  std::error_code ec;
  const fs::file_status st = fs::status(soubor, ec);
  switch (st.type()) {
    case fs::file_type::regular: return {};
    case fs::file_type::not_found: return chybet ? std::string() : "neexistuje";
    case fs::file_type::directory: return std::string("je složka, ne ") + co;
    case fs::file_type::fifo: return std::string("je pojmenovaná roura (FIFO), ne ") + co;
    case fs::file_type::none: return "nelze zjistit (" + Utf8(PricinaChyby(ec.value())) + ")";
    default: return std::string("není obyčejný soubor (zařízení, soket), ne ") + co;
  }
}

// An IPv4 address in dotted form, as the LAN converter's library takes it
// (blanks around it allowed).  A host name is not looked up: the converter
// is found by its address only.
bool AdresaIPv4(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  in_addr a{};
  return inet_pton(AF_INET, std::string(text).c_str(), &a) == 1;
}

// How the regional settings `m` write numbers, dates and times, for a person.
std::string PopisMistnich(const TMistniNastaveni& m) {
  return std::string("desetinný oddělovač \"") + m.DesetinnyOddelovac + "\", datum " +
         Utf8(m.KratkeDatum) + ", čas " + Utf8(m.DlouhyCas);
}

// A locale whose numbers, dates and times are those of the last record of
// `n` ("cs_CZ.UTF-8"), for the operator to set; empty when none of the
// usual ones is.
std::string JazykSouboru(const TNavazani& n) {
  for (const char* jmeno : {"cs_CZ", "sk_SK", "de_DE", "pl_PL", "en_GB", "en_US", "fr_FR"}) {
    const TMistniNastaveni m = MistniZLocale(QLocale(QString::fromLatin1(jmeno)));
    const TMistniZeZaznamu z = MistniZeZaznamu(m, n.Datum, n.Cas, n.Hodnoty, std::nullopt);
    if (z.Mistni && z.Mistni->DesetinnyOddelovac == m.DesetinnyOddelovac &&
        z.Mistni->KratkeDatum == m.KratkeDatum && z.Mistni->DlouhyCas == m.DlouhyCas)
      return std::string(jmeno) + ".UTF-8";
  }
  return {};
}

// A file continued under regional settings other than those it was written
// in would mix two forms of numbers and dates in one column, which a
// spreadsheet then cannot read: its last record decides, and the run goes
// on in its forms (said on standard error).  False when the record leaves
// them open.
bool PokracujVeTvaru(const TNavazani& n, const std::optional<TDatumCas>& zapsano,
                     const std::string& soubor, std::ostream& chyby) {
  if (n.Datum.empty() && n.Cas.empty() && n.Hodnoty.empty()) return true;
  // A copy: NastavMistni below replaces what Mistni() refers to.
  const TMistniNastaveni ted = Mistni();  // NOLINT(performance-unnecessary-copy-initialization)
  const TMistniZeZaznamu z = MistniZeZaznamu(ted, n.Datum, n.Cas, n.Hodnoty, zapsano);
  if (!z.Mistni) {
    const std::string jazyk = JazykSouboru(n);
    chyby << "zq-logger: v datovém souboru \"" << soubor
          << "\" nelze pokračovat ve tvaru čísel a data, v němž vznikl: " << Utf8(z.Duvod)
          << "; spusťte logger s LANG, pod nímž soubor vznikl (např. LANG="
          << (jazyk.empty() ? std::string("cs_CZ.UTF-8") : jazyk)
          << "; pod službou Environment=LANG=… v doplňku jednotky, systemctl edit)\n";
    return false;
  }
  const TMistniNastaveni& m = *z.Mistni;
  if (m.DesetinnyOddelovac != ted.DesetinnyOddelovac || m.KratkeDatum != ted.KratkeDatum ||
      m.DlouhyCas != ted.DlouhyCas) {
    NastavMistni(m);
    chyby << "zq-logger: datový soubor \"" << soubor
          << "\" pokračuje ve tvaru, v němž vznikl: " << PopisMistnich(m)
          << " (místní nastavení by psalo " << PopisMistnich(ted) << ")\n";
  }
  return true;
}

// What to do about a data file refused by a read-only file system.  Under
// the service that is most likely the unit's ProtectSystem=strict, which
// leaves only the state folder writable, rather than the disk: the operator
// is told how to open `slozka` to the task's instance, whose name is the
// task file's (the unit runs <instance>.zq).
std::string RadaOchrany(const fs::path& slozka, const fs::path& uloha) {
  return "; pod službou systemd je to nejspíš ochrana jednotky: povolte složku \"" +
         slozka.string() + "\" v ReadWritePaths= (systemctl edit zq-logger@" +
         uloha.stem().string() + ")";
}

// The folder of `soubor` or its nearest existing ancestor when that lies on a
// read-only file system (a folder to be made below it cannot be either).
std::optional<fs::path> SlozkaJenProCteni(const fs::path& soubor) {
  fs::path p = soubor.parent_path();
  for (int i = 0; i < 4096 && !p.empty(); ++i) {
    if (::access(p.c_str(), W_OK) == 0) return std::nullopt;
    if (errno == EROFS) return p;
    if (errno != ENOENT || p == p.parent_path()) return std::nullopt;
    p = p.parent_path();
  }
  return std::nullopt;
}

// The data file `data` (a full path, Windows-1250: the task's or one of its
// series) to go on with: it must belong to the task; a torn tail is cut.
// False (the reason on standard error) when it cannot be continued.
bool Navaz(const TCFG& cfg, const TPoleKanal& kanaly, const std::string& data, uint32_t& indexPred,
           const fs::path& uloha, std::ostream& chyby) {
  TArchivDat a;
  PripravArchiv(a, data, cfg.Volby, cfg.PocetKanalu);
  for (int32_t i = 0; i < cfg.PocetKanalu && i < MaxKanalu; ++i) {
    a.Vzorek.Nazev[static_cast<size_t>(i)] = kanaly[static_cast<size_t>(i)].Nazev;
    a.Vzorek.DesetinnaMista[static_cast<size_t>(i)] =
        static_cast<uint8_t>(kanaly[static_cast<size_t>(i)].DesetinnaMista);
  }
  // When the last record was written, before a cut changes the time.
  std::optional<TDatumCas> zapsano;
  struct stat st {};
  tm t{};
  const fs::path cesta = SystemovaCesta(data);
  if (stat(cesta.c_str(), &st) == 0 && localtime_r(&st.st_mtime, &t))
    zapsano = TDatumCas{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  const TNavazani n = NavazNaSoubor(a);
  const std::string soubor = cesta.string();
  switch (n.Stav) {
    case TNavazani::Neni: return true;
    case TNavazani::Navazano: break;
    case TNavazani::Cizi:
      chyby << "zq-logger: v datovém souboru \"" << soubor
            << "\" nelze pokračovat: " << Utf8(n.Duvod) << " (patří jiné úloze?)\n";
      return false;
    case TNavazani::Chyba:
      chyby << "zq-logger: datový soubor \"" << soubor
            << "\" nelze číst ani opravit: " << Utf8(n.Duvod);
      if (n.Duvod == PricinaChyby(EROFS)) chyby << RadaOchrany(cesta.parent_path(), uloha);
      chyby << "\n";
      return false;
  }
  if (n.Odriznuto > 0)
    chyby << "zq-logger: z konce datového souboru \"" << soubor << "\" odříznuto " << n.Odriznuto
          << " B neúplného záznamu (přerušený zápis)\n";
  indexPred = n.PosledniIndex;
  return PokracujVeTvaru(n, zapsano, soubor, chyby);
}

}  // namespace

int SpustLogger(const std::vector<std::string>& argumenty, std::ostream& vystup,
                std::ostream& chyby, bool& visi) {
  visi = false;
  // The soak's seam: a series split by size switches every few seconds when
  // one "MB" of "Velikost MB" is a few kilobytes.
  // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread, never changed.
  if (const char* b = std::getenv("ZQ_SOAK_BAJTU_MB"))
    if (const auto v = TextNaCele(b); v && *v > 0) NastavBajtuMB(static_cast<uint64_t>(*v));
  bool tichy = false, prepsat = false, pokracovat = false;
  std::string uloha;
  std::optional<fs::path> souborPublikace, souborSouboru;
  for (size_t i = 0; i < argumenty.size(); ++i) {
    const std::string& a = argumenty[i];
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
    } else if (a == "--pokracovat") {
      pokracovat = true;
    } else if (a == "--publikace") {
      if (i + 1 >= argumenty.size()) {
        chyby << "zq-logger: volba --publikace potřebuje soubor " << KratkaNapoveda;
        return LoggerChybneVolani;
      }
      souborPublikace = fs::path(argumenty[++i]);
    } else if (a == "--soubory") {
      if (i + 1 >= argumenty.size()) {
        chyby << "zq-logger: volba --soubory potřebuje soubor " << KratkaNapoveda;
        return LoggerChybneVolani;
      }
      souborSouboru = fs::path(argumenty[++i]);
    } else if (!a.empty() && a[0] == '-') {
      chyby << "zq-logger: neznámá volba " << a << " " << KratkaNapoveda;
      return LoggerChybneVolani;
    } else if (uloha.empty()) {
      uloha = a;
    } else {
      chyby << "zq-logger: zadejte jedinou úlohu " << KratkaNapoveda;
      return LoggerChybneVolani;
    }
  }
  if (uloha.empty()) {
    chyby << "zq-logger: chybí úloha " << KratkaNapoveda;
    return LoggerChybneVolani;
  }
  if (prepsat && pokracovat) {
    chyby << "zq-logger: volby --prepsat a --pokracovat nelze použít spolu\n";
    return LoggerChybneVolani;
  }

  // A bare name is a task in the program's folder, as in the window.
  fs::path soubor =
      uloha.find('/') == std::string::npos ? CestaVeSlozceProgramu(Cp1250(uloha)) : fs::path(uloha);
  // People learn the service's instance names, which have no ".zq".
  if (std::error_code ec; soubor.extension() != ".zq" && !fs::exists(soubor, ec)) {
    fs::path sPriponou = soubor;
    sPriponou += ".zq";
    if (fs::is_regular_file(sPriponou, ec)) {
      chyby << "zq-logger: úloha \"" << uloha << "\" je soubor \"" << sPriponou.string() << "\"\n";
      soubor = sPriponou;
    }
  }
  TCFG cfg;
  InitCFG(cfg);
  cfg.Uloha = JmenoUlohy(Cp1250(soubor.filename().string()));
  TPoleKanal kanaly;
  InitKanaly(kanaly);
  if (const std::string proc = NeniSoubor(soubor, "soubor úlohy"); !proc.empty()) {
    chyby << "zq-logger: soubor \"" << soubor.string() << "\" " << proc;
    if (std::error_code ec; !fs::exists(soubor, ec)) chyby << UlohyVeSlozce(soubor.parent_path());
    chyby << "\n";
    return LoggerChybneVolani;
  }
  const TCteniUlohy cteni = PrectiCelouUlohu(soubor, cfg, kanaly);
  if (!cteni.Uloha) {
    chyby << "zq-logger: soubor \"" << soubor.string() << "\" neobsahuje měřicí úlohu\n";
    return LoggerChybneVolani;
  }
  // The window shows a person what the readers put in place of a missing or
  // invalid value; a logger runs unattended, so it lists every one, and
  // never measures channels the file does not define or talks to a device
  // the task does not name.
  const TNalezyUlohy& n = cteni.Nalezy;
  for (const std::string& c : n.Chybi) chyby << "zq-logger: v úloze chybí " << Utf8(c) << "\n";
  for (const TNalezyUlohy::TNahrada& h : n.Nahrazeno)
    chyby << "zq-logger: neplatná hodnota " << Utf8(h.Klic) << "=" << Utf8(h.Bylo) << ", použito "
          << Utf8(h.Je) << "\n";
  // Periods 11 and 12 pass the readers' range but are not in the period
  // table: the window measures them every second, and so does the logger.
  if (cfg.Perioda >= PocetPeriod)
    chyby << "zq-logger: [Konfigurace] Perioda měření=" << cfg.Perioda
          << " není v tabulce period, měří se každou sekundu\n";
  if (n.Zavazne()) {
    chyby << "zq-logger: úloha \"" << soubor.string() << "\" "
          << (!n.Chybi.empty()   ? "není úplná (soubor byl zkrácen nebo upraven ručně)"
              : n.JineZarizeni() ? "by vedla k jinému zařízení, než určuje"
                                 : "by měřila jiné kanály, jinak převáděla nebo zapisovala "
                                   "jinam, než určuje")
          << "; měření se nespustí, opravte ji a uložte znovu\n";
    return LoggerChybneVolani;
  }
  CFG = cfg;
  Kanaly.Nahrad(kanaly);

  // The same start as the window's, without its questions.
  if (!PlatnaUloha(cfg)) {
    chyby << "zq-logger: Chyba zadaných parametrů\n";
    return LoggerChybneVolani;
  }
  // What the window leaves to the library's status text, which a service
  // would retry for ever: an address that is none, a data file's place that
  // holds a folder.  Neither mends itself.
  if ((cfg.Rozhrani == RozhraniZQ || cfg.Rozhrani == RozhraniZQU) && !AdresaIPv4(cfg.IPAdresa)) {
    chyby << "zq-logger: [Připojení] IP adresa=" << Utf8(cfg.IPAdresa)
          << " není adresa IPv4 (čtyři čísla 0 až 255 oddělená tečkami, např. " << VychoziIPAdresa
          << "); převodník se hledá jen podle adresy, ne podle jména\n";
    return LoggerChybneVolani;
  }
  // How the data file is split into a series (ZQ_soubory.ini); what is
  // wrong there is said, and the file is then not split.
  TRozdeleniBehu rozdeleni = PripravRozdeleni(
      souborSouboru ? *souborSouboru : CestaVeSlozceProgramu(JmenoNastaveniSouboru), cfg.Uloha,
      CestaCp1250(DatovaCesta(cfg.JmenoSouboru)), {SlozkaProgramu(), soubor.parent_path()}, soubor);
  for (const std::string& z : rozdeleni.Zpravy) chyby << "zq-logger: " << Utf8(z) << "\n";
  const TDatumCas ted = TedMistni();
  // The file the first sample goes to: the task's, or its series' for now.
  const bool rozdeleno = rozdeleni.Nastaveni.Rozdelit != TRozdeleni::Ne;
  std::string jmenoDat = rozdeleno ? rozdeleni.Soubor(ted) : cfg.JmenoSouboru;
  fs::path data = DatovaCesta(jmenoDat);
  if (const std::string proc = NeniSoubor(data, "datový soubor", true); !proc.empty()) {
    chyby << "zq-logger: \"" << data.string() << "\" " << proc
          << "; v úloze zvolte jiné jméno souboru\n";
    return LoggerChybneVolani;
  }
  uint32_t indexPred = 0;
  // The series' last file: continued when it is of the current period, the
  // index taken from it either way.
  const std::vector<TClenRady> rada =
      pokracovat ? SouboryRady(rozdeleni.Jmeno, rozdeleni.Nastaveni.Rozdelit)
                 : std::vector<TClenRady>{};
  if (!rada.empty()) {
    const std::string posledni = JmenoClenu(rozdeleni.Jmeno, rada.back());
    if (!Navaz(cfg, kanaly, posledni, indexPred, soubor, chyby)) return LoggerChybneVolani;
    if (rozdeleni.Aktualni(rada.back(), ted)) {
      rozdeleni.Dale = rada.back();
      if (rozdeleno || rada.back().Dil > 1) {
        jmenoDat = posledni;
        data = DatovaCesta(jmenoDat);
      }
    }
  } else {
    switch (ProverDatovySoubor(jmenoDat, [prepsat] { return prepsat; })) {
      case TProbaSouboru::Ok: break;
      case TProbaSouboru::Odmitnuto:
        chyby << "zq-logger: Soubor \"" << data.string()
              << "\" již existuje; přepsat jej dovolí volba --prepsat, pokračovat v něm "
                 "--pokracovat\n";
        return LoggerChybneVolani;
      case TProbaSouboru::Nelze:
        chyby << "zq-logger: " << Utf8(NelzeVytvorit(jmenoDat));
        if (const auto slozka = SlozkaJenProCteni(data))
          chyby << " (" << Utf8(PricinaChyby(EROFS)) << ")" << RadaOchrany(*slozka, soubor);
        chyby << "\n";
        return LoggerNespusteno;
    }
  }

  // Kept on the heap: when a library call hangs past the stop, its thread
  // still uses the object, which then is never destroyed.
  auto mereni = std::make_unique<TMereni>();
  TVypis vypis(vystup, chyby, tichy,
               "zq-logger: do datového souboru \"" + data.string() + "\" nelze zapisovat (" +
                   Utf8(PricinaChyby(EROFS)) + ")" + RadaOchrany(data.parent_path(), soubor));
  // Samples to a broker when ZQ_publikace.ini (or the file given) says so.
  auto publikace = std::make_unique<TPublikaceMereni>(
      *mereni, "zq-logger",
      souborPublikace ? *souborPublikace : CestaVeSlozceProgramu(JmenoNastaveniPublikace));
  publikace->Hlaseni = [&chyby](const std::string& text) {
    chyby << "zq-logger: " << Utf8(text) << std::endl;
  };
  // Looked at with each sample and four times a second: a broker that
  // refuses or is away, and samples dropped, are said on standard error as
  // they happen, even when samples are minutes apart.
  vypis.Publikace = publikace.get();
  QTimer hlidacPublikace;
  QObject::connect(&hlidacPublikace, &QTimer::timeout, [&vypis] { vypis.HlidejPublikaci(); });
  hlidacPublikace.start(250);
  QEventLoop smycka;
  vypis.smycka_ = &smycka;
  // Caught from before the start on: a stop asked for while the interface
  // opens is a clean stop too, never the default action.
  auto hlidac = std::make_unique<QObject>();
  NastavOkamzityKonec(
      "zq-logger: ukončeno dalším signálem bez čekání na konec měření; datový soubor obsahuje "
      "vzorky zapsané do té chvíle, souhrn se nevypíše\n",
      LoggerPreruseno, STDERR_FILENO);
  ZachytavejUkonceni(
      hlidac.get(), [&vypis](int signal) { vypis.Skonci(signal); },
      // SIGUSR1: how the run does so far, without stopping it.
      [&] {
        chyby << "zq-logger: průběžně: "
              << PocetSlovem(mereni->PocetVzorku(), "vzorek", "vzorky", "vzorků")
              << ", z toho nezapsaných " << mereni->Nezapsano() << "\n"
              << Souhrn(mereni->Historie()) << std::endl;
      });
  mereni->PridejPozorovatele(&vypis);
  const TVysledekMereni start = mereni->Start(cfg, indexPred, rozdeleni);
  if (!start.Uspech()) {
    mereni->OdeberPozorovatele(&vypis);
    hlidac.reset();
    PrestanZachytavat();
    chyby << "zq-logger: " << Utf8(start.Text) << "\n";
    return LoggerNespusteno;
  }
  if (!tichy) {
    vystup << "zq-logger: úloha \"" << soubor.string() << "\", "
           << PocetSlovem(cfg.PocetKanalu, "kanál", "kanály", "kanálů") << ", perioda "
           << mereni->PeriodaSek() << " s, data do \""
           << (rozdeleni.Nastaveni.Rozdelit == TRozdeleni::Velikost && !rozdeleni.Dale
                   ? SystemovaCesta(rozdeleni.Ukazat(ted)).string()
                   : data.string())
           << "\"" << Utf8(PopisRozdeleni(rozdeleni.Nastaveni));
    if (indexPred > 0) vystup << ", pokračuje za vzorkem " << indexPred;
    vystup << std::endl;
    vypis.HlidejVystup();
  }
  // The file will pass what its readers take: said with the first lines,
  // also with -q (the service's journal keeps it); the measurement goes on.
  if (const std::string v =
          VarovaniLimitu(FormatSouboru(rozdeleni.Jmeno), cfg.Volby, cfg.PocetKanalu,
                         mereni->PeriodaSek(), rozdeleni.Nastaveni, ted);
      !v.empty()) {
    vystup << "zq-logger: " << Utf8(v) << std::endl;
    vypis.HlidejVystup();
  }
  // Under systemd (Type=notify): ready now that the measurement runs, the
  // watchdog petted from this thread, the one that writes the data file.
  TSluzba sluzba([&] {
    std::string s = PocetSlovem(mereni->PocetVzorku(), "vzorek", "vzorky", "vzorků");
    if (mereni->Nezapsano() > 0) s += ", z toho nezapsaných " + std::to_string(mereni->Nezapsano());
    return s;
  });
  sluzba.Pripraveno();
  // A loop not yet running forgets a quit: a signal served during the start
  // (its waits keep events flowing) is looked at here.
  if (!vypis.signal_ && !vypis.samo_) smycka.exec();
  sluzba.Zastavuje();
  hlidac.reset();
  hlidacPublikace.stop();
  // The publishing's 5 s count from here: stopping the measurement takes
  // from them, so the whole exit keeps to 5 s however the broker behaves.
  const auto konecPublikace = std::chrono::steady_clock::now() + std::chrono::seconds(5);

  int kod = LoggerOk;
  if (vypis.samo_) {
    chyby << "zq-logger: Měření ukončeno: " << Utf8(vypis.vysledek_.Text) << "\n";
    kod = LoggerSkoncilSam;
  } else {
    const TVysledekMereni konec = mereni->Zastav();
    if (!konec.Uspech()) chyby << "zq-logger: Měření ukončeno: " << Utf8(konec.Text) << "\n";
  }
  vystup << "zq-logger: měření ukončeno";
  if (vypis.signal_) vystup << " (" << JmenoSignalu(vypis.signal_) << ")";
  vystup << ", " << PocetSlovem(mereni->PocetVzorku(), "vzorek", "vzorky", "vzorků")
         << ", z toho nezapsaných " << mereni->Nezapsano() << "\n";
  mereni->OdeberPozorovatele(&vypis);
  TMereni::Cekej([&] { return !mereni->KomBezi() && !mereni->FileBezi(); }, 1000);
  // The broker gets what is left of the 5 s for what is stored; the rest
  // waits in the store for the next run.
  publikace->Ukonci(
      static_cast<int>(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                konecPublikace - std::chrono::steady_clock::now())
                                                .count())));
  vypis.HlidejPublikaci();
  // Summed once the acquisition thread has ended, so the pass it was in
  // counts too and the figures equal what went over the bus.
  std::string souhrn = Souhrn(mereni->Historie());
  if (const TStavPublikace p = publikace->Stav(); p.Zapnuto)
    souhrn += "; publikace: odesláno " + std::to_string(p.Odeslano) + ", čeká " +
              std::to_string(p.Ceka) + ", zahozeno " + std::to_string(p.Zahozeno);
  vystup << souhrn << std::endl;
  // Caught until the summary is out: the same request delivered twice must
  // not end the program by the default action while it stops.
  PrestanZachytavat();
  if (mereni->VlaknaBezi()) {
    visi = true;
    static_cast<void>(mereni.release());
  }
  return kod;
}
