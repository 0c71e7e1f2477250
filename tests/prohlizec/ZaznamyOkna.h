#pragma once
// Data files for the viewer's window, of any length and quickly: the header
// and the first record by the writer (archive/ArchivDat.h), the rest in the
// same bytes.  CSV with a date and a time column, without error groups.

#include <QByteArray>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DataSoubory.h"

inline constexpr int32_t VolbyOkna = VolbaZahlavi | VolbaDatum | VolbaCas;

inline int64_t Pulnoc(int rok, int mesic, int den) {
  std::tm tm{};
  tm.tm_year = rok - 1900;
  tm.tm_mon = mesic - 1;
  tm.tm_mday = den;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

// Channel k of record i, at second t.
using THodnotaOkna = std::function<double(int i, int k, int64_t t)>;
inline double HodnotaOkna(int i, int k, int64_t) { return (i * 37 + k * 101) % 2000 / 8.0 - 50; }

// Record i at second t as the writer writes it.
inline std::string RadekOkna(int64_t t, int i, int kanalu, const THodnotaOkna& h = HodnotaOkna) {
  const TDatumCas d = MistniZ(t);
  std::string r = FormatujDatum(d) + ';' + FormatujCas(d);
  for (int k = 0; k < kanalu; ++k) r += ';' + FixniText(h(i, k, t), 3, ',');
  return r + "\r\n";
}

// A file of `zaznamu` records `krok` seconds apart from `od`, its channels
// named `nazvy` (Windows-1250).  False when the writer's record differs from
// the one made here.
inline bool VytvorSoubor(const std::filesystem::path& p, int64_t od, int64_t krok, int zaznamu,
                         const std::vector<std::string>& nazvy,
                         const THodnotaOkna& h = HodnotaOkna) {
  const int kanalu = static_cast<int>(nazvy.size());
  {
    TArchivDat a;
    PripravArchiv(a, CestaCp1250(p), VolbyOkna, kanalu);
    g_hodiny = MistniZ(od);
    a.Vzorek.Datum = FormatujDatum(g_hodiny);
    a.Vzorek.Cas = FormatujCas(g_hodiny);
    for (int k = 0; k < kanalu; ++k) {
      a.Vzorek.Nazev[k] = nazvy[static_cast<size_t>(k)];
      a.Vzorek.DesetinnaMista[k] = 3;
      a.Vzorek.Hodnota[k] = FixniText(h(0, k, od), 3, ',');
    }
    std::string chyba;
    ZapisVzorek(a, chyba);
    if (!chyba.empty()) return false;
  }
  if (!Bajty(p).endsWith(QByteArray::fromStdString(RadekOkna(od, 0, kanalu, h)))) return false;
  std::string zbytek;
  for (int i = 1; i < zaznamu; ++i) zbytek += RadekOkna(od + i * krok, i, kanalu, h);
  Pripoj(p, QByteArray::fromStdString(zbytek));
  return true;
}
