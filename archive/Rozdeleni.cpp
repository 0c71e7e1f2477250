#include "Rozdeleni.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <ctime>
#include <system_error>
#include <tuple>

#include "ChybySouboru.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

// Section and key names, Windows-1250.
struct TKliceSouboru {
  std::string Sekce = Cp1250("Rozdělení");
  std::string Rozdelit = Cp1250("Rozdělit");
  std::string Velikost = "Velikost MB";
  std::string Ponechat = Cp1250("Ponechat souborů");
};

const TKliceSouboru& K() {
  static const TKliceSouboru k;
  return k;
}

// The default section and a section per task, each with the same keys.
const std::vector<TZnameKlice>& Zname() {
  static const std::vector<TZnameKlice> zname = [] {
    const TKliceSouboru& k = K();
    const std::vector<std::string> klice{k.Rozdelit, k.Velikost, k.Ponechat};
    return std::vector<TZnameKlice>{{k.Sekce, klice}, {"", klice}};
  }();
  return zname;
}

constexpr TRozdeleni VsechnaRozdeleni[] = {TRozdeleni::Ne, TRozdeleni::Den, TRozdeleni::Tyden,
                                           TRozdeleni::Mesic, TRozdeleni::Velikost};

std::string Male(std::string_view text) {
  std::string s;
  for (char c : text) s += static_cast<char>(MalePismeno1250(static_cast<unsigned char>(c)));
  return s;
}

// `hodnota` as `cislic` decimal digits, zeros in front.
std::string Cislice(int hodnota, int cislic) {
  std::string s = CeleNaText(hodnota < 0 ? 0 : hodnota);
  if (static_cast<int>(s.size()) < cislic) s.insert(0, static_cast<size_t>(cislic) - s.size(), '0');
  return s;
}

// The picture of a period's text for `r`: '9' a digit, anything else itself.
std::string_view Obraz(TRozdeleni r) {
  switch (r) {
    case TRozdeleni::Den: return "9999-99-99";
    case TRozdeleni::Tyden: return "9999-W99";
    case TRozdeleni::Mesic: return "9999-99";
    case TRozdeleni::Velikost: return "9999-99-99_999999";
    case TRozdeleni::Ne: break;
  }
  return {};
}

// The period's text matches the picture and names a possible date and time.
bool PlatneObdobi(TRozdeleni r, std::string_view o) {
  const std::string_view obraz = Obraz(r);
  if (o.size() != obraz.size()) return false;
  for (size_t i = 0; i < o.size(); ++i)
    if (obraz[i] == '9' ? (o[i] < '0' || o[i] > '9') : o[i] != obraz[i]) return false;
  auto cislo = [&](size_t od, size_t delka) {
    int v = 0;
    std::from_chars(o.data() + od, o.data() + od + delka, v);
    return v;
  };
  if (r == TRozdeleni::Tyden) return cislo(6, 2) >= 1 && cislo(6, 2) <= 53;
  const bool mesic = cislo(5, 2) >= 1 && cislo(5, 2) <= 12;
  if (r == TRozdeleni::Mesic) return mesic;
  const bool den = mesic && cislo(8, 2) >= 1 && cislo(8, 2) <= 31;
  if (r == TRozdeleni::Den) return den;
  return den && cislo(11, 2) < 24 && cislo(13, 2) < 60 && cislo(15, 2) < 61;
}

// A number of the series' names: 2 or more, no zero in front.
std::optional<int> CisloVeJmene(std::string_view text, size_t& i) {
  size_t j = i;
  while (j < text.size() && j - i < 6 && text[j] >= '0' && text[j] <= '9') ++j;
  if (j == i || text[i] == '0') return std::nullopt;
  int v = 0;
  std::from_chars(text.data() + i, text.data() + j, v);
  if (v < 2) return std::nullopt;
  i = j;
  return v;
}

// The folder part (with its "/"), the stem and the extension (with its dot)
// of a name.
struct TCastiJmena {
  std::string_view Slozka, Kmen, Pripona;
};

TCastiJmena Casti(std::string_view jmeno) {
  const size_t lomitko = jmeno.find_last_of("/\\");
  const size_t zacatek = lomitko == std::string_view::npos ? 0 : lomitko + 1;
  const std::string_view posledni = jmeno.substr(zacatek);
  const size_t tecka = posledni.rfind('.');
  const size_t kmen = tecka == std::string_view::npos ? posledni.size() : tecka;
  return {jmeno.substr(0, zacatek), posledni.substr(0, kmen), posledni.substr(kmen)};
}

std::atomic<uint64_t> limitDbf{0};
std::atomic<uint64_t> bajtuMB{0};

bool Existuje(const std::string& jmeno) {
  struct stat st {};
  return ::stat(SystemovaCesta(jmeno).c_str(), &st) == 0;
}

std::string Normalni(const std::string& jmeno) {
  return CestaCp1250(SystemovaCesta(jmeno).lexically_normal());
}

// `soubor` is the data file another task names, or one of its series
// under any split.
bool PatriJine(const std::string& soubor, const std::vector<std::string>& cizi) {
  const std::string s = Normalni(soubor);
  const std::string slozka = std::string(Casti(s).Slozka);
  for (const std::string& c : cizi) {
    if (c == s) return true;
    if (std::string(Casti(c).Slozka) != slozka) continue;
    for (TRozdeleni r : VsechnaRozdeleni)
      if (ClenRady(c, r, s)) return true;
  }
  return false;
}

// Days as a person says them: "12,1".
std::string Dni(double dni) { return FixniText(dni, 1, Mistni().DesetinnyOddelovac); }

}  // namespace

std::string KlicoveSlovo(TRozdeleni r) {
  switch (r) {
    case TRozdeleni::Ne: return "ne";
    case TRozdeleni::Den: return "den";
    case TRozdeleni::Tyden: return Cp1250("týden");
    case TRozdeleni::Mesic: return Cp1250("měsíc");
    case TRozdeleni::Velikost: return "velikost";
  }
  return "ne";
}

std::string PopisRozdeleni(const TNastaveniSouboru& n) {
  std::string s;
  switch (n.Rozdelit) {
    case TRozdeleni::Ne: return {};
    case TRozdeleni::Den: s = Cp1250(" (rozděleno po dnech"); break;
    case TRozdeleni::Tyden: s = Cp1250(" (rozděleno po týdnech"); break;
    case TRozdeleni::Mesic: s = Cp1250(" (rozděleno po měsících"); break;
    case TRozdeleni::Velikost:
      s = Cp1250(" (rozděleno po ") + CeleNaText(n.VelikostMB) + " MB";
      break;
  }
  if (n.Ponechat > 0) s += Cp1250(", ponechat souborů: ") + CeleNaText(n.Ponechat);
  return s + ")";
}

int32_t MaxVelikostMB(TFormatSouboru f) {
  return f == TFormatSouboru::DBF ? MaxVelikostDBF : MaxVelikost;
}

std::string SekceSouboru(std::string_view uloha) {
  std::string s = JmenoUlohy(uloha);
  if (s.size() > 3 && Male(s.substr(s.size() - 3)) == ".zq") s.resize(s.size() - 3);
  return s;
}

TNastaveniSouboru PrectiNastaveniSouboru(const fs::path& soubor, std::string_view uloha,
                                         std::string_view jmenoDat,
                                         std::vector<std::string>* zpravy) {
  const TKliceSouboru& k = K();
  const TProfil p(soubor, TKodovani::Utf8NeboCp1250);
  std::vector<std::string> z = p.Nezname(Zname());
  const std::string ulohy = SekceSouboru(uloha);
  // A key of the task's section wins over the default's.
  auto sekce = [&](const std::string& klic) { return p.MaKlic(ulohy, klic) ? ulohy : k.Sekce; };
  auto chyba = [&](const std::string& klic, const std::string& hodnota, const std::string& proc) {
    z.push_back(CestaCp1250(soubor.filename()) + ": [" + sekce(klic) + "] " + klic + "=" + hodnota +
                ": " + proc);
  };
  TNastaveniSouboru n;
  const std::string ponechat = p.CtiText(sekce(k.Ponechat), k.Ponechat, "0");
  if (const auto v = TextNaCele(ponechat); v && *v >= 0)
    n.Ponechat = *v;
  else
    chyba(k.Ponechat, ponechat,
          Cp1250("počet souborů je 0 (ponechat všechny) nebo kladné číslo; ponechávají se "
                 "všechny"));

  const std::string rozdelit = p.CtiText(sekce(k.Rozdelit), k.Rozdelit, "ne");
  const auto slovo =
      std::find_if(std::begin(VsechnaRozdeleni), std::end(VsechnaRozdeleni),
                   [&](TRozdeleni r) { return Male(rozdelit) == Male(KlicoveSlovo(r)); });
  if (slovo == std::end(VsechnaRozdeleni)) {
    chyba(k.Rozdelit, rozdelit,
          Cp1250("neznámé rozdělení (ne, den, týden, měsíc nebo velikost); soubor se "
                 "nerozděluje"));
    if (zpravy) *zpravy = std::move(z);
    return n;
  }
  n.Rozdelit = *slovo;
  if (n.Rozdelit == TRozdeleni::Velikost) {
    const int32_t max = MaxVelikostMB(FormatSouboru(jmenoDat));
    const std::string velikost = p.CtiText(sekce(k.Velikost), k.Velikost, "");
    const auto v = TextNaCele(velikost);
    if (v && *v >= 1 && *v <= max) {
      n.VelikostMB = *v;
    } else {
      n.Rozdelit = TRozdeleni::Ne;
      chyba(k.Velikost, velikost,
            Cp1250("velikost je 1 až ") + CeleNaText(max) +
                (max == MaxVelikostDBF ? Cp1250(" MB (tabulka DBF nesmí přesáhnout 2 GiB)")
                                       : std::string(" MB")) +
                Cp1250("; soubor se nerozděluje"));
    }
  }
  if (zpravy) *zpravy = std::move(z);
  return n;
}

void ZapisNastaveniSouboru(const fs::path& soubor, std::string_view uloha,
                           const TNastaveniSouboru& n) {
  const TKliceSouboru& k = K();
  TProfil p(soubor, TKodovani::Utf8NeboCp1250);
  const std::string sekce = SekceSouboru(uloha);
  p.ZapisText(sekce, k.Rozdelit, KlicoveSlovo(n.Rozdelit));
  if (n.VelikostMB > 0 || p.MaKlic(sekce, k.Velikost))
    p.ZapisCislo(sekce, k.Velikost, n.VelikostMB);
  p.ZapisCislo(sekce, k.Ponechat, n.Ponechat);
  p.Uloz();
}

fs::path DatovaCesta(const std::string& jmeno) {
  fs::path p = SystemovaCesta(jmeno);
  if (p.is_relative()) p = SlozkaProgramu() / p;
  return p;
}

std::string ObdobiSouboru(TRozdeleni r, const TDatumCas& t) {
  std::string datum = Cislice(t.Rok, 4) + "-" + Cislice(t.Mesic, 2);
  switch (r) {
    case TRozdeleni::Ne: return {};
    case TRozdeleni::Mesic: return datum;
    case TRozdeleni::Den: return datum + "-" + Cislice(t.Den, 2);
    case TRozdeleni::Velikost:
      return datum + "-" + Cislice(t.Den, 2) + "_" + Cislice(t.Hodina, 2) + Cislice(t.Minuta, 2) +
             Cislice(t.Sekunda, 2);
    case TRozdeleni::Tyden: {
      // ISO 8601: weeks begin on Monday; a week belongs to the year of its
      // Thursday, so 2027-01-01 (a Friday) lies in week 53 of 2026.
      using namespace std::chrono;
      const sys_days d{year{t.Rok} / month{static_cast<unsigned>(t.Mesic)} /
                       day{static_cast<unsigned>(t.Den)}};
      const sys_days ctvrtek = d - days{static_cast<int>(weekday{d}.iso_encoding()) - 1} + days{3};
      const year rok = year_month_day{ctvrtek}.year();
      const int tyden = static_cast<int>((ctvrtek - sys_days{rok / January / 1}).count() / 7) + 1;
      return Cislice(static_cast<int>(rok), 4) + "-W" + Cislice(tyden, 2);
    }
  }
  return {};
}

bool TClenRady::operator<(const TClenRady& b) const {
  return std::tie(Obdobi, Kolize, Dil) < std::tie(b.Obdobi, b.Kolize, b.Dil);
}

std::string JmenoClenu(std::string_view jmeno, const TClenRady& c) {
  if (c.Obdobi.empty() && c.Kolize <= 1 && c.Dil <= 1) return std::string(jmeno);
  const TCastiJmena j = Casti(jmeno);
  std::string s = std::string(j.Slozka) + std::string(j.Kmen);
  if (!c.Obdobi.empty()) s += "_" + c.Obdobi;
  if (c.Kolize > 1) s += "-" + CeleNaText(c.Kolize);
  if (c.Dil > 1) s += "_" + CeleNaText(c.Dil);
  return s + std::string(j.Pripona);
}

std::optional<TClenRady> ClenRady(std::string_view jmeno, TRozdeleni r, std::string_view soubor) {
  const TCastiJmena j = Casti(jmeno);
  // The names compared without their folders.
  const std::string_view s = soubor.substr(Casti(soubor).Slozka.size());
  if (s.size() < j.Kmen.size() + j.Pripona.size() || !s.starts_with(j.Kmen) ||
      !s.ends_with(j.Pripona))
    return std::nullopt;
  const std::string_view stred =
      s.substr(j.Kmen.size(), s.size() - j.Kmen.size() - j.Pripona.size());
  TClenRady c;
  size_t i = 0;
  if (r != TRozdeleni::Ne) {
    const size_t delka = Obraz(r).size();
    if (stred.size() < 1 + delka || stred[0] != '_' || !PlatneObdobi(r, stred.substr(1, delka)))
      return std::nullopt;
    c.Obdobi = std::string(stred.substr(1, delka));
    i = 1 + delka;
  }
  if (r == TRozdeleni::Velikost && i < stred.size() && stred[i] == '-') {
    const auto k = CisloVeJmene(stred, ++i);
    if (!k) return std::nullopt;
    c.Kolize = *k;
  }
  if (FormatSouboru(jmeno) == TFormatSouboru::DBF && i < stred.size() && stred[i] == '_') {
    const auto d = CisloVeJmene(stred, ++i);
    if (!d) return std::nullopt;
    c.Dil = *d;
  }
  if (i != stred.size()) return std::nullopt;
  return c;
}

std::vector<TClenRady> SouboryRady(const std::string& jmeno, TRozdeleni r) {
  std::vector<TClenRady> rada;
  if (r == TRozdeleni::Ne) {
    // Without a split only the designed file and the parts that follow it
    // without a gap: a table of another origin that happens to be called
    // data_7.dbf is never taken for one of them.
    for (TClenRady c; c.Dil < 100000 && Existuje(JmenoClenu(jmeno, c)); ++c.Dil) {
      rada.push_back(c);
      if (FormatSouboru(jmeno) != TFormatSouboru::DBF) break;
    }
    return rada;
  }
  const fs::path slozka = SystemovaCesta(jmeno).parent_path();
  std::error_code ec;
  for (fs::directory_iterator i(slozka.empty() ? fs::path(".") : slozka, ec), konec;
       !ec && i != konec; i.increment(ec))
    if (const auto c = ClenRady(jmeno, r, CestaCp1250(i->path().filename()))) rada.push_back(*c);
  std::sort(rada.begin(), rada.end());
  return rada;
}

uint64_t LimitDBF() {
  const uint64_t l = limitDbf.load();
  return l ? l : (uint64_t{1} << 31) - 1;
}

void NastavLimitDBF(uint64_t bajtu) { limitDbf = bajtu; }

uint64_t BajtuMB() {
  const uint64_t b = bajtuMB.load();
  return b ? b : uint64_t{1} << 20;
}

void NastavBajtuMB(uint64_t bajtu) { bajtuMB = bajtu; }

// ---------------------------------------------------------------------------

std::string TRozdeleniBehu::Soubor(const TDatumCas& kdy) const {
  const TRozdeleni r = Nastaveni.Rozdelit;
  TClenRady c{ObdobiSouboru(r, kdy)};
  // A name taken (two files begun within a second) gets "-2", "-3" ...
  if (r == TRozdeleni::Velikost)
    while (c.Kolize < 1000 && Existuje(JmenoClenu(Jmeno, c))) ++c.Kolize;
  return JmenoClenu(Jmeno, c);
}

std::string TRozdeleniBehu::Ukazat(const TDatumCas& kdy) const {
  if (Nastaveni.Rozdelit == TRozdeleni::Velikost) return JmenoClenu(Jmeno, {"RRRR-MM-DD_hhmmss"});
  return Soubor(kdy);
}

bool TRozdeleniBehu::Aktualni(const TClenRady& c, const TDatumCas& kdy) const {
  const TRozdeleni r = Nastaveni.Rozdelit;
  return r == TRozdeleni::Ne || r == TRozdeleni::Velikost || c.Obdobi == ObdobiSouboru(r, kdy);
}

TRozdeleniBehu PripravRozdeleni(const fs::path& nastaveni, std::string_view uloha,
                                const std::string& jmeno, const std::vector<fs::path>& slozkyUloh,
                                const fs::path& vlastni) {
  TRozdeleniBehu r;
  r.Jmeno = jmeno;
  r.Nastaveni = PrectiNastaveniSouboru(nastaveni, uloha, jmeno, &r.Zpravy);
  const std::string moje = Normalni(jmeno);
  std::vector<fs::path> videne;
  for (const fs::path& slozka : slozkyUloh) {
    std::error_code ec;
    const fs::path s = fs::weakly_canonical(slozka.empty() ? fs::path(".") : slozka, ec);
    if (ec || std::find(videne.begin(), videne.end(), s) != videne.end()) continue;
    videne.push_back(s);
    for (fs::directory_iterator i(s, ec), konec; !ec && i != konec; i.increment(ec)) {
      std::error_code e;
      if (i->path().extension() != ".zq" || !i->is_regular_file(e)) continue;
      if (!vlastni.empty() && fs::equivalent(i->path(), vlastni, e)) continue;
      TCFG u;
      InitCFG(u);
      if (!PrectiUlohuZ(i->path(), u) || u.JmenoSouboru.empty()) continue;
      const std::string cizi = CestaCp1250(DatovaCesta(u.JmenoSouboru).lexically_normal());
      if (cizi != moje) r.Cizi.push_back(cizi);
    }
  }
  std::sort(r.Cizi.begin(), r.Cizi.end());
  r.Cizi.erase(std::unique(r.Cizi.begin(), r.Cizi.end()), r.Cizi.end());
  if (r.Nastaveni.Rozdelit == TRozdeleni::Ne) return r;
  const std::string slozka = std::string(Casti(moje).Slozka);
  for (const std::string& c : r.Cizi) {
    if (std::string(Casti(c).Slozka) != slozka || !ClenRady(moje, r.Nastaveni.Rozdelit, c) ||
        !Existuje(c))
      continue;
    r.Zpravy.push_back(Cp1250("Soubor \"") + c +
                       Cp1250("\", datový soubor jiné úlohy, má jméno ze řady této úlohy (") +
                       Cp1250("Rozdělit=") + KlicoveSlovo(r.Nastaveni.Rozdelit) +
                       Cp1250("); soubor se nerozděluje, aby se do cizího nepsalo"));
    r.Nastaveni.Rozdelit = TRozdeleni::Ne;
    break;
  }
  return r;
}

// ---------------------------------------------------------------------------

void TRadaSouboru::Zacni(const TRozdeleniBehu& r) {
  r_ = r;
  format_ = FormatSouboru(r.Jmeno);
  zvolen_ = r.Dale.has_value();
  clen_ = r.Dale.value_or(TClenRady{});
  novy_ = false;
}

uint64_t TRadaSouboru::VelikostSZaznamem(const TClenRady& c, const TArchivDat& a) const {
  struct stat st {};
  const uint64_t zaznam = DelkaZaznamu(a);
  if (::stat(SystemovaCesta(JmenoClenu(r_.Jmeno, c)).c_str(), &st) != 0 || st.st_size == 0)
    return DelkaNoveho(a) + zaznam;
  return static_cast<uint64_t>(st.st_size) + zaznam;
}

void TRadaSouboru::PredZapisem(TArchivDat& a, const TDatumCas& kdy,
                               std::vector<std::string>& zpravy) {
  const TRozdeleni r = r_.Nastaveni.Rozdelit;
  // The designed file, written as designed: nothing to decide.
  if (r == TRozdeleni::Ne && format_ != TFormatSouboru::DBF) return;
  TClenRady c = clen_;
  if (r == TRozdeleni::Velikost) {
    const uint64_t limit = static_cast<uint64_t>(r_.Nastaveni.VelikostMB) * BajtuMB();
    if (!zvolen_ || (Existuje(JmenoClenu(r_.Jmeno, c)) && VelikostSZaznamem(c, a) > limit)) {
      c = TClenRady{ObdobiSouboru(r, kdy)};
      while (c.Kolize < 1000 && Existuje(JmenoClenu(r_.Jmeno, c))) ++c.Kolize;
    }
  } else if (r != TRozdeleni::Ne) {
    const std::string obdobi = ObdobiSouboru(r, kdy);
    if (!zvolen_ || obdobi != c.Obdobi) c = TClenRady{obdobi};
  }
  // The format's own limit, whatever the split: the record that would take
  // a table past it goes to the next part.
  if (format_ == TFormatSouboru::DBF) {
    for (int i = 0;
         i < 100000 && Existuje(JmenoClenu(r_.Jmeno, c)) && VelikostSZaznamem(c, a) > LimitDBF();
         ++i) {
      const std::string plny = JmenoClenu(r_.Jmeno, c);
      ++c.Dil;
      zpravy.push_back(Cp1250("Tabulka DBF \"") + plny +
                       Cp1250("\" by dalším záznamem přesáhla 2 GiB, nejvíc, co formát dBASE III "
                              "dovoluje (čtenáři větší tabulku odmítnou nebo čtou chybně); "
                              "záznamy pokračují v \"") +
                       JmenoClenu(r_.Jmeno, c) + "\"");
    }
  }
  clen_ = c;
  zvolen_ = true;
  a.JmenoSouboru = JmenoClenu(r_.Jmeno, c);
  novy_ = !Existuje(a.JmenoSouboru);
}

bool TRadaSouboru::PoZapisu(bool zapsano, std::vector<std::string>& zpravy) {
  const bool rozdeleno = r_.Nastaveni.Rozdelit != TRozdeleni::Ne;
  const bool zacal = novy_ && zapsano && (rozdeleno || clen_.Dil > 1);
  novy_ = false;
  if (!zacal) return false;
  if (rozdeleno && r_.Nastaveni.Ponechat > 0) Uklid(zpravy);
  return true;
}

void TRadaSouboru::Uklid(std::vector<std::string>& zpravy) {
  std::vector<TClenRady> rada;
  for (const TClenRady& c : SouboryRady(r_.Jmeno, r_.Nastaveni.Rozdelit))
    if (!(c == clen_) && !PatriJine(JmenoClenu(r_.Jmeno, c), r_.Cizi)) rada.push_back(c);
  // The file just begun is one of those kept.
  const size_t ponechat = static_cast<size_t>(r_.Nastaveni.Ponechat) - 1;
  for (size_t i = 0; i + ponechat < rada.size(); ++i) {
    const std::string jmeno = JmenoClenu(r_.Jmeno, rada[i]);
    std::error_code ec;
    if (fs::remove(SystemovaCesta(jmeno), ec) && !ec)
      zpravy.push_back(Cp1250("Smazán nejstarší soubor řady \"") + jmeno +
                       Cp1250("\" (Ponechat souborů=") + CeleNaText(r_.Nastaveni.Ponechat) + ")");
    else
      zpravy.push_back(Cp1250("Soubor řady \"") + jmeno + Cp1250("\" nelze smazat: ") +
                       PricinaChyby(ec ? ec.value() : ENOENT) + Cp1250("; měření pokračuje"));
  }
}

// ---------------------------------------------------------------------------

std::string VarovaniLimitu(TFormatSouboru format, int32_t volby, int32_t kanalu, int32_t periodaSek,
                           const TNastaveniSouboru& n, const TDatumCas& zacatek) {
  if (n.Rozdelit != TRozdeleni::Ne || periodaSek < 1 || kanalu < 1 || kanalu > MaxKanalu) return {};
  constexpr uint64_t MaxRadku = 1048576;  // what spreadsheets open
  const bool dbf = format == TFormatSouboru::DBF;
  const uint64_t poli = static_cast<uint64_t>(PocetPoliDBF(volby, kanalu));
  const uint64_t hlavicka = DBF_DelkaHlavicky + DBF_DelkaPolozky * poli + 1;
  const uint64_t zaznam = DBF_SirkaPole * poli + 1;
  const uint64_t radekZahlavi = (volby & VolbaZahlavi) ? 1 : 0;
  // Whether a file of `zaznamu` records stays within the format's limit.
  auto vejde = [&](uint64_t zaznamu) {
    return dbf ? hlavicka + zaznamu * zaznam + 1 <= LimitDBF() : zaznamu + radekZahlavi <= MaxRadku;
  };
  // The first record past the limit, written (k - 1) periods after the first.
  const uint64_t k = dbf ? (LimitDBF() - hlavicka - 1) / zaznam + 1 : MaxRadku + 1 - radekZahlavi;
  const int64_t sekund = static_cast<int64_t>(k - 1) * periodaSek;
  if (sekund > int64_t{30} * 86400) return {};

  std::tm t{};
  t.tm_year = zacatek.Rok - 1900;
  t.tm_mon = zacatek.Mesic - 1;
  t.tm_mday = zacatek.Den;
  t.tm_hour = zacatek.Hodina;
  t.tm_min = zacatek.Minuta;
  t.tm_sec = zacatek.Sekunda;
  t.tm_isdst = -1;
  // Seconds on the clock, not days of the calendar: a day across a change
  // of summer time is an hour shorter or longer.
  const std::time_t kdy = std::mktime(&t) + static_cast<std::time_t>(sekund);
  std::tm m{};
  localtime_r(&kdy, &m);
  const TDatumCas datum{m.tm_year + 1900, m.tm_mon + 1, m.tm_mday, m.tm_hour, m.tm_min, m.tm_sec};

  // The longest period whose file stays within the limit.
  TRozdeleni rada = TRozdeleni::Den;
  for (auto [r, dni] : {std::pair{TRozdeleni::Mesic, 31}, std::pair{TRozdeleni::Tyden, 7}})
    if (vejde((static_cast<uint64_t>(dni) * 86400 + static_cast<uint64_t>(periodaSek) - 1) /
              static_cast<uint64_t>(periodaSek))) {
      rada = r;
      break;
    }
  const std::string kdyText = Cp1250(" dne ") + FormatujDatum(datum) + " (za " +
                              Dni(static_cast<double>(sekund) / 86400.0) +
                              Cp1250(" dne při periodě ") + CeleNaText(periodaSek) + " s); ";
  const std::string rada2 = Cp1250("předejde tomu Rozdělit=") + KlicoveSlovo(rada) + " (" +
                            std::string(JmenoNastaveniSouboru) + ")";
  if (dbf)
    return Cp1250("Tabulka DBF přesáhne 2 GiB, nejvíc, co formát dBASE III dovoluje,") + kdyText +
           Cp1250("další záznamy pak půjdou do tabulky _2; ") + rada2;
  return Cp1250("Datový soubor přesáhne 1 048 576 řádků, které otevřou tabulkové procesory,") +
         kdyText + rada2;
}
