#include "Stupnice.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "Cp1250.h"
#include "Mistni.h"

QColor BarvaKanalu(int kanal) {
  static const QColor barvy[] = {
      QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 160, 44), QColor(255, 127, 14),
      QColor(148, 103, 189), QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194),
      QColor(127, 127, 127), QColor(188, 189, 34), QColor(0, 0, 128),   QColor(128, 0, 0),
  };
  return barvy[static_cast<size_t>(std::max(kanal, 0)) % std::size(barvy)];
}

double KulatyKrok(double hruby) {
  if (!(hruby > 0) || !std::isfinite(hruby)) return 1;
  const double rad = std::pow(10.0, std::floor(std::log10(hruby)));
  for (double k : {1.0, 2.0, 2.5, 5.0})
    if (rad * k >= hruby * (1 - 1e-9)) return rad * k;
  return rad * 10;
}

namespace {
// Ticks about 35 px apart, 3 to 13 of them.
int PocetDilkuHodnot(double vyskaPx) { return std::clamp(static_cast<int>(vyskaPx / 35), 3, 13); }
}  // namespace

double KrokHodnot(double od, double doHodnoty, double vyskaPx) {
  return KulatyKrok((doHodnoty - od) / (PocetDilkuHodnot(vyskaPx) - 1));
}

int MistaKroku(double krok) {
  // 2.5 needs one decimal, 0.25 two: the fewest with which the step is whole.
  for (int mista = 0; mista < 6; ++mista) {
    const double k = krok * std::pow(10.0, mista);
    if (std::fabs(k - std::round(k)) <= 1e-6 * k) return mista;
  }
  return 6;
}

TOsaHodnot OsaHodnot(double min, double max, double vyskaPx, bool procenta) {
  TOsaHodnot osa;
  osa.Procenta = procenta;
  osa.Popisky = min <= max;
  if (procenta) {
    min = 0;
    max = 100;
  } else if (!(min <= max)) {
    min = 0;
    max = 1;
  }
  const double okraj = max > min ? (max - min) * 0.05 : std::max(std::fabs(min) * 0.05, 0.5);
  osa.Od = min - okraj;
  osa.Do = max + okraj;
  osa.Krok = KrokHodnot(osa.Od, osa.Do, vyskaPx);
  const double rozpeti = osa.Do - osa.Od;
  if (std::ceil(osa.Od / osa.Krok) * osa.Krok - osa.Od < rozpeti * 0.03) osa.Od -= rozpeti * 0.03;
  osa.Mista = MistaKroku(osa.Krok);
  return osa;
}

std::vector<double> DilkyHodnot(const TOsaHodnot& osa) {
  std::vector<double> dilky;
  // Counted in whole steps: none for an axis that would need too many or
  // steps too small to count at its values.
  if (!(osa.Krok > 0) || !((osa.Do - osa.Od) / osa.Krok < 1000) ||
      !(std::max(std::fabs(osa.Od), std::fabs(osa.Do)) / osa.Krok < 1e15))
    return dilky;
  const auto prvni = static_cast<int64_t>(std::ceil(osa.Od / osa.Krok - 1e-9));
  const auto posledni = static_cast<int64_t>(std::floor(osa.Do / osa.Krok + 1e-9));
  for (int64_t k = prvni; k <= posledni; ++k) dilky.push_back(static_cast<double>(k) * osa.Krok);
  return dilky;
}

QString PopisHodnoty(const TOsaHodnot& osa, double hodnota, char oddelovac) {
  // A tick at 0 computed as -0 would read "-0".
  if (std::fabs(hodnota) < osa.Krok * 1e-9) hodnota = 0;
  QString text = QString::number(hodnota, 'f', osa.Mista);
  if (oddelovac != '.') text.replace(u'.', QChar::fromLatin1(oddelovac));
  return osa.Procenta ? text + QStringLiteral(" %") : text;
}

double ProcentoRozsahu(double hodnota, double nejmene, double nejvice) {
  const double sirka = nejvice - nejmene;
  return sirka > 0 ? (hodnota - nejmene) / sirka * 100 : 50;
}

double HodnotaZProcent(double procento, double nejmene, double nejvice) {
  return nejvice > nejmene ? nejmene + procento / 100 * (nejvice - nejmene) : nejmene;
}

int PocetUsekuCasu(double sirkaPx) { return std::clamp(static_cast<int>(sirkaPx / 110), 2, 12); }

QString FormatCasu(double rozpetiMs, double krokMs) {
  if (krokMs < 1000) return QStringLiteral("H:mm:ss.zzz");
  return rozpetiMs <= 15 * 60000.0         ? QStringLiteral("H:mm:ss")
         : rozpetiMs <= 24 * 3600 * 1000.0 ? QStringLiteral("H:mm")
                                           : QStringLiteral("d.M. H:mm");
}

double KrokCasu(double rozpetiMs, double sirkaPx) {
  const double hruby = rozpetiMs / PocetUsekuCasu(sirkaPx);
  constexpr double s = 1000, min = 60 * s, h = 60 * min, den = 24 * h;
  static constexpr double kroky[] = {
      1 * s,    2 * s, 5 * s, 10 * s, 15 * s, 30 * s, 1 * min, 2 * min, 5 * min, 10 * min, 15 * min,
      30 * min, 1 * h, 2 * h, 3 * h,  6 * h,  12 * h, 1 * den, 2 * den, 7 * den, 14 * den};
  if (hruby < kroky[0]) return std::max(1.0, KulatyKrok(hruby));
  for (double k : kroky)
    if (k >= hruby) return k;
  return KulatyKrok(hruby / den) * den;
}

std::vector<int64_t> DilkyCasu(int64_t odMs, int64_t doMs, double krokMs) {
  std::vector<int64_t> dilky;
  if (!(krokMs >= 1) || doMs < odMs || (static_cast<double>(doMs - odMs) / krokMs) > 1000)
    return dilky;
  const auto posun = [](int64_t ms) {
    return static_cast<int64_t>(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
  };
  const auto krok = static_cast<int64_t>(krokMs);
  // Counted in local time: the ticks of a clock on the wall.
  const int64_t mistniOd = odMs + posun(odMs);
  int64_t mistni = mistniOd / krok * krok;
  if (mistni < mistniOd) mistni += krok;
  for (; dilky.size() <= 1000; mistni += krok) {
    const int64_t t = mistni - posun(mistni - posun(odMs));
    if (t > doMs) break;
    if (t >= odMs && (dilky.empty() || t > dilky.back())) dilky.push_back(t);
  }
  return dilky;
}

TDatumCas DatumCasMs(int64_t ms) {
  const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
  const QDate d = t.date();
  const QTime c = t.time();
  return {d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second()};
}

QString NadpisGrafu(const std::string& jmeno, int64_t odMs, int64_t doMs) {
  const TDatumCas od = DatumCasMs(odMs), po = DatumCasMs(doMs);
  const bool denTyz = od.Rok == po.Rok && od.Mesic == po.Mesic && od.Den == po.Den;
  return DoQString(jmeno + ": " + FormatujDatum(od) + ' ' + FormatujCas(od) + Cp1250(" až ") +
                   (denTyz ? std::string() : FormatujDatum(po) + ' ') + FormatujCas(po));
}
