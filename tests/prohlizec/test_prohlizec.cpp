// zq-prohlizec from the command line: what --csv writes over a range against
// the file's records, the picture of --png, and the exit status and message
// of each bad call and each file that is not one of ours.

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "Cp1250.h"
#include "DataSoubory.h"
#include "Prohlizec.h"
#include "Slozka.h"
#include "Stupnice.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t Zacatek = 1774738680;  // 2026-03-28 23:58:00 in Prague
constexpr int64_t Perioda = 7;
constexpr int Vzorku = 40;

// What --csv should write for `kanaly` over [od, do_]: the file's records
// (the naive reader's) with the index, date and time columns of `volby`,
// a failed read as an empty field.
QByteArray OcekavaneCsv(const fs::path& soubor, int32_t volby, const TArchivDat& a,
                        const std::vector<int>& kanaly, int64_t od, int64_t do_) {
  const int predpona = !!(volby & VolbaIndex) + !!(volby & VolbaDatum) + !!(volby & VolbaCas);
  const int skupin = (volby & VolbaChyba) ? PocetSkupinChyb(a.PocetKanalu) : 0;
  const auto radky = NaivneCti(soubor, predpona + skupin + a.PocetKanalu, volby & VolbaZahlavi);
  std::vector<std::string> hlavicka;
  if (volby & VolbaIndex) hlavicka.push_back("Index");
  if (volby & VolbaDatum) hlavicka.push_back("Datum");
  if (volby & VolbaCas) hlavicka.push_back(Cp1250("Čas"));
  for (int k : kanaly) hlavicka.push_back(PoleCSV(a.Vzorek.Nazev[k]));
  QByteArray v;
  auto radek = [&](const std::vector<std::string>& pole) {
    for (size_t i = 0; i < pole.size(); ++i)
      v += QByteArray::fromStdString((i ? ";" : "") + pole[i]);
    v += "\r\n";
  };
  radek(hlavicka);
  for (size_t i = 0; i < radky.size(); ++i) {
    const int64_t t = Zacatek + static_cast<int64_t>(i) * Perioda;
    if (t < od || t > do_) continue;
    std::vector<std::string> pole(radky[i].begin(), radky[i].begin() + predpona);
    for (int k : kanaly)
      pole.push_back(TMereniZapisu::Selhal(static_cast<int>(i), k)
                         ? ""
                         : radky[i][static_cast<size_t>(predpona + skupin + k)]);
    radek(pole);
  }
  return v;
}

}  // namespace

class TestProhlizec : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  fs::path Cesta(const std::string& jmeno) const {
    return fs::path(dir_.path().toStdString()) / jmeno;
  }
  // The measurements written, by file.
  std::map<std::string, TArchivDat> zapsano_;

  void Zapis(const std::string& jmeno, int32_t volby, int kanalu, int vzorku = Vzorku,
             const std::function<void(int)>& mezi = {}) {
    fs::create_directories(Cesta(jmeno).parent_path());
    TMereniZapisu m(Cesta(jmeno), volby, kanalu);
    for (int i = 0; i < vzorku; ++i) {
      if (mezi) mezi(i);
      QVERIFY(m.Zapis(Zacatek + i * Perioda));
    }
    zapsano_[jmeno] = m.A;
  }
  void ZapisUlohu(const std::string& jmeno, const std::string& data) {
    TCFG u;
    InitCFG(u);
    u.JmenoSouboru = CestaCp1250(fs::path(data).filename());
    u.Volby = zapsano_[data].Volby;
    u.PocetKanalu = zapsano_[data].PocetKanalu;
    TPoleKanal k;
    InitKanaly(k);
    for (int i = 0; i < u.PocetKanalu; ++i)
      k[static_cast<size_t>(i)].Nazev = zapsano_[data].Vzorek.Nazev[i];
    fs::create_directories(Cesta(jmeno).parent_path());
    NastavSlozkuProgramu(Cesta(jmeno).parent_path());
    u.Uloha = Cesta(jmeno).filename().string();
    QVERIFY(ZapisCelouUlohu(u, k));
    NastavSlozkuProgramu({});
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("TZ", "Europe/Prague");
    tzset();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Cesta("mezipamet").string()));
    NastavZdrojCasu([] { return g_hodiny; });
    NastavMistni(MistniCeske());
    Zapis("data.csv", 31, 3);
    Zapis("data.dbf", 31, 3);
    // A line of too few fields in the middle (the header is line 1).
    Zapis("kratky.csv", 31, 3, 20, [&](int i) {
      if (i == 10) Pripoj(Cesta("kratky.csv"), "11;29.3.2026;0:01:10\r\n");
    });
    // The table's header counting fewer records than it holds.
    Zapis("pocet.dbf", 31, 3, 20);
    {
      QFile f(QString::fromStdString(Cesta("pocet.dbf").string()));
      QVERIFY(f.open(QIODevice::ReadWrite));
      f.seek(4);
      f.write(QByteArray("\x05\x00\x00\x00", 4));
    }
    // Without a header line: no task, two tasks, a task given.
    Zapis("bez/data.csv", 30, 3);
    Zapis("dve/data.csv", 30, 3);
    ZapisUlohu("dve/A.zq", "dve/data.csv");
    ZapisUlohu("dve/B.zq", "dve/data.csv");
    zapsano_["ulohy/T"] = zapsano_["bez/data.csv"];
    ZapisUlohu("ulohy/T.zq", "bez/data.csv");
    // Another task's file beside.
    Zapis("jina.csv", 31, 4);
    Zapis("bezcasu.csv", VolbaZahlavi | VolbaIndex | VolbaChyba, 3);
    // Two days of a series.
    Zapis("rada/d_2026-03-28.csv", 31, 3, 10);
    Zapis("rada/d_2026-03-29.csv", 31, 3, 10);
    // Not ours.
    Pripoj(Cesta("prazdny.txt"), "");
    QByteArray nahodne;
    uint32_t x = 12345;
    for (int i = 0; i < 65536; ++i) {
      x = x * 1103515245 + 12345;
      nahodne += static_cast<char>(x >> 24);
    }
    Pripoj(Cesta("nahodny.txt"), nahodne);
    QByteArray cizi = Bajty(Cesta("data.dbf"));
    cizi[0] = 0x30;  // a table of another program
    Pripoj(Cesta("cizi.dbf"), cizi);
    Pripoj(Cesta("poznamka.txt"), "Měření linky 1\r\nteplota;tlak\r\n");
    Pripoj(Cesta("poznamka.csv"), "Měření linky 1\r\nteplota;tlak\r\n");
  }
  void cleanupTestCase() { NastavZdrojCasu({}); }

  void volani_data() {
    QTest::addColumn<QStringList>("argumenty");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("chyby");   // part of the message, or of every line of it
    QTest::addColumn<QString>("soubor");  // --csv -: the file whose records it writes
    const QString od = "--od", do_ = "--do", csv = "--csv", k = "--kanaly";
    QTest::newRow("no file") << QStringList{} << 2 << "chybí datový soubor"
                             << "";
    QTest::newRow("unknown option")
        << QStringList{"--xyz", "data.csv"} << 2 << "neznámá volba --xyz"
        << "";
    QTest::newRow("option without value")
        << QStringList{"data.csv", csv} << 2 << "volba --csv potřebuje hodnotu"
        << "";
    QTest::newRow("time form") << QStringList{od, "2026-03-28 23:59:10", "data.csv"} << 2
                               << "nemá tvar RRRR-MM-DDTHH:MM:SS"
                               << "";
    QTest::newRow("no such time") << QStringList{do_, "2026-02-30T00:00:00", "data.csv"} << 2
                                  << "nemá tvar"
                                  << "";
    QTest::newRow("range backwards")
        << QStringList{od, "2026-03-29T00:00:00", do_, "2026-03-28T00:00:00", "data.csv"} << 2
        << "--od je po --do"
        << "";
    QTest::newRow("channel list") << QStringList{k, "1,x", csv, "-", "data.csv"} << 2
                                  << "není čísla oddělená čárkou"
                                  << "";
    QTest::newRow("no such channel") << QStringList{k, "0,3", csv, "-", "data.csv"} << 2
                                     << "kanál 3 neexistuje: soubor má 3 kanály"
                                     << "";
    QTest::newRow("picture without time")
        << QStringList{"--png", "x.png", "bezcasu.csv"} << 2 << "obrázek nemá časovou osu"
        << "";
    QTest::newRow("missing") << QStringList{"nic.csv"} << 2 << "soubor neexistuje"
                             << "";
    QTest::newRow("empty") << QStringList{"prazdny.txt"} << 2 << "soubor je prázdný"
                           << "";
    QTest::newRow("random bytes") << QStringList{"nahodny.txt"} << 2 << "řádek 1"
                                  << "";
    QTest::newRow("someone's note")
        << QStringList{"poznamka.txt"} << 2 << "řádek 1 není záhlaví datového souboru"
        << "";
    QTest::newRow("someone's list")
        << QStringList{"poznamka.csv"} << 2 << "řádek 2 není záznamem sloupců záhlaví na řádku 1"
        << "";
    QTest::newRow("another table") << QStringList{"cizi.dbf"} << 2 << "není tabulka dBASE III"
                                   << "";
    QTest::newRow("two tasks' files")
        << QStringList{"data.csv", "jina.csv"} << 2 << "má jiné sloupce"
        << "";
    QTest::newRow("no header, no task") << QStringList{"bez/data.csv"} << 2
                                        << "není úloha (*.zq), jejíž „Jméno souboru“ jej jmenuje"
                                        << "";
    QTest::newRow("no header, two tasks")
        << QStringList{"dve/data.csv"} << 2 << "více úloh (A.zq, B.zq)"
        << "";
    QTest::newRow("no header, task given")
        << QStringList{"--uloha", "ulohy/T.zq", csv, "-", "bez/data.csv"} << 0 << ""
        << "bez/data.csv";
    QTest::newRow("range of two channels")
        << QStringList{k,   "2,0", od,        "2026-03-28T23:59:10", do_, "2026-03-29T00:01:00",
                       csv, "-",   "data.csv"}
        << 0 << ""
        << "data.csv";
    QTest::newRow("table, range") << QStringList{od,        "2026-03-28T23:59:10",
                                                 do_,       "2026-03-28T23:59:59",
                                                 csv,       "-",
                                                 "data.dbf"}
                                  << 0 << ""
                                  << "data.dbf";
    QTest::newRow("short line in the middle")
        << QStringList{"kratky.csv"} << 0
        << "vynechány řádky, které nejsou záznamem (jiný počet polí, přerušený zápis): 1 "
           "(první je řádek 12)"
        << "";
    QTest::newRow("table count")
        << QStringList{"pocet.dbf"} << 0
        << "počet záznamů v hlavičce tabulky je 5, podle velikosti souboru jich je 20"
        << "";
  }
  // The picture: the channels asked for drawn in their colours (as the trend
  // window's saved picture), the others not.
  void obrazek() {
    const std::string png = Cesta("obrazek.png").string();
    std::ostringstream vystup, chybovy;
    QCOMPARE(SpustProhlizec({"--png", png, "--kanaly", "0,2", Cesta("data.csv").string()}, vystup,
                            chybovy),
             0);
    QCOMPARE(QString::fromStdString(chybovy.str()), QString());
    const QImage o(QString::fromStdString(png));
    QCOMPARE(o.width(), 1200);
    QVERIFY(o.height() > 600);
    // Pixels of the plot (not the title, the labels or the legend) of the
    // channel's colour, give or take the smoothing of its line.
    auto pixelu = [&](int kanal) {
      int n = 0;
      const QColor barva = BarvaKanalu(kanal);
      for (int y = 40; y < o.height() - 70; ++y)
        for (int x = 60; x < o.width() - 10; ++x) {
          const QColor c = o.pixelColor(x, y);
          n += std::abs(c.red() - barva.red()) + std::abs(c.green() - barva.green()) +
                   std::abs(c.blue() - barva.blue()) <
               120;
        }
      return n;
    };
    QVERIFY2(pixelu(0) > 200 && pixelu(2) > 200,
             qPrintable(QString("%1 %2").arg(pixelu(0)).arg(pixelu(2))));
    QCOMPARE(pixelu(1), 0);
  }

  // Without a display, as cron runs it, and with QT_QPA_PLATFORM set but
  // empty: the program draws off the screen by itself.
  void bezDispleje() {
    QProcess p;
    QProcessEnvironment prostredi = QProcessEnvironment::systemEnvironment();
    prostredi.remove("DISPLAY");
    prostredi.remove("WAYLAND_DISPLAY");
    prostredi.insert("QT_QPA_PLATFORM", "");
    p.setProcessEnvironment(prostredi);
    const QString png = QString::fromStdString(Cesta("cron.png").string());
    p.start(ZQ_BIN "/zq-prohlizec",
            {"--png", png, "--kanaly", "1", QString::fromStdString(Cesta("data.csv").string())});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QImage(png).isNull());
    // Without a display and without an output the window cannot open: the
    // summary comes as before it existed; --rada reads the file's series.
    p.start(ZQ_BIN "/zq-prohlizec",
            {"--rada", QString::fromStdString(Cesta("rada/d_2026-03-29.csv").string())});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("Soubory: 2 (CSV)"));
  }

  void volani() {
    QFETCH(QStringList, argumenty);
    QFETCH(int, kod);
    QFETCH(QString, chyby);
    QFETCH(QString, soubor);
    std::vector<std::string> a;
    for (const QString& s : argumenty)
      a.push_back(s.startsWith("-") || s.startsWith("2026") || s.contains(',') || s.size() < 3
                      ? s.toStdString()
                      : Cesta(s.toStdString()).string());
    std::ostringstream vystup, chybovy;
    QCOMPARE(SpustProhlizec(a, vystup, chybovy), kod);
    const QString zprava = QString::fromStdString(chybovy.str());
    if (chyby.isEmpty())
      QVERIFY2(kod != 0 || !zprava.contains("zq-prohlizec:"), qPrintable(zprava));
    else
      QVERIFY2(zprava.contains(chyby), qPrintable(zprava));
    if (kod != 0) QVERIFY(zprava.startsWith("zq-prohlizec: "));
    if (soubor.isEmpty()) return;
    // The channels and range asked for.
    std::vector<int> kanaly{0, 1, 2};
    int64_t od = INT64_MIN, do_ = INT64_MAX;
    for (int i = 0; i + 1 < argumenty.size(); ++i) {
      if (argumenty[i] == "--kanaly") kanaly = {2, 0};
      if (argumenty[i] == "--od" || argumenty[i] == "--do") {
        const QDateTime t = QDateTime::fromString(argumenty[i + 1], Qt::ISODate);
        (argumenty[i] == "--od" ? od : do_) = t.toSecsSinceEpoch();
      }
    }
    const TArchivDat& m = zapsano_[soubor.toStdString()];
    const QByteArray ocekavano =
        OcekavaneCsv(Cesta(soubor.toStdString()), m.Volby, m, kanaly, od, do_);
    QVERIFY(ocekavano.count("\r\n") > 4);
    QCOMPARE(QByteArray::fromStdString(vystup.str()), ocekavano);
  }
};

QTEST_MAIN(TestProhlizec)
#include "test_prohlizec.moc"
