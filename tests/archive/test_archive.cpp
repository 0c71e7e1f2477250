// Data files: byte-exact text, CSV and DBF output, the choice of writer,
// error groups, recovery after a removed or damaged file, failing writes and
// a DBF table read back by an independent reader.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>

#include <csignal>
#include <filesystem>

#include "ArchivDat.h"
#include "ChybySouboru.h"
#include "Cp1250.h"
#include "Hodiny.h"
#include "Mistni.h"

namespace {

TDatumCas g_ted;

QByteArray B(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

QByteArray Obsah(const QString& cesta) {
  QFile f(cesta);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return f.readAll();
}

void Uloz(const QString& cesta, const QByteArray& data) {
  QFile f(cesta);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(data), data.size());
}

uint32_t U32(const QByteArray& d, int pozice) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(d[pozice + i]);
  return v;
}

uint32_t U16(const QByteArray& d, int pozice) {
  return static_cast<uint8_t>(d[pozice]) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d[pozice + 1])) << 8);
}

// A DBF field descriptor as a reader expects it.
QByteArray Polozka(const QByteArray& nazev, char typ, int mista) {
  QByteArray d(32, '\0');
  d.replace(0, nazev.size(), nazev);
  d[11] = typ;
  d[16] = 14;
  d[17] = static_cast<char>(mista);
  d[20] = 1;
  return d;
}

// Year byte as years since 1900; language byte 0xC8 (Windows-1250).
QByteArray HlavickaDbf(int rok, int mm, int dd, uint32_t pocet, int poli) {
  QByteArray h(32, '\0');
  h[0] = 3;
  h[1] = static_cast<char>(rok - 1900);
  h[2] = static_cast<char>(mm);
  h[3] = static_cast<char>(dd);
  for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<char>((pocet >> (8 * i)) & 0xFF);
  const int delka = 32 * poli + 33, zaznam = 14 * poli + 1;
  h[8] = static_cast<char>(delka & 0xFF);
  h[9] = static_cast<char>(delka >> 8);
  h[10] = static_cast<char>(zaznam & 0xFF);
  h[11] = static_cast<char>(zaznam >> 8);
  h[29] = static_cast<char>(0xC8);
  return h;
}

// Makes writes beyond `bajtu` bytes of any file fail (EFBIG), like a full
// disk, also for root; restores the limit when it goes out of scope.
class TLimitSouboru {
 public:
  explicit TLimitSouboru(rlim_t bajtu) {
    getrlimit(RLIMIT_FSIZE, &puvodni_);
    signal(SIGXFSZ, SIG_IGN);
    rlimit r = puvodni_;
    r.rlim_cur = bajtu;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~TLimitSouboru() { setrlimit(RLIMIT_FSIZE, &puvodni_); }

 private:
  rlimit puvodni_{};
};

const QByteArray Cas = QByteArray(
    "\xC8"
    "as");  // "Čas" in cp1250
const QByteArray Chyba = QByteArray("Chyba z\xE1pisu do souboru");

}  // namespace

class TestArchiv : public QObject {
  Q_OBJECT

  QTemporaryDir* dir_ = nullptr;

  QString Cesta(const QString& jmeno) const { return dir_->path() + "/" + jmeno; }

  // A measurement of n channels named and valued as given (the rest of the
  // channels named Kn and valued n).
  TArchivDat Mereni(const QString& jmeno, int32_t volby, int32_t n) const {
    TArchivDat a;
    PripravArchiv(a, Cesta(jmeno).toStdString(), volby, n);
    for (int k = 0; k < n; ++k) {
      a.Vzorek.Nazev[k] = "K" + std::to_string(k);
      a.Vzorek.Hodnota[k] = std::to_string(k);
    }
    a.Vzorek.Datum = "1.2.2026";
    a.Vzorek.Cas = "8:00:00";
    return a;
  }

  // The python3 that has the independent DBF reader, or "" when none has.
  static QString PythonSDbfread() {
    const QStringList kandidati{"/usr/bin/python3", QStandardPaths::findExecutable("python3")};
    for (const QString& k : kandidati) {
      if (k.isEmpty()) continue;
      QProcess p;
      p.start(k, {"-c", "import dbfread"});
      if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return k;
    }
    return {};
  }

  // The table as the independent reader sees it, told nothing about its code
  // page: {"count", "fields": [[name, type, length, decimals]], "records"}.
  // With `maleNazvy` the reader folds names to lower case, as many do.
  static QJsonObject CtiCizimCtenarem(const QString& python, const QString& soubor,
                                      bool maleNazvy) {
    const char* skript =
        "import sys, json, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], char_decode_errors='strict', lowernames=sys.argv[2] == '1')\n"
        "print(json.dumps({'count': t.header.numrecords,\n"
        "  'fields': [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],\n"
        "  'records': [list(r.values()) for r in t]}))\n";
    QProcess p;
    p.start(python, {"-c", skript, soubor, maleNazvy ? "1" : "0"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
  }

  static void Zapis(TArchivDat& a, const std::string& ocekavano = {}) {
    std::string chyba = "x";
    ZapisVzorek(a, chyba);
    QCOMPARE(B(chyba), B(ocekavano));
  }

 private slots:
  void initTestCase() {
    NastavMistni(MistniCeske());
    NastavZdrojCasu([] { return g_ted; });
  }
  void init() {
    g_ted = TDatumCas{2026, 3, 5, 14, 7, 9};
    dir_ = new QTemporaryDir;
    QVERIFY(dir_->isValid());
  }
  void cleanup() {
    delete dir_;
    dir_ = nullptr;
  }
  void cleanupTestCase() { NastavZdrojCasu({}); }

  void textovyFormat() {
    TArchivDat a = Mereni("data.txt", 31, 2);
    a.Vzorek.Nazev[0] = "A";
    a.Vzorek.Nazev[1] = "B";
    a.Vzorek.Hodnota[0] = "1,5";
    a.Vzorek.Hodnota[1] = "2";
    a.Vzorek.Chyba[1] = 3;
    Zapis(a);
    g_ted = TDatumCas{2026, 12, 24, 9, 5, 0};
    a.Vzorek.Chyba[1] = 0;
    Zapis(a);
    // Date and time come from the clock, not from the sample.
    QCOMPARE(Obsah(Cesta("data.txt")),
             QByteArray("Index       \tDatum       \t") + Cas +
                 "         \tChyba0-31     \tA             \tB             \r\n"
                 "1             \t5.3.2026      \t14:07:09      \t2             \t"
                 "1,5           \t2             \r\n"
                 "2             \t24.12.2026    \t9:05:00       \t0             \t"
                 "1,5           \t2             \r\n");
    QCOMPARE(a.IndexVzorku, 2u);
  }

  void textoveBunky() {
    // Volby 0: no header, only channel cells; Volby 1: header of names.
    TArchivDat a = Mereni("bez", 0, 1);
    a.Vzorek.Hodnota[0] = "12,5";
    Zapis(a);
    Zapis(a);
    QCOMPARE(Obsah(Cesta("bez")), QByteArray("12,5          \r\n12,5          \r\n"));

    TArchivDat b = Mereni("bunky.xls", 1, 4);
    b.Vzorek.Nazev[0] = "Teplota_na_vstupu_1";  // 19 characters
    b.Vzorek.Nazev[1] = "";
    b.Vzorek.Nazev[2] = "Pres14znakuuuu";
    b.Vzorek.Nazev[3] = "C;\"h";               // the text format never quotes
    b.Vzorek.Hodnota[0] = "12345678901,25";    // exactly 14
    b.Vzorek.Hodnota[1] = "1234567890123456";  // 16
    b.Vzorek.Hodnota[2] = "";
    b.Vzorek.Hodnota[3] = "-1";
    Zapis(b);
    QCOMPARE(Obsah(Cesta("bunky.xls")),
             QByteArray("Teplota_na_vst\t              \tPres14znakuuuu\tC;\"h          \r\n"
                        "12345678901,25\t12345678901234\t              \t-1            \r\n"));
  }

  void csvFormat() {
    TArchivDat a = Mereni("data.csv", 31, 2);
    a.Vzorek.Nazev[0] = "A";
    a.Vzorek.Nazev[1] = "B";
    a.Vzorek.Hodnota[0] = "12,5";
    a.Vzorek.Chyba[0] = 1;
    Zapis(a);
    QCOMPARE(Obsah(Cesta("data.csv")), QByteArray("Index;Datum;") + Cas +
                                           ";Chyba0-31;A;B\r\n"
                                           "1;1.2.2026;8:00:00;1;12,5;1\r\n");

    TArchivDat b = Mereni("jen.CSV", 0, 1);
    b.Vzorek.Hodnota[0] = "12,5";
    Zapis(b);
    Zapis(b);
    QCOMPARE(Obsah(Cesta("jen.CSV")), QByteArray("12,5\r\n12,5\r\n"));

    TArchivDat c = Mereni("prazdny.csv", 1, 2);
    c.Vzorek.Nazev[0] = "";
    Zapis(c);
    QCOMPARE(Obsah(Cesta("prazdny.csv")), QByteArray(";K1\r\n0;1\r\n"));

    // Only a field holding ; " CR or LF is quoted, inner quotes doubled;
    // spaces, commas and quotes-free fields stay as they are.
    TArchivDat q = Mereni("uvozovky.csv", 1 | 8, 6);
    const char* nazvy[] = {"a;b", "palec \"", "\"x\"", "s mezerou, a", "r\rn\n", "K5"};
    const char* hodnoty[] = {"1;5", "\"", "12,5", " 7 ", "", "a\"\"b"};
    for (int k = 0; k < 6; ++k) {
      q.Vzorek.Nazev[k] = nazvy[k];
      q.Vzorek.Hodnota[k] = hodnoty[k];
    }
    q.Vzorek.Cas = "8;00";
    Zapis(q);
    QCOMPARE(Obsah(Cesta("uvozovky.csv")),
             Cas +
                 ";\"a;b\";\"palec \"\"\";\"\"\"x\"\"\";s mezerou, a;\"r\rn\n\";K5\r\n"
                 "\"8;00\";\"1;5\";\"\"\"\";12,5; 7 ;;\"a\"\"\"\"b\"\r\n");
  }

  void volbaWriteru_data() {
    QTest::addColumn<QString>("jmeno");
    QTest::addColumn<QByteArray>("zacatek");
    const QByteArray text("Index       \t"), csv("Index;"), dbf("\x03");
    QTest::newRow("data") << "data" << text;
    QTest::newRow("data.txt") << "data.txt" << text;
    QTest::newRow("data.xls") << "data.xls" << text;
    QTest::newRow("data.csv") << "data.csv" << csv;
    QTest::newRow("data.Csv") << "data.Csv" << csv;
    QTest::newRow("DATA.CSV") << "DATA.CSV" << csv;
    QTest::newRow("data.dbf") << "data.dbf" << dbf;
    QTest::newRow("data.csv.txt") << "data.csv.txt" << text;
    QTest::newRow("dot folder") << "v1.csv/data" << text;
    QTest::newRow("data.dbf.") << "data.dbf." << text;
  }
  void volbaWriteru() {
    QFETCH(QString, jmeno);
    QFETCH(QByteArray, zacatek);
    QVERIFY(QDir(dir_->path()).mkpath("v1.csv"));
    TArchivDat a = Mereni(jmeno, 3, 1);
    Zapis(a);
    QVERIFY(Obsah(Cesta(jmeno)).startsWith(zacatek));
  }

  void skupinyChyb() {
    QCOMPARE(PocetSkupinChyb(32), 1);
    QCOMPARE(PocetSkupinChyb(33), 2);
    QCOMPARE(PocetSkupinChyb(256), 8);

    TArchivDat a = Mereni("ch.csv", 1 | 16, 33);
    Zapis(a);
    a.Vzorek.Chyba[31] = 1;  // channel 31 alone: the top bit of group 0
    Zapis(a);
    a.Vzorek.Chyba[31] = 0;
    a.Vzorek.Chyba[32] = 7;
    Zapis(a);
    const QList<QByteArray> radky = Obsah(Cesta("ch.csv")).split('\n');
    QVERIFY(radky[0].startsWith("Chyba0-31;Chyba32-63;K0;"));
    QVERIFY(radky[1].startsWith("0;0;0;1;"));
    QVERIFY(radky[2].startsWith("2147483648;0;0;1;"));
    QVERIFY(radky[3].startsWith("0;1;0;1;"));

    // Channel 33 failing, the others fine, 64 channels: 0 and 2.
    TArchivDat b = Mereni("ch64.csv", 16, 64);
    b.Vzorek.Chyba[33] = 1;
    Zapis(b);
    QVERIFY(Obsah(Cesta("ch64.csv")).startsWith("0;2;0;1;"));

    // A status left over beyond the logged channels never shows in a group.
    TVzorek v;
    v.Chyba[33] = 1;
    v.Chyba[40] = 1;
    QCOMPARE(SkupinaChyb(v, 32, 33), 0u);
    QCOMPARE(SkupinaChyb(v, 32, 41), (1u << 1) | (1u << 8));
  }

  void pripravaArchivu() {
    TArchivDat a;
    a.IndexVzorku = 77;
    a.Vzorek.Chyba.fill(5);
    a.Vzorek.Nazev[200] = "x";
    a.Vzorek.Hodnota[3] = "y";
    a.Vzorek.DesetinnaMista[256] = 3;
    a.Vzorek.Datum = "d";
    PripravArchiv(a, "soubor.dbf", 31, 12);
    QCOMPARE(B(a.JmenoSouboru), QByteArray("soubor.dbf"));
    QCOMPARE(a.Volby, 31);
    QCOMPARE(a.PocetKanalu, 12);
    QCOMPARE(a.IndexVzorku, 0u);
    for (int k = 0; k < 257; ++k) {
      QCOMPARE(int(a.Vzorek.Chyba[k]), 0);
      QCOMPARE(int(a.Vzorek.DesetinnaMista[k]), 0);
      QVERIFY(a.Vzorek.Nazev[k].empty() && a.Vzorek.Hodnota[k].empty());
    }
    QVERIFY(a.Vzorek.Datum.empty());
  }

  void dbfJedenKanal() {
    TArchivDat a = Mereni("d.dbf", 0, 1);
    a.Vzorek.Nazev[0] = "Teplota";
    a.Vzorek.DesetinnaMista[0] = 1;
    a.Vzorek.Hodnota[0] = "12,5";
    Zapis(a);
    const QByteArray hlavicka =
        HlavickaDbf(2026, 3, 5, 1, 1) + Polozka("Teplota   ", 'N', 1) + "\x0D";
    QCOMPARE(hlavicka.size(), 65);
    const QByteArray zaznam = QByteArray(11, ' ') + "12.5";
    QCOMPARE(Obsah(Cesta("d.dbf")), hlavicka + zaznam + "\x1A");
    QCOMPARE(Obsah(Cesta("d.dbf")).size(), 81);
    a.Vzorek.Hodnota[0] = "-3";
    Zapis(a);
    QByteArray dva = Obsah(Cesta("d.dbf"));
    QCOMPARE(dva.size(), 96);
    QCOMPARE(U32(dva, 4), 2u);
    QCOMPARE(dva.mid(80), QByteArray(" ") + QByteArray(12, ' ') + "-3" + "\x1A");

    // An empty table as created (65 header bytes and the marker, 66 bytes)
    // takes its first record where the marker stood.
    QByteArray prazdna = HlavickaDbf(2026, 1, 1, 0, 1) + Polozka("Teplota   ", 'N', 1) + "\x0D\x1A";
    QCOMPARE(prazdna.size(), 66);
    Uloz(Cesta("e.dbf"), prazdna);
    TArchivDat e = Mereni("e.dbf", 0, 1);
    e.Vzorek.Nazev[0] = "Teplota";
    e.Vzorek.DesetinnaMista[0] = 1;
    e.Vzorek.Hodnota[0] = "12,5";
    Zapis(e);
    QCOMPARE(Obsah(Cesta("e.dbf")), hlavicka + zaznam + "\x1A");
  }

  void dbfVsechnySloupce() {
    TArchivDat a = Mereni("v.DBF", 31, 2);
    a.Vzorek.Nazev[0] = "Tlak_vstupni_1";  // cut to 10
    a.Vzorek.Nazev[1] = "";
    a.Vzorek.DesetinnaMista[0] = 2;
    a.Vzorek.Hodnota[0] = "1234567890,12345";  // 16: first 14, comma -> point
    a.Vzorek.Hodnota[1] = "1,2,3";
    a.Vzorek.Datum = "Thursday, 5.3.26";  // 16: last 14, comma kept
    a.Vzorek.Cas = "14:07:09";
    a.Vzorek.Chyba[1] = 1;
    Zapis(a);
    const QByteArray ocekavano =
        HlavickaDbf(2026, 3, 5, 1, 6) + Polozka("Index", 'N', 0) + Polozka("Datum", 'C', 0) +
        Polozka(Cas, 'C', 0) + Polozka("Chyba0-31", 'N', 0) + Polozka("Tlak_vstup", 'N', 2) +
        Polozka("          ", 'N', 0) + "\x0D" + " " + "             1" + "ursday, 5.3.26" +
        "      14:07:09" + "             2" + "1234567890.123" + "         1.2.3" + "\x1A";
    QByteArray d = Obsah(Cesta("v.DBF"));
    QCOMPARE(U16(d, 8), 225u);
    QCOMPARE(U16(d, 10), 85u);
    QCOMPARE(d, ocekavano);
  }

  void dbfPocetPoli() {
    QCOMPARE(PocetPoliDBF(16, 32), 33);
    QCOMPARE(PocetPoliDBF(16, 33), 35);
    QCOMPARE(PocetPoliDBF(31, 256), 267);

    TArchivDat a = Mereni("256.dbf", 16, 256);
    a.Vzorek.Hodnota[255] = "12345678901234";
    Zapis(a);
    const QByteArray d = Obsah(Cesta("256.dbf"));
    const int poli = 264;
    QCOMPARE(U16(d, 8), uint32_t(32 * poli + 33));
    QCOMPARE(U16(d, 10), uint32_t(14 * poli + 1));
    QCOMPARE(d.size(), 32 * poli + 33 + 14 * poli + 1 + 1);
    const char* skupiny[] = {"Chyba0-31",  "Chyba32-63", "Chyba64-95", "Chyba96-12",
                             "Chyba128-1", "Chyba160-1", "Chyba192-2", "Chyba224-2"};
    for (int i = 0; i < 8; ++i) QCOMPARE(d.mid(32 + 32 * i, 32), Polozka(skupiny[i], 'N', 0));
    QCOMPARE(d.mid(32 + 32 * 263, 32), Polozka("K255      ", 'N', 0));
    QCOMPARE(d.right(15), QByteArray("12345678901234\x1A"));

    // The text header shows the same groups as 14-character cells.
    TArchivDat t = Mereni("256.txt", 17, 256);
    Zapis(t);
    QVERIFY(Obsah(Cesta("256.txt"))
                .startsWith("Chyba0-31     \tChyba32-63    \tChyba64-95    \t"
                            "Chyba96-127   \tChyba128-159  \t"));
  }

  // Field names the way readers compare them (case, blanks around, up to a
  // NUL) never repeat; names that do not collide stay as they always were.
  void dbfJedinecnaJmena_data() {
    QTest::addColumn<int>("volby");
    QTest::addColumn<QByteArrayList>("nazvy");
    QTest::addColumn<QByteArrayList>("pole");  // channel fields
    const QByteArray cas = Cas, CAS =
                                    "\xC8"
                                    "AS";
    QTest::newRow("no collision") << 0 << QByteArrayList{"Teplota", "Tlak", "", "Index", CAS}
                                  << QByteArrayList{"Teplota   ", "Tlak      ", "          ",
                                                    "Index     ", CAS + "       "};
    QTest::newRow("first 10 alike") << 0 << QByteArrayList{"Tlak_vstupni_1", "Tlak_vstupni_2"}
                                    << QByteArrayList{"Tlak_vstup", "Tlak_vst_1"};
    QTest::newRow("case") << 0 << QByteArrayList{"Teplota", "TEPLOTA", "\xE8idlo", "\xC8IDLO"}
                          << QByteArrayList{"Teplota   ", "TEPLOTA_1 ", "\xE8idlo     ",
                                            "\xC8IDLO_3   "};
    QTest::newRow("blanks, NUL") << 0 << QByteArrayList{"A", " A", "A\t",
                                                        "",  "  ", QByteArray("a\0x", 3)}
                                 << QByteArrayList{"A         ", " A_1      ", "A_2       ",
                                                   "          ", "_4        ", "a_5       "};
    QTest::newRow("fixed fields") << 31
                                  << QByteArrayList{"index", "DATUM", cas, "chyba0-31", "Chyba"}
                                  << QByteArrayList{"index_0   ", "DATUM_1   ", cas + "_2     ",
                                                    "chyba0-3_3", "Chyba     "};
    // A new name never takes one given before it, nor that of a later channel.
    QTest::newRow("new name taken")
        << 0 << QByteArrayList{"A_2", "A", "A", "a_2_1"}
        << QByteArrayList{"A_2       ", "A         ", "A_2_2     ", "a_2_1     "};
    QTest::newRow("ten alike") << 0 << QByteArrayList(11, "Teplota_na")
                               << QByteArrayList{"Teplota_na", "Teplota__1", "Teplota__2",
                                                 "Teplota__3", "Teplota__4", "Teplota__5",
                                                 "Teplota__6", "Teplota__7", "Teplota__8",
                                                 "Teplota__9", "Teplota_10"};
  }
  void dbfJedinecnaJmena() {
    QFETCH(int, volby);
    QFETCH(QByteArrayList, nazvy);
    QFETCH(QByteArrayList, pole);
    TArchivDat a = Mereni("j.dbf", volby, static_cast<int32_t>(nazvy.size()));
    for (int k = 0; k < nazvy.size(); ++k) a.Vzorek.Nazev[k] = nazvy[k].toStdString();
    const std::vector<TDBF_HlavickaPolozka> p = PolozkyDBF(a);
    const int prvni = PocetPoliDBF(volby, a.PocetKanalu) - a.PocetKanalu;
    QByteArrayList vysledek;
    for (size_t i = prvni; i < p.size(); ++i) vysledek << B(p[i].Nazev);
    QCOMPARE(vysledek, pole);
  }

  void dbfHlavickaPoTrechVzorcich() {
    TArchivDat a = Mereni("tri.dbf", 2, 1);
    Zapis(a);
    g_ted.Den = 6;
    Zapis(a);
    g_ted = TDatumCas{2031, 11, 30, 0, 0, 0};
    Zapis(a);
    const QByteArray d = Obsah(Cesta("tri.dbf"));
    QCOMPARE(d.mid(0, 12), QByteArray("\x03\x83\x0B\x1E\x03\x00\x00\x00\x61\x00\x1D\x00", 12));
    QCOMPARE(d.size(), 97 + 3 * 29 + 1);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(d.mid(97 + 29 * i, 15), QByteArray(" ") + QByteArray(13, ' ') + char('1' + i));
  }

  void odstranenySoubor() {
    for (const QString jmeno : {"o.txt", "o.csv"}) {
      TArchivDat a = Mereni(jmeno, 3, 1);
      Zapis(a);
      QVERIFY(QFile::remove(Cesta(jmeno)));
      Zapis(a);
      const QByteArray hlavicka =
          jmeno.endsWith("csv") ? "Index;K0\r\n" : "Index       \tK0            \r\n";
      const QByteArray radek =
          jmeno.endsWith("csv") ? "2;0\r\n" : "2             \t0             \r\n";
      QCOMPARE(Obsah(Cesta(jmeno)), hlavicka + radek);
    }

    // A table created again holds the count of its own records, while the
    // Index column keeps the sample counter.
    TArchivDat d = Mereni("o.dbf", 2, 1);
    Zapis(d);
    Zapis(d);
    QVERIFY(QFile::remove(Cesta("o.dbf")));
    Zapis(d);
    const QByteArray obsah = Obsah(Cesta("o.dbf"));
    QCOMPARE(obsah.size(), 97 + 29 + 1);
    QCOMPARE(U32(obsah, 4), 1u);
    QCOMPARE(obsah.mid(97, 15), QByteArray(14, ' ') + "3");
  }

  void selhaniZapisu() {
    // A regular file where a folder should be: creation fails, for root too.
    QVERIFY(QDir(dir_->path()).mkpath("slozka"));
    Uloz(Cesta("soubor"), "x");
    for (const QString jmeno : {"soubor/d.txt", "soubor/d.csv", "soubor/d.dbf"}) {
      TArchivDat a = Mereni(jmeno, 1, 1);
      Zapis(a, Cp1250("Chyba zápisu do souboru"));
      Zapis(a, ChybaZapisu());  // the next sample tries again
      QCOMPARE(B(ChybaZapisu()), Chyba);
      QCOMPARE(a.IndexVzorku, 2u);
    }

    // A folder in place of the file: appending fails and the folder stays;
    // once it is gone the next sample creates the file with the current index.
    for (const QString jmeno : {"p.txt", "p.csv", "p.dbf"}) {
      QVERIFY(QDir(dir_->path()).mkdir(jmeno));
      TArchivDat a = Mereni(jmeno, 3, 1);
      Zapis(a, ChybaZapisu());
      QVERIFY(QFileInfo(Cesta(jmeno)).isDir());
      QVERIFY(QDir(dir_->path()).rmdir(jmeno));
      Zapis(a);
      const QByteArray d = Obsah(Cesta(jmeno));
      if (jmeno.endsWith("dbf"))
        QCOMPARE(d.mid(97, 15), QByteArray(14, ' ') + "2");
      else
        QVERIFY(d.contains(jmeno.endsWith("csv") ? "\r\n2;0\r\n" : "\r\n2             \t"));
    }

    // Channel counts outside 1..256 are refused without creating a file.
    for (int n : {0, -1, 257}) {
      TArchivDat a = Mereni("n.dbf", 31, 1);
      a.PocetKanalu = n;
      Zapis(a, ChybaZapisu());
      QVERIFY(!QFile::exists(Cesta("n.dbf")));
    }

    // A table of another layout is left untouched.
    Uloz(Cesta("cizi.dbf"), QByteArray("Index;K0\r\n1;0\r\n"));
    TArchivDat c = Mereni("cizi.dbf", 2, 1);
    Zapis(c, ChybaZapisu());
    QCOMPARE(Obsah(Cesta("cizi.dbf")), QByteArray("Index;K0\r\n1;0\r\n"));
  }

  void plnyDiskPriVytvareni() {
    // The header cannot be written: the half-made file is removed, the error
    // comes back as text, and the next sample creates the file properly.
    for (const QString jmeno : {"h.txt", "h.csv", "h.dbf"}) {
      TArchivDat a = Mereni(jmeno, 31, 40);
      {
        TLimitSouboru limit(20);
        Zapis(a, ChybaZapisu());
      }
      QVERIFY(!QFile::exists(Cesta(jmeno)));
      Zapis(a);
      const QByteArray d = Obsah(Cesta(jmeno));
      if (jmeno.endsWith("dbf")) {
        QCOMPARE(d.size(), 32 * 45 + 33 + 14 * 45 + 1 + 1);
        QCOMPARE(U32(d, 4), 1u);
      } else {
        QVERIFY(d.startsWith(jmeno.endsWith("csv") ? "Index;" : "Index       \t"));
        QCOMPARE(d.count("\r\n"), 2);
      }
    }
  }

  void opravaNeuplnehoRadku() {
    TArchivDat a = Mereni("r.csv", 2, 2);
    Zapis(a);  // "1;0;1\r\n", 7 bytes
    {
      TLimitSouboru limit(10);
      Zapis(a, ChybaZapisu());  // "2;0" would land, the rest not: the file is put back
    }
    QCOMPARE(Obsah(Cesta("r.csv")), QByteArray("1;0;1\r\n"));
    QCOMPARE(a.Pricina, EFBIG);
    QCOMPARE(B(PricinaChyby(a.Pricina)), B(Cp1250("soubor je příliš velký")));
    // A fragment a crash left is ended before the next record.
    Uloz(Cesta("r.csv"), "1;0;1\r\n2;0");
    Zapis(a);
    QCOMPARE(a.Pricina, 0);
    QCOMPARE(Obsah(Cesta("r.csv")), QByteArray("1;0;1\r\n2;0\r\n3;0;1\r\n"));

    // An empty file in place of a new one still gets the header line.
    Uloz(Cesta("prazdny.txt"), "");
    TArchivDat e = Mereni("prazdny.txt", 1, 1);
    Zapis(e);
    QCOMPARE(Obsah(Cesta("prazdny.txt")), QByteArray("K0            \r\n0             \r\n"));

    // A line cut right after its CR gets only the LF.
    Uloz(Cesta("r.txt"), "abc\r");
    TArchivDat t = Mereni("r.txt", 0, 1);
    Zapis(t);
    QCOMPARE(Obsah(Cesta("r.txt")), QByteArray("abc\r\n0             \r\n"));
    Uloz(Cesta("r.txt"), "abc\r\n");
    Zapis(t);
    QCOMPARE(Obsah(Cesta("r.txt")), QByteArray("abc\r\n0             \r\n"));
  }

  void opravaNeuplnehoZaznamu() {
    // Index and one channel: header 97 bytes, records of 29.
    TArchivDat a = Mereni("z.dbf", 2, 1);
    Zapis(a);
    const QByteArray jeden = Obsah(Cesta("z.dbf"));
    QCOMPARE(jeden.size(), 127);
    {
      TLimitSouboru limit(140);
      Zapis(a, ChybaZapisu());
    }
    // The record that did not fit is gone and its marker is back.
    QCOMPARE(Obsah(Cesta("z.dbf")), jeden);
    // A partial record a crash left is overwritten.
    Uloz(Cesta("z.dbf"), jeden.left(126) + QByteArray(14, '9'));
    Zapis(a);
    QByteArray d = Obsah(Cesta("z.dbf"));
    QCOMPARE(d.size(), 97 + 2 * 29 + 1);
    QCOMPARE(U32(d, 4), 2u);
    QCOMPARE(d.mid(126, 30),
             QByteArray(" ") + QByteArray(13, ' ') + "3" + QByteArray(13, ' ') + "0" + "\x1A");

    // A complete record whose marker was lost is kept.
    d.chop(1);
    Uloz(Cesta("z.dbf"), d);
    Zapis(a);
    d = Obsah(Cesta("z.dbf"));
    QCOMPARE(d.size(), 97 + 3 * 29 + 1);
    QCOMPARE(U32(d, 4), 3u);
    QCOMPARE(d.mid(155, 15), QByteArray(" ") + QByteArray(13, ' ') + "4");

    // Creation cut inside the descriptors: the header is written again.
    Uloz(Cesta("z2.dbf"), Obsah(Cesta("z.dbf")).left(50));
    TArchivDat b = Mereni("z2.dbf", 2, 1);
    Zapis(b);
    d = Obsah(Cesta("z2.dbf"));
    QCOMPARE(d.size(), 127);
    QCOMPARE(U32(d, 4), 1u);
    QCOMPARE(d.mid(32, 32), Polozka("Index", 'N', 0));
  }

  void ctenaCizimCtenarem() {
    const QString python = PythonSDbfread();
    if (python.isEmpty()) QSKIP("python3 with dbfread is not available");

    TArchivDat a = Mereni("cteni.dbf", 30, 3);
    a.Vzorek.Nazev[0] = "Teplota";
    a.Vzorek.Nazev[1] = Cp1250("Tlak vzduchu ěščř");
    a.Vzorek.Nazev[2] = "Q";
    a.Vzorek.DesetinnaMista[0] = 1;
    a.Vzorek.DesetinnaMista[2] = 3;
    a.Vzorek.Hodnota[0] = "12,5";
    a.Vzorek.Hodnota[1] = "1013";
    a.Vzorek.Hodnota[2] = "-0,125";
    a.Vzorek.Datum = "5.3.2026";
    a.Vzorek.Cas = "14:07:09";
    Zapis(a);
    a.Vzorek.Hodnota[0] = "-7,5";
    a.Vzorek.Chyba[2] = 1;
    a.Vzorek.Cas = "14:07:10";
    Zapis(a);

    // Decoding Čas needs the code page named in the header.
    const QJsonObject o = CtiCizimCtenarem(python, Cesta("cteni.dbf"), false);
    QCOMPARE(o["count"].toInt(), 2);
    const QJsonArray f = o["fields"].toArray();
    QCOMPARE(f.size(), 7);
    const QStringList nazvy{"Index",     "Datum",      QString::fromUtf8("Čas"),
                            "Chyba0-31", "Teplota   ", "Tlak vzduc",
                            "Q         "};
    const QStringList typy{"N", "C", "C", "N", "N", "N", "N"};
    const int mista[] = {0, 0, 0, 0, 1, 0, 3};
    for (int i = 0; i < 7; ++i) {
      const QJsonArray pole = f[i].toArray();
      QCOMPARE(pole[0].toString(), nazvy[i]);
      QCOMPARE(pole[1].toString(), typy[i]);
      QCOMPARE(pole[2].toInt(), 14);
      QCOMPARE(pole[3].toInt(), mista[i]);
    }
    const QJsonArray r = o["records"].toArray();
    QCOMPARE(r.size(), 2);
    const QJsonArray r0 = r[0].toArray(), r1 = r[1].toArray();
    QCOMPARE(r0[0].toInt(), 1);
    QCOMPARE(r0[1].toString(), QString("      5.3.2026"));
    QCOMPARE(r0[2].toString(), QString("      14:07:09"));
    QCOMPARE(r0[3].toInt(), 0);
    QCOMPARE(r0[4].toDouble(), 12.5);
    QCOMPARE(r0[5].toInt(), 1013);
    QCOMPARE(r0[6].toDouble(), -0.125);
    QCOMPARE(r1[0].toInt(), 2);
    QCOMPARE(r1[2].toString(), QString("      14:07:10"));
    QCOMPARE(r1[3].toInt(), 4);
    QCOMPARE(r1[4].toDouble(), -7.5);
  }

  void ctenaCizimCtenaremKolize() {
    // 256 channels named alike (one in capitals, one like a fixed field): a
    // reader folding case keeps every column, each with its own value.
    const QString python = PythonSDbfread();
    if (python.isEmpty()) QSKIP("python3 with dbfread is not available");
    TArchivDat a = Mereni("kolize.dbf", 31, 256);
    a.Vzorek.Nazev.fill("Teplota");
    a.Vzorek.Nazev[1] = "TEPLOTA";
    a.Vzorek.Nazev[3] = "Index";
    Zapis(a);
    const QJsonObject o = CtiCizimCtenarem(python, Cesta("kolize.dbf"), true);
    QSet<QString> nazvy;  // as a reader that also strips blanks sees them
    for (const QJsonValueRef pole : o["fields"].toArray())
      nazvy.insert(pole.toArray()[0].toString().trimmed());
    QCOMPARE(nazvy.size(), 267);
    const QJsonArray r0 = o["records"].toArray()[0].toArray();
    QCOMPARE(r0.size(), 267);
    for (int k = 0; k < 256; ++k) QCOMPARE(r0[11 + k].toInt(), k);
  }
  // A real file system that fills up in the middle of a record: the append
  // that fails leaves the file byte for byte as it was, and the cause is the
  // full disk; once there is room again the next record follows the last
  // complete one.
  void plnyDisk() {
    const QString tmpfs = Cesta("tmpfs");
    QVERIFY(QDir().mkpath(tmpfs));
    if (::mount("tmpfs", tmpfs.toLocal8Bit().constData(), "tmpfs", 0, "size=128k") != 0)
      QSKIP(qPrintable("a tmpfs cannot be mounted here (" + QString(strerror(errno)) +
                       "): the full-disk test needs root"));
    struct TOdpoj {
      QString cesta;
      ~TOdpoj() { ::umount2(cesta.toLocal8Bit().constData(), MNT_DETACH); }
    } odpoj{tmpfs};
    // Takes every free page of the file system.
    auto zaplnDisk = [&] {
      QFile f(tmpfs + "/vypln");
      QVERIFY(f.open(QIODevice::WriteOnly));
      const QByteArray blok(4096, 'x');
      for (int i = 0; i < 64 && f.write(blok) == blok.size() && f.flush(); ++i) {
      }
    };
    for (const QString jmeno : {"d.txt", "d.csv", "d.dbf"}) {
      TArchivDat a = Mereni("tmpfs/" + jmeno, 31, 40);
      for (int i = 0; i < 6; ++i) Zapis(a);
      zaplnDisk();
      QByteArray pred = Obsah(Cesta("tmpfs/" + jmeno));
      std::string chyba;
      for (int i = 0; i < 64 && chyba.empty(); ++i) {
        pred = Obsah(Cesta("tmpfs/" + jmeno));
        ZapisVzorek(a, chyba);
      }
      QCOMPARE(B(chyba), Chyba);
      QVERIFY2(pred.size() % 4096 != 0, "the record was to be cut inside a page");
      QCOMPARE(Obsah(Cesta("tmpfs/" + jmeno)), pred);
      QCOMPARE(a.Pricina, ENOSPC);
      QCOMPARE(B(PricinaChyby(a.Pricina)), B(Cp1250("disk je plný")));

      QVERIFY(QFile::remove(tmpfs + "/vypln"));
      Zapis(a);
      const QByteArray po = Obsah(Cesta("tmpfs/" + jmeno));
      // What was there stays (a table's header gets its new count and date).
      const bool dbf = jmeno.endsWith("dbf");
      QCOMPARE(po.left(pred.size() - (dbf ? 1 : 0)).mid(dbf ? 8 : 0),
               pred.left(pred.size() - (dbf ? 1 : 0)).mid(dbf ? 8 : 0));
      const QByteArray index = QByteArray::number(a.IndexVzorku);
      if (dbf) {
        const int zaznam = 14 * 45 + 1;
        QCOMPARE(U32(po, 4), U32(pred, 4) + 1);
        QCOMPARE(po.size(), pred.size() + zaznam);
        QCOMPARE(po.mid(pred.size() - 1 + 1, 14).trimmed(), index);
      } else {
        QVERIFY(po.endsWith("\r\n"));
        QCOMPARE(po.mid(pred.size()).count("\r\n"), 1);
        QVERIFY(po.mid(pred.size()).startsWith(index));
      }
      QVERIFY(QFile::remove(Cesta("tmpfs/" + jmeno)));
    }
  }
  // A restart continues the file of the run before: a torn tail is cut, the
  // index goes on from the last record, a file of another task is refused
  // and left as it is.
  void navazani() {
    struct TPripad {
      const char* jmeno;
      int32_t volby;
      const char* uprava;  // what happened to the file after two samples
      TNavazani::TStav stav;
      uint32_t index;
      uint64_t odriznuto;
    };
    const TPripad pripady[] = {
        {"a.csv", 31, "", TNavazani::Navazano, 2, 0},
        {"b.csv", 3, "utrzeno", TNavazani::Navazano, 2, 3},
        {"c.txt", 2, "utrzeno", TNavazani::Navazano, 2, 3},
        {"d.csv", 3, "jmeno", TNavazani::Cizi, 0, 0},
        {"e.csv", 2, "kanal", TNavazani::Cizi, 0, 0},
        {"f.csv", 2, "bezIndexu", TNavazani::Cizi, 0, 0},
        {"g.txt", 1, "jenHlavicka", TNavazani::Navazano, 0, 5},
        {"h.dbf", 2, "", TNavazani::Navazano, 2, 0},
        {"i.dbf", 2, "zaPoctem", TNavazani::Navazano, 1, 43},
        {"j.dbf", 2, "utrzeno", TNavazani::Navazano, 2, 3},
        {"k.dbf", 2, "jmeno", TNavazani::Cizi, 0, 0},
        {"l.dbf", 2, "hlavicka", TNavazani::Navazano, 0, 40},
        {"m.csv", 2, "chybi", TNavazani::Neni, 0, 0},
        // Not begun as a file of the task: refused, never cut to nothing.
        {"n.csv", 3, "poznamka", TNavazani::Cizi, 0, 0},
        {"o.txt", 0, "poznamka", TNavazani::Cizi, 0, 0},
        {"p.txt", 3, "lf", TNavazani::Cizi, 0, 0},
        {"q.csv", 2, "dbf", TNavazani::Cizi, 0, 0},
        {"r.csv", 2, "prvniRadek", TNavazani::Cizi, 0, 0},
        // Creation cut inside the header line: made again.
        {"s.csv", 3, "zacatekHlavicky", TNavazani::Navazano, 0, 12},
    };
    for (const TPripad& p : pripady) {
      const QString jmeno = p.jmeno, uprava = p.uprava;
      TArchivDat a = Mereni(jmeno, p.volby, 2);
      Zapis(a);
      Zapis(a);
      QByteArray d = Obsah(Cesta(jmeno));
      if (uprava == "utrzeno") d += "3;0";
      if (uprava == "jenHlavicka") d = d.left(d.indexOf("\r\n") + 2) + "1    ";
      if (uprava == "zaPoctem") d[4] = 1;  // a crash before the count was patched
      if (uprava == "hlavicka") d = d.left(40);
      if (uprava == "bezIndexu") d = "1;0;1\r\nx;0;1\r\n";
      if (uprava == "poznamka") d = B(Cp1250("Poznámka bez konce řádku"));
      if (uprava == "lf") d.replace("\r\n", "\n");
      if (uprava == "prvniRadek") d.prepend("1;0\r\n");
      if (uprava == "zacatekHlavicky") d = d.left(d.indexOf("\r\n") + 1);
      if (uprava == "dbf") {
        TArchivDat t = Mereni(jmeno + ".dbf", p.volby, 2);
        Zapis(t);
        d = Obsah(Cesta(jmeno + ".dbf"));
      }
      Uloz(Cesta(jmeno), d);
      if (uprava == "chybi") QVERIFY(QFile::remove(Cesta(jmeno)));
      // The next run of the task: names as the task has them.
      TArchivDat b = Mereni(jmeno, p.volby, uprava == "kanal" ? 3 : 2);
      if (uprava == "jmeno") b.Vzorek.Nazev[1] = "Jiný";
      const TNavazani n = NavazNaSoubor(b);
      QVERIFY2(n.Stav == p.stav, p.jmeno);
      QCOMPARE(n.PosledniIndex, p.index);
      QCOMPARE(n.Odriznuto, p.odriznuto);
      if (n.Stav == TNavazani::Cizi) {
        QVERIFY(!n.Duvod.empty());
        QCOMPARE(Obsah(Cesta(jmeno)), d);  // untouched
        continue;
      }
      // The torn tail is gone; the next record follows the last index.
      b.IndexVzorku = n.PosledniIndex;
      Zapis(b);
      const QByteArray po = Obsah(Cesta(jmeno));
      if (jmeno.endsWith("dbf")) {
        const uint32_t zaznamu = (uprava == "hlavicka" ? 0 : p.index) + 1;
        // Index and two channels: a header of 129 bytes, records of 43.
        QCOMPARE(po.size(), static_cast<int>(129 + 43 * zaznamu + 1));
        QCOMPARE(U32(po, 4), zaznamu);
        QCOMPARE(po.mid(po.size() - 43, 14).trimmed(), QByteArray::number(n.PosledniIndex + 1));
      } else {
        QVERIFY(po.endsWith("\r\n"));
        QCOMPARE(po.count("\r\n"), static_cast<int>(n.PosledniIndex) + 1 + (p.volby & 1));
        const QByteArray posledni = po.split('\n').at(po.count('\n') - 1);
        QVERIFY2(p.volby & 2 ? posledni.startsWith(QByteArray::number(n.PosledniIndex + 1)) : true,
                 posledni.constData());
      }
    }
  }
};

QTEST_GUILESS_MAIN(TestArchiv)
#include "test_archive.moc"
