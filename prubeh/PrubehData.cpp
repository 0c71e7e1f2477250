#include "PrubehData.h"

#include <QFile>

#include <algorithm>
#include <cmath>

#include "ArchivDat.h"
#include "Cisla.h"
#include "Cp1250.h"
#include "Krivky.h"
#include "Mereni.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"
#include "Stupnice.h"

namespace {

// A point of a channel's history in time order; NaN where the read failed.
struct TBod {
  double CasMs;
  float Hodnota;
};

std::vector<TBod> BodyVPoradi(const TDataKanalu& d) {
  std::vector<TBod> body;
  body.reserve(2 * d.Useky.size() + d.Body.size());
  const double pul = d.SirkaUsekuMs / 2.0;
  for (const TUsekHistorie& u : d.Useky) {
    const double stred = static_cast<double>(u.OdMs) + pul;
    if (std::isnan(u.Min)) {
      body.push_back({stred, NAN});
      continue;
    }
    body.push_back({stred, u.Min});
    if (u.Max != u.Min) body.push_back({stred, u.Max});
  }
  for (const TBodHistorie& b : d.Body) body.push_back({static_cast<double>(b.CasMs), b.Hodnota});
  return body;
}

std::string SekceUlohy(const std::string& uloha) { return uloha.empty() ? "-" : uloha; }

// The keys of a task's section in ZQ_prubeh.ini, Windows-1250.
struct TKlicePrubehu {
  std::string Sirka = Cp1250("Šířka");
  std::string Vyska = Cp1250("Výška");
  std::string Kanaly = Cp1250("Kanály");
  std::string Zobrazit = "Zobrazit";
  std::string Vlevo = "Vlevo";
  std::string Nahore = Cp1250("Nahoře");
  std::string OsaY = "Osa Y";
};

const TKlicePrubehu& K() {
  static const TKlicePrubehu k;
  return k;
}

// A section per task, each with the same keys.
const std::vector<TZnameKlice>& Zname() {
  static const std::vector<TZnameKlice> zname = [] {
    const TKlicePrubehu& k = K();
    return std::vector<TZnameKlice>{
        {"", {k.Sirka, k.Vyska, k.Kanaly, k.Zobrazit, k.Vlevo, k.Nahore, k.OsaY}}};
  }();
  return zname;
}

}  // namespace

std::vector<QList<QPointF>> CastiKrivky(const TDataKanalu& data, double odMs, double doMs,
                                        double krokMs, double posunMs) {
  const std::vector<TBod> body = BodyVPoradi(data);

  // The points within the range and the nearest one outside on either side.
  auto prvni = std::lower_bound(body.begin(), body.end(), odMs,
                                [](const TBod& b, double t) { return b.CasMs < t; });
  if (prvni != body.begin()) --prvni;
  auto konec = std::upper_bound(body.begin(), body.end(), doMs,
                                [](double t, const TBod& b) { return t < b.CasMs; });
  if (konec != body.end()) ++konec;

  TSloupceKrivky sloupce(odMs, krokMs, posunMs);
  for (auto it = prvni; it != konec; ++it) sloupce.Pridej(it->CasMs, it->Hodnota);
  return sloupce.Casti();
}

std::string CsvHistorie(const std::vector<TKanalCsv>& kanaly, double odMs, double doMs,
                        int64_t zacatekMs, char oddelovac) {
  struct TRadek {
    double CasMs;
    size_t Kanal;
    bool Usek;
    float Hodnota, Min, Max;
  };
  std::vector<TRadek> radky;
  for (size_t k = 0; k < kanaly.size(); ++k) {
    const TDataKanalu& d = *kanaly[k].Data;
    for (const TUsekHistorie& u : d.Useky)
      if (static_cast<double>(u.OdMs + d.SirkaUsekuMs) > odMs &&
          static_cast<double>(u.OdMs) <= doMs)
        radky.push_back({static_cast<double>(u.OdMs), k, true, NAN, u.Min, u.Max});
    for (const TBodHistorie& b : d.Body)
      if (static_cast<double>(b.CasMs) >= odMs && static_cast<double>(b.CasMs) <= doMs)
        radky.push_back({static_cast<double>(b.CasMs), k, false, b.Hodnota, NAN, NAN});
  }
  std::stable_sort(radky.begin(), radky.end(),
                   [](const TRadek& a, const TRadek& b) { return a.CasMs < b.CasMs; });

  std::string csv = Cp1250("Datum;Čas;Kanál;Název;Hodnota;Minimum;Maximum\r\n");
  for (const TRadek& r : radky) {
    const TKanalCsv& k = kanaly[r.Kanal];
    const int mista = std::max(0, k.DesetinnaMista);
    auto cislo = [&](float v) {
      return std::isnan(v) ? std::string() : FixniText(v, mista, oddelovac);
    };
    const TDatumCas t = DatumCasMs(zacatekMs + static_cast<int64_t>(r.CasMs));
    csv += FormatujDatum(t) + ';' + FormatujCas(t) + ";Ch" + CeleNaText(k.Cislo) + ';' +
           PoleCSV(k.Nazev) + ';' + (r.Usek ? std::string() : cislo(r.Hodnota)) + ';' +
           (r.Usek ? cislo(r.Min) : std::string()) + ';' + (r.Usek ? cislo(r.Max) : std::string()) +
           "\r\n";
  }
  return csv;
}

TNastaveniPrubehu PrectiNastaveniPrubehu(const std::string& uloha,
                                         std::vector<std::string>* nezname) {
  const TKlicePrubehu& k = K();
  const TProfil p(CestaVeSlozceProgramu(JmenoNastaveniPrubehu), TKodovani::Utf8NeboCp1250);
  if (nezname) *nezname = p.Nezname(Zname());
  const std::string sekce = SekceUlohy(uloha);
  TNastaveniPrubehu n;
  n.Sirka = std::max(0, p.CtiCislo(sekce, k.Sirka, 0));
  n.Vyska = std::max(0, p.CtiCislo(sekce, k.Vyska, 0));
  n.Rozsah = p.CtiCislo(sekce, k.Zobrazit, n.Rozsah);
  n.Poloha = p.MaKlic(sekce, k.Vlevo) && p.MaKlic(sekce, k.Nahore);
  n.X = p.CtiCislo(sekce, k.Vlevo, 0);
  n.Y = p.CtiCislo(sekce, k.Nahore, 0);
  n.OsaY = std::clamp(p.CtiCislo(sekce, k.OsaY, 0), 0, 1);
  const std::string kanaly = p.CtiText(sekce, k.Kanaly, "");
  size_t od = 0;
  while (od < kanaly.size()) {
    size_t carka = kanaly.find(',', od);
    if (carka == std::string::npos) carka = kanaly.size();
    const auto k = TextNaCele(std::string_view(kanaly).substr(od, carka - od));
    if (k && *k >= 0 && *k < 256) n.Kanaly.push_back(*k);
    od = carka + 1;
  }
  std::sort(n.Kanaly.begin(), n.Kanaly.end());
  n.Kanaly.erase(std::unique(n.Kanaly.begin(), n.Kanaly.end()), n.Kanaly.end());
  return n;
}

void ZapisNastaveniPrubehu(const std::string& uloha, const TNastaveniPrubehu& n) {
  const TKlicePrubehu& k = K();
  TProfil p(CestaVeSlozceProgramu(JmenoNastaveniPrubehu), TKodovani::Utf8NeboCp1250);
  const std::string sekce = SekceUlohy(uloha);
  std::string kanaly;
  for (int c : n.Kanaly) kanaly += (kanaly.empty() ? "" : ",") + CeleNaText(c);
  p.ZapisCislo(sekce, k.Sirka, n.Sirka);
  p.ZapisCislo(sekce, k.Vyska, n.Vyska);
  p.ZapisText(sekce, k.Kanaly, kanaly);
  p.ZapisCislo(sekce, k.Zobrazit, n.Rozsah);
  if (n.Poloha) {
    p.ZapisCislo(sekce, k.Vlevo, n.X);
    p.ZapisCislo(sekce, k.Nahore, n.Y);
  }
  p.ZapisCislo(sekce, k.OsaY, n.OsaY);
  p.Uloz();
}

QString NelzeZapsat(const QString& jmeno) {
  return QString::fromUtf8("Nelze zapsat do souboru \"") + jmeno + u'"';
}

QString RadkyZprav(const std::vector<std::string>& zpravy) {
  QString text;
  for (const std::string& z : zpravy)
    text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + DoQString(z);
  return text;
}

std::pair<double, double> RozsahKanalu(const TDataKanalu& data, double odMs, double doMs) {
  double min = INFINITY, max = -INFINITY;
  auto pridej = [&](float v) {
    if (std::isnan(v)) return;
    min = std::min(min, static_cast<double>(v));
    max = std::max(max, static_cast<double>(v));
  };
  for (const TUsekHistorie& u : data.Useky)
    if (static_cast<double>(u.OdMs + data.SirkaUsekuMs) > odMs &&
        static_cast<double>(u.OdMs) <= doMs) {
      pridej(u.Min);
      pridej(u.Max);
    }
  for (const TBodHistorie& b : data.Body)
    if (static_cast<double>(b.CasMs) >= odMs && static_cast<double>(b.CasMs) <= doMs)
      pridej(b.Hodnota);
  if (min <= max) return {min, max};
  return {std::nan(""), std::nan("")};
}

QString PopisBodu(int kanal, const std::string& nazev, int64_t casMs, double hodnota, int mista,
                  char oddelovac) {
  const TDatumCas t = DatumCasMs(casMs);
  return DoQString("Ch" + CeleNaText(kanal) + ' ' + nazev + '\n' + FormatujDatum(t) + ' ' +
                   FormatujCas(t) + '\n' + FixniText(hodnota, std::max(0, mista), oddelovac));
}

QString CelaDatovaCesta(const std::string& jmeno) {
  if (jmeno.empty()) return {};
  return QFile::decodeName(QByteArray::fromStdString(DatovaCesta(jmeno).lexically_normal()));
}
