// The channel list dialog with its nested settings dialog, both answered
// through the seam, and the caller's side of the working copy.

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

#include "DefiniceKanalu.h"
#include "NastaveniKanalu.h"
#include "Ovladani.h"
#include "platform/Cp1250.h"
#include "platform/Mistni.h"

namespace {

// A table whose every entry, 256 included, can be told from the others.
TPoleKanal Tabulka() {
  TPoleKanal t{};
  for (int i = 0; i < 257; ++i) {
    TKanal& k = t[i];
    k.Nazev = "K" + std::to_string(i);
    k.Adresa = static_cast<uint8_t>(i % 255);
    k.Funkce = static_cast<uint8_t>(100 + i % 100);
    k.Periferie = static_cast<uint8_t>(255 - i % 256);
    k.Format = i % 3 == 0 ? "uint32" : i % 3 == 1 ? "float32" : "bool32";
    k.DesetinnaMista = i % 8;
    k.KonstK = 0.25 * (i + 1);
    k.KonstQ = -i;
    k.HodnotaU32 = i * 3;
    k.HodnotaF32 = i / 2.0;
    k.HodnotaB32 = static_cast<uint32_t>(i) << 8;
    k.Hodnota = "h" + std::to_string(i);
    k.Chyba = static_cast<uint8_t>(i % 7);
  }
  return t;
}

bool StejneTabulky(const TPoleKanal& a, const TPoleKanal& b) {
  for (int i = 0; i < 257; ++i)
    if (!Stejne(a[i], b[i])) return false;
  return true;
}

// Answer of the settings dialog: types `jmeno` as the name and confirms.
std::function<int(TFormNastaveniKanalu&)> Potvrd(const QString& jmeno) {
  return [jmeno](TFormNastaveniKanalu& d) {
    Napis(d.Edit6, jmeno);
    return Klikni(d, d.Button1);
  };
}

std::function<int(TFormNastaveniKanalu&)> Zrus() {
  return [](TFormNastaveniKanalu& d) { return Klikni(d, d.Button2); };
}

void KlikniRadek(TFormDefiniceKanalu& d, int radek) {
  const QRect bunka = d.StringGrid1->visualRect(d.StringGrid1->model()->index(radek - 1, 1));
  QTest::mouseClick(d.StringGrid1->viewport(), Qt::LeftButton, {}, bunka.center());
}

QStringList Radek(const TFormDefiniceKanalu& d, int radek) {
  QStringList texty;
  for (int s = 0; s < 8; ++s) texty << d.TextBunky(radek, s);
  return texty;
}

// The caller's side: hands in a copy, shows the dialog, and takes the copy
// back only after "Použít".  `scenar` plays the operator.
struct TVolajici {
  TPoleKanal Kanaly = Tabulka();
  int32_t Pocet = 5;
  TOdpovedi Odpovedi;

  int Definuj(const std::function<int(TFormDefiniceKanalu&)>& scenar) {
    TFormDefiniceKanalu dialog(nullptr);
    dialog.PoleKanalu = Kanaly;
    dialog.PocetKanalu = Pocet;
    // The list dialog opens before the settings dialogs queued for it.
    Odpovedi.Pridej<TFormDefiniceKanalu>(scenar, true);
    const int vysledek = ZobrazModalne(dialog);
    if (vysledek == VysledekAno) {
      Kanaly = dialog.PoleKanalu;
      Pocet = dialog.PocetKanalu;
    }
    return vysledek;
  }
};

#define OVER_ODPOVEDI(v)                           \
  do {                                             \
    QCOMPARE((v).Odpovedi.Chyby(), QStringList()); \
    QCOMPARE((v).Odpovedi.Zbyva(), 0);             \
  } while (false)

}  // namespace

class TestDefiniceKanalu : public QObject {
  Q_OBJECT
 private slots:
  void init() { NastavMistni(MistniCeske()); }

  void otevreni() {
    TVolajici v;
    v.Kanaly[0].Nazev = Cp1250("Průtok");
    v.Kanaly[0].KonstK = 1.0;
    QStringList zahlavi, radek1, radek5;
    int radku = 0, vybrany = 0;
    QString pocet, titulek;
    bool fokus = false;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      titulek = d.windowTitle();
      for (int s = 0; s < 8; ++s) zahlavi << d.TextBunky(0, s);
      radek1 = Radek(d, 1);
      radek5 = Radek(d, 5);
      radku = d.PocetRadku();
      vybrany = d.VybranyRadek();
      pocet = d.Label2->text();
      fokus = d.focusWidget() == d.StringGrid1;
      return Klikni(d, d.Button5);
    });
    QCOMPARE(titulek, U(" Definice měřených kanálů"));
    QCOMPARE(zahlavi, QStringList({U("Kanál"), U("Název"), U("Adresa"), U("Periferie"), U("Formát"),
                                   U("Konst. K"), U("Konst. Q"), U("Desetinná místa")}));
    QCOMPARE(radek1, QStringList({"Ch0", U("Průtok"), "0", "255", "uint32", "1", "0", "0"}));
    QCOMPARE(radek5, QStringList({"Ch4", "K4", "4", "251", "float32", "1,25", "-4", "4"}));
    QCOMPARE(radku, 6);
    QCOMPARE(vybrany, 1);
    QCOMPARE(pocet, U("5"));
    QVERIFY(fokus);
    OVER_ODPOVEDI(v);
  }

  // A count the table cannot hold is taken as the nearest one it can.
  void pocetMimoTabulku_data() {
    QTest::addColumn<int>("pocet");
    QTest::addColumn<int>("platny");
    QTest::newRow("above") << 300 << 256;
    QTest::newRow("below") << -5 << 0;
  }

  void pocetMimoTabulku() {
    QFETCH(int, pocet);
    QFETCH(int, platny);
    TVolajici v;
    v.Pocet = pocet;
    int radku = 0;
    QString label;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      radku = d.PocetRadku();
      label = d.Label2->text();
      // Deleting must not read past the table, adding must not exceed it.
      QTest::mouseClick(d.Button2, Qt::LeftButton);
      QTest::mouseClick(d.Button2, Qt::LeftButton);
      return Klikni(d, d.Button4);
    });
    QCOMPARE(radku, std::max(platny + 1, 2));
    QCOMPARE(label, QString::number(platny));
    QCOMPARE(v.Pocet, std::max(platny - 2, 0));
    OVER_ODPOVEDI(v);
  }

  void prazdnySeznamNabizi() {
    TVolajici v;
    v.Pocet = 0;
    QStringList nabidnuto;
    int radku = 0;
    QStringList prazdnyRadek;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>([&](TFormNastaveniKanalu& d) {
      nabidnuto = {d.Edit6->text(), d.Edit1->text(), d.Edit2->text(), d.ComboBox1->currentText(),
                   d.Edit3->text(), d.Edit4->text(), d.Edit5->text()};
      return Klikni(d, d.Button2);
    });
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      radku = d.PocetRadku();
      prazdnyRadek = Radek(d, 1);
      QTest::mouseClick(d.Button1, Qt::LeftButton);
      return Klikni(d, d.Button5);
    });
    QCOMPARE(r, VysledekNe);
    QCOMPARE(radku, 2);
    QCOMPARE(prazdnyRadek, QStringList(8, QString()));
    QCOMPARE(nabidnuto, QStringList({U("Kanál 0"), "1", "0", "uint32", "0", "1", "0"}));
    OVER_ODPOVEDI(v);
  }

  // "Nový" fills an empty list up to 256 channels, each proposal being the
  // channel added before; the 257th is refused without a dialog.
  void novyAzDoPlna() {
    TVolajici v;
    v.Pocet = 0;
    QString jmenoNabidky;
    for (int i = 0; i < 256; ++i)
      v.Odpovedi.Pridej<TFormNastaveniKanalu>([&, i](TFormNastaveniKanalu& d) {
        if (i == 200) jmenoNabidky = d.Edit6->text();
        Napis(d.Edit6, QStringLiteral("N%1").arg(i));
        Napis(d.Edit1, QString::number(i % 255));
        return Klikni(d, d.Button1);
      });
    QString stav, stavVlozit, pocet, posledni;
    int vybrany = 0, zobrazenoPredOdmitnutim = 0, zobrazenoPo = 0;
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      for (int i = 0; i < 256; ++i) QTest::mouseClick(d.Button1, Qt::LeftButton);
      vybrany = d.VybranyRadek();
      posledni = Radek(d, 256).join('|');
      zobrazenoPredOdmitnutim = v.Odpovedi.PocetZobrazeni();
      QTest::mouseClick(d.Button1, Qt::LeftButton);
      stav = d.StatusBar1->Text();
      d.StatusBar1->Vymaz();
      QTest::mouseClick(d.Button6, Qt::LeftButton);
      stavVlozit = d.StatusBar1->Text();
      zobrazenoPo = v.Odpovedi.PocetZobrazeni();
      pocet = d.Label2->text();
      return Klikni(d, d.Button4);
    });
    QCOMPARE(r, VysledekAno);
    QCOMPARE(jmenoNabidky, U("N199"));
    QCOMPARE(vybrany, 256);
    QCOMPARE(posledni, U("Ch255|N255|0|0|uint32|1|0|0"));
    QCOMPARE(zobrazenoPo, zobrazenoPredOdmitnutim);
    QCOMPARE(stav, U("Nelze přidat další kanál (max. 256 kanálů)"));
    QCOMPARE(stavVlozit, stav);
    QCOMPARE(pocet, U("256"));
    QCOMPARE(v.Pocet, 256);
    const TPoleKanal puvodni = Tabulka();
    for (int i = 0; i < 256; ++i) {
      QCOMPARE(v.Kanaly[i].Nazev, "N" + std::to_string(i));
      QCOMPARE(int{v.Kanaly[i].Adresa}, i % 255);
      // "Nový" writes the edited fields only; the rest of the entry stays.
      QCOMPARE(v.Kanaly[i].Funkce, puvodni[i].Funkce);
      QCOMPARE(v.Kanaly[i].Hodnota, puvodni[i].Hodnota);
    }
    QVERIFY(Stejne(v.Kanaly[256], puvodni[256]));
    OVER_ODPOVEDI(v);
  }

  void vlozitNaRadek3() {
    TVolajici v;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Potvrd(U("Nový třetí")));
    QStringList r3, r4, r6;
    int vybrany = 0;
    QString pocet;
    TKanal nabidka;
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      KlikniRadek(d, 3);
      QTest::mouseClick(d.Button6, Qt::LeftButton);
      r3 = Radek(d, 3);
      r4 = Radek(d, 4);
      r6 = Radek(d, 6);
      vybrany = d.VybranyRadek();
      pocet = d.Label2->text();
      nabidka = d.NovyKanal;
      return Klikni(d, d.Button4);
    });
    QCOMPARE(r, VysledekAno);
    QCOMPARE(r3.mid(0, 2), QStringList({"Ch2", U("Nový třetí")}));
    QCOMPARE(r4.mid(0, 2), QStringList({"Ch3", "K2"}));
    QCOMPARE(r6.mid(0, 2), QStringList({"Ch5", "K4"}));
    QCOMPARE(vybrany, 3);
    QCOMPARE(pocet, U("6"));
    QCOMPARE(v.Pocet, 6);
    const TPoleKanal puvodni = Tabulka();
    QVERIFY(Stejne(v.Kanaly[0], puvodni[0]));
    QVERIFY(Stejne(v.Kanaly[1], puvodni[1]));
    // The whole proposal is stored: the new channel is the last one's copy
    // with the edited name, its function byte included.
    TKanal cekany = puvodni[4];
    cekany.Nazev = Cp1250("Nový třetí");
    QVERIFY(Stejne(v.Kanaly[2], cekany));
    QVERIFY(Stejne(nabidka, cekany));
    for (int i = 3; i <= 5; ++i) QVERIFY(Stejne(v.Kanaly[i], puvodni[i - 1]));
    QVERIFY(Stejne(v.Kanaly[6], puvodni[6]));
    OVER_ODPOVEDI(v);
  }

  void vlozitDoPrazdneho() {
    TVolajici v;
    v.Pocet = 0;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Potvrd(U("Jediný")));
    QStringList r1;
    int radku = 0;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      KlikniRadek(d, 1);
      QTest::mouseClick(d.Button6, Qt::LeftButton);
      r1 = Radek(d, 1);
      radku = d.PocetRadku();
      return Klikni(d, d.Button4);
    });
    QCOMPARE(r1, QStringList({"Ch0", U("Jediný"), "1", "0", "uint32", "1", "0", "0"}));
    QCOMPARE(radku, 2);
    QCOMPARE(v.Pocet, 1);
    QCOMPARE(v.Kanaly[0].Nazev, Cp1250("Jediný"));
    QCOMPARE(int{v.Kanaly[0].Funkce}, 0);
    OVER_ODPOVEDI(v);
  }

  void smazat_data() {
    QTest::addColumn<int>("pocet");
    QTest::addColumn<int>("radek");
    QTest::addColumn<int>("vybranyPo");
    QTest::newRow("last") << 5 << 5 << 4;
    QTest::newRow("middle") << 5 << 2 << 2;
    QTest::newRow("first") << 5 << 1 << 1;
    QTest::newRow("only") << 1 << 1 << 1;
    QTest::newRow("full table") << 256 << 256 << 255;
  }

  void smazat() {
    QFETCH(int, pocet);
    QFETCH(int, radek);
    QFETCH(int, vybranyPo);
    TVolajici v;
    v.Pocet = pocet;
    int vybrany = 0, radku = 0;
    QStringList vybranyText, posledniText;
    QString stav, label;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      d.StatusBar1->NastavText(QStringLiteral("old"));
      d.VyberRadek(radek);
      QTest::mouseClick(d.Button2, Qt::LeftButton);
      vybrany = d.VybranyRadek();
      radku = d.PocetRadku();
      vybranyText = Radek(d, vybrany);
      posledniText = Radek(d, radku - 1);
      stav = d.StatusBar1->Text();
      label = d.Label2->text();
      return Klikni(d, d.Button4);
    });
    const TPoleKanal puvodni = Tabulka();
    QCOMPARE(v.Pocet, pocet - 1);
    QCOMPARE(label, QString::number(pocet - 1));
    QCOMPARE(stav, QString());
    QCOMPARE(vybrany, vybranyPo);
    QCOMPARE(radku, std::max(pocet, 2));
    if (pocet == 1) {
      QCOMPARE(vybranyText, QStringList(8, QString()));
    } else {
      // Row numbers and labels follow the list; the selected row now shows
      // the channel after the deleted one (or the new last one).
      QCOMPARE(vybranyText[0], QStringLiteral("Ch%1").arg(vybranyPo - 1));
      const int zdroj = vybranyPo - 1 >= radek - 1 ? vybranyPo : vybranyPo - 1;
      QCOMPARE(vybranyText[1], QStringLiteral("K%1").arg(zdroj));
      QCOMPARE(posledniText[0], QStringLiteral("Ch%1").arg(pocet - 2));
    }
    for (int i = 0; i < 257; ++i) {
      const int zdroj = i < radek - 1 ? i : (i < pocet ? i + 1 : i);
      if (i < pocet) QVERIFY2(Stejne(v.Kanaly[i], puvodni[zdroj]), qPrintable(QString::number(i)));
    }
    // With a full table the spare entry fills the freed place.
    if (pocet == 256) QVERIFY(Stejne(v.Kanaly[255], puvodni[256]));
    OVER_ODPOVEDI(v);
  }

  void prazdnySeznamZmenitSmazat() {
    TVolajici v;
    v.Pocet = 1;
    QString poZmenit, poSmazat;
    int zobrazeno = -1;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      QTest::mouseClick(d.Button2, Qt::LeftButton);
      QTest::mouseClick(d.Button3, Qt::LeftButton);
      poZmenit = d.StatusBar1->Text();
      QTest::mouseClick(d.Button2, Qt::LeftButton);
      poSmazat = d.StatusBar1->Text();
      zobrazeno = v.Odpovedi.PocetZobrazeni();
      return Klikni(d, d.Button4);
    });
    QCOMPARE(poZmenit, U("Není zadán žádný kanál"));
    QCOMPARE(poSmazat, poZmenit);
    QCOMPARE(zobrazeno, 1);
    QCOMPARE(v.Pocet, 0);
    OVER_ODPOVEDI(v);
  }

  // "Změnit" hands the settings dialog the edited fields only and writes
  // them back, so the function byte and the last reading stay.
  void zmenitZachovaFunkci() {
    TVolajici v;
    v.Kanaly[3].Funkce = 42;
    int funkceVDialogu = -1;
    QString nabidnutoK;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>([&](TFormNastaveniKanalu& d) {
      funkceVDialogu = d.Kanal.Funkce;
      nabidnutoK = d.Edit4->text();
      Napis(d.Edit6, U("Změněný"));
      Napis(d.Edit4, U("0.5"));
      return Klikni(d, d.Button1);
    });
    // The same change by a double-click on the row.
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Potvrd(U("Dvojklik")));
    QStringList r4, r2;
    int vybrany = 0;
    TKanal nabidka;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      KlikniRadek(d, 4);
      QTest::mouseClick(d.Button3, Qt::LeftButton);
      r4 = Radek(d, 4);
      vybrany = d.VybranyRadek();
      nabidka = d.NovyKanal;
      const QRect bunka = d.StringGrid1->visualRect(d.StringGrid1->model()->index(1, 2));
      QTest::mouseClick(d.StringGrid1->viewport(), Qt::LeftButton, {}, bunka.center());
      QTest::mouseDClick(d.StringGrid1->viewport(), Qt::LeftButton, {}, bunka.center());
      r2 = Radek(d, 2);
      return Klikni(d, d.Button4);
    });
    const TPoleKanal puvodni = Tabulka();
    QCOMPARE(funkceVDialogu, 0);
    QCOMPARE(nabidnutoK, U("1"));
    QCOMPARE(r4, QStringList({"Ch3", U("Změněný"), "3", "252", "uint32", "0,5", "-3", "3"}));
    QCOMPARE(vybrany, 4);
    QVERIFY(Stejne(nabidka, puvodni[4]));
    TKanal cekany = puvodni[3];
    cekany.Funkce = 42;
    cekany.Nazev = Cp1250("Změněný");
    cekany.KonstK = 0.5;
    QVERIFY(Stejne(v.Kanaly[3], cekany));
    QCOMPARE(r2[1], U("Dvojklik"));
    QCOMPARE(v.Kanaly[1].Nazev, std::string("Dvojklik"));
    QCOMPARE(v.Kanaly[1].Funkce, puvodni[1].Funkce);
    OVER_ODPOVEDI(v);
  }

  // A cancelled or closed settings dialog changes nothing and clears the
  // status panel.
  void zrusenaNastaveni() {
    TVolajici v;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Zrus());
    v.Odpovedi.Pridej<TFormNastaveniKanalu>([](TFormNastaveniKanalu& d) {
      Napis(d.Edit6, U("nic"));
      d.close();
      return d.result();
    });
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Zrus());
    QStringList stavy;
    QList<QStringList> radky;
    TKanal nabidka;
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      const TKanal pred = d.NovyKanal;
      for (TTlacitko* t : {d.Button1, d.Button6, d.Button3}) {
        d.StatusBar1->NastavText(QStringLiteral("old"));
        QTest::mouseClick(t, Qt::LeftButton);
        stavy << d.StatusBar1->Text();
      }
      for (int i = 1; i < d.PocetRadku(); ++i) radky << Radek(d, i);
      nabidka = d.NovyKanal;
      return Stejne(pred, nabidka) ? Klikni(d, d.Button4) : -1;
    });
    QCOMPARE(r, VysledekAno);
    QCOMPARE(stavy, QStringList(3, QString()));
    QCOMPARE(radky.size(), 5);
    QCOMPARE(v.Pocet, 5);
    QVERIFY(StejneTabulky(v.Kanaly, Tabulka()));
    OVER_ODPOVEDI(v);
  }

  // Whatever was done inside, "Zrušit" and the frame leave the caller's
  // table and count as they were.
  void zrusitNechaTabulku_data() {
    QTest::addColumn<bool>("ramem");
    QTest::newRow("Zrušit") << false;
    QTest::newRow("frame") << true;
  }

  void zrusitNechaTabulku() {
    QFETCH(bool, ramem);
    TVolajici v;
    for (int i = 0; i < 3; ++i) v.Odpovedi.Pridej<TFormNastaveniKanalu>(Potvrd(U("změna")));
    int pocetUvnitr = 0;
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      QTest::mouseClick(d.Button1, Qt::LeftButton);
      KlikniRadek(d, 2);
      QTest::mouseClick(d.Button6, Qt::LeftButton);
      QTest::mouseClick(d.Button3, Qt::LeftButton);
      for (int i = 0; i < 4; ++i) QTest::mouseClick(d.Button2, Qt::LeftButton);
      pocetUvnitr = d.PocetKanalu;
      if (!ramem) return Klikni(d, d.Button5);
      d.close();
      return d.result();
    });
    QCOMPARE(pocetUvnitr, 3);
    QCOMPARE(r, ramem ? VysledekZavreno : VysledekNe);
    QCOMPARE(v.Pocet, 5);
    QVERIFY(StejneTabulky(v.Kanaly, Tabulka()));
    OVER_ODPOVEDI(v);
  }

  void koleckoNicNedela() {
    TVolajici v;
    v.Pocet = 100;
    int vybranyPred = 0, vybranyPo = 0, posunPred = 0, posunPo = 0, posunPoKlavese = 0;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      d.VyberRadek(20);
      vybranyPred = d.VybranyRadek();
      posunPred = d.StringGrid1->verticalScrollBar()->value();
      QWidget* cile[] = {d.StringGrid1->viewport(), d.StringGrid1->verticalScrollBar()};
      for (QWidget* cil : cile)
        for (int smer : {-120, 120, -360}) {
          const QPointF misto(cil->width() / 2.0, cil->height() / 2.0);
          QWheelEvent kolecko(misto, cil->mapToGlobal(misto), QPoint(), QPoint(0, smer),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
          QApplication::sendEvent(cil, &kolecko);
        }
      vybranyPo = d.VybranyRadek();
      posunPo = d.StringGrid1->verticalScrollBar()->value();
      // The arrow keys do move the selection.
      d.StringGrid1->setFocus();
      for (int i = 0; i < 30; ++i) QTest::keyClick(d.StringGrid1, Qt::Key_Down);
      posunPoKlavese = d.VybranyRadek();
      return Klikni(d, d.Button5);
    });
    QCOMPARE(vybranyPred, 20);
    QCOMPARE(vybranyPo, 20);
    QCOMPARE(posunPo, posunPred);
    QCOMPARE(posunPoKlavese, 50);
    OVER_ODPOVEDI(v);
  }

  // Enter presses nothing unless a button has the focus, Tab walks grid and
  // buttons in their order, Esc means nothing wherever the focus is (an
  // edit made before stays), and the frame still ends with 2.
  void klavesnice() {
    TVolajici v;
    v.Odpovedi.Pridej<TFormNastaveniKanalu>(Potvrd(U("Přidaný")));
    bool otevrenPoEnteru = false;
    QStringList poradi, zavrenoEscem;
    QString pred, po;
    const int r = v.Definuj([&](TFormDefiniceKanalu& d) {
      if (!Aktivuj(d)) return -1;
      auto stav = [&] {
        return QStringLiteral("%1|%2|%3|")
                   .arg(d.PocetKanalu)
                   .arg(d.VybranyRadek())
                   .arg(d.StatusBar1->Text()) +
               Radek(d, d.PocetRadku() - 1).join('|');
      };
      poradi << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      otevrenPoEnteru = d.isVisible();
      // On to "Nový": Enter opens the settings dialog, which adds a channel.
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      if (!Aktivuj(d)) return -1;
      pred = stav();
      for (int i = 0; i < 7; ++i) {
        poradi << QApplication::focusWidget()->objectName();
        if (!EscNechaOtevreno(d)) {
          zavrenoEscem << poradi.back();
          break;
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      }
      po = stav();
      d.close();
      return d.result();
    });
    QVERIFY(otevrenPoEnteru);
    QCOMPARE(poradi, QStringList({"StringGrid1", "Button1", "Button6", "Button3", "Button2",
                                  "Button4", "Button5", "StringGrid1"}));
    QCOMPARE(zavrenoEscem, QStringList());
    QCOMPARE(pred, U("6|6||Ch5|Přidaný|4|251|float32|1,25|-4|4"));
    QCOMPARE(po, pred);
    QCOMPARE(r, VysledekZavreno);
    QCOMPARE(v.Odpovedi.PocetZobrazeni(), 2);
    QCOMPARE(v.Pocet, 5);
    OVER_ODPOVEDI(v);
  }

  // A left double-click anywhere on the grid is "Změnit" for the selected
  // row, also off the cells; with no channels it gives the message instead.
  void dvojklik_data() {
    QTest::addColumn<QString>("kam");
    QTest::addColumn<int>("pocet");
    QTest::addColumn<bool>("levym");
    for (const char* kam : {"below", "right", "header"}) {
      QTest::newRow(kam) << kam << 5 << true;
      QTest::newRow(qPrintable(QStringLiteral("%1, no channel").arg(kam))) << kam << 0 << true;
    }
    QTest::newRow("header, right button") << "header" << 5 << false;
  }

  void dvojklik() {
    QFETCH(QString, kam);
    QFETCH(int, pocet);
    QFETCH(bool, levym);
    TVolajici v;
    v.Pocet = pocet;
    const bool otevre = pocet > 0 && levym;
    QString nabidnuto;
    if (otevre)
      v.Odpovedi.Pridej<TFormNastaveniKanalu>([&](TFormNastaveniKanalu& d) {
        nabidnuto = d.Edit6->text();
        return Potvrd(U("Dvojklik"))(d);
      });
    bool mimoBunky = false;
    int vybrany = 0;
    QString stav;
    v.Definuj([&](TFormDefiniceKanalu& d) {
      QTableWidget* g = d.StringGrid1;
      if (pocet > 0) KlikniRadek(d, 3);
      QWidget* cil = kam == "header" ? g->horizontalHeader()->viewport() : g->viewport();
      // Below the last row, right of the last column in the first row, or
      // on the second column's header.
      QPoint misto(cil->width() - 5, 10);
      if (kam == "below") misto = QPoint(100, cil->height() - 5);
      if (kam == "header") misto = QPoint(g->columnViewportPosition(1) + 10, cil->height() / 2);
      mimoBunky = kam == "header" || !g->indexAt(misto).isValid();
      const Qt::MouseButton tlacitko = levym ? Qt::LeftButton : Qt::RightButton;
      QTest::mouseClick(cil, tlacitko, {}, misto);
      QTest::mouseDClick(cil, tlacitko, {}, misto);
      QTest::mouseRelease(cil, tlacitko, {}, misto);
      vybrany = d.VybranyRadek();
      stav = d.StatusBar1->Text();
      return Klikni(d, d.Button4);
    });
    QVERIFY(mimoBunky);
    QCOMPARE(v.Odpovedi.PocetZobrazeni(), otevre ? 2 : 1);
    QCOMPARE(stav, pocet > 0 ? QString() : U("Není zadán žádný kanál"));
    if (pocet > 0) {
      QCOMPARE(vybrany, 3);
      QCOMPARE(nabidnuto, otevre ? U("K2") : QString());
      QCOMPARE(v.Kanaly[2].Nazev, std::string(otevre ? "Dvojklik" : "K2"));
    }
    OVER_ODPOVEDI(v);
  }

  // All eight columns fit beside the vertical scroll bar.
  void sloupceVejdou() {
    TFormDefiniceKanalu d(nullptr);
    int celkem = 0;
    for (int s = 0; s < 8; ++s) celkem += d.StringGrid1->columnWidth(s);
    QCOMPARE(celkem, 557);
    QVERIFY(celkem <= d.StringGrid1->width() - 2 * d.StringGrid1->frameWidth() -
                          d.StringGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  }
};

QTEST_MAIN(TestDefiniceKanalu)
#include "test_definice_kanalu.moc"
