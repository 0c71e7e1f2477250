// Data files split into a series: the periods' names, every file of a
// series complete in itself with the indices going on across them, a day
// across a change of summer time, the DBF limit, the settings and what is
// wrong with them, the files kept and deleted, and the limits' warning.
// The clock is the test's; the time zone is Prague's.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "ArchivDat.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Hodiny.h"
#include "Mistni.h"
#include "Rozdeleni.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

TDatumCas g_ted;

QString T(const char* s) { return QString::fromUtf8(s); }

// Local date and time of `t` seconds since the epoch, and back.
TDatumCas Mistne(std::time_t t) {
  std::tm m{};
  localtime_r(&t, &m);
  return {m.tm_year + 1900, m.tm_mon + 1, m.tm_mday, m.tm_hour, m.tm_min, m.tm_sec};
}
std::time_t Epocha(const QString& text) {
  std::tm m{};
  strptime(text.toLatin1().constData(), "%Y-%m-%d %H:%M:%S", &m);
  m.tm_isdst = -1;  // the first of an hour that comes twice
  return std::mktime(&m);
}

QByteArray Obsah(const fs::path& p) {
  QFile f(QString::fromStdString(p.string()));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Index, date, time and two channels: a table of 5 fields.
constexpr int Volby = VolbaZahlavi | VolbaIndex | VolbaDatum | VolbaCas;
constexpr int HlavickaDbf = 32 + 32 * 5 + 1, ZaznamDbf = 14 * 5 + 1;

// The indices a file holds, after checking that it is complete: a text or
// CSV file's first line is the task's header, a table's header counts its
// own records and its layout is that of `vzor` (the first file's).
std::vector<uint32_t> Indexy(const fs::path& p, QByteArray& vzor) {
  const QByteArray d = Obsah(p);
  std::vector<uint32_t> indexy;
  if (p.extension() == ".dbf") {
    const uint32_t pocet = qFromLittleEndian<quint32>(d.constData() + 4);
    if (d.size() != static_cast<qsizetype>(HlavickaDbf + pocet * ZaznamDbf + 1) || d.back() != 0x1A)
      return {};
    const QByteArray rozlozeni = d.left(1) + d.mid(8, HlavickaDbf - 8);
    if (vzor.isEmpty()) vzor = rozlozeni;
    if (rozlozeni != vzor) return {};
    for (uint32_t i = 0; i < pocet; ++i)
      indexy.push_back(
          d.mid(HlavickaDbf + 1 + static_cast<int>(i) * ZaznamDbf, 14).trimmed().toUInt());
    return indexy;
  }
  const bool csv = p.extension() == ".csv";
  const QByteArray hlavicka = csv ? QByteArray(
                                        "Index;Datum;\xC8"
                                        "as;T1;T2\r\n")
                                  : QByteArray(
                                        "Index       \tDatum       \t\xC8"
                                        "as         \tT1            \tT2  "
                                        "          \r\n");
  if (!d.startsWith(hlavicka)) return {};
  for (const QByteArray& r : d.mid(hlavicka.size()).split('\n'))
    if (!r.isEmpty()) indexy.push_back(r.split(csv ? ';' : '\t').at(0).trimmed().toUInt());
  return indexy;
}

}  // namespace

class TestRozdeleni : public QObject {
  Q_OBJECT

  QTemporaryDir* dir_ = nullptr;
  fs::path Slozka() const { return fs::path(dir_->path().toStdString()); }

  TArchivDat Archiv(const std::string& jmeno) const {
    TArchivDat a;
    PripravArchiv(a, (Slozka() / jmeno).string(), Volby, 2);
    a.Vzorek.Nazev[0] = "T1";
    a.Vzorek.Nazev[1] = "T2";
    a.Vzorek.Hodnota[0] = "21,5";
    a.Vzorek.Hodnota[1] = "7";
    return a;
  }

  // One sample at `t` as the measurement writes it: the series picks the
  // file, the writer appends.
  static void Vzorek(TArchivDat& a, TRadaSouboru& rada, const TDatumCas& t,
                     std::vector<std::string>& zpravy, QStringList& nove) {
    g_ted = t;
    a.Vzorek.Datum = FormatujDatum(t);
    a.Vzorek.Cas = FormatujCas(t);
    rada.PredZapisem(a, t, zpravy);
    std::string chyba;
    ZapisVzorek(a, chyba);
    QVERIFY(chyba.empty());
    if (rada.PoZapisu(true, zpravy))
      nove << QString::fromStdString(fs::path(a.JmenoSouboru).filename().string());
  }

  static void Zapis(const fs::path& p, const QByteArray& d) {
    QFile f(QString::fromStdString(p.string()));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(d);
  }

 private slots:
  void initTestCase() {
    NastavMistni(MistniCeske());
    NastavZdrojCasu([] { return g_ted; });
  }
  void init() {
    dir_ = new QTemporaryDir;
    QVERIFY(dir_->isValid());
    NastavSlozkuProgramu(Slozka());
  }
  void cleanup() {
    NastavLimitDBF(0);
    NastavBajtuMB(0);
    NastavSlozkuProgramu({});
    delete dir_;
  }
  void cleanupTestCase() { NastavZdrojCasu({}); }

  // ISO weeks: a week belongs to the year of its Thursday.
  void tyden() {
    const std::pair<TDatumCas, const char*> tabulka[] = {{{2026, 12, 8}, "2026-W50"},
                                                         {{2027, 1, 1}, "2026-W53"},
                                                         {{2026, 12, 28}, "2026-W53"},
                                                         {{2027, 1, 4}, "2027-W01"},
                                                         {{2024, 12, 30}, "2025-W01"}};
    for (const auto& [t, o] : tabulka)
      QCOMPARE(QString::fromStdString(ObdobiSouboru(TRozdeleni::Tyden, t)), QString(o));
  }

  // Samples from `od` every `krok` seconds: the files they went to, each
  // begun once, each complete, the indices 1..n in order across them.
  void rada_data() {
    QTest::addColumn<QString>("jmeno");
    QTest::addColumn<int>("rozdeleni");
    QTest::addColumn<QString>("od");
    QTest::addColumn<int>("krok");
    QTest::addColumn<int>("pocet");
    QTest::addColumn<int>("zaznamu");          // records a file holds by size or DBF limit; 0: any
    QTest::addColumn<QStringList>("soubory");  // name:records
    QTest::addColumn<int>("hlaseni");          // tables at their limit, said
    const int den = int(TRozdeleni::Den), tyden = int(TRozdeleni::Tyden),
              mesic = int(TRozdeleni::Mesic), velikost = int(TRozdeleni::Velikost);
    for (const char* p : {"txt", "csv", "dbf"}) {
      const QString d = QStringLiteral("data.") + p;
      auto j = [&](const char* o, int n) {
        return QStringLiteral("data_%1.%2:%3").arg(o, p).arg(n);
      };
      QTest::addRow("den %s", p) << d << den << "2026-12-31 23:58:30" << 30 << 5 << 0
                                 << QStringList{j("2026-12-31", 3), j("2027-01-01", 2)} << 0;
      QTest::addRow("týden %s", p) << d << tyden << "2027-01-03 23:59:00" << 60 << 3 << 0
                                   << QStringList{j("2026-W53", 1), j("2027-W01", 2)} << 0;
      QTest::addRow("měsíc %s", p) << d << mesic << "2026-11-30 23:59:30" << 30 << 3 << 0
                                   << QStringList{j("2026-11", 1), j("2026-12", 2)} << 0;
      // Two files begun within one second: the second is "-2".
      QTest::addRow("velikost %s", p)
          << d << velikost << "2026-12-08 14:25:30" << 0 << 5 << 2
          << QStringList{j("2026-12-08_142530", 2), j("2026-12-08_142530-2", 2),
                         j("2026-12-08_142530-3", 1)}
          << 0;
      // Summer time ends on 25 October 2026 at 3:00, which becomes 2:00
      // again: that day has 25 hours and is one file.
      QTest::addRow("den přes změnu času %s", p)
          << d << den << "2026-10-24 23:30:00" << 1800 << 52 << 0
          << QStringList{j("2026-10-24", 1), j("2026-10-25", 50), j("2026-10-26", 1)} << 0;
    }
    // The hour that comes twice names its files twice.
    QTest::addRow("velikost přes změnu času")
        << "data.csv" << velikost << "2026-10-25 02:30:00" << 3600 << 2 << 1
        << QStringList{"data_2026-10-25_023000.csv:1", "data_2026-10-25_023000-2.csv:1"} << 0;
    // A table never passes its limit, split or not.
    QTest::addRow("limit DBF") << "data.dbf" << int(TRozdeleni::Ne) << "2026-12-08 10:00:00" << 1
                               << 7 << 3
                               << QStringList{"data.dbf:3", "data_2.dbf:3", "data_3.dbf:1"} << 2;
    QTest::addRow("limit DBF po dnech")
        << "data.dbf" << den << "2026-12-08 23:59:55" << 1 << 6 << 3
        << QStringList{"data_2026-12-08.dbf:3", "data_2026-12-08_2.dbf:2", "data_2026-12-09.dbf:1"}
        << 1;
  }

  void rada() {
    QFETCH(QString, jmeno);
    QFETCH(int, rozdeleni);
    QFETCH(QString, od);
    QFETCH(int, krok);
    QFETCH(int, pocet);
    QFETCH(int, zaznamu);
    QFETCH(QStringList, soubory);
    QFETCH(int, hlaseni);
    TArchivDat a = Archiv(jmeno.toStdString());
    const std::time_t t0 = Epocha(od);
    if (rozdeleni == int(TRozdeleni::Velikost)) {
      // "1 MB" is one byte short of a file of `zaznamu` + 1 records, as
      // measured on a file of the same task, not computed by the code
      // under test.
      TArchivDat vzor = Archiv("vzor." + jmeno.section('.', -1).toStdString());
      vzor.Vzorek.Datum = FormatujDatum(Mistne(t0));
      vzor.Vzorek.Cas = FormatujCas(Mistne(t0));
      std::string chyba;
      for (int i = 0; i < zaznamu + 1; ++i) ZapisVzorek(vzor, chyba);
      NastavBajtuMB(static_cast<uint64_t>(Obsah(vzor.JmenoSouboru).size()) - 1);
      fs::remove(vzor.JmenoSouboru);
    } else if (zaznamu > 0) {
      NastavLimitDBF(static_cast<uint64_t>(HlavickaDbf + zaznamu * ZaznamDbf + 1));
    }
    TRozdeleniBehu r;
    r.Jmeno = a.JmenoSouboru;
    r.Nastaveni = {static_cast<TRozdeleni>(rozdeleni), 1, 0};
    TRadaSouboru rada;
    rada.Zacni(r);
    std::vector<std::string> zpravy;
    QStringList nove;
    for (int i = 0; i < pocet; ++i) Vzorek(a, rada, Mistne(t0 + i * krok), zpravy, nove);

    QStringList jsou;
    for (const auto& e : fs::directory_iterator(Slozka()))
      jsou << QString::fromStdString(e.path().filename().string());
    jsou.sort();
    QStringList ocekavane;
    for (const QString& s : soubory) ocekavane << s.section(':', 0, 0);
    // Every file once, in order, the first of a run too (split or a part).
    QStringList zacate = ocekavane;
    ocekavane.sort();
    QCOMPARE(jsou, ocekavane);
    if (rozdeleni == int(TRozdeleni::Ne)) zacate.removeFirst();
    QCOMPARE(nove, zacate);
    QCOMPARE(int(zpravy.size()), hlaseni);
    uint32_t dalsi = 1;
    QByteArray vzor;
    for (const QString& s : soubory) {
      const std::vector<uint32_t> ix = Indexy(Slozka() / s.section(':', 0, 0).toStdString(), vzor);
      QCOMPARE(int(ix.size()), s.section(':', 1).toInt());
      for (uint32_t i : ix) QCOMPARE(i, dalsi++);
    }
    QCOMPARE(int(dalsi - 1), pocet);
  }

  void nastaveni_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("rozdeleni");
    QTest::addColumn<int>("velikost");
    QTest::addColumn<int>("ponechat");
    QTest::addColumn<QString>("zprava");  // in the one message said; empty: none
    const int ne = int(TRozdeleni::Ne);
    QTest::newRow("úlohy vyhrává")
        << QByteArray("[Rozdělení]\nRozdělit=den\nPonechat souborů=7\n[linka1]\nRozdělit=MĚSÍC\n")
        << "d.csv" << int(TRozdeleni::Mesic) << 0 << 7 << "";
    QTest::newRow("Windows-1250") << QByteArray::fromStdString(Cp1250(
                                         "[Linka1]\r\nRozdělit=velikost\r\nVelikost MB=2048\r\n"))
                                  << "d.csv" << int(TRozdeleni::Velikost) << 2048 << 0 << "";
    QTest::newRow("neznámé slovo") << QByteArray("[Linka1]\nRozdělit=tyden\n") << "d.csv" << ne << 0
                                   << 0 << "[Linka1] Rozdělit=tyden: neznámé rozdělení";
    QTest::newRow("velikost 0") << QByteArray("[Rozdělení]\nRozdělit=velikost\nVelikost MB=0\n")
                                << "d.csv" << ne << 0 << 0
                                << "[Rozdělení] Velikost MB=0: velikost je 1 až 1048576 MB";
    QTest::newRow("velikost DBF") << QByteArray("[Linka1]\nRozdělit=velikost\nVelikost MB=2048\n")
                                  << "d.dbf" << ne << 0 << 0 << "velikost je 1 až 2047 MB";
    QTest::newRow("záporný počet")
        << QByteArray("[Linka1]\nRozdělit=den\nPonechat souborů=-1\n") << "d.csv"
        << int(TRozdeleni::Den) << 0 << 0 << "Ponechat souborů=-1: počet";
  }

  void nastaveni() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, data);
    QFETCH(int, rozdeleni);
    QFETCH(int, velikost);
    QFETCH(int, ponechat);
    QFETCH(QString, zprava);
    const fs::path soubor = Slozka() / "ZQ_soubory.ini";
    if (!ini.isEmpty()) Zapis(soubor, ini);
    std::vector<std::string> z;
    const TNastaveniSouboru n = PrectiNastaveniSouboru(soubor, "Linka1.zq", data.toStdString(), &z);
    QCOMPARE(int(n.Rozdelit), rozdeleni);
    QCOMPARE(n.VelikostMB, velikost);
    QCOMPARE(n.Ponechat, ponechat);
    QCOMPARE(int(z.size()), zprava.isEmpty() ? 0 : 1);
    if (!z.empty()) QVERIFY2(DoQString(z[0]).contains(zprava), Utf8(z[0]).c_str());
    // What the window writes reads back the same.
    ZapisNastaveniSouboru(soubor, "Linka1.zq", {TRozdeleni::Velikost, 64, 3});
    QVERIFY(PrectiNastaveniSouboru(soubor, "Linka1.zq", "d.csv") ==
            TNastaveniSouboru({TRozdeleni::Velikost, 64, 3}));
  }

  // "Ponechat souborů" deletes the task's own oldest files, never a file of
  // a similar name nor another task's, says each deletion and each that
  // failed; a split whose names would take in another task's file is not
  // made.
  void ponechat() {
    for (const char* f :
         {"data_2026-12-01.csv", "data_2026-12-03.csv", "data_2026-12-04.csv",
          "data_x_2026-12-01.csv", "data2_2026-12-01.csv", "data_2026-12-01.csv.bak",
          "data_2026-12-1.csv", "data_b.csv", "data_b_2026-12-01.csv"})
      Zapis(Slozka() / f, "x\r\n");
    // A file that cannot be deleted.
    fs::create_directories(Slozka() / "data_2026-12-02.csv" / "obsah");
    TCFG b;
    InitCFG(b);
    b.Uloha = "B.zq";
    b.JmenoSouboru = "data_b.csv";
    QVERIFY(ZapisUlohu(b));
    Zapis(Slozka() / "ZQ_soubory.ini",
          "[A]\nRozdělit=den\nPonechat souborů=3\n[B]\nRozdělit=den\n");
    TArchivDat a = Archiv("data.csv");
    const std::string jmeno = a.JmenoSouboru;
    TRozdeleniBehu r =
        PripravRozdeleni(Slozka() / "ZQ_soubory.ini", "A.zq", jmeno, {Slozka()}, Slozka() / "A.zq");
    QCOMPARE(r.Cizi, std::vector<std::string>{(Slozka() / "data_b.csv").string()});
    QVERIFY(r.Zpravy.empty());
    TRadaSouboru rada;
    rada.Zacni(r);
    std::vector<std::string> zpravy;
    QStringList nove;
    Vzorek(a, rada, {2026, 12, 5, 10, 0, 0}, zpravy, nove);
    QStringList jsou;
    for (const auto& e : fs::directory_iterator(Slozka()))
      jsou << QString::fromStdString(e.path().filename().string());
    jsou.sort();
    QCOMPARE(jsou,
             QStringList({"B.zq", "ZQ_soubory.ini", "data2_2026-12-01.csv",
                          "data_2026-12-01.csv.bak", "data_2026-12-02.csv", "data_2026-12-03.csv",
                          "data_2026-12-04.csv", "data_2026-12-05.csv", "data_2026-12-1.csv",
                          "data_b.csv", "data_b_2026-12-01.csv", "data_x_2026-12-01.csv"}));
    QCOMPARE(int(zpravy.size()), 2);
    QCOMPARE(DoQString(zpravy[0]),
             T("Smazán nejstarší soubor řady \"") +
                 QString::fromStdString((Slozka() / "data_2026-12-01.csv").string()) +
                 T("\" (Ponechat souborů=3)"));
    QVERIFY2(DoQString(zpravy[1]).contains("data_2026-12-02.csv\" nelze smazat: "),
             Utf8(zpravy[1]).c_str());

    // Task C writes to a name of A's series.
    b.Uloha = "C.zq";
    b.JmenoSouboru = "data_2026-12-04.csv";
    QVERIFY(ZapisUlohu(b));
    r = PripravRozdeleni(Slozka() / "ZQ_soubory.ini", "A.zq", jmeno, {Slozka()}, Slozka() / "A.zq");
    QCOMPARE(int(r.Nastaveni.Rozdelit), int(TRozdeleni::Ne));
    QCOMPARE(int(r.Zpravy.size()), 1);
    QVERIFY2(DoQString(r.Zpravy[0]).contains(T("datový soubor jiné úlohy")),
             Utf8(r.Zpravy[0]).c_str());
  }

  void varovani_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("perioda");
    QTest::addColumn<QString>("od");
    QTest::addColumn<QString>("text");
    // 1,048,575 s after 20:44 on 20 October is 23:00 on 1 November: the
    // hour summer time gives back keeps it on that day.
    QTest::newRow("CSV přes změnu času")
        << "d.csv" << 1 << "2026-10-20 20:44:00"
        << "Datový soubor přesáhne 1 048 576 řádků, které otevřou tabulkové procesory, dne "
           "1.11.2026 (za 12,1 dne při periodě 1 s); předejde tomu Rozdělit=týden (ZQ_soubory.ini)";
    // 256 channels: records of 3,739 bytes behind a header of 8,577.
    QTest::newRow("DBF") << "d.dbf" << 1 << "2026-12-08 00:00:00"
                         << "Tabulka DBF přesáhne 2 GiB, nejvíc, co formát dBASE III dovoluje, "
                            "dne 14.12.2026 (za 6,6 dne při periodě 1 s); další záznamy pak "
                            "půjdou do tabulky _2; předejde tomu Rozdělit=den";
    QTest::newRow("za víc než 30 dní") << "d.csv" << 3 << "2026-12-08 00:00:00"
                                       << "";
  }

  void varovani() {
    QFETCH(QString, data);
    QFETCH(int, perioda);
    QFETCH(QString, od);
    QFETCH(QString, text);
    const std::string v =
        VarovaniLimitu(FormatSouboru(data.toStdString()), 31, 256, perioda, {}, Mistne(Epocha(od)));
    QVERIFY2(text.isEmpty() ? v.empty() : DoQString(v).contains(text), Utf8(v).c_str());
    // Split, nothing is said.
    QVERIFY(VarovaniLimitu(FormatSouboru(data.toStdString()), 31, 256, perioda, {TRozdeleni::Mesic},
                           Mistne(Epocha(od)))
                .empty());
  }
};
int main(int argc, char** argv) {
  // Before anything reads the time zone: the change of summer time is
  // Prague's.
  setenv("TZ", "Europe/Prague", 1);
  tzset();
  QCoreApplication aplikace(argc, argv);
  TestRozdeleni t;
  return QTest::qExec(&t, argc, argv);
}

#include "test_rozdeleni.moc"
