// The viewer's window: a file followed while it is written (appended lines,
// a torn line completed later, the file cut back), a series with a missing
// day and a new day's file, the cursors' values, the statistics and the CSV
// of the time in view against the file, the choice remembered, and the main
// thread never stalled while a large file is indexed.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>

#include "Cp1250.h"
#include "CteniDat.h"
#include "GrafKanalu.h"
#include "OknoProhlizece.h"
#include "Prohlizec.h"
#include "SouborovyDialog.h"
#include "ZaznamyOkna.h"

namespace fs = std::filesystem;
using Hodiny = std::chrono::steady_clock;

namespace {

// The sanitizers read several times slower, ThreadSanitizer tens of times.
#if defined(__SANITIZE_THREAD__)
constexpr bool Sanitizer = true;
constexpr int VelkyZaznamu = 150000;
#elif defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitizer = true;
constexpr int VelkyZaznamu = 600000;
#else
constexpr bool Sanitizer = false;
constexpr int VelkyZaznamu = 3000000;
#endif

constexpr int Kanalu = 3;
constexpr int Limit = 60000;  // ms: a bound on every wait, for a loaded machine
const std::vector<std::string> Nazvy{"K0", Cp1250("K1; č\"x"), "K2"};

std::string Radek(int64_t t, int i) { return RadekOkna(t, i, Kanalu); }
void Vytvor(const fs::path& p, int64_t od, int64_t krok, int zaznamu) {
  QVERIFY(VytvorSoubor(p, od, krok, zaznamu, Nazvy));
}

}  // namespace

class TestOkno : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  fs::path Cesta(const std::string& jmeno) const {
    return fs::path(dir_.path().toStdString()) / jmeno;
  }

  // A window with the files open and indexed.
  std::unique_ptr<TOknoProhlizece> Otevri(const std::vector<fs::path>& soubory, bool rada) {
    auto o = std::make_unique<TOknoProhlizece>();
    o->show();
    o->Otevri(soubory, rada);
    if (!QTest::qWaitFor([&] { return o->Cteni().JeOtevreno() && !o->Cteni().Indexuje(); }, Limit))
      return nullptr;
    return o;
  }
  // The plot shows the files' whole range ending at `posledni`, its lines
  // up to the last record (within a pixel column of `sloupec` seconds).
  static bool Ukazuje(TOknoProhlizece& o, int64_t posledni, int64_t sloupec = 1) {
    const std::vector<QList<QPointF>> krivka = o.Graf->Krivka(1);
    return o.Cteni().Rozsah() && o.Cteni().Rozsah()->second == posledni &&
           o.Graf->Zobrazeno().second == static_cast<double>(posledni) * 1000 && !krivka.empty() &&
           krivka.back().back().x() >= static_cast<double>(posledni - sloupec) * 1000 &&
           krivka.back().back().x() <= static_cast<double>(posledni + 1) * 1000;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("TZ", "Europe/Prague");
    tzset();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Cesta("mezipamet").string()));
    NastavZdrojCasu([] { return g_hodiny; });
    NastavMistni(MistniCeske());
    fs::create_directories(Cesta("program"));
    NastavSlozkuProgramu(Cesta("program"));
  }
  void cleanupTestCase() {
    NastavZdrojCasu({});
    NastavSlozkuProgramu({});
  }

  void sledovani() {
    const int64_t od = Pulnoc(2026, 3, 10);
    const fs::path p = Cesta("roste.csv");
    Vytvor(p, od, 1, 100);
    auto o = Otevri({p}, false);
    QVERIFY(o);
    QCOMPARE(o->Cteni().PocetZaznamu(), 100u);
    QVERIFY(QTest::qWaitFor([&] { return Ukazuje(*o, od + 99); }, Limit));

    // Appended lines show within a second (twice that allowed for a
    // loaded machine).
    const auto t0 = Hodiny::now();
    std::string pridano;
    for (int i = 100; i < 105; ++i) pridano += Radek(od + i, i);
    Pripoj(p, QByteArray::fromStdString(pridano));
    QVERIFY(QTest::qWaitFor([&] { return Ukazuje(*o, od + 104); }, Limit));
    QVERIFY2(Hodiny::now() - t0 < std::chrono::seconds(Sanitizer ? 10 : 2),
             "appended records shown late");
    QCOMPARE(o->Cteni().PocetZaznamu(), 105u);

    // A line still being written is not shown until its end comes.
    const std::string radek = Radek(od + 105, 105);
    Pripoj(p, QByteArray::fromStdString(radek.substr(0, radek.size() / 2)));
    const uint64_t obnov = o->Cteni().PocetObnov();
    QVERIFY(QTest::qWaitFor([&] { return o->Cteni().PocetObnov() >= obnov + 2; }, Limit));
    QCOMPARE(o->Cteni().PocetZaznamu(), 105u);
    QVERIFY(Ukazuje(*o, od + 104));
    Pripoj(p, QByteArray::fromStdString(radek.substr(radek.size() / 2)));
    QVERIFY(QTest::qWaitFor([&] { return Ukazuje(*o, od + 105); }, Limit));
    QCOMPARE(o->Cteni().PocetZaznamu(), 106u);

    // Cut back to 50 records: read anew.
    {
      QFile f(QString::fromStdString(p.string()));
      QVERIFY(f.resize(Bajty(p).indexOf(QByteArray::fromStdString(Radek(od + 50, 50)))));
    }
    QVERIFY(QTest::qWaitFor([&] { return Ukazuje(*o, od + 49) && o->Cteni().PocetZaznamu() == 50; },
                            Limit));
  }

  void rada() {
    // Days of a record every ten minutes; the 12th is missing.
    const fs::path slozka = Cesta("rada");
    fs::create_directories(slozka);
    auto den = [&](int d) {
      Vytvor(slozka / ("data_2026-03-" + std::to_string(d) + ".csv"), Pulnoc(2026, 3, d), 600, 144);
    };
    for (int d : {10, 11, 13}) den(d);
    auto o = Otevri({slozka / "data_2026-03-11.csv"}, true);
    QVERIFY(o);
    QCOMPARE(o->Cteni().Soubory().size(), 3u);
    QCOMPARE(o->Cteni().PocetZaznamu(), 3u * 144);
    QVERIFY(
        QTest::qWaitFor([&] { return Ukazuje(*o, Pulnoc(2026, 3, 13) + 143 * 600, 900); }, Limit));
    // No line crosses the missing day, and there are lines on both sides.
    const double dira = static_cast<double>(Pulnoc(2026, 3, 12)) * 1000;
    const double konec = static_cast<double>(Pulnoc(2026, 3, 13)) * 1000;
    bool pred = false, po = false;
    for (const QList<QPointF>& cast : o->Graf->Krivka(1)) {
      QVERIFY2(!(cast.front().x() < dira + 3600e3 && cast.back().x() > konec - 3600e3),
               "a line across the missing day");
      pred = pred || cast.front().x() < dira;
      po = po || cast.back().x() > konec;
    }
    QVERIFY(pred && po);

    // The next day's file appears: followed too.
    den(14);
    QVERIFY(
        QTest::qWaitFor([&] { return Ukazuje(*o, Pulnoc(2026, 3, 14) + 143 * 600, 900); }, Limit));
    QCOMPARE(o->Cteni().Soubory().size(), 4u);
    QCOMPARE(o->Cteni().PocetZaznamu(), 4u * 144);
  }

  void kurzory() {
    const int64_t od = Pulnoc(2026, 3, 10) + 3600;
    const fs::path p = Cesta("kurzory.csv");
    Vytvor(p, od, 7, 200);
    const auto radky = NaivneCti(p, 2 + Kanalu, true);
    QCOMPARE(radky.size(), 200u);
    auto o = Otevri({p}, false);
    QVERIFY(o);
    QCOMPARE(o->Cteni().Vybrane(), (std::vector<int>{0, 1, 2}));
    // A click a little off a record: the cursor takes the nearest.
    o->Graf->NastavKurzor(0, static_cast<double>(od + 20 * 7 + 2) * 1000);
    o->Graf->NastavKurzor(1, static_cast<double>(od + 150 * 7 - 3) * 1000);
    QVERIFY(QTest::qWaitFor(
        [&] {
          return o->Graf->CasKurzoru(0) == static_cast<double>(od + 20 * 7) * 1000 &&
                 o->Graf->CasKurzoru(1) == static_cast<double>(od + 150 * 7) * 1000;
        },
        Limit));
    for (int k = 0; k < Kanalu; ++k) {
      const double a = NaivniHodnota(radky[20][static_cast<size_t>(2 + k)]);
      const double b = NaivniHodnota(radky[150][static_cast<size_t>(2 + k)]);
      QCOMPARE(o->Graf->ZaznamKurzoru(0).Hodnoty[static_cast<size_t>(k)].Hodnota, a);
      QCOMPARE(o->Graf->ZaznamKurzoru(1).Hodnoty[static_cast<size_t>(k)].Hodnota, b);
      QCOMPARE(o->Graf->Hodnoty->item(k, 3)->text(),
               QString::fromStdString(FixniText(b - a, 3, ',')));
    }
    QVERIFY(o->Graf->PopisKurzoru->text().contains(TextTrvani(130 * 7000, ',')));

    // The statistics over the time zoomed into: records 30 to 60.
    o->Graf->Priblizi(static_cast<double>(od + 30 * 7) * 1000,
                      static_cast<double>(od + 60 * 7) * 1000);
    QVERIFY(QTest::qWaitFor(
        [&] { return o->Graf->Souhrny().size() == Kanalu && o->Graf->Souhrny().at(0).Pocet == 31; },
        Limit));
    for (int k = 0; k < Kanalu; ++k) {
      double min = INFINITY, max = -INFINITY, soucet = 0;
      for (int i = 30; i <= 60; ++i) {
        const double v = NaivniHodnota(radky[static_cast<size_t>(i)][static_cast<size_t>(2 + k)]);
        min = std::min(min, v);
        max = std::max(max, v);
        soucet += v;
      }
      const TSouhrnKanalu& s = o->Graf->Souhrny().at(k);
      QCOMPARE(s.Pocet, 31u);
      QCOMPARE(s.Min, min);
      QCOMPARE(s.Max, max);
      QVERIFY(std::abs(s.Prumer - soucet / 31) < 1e-9);
    }

    // "Uložit CSV…" writes the time in view as --csv writes that range.
    const fs::path csv = Cesta("vyrez.csv");
    NastavSouborovyZobrazovac([&](const TSouborovyDotaz&) {
      return TSouborovaOdpoved{true, QString::fromStdString(csv.string()), 1};
    });
    o->Graf->UlozitCsv->click();
    NastavSouborovyZobrazovac({});
    QVERIFY(QTest::qWaitFor([&] { return o->Stav->text().contains("Uloženo"); }, Limit));
    auto cas = [](int64_t t) {
      const TDatumCas d = MistniZ(t);
      return QDateTime(QDate(d.Rok, d.Mesic, d.Den), QTime(d.Hodina, d.Minuta, d.Sekunda))
          .toString(Qt::ISODate)
          .toStdString();
    };
    std::ostringstream ocekavano, chyby;
    QCOMPARE(SpustProhlizec(
                 {"--csv", "-", "--od", cas(od + 30 * 7), "--do", cas(od + 60 * 7), p.string()},
                 ocekavano, chyby),
             0);
    QCOMPARE(Bajty(csv), QByteArray::fromStdString(ocekavano.str()));
    QCOMPARE(Bajty(csv).count("\r\n"), 32);
  }

  void zapamatovani() {
    const fs::path ini = Cesta("program") / JmenoNastaveniProhlizece;
    Pripoj(ini, "[jinde]\r\nNeznamy=1\r\n");
    const fs::path p = Cesta("pamet.csv");
    Vytvor(p, Pulnoc(2026, 3, 10), 60, 30);
    {
      auto o = Otevri({p}, false);
      QVERIFY(o);
      QVERIFY(o->Stav->text().contains(QStringLiteral("Neznamy")));
      o->Kanaly->item(1)->setCheckState(Qt::Unchecked);
      o->Graf->OsaY->setCurrentIndex(1);
    }
    auto o = Otevri({p}, false);
    QVERIFY(o);
    QCOMPARE(o->Cteni().Vybrane(), (std::vector<int>{0, 2}));
    QCOMPARE(o->Kanaly->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(o->Graf->IndexOsyY(), 1);
    // Another file has its own.
    auto jine = Otevri({Cesta("kurzory.csv")}, false);
    QVERIFY(jine);
    QCOMPARE(jine->Cteni().Vybrane(), (std::vector<int>{0, 1, 2}));
    QCOMPARE(jine->Graf->IndexOsyY(), 0);
  }

  void odezva() {
    // Records a second apart, enough that indexing takes seconds.
    const int64_t od = Pulnoc(2026, 1, 5);
    const fs::path p = Cesta("velky.csv");
    constexpr int Zaznamu = VelkyZaznamu;
    Vytvor(p, od, 1, Zaznamu);
    fs::remove_all(Cesta("mezipamet"));

    TOknoProhlizece o;
    o.show();
    // The main thread's longest wait between ticks of 10 ms, and whether
    // the progress and a first picture were seen while indexing went on.
    auto posledni = Hodiny::now();
    Hodiny::duration nejdele{};
    bool prubeh = false, obrazek = false;
    QTimer tik;
    tik.setInterval(10);
    connect(&tik, &QTimer::timeout, this, [&] {
      const auto ted = Hodiny::now();
      nejdele = std::max(nejdele, ted - posledni);
      posledni = ted;
      if (o.Cteni().Indexuje()) {
        prubeh = prubeh || o.Prubeh->isVisible();
        obrazek = obrazek || !o.Graf->Krivka(0).empty();
      }
    });
    tik.start();
    posledni = Hodiny::now();
    const auto t0 = Hodiny::now();
    o.Otevri({p}, false);
    QVERIFY(QTest::qWaitFor([&] { return o.Cteni().JeOtevreno() && !o.Cteni().Indexuje(); },
                            5 * Limit));
    tik.stop();
    const auto ms = [](Hodiny::duration d) {
      return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    qInfo("indexed in %lld ms; the main thread's longest stall %lld ms",
          static_cast<long long>(ms(Hodiny::now() - t0)), static_cast<long long>(ms(nejdele)));
    QCOMPARE(o.Cteni().PocetZaznamu(), static_cast<uint64_t>(Zaznamu));
    QVERIFY(prubeh);
    QVERIFY(obrazek);
    QVERIFY2(nejdele < std::chrono::milliseconds(500), "the window froze");

    // Cancelled: what was indexed stays drawn.  (A copy: the index of the
    // file just read is in the cache.)
    const fs::path kopie = Cesta("velky2.csv");
    fs::copy_file(p, kopie);
    o.Otevri({kopie}, false);
    QVERIFY(QTest::qWaitFor([&] { return o.Zrusit->isVisible() && o.Cteni().PocetZaznamu() > 0; },
                            Limit));
    QTest::mouseClick(o.Zrusit, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !o.Cteni().Indexuje(); }, Limit));
    QVERIFY(o.Cteni().PocetZaznamu() < static_cast<uint64_t>(Zaznamu));
    QVERIFY(QTest::qWaitFor([&] { return !o.Graf->Krivka(0).empty(); }, Limit));
    QVERIFY(!o.Prubeh->isVisible());
  }
};

QTEST_MAIN(TestOkno)
#include "test_okno.moc"
