// The plot's drawing without widgets: its scales on round steps, the
// reduction to pixel columns, and the picture itself checked where it can
// go wrong (a line's colour where it runs, nothing where it has a gap, the
// legend, an empty plot's time axis); never whole images, whose fonts
// differ between machines.

#include <QDateTime>
#include <QGuiApplication>
#include <QTest>

#include <cmath>

#include "KresbaGrafu.h"
#include "Krivky.h"
#include "Stupnice.h"

namespace {

QString T(const char* s) { return QString::fromUtf8(s); }

// Pixel `a` is colour `b` laid over white, at least a third opaque (an
// antialiased line shares its colour between two rows).
bool Blizko(QRgb a, const QColor& b) {
  const int p[] = {qRed(a), qGreen(a), qBlue(a)}, c[] = {b.red(), b.green(), b.blue()};
  int hlavni = 0;
  for (int i = 1; i < 3; ++i)
    if (c[i] < c[hlavni]) hlavni = i;
  const double kryti = (255.0 - p[hlavni]) / (255.0 - c[hlavni]);
  if (kryti < 0.35) return false;
  for (int i = 0; i < 3; ++i)
    if (std::abs(255 - kryti * (255 - c[i]) - p[i]) > 14) return false;
  return true;
}

// Any pixel of column x between rows od..po of channel colour `barva`.
bool BarvaVeSloupci(const QImage& o, int x, int od, int po, const QColor& barva) {
  for (int y = od; y <= po; ++y)
    if (Blizko(o.pixel(x, y), barva)) return true;
  return false;
}

// Some text drawn in the box: pixels much darker than the white under it.
bool Popsano(const QImage& o, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(o.pixel(x, y)) < 128) return true;
  return false;
}

const int64_t Zacatek = QDateTime(QDate(2026, 12, 8), QTime(11, 57, 41)).toMSecsSinceEpoch();

}  // namespace

class TestGraf : public QObject {
  Q_OBJECT

 private slots:
  // The value axis: 5 % room, round steps with as many decimals as they
  // need (2.5 needs one), the lowest label off the bottom edge, percent of
  // each channel's range, no labels without values.  The time axis: round
  // steps on the clock, in local time.
  void stupnice() {
    const struct {
      double Min, Max, Vyska;
      bool Procenta;
      const char* Popisky;
    } tabulka[] = {
        {0, 9, 175, false, "0,0 2,5 5,0 7,5"},
        {20, 21, 400, false, "20,0 20,2 20,4 20,6 20,8 21,0"},
        {-3, 3, 140, false, "-2,5 0,0 2,5"},
        {5, 5, 140, false, "4,5 5,0 5,5"},
        {3, 7, 140, true, "0 % 50 % 100 %"},
        {1, 0, 140, false, ""},
    };
    for (const auto& r : tabulka) {
      const TOsaHodnot osa = OsaHodnot(r.Min, r.Max, r.Vyska, r.Procenta);
      QStringList popisky;
      for (double v : DilkyHodnot(osa)) {
        QVERIFY(v >= osa.Od && v <= osa.Do);
        if (osa.Popisky) popisky << PopisHodnoty(osa, v, ',');
      }
      QCOMPARE(popisky.join(u' '), T(r.Popisky));
      if (r.Min <= r.Max && !r.Procenta) {
        QVERIFY(osa.Od < r.Min && osa.Do > r.Max);
        QVERIFY(DilkyHodnot(osa).front() - osa.Od > (osa.Do - osa.Od) * 0.025);
      }
    }

    const struct {
      double RozpetiMs;
      double KrokMs;
      const char* Format;
    } casy[] = {
        {60e3, 10e3, "H:mm:ss"},
        {300e3, 60e3, "H:mm:ss"},
        {3600e3, 600e3, "H:mm"},
        {86400e3, 3 * 3600e3, "H:mm"},
        {7 * 86400e3, 86400e3, "d.M. H:mm"},
        {3e3, 500, "H:mm:ss.zzz"},
    };
    for (const auto& c : casy) {
      const double krok = KrokCasu(c.RozpetiMs, 1000);  // 9 intervals
      QCOMPARE(krok, c.KrokMs);
      QCOMPARE(FormatCasu(c.RozpetiMs, krok), T(c.Format));
      const std::vector<int64_t> dilky =
          DilkyCasu(Zacatek, Zacatek + static_cast<int64_t>(c.RozpetiMs), krok);
      QVERIFY(dilky.size() >= 5 && dilky.size() <= 13);
      for (int64_t t : dilky) {
        const QDateTime kdy = QDateTime::fromMSecsSinceEpoch(t);
        const int64_t odPulnoci = kdy.time().msecsSinceStartOfDay();
        QVERIFY2(odPulnoci % static_cast<int64_t>(std::min(krok, 86400e3)) == 0,
                 qPrintable(kdy.toString(Qt::ISODateWithMs)));
      }
    }
  }

  // Per column only the lowest and the highest value in their order; a
  // break asked for splits the line even within a column; values fed as
  // per-block minima and maxima come out as they went in.
  void sloupce() {
    TSloupceKrivky s(0, 10, 1000);
    for (double t : {0.0, 2.0, 4.0}) s.Pridej(t, t == 2 ? 9 : 1);
    s.Pridej(6, 0);
    s.Prerus();
    s.Pridej(7, 5);
    s.Pridej(15, NAN);
    s.Pridej(25, 3);
    const std::vector<QList<QPointF>> casti = s.Casti();
    QCOMPARE(casti.size(), size_t{3});
    QCOMPARE(casti[0], (QList<QPointF>{{1002, 9}, {1006, 0}}));
    QCOMPARE(casti[1], (QList<QPointF>{{1007, 5}}));
    QCOMPARE(casti[2], (QList<QPointF>{{1025, 3}}));
  }

  // Two channels over 100 s: channel 0 with no values from 40 s to 60 s,
  // channel 1 throughout.  Each line in its colour where it runs, nothing
  // of channel 0 in its gap while channel 1 runs through; a lone value is a
  // dot; a legend entry per channel with its colour and text, inside the
  // picture; the value axis in percent of each channel's range with that
  // range in the legend.
  void kresba() {
    TZadaniGrafu z;
    z.Nadpis = T("Kotelna.zq: 8.12.2026 11:57:41 až 11:59:21");
    z.OdMs = Zacatek;
    z.DoMs = Zacatek + 100000;
    z.Velikost = QSize(640, 420);
    auto bod = [](double s, double v) {
      return QPointF(static_cast<double>(Zacatek) + s * 1000, v);
    };
    TKanalGrafu a;
    a.Cislo = a.Barva = 0;
    a.Nazev = T("Teplota přívod");
    a.DesetinnaMista = 2;
    a.Casti = {{bod(-5, 10), bod(40, 10)}, {bod(60, 10), bod(110, 10)}};
    TKanalGrafu b;
    b.Cislo = b.Barva = 5;
    b.Nazev = T("Napětí");
    b.Casti = {{bod(0, 20), bod(100, 20)}, {bod(50, 15)}};
    z.Kanaly = {a, b};

    for (bool zvlast : {false, true}) {
      z.KanalyZvlast = zvlast;
      TRozvrzeniGrafu r;
      const QImage o = ObrazekGrafu(z, &r);
      QCOMPARE(o.size(), z.Velikost);
      const QRect& p = r.Plocha;
      QVERIFY(QRect(QPoint(0, 0), z.Velikost).contains(p));
      QVERIFY(p.top() > r.Nadpis.bottom());
      QVERIFY(Popsano(o, r.Nadpis));
      auto x = [&](double s) { return p.left() + qRound(s / 100 * p.width()); };
      const QColor c0 = BarvaKanalu(0), c5 = BarvaKanalu(5);
      for (double s : {5.0, 30.0, 70.0, 95.0})
        QVERIFY2(BarvaVeSloupci(o, x(s), p.top(), p.bottom(), c0), qPrintable(QString::number(s)));
      for (double s : {45.0, 55.0}) {
        QVERIFY2(!BarvaVeSloupci(o, x(s), 0, o.height() - 1, c0), qPrintable(QString::number(s)));
        QVERIFY(BarvaVeSloupci(o, x(s), p.top(), p.bottom(), c5));
      }
      // Nothing of either line outside the plot: lines run to its edge only.
      QVERIFY(!BarvaVeSloupci(o, p.left() - 2, p.top(), p.bottom(), c0));
      QVERIFY(!BarvaVeSloupci(o, p.right() + 3, p.top(), p.bottom(), c0));

      QCOMPARE(r.Legenda.size(), size_t{2});
      QCOMPARE(r.Legenda[0].Popis,
               zvlast ? T("Ch0 Teplota přívod (10,00 až 10,00)") : T("Ch0 Teplota přívod"));
      QCOMPARE(r.Legenda[1].Popis, zvlast ? T("Ch5 Napětí (15 až 20)") : T("Ch5 Napětí"));
      for (size_t i = 0; i < 2; ++i) {
        const auto& l = r.Legenda[i];
        QCOMPARE(QColor(o.pixel(l.Ctverec.center())), i == 0 ? c0 : c5);
        QVERIFY(l.Ctverec.top() > p.bottom() && o.rect().contains(l.Text));
        QVERIFY(Popsano(o, l.Text));
      }
      QVERIFY(!r.Legenda[0].Text.intersects(r.Legenda[1].Ctverec));
      QVERIFY(!r.PopiskyHodnot.empty());
      for (const auto& l : r.PopiskyHodnot) {
        QCOMPARE(l.Text.endsWith(T(" %")), zvlast);
        QVERIFY(o.rect().contains(l.Kde) && l.Kde.right() < p.left());
      }
      if (zvlast) {
        // Channel 0 never changes: at 50 %; the dot of channel 5 at 0 %.
        const TOsaHodnot osa = OsaHodnot(0, 100, p.height(), true);
        auto y = [&](double v) {
          return qRound(p.bottom() + 1 - (v - osa.Od) / (osa.Do - osa.Od) * p.height());
        };
        QVERIFY(BarvaVeSloupci(o, x(20), y(50) - 2, y(50) + 2, c0));
        QVERIFY(BarvaVeSloupci(o, x(50), y(0) - 2, y(0) + 1, c5));
        QVERIFY(!BarvaVeSloupci(o, x(50) + 5, y(0) - 2, y(0) + 1, c5));
      }
    }
  }

  // Nothing to plot: the time axis still runs over the range on round
  // clock times, no value labels, no legend.
  void prazdnyGraf() {
    TZadaniGrafu z;
    z.OdMs = Zacatek;
    z.DoMs = Zacatek + 60000;
    z.Velikost = QSize(600, 300);
    TKanalGrafu bezHodnot;
    for (const std::vector<TKanalGrafu>& kanaly :
         {std::vector<TKanalGrafu>{}, std::vector<TKanalGrafu>{bezHodnot}}) {
      z.Kanaly = kanaly;
      TRozvrzeniGrafu r;
      const QImage o = ObrazekGrafu(z, &r);
      QVERIFY(r.PopiskyHodnot.empty());
      QCOMPARE(r.Legenda.size(), kanaly.size());
      QVERIFY(r.PopiskyCasu.size() >= 4);
      for (const auto& l : r.PopiskyCasu) {
        QVERIFY2(l.Text.endsWith(T("0")) || l.Text.endsWith(T("5")), qPrintable(l.Text));
        QVERIFY(o.rect().contains(l.Kde) && l.Kde.top() > r.Plocha.bottom());
        QVERIFY(Popsano(o, l.Kde));
      }
      QCOMPARE(r.PopiskyCasu.front().Text, T("11:57:45"));
    }
  }
};

QTEST_MAIN(TestGraf)
#include "test_graf.moc"
