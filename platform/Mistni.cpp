#include "Mistni.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "Cisla.h"
#include "Cp1250.h"

namespace {

size_t DelkaBehu(std::string_view s, size_t i) {
  size_t j = i;
  while (j < s.size() && s[j] == s[i]) ++j;
  return j - i;
}

void OdeberKoncoveMezery(std::string& s, std::string_view i_tyto = " ") {
  while (!s.empty() && i_tyto.find(s.back()) != std::string_view::npos) s.pop_back();
}

void Orizni(std::string& s) {
  OdeberKoncoveMezery(s);
  const size_t zacatek = s.find_first_not_of(' ');
  s.erase(0, zacatek == std::string::npos ? s.size() : zacatek);
}

// Copies the text of a quoted part ('...', '' for a quote) from the system
// format; letters the picture would read as fields are left out.
size_t KopirujCitaci(std::string_view f, size_t i, std::string& cil,
                     std::string_view pismenaObrazu) {
  ++i;
  while (i < f.size()) {
    if (f[i] == '\'') {
      if (i + 1 < f.size() && f[i + 1] == '\'') {
        cil += '\'';
        i += 2;
        continue;
      }
      return i + 1;
    }
    if (pismenaObrazu.find(f[i]) == std::string_view::npos) cil += f[i];
    ++i;
  }
  return i;
}

// Qt's short date format -> the picture of TMistniNastaveni.
std::string ObrazDatumu(std::string_view f) {
  std::string vysledek;
  size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '\'') {
      i = KopirujCitaci(f, i, vysledek, "dMy");
      continue;
    }
    const size_t n = DelkaBehu(f, i);
    if (c == 'd') {
      if (n <= 2) vysledek.append(n, 'd');  // longer runs are day names: left out
    } else if (c == 'M') {
      vysledek += n == 1 ? "M" : "MM";
    } else if (c == 'y') {
      vysledek += n == 2 ? "yy" : "yyyy";
    } else {
      vysledek.append(n, c);
    }
    i += n;
  }
  Orizni(vysledek);
  return vysledek.empty() ? "dd.MM.yyyy" : vysledek;
}

// Qt's long time format -> the picture; the time zone and milliseconds are
// left out.
std::string ObrazCasu(std::string_view f) {
  bool ampm = false;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\'') {
      std::string zahodit;
      i = KopirujCitaci(f, i, zahodit, "") - 1;
    } else if (f[i] == 'a' || f[i] == 'A') {
      ampm = true;
    }
  }
  std::string vysledek;
  size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '\'') {
      i = KopirujCitaci(f, i, vysledek, "HhmstT");
      continue;
    }
    size_t n = DelkaBehu(f, i);
    switch (c) {
      case 'h': vysledek += ampm ? (n == 1 ? "h" : "hh") : (n == 1 ? "H" : "HH"); break;
      case 'H': vysledek += n == 1 ? "H" : "HH"; break;
      case 'm': vysledek += n == 1 ? "m" : "mm"; break;
      case 's': vysledek += n == 1 ? "s" : "ss"; break;
      case 'z': OdeberKoncoveMezery(vysledek, " .,"); break;
      case 't': OdeberKoncoveMezery(vysledek); break;
      case 'a':
      case 'A':
        vysledek += "tt";
        n = 1;
        if (i + 1 < f.size() && (f[i + 1] == 'p' || f[i + 1] == 'P')) n = 2;
        break;
      default: vysledek.append(n, c); break;
    }
    i += n;
  }
  Orizni(vysledek);
  return vysledek.empty() ? "HH:mm:ss" : vysledek;
}

}  // namespace

TMistniNastaveni MistniZLocale(const QLocale& loc) {
  TMistniNastaveni n;
  // No locale set (C or POSIX): Qt's C patterns spell the month as a name;
  // a plain numeric date and a 24-hour time serve a data file better.
  if (loc.language() == QLocale::C) return n;
  const std::string tecka = ZQString(loc.decimalPoint());
  // A separator the code page lacks (Arabic, for one) falls back to '.'.
  n.DesetinnyOddelovac = tecka.size() == 1 && tecka[0] != '?' ? tecka[0] : '.';
  n.KratkeDatum = ObrazDatumu(ZQString(loc.dateFormat(QLocale::ShortFormat)));
  n.DlouhyCas = ObrazCasu(ZQString(loc.timeFormat(QLocale::LongFormat)));
  return n;
}

namespace {

TMistniNastaveni& Uloziste() {
  static TMistniNastaveni nastaveni =
      MistniZLocale(QLocale::system());  // initialised once, thread-safe
  return nastaveni;
}

void PridejCislo(std::string& cil, int hodnota, int sirka) {
  const std::string cislice = CeleNaText(hodnota < 0 ? -int64_t{hodnota} : hodnota);
  if (hodnota < 0) cil += '-';
  if (static_cast<int>(cislice.size()) < sirka)
    cil.append(static_cast<size_t>(sirka) - cislice.size(), '0');
  cil += cislice;
}

}  // namespace

const TMistniNastaveni& Mistni() { return Uloziste(); }

void NastavMistni(const TMistniNastaveni& nastaveni) { Uloziste() = nastaveni; }

TMistniNastaveni MistniCeske() { return {',', "d.M.yyyy", "H:mm:ss"}; }

TMistniNastaveni MistniAnglicke() { return {'.', "M/d/yyyy", "h:mm:ss tt"}; }

std::string FormatujDatum(const TDatumCas& t) { return FormatujDatum(t, Mistni().KratkeDatum); }

std::string FormatujCas(const TDatumCas& t) { return FormatujCas(t, Mistni().DlouhyCas); }

std::string FormatujDatum(const TDatumCas& t, std::string_view obraz) {
  std::string vysledek;
  size_t i = 0;
  while (i < obraz.size()) {
    const char c = obraz[i];
    const size_t n = DelkaBehu(obraz, i);
    size_t pouzito = n;
    if (c == 'd') {
      pouzito = std::min<size_t>(n, 2);
      PridejCislo(vysledek, t.Den, static_cast<int>(pouzito));
    } else if (c == 'M') {
      pouzito = std::min<size_t>(n, 2);
      PridejCislo(vysledek, t.Mesic, static_cast<int>(pouzito));
    } else if (c == 'y' && n >= 4) {
      pouzito = 4;
      PridejCislo(vysledek, t.Rok, 4);
    } else if (c == 'y' && n >= 2) {
      pouzito = 2;
      PridejCislo(vysledek, ((t.Rok % 100) + 100) % 100, 2);
    } else {
      vysledek.append(n, c);
    }
    i += pouzito;
  }
  return vysledek;
}

std::string FormatujCas(const TDatumCas& t, std::string_view obraz) {
  std::string vysledek;
  size_t i = 0;
  while (i < obraz.size()) {
    const char c = obraz[i];
    const size_t n = DelkaBehu(obraz, i);
    size_t pouzito = std::min<size_t>(n, 2);
    const int sirka = static_cast<int>(pouzito);
    if (c == 'H') {
      PridejCislo(vysledek, t.Hodina, sirka);
    } else if (c == 'h') {
      const int h12 = t.Hodina % 12;
      PridejCislo(vysledek, h12 == 0 ? 12 : h12, sirka);
    } else if (c == 'm') {
      PridejCislo(vysledek, t.Minuta, sirka);
    } else if (c == 's') {
      PridejCislo(vysledek, t.Sekunda, sirka);
    } else if (c == 't' && n >= 2) {
      vysledek += t.Hodina < 12 ? "AM" : "PM";
    } else {
      pouzito = n;
      vysledek.append(n, c);
    }
    i += pouzito;
  }
  return vysledek;
}

namespace {

bool JeCislice(char c) { return c >= '0' && c <= '9'; }

// Reads `text` by the picture: the inverse of FormatujDatum (datum) and
// FormatujCas, field by field as they write them.
std::optional<TDatumCas> CtiPodleObrazu(std::string_view text, std::string_view obraz, bool datum) {
  TDatumCas t;
  int hodina = -1, dvanact = -1, odpoledne = -1;  // dvanact: an h field; odpoledne: tt
  size_t j = 0;
  // A number field of `sirka` digits as the picture has it; `pevne`: exactly
  // that many, since a digit field follows and nothing else tells them apart.
  auto cislo = [&](size_t sirka, bool pevne, int& hodnota) {
    size_t k = 0;
    hodnota = 0;
    const size_t nejvic = pevne ? sirka : std::max<size_t>(sirka, 2);
    while (k < nejvic && j + k < text.size() && JeCislice(text[j + k]))
      hodnota = hodnota * 10 + (text[j + k++] - '0');
    j += k;
    return pevne ? k == sirka : k >= 1;
  };
  size_t i = 0;
  while (i < obraz.size()) {
    const char c = obraz[i];
    const size_t n = DelkaBehu(obraz, i);
    size_t pouzito = n;
    char pole = 0;  // the field's letter, 0 for a literal
    const bool dvoumistne =
        datum ? (c == 'd' || c == 'M') : (c == 'H' || c == 'h' || c == 'm' || c == 's');
    if (dvoumistne) {
      pouzito = std::min<size_t>(n, 2);
      pole = c;
    } else if (datum && c == 'y' && n >= 2) {
      pouzito = n >= 4 ? 4 : 2;
      pole = c;
    } else if (!datum && c == 't' && n >= 2) {
      pouzito = 2;
      const std::string_view zbytek = text.substr(j, 2);
      if (zbytek != "AM" && zbytek != "PM") return std::nullopt;
      odpoledne = zbytek == "PM";
      j += 2;
      i += pouzito;
      continue;
    }
    if (pole == 0) {
      if (text.substr(j, pouzito) != obraz.substr(i, pouzito)) return std::nullopt;
      j += pouzito;
      i += pouzito;
      continue;
    }
    // A field directly followed by another digit field has no separator to
    // end it: it takes its width.
    const size_t dalsi = i + pouzito;
    const bool pevne =
        pole == 'y' ||
        (dalsi < obraz.size() && obraz[dalsi] != c &&
         std::string_view(datum ? "dMy" : "Hhms").find(obraz[dalsi]) != std::string_view::npos);
    int v = 0;
    if (!cislo(pouzito, pevne, v)) return std::nullopt;
    switch (pole) {
      case 'd': t.Den = v; break;
      case 'M': t.Mesic = v; break;
      case 'y': t.Rok = pouzito == 2 ? 2000 + v : v; break;
      case 'H': hodina = v; break;
      case 'h': dvanact = v; break;
      case 'm': t.Minuta = v; break;
      case 's': t.Sekunda = v; break;
      default: break;
    }
    i += pouzito;
  }
  if (j != text.size()) return std::nullopt;
  if (datum) {
    if (t.Mesic < 1 || t.Mesic > 12 || t.Den < 1 || t.Den > DniVMesici(t.Rok, t.Mesic))
      return std::nullopt;
    return t;
  }
  if (dvanact >= 0) {
    if (dvanact < 1 || dvanact > 12) return std::nullopt;
    hodina = dvanact % 12 + (odpoledne == 1 ? 12 : 0);
  }
  if (hodina < 0 || hodina > 23 || t.Minuta > 59 || t.Sekunda > 59) return std::nullopt;
  t.Hodina = hodina;
  return t;
}

}  // namespace

std::optional<TDatumCas> CtiDatum(std::string_view text, std::string_view obraz) {
  return CtiPodleObrazu(text, obraz, true);
}

std::optional<TDatumCas> CtiCas(std::string_view text, std::string_view obraz) {
  return CtiPodleObrazu(text, obraz, false);
}

// ---- the settings a record was written in ------------------------------------

namespace {

// A text cut into runs of digits and runs of anything else.
struct TKus {
  bool Cislice;
  std::string Text;
};

std::vector<TKus> Kusy(std::string_view t) {
  std::vector<TKus> kusy;
  for (char c : t) {
    const bool cislice = c >= '0' && c <= '9';
    if (kusy.empty() || kusy.back().Cislice != cislice) kusy.push_back({cislice, {}});
    kusy.back().Text += c;
  }
  return kusy;
}

int Hodnota(const std::string& cislice) {
  int v = 0;
  for (char c : cislice) v = v * 10 + (c - '0');
  return v;
}

// A picture that may have written a text: its pieces in order, each a
// literal (no digits) or a field (its letters, and the digits it wrote).
struct TKandidat {
  std::vector<std::pair<std::string, std::string>> Kusy;
  std::string Obraz() const {
    std::string o;
    for (const auto& k : Kusy) o += k.first;
    return o;
  }
  // The field orders, "dMy" for d.M.yyyy.
  std::string Poradi() const {
    std::string p;
    for (const auto& k : Kusy)
      if (!k.second.empty()) p += k.first[0];
    return p;
  }
};

// Every picture with the fields `pismena` in this order that could have
// written the digits of `kusy`: literals as they stand, each field in each
// width its digits allow (18 is d or dd, 08 only dd, 8 only d).  A literal
// holding a picture letter could not be written back and gives none.
std::vector<TKandidat> Kandidati(const std::vector<TKus>& kusy, std::string_view pismena,
                                 std::string_view zakazane) {
  std::vector<TKandidat> vysledek(1);
  size_t pole = 0;
  for (const TKus& k : kusy) {
    std::vector<std::pair<std::string, std::string>> moznosti;
    if (!k.Cislice) {
      if (k.Text.find_first_of(zakazane) != std::string::npos) return {};
      moznosti = {{k.Text, {}}};
    } else {
      if (pole >= pismena.size()) return {};
      const char p = pismena[pole++];
      const size_t n = k.Text.size();
      if (p == 'y') {
        if (n != 2 && n != 4) return {};
        moznosti = {{std::string(n, 'y'), k.Text}};
      } else if (n == 1) {
        moznosti = {{std::string(1, p), k.Text}};
      } else if (n == 2) {
        moznosti = {{std::string(2, p), k.Text}};
        if (k.Text[0] != '0') moznosti.push_back({std::string(1, p), k.Text});
      } else {
        return {};
      }
    }
    std::vector<TKandidat> dalsi;
    for (const TKandidat& c : vysledek)
      for (const auto& m : moznosti) {
        TKandidat d = c;
        d.Kusy.push_back(m);
        dalsi.push_back(std::move(d));
      }
    vysledek.swap(dalsi);
  }
  if (pole != pismena.size()) return {};
  return vysledek;
}

// The date or time a candidate reads from its digits, when it is a real one
// that its picture writes back exactly as `text`.
std::optional<TDatumCas> Precti(const TKandidat& k, std::string_view text, bool datum) {
  TDatumCas t;
  int hodina = -1;
  for (const auto& [obraz, cislice] : k.Kusy) {
    if (cislice.empty()) continue;
    const int v = Hodnota(cislice);
    switch (obraz[0]) {
      case 'd': t.Den = v; break;
      case 'M': t.Mesic = v; break;
      case 'y': t.Rok = cislice.size() == 2 ? 2000 + v : v; break;
      case 'H':
      case 'h': hodina = v; break;
      case 'm': t.Minuta = v; break;
      case 's': t.Sekunda = v; break;
      default: break;
    }
  }
  const std::string obraz = k.Obraz();
  if (datum) {
    if (t.Mesic < 1 || t.Mesic > 12 || t.Den < 1 || t.Den > DniVMesici(t.Rok, t.Mesic))
      return std::nullopt;
    return FormatujDatum(t, obraz) == text ? std::optional(t) : std::nullopt;
  }
  const bool ampm = obraz.find("tt") != std::string::npos;
  if (t.Minuta > 59 || t.Sekunda > 59 || hodina < (ampm ? 1 : 0) || hodina > (ampm ? 12 : 23))
    return std::nullopt;
  t.Hodina = ampm ? hodina % 12 + (text.find("PM") != std::string_view::npos ? 12 : 0) : hodina;
  return FormatujCas(t, obraz) == text ? std::optional(t) : std::nullopt;
}

// Which fields pad alike: a day and a month, an hour, minutes and seconds.
int Skupina(char pismeno) {
  switch (pismeno) {
    case 'd':
    case 'M': return 0;
    case 'H':
    case 'h': return 1;
    default: return 2;
  }
}

// Of candidates that differ only in the width of fields whose digits do not
// tell (18 is both d and dd), the one that pads such a field as the text
// pads the others of its kind (08.12. pads the month too), or where the
// text does not tell, as `vychozi` pads it (or padded).
TKandidat ZvolSirky(const std::vector<TKandidat>& kandidati, std::string_view vychozi) {
  const TKandidat* nejlepsi = nullptr;
  int skore = -1;
  for (const TKandidat& k : kandidati) {
    // What the text shows of each kind: 1 padded, 2 not, 3 both.
    int ukazuje[3] = {0, 0, 0};
    for (const auto& [obraz, cislice] : k.Kusy)
      if (!cislice.empty() && obraz[0] != 'y' && (cislice.size() == 1 || cislice[0] == '0'))
        ukazuje[Skupina(obraz[0])] |= cislice.size() == 2 ? 1 : 2;
    int s = 0;
    for (const auto& [obraz, cislice] : k.Kusy) {
      if (cislice.size() != 2 || cislice[0] == '0' || obraz[0] == 'y') continue;
      const int u = ukazuje[Skupina(obraz[0])];
      bool vycpat = true;
      if (u == 1 || u == 2) {
        vycpat = u == 1;
      } else if (const size_t j = vychozi.find_first_of(Skupina(obraz[0]) == 1
                                                            ? std::string_view("Hh")
                                                            : std::string_view(obraz).substr(0, 1));
                 j != std::string_view::npos) {
        // An hour pads as the locale's does, on a 12- or a 24-hour clock.
        vycpat = j + 1 < vychozi.size() && vychozi[j + 1] == vychozi[j];
      }
      if ((obraz.size() == 2) == vycpat) ++s;
    }
    if (s > skore) {
      skore = s;
      nejlepsi = &k;
    }
  }
  return *nejlepsi;
}

// The field order of a date picture ("dMy"), and the literals between.
std::pair<std::string, std::string> Tvar(std::string_view obraz) {
  std::string poradi, oddelovace;
  for (size_t i = 0; i < obraz.size();) {
    const size_t n = DelkaBehu(obraz, i);
    if (std::string_view("dMy").find(obraz[i]) != std::string_view::npos)
      poradi += obraz[i];
    else
      oddelovace.append(obraz.substr(i, n));
    i += n;
  }
  return {poradi, oddelovace};
}

std::string Uvozene(std::string_view t) { return Cp1250("„") + std::string(t) + Cp1250("“"); }

}  // namespace

TMistniZeZaznamu MistniZeZaznamu(const TMistniNastaveni& vychozi, std::string_view datum,
                                 std::string_view cas, const std::vector<std::string>& hodnoty,
                                 const std::optional<TDatumCas>& zapsano) {
  TMistniNastaveni m = vychozi;
  auto nelze = [](std::string duvod) { return TMistniZeZaznamu{std::nullopt, std::move(duvod)}; };

  bool tecka = false, carka = false;
  for (const std::string& h : hodnoty) {
    tecka = tecka || h.find('.') != std::string::npos;
    carka = carka || h.find(',') != std::string::npos;
  }
  if (tecka && carka) return nelze(Cp1250("hodnoty mají desetinnou tečku i čárku"));
  if (tecka || carka) m.DesetinnyOddelovac = tecka ? '.' : ',';

  if (!datum.empty()) {
    const std::vector<TKus> kusy = Kusy(datum);
    std::vector<TKandidat> mozne;
    std::vector<TDatumCas> data;  // the date each reads
    for (std::string_view poradi : {"dMy", "Mdy", "yMd"})
      for (TKandidat& k : Kandidati(kusy, poradi, "dMy"))
        if (const auto t = Precti(k, datum, true)) {
          mozne.push_back(std::move(k));
          data.push_back(*t);
        }
    if (mozne.empty()) return nelze(Cp1250("datum ") + Uvozene(datum) + Cp1250(" nemá tvar data"));
    // The locale's own picture wins whenever it wrote the text.  Else day
    // first and month first may both read it: when it was written (a day
    // either side, for midnight) tells which, then the locale's order if it
    // writes the same separators.
    if (std::none_of(mozne.begin(), mozne.end(),
                     [&](const TKandidat& k) { return k.Obraz() == vychozi.KratkeDatum; })) {
      std::vector<TKandidat> zbyle;
      for (size_t i = 0; i < mozne.size(); ++i)
        if (!zapsano || std::abs(PoradiDne(data[i]) - PoradiDne(*zapsano)) <= 1)
          zbyle.push_back(mozne[i]);
      if (zbyle.empty()) zbyle = mozne;
      auto poradi = [](const std::vector<TKandidat>& kk) {
        std::vector<std::string> p;
        for (const TKandidat& k : kk)
          if (std::find(p.begin(), p.end(), k.Poradi()) == p.end()) p.push_back(k.Poradi());
        return p;
      };
      if (poradi(zbyle).size() > 1) {
        const auto [vlastniPoradi, vlastniOddelovace] = Tvar(vychozi.KratkeDatum);
        std::vector<TKandidat> podleMistnich;
        for (const TKandidat& k : zbyle)
          if (k.Poradi() == vlastniPoradi && Tvar(k.Obraz()).second == vlastniOddelovace)
            podleMistnich.push_back(k);
        if (podleMistnich.empty())
          return nelze(Cp1250("datum ") + Uvozene(datum) +
                       Cp1250(" lze číst se dnem i s měsícem na prvním místě"));
        zbyle.swap(podleMistnich);
      }
      m.KratkeDatum = ZvolSirky(zbyle, vychozi.KratkeDatum).Obraz();
    }
  }

  if (!cas.empty()) {
    // The designator is the one word a 12-hour picture writes ("tt").
    const size_t am = cas.find("AM"), pm = cas.find("PM");
    const bool ampm = am != std::string_view::npos || pm != std::string_view::npos;
    std::string sTt(cas);
    if (ampm) sTt.replace(am != std::string_view::npos ? am : pm, 2, "tt");
    std::vector<TKandidat> mozne;
    for (std::string_view poradi : {ampm ? "hms" : "Hms", ampm ? "hm" : "Hm"})
      for (TKandidat& k : Kandidati(Kusy(sTt), poradi, ampm ? "Hhms" : "Hhmst"))
        if (Precti(k, cas, false)) mozne.push_back(std::move(k));
    if (mozne.empty()) return nelze(Cp1250("čas ") + Uvozene(cas) + Cp1250(" nemá tvar času"));
    if (std::none_of(mozne.begin(), mozne.end(),
                     [&](const TKandidat& k) { return k.Obraz() == vychozi.DlouhyCas; }))
      m.DlouhyCas = ZvolSirky(mozne, vychozi.DlouhyCas).Obraz();
  }
  return {m, {}};
}
