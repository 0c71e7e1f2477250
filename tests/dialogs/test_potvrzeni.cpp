// The two yes/no questions and the seam every modal dialog goes through.

#include <QFontMetrics>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include "OpravduSmazat.h"
#include "Ovladani.h"
#include "SouborExistuje.h"
#include "Vzhled.h"
#include "platform/Cp1250.h"

namespace {

struct TOtazka {
  int Vysledek = -1;
  int Sirka = 0;
  int Vyska = 0;
  int LevyPanel = -1;
  QString Radek1;
  QString Radek2;
  QString Titulek;
};

// Asks through the seam; `odpoved` answers once the window is up.
template <class T>
TOtazka Zeptej(T& dialog, const std::function<int(T&)>& odpoved) {
  TOdpovedi odpovedi;
  TOtazka o;
  odpovedi.template Pridej<T>([&](T& d) {
    o.Sirka = d.width();
    o.Vyska = d.height();
    o.LevyPanel = d.Panel1->x();
    o.Radek1 = d.Label1->text();
    o.Radek2 = d.Label2->text();
    o.Titulek = d.windowTitle();
    return odpoved(d);
  });
  o.Vysledek = ZobrazModalne(dialog);
  if (!odpovedi.Chyby().isEmpty()) qWarning() << odpovedi.Chyby();
  return o;
}

class TKratkaOtazka : public TFormPotvrzeni {
 public:
  TKratkaOtazka() : TFormPotvrzeni(nullptr, "  Dotaz", "Smazat?", "Ano, nebo ne?") {}
};

int SirkaTextu(const QString& text) {
  return QFontMetrics(PismoFormulare()).horizontalAdvance(text);
}

}  // namespace

class TestPotvrzeni : public QObject {
  Q_OBJECT
 private slots:
  // Even an empty path makes the overwrite question's first line wider
  // than 100 pixels in the form's font, so a short path gives its own width.
  void kratkaCesta() {
    TFormSouborExistuje d(nullptr);
    d.Soubor = "a.txt";
    const TOtazka o =
        Zeptej<TFormSouborExistuje>(d, [](TFormSouborExistuje& x) { return Klikni(x, x.Button1); });
    QCOMPARE(o.Radek1, U("Soubor \"a.txt\" již existuje."));
    QCOMPARE(o.Radek2, U("Chcete jej přepsat?"));
    QCOMPARE(o.Titulek, U("  Uložit jako"));
    QCOMPARE(o.Sirka, std::max(SirkaTextu(o.Radek1) + 110, 210));
    QCOMPARE(o.LevyPanel, (o.Sirka - 163) / 2);
    QCOMPARE(o.Vyska, 137);
    QCOMPARE(o.Vysledek, VysledekAno);
  }

  // A first line narrower than 100 pixels keeps the window 210 wide with
  // the buttons at 23.
  void nejmensiSirka() {
    TKratkaOtazka d;
    const TOtazka o =
        Zeptej<TFormPotvrzeni>(d, [](TFormPotvrzeni& x) { return Klikni(x, x.Button2); });
    QVERIFY(SirkaTextu(o.Radek1) < 100);
    QCOMPARE(o.Sirka, 210);
    QCOMPARE(o.LevyPanel, 23);
    QCOMPARE(o.Vysledek, VysledekNe);
  }

  void dlouhaCesta_data() {
    QTest::addColumn<QString>("cesta");
    QTest::newRow("long") << U("/home/operator/mereni/2026/prosinec/linka-3/teploty_vstup.txt");
    QTest::newRow("odd width") << U("C:\\Data\\Měření\\Čerpací stanice Ústí nad Labem\\tlak.csv");
  }

  void dlouhaCesta() {
    QFETCH(QString, cesta);
    TFormSouborExistuje d(nullptr);
    d.Soubor = ZQString(cesta);
    QRect tlacitka;
    const TOtazka o = Zeptej<TFormSouborExistuje>(d, [&](TFormSouborExistuje& x) {
      tlacitka = QRect(x.Button1->mapTo(&x, QPoint(0, 0)), x.Button2->geometry().size());
      tlacitka.setRight(x.Button2->mapTo(&x, QPoint(x.Button2->width() - 1, 0)).x());
      return Klikni(x, x.Button2);
    });
    // The whole path, not shortened.
    QCOMPARE(o.Radek1, U("Soubor \"") + cesta + U("\" již existuje."));
    const int w = SirkaTextu(o.Radek1);
    QVERIFY(w + 110 > 210);
    QCOMPARE(o.Sirka, w + 110);
    QCOMPARE(o.LevyPanel, (w + 110 - 163) / 2);
    // The pair of buttons is centred within a pixel.
    QVERIFY(qAbs((tlacitka.left() + tlacitka.right() + 1) - o.Sirka) <= 1);
    QCOMPARE(o.Vysledek, VysledekNe);
  }

  void opravduSmazat() {
    TFormOpravduSmazat d(nullptr);
    const TOtazka o =
        Zeptej<TFormOpravduSmazat>(d, [](TFormOpravduSmazat& x) { return Klikni(x, x.Button1); });
    QCOMPARE(o.Titulek, U("  Upozornění"));
    QCOMPARE(o.Radek1, U("Stávající měřicí úloha bude bez uložení smazána."));
    QCOMPARE(o.Radek2, U("Opravdu ji chcete smazat?"));
    QCOMPARE(o.Sirka, std::max(SirkaTextu(o.Radek1) + 110, 210));
    QCOMPARE(o.LevyPanel, (o.Sirka - 163) / 2);
    QCOMPARE(o.Vysledek, VysledekAno);
  }

  // Enter or Space right after the question appears answers "Ne"; Esc
  // means nothing on either button; the frame counts as closed.
  void klavesyAZavreni_data() {
    QTest::addColumn<int>("klavesa");
    QTest::addColumn<int>("vysledek");
    QTest::newRow("Enter") << int(Qt::Key_Return) << VysledekNe;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << VysledekNe;
    QTest::newRow("Space") << int(Qt::Key_Space) << VysledekNe;
    QTest::newRow("Esc, then frame") << int(Qt::Key_Escape) << VysledekZavreno;
    QTest::newRow("frame") << 0 << VysledekZavreno;
  }

  void klavesyAZavreni() {
    QFETCH(int, klavesa);
    QFETCH(int, vysledek);
    for (bool soubor : {true, false}) {
      TFormSouborExistuje s(nullptr);
      TFormOpravduSmazat m(nullptr);
      TFormPotvrzeni& d = soubor ? static_cast<TFormPotvrzeni&>(s) : m;
      QString fokus;
      QStringList otevrenoPoEsc;
      int vysledekDialogu = -1;
      const TOtazka o = Zeptej<TFormPotvrzeni>(d, [&](TFormPotvrzeni& x) {
        if (!Aktivuj(x)) return -1;
        fokus = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
        if (klavesa == Qt::Key_Escape) {
          for (int i = 0; i < 2 && EscNechaOtevreno(x); ++i) {
            otevrenoPoEsc << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
          }
          x.close();
        } else if (klavesa == 0) {
          x.close();
        } else {
          QTest::keyClick(QApplication::focusWidget(), Qt::Key(klavesa));
        }
        vysledekDialogu = x.result();
        return vysledekDialogu;
      });
      QCOMPARE(fokus, QStringLiteral("Button2"));
      if (klavesa == Qt::Key_Escape) QCOMPARE(otevrenoPoEsc, QStringList({"Button2", "Button1"}));
      // The dialog itself ends with the program's value, not Qt's 0 or 1.
      QCOMPARE(vysledekDialogu, vysledek);
      QCOMPARE(o.Vysledek, vysledek);
    }
  }

  void tabulatorKAno() {
    TFormOpravduSmazat d(nullptr);
    const TOtazka o = Zeptej<TFormOpravduSmazat>(d, [](TFormOpravduSmazat& x) {
      if (!Aktivuj(x)) return -1;
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      if (QApplication::focusWidget() != x.Button1) return -1;
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      return x.result();
    });
    QCOMPARE(o.Vysledek, VysledekAno);
  }

  void ikona() {
    const QImage obraz = IkonaVarovani().toImage();
    QCOMPARE(obraz.size(), QSize(48, 48));
    // Transparent corners, yellow inside the triangle, black on the mark.
    QCOMPARE(qAlpha(obraz.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(obraz.pixel(47, 0)), 0);
    const QColor zluta = obraz.pixelColor(15, 38);
    QVERIFY(zluta.red() > 200 && zluta.green() > 180 && zluta.blue() < 80);
    const QColor znak = obraz.pixelColor(24, 20);
    QVERIFY(znak.red() < 40 && znak.green() < 40 && znak.blue() < 40 && znak.alpha() == 255);
    const QColor tecka = obraz.pixelColor(24, 36);
    QVERIFY(tecka.red() < 40 && tecka.alpha() == 255);
    const QColor mezera = obraz.pixelColor(24, 33);
    QVERIFY(mezera.red() > 200);
  }

  // Without a test's answer the dialog runs its own event loop; whatever
  // ends it, the caller sees 6, 7 or 2.
  void bezOdpovedi_data() {
    QTest::addColumn<int>("zpusob");
    QTest::addColumn<int>("vysledek");
    QTest::newRow("Ano") << 0 << VysledekAno;
    QTest::newRow("Ne") << 1 << VysledekNe;
    QTest::newRow("frame") << 2 << VysledekZavreno;
    QTest::newRow("hidden") << 3 << VysledekZavreno;
  }

  void bezOdpovedi() {
    QFETCH(int, zpusob);
    QFETCH(int, vysledek);
    NastavZobrazovac({});
    TFormOpravduSmazat d(nullptr);
    QTimer::singleShot(0, &d, [&] {
      switch (zpusob) {
        case 0: QTest::mouseClick(d.Button1, Qt::LeftButton); break;
        case 1: QTest::mouseClick(d.Button2, Qt::LeftButton); break;
        case 2: d.close(); break;
        default: d.hide(); break;
      }
    });
    QCOMPARE(ZobrazModalne(d), vysledek);
  }
};

QTEST_MAIN(TestPotvrzeni)
#include "test_potvrzeni.moc"
