#pragma once
// What the tests of the reader and of zq-prohlizec share: data files made by
// the real writers (archive/ArchivDat.h) on a clock the test moves, and a
// naive reader that takes a whole file apart the plain way, to hold the
// reader's results against.

#include <QByteArray>
#include <QFile>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchivDat.h"
#include "Cisla.h"
#include "Dekl.h"
#include "Hodiny.h"
#include "Mistni.h"
#include "Slozka.h"

// The time the writers' clock shows (NastavZdrojCasu in the test's start).
inline TDatumCas g_hodiny;

inline TDatumCas MistniZ(int64_t sekundy) {
  const std::time_t t = static_cast<std::time_t>(sekundy);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// A measurement written sample by sample.  Channel k of sample i has a value
// with a fraction (negative ones too) and fails (status 5, value "0" as the
// task's error value 0 writes it) when (i + k) % 11 == 0.
struct TMereniZapisu {
  TArchivDat A;
  int Vzorek = 0;
  TMereniZapisu(const std::filesystem::path& soubor, int32_t volby, int kanalu) {
    PripravArchiv(A, CestaCp1250(soubor), volby, kanalu);
    for (int k = 0; k < kanalu; ++k) {
      A.Vzorek.Nazev[k] = "K" + std::to_string(k) + (k % 3 == 1 ? Cp1250("; č\"x") : "");
      A.Vzorek.DesetinnaMista[k] = 2;
    }
  }
  static bool Selhal(int i, int k) { return (i + k) % 11 == 0; }
  // The sample at `sekundy` (the local clock then); false when not written.
  bool Zapis(int64_t sekundy) {
    g_hodiny = MistniZ(sekundy);
    A.Vzorek.Datum = FormatujDatum(g_hodiny);
    A.Vzorek.Cas = FormatujCas(g_hodiny);
    for (int k = 0; k < A.PocetKanalu; ++k) {
      const bool chyba = Selhal(Vzorek, k);
      A.Vzorek.Chyba[k] = chyba ? 5 : 0;
      A.Vzorek.Hodnota[k] = chyba ? "0"
                                  : FixniText((Vzorek * 37 + k * 101) % 2000 / 8.0 - 50, 3,
                                              Mistni().DesetinnyOddelovac);
    }
    ++Vzorek;
    std::string chyba;
    ZapisVzorek(A, chyba);
    return chyba.empty();
  }
};

inline QByteArray Bajty(const std::filesystem::path& p) {
  QFile f(QString::fromStdString(p.string()));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void Pripoj(const std::filesystem::path& p, const QByteArray& data) {
  QFile f(QString::fromStdString(p.string()));
  if (f.open(QIODevice::Append)) f.write(data);
}

// The naive reader: the whole file in memory, lines split at CR LF (a last
// piece without it is dropped), fields split at TAB and trimmed, at ";"
// minding quotes, or cut from DBF records; lines of another field count
// dropped.  `sloupcu` fields a record has.
inline std::vector<std::vector<std::string>> NaivneCti(const std::filesystem::path& p, int sloupcu,
                                                       bool zahlavi) {
  const QByteArray b = Bajty(p);
  std::vector<std::vector<std::string>> radky;
  auto orez = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
  };
  if (FormatSouboru(p.string()) == TFormatSouboru::DBF) {
    const int hlavicka = static_cast<uint8_t>(b[8]) | static_cast<uint8_t>(b[9]) << 8;
    const int zaznam = static_cast<uint8_t>(b[10]) | static_cast<uint8_t>(b[11]) << 8;
    for (int z = hlavicka; z + zaznam <= b.size(); z += zaznam) {
      std::vector<std::string> pole;
      for (int i = 0; i < sloupcu; ++i)
        pole.push_back(orez(b.mid(z + 1 + 14 * i, 14).toStdString()));
      if (b[z] == ' ') radky.push_back(pole);
    }
    return radky;
  }
  const bool text = FormatSouboru(p.string()) == TFormatSouboru::Text;
  QList<QByteArray> casti = b.split('\n');
  casti.removeLast();  // after the last LF: nothing, or a torn line
  for (int n = zahlavi ? 1 : 0; n < casti.size(); ++n) {
    std::string l = casti[n].toStdString();
    if (l.empty() || l.back() != '\r') continue;
    l.pop_back();
    std::vector<std::string> pole(1);
    bool uvnitr = false;
    for (size_t i = 0; i < l.size(); ++i) {
      const char c = l[i];
      if (!text && c == '"') {
        if (uvnitr && i + 1 < l.size() && l[i + 1] == '"') {
          pole.back() += '"';
          ++i;
        } else {
          uvnitr = !uvnitr;
        }
      } else if (c == (text ? '\t' : ';') && !uvnitr) {
        pole.emplace_back();
      } else {
        pole.back() += c;
      }
    }
    if (text)
      for (std::string& s : pole) s = orez(s);
    if (static_cast<int>(pole.size()) == sloupcu) radky.push_back(pole);
  }
  return radky;
}

// A value text the plain way: a comma is a point.
inline double NaivniHodnota(std::string s) {
  for (char& c : s)
    if (c == ',') c = '.';
  double v = NAN;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}
