#include "KresbaGrafu.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>

#include "Cisla.h"
#include "Cp1250.h"
#include "Stupnice.h"

namespace {

constexpr int Okraj = 8;
constexpr int Carka = 4;  // a tick's length outside the plot
const QColor BarvaMrizky(226, 226, 226);
const QColor BarvaOs(140, 140, 140);
const QColor BarvaTextu(32, 32, 32);

QFont PismoNadpisu(const QFont& f) {
  QFont n = f;
  n.setBold(true);
  n.setPointSizeF(n.pointSizeF() * 1.2);
  return n;
}

// What is worked out before drawing: the boxes, both axes and each
// channel's scale.
struct TPlan {
  TRozvrzeniGrafu R;
  TOsaHodnot Osa;
  std::vector<int64_t> DilkyCasu;
  // Each channel over its own range: the values 0 and 100 % stand for.
  std::vector<std::pair<double, double>> Rozsahy;
  QFont Nadpis;
};

bool VRozsahu(const TZadaniGrafu& z, double x) {
  return x >= static_cast<double>(z.OdMs) && x <= static_cast<double>(z.DoMs);
}

std::pair<double, double> HodnotyVRozsahu(const TZadaniGrafu& z, const TKanalGrafu& k) {
  double min = INFINITY, max = -INFINITY;
  for (const QList<QPointF>& cast : k.Casti)
    for (const QPointF& b : cast)
      if (VRozsahu(z, b.x()) && std::isfinite(b.y())) {
        min = std::min(min, b.y());
        max = std::max(max, b.y());
      }
  return {min, max};
}

// The legend's rows, as wide as the picture; the height they take.
int Legenda(const TZadaniGrafu& z, const std::vector<std::pair<double, double>>& rozsahy,
            std::vector<TRozvrzeniGrafu::TPolozkaLegendy>* polozky) {
  if (z.Kanaly.empty()) return 0;
  const QFontMetrics fm(z.Pismo);
  const int sirka = z.Velikost.width();
  const int ctverec = fm.height() - 2;
  int x = Okraj, y = 0;
  for (size_t i = 0; i < z.Kanaly.size(); ++i) {
    const TKanalGrafu& k = z.Kanaly[i];
    QString text = QStringLiteral("Ch") + QString::number(k.Cislo) + u' ' + k.Nazev;
    if (z.KanalyZvlast && i < rozsahy.size() && rozsahy[i].first <= rozsahy[i].second) {
      const int mista = std::max(0, k.DesetinnaMista);
      text += QString::fromUtf8(" (") + DoQString(FixniText(rozsahy[i].first, mista, z.Oddelovac)) +
              QString::fromUtf8(" až ") +
              DoQString(FixniText(rozsahy[i].second, mista, z.Oddelovac)) + u')';
    }
    // A name longer than the whole row is cut, not drawn over the edge.
    text = fm.elidedText(text, Qt::ElideRight, std::max(10, sirka - 2 * Okraj - ctverec - 6));
    const int w = ctverec + 6 + fm.horizontalAdvance(text) + 18;
    if (x > Okraj && x + w - 18 > sirka - Okraj) {
      x = Okraj;
      y += fm.height() + 6;
    }
    if (polozky)
      polozky->push_back({static_cast<int>(i), QRect(x, y + 1, ctverec, ctverec),
                          QRect(x + ctverec + 6, y, w - ctverec - 6 - 18, fm.height()), text});
    x += w;
  }
  return y + fm.height() + 2 * Okraj;
}

int VyskaNadpisu(const TZadaniGrafu& z) {
  return z.Nadpis.isEmpty() ? 0 : QFontMetrics(PismoNadpisu(z.Pismo)).height() + 2 * Okraj;
}

// The pixel row of a value, within the plot or far beyond it (a line is
// clipped there anyway; so far it stays finite).
double YPx(const TPlan& plan, double v) {
  const QRect& p = plan.R.Plocha;
  return std::clamp(p.bottom() + 1 - (v - plan.Osa.Od) / (plan.Osa.Do - plan.Osa.Od) * p.height(),
                    -1e6, 1e6);
}

TPlan Naplanuj(const TZadaniGrafu& z) {
  TPlan plan;
  plan.Nadpis = PismoNadpisu(z.Pismo);
  const QFontMetrics fm(z.Pismo);
  const int sirka = z.Velikost.width(), vyska = z.Velikost.height();
  const int vyskaNadpisu = VyskaNadpisu(z);
  if (vyskaNadpisu > 0) plan.R.Nadpis = QRect(Okraj, 0, sirka - 2 * Okraj, vyskaNadpisu);

  // Each channel's own range, over the time range unless given.
  double min = INFINITY, max = -INFINITY;
  for (const TKanalGrafu& k : z.Kanaly) {
    const auto [nejmene, nejvice] = HodnotyVRozsahu(z, k);
    const bool dany = !std::isnan(k.Nejmene) && !std::isnan(k.Nejvice);
    plan.Rozsahy.emplace_back(dany ? k.Nejmene : nejmene, dany ? k.Nejvice : nejvice);
    if (nejmene > nejvice) continue;
    if (z.KanalyZvlast) {
      const auto [od, po] = plan.Rozsahy.back();
      min = std::min(min, ProcentoRozsahu(nejmene, od, po));
      max = std::max(max, ProcentoRozsahu(nejvice, od, po));
    } else {
      min = std::min(min, nejmene);
      max = std::max(max, nejvice);
    }
  }
  const int vyskaLegendy = Legenda(z, plan.Rozsahy, &plan.R.Legenda);
  const int hore = vyskaNadpisu + std::max(Okraj, fm.height() / 2 + 2);
  const int dole = vyska - vyskaLegendy - (Carka + 3 + fm.height() + Okraj / 2);
  const int vyskaPlochy = std::max(10, dole - hore);

  plan.Osa = OsaHodnot(min, max, vyskaPlochy, z.KanalyZvlast);
  if (!std::isnan(z.HodnotyOd) && !std::isnan(z.HodnotyDo) && z.HodnotyOd < z.HodnotyDo) {
    plan.Osa.Od = z.HodnotyOd;
    plan.Osa.Do = z.HodnotyDo;
    plan.Osa.Krok = KrokHodnot(z.HodnotyOd, z.HodnotyDo, vyskaPlochy);
    plan.Osa.Mista = MistaKroku(plan.Osa.Krok);
  }
  int sirkaHodnot = 0;
  std::vector<TRozvrzeniGrafu::TPopisek> hodnoty;
  if (plan.Osa.Popisky)
    for (double v : DilkyHodnot(plan.Osa)) {
      const QString text = PopisHodnoty(plan.Osa, v, z.Oddelovac);
      sirkaHodnot = std::max(sirkaHodnot, fm.horizontalAdvance(text));
      hodnoty.push_back({QRect(0, 0, 0, fm.height()), text});
    }
  const int vlevo = Okraj + sirkaHodnot + (sirkaHodnot ? Carka + 3 : 0);

  // The time axis: its last label may reach half its width past the plot.
  const double rozpeti = static_cast<double>(z.DoMs - z.OdMs);
  double krok = KrokCasu(rozpeti, sirka - vlevo - 2 * Okraj);
  QString format = FormatCasu(rozpeti, krok);
  const int pulPopisku =
      fm.horizontalAdvance(QDateTime::fromMSecsSinceEpoch(z.DoMs).toString(format)) / 2;
  const int vpravo = sirka - std::max(Okraj, pulPopisku + 2);
  krok = KrokCasu(rozpeti, vpravo - vlevo);
  format = FormatCasu(rozpeti, krok);
  plan.R.Plocha =
      QRect(QPoint(vlevo, hore), QPoint(std::max(vlevo + 10, vpravo) - 1, hore + vyskaPlochy - 1));
  const QRect& p = plan.R.Plocha;

  const std::vector<double> dilky = DilkyHodnot(plan.Osa);
  for (size_t i = 0; i < hodnoty.size(); ++i) {
    const int y = qRound(YPx(plan, dilky[i]));
    hodnoty[i].Kde = QRect(Okraj, y - fm.height() / 2, sirkaHodnot, fm.height());
  }
  plan.R.PopiskyHodnot = std::move(hodnoty);

  if (rozpeti > 0) plan.DilkyCasu = DilkyCasu(z.OdMs, z.DoMs, krok);
  int volnoOd = 0;  // labels never overlap: one that would is left out
  for (int64_t t : plan.DilkyCasu) {
    const QString text = QDateTime::fromMSecsSinceEpoch(t).toString(format);
    const int w = fm.horizontalAdvance(text);
    const int x = p.left() + qRound(static_cast<double>(t - z.OdMs) / rozpeti * p.width());
    const int levy = std::clamp(x - w / 2, 0, std::max(0, sirka - w));
    if (levy < volnoOd) continue;
    plan.R.PopiskyCasu.push_back({QRect(levy, p.bottom() + Carka + 3, w, fm.height()), text});
    volnoOd = levy + w + 6;
  }

  const int hornaLegendy = vyska - vyskaLegendy + Okraj;
  for (auto& l : plan.R.Legenda) {
    l.Ctverec.translate(0, hornaLegendy);
    l.Text.translate(0, hornaLegendy);
  }
  return plan;
}

}  // namespace

int VyskaNadpisuALegendy(const TZadaniGrafu& z) {
  std::vector<std::pair<double, double>> rozsahy;
  for (const TKanalGrafu& k : z.Kanaly)
    rozsahy.push_back(!std::isnan(k.Nejmene) && !std::isnan(k.Nejvice)
                          ? std::pair(k.Nejmene, k.Nejvice)
                          : HodnotyVRozsahu(z, k));
  return VyskaNadpisu(z) + Legenda(z, rozsahy, nullptr);
}

TRozvrzeniGrafu RozvrhniGraf(const TZadaniGrafu& z) { return Naplanuj(z).R; }

void NakresliGraf(QPainter& p, const TZadaniGrafu& z, TRozvrzeniGrafu* rozvrzeni) {
  const TPlan plan = Naplanuj(z);
  const QRect& plocha = plan.R.Plocha;
  const double rozpeti = static_cast<double>(z.DoMs - z.OdMs);
  auto xPx = [&](double t) {
    return std::clamp(plocha.left() + (t - static_cast<double>(z.OdMs)) / rozpeti * plocha.width(),
                      -1e6, 1e6);
  };
  auto yPx = [&](double v) { return YPx(plan, v); };

  p.save();
  p.fillRect(QRect(QPoint(0, 0), z.Velikost), Qt::white);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(BarvaTextu);
  if (!plan.R.Nadpis.isEmpty()) {
    p.setFont(plan.Nadpis);
    p.drawText(
        plan.R.Nadpis, Qt::AlignCenter,
        QFontMetrics(plan.Nadpis).elidedText(z.Nadpis, Qt::ElideRight, plan.R.Nadpis.width()));
  }
  p.setFont(z.Pismo);

  // The grid and the axes with their ticks.
  const std::vector<double> hodnoty = DilkyHodnot(plan.Osa);
  p.setPen(BarvaMrizky);
  for (double v : hodnoty) {
    const double y = std::round(yPx(v)) - 0.5;
    if (y >= plocha.top() && y <= plocha.bottom() + 1)
      p.drawLine(QPointF(plocha.left(), y), QPointF(plocha.right() + 1, y));
  }
  for (int64_t t : plan.DilkyCasu) {
    const double x = std::round(xPx(static_cast<double>(t))) + 0.5;
    p.drawLine(QPointF(x, plocha.top()), QPointF(x, plocha.bottom() + 1));
  }
  p.drawLine(plocha.topLeft(), plocha.topRight());
  p.drawLine(plocha.topRight(), plocha.bottomRight());
  p.setPen(BarvaOs);
  p.drawLine(plocha.bottomLeft(), plocha.bottomRight());
  p.drawLine(plocha.topLeft(), plocha.bottomLeft());
  for (int64_t t : plan.DilkyCasu) {
    const double x = std::round(xPx(static_cast<double>(t))) + 0.5;
    p.drawLine(QPointF(x, plocha.bottom() + 1), QPointF(x, plocha.bottom() + 1 + Carka));
  }
  if (plan.Osa.Popisky)
    for (double v : hodnoty) {
      const double y = std::round(yPx(v)) - 0.5;
      if (y >= plocha.top() && y <= plocha.bottom() + 1)
        p.drawLine(QPointF(plocha.left() - Carka, y), QPointF(plocha.left(), y));
    }
  p.setPen(BarvaTextu);
  for (const auto& l : plan.R.PopiskyHodnot)
    p.drawText(l.Kde, Qt::AlignRight | Qt::AlignVCenter, l.Text);
  for (const auto& l : plan.R.PopiskyCasu) p.drawText(l.Kde, Qt::AlignCenter, l.Text);

  // The lines, clipped to the plot.
  p.save();
  p.setClipRect(plocha.adjusted(0, 0, 1, 1));
  p.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < z.Kanaly.size(); ++i) {
    const TKanalGrafu& k = z.Kanaly[i];
    const auto [nejmene, nejvice] = plan.Rozsahy[i];
    const QColor barva = BarvaKanalu(k.Barva);
    QPen pero(barva, 1.0);
    pero.setCosmetic(true);
    p.setPen(pero);
    p.setBrush(barva);
    QPolygonF cara;
    for (const QList<QPointF>& cast : k.Casti) {
      cara.clear();
      cara.reserve(cast.size());
      for (const QPointF& b : cast) {
        if (!std::isfinite(b.y())) continue;
        const double v = z.KanalyZvlast ? ProcentoRozsahu(b.y(), nejmene, nejvice) : b.y();
        cara.append(QPointF(xPx(b.x()), yPx(v)));
      }
      // A value between two failures: a dot, since a line needs two.
      if (cara.size() == 1)
        p.drawEllipse(cara.first(), 2.5, 2.5);
      else
        p.drawPolyline(cara);
    }
  }
  p.restore();

  for (const auto& l : plan.R.Legenda) {
    p.fillRect(l.Ctverec, BarvaKanalu(z.Kanaly[static_cast<size_t>(l.Kanal)].Barva));
    p.drawText(l.Text, Qt::AlignLeft | Qt::AlignVCenter, l.Popis);
  }
  p.restore();
  if (rozvrzeni) *rozvrzeni = plan.R;
}

QImage ObrazekGrafu(const TZadaniGrafu& z, TRozvrzeniGrafu* rozvrzeni) {
  QImage obrazek(z.Velikost * z.Dpr, QImage::Format_RGB32);
  obrazek.setDevicePixelRatio(z.Dpr);
  QPainter p(&obrazek);
  NakresliGraf(p, z, rozvrzeni);
  return obrazek;
}
