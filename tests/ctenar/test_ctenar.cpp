// The reader of data files: its values against a naive reader's over files
// the real writers made, in every format and option combination and three
// regional forms; failed reads as gaps; the plot's columns against the
// records, from summaries and from reading; a torn last line, a file that
// grows, is cut back or disappears; a series across midnight and the
// autumn DST change; the names of a series; the index cache.

#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>

#include "Cp1250.h"
#include "Ctenar.h"
#include "DataSoubory.h"
#include "Rada.h"
#include "Slozka.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t Perioda = 7;
// 2026-03-28 23:58:00 in Prague (CET): the samples cross midnight.
constexpr int64_t Zacatek = 1774738680;

// The regional forms the writer may have used: Czech, English (month first,
// AM/PM, a decimal point), and two-digit years with padded fields.
TMistniNastaveni Forma(int i) {
  switch (i % 3) {
    case 0: return MistniCeske();
    case 1: return MistniAnglicke();
    default: return {',', "dd.MM.yy", "HH:mm:ss"};
  }
}

struct TSloupce {
  int Index = -1, Datum = -1, Cas = -1, Skupiny = 0, Kanaly = 0;
  TSloupce(int32_t volby, int kanalu) {
    int s = 0;
    if (volby & VolbaIndex) Index = s++;
    if (volby & VolbaDatum) Datum = s++;
    if (volby & VolbaCas) Cas = s++;
    Skupiny = s;
    Kanaly = s + ((volby & VolbaChyba) ? PocetSkupinChyb(kanalu) : 0);
    Celkem = Kanaly + kanalu;
  }
  int Celkem = 0;
};

// The reader's whole extract against the naive reader's records: texts,
// failed reads (by the error group's bits, NaN), values, and the places
// `casy` (empty: the records' numbers).  Empty when all agree.
std::string Porovnej(TCtenar& c, const fs::path& soubor, int32_t volby, int kanalu,
                     const std::vector<int64_t>& casy) {
  const TSloupce s(volby, kanalu);
  const bool zahlavi =
      (volby & VolbaZahlavi) && FormatSouboru(soubor.string()) != TFormatSouboru::DBF;
  const auto naivni = NaivneCti(soubor, s.Celkem, zahlavi);
  std::vector<int> kanaly;
  for (int k = kanalu - 1; k >= 0; --k) kanaly.push_back(k);  // any order
  std::string chyba;
  size_t n = 0;
  auto nesouhlasi = [&](const std::string& co) {
    chyba = "record " + std::to_string(n) + ": " + co;
    return false;
  };
  const bool ok = c.Vypis(kanaly, INT64_MIN, INT64_MAX, [&](const TZaznam& z) {
    if (n >= naivni.size()) return nesouhlasi("more records than the naive reader's");
    const std::vector<std::string>& r = naivni[n];
    auto text = [&](int sloupec) { return sloupec >= 0 ? r[static_cast<size_t>(sloupec)] : ""; };
    if (z.Index != text(s.Index) || z.Datum != text(s.Datum) || z.Cas != text(s.Cas))
      return nesouhlasi("index, date or time " + std::string(z.Datum) + " " + std::string(z.Cas));
    const int64_t poloha = casy.empty() ? static_cast<int64_t>(n) : casy[n];
    if (z.Poloha != poloha || z.Radek != n)
      return nesouhlasi("place " + std::to_string(z.Poloha) + ", expected " +
                        std::to_string(poloha));
    for (size_t i = 0; i < kanaly.size(); ++i) {
      const int k = kanaly[i];
      const std::string& t = r[static_cast<size_t>(s.Kanaly + k)];
      bool selhal = false;
      if (volby & VolbaChyba)
        selhal = (std::stoul(r[static_cast<size_t>(s.Skupiny + k / 32)]) >> (k % 32)) & 1;
      const double v = selhal ? NAN : NaivniHodnota(t);
      if (z.Texty[i] != t || z.Selhalo[i] != selhal ||
          !(v == z.Hodnoty[i] || (std::isnan(v) && std::isnan(z.Hodnoty[i]))))
        return nesouhlasi("channel " + std::to_string(k) + " " + t + " read as " +
                          std::string(z.Texty[i]) + " = " + std::to_string(z.Hodnoty[i]));
    }
    ++n;
    return true;
  });
  if (!chyba.empty()) return chyba;
  if (!ok) return "the extract failed: " + Utf8(c.Chyba());
  if (n != naivni.size())
    return std::to_string(n) + " records, the naive reader has " + std::to_string(naivni.size());
  return {};
}

// `n` samples one period apart from Zacatek (`od` periods on); their times.
std::vector<int64_t> Zapis(TMereniZapisu& m, int n, int od = 0) {
  std::vector<int64_t> casy;
  for (int i = od; i < od + n; ++i) {
    casy.push_back(Zacatek + i * Perioda);
    if (!m.Zapis(casy.back())) casy.clear();
  }
  return casy;
}

// The task of a file written without a header line, in the program's folder
// (which is the file's): its "Jméno souboru" names the file.
void ZapisUlohu(const TMereniZapisu& m, const std::string& jmeno) {
  TCFG u;
  InitCFG(u);
  u.Uloha = jmeno + ".zq";
  u.JmenoSouboru = CestaCp1250(fs::path(m.A.JmenoSouboru).filename());
  u.Volby = m.A.Volby;
  u.PocetKanalu = m.A.PocetKanalu;
  TPoleKanal k;
  InitKanaly(k);
  for (int i = 0; i < m.A.PocetKanalu; ++i) k[static_cast<size_t>(i)].Nazev = m.A.Vzorek.Nazev[i];
  QVERIFY(ZapisCelouUlohu(u, k));
}

}  // namespace

class TestCtenar : public QObject {
  Q_OBJECT

  QTemporaryDir* dir_ = nullptr;
  fs::path Cesta(const std::string& jmeno) const {
    return fs::path(dir_->path().toStdString()) / jmeno;
  }
  TNastaveniCteni Nastaveni() const {
    TNastaveniCteni n;
    n.SlozkaMezipameti = Cesta("mezipamet");
    return n;
  }
  std::unique_ptr<TCtenar> Otevri(const std::vector<fs::path>& soubory) {
    std::string chyba;
    std::unique_ptr<TCtenar> c = TCtenar::Otevri(soubory, Nastaveni(), chyba);
    if (!c) qWarning("%s", Utf8(chyba).c_str());
    return c;
  }

 private slots:
  void initTestCase() {
    qputenv("TZ", "Europe/Prague");
    tzset();
    NastavZdrojCasu([] { return g_hodiny; });
  }
  void init() {
    dir_ = new QTemporaryDir;
    QVERIFY(dir_->isValid());
    NastavSlozkuProgramu(dir_->path().toStdString());
    NastavMistni(MistniCeske());
  }
  void cleanup() {
    NastavSlozkuProgramu({});
    delete dir_;
  }
  void cleanupTestCase() { NastavZdrojCasu({}); }

  void formatyAVolby_data() {
    QTest::addColumn<QString>("pripona");
    QTest::addColumn<int>("volby");
    for (const char* p : {"txt", "csv", "dbf"})
      for (int volby = 0; volby < 32; ++volby)
        if (std::string_view(p) != "dbf" ||
            (volby & VolbaZahlavi))  // a table always has its header
          QTest::addRow("%s-%d", p, volby) << p << volby;
  }
  void formatyAVolby() {
    QFETCH(QString, pripona);
    QFETCH(int, volby);
    // Two error groups now and then; three regional forms.
    const int kanalu = volby % 4 == 1 ? 35 : 3;
    NastavMistni(Forma(volby / 2));
    const fs::path soubor = Cesta("data." + pripona.toStdString());
    TMereniZapisu m(soubor, volby, kanalu);
    std::vector<int64_t> casy = Zapis(m, 40);
    QCOMPARE(casy.size(), size_t{40});
    if (!(volby & VolbaZahlavi) && pripona != "dbf") ZapisUlohu(m, "Uloha");
    NastavMistni(MistniCeske());  // the reader takes the forms from the file
    const auto c = Otevri({soubor});
    QVERIFY(c);
    QCOMPARE(c->Rozlozeni().PocetKanalu, kanalu);
    if (pripona != "dbf")
      for (int k = 0; k < kanalu; ++k)
        QCOMPARE(c->Rozlozeni().NazvyKanalu[static_cast<size_t>(k)], m.A.Vzorek.Nazev[k]);
    const bool maCas = (volby & VolbaDatum) && (volby & VolbaCas);
    const std::string chyba =
        Porovnej(*c, soubor, volby, kanalu, maCas ? casy : std::vector<int64_t>{});
    QVERIFY2(chyba.empty(), chyba.c_str());
    QVERIFY(c->Poznamky().empty());
  }

  // The plot's columns against the records: extremes, first and last value,
  // and the line broken at failed reads and at a missing stretch of time;
  // once from blocks read, once from their summaries.
  void prehled_data() {
    QTest::addColumn<QString>("pripona");
    QTest::addColumn<int>("sloupcu");
    QTest::addColumn<bool>("rust");
    // Columns of 64 records from the first: each holds two blocks of 32
    // whole, and channel 2 fails at record 64, where column 1 begins.
    for (const QString p : {"txt", "csv", "dbf"})
      for (int sloupcu : {-4, 3, 9, 40})
        QTest::newRow(QString("%1-%2").arg(p).arg(sloupcu).toUtf8().constData())
            << p << sloupcu << false;
    // The file grows while open, and its index keeps few blocks: pairs of
    // blocks and their summaries become one.
    for (const QString p : {"txt", "dbf"})
      QTest::newRow(QString("%1-grows").arg(p).toUtf8().constData()) << p << -2 << true;
  }
  void prehled() {
    QFETCH(QString, pripona);
    QFETCH(int, sloupcu);
    QFETCH(bool, rust);
    const bool zarovnane = sloupcu < 0;
    sloupcu = std::abs(sloupcu);
    const fs::path soubor = Cesta("data." + pripona.toStdString());
    TMereniZapisu m(soubor, 31, 3);
    std::vector<int64_t> casy;
    auto zapis = [&](int od, int po) {
      for (int i = od; i < po; ++i) {
        // Twenty periods missing after sample 150.
        casy.push_back(Zacatek + (i + (i > 150 ? 20 : 0)) * Perioda);
        if (!m.Zapis(casy.back())) return false;
      }
      return true;
    };
    struct TObnova {
      ~TObnova() { TSouborDat::CilovyPocetBloku = 8192; }
    } obnova;
    std::unique_ptr<TCtenar> c;
    const std::vector<int> kanaly{2, 0};
    if (rust) {
      TSouborDat::CilovyPocetBloku = 2;
      QVERIFY(zapis(0, 40));
      c = Otevri({soubor});
      QCOMPARE(c->Indexuj(kanaly), TCtenar::TStav::Hotovo);
    }
    QVERIFY(zapis(casy.size(), 300));
    const auto naivni = NaivneCti(soubor, 3 + 1 + 3, pripona != "dbf");
    QCOMPARE(naivni.size(), casy.size());
    const int64_t od = zarovnane ? casy[0] : casy[10];
    // Grown, the blocks hold 128 records: a column of 128 periods holds the
    // first whole.
    const int64_t do_ = zarovnane ? od + sloupcu * (rust ? 128 : 64) * Perioda - 1 : casy[290];
    TPrehled ocekavano;
    ocekavano.Kanaly.assign(kanaly.size(), std::vector<TBodPrehledu>(static_cast<size_t>(sloupcu)));
    std::vector<bool> mezera(kanaly.size(), true), zacato(kanaly.size(), false);
    for (size_t i = 0; i < naivni.size(); ++i) {
      if (casy[i] < od || casy[i] > do_) continue;
      const int s = static_cast<int>((casy[i] - od) * sloupcu / (do_ - od + 1));
      for (size_t j = 0; j < kanaly.size(); ++j) {
        if (i > 0 && casy[i] - casy[i - 1] > 2 * Perioda) mezera[j] = true;
        const std::string& t = naivni[i][static_cast<size_t>(4 + kanaly[j])];
        if (TMereniZapisu::Selhal(static_cast<int>(i), kanaly[j])) {
          mezera[j] = true;
          continue;
        }
        const auto v = static_cast<float>(NaivniHodnota(t));
        TBodPrehledu& b = ocekavano.Kanaly[j][static_cast<size_t>(s)];
        if (b.Prazdny()) {
          b.Min = b.Max = b.Prvni = v;
          b.SpojitZleva = zacato[j] && !mezera[j];
        }
        b.Min = std::min(b.Min, v);
        b.Max = std::max(b.Max, v);
        b.Posledni = v;
        mezera[j] = false;
        zacato[j] = true;
      }
    }
    auto porovnej = [&](const TPrehled& p) {
      for (size_t j = 0; j < kanaly.size(); ++j)
        for (int s = 0; s < sloupcu; ++s) {
          const TBodPrehledu &a = p.Kanaly[j][static_cast<size_t>(s)],
                             &b = ocekavano.Kanaly[j][static_cast<size_t>(s)];
          if (a.Prazdny() != b.Prazdny() ||
              (!a.Prazdny() && (a.Min != b.Min || a.Max != b.Max || a.Prvni != b.Prvni ||
                                a.Posledni != b.Posledni || a.SpojitZleva != b.SpojitZleva)))
            return "channel " + std::to_string(kanaly[j]) + ", column " + std::to_string(s);
        }
      return std::string();
    };
    if (rust) {
      QVERIFY(c->Obnov().Pridano);
      QCOMPARE(c->Indexuj(kanaly), TCtenar::TStav::Hotovo);
      QVERIFY(c->Soubor(0).Index().Bloky.size() <= 4);
      QVERIFY(c->Soubor(0).Index().RadkuVBloku >= 128);
      const std::string chyba = porovnej(c->Prehled(kanaly, od, do_, sloupcu));
      QVERIFY2(chyba.empty(), ("merged summaries: " + chyba).c_str());
      return;
    }
    // Indexed without the channels: every block is read.
    c = Otevri({soubor});
    QVERIFY(c);
    QCOMPARE(c->Indexuj(), TCtenar::TStav::Hotovo);
    std::string chyba = porovnej(c->Prehled(kanaly, od, do_, sloupcu));
    QVERIFY2(chyba.empty(), ("read: " + chyba).c_str());
    // Now the blocks are summed up; a new reader with them summed up in
    // its index pass.
    chyba = porovnej(c->Prehled(kanaly, od, do_, sloupcu));
    QVERIFY2(chyba.empty(), ("summaries: " + chyba).c_str());
    c = Otevri({soubor});
    QCOMPARE(c->Indexuj(kanaly), TCtenar::TStav::Hotovo);
    chyba = porovnej(c->Prehled(kanaly, od, do_, sloupcu));
    QVERIFY2(chyba.empty(), ("summaries of the index pass: " + chyba).c_str());
  }

  // A last line being written is never read; completed, it is; a record cut
  // short in the middle is passed over and said.
  void neuplnyRadek_data() {
    QTest::addColumn<QString>("pripona");
    for (const char* p : {"txt", "csv", "dbf"}) QTest::newRow(p) << p;
  }
  void neuplnyRadek() {
    QFETCH(QString, pripona);
    const fs::path soubor = Cesta("data." + pripona.toStdString());
    TMereniZapisu m(soubor, 31, 3);
    QCOMPARE(Zapis(m, 50).size(), size_t{50});
    const QByteArray cely = Bajty(soubor);
    QVERIFY(m.Zapis(Zacatek + 50 * Perioda));
    const QByteArray dalsi = Bajty(soubor).mid(cely.size() - (pripona == "dbf"));
    // The next record's first half, as a crash or a write in progress leaves it.
    QFile f(QString::fromStdString(soubor.string()));
    QVERIFY(f.resize(cely.size() - (pripona == "dbf")));
    Pripoj(soubor, dalsi.left(dalsi.size() / 2));
    auto c = Otevri({soubor});
    QVERIFY(c);
    QCOMPARE(c->Indexuj(), TCtenar::TStav::Hotovo);
    QCOMPARE(c->PocetZaznamu(), uint64_t{50});
    QVERIFY(Utf8(c->Poznamky().back()).find("neúplný poslední") != std::string::npos);
    // The rest arrives: the record is read.
    Pripoj(soubor, dalsi.mid(dalsi.size() / 2));
    QVERIFY(c->Obnov().Pridano);
    QCOMPARE(c->Indexuj(), TCtenar::TStav::Hotovo);
    QCOMPARE(c->PocetZaznamu(), uint64_t{51});
    // A crash in the middle of a line: the writer starts the next on a line
    // of its own, and the cut one (here longer than a piece read) is passed
    // over.
    if (pripona != "dbf") {
      Pripoj(soubor, dalsi.left(dalsi.size() / 3) + QByteArray(300 << 10, 'x'));
      QCOMPARE(Zapis(m, 9, 51).size(), size_t{9});
      QVERIFY(c->Obnov().Pridano);
      QCOMPARE(c->Indexuj(), TCtenar::TStav::Hotovo);
      QCOMPARE(c->PocetZaznamu(), uint64_t{60});
      QCOMPARE(c->Soubor(0).Index().Pocty.VadneRadky, uint64_t{1});
      QCOMPARE(c->Soubor(0).Index().Pocty.PrvniVadny, uint64_t{52});  // the header is line 1
    }
    std::vector<int64_t> casy;
    for (uint64_t i = 0; i < c->PocetZaznamu(); ++i)
      casy.push_back(Zacatek + static_cast<int64_t>(i) * Perioda);
    const std::string chyba = Porovnej(*c, soubor, 31, 3, casy);
    QVERIFY2(chyba.empty(), chyba.c_str());
  }

  // An index pass cancelled from its progress keeps what it has, and the
  // next one goes on from there (its block half made).
  void zruseni() {
    const fs::path soubor = Cesta("data.csv");
    TMereniZapisu m(soubor, 31, 35);  // about 1 MB: pieces of it
    std::vector<int64_t> casy = Zapis(m, 3000);
    QCOMPARE(casy.size(), size_t{3000});
    auto c = Otevri({soubor});
    uint64_t hlaseno = 0, celkem = 0;
    QCOMPARE(c->Indexuj({1},
                        [&](uint64_t h, uint64_t z) {
                          hlaseno = h;
                          celkem = z;
                          return false;
                        }),
             TCtenar::TStav::Zruseno);
    QVERIFY(hlaseno > 0 && hlaseno < celkem);
    QVERIFY(c->PocetZaznamu() > 0 && c->PocetZaznamu() < casy.size());
    QVERIFY(c->Soubor(0).Index().Bloky.back().Radku % c->Soubor(0).Index().RadkuVBloku != 0);
    QCOMPARE(c->Indexuj({1}), TCtenar::TStav::Hotovo);
    QCOMPARE(c->PocetZaznamu(), static_cast<uint64_t>(casy.size()));
    const std::string chyba = Porovnej(*c, soubor, 31, 35, casy);
    QVERIFY2(chyba.empty(), chyba.c_str());
  }

  // A file cut back while it is read ends the walk with a message, then is
  // read anew; one removed keeps what was read.
  void zkracenyAZmizely() {
    const fs::path soubor = Cesta("data.csv");
    TMereniZapisu m(soubor, 31, 3);
    std::vector<int64_t> casy = Zapis(m, 2000);
    QCOMPARE(casy.size(), size_t{2000});
    auto c = Otevri({soubor});
    QVERIFY(c);
    QCOMPARE(c->Indexuj(), TCtenar::TStav::Hotovo);
    const QByteArray b = Bajty(soubor);
    QFile f(QString::fromStdString(soubor.string()));
    QVERIFY(f.resize(b.indexOf("\r\n", b.size() / 2) + 2));
    QVERIFY(!c->Vypis({0}, INT64_MIN, INT64_MAX, [](const TZaznam&) { return true; }));
    QVERIFY(Utf8(c->Chyba()).find("zkrátil") != std::string::npos);
    QVERIFY(c->Obnov().Znovu);
    casy.resize(NaivneCti(soubor, 7, true).size());
    std::string chyba = Porovnej(*c, soubor, 31, 3, casy);
    QVERIFY2(chyba.empty(), chyba.c_str());
    fs::remove(soubor);
    QVERIFY(Utf8(c->Obnov().Chyba).find("zmizel") != std::string::npos);
    QCOMPARE(c->PocetZaznamu(), static_cast<uint64_t>(casy.size()));
  }

  // Files split by day, named with Czech letters and separators, across
  // midnight and the night the clocks go back: one sequence in time order,
  // the repeated hour in its place.
  void rada_data() {
    QTest::addColumn<QString>("pripona");
    for (const char* p : {"txt", "csv", "dbf"}) QTest::newRow(p) << p;
  }
  void rada() {
    QFETCH(QString, pripona);
    const fs::path slozka = Cesta("Měření; č. 1");
    fs::create_directories(slozka);
    const std::string kmen = "data – čerpadla;1";
    TMereniZapisu m(slozka / (kmen + "." + pripona.toStdString()), 31, 2);
    std::vector<int64_t> casy;
    // 2026-10-24 22:00 CEST to 2026-10-26 01:30 CET, every 30 minutes.
    for (int64_t t = 1792872000; t <= 1792974600; t += 1800) {
      const TDatumCas d = MistniZ(t);
      char den[48];
      std::snprintf(den, sizeof den, "_%04d-%02d-%02d.", d.Rok, d.Mesic, d.Den);
      m.A.JmenoSouboru = CestaCp1250(slozka / (kmen + den + pripona.toStdString()));
      QVERIFY(m.Zapis(t));
      casy.push_back(t);
    }
    // The name of the task's data file, which does not exist, stands for the
    // series.
    auto c = Otevri({slozka / (kmen + "." + pripona.toStdString())});
    QVERIFY(c);
    QCOMPARE(c->PocetSouboru(), size_t{3});
    std::vector<int64_t> precteno;
    std::vector<std::string> indexy;
    QVERIFY(c->Vypis({1}, INT64_MIN, INT64_MAX, [&](const TZaznam& z) {
      precteno.push_back(z.Poloha);
      indexy.emplace_back(z.Index);
      return true;
    }));
    QCOMPARE(precteno, casy);
    for (size_t i = 0; i < indexy.size(); ++i) QCOMPARE(indexy[i], std::to_string(i + 1));
    // Neither midnight nor the repeated hour breaks the line.
    const TPrehled p = c->Prehled({1}, casy.front(), casy.back(), static_cast<int>(casy.size()));
    int spojeno = 0;
    for (const TBodPrehledu& b : p.Kanaly[0]) spojeno += b.SpojitZleva;
    int selhalo = 0;
    for (size_t i = 0; i < casy.size(); ++i)
      selhalo += TMereniZapisu::Selhal(static_cast<int>(i), 1);
    // Each failed read breaks one connection (the one after it).
    QCOMPARE(spojeno, static_cast<int>(casy.size()) - 1 - 2 * selhalo +
                          (TMereniZapisu::Selhal(0, 1) ? 1 : 0));
  }

  void jmenaRady() {
    const fs::path slozka = Cesta("rada");
    fs::create_directories(slozka);
    const std::vector<std::string> poradi{"data.dbf",
                                          "data_2.dbf",
                                          "data_3.dbf",
                                          "data_2026-12-08.dbf",
                                          "data_2026-12-08_2.dbf",
                                          "data_2026-12-09_000000.dbf",
                                          "data_2026-12-09_000000-2.dbf",
                                          "data_2026-12-09_000000-2_2.dbf",
                                          "data_2026-12-09_000001.dbf",
                                          "data_2026-W51.dbf",
                                          "data_2026-W53.dbf",
                                          "data_2027-01.dbf"};
    const std::vector<std::string> cizi{"data_1.dbf",
                                        "data_02.dbf",
                                        "data_2026-12-32.dbf",
                                        "data_2026-W54.dbf",
                                        "datax_2026-12-08.dbf",
                                        "data_2026-12-08.csv",
                                        "data_2026-12-09_240000.dbf"};
    for (auto seznam : {&cizi, &poradi})
      for (auto j = seznam->rbegin(); j != seznam->rend(); ++j)
        QFile(QString::fromStdString((slozka / *j).string())).open(QIODevice::WriteOnly);
    std::vector<std::string> nalezeno;
    for (const fs::path& p : NajdiRadu(slozka / "data_2026-12-09_000000-2_2.dbf"))
      nalezeno.push_back(p.filename().string());
    QCOMPARE(nalezeno, poradi);
    QCOMPARE(ZakladRady("x_y_2026-W05.csv"), std::string("x_y.csv"));
    QCOMPARE(ZakladRady("data_2.csv"), std::string("data_2.csv"));  // only a table has parts
  }

  // The index is kept in the cache folder and taken again only for the
  // same file unchanged; a damaged one is made anew.
  void mezipamet() {
    const fs::path soubor = Cesta("data.txt");
    TMereniZapisu m(soubor, 31, 3);
    std::vector<int64_t> casy = Zapis(m, 300);
    QCOMPARE(casy.size(), size_t{300});
    auto c = Otevri({soubor});
    QCOMPARE(c->Indexuj({1}), TCtenar::TStav::Hotovo);
    c->UlozMezipamet();
    const auto soubory = [&] {
      std::vector<fs::path> v;
      for (const auto& e : fs::directory_iterator(Cesta("mezipamet"))) v.push_back(e.path());
      return v;
    }();
    QCOMPARE(soubory.size(), size_t{1});
    c = Otevri({soubor});
    QVERIFY(c->Indexovano());
    QVERIFY(c->Soubor(0).Souhrn(1, 0) != nullptr);
    // One byte changed: not trusted.
    QByteArray b = Bajty(soubory[0]);
    b[b.size() / 2] = static_cast<char>(b[b.size() / 2] ^ 0x10);
    QFile f(QString::fromStdString(soubory[0].string()));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(b);
    f.close();
    c = Otevri({soubor});
    QVERIFY(!c->Indexovano());
    std::string chyba = Porovnej(*c, soubor, 31, 3, casy);
    QVERIFY2(chyba.empty(), chyba.c_str());
    c->UlozMezipamet();
    // The file grew: its old index is not taken.
    casy.push_back(Zacatek + 300 * Perioda);
    QVERIFY(m.Zapis(casy.back()));
    c = Otevri({soubor});
    QVERIFY(!c->Indexovano());
    chyba = Porovnej(*c, soubor, 31, 3, casy);
    QVERIFY2(chyba.empty(), chyba.c_str());
  }
};

QTEST_GUILESS_MAIN(TestCtenar)
#include "test_ctenar.moc"
