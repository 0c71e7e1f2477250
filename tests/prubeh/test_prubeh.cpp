// The trend window against the simulator: opened from the main window's
// grid, its plot broken where reads failed, its health tables and warning
// against the simulator's counters, its settings per task, its CSV.

#include <QAbstractItemModel>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "Cisla.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Hodiny.h"
#include "Mistni.h"
#include "Modalni.h"
#include "ModelKanaluPrubehu.h"
#include "Pomocne.h"
#include "Profil.h"
#include "Prubeh.h"
#include "PrubehData.h"
#include "PrubehKomunikace.h"
#include "Rozdeleni.h"
#include "Simulator.h"
#include "SouborovyDialog.h"
#include "Stupnice.h"
#include "Wxxx407.h"

namespace fs = std::filesystem;
using namespace zqsim;

namespace {
// The file dialogs answer with `cesta`.
void Odpovez(const fs::path& cesta) {
  NastavSouborovyZobrazovac([cesta](const TSouborovyDotaz&) {
    TSouborovaOdpoved o;
    o.Potvrzeno = true;
    o.Jmeno = QString::fromStdString(cesta.string());
    return o;
  });
}
}  // namespace

class TestPrubeh : public QObject {
  Q_OBJECT

  QTemporaryDir slozka_;
  std::unique_ptr<TSimulator> sim_;

  fs::path Slozka() const { return fs::path(slozka_.path().toStdString()); }

  // The window measuring `kanaly` over the simulator's LAN converter; the
  // trend window told of the channels as after the channel dialog.
  void Nastav(TForm1& w, const std::vector<TKanal>& kanaly, int rs485Timeout = 50) {
    NastavLan(w, kanaly, sim_->UdpPort(), QString::fromStdString((Slozka() / "data.csv").string()),
              400, rs485Timeout);
    w.Prubeh()->NastavUlohu(CFG.Uloha, CFG.PocetKanalu, TZmenaUlohy::Tataz);
  }

  void Zastav(TForm1& w) {
    if (w.MereniBezi()) w.Button2Click();
    QVERIFY(QTest::qWaitFor([&] { return !w.Mereni().VlaknaBezi(); }, 10000));
  }

 private slots:
  void initTestCase() {
    QVERIFY(slozka_.isValid());
    NastavMistni(MistniCeske());
  }

  void init() {
    PripravSlozku(Slozka(), {"libWZQ1407.so"});
    NastavZobrazovac({});
    sim_ = std::make_unique<TSimulator>();
    sim_->PridejPeriferii(1, 0, {TFormat::Float32, TPrubeh::Sinus, 20, 5, 30, 1, 2});
    sim_->PridejPeriferii(1, 1, {TFormat::Float32, TPrubeh::Konstanta, 123.45, 0, 60, 1, 2});
    QVERIFY(sim_->SpustUdp(0));
  }

  void cleanup() {
    sim_.reset();
    NastavSouborovyZobrazovac({});
    NastavZobrazovac({});
  }

  // A double-click on a channel's row opens the window with that channel
  // plotted and current; the grid still selects nothing.  Ctrl+G opens it
  // with what was chosen; Esc and Ctrl+W hide it.
  void dvojklikNaRadekOtevreKanal() {
    TForm1 w;
    Nastav(w, {Kanal("A", 1, 0), Kanal("B", 1, 1), Kanal("C", 1, 0)});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TFormPrubeh* p = w.Prubeh();
    QVERIFY(!p->isVisible());
    const QRect radek = w.StringGrid1->visualRect(w.StringGrid1->model()->index(1, 1));
    // A double-click as the system delivers it: press, release, double-click.
    QTest::mouseClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, radek.center());
    QTest::mouseDClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, radek.center());
    QVERIFY(p->isVisible());
    QCOMPARE(p->Vybrane(), std::vector<int>{1});
    QCOMPARE(p->AktualniKanal(), 1);
    QVERIFY(!w.StringGrid1->selectionModel()->hasSelection());

    p->close();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_G, Qt::ControlModifier);
    QVERIFY(p->isVisible());
    QCOMPARE(p->Vybrane(), std::vector<int>{1});
    // Its own list takes the keyboard: down a row, Space ticks it.
    QTest::keyClick(p->SeznamKanalu, Qt::Key_Down);
    QTest::keyClick(p->SeznamKanalu, Qt::Key_Space);
    QCOMPARE(p->Vybrane(), (std::vector<int>{1, 2}));
    // A name cut by its column is whole in its tooltip, as in the grid.
    QCOMPARE(p->SeznamKanalu->model()->index(1, 1).data(Qt::ToolTipRole).toString(), T("B"));
    // Esc and Ctrl+W hide it.
    for (const QKeySequence& klavesa :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
      w.OtevriPrubeh();
      QVERIFY(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == p->windowHandle(); }));
      QTest::keySequence(p->windowHandle(), klavesa);
      QVERIFY(!p->isVisible());
    }
  }

  // Two reads of a sine that never comes near zero fail in the middle of
  // the run, and the window's grid shows 0 for them: the plot breaks there
  // and plots every other read, never a zero; so it does with each channel
  // over its own range, where a bubble gives the values read.
  void chybnaCteniJsouMezeraNeNula() {
    TForm1 w;
    Nastav(w, {Kanal("Sinus", 1, 0)});
    w.Button2Click();
    TMereni& m = w.Mereni();
    QVERIFY(QTest::qWaitFor([&] { return m.Historie().Prubehy().Pocet >= 2; }, 10000));
    sim_->PridejPoruchu({TDruhPoruchy::Ticho, 1.0, 2, 0, 1});
    QVERIFY(QTest::qWaitFor([&] { return w.Bunka(3, 1) != T("0"); }, 10000));
    QCOMPARE(w.Bunka(2, 1), T("0,00"));
    QVERIFY(QTest::qWaitFor([&] { return m.Historie().Prubehy().Pocet >= 6; }, 15000));
    Zastav(w);

    TFormPrubeh* p = w.Prubeh();
    p->Ukaz(0);
    p->PanelGrafu->Rozsah->setCurrentIndex(0);  // the last minute: a pixel is shorter than a pass
    p->Obnov();
    qsizetype platnych = 0, chybnych = 0;
    for (const TBodHistorie& b : m.Historie().Body(0))
      (std::isnan(b.Hodnota) ? chybnych : platnych)++;
    QCOMPARE(chybnych, qsizetype{2});
    const std::vector<QList<QPointF>> krivka = p->Krivka(0);
    QCOMPARE(krivka.size(), size_t{2});
    qsizetype bodu = 0;
    for (const QList<QPointF>& cast : krivka)
      for (const QPointF& b : cast) {
        QVERIFY2(b.y() >= 14.99 && b.y() <= 25.01, qPrintable(QString::number(b.y())));
        ++bodu;
      }
    QCOMPARE(bodu, platnych);
    // The break spans the two failed passes.
    QVERIFY(krivka[1].first().x() - krivka[0].last().x() > 2500);
    QVERIFY(p->TextVarovani().isEmpty());

    // Each channel over its own range: the sine fills 0 to 100 %, and the
    // bubble over a line gives the value read at the point nearest in time.
    p->PanelGrafu->OsaY->setCurrentIndex(1);
    double nejmene = INFINITY, nejvice = -INFINITY;
    for (const QList<QPointF>& cast : p->Krivka(0))
      for (const QPointF& b : cast) {
        nejmene = std::min(nejmene, b.y());
        nejvice = std::max(nejvice, b.y());
      }
    QCOMPARE(nejmene, 0.0);
    QCOMPARE(nejvice, 100.0);
    auto* cara = qobject_cast<QLineSeries*>(p->PanelGrafu->Graf->chart()->series().first());
    const QPointF bod = cara->at(1);
    const std::vector<TBodHistorie> body = m.Historie().Body(0);
    const auto cteni = std::find_if(body.begin(), body.end(), [&](const TBodHistorie& b) {
      return m.ZacatekEpochaMs() + static_cast<int64_t>(b.CasMs) == static_cast<int64_t>(bod.x());
    });
    QVERIFY(cteni != body.end());
    emit cara->hovered(QPointF(bod.x() + 100, 50), true);
    QVERIFY2(
        p->PanelGrafu->Bublina().startsWith(T("Ch0 Sinus\n")) &&
            p->PanelGrafu->Bublina().endsWith(u'\n' + DoQString(FixniText(cteni->Hodnota, 2, ','))),
        qPrintable(p->PanelGrafu->Bublina()));
    emit cara->hovered(bod, false);
    QVERIFY(p->PanelGrafu->Bublina().isEmpty());
  }

  // The lines as plotted, written "x:y" with "|" where a line breaks: a
  // column keeps its lowest and highest value in their order (a spike
  // survives), a column of failures breaks the line, a failure among values
  // within a column does not, the nearest points outside the range are kept
  // and a thinned interval plots at its middle.
  void castiKrivky() {
    const float X = NAN;
    struct TRadek {
      const char* Co;
      std::vector<float> Hodnoty;  // full-rate reads at 0, 10, 20... ms
      double Od, Do, Krok;
      const char* Cekam;
    };
    const TRadek tabulka[] = {
        {"spike and order", {1, 9, 2, 3, 0.5F, 4}, 0, 50, 30, "0:1 10:9 40:0.5 50:4"},
        {"max before min", {9, 1}, 0, 10, 100, "0:9 10:1"},
        {"failed column", {1, 2, X, X, 3, 4}, 0, 50, 20, "0:1 10:2 | 40:3 50:4"},
        {"failure in a column", {1, X, 2, 3}, 0, 30, 20, "0:1 20:2 30:3"},
        {"pixel finer than a pass", {1, X, 2}, 0, 20, 0, "0:1 | 20:2"},
        {"nearest outside", {1, 2, 3, 4, 5}, 15, 25, 0, "10:2 20:3 30:4"},
        {"only failures", {X, X}, 0, 10, 0, ""},
    };
    auto text = [](const std::vector<QList<QPointF>>& casti) {
      QStringList s;
      for (const auto& cast : casti) {
        QStringList body;
        for (const QPointF& b : cast)
          body << QString::number(b.x()) + u':' + QString::number(b.y());
        s << body.join(u' ');
      }
      return s.join(T(" | "));
    };
    for (const TRadek& r : tabulka) {
      TDataKanalu d;
      for (size_t i = 0; i < r.Hodnoty.size(); ++i)
        d.Body.push_back({static_cast<uint32_t>(10 * i), r.Hodnoty[i]});
      QVERIFY2(text(CastiKrivky(d, r.Od, r.Do, r.Krok, 0)) == T(r.Cekam), r.Co);
    }

    TDataKanalu d;  // thinned intervals of 100 ms, then full rate, shifted
    d.SirkaUsekuMs = 100;
    d.Useky = {{0, 1, 4, 10, 0}, {100, X, X, 10, 10}, {200, 2, 2, 10, 0}};
    d.Body = {{350, 5}};
    QCOMPARE(text(CastiKrivky(d, 0, 400, 0, 1000)), T("1050:1 1050:4 | 1250:2 1350:5"));
  }

  // Module 2 is absent: each of its eight reads waits out 150 ms, so every
  // pass outlasts the 1-second period.  The health tables count what the
  // simulator received, and the warning says what the data file holds and
  // names the module that does not answer.
  void komunikacePodleSimulatoruAPomalePruchody() {
    TForm1 w;
    std::vector<TKanal> kanaly = {Kanal("A", 1, 0), Kanal("B", 1, 1)};
    for (int i = 0; i < 8; ++i) kanaly.push_back(Kanal("X", 2, static_cast<uint8_t>(i)));
    Nastav(w, kanaly, 150);
    TFormPrubeh* p = w.Prubeh();
    p->Ukaz();
    w.Button2Click();
    QVERIFY(QTest::qWaitFor([&] { return w.Mereni().Historie().Prubehy().Pocet >= 2; }, 20000));
    p->Obnov();
    const QString varovani = p->TextVarovani();
    // Module 2's channels hold zeros in the file (the task's error value),
    // the others repeat values.
    QVERIFY2(varovani.contains(T("čtení selhalo, mají v datovém souboru nulu, ostatní opakují "
                                 "hodnoty")) &&
                 varovani.contains(T("Modul 2 neodpovídá")),
             qPrintable(varovani));
    QVERIFY(p->Varovani->isVisible());
    Zastav(w);

    p->Karty->setCurrentIndex(1);
    p->Obnov();
    QTableWidget* t = p->Komunikace->TabulkaModulu;
    QCOMPARE(t->rowCount(), 2);
    QCOMPARE(t->item(0, 0)->text(), T("1"));
    QCOMPARE(t->item(0, 1)->text(), QString::number(sim_->PocetDotazu(1)));
    QCOMPARE(t->item(0, 2)->text(), T("0"));
    QCOMPARE(t->item(1, 0)->text(), T("2"));
    QCOMPARE(t->item(1, 1)->text(), QString::number(sim_->PocetDotazu(2)));
    QCOMPARE(t->item(1, 2)->text(), t->item(1, 1)->text());
    QVERIFY(!t->item(1, 7)->text().isEmpty());                             // the last error's text
    QVERIFY(t->item(1, 6)->text().contains(u':'));                         // ... and its time
    QVERIFY(t->item(1, 5)->text().replace(u',', u'.').toDouble() >= 150);  // each waited it out
    const QStringList kody = t->item(1, 3)->text().split(T(": "));
    QCOMPARE(kody.size(), 2);
    QCOMPARE(kody[1], t->item(1, 2)->text());  // all of them with one code
    // Per channel: an absent module's channel fails every read.
    QCOMPARE(p->Komunikace->TabulkaKanalu->rowCount(), 10);
    QCOMPARE(p->Komunikace->TabulkaKanalu->item(9, 2)->text(), T("2"));
    QVERIFY(p->Komunikace->TabulkaKanalu->item(9, 3)->text().toInt() > 0);
    QCOMPARE(p->Komunikace->TabulkaKanalu->item(9, 4)->text(),
             p->Komunikace->TabulkaKanalu->item(9, 3)->text());
    QVERIFY(!p->TextVarovani().isEmpty());  // still said after the stop
  }

  // The advice that fits slow passes, from what the modules' recent reads
  // measured (no status codes): a line too slow, some modules silent, the
  // converter or the whole bus silent, reads failing at once; a module lost
  // late in a long run is told from a look taken before.  The first clause
  // says what the data file holds, by the task's "Chybová hodnota".
  void radaPodleModulu() {
    // Reads, failed ones, failed ones that waited out the line's limit and
    // the converter's.
    auto m = [](uint64_t cteni, uint64_t chyb = 0, uint64_t linka = 0, uint64_t prevodnik = 0) {
      TStatistikaKanalu s;
      s.Cteni = cteni;
      s.Chyby = chyb;
      s.Vyprselo = linka;
      s.VyprseloPrevodniku = prevodnik;
      return s;
    };
    using TModuly = std::map<uint8_t, TStatistikaKanalu>;
    struct TRadek {
      const char* Co;
      TModuly Ted, Drive;
      int ChybovaHodnota;
      const char* Uvod;  // the first clause's end
      const char* Cekam;
    };
    const char* opakuji = "vzorky opakují hodnoty z dřívějšího průchodu, jako by byly nové. ";
    const char* nuly = "kanály, jejichž čtení selhalo, mají v datovém souboru nulu";
    const TRadek tabulka[] = {
        {"slow line", {{1, m(100)}, {2, m(100)}}, {}, 0, opakuji, "Pomůže vyšší rychlost linky"},
        {"scattered time-outs",
         {{1, m(100, 3, 3)}, {2, m(100, 49, 49)}},
         {},
         0,
         nuly,
         "Čtení modulů 1, 2 občas selhávají"},
        {"failing at once",
         {{1, m(100)}, {2, m(100, 20, 0)}},
         {},
         1,
         "vzorky opakují hodnoty z dřívějšího průchodu (kanály, jejichž čtení selhalo, naposledy "
         "přečtenou)",
         "Čtení modulu 2 občas selhávají"},
        {"one module", {{1, m(100)}, {4, m(50, 50, 50)}}, {}, 0, nuly, "Modul 4 neodpovídá"},
        {"some modules",
         {{1, m(100)}, {3, m(50, 50, 50)}, {9, m(40, 30, 20)}},
         {},
         0,
         nuly,
         "Moduly 3, 9 neodpovídají a každé jejich čtení"},
        {"converter",
         {{1, m(50, 50, 50, 50)}, {2, m(50, 50, 50, 49)}},
         {},
         0,
         "všechna čtení selhávají a datový soubor dostává místo hodnot nuly",
         "Převodník neodpovídá a"},
        {"whole bus",
         {{1, m(50, 50, 50)}, {2, m(50, 50, 50)}},
         {},
         1,
         "všechna čtení selhávají a datový soubor opakuje naposledy přečtené hodnoty",
         "Žádný modul neodpovídá"},
        // The converter went silent a moment ago: the look before had none
        // of it, and the line's advice must not come first.
        {"converter lately",
         {{1, m(1010, 10, 10, 10)}, {2, m(1010, 10, 10, 10)}},
         {{1, m(1000)}, {2, m(1000)}},
         0,
         "všechna čtení selhávají",
         "Převodník neodpovídá a"},
        {"lost lately",
         {{1, m(1010, 10, 10)}, {2, m(1010)}},
         {{1, m(1000)}, {2, m(1000)}},
         0,
         nuly,
         "Modul 1 neodpovídá"},
    };
    TPrubehy pomale;
    pomale.Pocet = 5;
    pomale.PosledniMs = 1500;
    for (const TRadek& r : tabulka) {
      const QString text =
          VarovaniPrubehu(pomale, PricinaPomalosti(r.Ted, r.Drive), r.ChybovaHodnota);
      QVERIFY2(text.startsWith(T("Průchod všemi kanály trvá déle než perioda měření (naposledy "
                                 "1500,0 ms, perioda 1 s): ") +
                               T(r.Uvod)) &&
                   text.contains(T(r.Cekam)),
               qPrintable(QString::fromUtf8(r.Co) + T(": ") + text));
      QVERIFY2(std::string_view(r.Co) == "slow line" || !text.contains(T("vyšší rychlost linky")),
               qPrintable(QString::fromUtf8(r.Co) + T(": ") + text));
    }
    TPrubehy vcas = pomale;
    vcas.PosledniMs = 900;
    QVERIFY(VarovaniPrubehu(vcas, PricinaPomalosti(tabulka[5].Ted, {}), 0).isEmpty());

    // The look compared with: none at first, the one taken a gap before
    // once reads came since, kept while none come.
    TDrivejsiModuly drivejsi;
    const TModuly a = {{1, m(10, {})}}, b = {{1, m(20, {})}}, c = {{1, m(30, {})}};
    QVERIFY(drivejsi.Pred(a, 1000, 10000).empty());
    QVERIFY(drivejsi.Pred(b, 9000, 10000).empty());
    QCOMPARE(drivejsi.Pred(b, 11000, 10000).at(1).Cteni, uint64_t{10});
    QCOMPARE(drivejsi.Pred(c, 22000, 10000).at(1).Cteni, uint64_t{20});
    QCOMPARE(drivejsi.Pred(c, 40000, 10000).at(1).Cteni, uint64_t{20});
  }

  // Size, place, channels, range and value axis are remembered per task in
  // a file of their own: back with the task after another one, and after
  // the program ends; the task file is not touched.
  void nastaveniPodleUlohy() {
    const fs::path a = Slozka() / "A.zq";
    {
      TForm1 w;
      TPoleKanal k;
      InitKanaly(k);
      Kanaly.Nahrad(k);
      CFG.PocetKanalu = 5;
      Odpovez(a);
      w.Button7Click();  // saved as A.zq, 5 channels
      const QByteArray uloha = Obsah(a);
      QVERIFY(!uloha.isEmpty());

      TFormPrubeh* p = w.Prubeh();
      p->Ukaz();
      p->Vyber(1, true);
      p->Vyber(3, true);
      p->PanelGrafu->Rozsah->setCurrentIndex(4);
      p->PanelGrafu->OsaY->setCurrentIndex(1);
      p->resize(700, 450);
      p->move(130, 90);
      QTRY_COMPARE(p->size(), QSize(700, 450));
      p->close();
      QCOMPARE(Obsah(a), uloha);

      Odpovez(Slozka() / "B.zq");  // not there: the default task
      w.Button6Click();
      QCOMPARE(p->Vybrane(), std::vector<int>{});
      p->Ukaz();
      QVERIFY(p->size() != QSize(700, 450));
      QCOMPARE(p->PanelGrafu->Rozsah->currentIndex(), 1);
      QCOMPARE(p->PanelGrafu->OsaY->currentIndex(), 0);
      p->move(10, 10);
      p->close();

      Odpovez(a);
      w.Button6Click();
      QCOMPARE(p->Vybrane(), (std::vector<int>{1, 3}));
      p->Ukaz();
      QTRY_COMPARE(p->size(), QSize(700, 450));
      QTRY_COMPARE(p->pos(), QPoint(130, 90));
      QCOMPARE(p->PanelGrafu->Rozsah->currentIndex(), 4);
      QCOMPARE(p->PanelGrafu->OsaY->currentIndex(), 1);
      p->Vyber(0, true);
      w.close();  // the program ends with the window open
    }
    QVERIFY(!Obsah(Slozka() / "ZQ_datalogger.ini").contains("Kan"));
    // Starts with A.zq, the last task, reading only the settings and the
    // task file: the trend window's file waits until the window is shown.
    const uint64_t otevreni = PocetOtevreniProfilu();
    TForm1 znovu;
    QCOMPARE(PocetOtevreniProfilu() - otevreni, uint64_t{2});
    znovu.Prubeh()->Ukaz();
    QCOMPARE(znovu.Prubeh()->Vybrane(), (std::vector<int>{0, 1, 3}));
  }

  // The CSV holds the history shown: a line per read of each chosen
  // channel, the values in the channel's decimals with the regional
  // separator, a failed read with no value; a PNG of the plot beside it.
  void csvZobrazeneHistorie() {
    TForm1 w;
    Nastav(w,
           {Kanal("Teplota; venku", 1, 1), Kanal("Počet", 1, 1, "float32", 0), Kanal("Nic", 3, 0)});
    const int64_t pred = QDateTime::currentMSecsSinceEpoch();
    w.Button2Click();
    TMereni& m = w.Mereni();
    QVERIFY(QTest::qWaitFor([&] { return m.Historie().Prubehy().Pocet >= 3; }, 15000));
    Zastav(w);
    const int64_t po = QDateTime::currentMSecsSinceEpoch();

    TFormPrubeh* p = w.Prubeh();
    p->Ukaz(0);
    p->Vyber(1, true);
    p->Vyber(2, true);
    const fs::path csv = Slozka() / "vystup";
    Odpovez(csv);
    p->UlozCsvSoubor();
    const QByteArray data = Obsah(Slozka() / "vystup.csv");
    const QList<QByteArray> radky = data.split('\n');
    QCOMPARE(radky.first(),
             QByteArray::fromStdString(Cp1250("Datum;Čas;Kanál;Název;Hodnota;Minimum;Maximum\r")));
    const size_t bodu =
        m.Historie().Body(0).size() + m.Historie().Body(1).size() + m.Historie().Body(2).size();
    QCOMPARE(static_cast<size_t>(radky.size()), bodu + 2);  // header, and "" after the last CR LF
    QVERIFY(radky.last().isEmpty());
    const QRegularExpression tvar(
        T("^(\\d{1,2}\\.\\d{1,2}\\.\\d{4});(\\d{1,2}):(\\d\\d):(\\d\\d);Ch(\\d);(.*)\r$"));
    int64_t predchozi = 0;
    int nic = 0;
    for (qsizetype i = 1; i + 1 < radky.size(); ++i) {
      const QRegularExpressionMatch z = tvar.match(QString::fromLatin1(radky[i]));
      QVERIFY2(z.hasMatch(), radky[i].constData());
      const QDateTime kdy(
          QDate::fromString(z.captured(1), T("d.M.yyyy")),
          QTime(z.captured(2).toInt(), z.captured(3).toInt(), z.captured(4).toInt()));
      QVERIFY(kdy.toMSecsSinceEpoch() >= pred - 1000 && kdy.toMSecsSinceEpoch() <= po);
      QVERIFY(kdy.toMSecsSinceEpoch() >= predchozi);
      predchozi = kdy.toMSecsSinceEpoch();
      const QByteArray zbytek = radky[i].mid(radky[i].indexOf(";Ch") + 1);
      if (z.captured(5) == T("0"))
        QCOMPARE(zbytek, QByteArray("Ch0;\"Teplota; venku\";123,45;;\r"));
      else if (z.captured(5) == T("1"))
        QCOMPARE(zbytek, QByteArray::fromStdString(Cp1250("Ch1;Počet;123;;\r")));
      else {
        QCOMPARE(zbytek, QByteArray("Ch2;Nic;;;\r"));
        ++nic;
      }
    }
    QCOMPARE(static_cast<size_t>(nic), m.Historie().Body(2).size());

    // The picture: the plot with a title above it and a legend below, where
    // a square of each channel's colour stands before its name.
    Odpovez(Slozka() / "graf.png");
    p->UlozObrazek();
    const QImage obrazek(QString::fromStdString((Slozka() / "graf.png").string()), "PNG");
    QCOMPARE(obrazek.width(), p->PanelGrafu->Graf->width());
    QVERIFY(obrazek.height() > p->PanelGrafu->Graf->height());
    for (int k = 0; k < 3; ++k) {
      bool ctverec = false;
      for (int y = obrazek.height() - 20; y < obrazek.height() && !ctverec; ++y)
        for (int x = 0; x < obrazek.width() && !ctverec; ++x)
          ctverec = obrazek.pixel(x, y) == BarvaKanalu(k).rgb();
      QVERIFY2(ctverec, qPrintable(QString::number(k)));
    }
  }

  // The texts of the plot: a saved picture's title over one day and over
  // midnight, a bubble's point, and a channel's range in view (thinned
  // intervals by their bounds, failed reads left out).
  void textyGrafu() {
    const int64_t t = QDateTime(QDate(2026, 12, 7), QTime(14, 0, 22)).toMSecsSinceEpoch();
    QCOMPARE(NadpisGrafu("Kotelna.zq", t, t + 300000),
             T("Kotelna.zq: 7.12.2026 14:00:22 až 14:05:22"));
    QCOMPARE(NadpisGrafu(Cp1250("Výměník.zq"), t - 15 * 3600000LL, t),
             T("Výměník.zq: 6.12.2026 23:00:22 až 7.12.2026 14:00:22"));
    QCOMPARE(PopisBodu(3, Cp1250("Vlhkost vzduchu"), t, 33.456, 1, ','),
             T("Ch3 Vlhkost vzduchu\n7.12.2026 14:00:22\n33,5"));
    TDataKanalu d;
    d.SirkaUsekuMs = 100;
    d.Useky = {{0, 5, 9, 10, 0}, {100, NAN, NAN, 10, 10}};
    d.Body = {{250, 2}, {260, NAN}, {400, 12}};
    QVERIFY(RozsahKanalu(d, 0, 300) == std::pair(2.0, 9.0));
    QVERIFY(std::isnan(RozsahKanalu(d, 255, 300).first));
  }

  // The remembered settings come back as written; a section written before
  // the place and the value axis were remembered reads with them unset; a
  // misspelt key is said, and no key the window writes.
  void nastaveniZapsanaAPrectena() {
    {
      QFile f(QString::fromStdString((Slozka() / "ZQ_prubeh.ini").string()));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray::fromStdString(
          Cp1250("[Stará.zq]\r\nŠířka=1100\r\nVýška=640\r\nKanály=0,1,2\r\nZobrazit=3\r\n"
                 "Osa=1\r\n")));
    }
    TNastaveniPrubehu n;
    n.Sirka = 900;
    n.Vyska = 500;
    n.Poloha = true;
    n.X = -20;
    n.Y = 40;
    n.Kanaly = {0, 7, 255};
    n.Rozsah = 4;
    n.OsaY = 1;
    ZapisNastaveniPrubehu(Cp1250("Nová.zq"), n);
    QVERIFY(PrectiNastaveniPrubehu(Cp1250("NOVÁ.zq")) == n);
    TNastaveniPrubehu stara;
    stara.Sirka = 1100;
    stara.Vyska = 640;
    stara.Kanaly = {0, 1, 2};
    stara.Rozsah = 3;
    std::vector<std::string> nezname;
    QVERIFY(PrectiNastaveniPrubehu(Cp1250("Stará.zq"), &nezname) == stara);
    QCOMPARE(nezname, std::vector<std::string>{
                          Cp1250("ZQ_prubeh.ini: neznámý klíč [Stará.zq] Osa (překlep?)")});
  }

  // Where the data go: the full path of the task's data file in the trend
  // window and in the tooltips of "Jméno souboru", updated as the name
  // changes; its folder opened through the desktop, or why it was not.
  void datovySoubor() {
    const QString slozka = QString::fromStdString(Slozka().string());
    const struct {
      const char* Jmeno;
      QString Cesta;
    } tabulka[] = {
        {"", QString()},
        {"data.csv", slozka + T("/data.csv")},
        {"Měření/a.txt", slozka + T("/Měření/a.txt")},
        {"x/../b.dbf", slozka + T("/b.dbf")},
        {"/var/tmp/c.txt", T("/var/tmp/c.txt")},
    };
    for (const auto& r : tabulka) QCOMPARE(CelaDatovaCesta(Cp1250(r.Jmeno)), r.Cesta);

    TForm1 w;
    w.Edit3->setText(T("Měření/data.csv"));
    const QString cesta = slozka + T("/Měření/data.csv");
    QCOMPARE(w.Edit3->toolTip(), T("Datový soubor: ") + cesta);
    QCOMPARE(w.Label5->toolTip(), w.Edit3->toolTip());
    TFormPrubeh* p = w.Prubeh();
    p->Ukaz();
    QCOMPARE(p->DatovySoubor->text(), cesta);
    std::vector<QUrl> otevreno;
    bool otevre = true;
    p->OtevriUrl = [&](const QUrl& url) {
      otevreno.push_back(url);
      return otevre;
    };
    p->OtevritSlozku->click();
    QVERIFY(otevreno.empty());
    QCOMPARE(p->Stav->text(), T("Složka \"") + slozka +
                                  T("/Měření\" zatím neexistuje, vznikne se "
                                    "startem měření."));
    fs::create_directory(Slozka() / "Měření");
    p->OtevritSlozku->click();
    QCOMPARE(otevreno, std::vector<QUrl>{QUrl::fromLocalFile(slozka + T("/Měření"))});
    otevre = false;
    p->OtevritSlozku->click();
    QVERIFY(p->Stav->text().contains(T("se nepodařilo otevřít")));
    w.Edit3->setText(T("jinde.txt"));
    QCOMPARE(p->DatovySoubor->text(), slozka + T("/jinde.txt"));
    w.Edit3->clear();
    QVERIFY(!p->OtevritSlozku->isEnabled());
    QVERIFY(w.Edit3->toolTip().isEmpty());
  }

  // The split of the data files in the data file's row: what is wrong in
  // ZQ_soubory.ini said, the choice written to the task's section, the
  // file of the day shown before the start and the current one while
  // measured; without a split, the date the file will pass what
  // spreadsheets open.
  void rozdeleniSouboru() {
    // Moved on while the logging thread reads it.
    std::mutex m;
    TDatumCas ted{2026, 12, 8, 10, 0, 0};
    NastavZdrojCasu([&] {
      std::lock_guard<std::mutex> z(m);
      return ted;
    });
    const auto zpet = qScopeGuard([] { NastavZdrojCasu({}); });
    const fs::path ini = Slozka() / "ZQ_soubory.ini";
    {
      QFile f(QString::fromStdString(ini.string()));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(
          "[Rozd\xECl"
          "en\xED]\r\nRozd\xECl"
          "it=tyden\r\n");
    }
    TForm1 w;
    Nastav(w, {Kanal("A", 1, 0), Kanal("B", 1, 1)});
    TFormPrubeh* p = w.Prubeh();
    p->Ukaz();
    const QString slozka = QString::fromStdString(Slozka().string());
    QVERIFY2(p->ZpravySouboru->text().contains(T("Rozdělit=tyden: neznámé rozdělení")),
             qPrintable(p->ZpravySouboru->text()));
    QCOMPARE(p->Rozdelit->currentIndex(), int(TRozdeleni::Ne));
    QCOMPARE(p->DatovySoubor->text(), slozka + T("/data.csv"));

    TZapsane zapsane(w.Mereni());
    w.Button2Click();
    QVERIFY(QTest::qWaitFor([&] { return zapsane.Pocet >= 1; }, 10000));
    p->Obnov();
    QVERIFY2(p->ZpravySouboru->text().contains(
                 T("1 048 576 řádků, které otevřou tabulkové procesory, dne 20.12.2026 (za 12,1 "
                   "dne při periodě 1 s); předejde tomu Rozdělit=týden")),
             qPrintable(p->ZpravySouboru->text()));
    Zastav(w);

    p->Rozdelit->setCurrentIndex(int(TRozdeleni::Den));
    p->Ponechat->setValue(5);
    QVERIFY(PrectiNastaveniSouboru(ini, CFG.Uloha, "data.csv") ==
            TNastaveniSouboru({TRozdeleni::Den, 0, 5}));
    QVERIFY(!p->VelikostMB->isEnabled());
    QVERIFY(p->ZpravySouboru->isHidden());
    QCOMPARE(p->DatovySoubor->text(), slozka + T("/data_2026-12-08.csv"));
    zapsane.Pocet = 0;
    w.Button2Click();
    QVERIFY(QTest::qWaitFor([&] { return zapsane.Pocet >= 1; }, 10000));
    QCOMPARE(zapsane.Posledni.Soubor, Slozka() / "data_2026-12-08.csv");
    {
      std::lock_guard<std::mutex> z(m);
      ted = {2026, 12, 9, 0, 0, 0};
    }
    QVERIFY(QTest::qWaitFor(
        [&] { return zapsane.Posledni.Soubor == Slozka() / "data_2026-12-09.csv"; }, 10000));
    QCOMPARE(p->DatovySoubor->text(), slozka + T("/data_2026-12-09.csv"));
    Zastav(w);
  }
};

QTEST_MAIN(TestPrubeh)
#include "test_prubeh.moc"
