#include "Mistni.h"

#include <QLocale>
#include <QString>

#include <algorithm>
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

std::string FormatujDatum(const TDatumCas& t) {
  const std::string& obraz = Mistni().KratkeDatum;
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

std::string FormatujCas(const TDatumCas& t) {
  const std::string& obraz = Mistni().DlouhyCas;
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
