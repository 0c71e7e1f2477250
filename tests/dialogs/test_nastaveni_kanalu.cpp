// The channel settings dialog driven as the operator drives it: typed
// entries, the format list, the two buttons and the window frame.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QtTest>

#include "NastaveniKanalu.h"
#include "Ovladani.h"
#include "platform/Cp1250.h"
#include "platform/Mistni.h"

namespace {

TKanal Vzorovy() {
  TKanal k;
  k.Nazev = Cp1250("Teplota č.1");
  k.Adresa = 12;
  k.Funkce = 42;
  k.Periferie = 3;
  k.Format = "float32";
  k.DesetinnaMista = 2;
  k.KonstK = 0.25;
  k.KonstQ = -1.5;
  k.HodnotaU32 = -7;
  k.HodnotaF32 = 3.75;
  k.HodnotaB32 = 0xDEADBEEF;
  k.Hodnota = "3,75";
  k.Chyba = 5;
  return k;
}

struct TPrubeh {
  int Vysledek = -1;
  TKanal Kanal;
};

// Shows the dialog on `kanal` through the seam and lets `akce` work on it.
TPrubeh Uprav(const TKanal& kanal, const std::function<int(TFormNastaveniKanalu&)>& akce) {
  TOdpovedi odpovedi;
  odpovedi.Pridej<TFormNastaveniKanalu>(akce);
  TFormNastaveniKanalu dialog(nullptr);
  dialog.Kanal = kanal;
  TPrubeh p;
  p.Vysledek = ZobrazModalne(dialog);
  p.Kanal = dialog.Kanal;
  if (!odpovedi.Chyby().isEmpty()) qWarning() << odpovedi.Chyby();
  return p;
}

QString ChybaParametru() { return U("Chyba zadaných parametrů"); }

}  // namespace

class TestNastaveniKanalu : public QObject {
  Q_OBJECT
 private slots:
  void init() { NastavMistni(MistniCeske()); }

  void ukazujeKanal() {
    TKanal k = Vzorovy();
    k.KonstK = 1.0;
    QStringList texty;
    QWidget* fokus = nullptr;
    Uprav(k, [&](TFormNastaveniKanalu& d) {
      texty = {d.windowTitle(),
               d.Edit6->text(),
               d.Edit1->text(),
               d.Edit2->text(),
               d.ComboBox1->currentText(),
               d.Edit4->text(),
               d.Edit5->text(),
               d.Edit3->text(),
               d.StatusBar1->Text()};
      fokus = d.focusWidget() == d.Edit6 ? d.Edit6 : nullptr;
      return Klikni(d, d.Button2);
    });
    const QStringList cekane = {U(" Nastavení kanálu"),
                                U("Teplota č.1"),
                                U("12"),
                                U("3"),
                                U("float32"),
                                U("1"),
                                U("-1,5"),
                                U("2"),
                                QString()};
    QCOMPARE(texty, cekane);
    QVERIFY(fokus != nullptr);
  }

  void mezeHodnot_data() {
    QTest::addColumn<QString>("pole");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("prijato");
    QTest::newRow("address 0") << "adresa"
                               << "0" << true;
    QTest::newRow("address 254") << "adresa"
                                 << "254" << true;
    QTest::newRow("address 255") << "adresa"
                                 << "255" << false;
    QTest::newRow("address -1") << "adresa"
                                << "-1" << false;
    QTest::newRow("address letter") << "adresa"
                                    << "1a" << false;
    QTest::newRow("address empty") << "adresa"
                                   << "" << false;
    QTest::newRow("peripheral 255") << "periferie"
                                    << "255" << true;
    QTest::newRow("peripheral 256") << "periferie"
                                    << "256" << false;
    QTest::newRow("peripheral -1") << "periferie"
                                   << "-1" << false;
    QTest::newRow("decimals 7") << "mista"
                                << "7" << true;
    QTest::newRow("decimals 8") << "mista"
                                << "8" << false;
    QTest::newRow("decimals -1") << "mista"
                                 << "-1" << false;
    QTest::newRow("decimals 2.0") << "mista"
                                  << "2.0" << false;
    QTest::newRow("K empty") << "k"
                             << "" << false;
    QTest::newRow("Q empty") << "q"
                             << "" << false;
    QTest::newRow("K letter") << "k"
                              << "x1" << false;
    QTest::newRow("K overflow") << "k"
                                << "1e999" << false;
    QTest::newRow("Q exponent") << "q"
                                << "-2,5E-3" << true;
  }

  void mezeHodnot() {
    QFETCH(QString, pole);
    QFETCH(QString, text);
    QFETCH(bool, prijato);
    const TKanal puvodni = Vzorovy();
    QString stav;
    bool otevrenPoChybe = false;
    const TPrubeh p = Uprav(puvodni, [&](TFormNastaveniKanalu& d) {
      QLineEdit* e = pole == "adresa"      ? d.Edit1
                     : pole == "periferie" ? d.Edit2
                     : pole == "mista"     ? d.Edit3
                     : pole == "k"         ? d.Edit4
                                           : d.Edit5;
      Napis(e, text);
      const int r = Klikni(d, d.Button1);
      stav = d.StatusBar1->Text();
      otevrenPoChybe = d.isVisible();
      if (d.isVisible()) {
        // A second attempt is refused the same way.
        QTest::mouseClick(d.Button1, Qt::LeftButton);
        if (d.StatusBar1->Text() != stav) stav = QStringLiteral("changed");
        return Klikni(d, d.Button2);
      }
      return r;
    });
    if (prijato) {
      QCOMPARE(p.Vysledek, VysledekAno);
      QCOMPARE(stav, QString());
      TKanal cekany = puvodni;
      if (pole == "adresa") cekany.Adresa = static_cast<uint8_t>(text.toInt());
      if (pole == "periferie") cekany.Periferie = static_cast<uint8_t>(text.toInt());
      if (pole == "mista") cekany.DesetinnaMista = text.toInt();
      if (pole == "q") cekany.KonstQ = -2.5e-3;
      QVERIFY(Stejne(p.Kanal, cekany));
    } else {
      QVERIFY(otevrenPoChybe);
      QCOMPARE(stav, ChybaParametru());
      QCOMPARE(p.Vysledek, VysledekNe);
      QVERIFY(Stejne(p.Kanal, puvodni));
    }
  }

  void desetinnyOddelovac_data() {
    QTest::addColumn<bool>("ceske");
    QTest::addColumn<QString>("napsano");
    QTest::addColumn<QString>("zobrazeno");
    QTest::newRow("comma locale, point typed") << true << "2.5"
                                               << "2,5";
    QTest::newRow("comma locale, comma typed") << true << "2,5"
                                               << "2,5";
    QTest::newRow("point locale, comma typed") << false << "2,5"
                                               << "2.5";
    QTest::newRow("point locale, point typed") << false << "2.5"
                                               << "2.5";
  }

  void desetinnyOddelovac() {
    QFETCH(bool, ceske);
    QFETCH(QString, napsano);
    QFETCH(QString, zobrazeno);
    NastavMistni(ceske ? MistniCeske() : MistniAnglicke());
    QString textK, textQ, nabidnutoQ;
    const TPrubeh p = Uprav(Vzorovy(), [&](TFormNastaveniKanalu& d) {
      nabidnutoQ = d.Edit5->text();
      Napis(d.Edit4, napsano);
      const int r = Klikni(d, d.Button1);
      textK = d.Edit4->text();
      textQ = d.Edit5->text();
      return r;
    });
    QCOMPARE(nabidnutoQ, ceske ? U("-1,5") : U("-1.5"));
    QCOMPARE(p.Vysledek, VysledekAno);
    QCOMPARE(textK, zobrazeno);
    QCOMPARE(textQ, nabidnutoQ);
    QCOMPARE(p.Kanal.KonstK, 2.5);
    QCOMPARE(p.Kanal.KonstQ, -1.5);
  }

  // The separators are made regional before any check, so a refused entry
  // shows them too; cancelling still hands nothing back.
  void odmitnutiPoNormalizaci() {
    const TKanal puvodni = Vzorovy();
    QString textK;
    for (bool ramem : {false, true}) {
      const TPrubeh p = Uprav(puvodni, [&](TFormNastaveniKanalu& d) {
        Napis(d.Edit4, U("0.5"));
        Napis(d.Edit1, U("300"));
        QTest::mouseClick(d.Button1, Qt::LeftButton);
        textK = d.Edit4->text();
        if (!ramem) return Klikni(d, d.Button2);
        d.close();
        return d.result();
      });
      QCOMPARE(textK, U("0,5"));
      QCOMPARE(p.Vysledek, ramem ? VysledekZavreno : VysledekNe);
      QVERIFY(Stejne(p.Kanal, puvodni));
    }
  }

  void format_data() {
    QTest::addColumn<QString>("ulozeny");
    QTest::addColumn<QString>("ukazany");
    QTest::newRow("uint32") << "uint32"
                            << "uint32";
    QTest::newRow("float32") << "float32"
                             << "float32";
    QTest::newRow("bool32") << "bool32"
                            << "bool32";
    QTest::newRow("unknown") << "int16"
                             << "uint32";
    QTest::newRow("other case") << "FLOAT32"
                                << "uint32";
    QTest::newRow("empty") << ""
                           << "uint32";
  }

  void format() {
    QFETCH(QString, ulozeny);
    QFETCH(QString, ukazany);
    TKanal k = Vzorovy();
    k.Format = ulozeny.toStdString();
    QString videno;
    const TPrubeh p = Uprav(k, [&](TFormNastaveniKanalu& d) {
      videno = d.ComboBox1->currentText();
      return Klikni(d, d.Button1);
    });
    QCOMPARE(videno, ukazany);
    QCOMPARE(p.Vysledek, VysledekAno);
    QCOMPARE(QString::fromStdString(p.Kanal.Format), ukazany);
  }

  void bool32Sedne() {
    TKanal k = Vzorovy();
    k.Format = "uint32";
    bool povolenoNaZacatku = false, sedeVse = false, zpetVse = false;
    QStringList textyPred, textyVBool, textyPo;
    QString stav, format;
    const TPrubeh p = Uprav(k, [&](TFormNastaveniKanalu& d) {
      const QList<QWidget*> dvojice = {d.Label4, d.Edit3, d.Label5, d.Edit4, d.Label6, d.Edit5};
      auto vsechny = [&](bool povoleny) {
        for (QWidget* w : dvojice)
          if (w->isEnabled() != povoleny) return false;
        return d.Edit1->isEnabled() && d.Edit2->isEnabled() && d.Edit6->isEnabled();
      };
      povolenoNaZacatku = vsechny(true);
      // An invalid K, then greyed by "bool32", still stops "Použít".
      Napis(d.Edit4, U("k"));
      textyPred = {d.Edit3->text(), d.Edit4->text(), d.Edit5->text()};
      d.ComboBox1->setFocus();
      QTest::keyClick(d.ComboBox1, Qt::Key_Down);
      QTest::keyClick(d.ComboBox1, Qt::Key_Down);
      format = d.ComboBox1->currentText();
      sedeVse = vsechny(false);
      textyVBool = {d.Edit3->text(), d.Edit4->text(), d.Edit5->text()};
      QTest::mouseClick(d.Button1, Qt::LeftButton);
      stav = d.StatusBar1->Text();
      QTest::keyClick(d.ComboBox1, Qt::Key_Up);
      zpetVse = vsechny(true) && d.ComboBox1->currentText() == U("float32");
      textyPo = {d.Edit3->text(), d.Edit4->text(), d.Edit5->text()};
      Napis(d.Edit4, U("4"));
      return Klikni(d, d.Button1);
    });
    QVERIFY(povolenoNaZacatku);
    QCOMPARE(format, U("bool32"));
    QVERIFY(sedeVse);
    QCOMPARE(textyVBool, textyPred);
    QCOMPARE(stav, ChybaParametru());
    QVERIFY(zpetVse);
    QCOMPARE(textyPo, textyPred);
    QCOMPARE(p.Vysledek, VysledekAno);
    QCOMPARE(p.Kanal.Format, std::string("float32"));
    QCOMPARE(p.Kanal.KonstK, 4.0);
  }

  void jmeno() {
    for (const QString& jmeno : {QString(), U("Tlak  před čerpadlem ")}) {
      const TPrubeh p = Uprav(Vzorovy(), [&](TFormNastaveniKanalu& d) {
        Napis(d.Edit6, jmeno);
        return Klikni(d, d.Button1);
      });
      QCOMPARE(p.Vysledek, VysledekAno);
      QCOMPARE(p.Kanal.Nazev, Cp1250(jmeno.toStdString()));
    }
  }

  // Enter in an entry field presses no button, Tab walks the entries and
  // the buttons, Esc means nothing wherever the focus is (an open format
  // list closes only itself), and the frame still ends with 2.
  void klavesnice() {
    const TKanal puvodni = Vzorovy();
    // Names only: the widgets are gone with the dialog before the checks.
    QStringList poradi, zavrenoEscem, textyPred, textyPo;
    bool otevrenPoEnteru = false, seznamOtevren = false, seznamZavren = false;
    const TPrubeh p = Uprav(puvodni, [&](TFormNastaveniKanalu& d) {
      if (!Aktivuj(d)) return -1;
      auto texty = [&] {
        return QStringList{
            d.Edit6->text(), d.Edit1->text(), d.Edit2->text(), d.ComboBox1->currentText(),
            d.Edit4->text(), d.Edit5->text(), d.Edit3->text(), d.StatusBar1->Text()};
      };
      Napis(d.Edit6, U("Rozepsáno"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      otevrenPoEnteru = d.isVisible();
      textyPred = texty();
      for (int i = 0; i < 9; ++i) {
        poradi << QApplication::focusWidget()->objectName();
        if (!EscNechaOtevreno(d)) {
          zavrenoEscem << poradi.back();
          break;
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      }
      if (!d.isVisible()) return d.result();
      d.ComboBox1->setFocus();
      d.ComboBox1->showPopup();
      if (QWidget* seznam = QApplication::activePopupWidget()) {
        seznamOtevren = true;
        QTest::keyClick(seznam->focusWidget() ? seznam->focusWidget() : seznam, Qt::Key_Escape);
        seznamZavren = !seznam->isVisible();
      }
      if (!d.isVisible()) zavrenoEscem << QStringLiteral("open list");
      textyPo = texty();
      d.close();
      return d.result();
    });
    QVERIFY(otevrenPoEnteru);
    QCOMPARE(poradi, QStringList({"Edit6", "Edit1", "Edit2", "ComboBox1", "Edit4", "Edit5", "Edit3",
                                  "Button1", "Button2"}));
    QCOMPARE(zavrenoEscem, QStringList());
    QVERIFY(seznamOtevren);
    QVERIFY(seznamZavren);
    QCOMPARE(textyPo, textyPred);
    QCOMPARE(textyPred.first(), U("Rozepsáno"));
    QCOMPARE(p.Vysledek, VysledekZavreno);
    QVERIFY(Stejne(p.Kanal, puvodni));
  }

  // Each label's text fits its place left of the fields.
  void popiskyVejdou() {
    TFormNastaveniKanalu d(nullptr);
    for (QLabel* l : {d.Label1, d.Label2, d.Label3, d.Label4, d.Label5, d.Label6, d.Label7})
      QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= d.Edit1->x() - l->x(),
               qPrintable(l->text()));
  }
};

QTEST_MAIN(TestNastaveniKanalu)
#include "test_nastaveni_kanalu.moc"
