// The main window without a running measurement: the task in the controls
// and back, the grid, the data-file choice, the task commands and closing.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <csignal>

#include <filesystem>

#include "Cp1250.h"
#include "DefiniceKanalu.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Mistni.h"
#include "Modalni.h"
#include "Pomocne.h"
#include "Preklady.h"
#include "Proces.h"
#include "Profil.h"
#include "Signaly.h"
#include "SouborovyDialog.h"

namespace fs = std::filesystem;

namespace {
// Windows-1250 bytes of a UTF-8 literal.
QByteArray B(const char* s) { return QByteArray::fromStdString(Cp1250(s)); }

void Zapis(const fs::path& p, const QByteArray& obsah) {
  QFile f(QString::fromStdString(p.string()));
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(obsah);
}

// A dialog a failing test leaves open is closed after a while, so the test
// fails instead of hanging.
// The timer goes with `kontext` (the test's window).
void ZavriDialogPozdeji(QObject* kontext) {
  QTimer::singleShot(3000, kontext, [] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
  });
}

// Answers the file dialogs with a fixed name and filter.
void OdpovidejSouborem(const QString& jmeno, int filtr = 1, TSouborovyDotaz* dotaz = nullptr) {
  NastavSouborovyZobrazovac([=](const TSouborovyDotaz& d) {
    if (dotaz) *dotaz = d;
    TSouborovaOdpoved o;
    o.Potvrzeno = !jmeno.isNull();
    o.Jmeno = jmeno;
    o.IndexFiltru = filtr;
    return o;
  });
}
}  // namespace

class TestHlavni : public QObject {
  Q_OBJECT

  QTemporaryDir slozka_;
  fs::path Slozka() const { return fs::path(slozka_.path().toStdString()); }

 private slots:
  void init() {
    QVERIFY(slozka_.isValid());
    PripravSlozku(Slozka());
    NastavMistni(MistniCeske());
    NastavZobrazovac({});
    NastavSouborovyZobrazovac({});
  }

  void cleanup() {
    NastavZobrazovac({});
    NastavSouborovyZobrazovac({});
  }

  void vychoziUlohaVOkne() {
    TForm1 w;
    QCOMPARE(w.windowTitle(), T(" Zentrolix datalogger  (v.1.03)"));
    QCOMPARE(w.size(), QSize(818, 444));
    QCOMPARE(w.Label18->text(), T("NovaUloha.zq"));
    QCOMPARE(w.ComboBox3->currentText(), T("Standardní COMx"));
    QVERIFY(!w.Panel2->isHidden());
    QVERIFY(w.Panel1->isHidden());
    QVERIFY(w.Panel3->isHidden());
    QCOMPARE(w.Edit5->text(), T("1"));
    QCOMPARE(w.Edit7->text(), T("300h"));
    QCOMPARE(w.Edit1->text(), T("192.168.1.100"));
    QCOMPARE(w.ComboBox2->currentText(), T("9600 Bd"));
    QCOMPARE(w.ComboBox1->currentText(), T("1 sek"));
    QCOMPARE(w.ComboBox4->currentText(), T("nulovat hodnotu"));
    QCOMPARE(w.Edit3->text(), T("ZQ_datalogger.txt"));
    QCOMPARE(w.Label16->text(), T("1"));
    QCOMPARE(w.Label7->text(), T("0"));
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QCOMPARE(w.PocetRadku(), 2);
    QCOMPARE(w.Bunka(0, 0), T("Kanál"));
    QCOMPARE(w.Bunka(3, 0), T("Chyba"));
    QCOMPARE(w.Bunka(0, 1), T("Ch0"));
    QCOMPARE(w.Bunka(1, 1), T("Kanál 0"));
    // A name the column cuts is whole in its cell's tooltip.
    QCOMPARE(w.StringGrid1->model()->index(0, 1).data(Qt::ToolTipRole).toString(), T("Kanál 0"));
    QCOMPARE(w.Bunka(2, 1), T("0"));
    // A few places of the fixed layout.
    QCOMPARE(w.GroupBox3->geometry(), QRect(464, 8, 345, 409));
    QCOMPARE(w.Button2->geometry(), QRect(248, 376, 75, 21));
    QCOMPARE(w.Button3->geometry(), QRect(192, 392, 75, 21));
    QCOMPARE(w.StringGrid1->geometry(), QRect(8, 16, 329, 341));
    QCOMPARE(w.StringGrid1->columnWidth(2), 123);
  }

  void bazovaAdresa() {
    TForm1 w;
    TCFG u;
    InitCFG(u);
    u.BazovaAdresa = 0x2A0;
    w.ZapisOkno(u);
    QCOMPARE(w.Edit7->text(), T("2A0h"));
    u.BazovaAdresa = 0x3F;
    w.ZapisOkno(u);
    QCOMPARE(w.Edit7->text(), T("03Fh"));

    w.Edit7->setText(T("2a0h"));
    QVERIFY(w.PrectiOkno(u));
    QCOMPARE(u.BazovaAdresa, 0x2A0);
    w.Edit7->setText(T("300"));
    QVERIFY(w.PrectiOkno(u));
    QCOMPARE(u.BazovaAdresa, 300);
    w.Edit7->setText(T("12x4h"));
    QVERIFY(!w.PrectiOkno(u));
    QCOMPARE(u.BazovaAdresa, 768);
  }

  void rozhraniLanSeUkladaJakoZQ1407U() {
    TForm1 w;
    TCFG u;
    InitCFG(u);
    u.Rozhrani = "ZQ-1407";
    w.ZapisOkno(u);
    QCOMPARE(w.ComboBox3->currentIndex(), 4);
    QVERIFY(!w.Panel1->isHidden());
    QVERIFY(w.Panel2->isHidden());
    QVERIFY(w.PrectiOkno(u));
    QCOMPARE(u.Rozhrani, std::string("ZQ-1407U"));

    // A name outside the table leaves the list and the panels as they were.
    u.Rozhrani = "RS-232";
    w.ZapisOkno(u);
    QCOMPARE(w.ComboBox3->currentIndex(), 4);

    // Picking entries switches the panels; the task follows only on reading.
    w.ComboBox3Change(1);
    QVERIFY(!w.Panel3->isHidden());
    QVERIFY(w.Panel1->isHidden());
    w.ComboBox3Change(2);
    QVERIFY(w.Panel1->isHidden() && w.Panel2->isHidden() && w.Panel3->isHidden());
  }

  void neznamaRychlostJe9600() {
    TForm1 w;
    TCFG u;
    InitCFG(u);
    u.RS485Rychlost = 1200;
    w.ZapisOkno(u);
    QCOMPARE(w.ComboBox2->currentText(), T("9600 Bd"));
    u.RS485Rychlost = 0;
    QVERIFY(w.PrectiOkno(u));
    QCOMPARE(u.RS485Rychlost, 9600);
    w.ComboBox2->setCurrentIndex(5);
    QVERIFY(w.PrectiOkno(u));
    QCOMPARE(u.RS485Rychlost, 115200);
  }

  void volbyAPeriody() {
    TForm1 w;
    TCFG u;
    InitCFG(u);
    u.Volby = 31;
    u.Perioda = 10;
    u.ChybovaHodnota = 1;
    w.ZapisOkno(u);
    QVERIFY(w.CheckBox1->isChecked() && w.CheckBox5->isChecked());
    QCOMPARE(w.ComboBox1->currentText(), T("1 hod"));
    // A disabled "Záhlaví" (a .dbf name) is still read.
    w.Edit3->setText(T("data.dbf"));
    TCFG zpet;
    InitCFG(zpet);
    QVERIFY(w.PrectiOkno(zpet));
    QCOMPARE(zpet.Volby, 31);
    QCOMPARE(zpet.Perioda, 10);
    QCOMPARE(zpet.ChybovaHodnota, 1);

    u.Volby = 0;
    u.Perioda = 12;  // outside the list: nothing selected
    w.ZapisOkno(u);
    for (QCheckBox* c : {w.CheckBox1, w.CheckBox2, w.CheckBox3, w.CheckBox4, w.CheckBox5})
      QVERIFY(!c->isChecked());
    QCOMPARE(w.ComboBox1->currentIndex(), -1);
    // Kept as it was, not turned into -1 (which a task file reads back as 2 s).
    w.PrectiOkno(u);
    QCOMPARE(u.Perioda, 12);
  }

  void neplatnyVstup_data() {
    QTest::addColumn<QString>("pole");
    QTest::addColumn<QString>("text");
    QTest::newRow("UDP 65535") << "Edit2"
                               << "65535";
    QTest::newRow("UDP 0") << "Edit2"
                           << "0";
    QTest::newRow("UDP text") << "Edit2"
                              << "port";
    QTest::newRow("prazdna IP") << "Edit1"
                                << "";
    QTest::newRow("prazdny soubor") << "Edit3"
                                    << "";
    QTest::newRow("COM pismena") << "Edit5"
                                 << "jedna";
    QTest::newRow("LAN timeout") << "Edit6"
                                 << "1s";
    QTest::newRow("timeout") << "Edit8"
                             << "";
    QTest::newRow("opakovani") << "Edit9"
                               << "x1";
  }

  void neplatnyVstup() {
    QFETCH(QString, pole);
    QFETCH(QString, text);
    TForm1 w;
    TCFG u = CFG;
    QVERIFY(w.PrectiOkno(u));  // the default task is usable
    const int32_t portPred = u.PortCOM;
    QLineEdit* e = pole == "Edit1"   ? w.Edit1
                   : pole == "Edit2" ? w.Edit2
                   : pole == "Edit3" ? w.Edit3
                   : pole == "Edit5" ? w.Edit5
                   : pole == "Edit6" ? w.Edit6
                   : pole == "Edit8" ? w.Edit8
                                     : w.Edit9;
    e->setText(text);
    QVERIFY(!w.PrectiOkno(u));                           // invalid even on the COM port interface
    if (pole == "Edit5") QCOMPARE(u.PortCOM, portPred);  // a bad text leaves the field
  }

  void nulaKanalu() {
    TForm1 w;
    TCFG u = CFG;
    u.PocetKanalu = 0;
    QVERIFY(!w.PrectiOkno(u));
    u.PocetKanalu = 257;
    QVERIFY(!w.PrectiOkno(u));
    w.InitOknoMereni(Kanaly.Kopie(), 0);
    QCOMPARE(w.PocetRadku(), 1);
    QCOMPARE(w.Bunka(1, 0), T("Název"));
  }

  void mrizkaNevybiraANeroluje() {
    TForm1 w;
    TPoleKanal k;
    InitKanaly(k);
    w.InitOknoMereni(k, 200);
    QCOMPARE(w.PocetRadku(), 201);
    QCOMPARE(w.Bunka(1, 200), T("Kanál 199"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QScrollBar* posuv = w.StringGrid1->verticalScrollBar();
    QVERIFY(posuv->maximum() > 0);
    QCOMPARE(posuv->value(), 0);
    QWidget* plocha = w.StringGrid1->viewport();
    const QPointF bod(50, 50);
    QWheelEvent kolecko(bod, plocha->mapToGlobal(bod), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plocha, &kolecko);
    QCOMPARE(posuv->value(), 0);
    QTest::mouseClick(plocha, Qt::LeftButton, {}, QPoint(60, 30));
    QVERIFY(!w.StringGrid1->selectionModel()->hasSelection());
    // The scroll bar itself still scrolls.
    posuv->setValue(5);
    QCOMPARE(posuv->value(), 5);
  }

  void zahlaviPodlePripony() {
    TForm1 w;
    w.Edit3->setText(T("data.dbf"));
    QVERIFY(!w.CheckBox1->isEnabled());
    w.Edit3->setText(T("data.DBF"));
    QVERIFY(w.CheckBox1->isEnabled());
    w.Edit3->setText(T("slozka.dbf/data"));
    QVERIFY(w.CheckBox1->isEnabled());
    w.Edit3->setText(T("x.dbf"));
    w.Edit3->setText(QString());  // empty: unchanged
    QVERIFY(!w.CheckBox1->isEnabled());
  }

  void volbaDatovehoSouboru_data() {
    QTest::addColumn<QString>("zvoleno");
    QTest::addColumn<int>("filtr");
    QTest::addColumn<QString>("vysledek");
    QTest::newRow("txt na csv") << "/d/data.txt" << 2 << "/d/data.csv";
    QTest::newRow("bez pripony dbf") << "/d/data" << 3 << "/d/data.dbf";
    QTest::newRow("velka TXT") << "/d/DATA.TXT" << 1 << "/d/DATA.TXT.txt";
    QTest::newRow("cizi pripona") << "/d/data.log" << 1 << "/d/data.log.txt";
    QTest::newRow("shodna") << "/d/data.csv" << 2 << "/d/data.csv";
    QTest::newRow("tecka ve slozce") << "/d.v/data" << 2 << "/d.v/data.csv";
  }

  void volbaDatovehoSouboru() {
    QFETCH(QString, zvoleno);
    QFETCH(int, filtr);
    QFETCH(QString, vysledek);
    TForm1 w;
    TSouborovyDotaz dotaz;
    OdpovidejSouborem(zvoleno, filtr, &dotaz);
    w.Button1Click();
    QCOMPARE(w.Edit3->text(), vysledek);
    QCOMPARE(dotaz.Jmeno, T("ZQ_datalogger.txt"));
    QCOMPARE(dotaz.Filtry.size(), 3);
    // The chosen filter is preselected next time.
    w.Button1Click();
    QCOMPARE(dotaz.IndexFiltru, filtr);
  }

  void volbaDatovehoSouboruZrusena() {
    TForm1 w;
    OdpovidejSouborem(QString());
    w.Button1Click();
    QCOMPARE(w.Edit3->text(), T("ZQ_datalogger.txt"));
    OdpovidejSouborem(QStringLiteral(""));
    w.Button1Click();
    QCOMPARE(w.Edit3->text(), T("ZQ_datalogger.txt"));
  }

  void zavreniUloziNastaveniAUlohu() {
    {
      TForm1 w;
      w.Edit5->setText(T("7"));
      w.Edit3->setText(T("měření.csv"));
      QVERIFY(w.close());
    }
    QCOMPARE(Obsah(Slozka() / "ZQ_datalogger.ini"), B("[Měřicí úloha]\r\nJméno=NovaUloha.zq\r\n"));
    const QByteArray uloha = Obsah(Slozka() / "NovaUloha.zq");
    QVERIFY(uloha.contains(B("Číslo portu COMx=7\r\n")));
    QVERIFY(uloha.contains(B("Jméno souboru=měření.csv\r\n")));
    // The next start opens the same task.
    TForm1 znovu;
    QCOMPARE(znovu.Edit5->text(), T("7"));
    QCOMPARE(znovu.Edit3->text(), T("měření.csv"));
  }

  void zavreniSOdmitnutymZapisem() {
    // A folder in place of the settings file refuses the write, also to root.
    fs::create_directory(Slozka() / "ZQ_datalogger.ini");
    TForm1 w;
    w.show();
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(w.TextStavu().startsWith(T("Nelze zapsat do souboru \"")));
    QVERIFY(w.TextStavu().contains(T("ZQ_datalogger.ini")));
    QVERIFY(!fs::exists(Slozka() / "NovaUloha.zq"));
    // The second attempt ends the program.
    QVERIFY(w.close());
  }

  // A remembered task name with a folder part never leads out of the
  // program's folder; the operator is told which name is used.
  // A task file cut before its channels shows eight default channels, as
  // designed, and says so first.
  void jmenoUlohySeSlozkou() {
    Zapis(Slozka() / "ZQ_datalogger.ini", B("[Měřicí úloha]\r\nJméno=../venku.zq\r\n"));
    Zapis(Slozka() / "venku.zq", B("[Připojení]\r\nRozhraní=COMx\r\nČíslo portu COMx=1\r\n"
                                   "RS-485 rychlost=9600\r\nRS-485 timeout=100\r\n"
                                   "RS-485 opakování=1\r\n[Konfigurace]\r\nPerioda měření=0\r\n"
                                   "Počet kanálů=8\r\nJméno souboru=d.txt\r\nVolby=0\r\n"
                                   "Chybová hodnota=0\r\n"));
    auto w = std::make_unique<TForm1>();
    QCOMPARE(w->Label18->text(), T("venku.zq"));
    QCOMPARE(w->PocetRadku(), 9);
    QCOMPARE(w->TextStavu(),
             T("Soubor úlohy: chybí [Ch0] až [Ch7] – zobrazeny výchozí hodnoty; Jméno úlohy "
               "\"../venku.zq\" v souboru ZQ_datalogger.ini obsahuje "
               "složku, použito jméno \"venku.zq\" ve složce programu"));
    QVERIFY(w->close());
    QVERIFY(fs::exists(Slozka() / "venku.zq"));
    QVERIFY(!fs::exists(Slozka().parent_path() / "venku.zq"));
    QVERIFY(Obsah(Slozka() / "ZQ_datalogger.ini").contains("=venku.zq\r\n"));
  }

  // The real open dialog: it starts in the program's folder and takes a name
  // that has no file yet.
  void otevritNovyNazevVeSkutecnemDialogu() {
    QString slozkaDialogu;
    QTimer::singleShot(50, [&] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!d) return;
      slozkaDialogu = d->directory().absolutePath();
      d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(T("Nova.zq"));
      static_cast<QDialog*>(d)->accept();  // as the "Otevřít" button does
    });
    TForm1 w;
    ZavriDialogPozdeji(&w);
    w.Button6Click();
    QCOMPARE(slozkaDialogu, QString::fromStdString(Slozka().string()));
    QCOMPARE(w.Label18->text(), T("Nova.zq"));
    QVERIFY(w.TextStavu().endsWith(T("/Nova.zq\" neexistuje, zobrazena je výchozí úloha")));
  }

  // A termination signal closes an open dialog (a refusal for its caller),
  // then the window, which saves the task and the settings as its close does.
  void signalUkonciJakoZavreni() {
    TForm1 w;
    w.show();
    w.Edit5->setText(T("7"));
    ZachytavejUkonceni(&w, [&w](int signal) { w.UkonciNaSignal(signal); });
    QTimer::singleShot(50, [] { raise(SIGTERM); });
    ZavriDialogPozdeji(&w);
    w.Button5Click();  // "Nová úloha" asks; the signal comes while it does
    QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
    QVERIFY(Obsah(Slozka() / "ZQ_datalogger.ini").contains("=NovaUloha.zq\r\n"));
    QVERIFY(Obsah(Slozka() / "NovaUloha.zq").contains(B("Číslo portu COMx=7\r\n")));
  }

  // Qt's own dialogs speak Czech under a Czech locale.
  void preklady() {
    QVERIFY(!NactiPrekladyQt(QLocale(QLocale::English)));
    QVERIFY(NactiPrekladyQt(QLocale(QLocale::Czech, QLocale::CzechRepublic)));
    QCOMPARE(QFileDialog::tr("&Open"), T("&Otevřít"));
  }

  void zavreniNeprepiseCiziSoubor() {
    const QByteArray cizi("[Poznamky]\r\nnakoupit=chleba\r\n");
    Zapis(Slozka() / "poznamky.zq", cizi);
    Zapis(Slozka() / "ZQ_datalogger.ini", B("[Měřicí úloha]\r\nJméno=poznamky.zq\r\n"));
    TForm1 w;
    QCOMPARE(w.Label18->text(), T("poznamky.zq"));
    QCOMPARE(w.Edit5->text(), T("1"));  // the defaults
    w.show();
    QVERIFY(!w.close());
    QVERIFY(w.TextStavu().contains(T("neobsahuje měřicí úlohu")));
    QVERIFY(w.close());
    QCOMPARE(Obsah(Slozka() / "poznamky.zq"), cizi);
  }

  void otevritZJineSlozky() {
    TCFG u;
    InitCFG(u);
    u.Uloha = "Mereni.zq";
    u.PortCOM = 7;
    u.PocetKanalu = 3;
    TPoleKanal k;
    InitKanaly(k);
    k[2].Nazev = Cp1250("Teplota");
    ZapisUlohu(u);
    ZapisKanaly(u, k);

    TForm1 w;
    w.Label7->setText(T("12"));
    TSouborovyDotaz dotaz;
    OdpovidejSouborem(T("/nekde/jinde/Mereni.zq"), 1, &dotaz);
    w.Button6Click();
    QCOMPARE(dotaz.Jmeno, T("NovaUloha.zq"));
    QCOMPARE(dotaz.VychoziPripona, T("zq"));
    QCOMPARE(w.Label18->text(), T("Mereni.zq"));
    QCOMPARE(CFG.Uloha, std::string("Mereni.zq"));
    QCOMPARE(w.Edit5->text(), T("7"));
    QCOMPARE(w.Label16->text(), T("3"));
    QCOMPARE(w.Bunka(1, 3), T("Teplota"));
    QCOMPARE(w.Label7->text(), T("0"));
    const QString slozka = QString::fromStdString(Slozka().string());
    QCOMPARE(dotaz.Slozka, slozka);
    QCOMPARE(dotaz.Filtry, QStringList({T("Měřicí úlohy (*.zq)"), T("Všechny soubory (*.*)")}));
    QCOMPARE(w.TextStavu(),
             T("Úlohy jsou jen ve složce programu: načtena úloha \"") + slozka + T("/Mereni.zq\""));

    // A name with no file in the program's folder: the defaults under it,
    // and the operator is told.
    OdpovidejSouborem(T("/nekde/Chybi.zq"));
    w.Button6Click();
    QCOMPARE(w.Label18->text(), T("Chybi.zq"));
    QCOMPARE(w.Edit5->text(), T("1"));
    QCOMPARE(w.PocetRadku(), 2);
    QCOMPARE(w.TextStavu(), T("Úlohy jsou jen ve složce programu: soubor \"") + slozka +
                                T("/Chybi.zq\" neexistuje, zobrazena je výchozí úloha"));
    OdpovidejSouborem(slozka + T("/Nova.zq"));
    w.Button6Click();
    QCOMPARE(w.TextStavu(),
             T("Soubor \"") + slozka + T("/Nova.zq\" neexistuje, zobrazena je výchozí úloha"));
    // A name from the program's folder that holds a task: nothing to say.
    w.NastavStav(QString());
    OdpovidejSouborem(slozka + T("/Mereni.zq"));
    w.Button6Click();
    QCOMPARE(w.TextStavu(), QString());

    // Cancelled: nothing changes.
    w.Edit5->setText(T("9"));
    OdpovidejSouborem(QString());
    w.Button6Click();
    QCOMPARE(w.Edit5->text(), T("9"));
  }

  void otevritCiziSoubor() {
    Zapis(Slozka() / "seznam.txt", "jen text\r\n");
    TForm1 w;
    OdpovidejSouborem(T("/x/seznam.txt"));
    w.Button6Click();
    QCOMPARE(w.Label18->text(), T("seznam.txt"));
    QVERIFY(w.TextStavu().contains(T("neobsahuje měřicí úlohu")));
    // "Uložit" under that name refuses too.
    OdpovidejSouborem(T("/x/seznam.txt"));
    w.Button7Click();
    QVERIFY(w.TextStavu().contains(T("úloha do něj nebyla uložena")));
    QCOMPARE(Obsah(Slozka() / "seznam.txt"), QByteArray("jen text\r\n"));
    // A task whose values the reader replaced shows the replacements and says so.
    Zapis(Slozka() / "mimo.zq", B("[Připojení]\r\nRozhraní=ZQ-1407U\r\nUDP port=99999\r\n"));
    OdpovidejSouborem(T("mimo.zq"));
    w.Button6Click();
    QCOMPARE(w.Edit2->text(), T("5000"));
    QVERIFY2(w.TextStavu().startsWith(
                 T("Soubor úlohy: chybí [Připojení] IP adresa, [Připojení] LAN timeout, "
                   "[Připojení] RS-485 rychlost a další (8); neplatné hodnoty [Připojení] UDP "
                   "port=99999 (použito 5000)")),
             qPrintable(w.TextStavu()));
  }

  void ulozitDoSlozkyProgramu() {
    TForm1 w;
    w.Edit8->setText(T("250"));
    TSouborovyDotaz dotaz;
    OdpovidejSouborem(T("/jinam/Ulozena.zq"), 1, &dotaz);
    const uint64_t otevreni = PocetOtevreniProfilu();
    w.Button7Click();
    // The check that the file holds a task, the task and its channels: one
    // reading and one writing of the file.
    QCOMPARE(PocetOtevreniProfilu() - otevreni, uint64_t{1});
    w.Edit8->setText(T("240"));
    OdpovidejSouborem(T("Ulozena.zq"));
    w.Button7Click();
    QCOMPARE(PocetOtevreniProfilu() - otevreni, uint64_t{3});
    w.Edit8->setText(T("250"));
    OdpovidejSouborem(T("/jinam/Ulozena.zq"));
    w.Button7Click();
    QVERIFY(dotaz.Ulozit);
    QVERIFY(dotaz.PtatSePrepsat);
    QCOMPARE(w.Label18->text(), T("Ulozena.zq"));
    QVERIFY(Obsah(Slozka() / "Ulozena.zq").contains("RS-485 timeout=250\r\n"));
    QVERIFY(Obsah(Slozka() / "Ulozena.zq").contains("[Ch0]\r\n"));
    QVERIFY(!fs::exists("/jinam/Ulozena.zq"));
    QCOMPARE(w.TextStavu(), T("Úlohy jsou jen ve složce programu: uloženo do \"") +
                                QString::fromStdString((Slozka() / "Ulozena.zq").string()) + u'"');
    QVERIFY(!fs::exists(Slozka() / "ZQ_datalogger.ini"));  // only the close writes it
  }

  void ulozitOdmitnuto() {
    fs::create_directory(Slozka() / "Adresar.zq");
    TForm1 w;
    OdpovidejSouborem(T("Adresar.zq"));
    w.Button7Click();
    QVERIFY(w.TextStavu().startsWith(T("Nelze zapsat do souboru \"")));
    QVERIFY(w.TextStavu().contains(T("Adresar.zq")));
    QVERIFY(fs::is_directory(Slozka() / "Adresar.zq"));
  }

  void novaUloha() {
    TForm1 w;
    w.Edit5->setText(T("4"));
    w.PrectiOkno(CFG);
    CFG.PocetKanalu = 5;
    w.InitOknoMereni(Kanaly.Kopie(), 5);
    w.Label7->setText(T("8"));
    int dotazy = 0;
    NastavZobrazovac([&](QDialog& d) {
      ++dotazy;
      return d.inherits("TFormOpravduSmazat") ? VysledekNe : -1;
    });
    w.Button5Click();
    QCOMPARE(dotazy, 1);
    QCOMPARE(CFG.PortCOM, 4);
    QCOMPARE(w.PocetRadku(), 6);
    NastavZobrazovac([](QDialog&) { return VysledekZavreno; });
    w.Button5Click();
    QCOMPARE(CFG.PortCOM, 4);
    NastavZobrazovac([](QDialog&) { return VysledekAno; });
    w.Button5Click();
    QCOMPARE(CFG.PortCOM, 1);
    QCOMPARE(w.Edit5->text(), T("1"));
    QCOMPARE(w.PocetRadku(), 2);
    QCOMPARE(w.Label7->text(), T("0"));
    QVERIFY(!fs::exists(Slozka() / "NovaUloha.zq"));  // nothing written
  }

  void definiceKanalu() {
    TForm1 w;
    w.Label7->setText(T("3"));
    w.Edit5->setText(T("9"));
    NastavZobrazovac([](QDialog& d) {
      auto* dlg = qobject_cast<TFormDefiniceKanalu*>(&d);
      if (!dlg) return -1;
      dlg->PocetKanalu = 4;  // edits the dialog would have made, then "Zrušit"
      dlg->PoleKanalu[3].Nazev = "x";
      return VysledekNe;
    });
    w.Button4Click();
    QCOMPARE(w.Edit5->text(), T("9"));  // typed before the dialog: kept
    QCOMPARE(CFG.PortCOM, 9);
    QCOMPARE(CFG.PocetKanalu, 1);
    QCOMPARE(w.PocetRadku(), 2);

    NastavZobrazovac([](QDialog& d) {
      auto* dlg = qobject_cast<TFormDefiniceKanalu*>(&d);
      if (!dlg || dlg->PocetKanalu != 1) return -1;
      dlg->PocetKanalu = 4;
      dlg->PoleKanalu[3].Nazev = Cp1250("Průtok");
      return VysledekAno;
    });
    w.Button4Click();
    QCOMPARE(CFG.PocetKanalu, 4);
    QCOMPARE(Kanaly.Kanal(3).Nazev, Cp1250("Průtok"));
    QCOMPARE(w.Label16->text(), T("4"));
    QCOMPARE(w.PocetRadku(), 5);
    QCOMPARE(w.Bunka(1, 4), T("Průtok"));
    QCOMPARE(w.Label7->text(), T("3"));
  }

  void startSNeplatnymiParametry() {
    TForm1 w;
    w.Edit3->setText(QString());
    w.Button2Click();
    QCOMPARE(w.TextStavu(), T("Chyba zadaných parametrů"));
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QVERIFY(!w.Mereni().KnihovnaOtevrena());
  }

  // Started without a display (a server reached by plain ssh), the program
  // says so in Czech with the ways to get one and the program that measures
  // without it, and ends with 1 instead of Qt's abort.
  void bezDispleje() {
    const char* promenne[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    QByteArray puvodni[3];
    for (int i = 0; i < 3; ++i) {
      puvodni[i] = qgetenv(promenne[i]);
      qunsetenv(promenne[i]);
    }
    TProces p({}, "zq-datalogger");
    for (int i = 0; i < 3; ++i)
      if (!puvodni[i].isNull()) qputenv(promenne[i], puvodni[i]);
    QVERIFY2(p.Cekej(p.chyby, "zq-logger Linka1.zq\n", 15000), p.Chyby.c_str());
    QCOMPARE(p.Skonci(15000), 1);
    QVERIFY(p.Chyby.rfind("zq-datalogger: okno programu potřebuje grafický displej", 0) == 0);
    QVERIFY(p.Chyby.find("\"ssh -X\"") != std::string::npos);
    QVERIFY(p.Chyby.find("VNC") != std::string::npos);
  }
};

QTEST_MAIN(TestHlavni)
#include "test_hlavni.moc"
