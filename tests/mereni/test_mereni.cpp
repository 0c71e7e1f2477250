// A measurement from the button to the data file: the real window, the two
// worker threads, the interface libraries, and the module-bus simulator on
// loopback.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "Cp1250.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Mistni.h"
#include "Modalni.h"
#include "Pomocne.h"
#include "Simulator.h"
#include "Slozka.h"
#include "Vlakna.h"
#include "Wxxx407.h"
#include "ZkusebniStav.h"

namespace fs = std::filesystem;
using namespace zqsim;

// The test interface library of the binding tests records into this.
__attribute__((visibility("default"))) TZkusebniStav ZkusebniStav;

namespace {
bool CekejNa(const std::function<bool()>& podminka, int ms) {
  return QTest::qWaitFor(podminka, ms);
}
}  // namespace

class TestMereni : public QObject {
  Q_OBJECT

  QTemporaryDir slozka_;
  std::unique_ptr<TSimulator> sim_;
  TMereni* m_ = nullptr;  // the measurement of the test's window

  fs::path Slozka() const { return fs::path(slozka_.path().toStdString()); }

  // The window set up for the LAN converter of the simulator and channels.
  void Nastav(TForm1& w, const std::vector<TKanal>& kanaly, const QString& soubor, int volby = 0,
              int lanTimeout = 300, int rs485Timeout = 50) {
    NastavLan(w, kanaly, sim_->UdpPort(), soubor, lanTimeout, rs485Timeout);
    w.CheckBox1->setChecked(volby & 1);
    w.CheckBox2->setChecked(volby & 2);
    w.CheckBox3->setChecked(volby & 4);
    w.CheckBox4->setChecked(volby & 8);
    w.CheckBox5->setChecked(volby & 16);
  }

  // Stops a running measurement and waits until both threads have gone.
  void Zastav(TForm1& w) {
    if (w.MereniBezi()) w.Button2Click();
    QVERIFY(CekejNa([this] { return !m_->KomBezi() && !m_->FileBezi(); }, 10000));
    QVERIFY(CekejNa([] { return !RozhraniVolaniProbiha(); }, 10000));
    QCoreApplication::processEvents();
  }

 private slots:
  void initTestCase() {
    QVERIFY(slozka_.isValid());
    NastavMistni(MistniCeske());
  }

  void init() {
    PripravSlozku(Slozka(), {"libWCOM407.so", "libWPCI407.so", "libWPCI1407.so", "libWUSB1407.so",
                             "libWZQ1407.so"});
    NastavZobrazovac({});
    sim_ = std::make_unique<TSimulator>();
    sim_->PridejPeriferii(1, 0, {TFormat::Uint32, TPrubeh::Konstanta, 123, 0, 60, 1, 0});
    sim_->PridejPeriferii(1, 1, {TFormat::Float32, TPrubeh::Konstanta, 123.45, 0, 60, 1, 2});
    sim_->PridejPeriferii(1, 2, {TFormat::Bool32, TPrubeh::Konstanta, 5, 0, 60, 1, 0});
    sim_->PridejPeriferii(2, 0, {TFormat::Float32, TPrubeh::Konstanta, -2.5, 0, 60, 1, 1});
    QVERIFY(sim_->SpustUdp(0));
  }

  void cleanup() {
    // A failed case may leave a test-library call blocked: let it return.
    ZkusebniStav.Blokovat = false;
    ZkusebniStav.Uvolnit = true;
    CekejNa([] { return !RozhraniVolaniProbiha(); }, 10000);
    m_ = nullptr;
    ZkusebniStav.Uvolnit = false;
    ZapomenPoruchyRozhrani();
    for (auto& p : ZkusebniStav.Porucha) p = TZkusebniStav::Zadna;
    sim_.reset();
    NastavZobrazovac({});
  }

  // Observers get the sample itself: the acquisition's numbers beside the
  // texts the file got (rounded to the channel's decimals), a failed read
  // as no number, and the task it belongs to.
  void vzorekSCisly() {
    TForm1 w;
    m_ = &w.Mereni();
    TKanal polovina = Kanal("Půl", 1, 0, "uint32", 0);
    polovina.KonstK = 0.5;  // 123 × 0.5
    Nastav(w, {polovina, Kanal("Teplota", 1, 1, "float32", 1), Kanal("Nic", 9, 0)},
           QString::fromStdString((Slozka() / "c.csv").string()), 0);
    TZapsane zapsane(*m_);
    w.Button2Click();
    QVERIFY(CekejNa([&] { return zapsane.Pocet >= 1; }, 10000));
    Zastav(w);
    const TVzorekMereni& v = zapsane.Posledni;
    QCOMPARE(v.Kanaly.size(), size_t{3});
    QCOMPARE(v.Kanaly[0].Hodnota, 61.5);
    QCOMPARE(v.Kanaly[0].Text, std::string("62"));
    QCOMPARE(v.Kanaly[1].Hodnota, 123.45);
    QCOMPARE(v.Kanaly[1].Text, std::string("123,5"));
    QVERIFY(std::isnan(v.Kanaly[2].Hodnota));
    QCOMPARE(int{v.Kanaly[2].Chyba}, 20);
    QCOMPARE(v.Kanaly[2].Nazev, std::string("Nic"));
    QCOMPARE(m_->Uloha().Kanaly.size(), size_t{3});
    QCOMPARE(v.Soubor, Slozka() / "c.csv");
  }

  void triKanalyVeTrechFormatech_data() {
    QTest::addColumn<QString>("soubor");
    QTest::newRow("txt") << "data.txt";
    QTest::newRow("csv") << "data.csv";
    QTest::newRow("dbf") << "data.dbf";
  }

  void triKanalyVeTrechFormatech() {
    QFETCH(QString, soubor);
    TForm1 w;
    m_ = &w.Mereni();
    const fs::path cesta = Slozka() / soubor.toStdString();
    Nastav(w,
           {Kanal("Počet", 1, 0, "uint32", 0), Kanal("Teplota", 1, 1, "float32", 3),
            Kanal("Stav", 1, 2, "bool32", 0)},
           QString::fromStdString(cesta.string()), VolbaIndex | VolbaChyba | VolbaZahlavi);
    TZapsane zapsane(*m_);
    w.Button2Click();
    QCOMPARE(w.Button2->text(), T("Stop měření"));
    QVERIFY(m_->KnihovnaOtevrena());
    QVERIFY(CekejNa([&] { return zapsane.Pocet >= 2; }, 10000));
    Zastav(w);
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QCOMPARE(w.TextStavu(), T("Měření ukončeno"));
    QVERIFY(!m_->KnihovnaOtevrena());
    QCOMPARE(w.Bunka(2, 1), T("123"));
    QCOMPARE(w.Bunka(2, 2), T("123,450"));
    QCOMPARE(w.Bunka(2, 3), T("5"));
    QCOMPARE(w.Bunka(3, 2), T("0"));
    QVERIFY(w.Label7->text().toInt() >= 2);

    const QByteArray data = Obsah(cesta);
    if (soubor.endsWith(".csv")) {
      QVERIFY(data.startsWith("Index;Chyba0-31;" + QByteArray::fromStdString(Cp1250("Počet")) +
                              ";Teplota;Stav\r\n1;0;123;123,450;5\r\n2;0;123;123,450;5\r\n"));
    } else if (soubor.endsWith(".txt")) {
      QVERIFY(
          data.contains("\r\n1             \t0             \t123           \t"
                        "123,450       \t5             \r\n"));
    } else {
      // Header of 5 fields (Index, Chyba0-31 and three channels), then records.
      QCOMPARE(static_cast<uint8_t>(data.at(0)), uint8_t{0x03});
      const int hlavicka = 32 * 5 + 33, zaznam = 14 * 5 + 1;
      QCOMPARE(static_cast<uint8_t>(data.at(8)) | static_cast<uint8_t>(data.at(9)) << 8, hlavicka);
      const int zaznamu = (data.size() - hlavicka - 1) / zaznam;
      QVERIFY(zaznamu >= 2);
      QCOMPARE(data.mid(hlavicka, zaznam), QByteArray(" "
                                                      "             1"
                                                      "             0"
                                                      "           123"
                                                      "       123.450"
                                                      "             5"));
      QCOMPARE(static_cast<uint8_t>(data.back()), uint8_t{0x1A});
    }
  }

  void sledStavuSJednimChybnymKanalem() {
    TForm1 w;
    m_ = &w.Mereni();
    sim_->PridejPoruchu({TDruhPoruchy::Ticho, 1.0, -1, 0, 3});
    Nastav(w,
           {Kanal("A", 1, 0, "uint32", 0), Kanal("B", 3, 0, "float32", 3),
            Kanal("C", 1, 2, "bool32", 0)},
           QString::fromStdString((Slozka() / "sled.csv").string()), 0, 60, 20);
    QStringList stavy;
    w.SledovaniStavu = [&](const QString& s) { stavy << s; };
    w.Button2Click();
    QVERIFY(CekejNa([&] { return stavy.size() >= 7; }, 10000));
    Zastav(w);
    QCOMPARE(stavy.at(0), T("Probíhá inicializace měření ..."));
    QCOMPARE(stavy.at(1), T("Probíhá měření ..."));
    QVERIFY(stavy.at(2).startsWith(T("Chyba komunikace (")));
    QVERIFY(stavy.at(2).endsWith(u')'));
    QCOMPARE(stavy.at(3), stavy.at(2));
    QCOMPARE(stavy.at(4), T("Probíhá měření ..."));  // the next pass starts clean
    QCOMPARE(stavy.at(5), stavy.at(2));
    QCOMPARE(stavy.at(6), stavy.at(2));
    QCOMPARE(stavy.at(stavy.size() - 2), T("Probíhá ukončení měření ..."));
    QCOMPARE(stavy.back(), T("Měření ukončeno"));
    // The failing channel shows its code and a cleared value.
    QVERIFY(w.Bunka(3, 2) != T("0"));
    QCOMPARE(w.Bunka(2, 2), T("0,000"));
    // ... and the status bar names that code with the library's text.
    const QString zacatek = T("Chyba komunikace (") + w.Bunka(3, 2) + T(" - ");
    QVERIFY(stavy.at(2).startsWith(zacatek));
    QVERIFY(stavy.at(2).size() > zacatek.size() + 1);
  }

  void chybovaHodnota_data() {
    QTest::addColumn<int>("politika");
    QTest::addColumn<QString>("poChybe");
    QTest::newRow("nulovat") << 0 << "0,000";
    QTest::newRow("ponechat") << 1 << "123,450";
  }

  void chybovaHodnota() {
    QFETCH(int, politika);
    QFETCH(QString, poChybe);
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "ch.txt").string()), 0, 60, 20);
    w.ComboBox4->setCurrentIndex(politika);
    w.Button2Click();
    QVERIFY(CekejNa([&] { return w.Bunka(2, 1) == T("123,450"); }, 5000));
    sim_->PridejPoruchu({TDruhPoruchy::Ticho, 1.0, -1, 0, 1});
    QVERIFY(CekejNa([&] { return w.Bunka(3, 1) != T("0"); }, 5000));
    QCOMPARE(w.Bunka(2, 1), poChybe);
    Zastav(w);
  }

  void stopBehemCteniNicNeulozi() {
    TForm1 w;
    m_ = &w.Mereni();
    sim_->PridejPoruchu({TDruhPoruchy::Zpozdeni, 1.0, -1, 500, 1});
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "nic.txt").string()), 0, 2000, 1000);
    TPoleKanal k = Kanaly.Kopie();
    k[0].Hodnota = "nezmeneno";
    Kanaly.Nahrad(k);
    w.Button2Click();
    QVERIFY(CekejNa([&] { return sim_->PocetDotazu() >= 1; }, 5000));
    w.Button2Click();  // stop while the answer is still on its way
    QVERIFY(CekejNa([this] { return !m_->KomBezi(); }, 5000));
    QCOMPARE(Kanaly.Kanal(0).Hodnota, std::string("nezmeneno"));
    QCOMPARE(w.Bunka(2, 1), T("0"));
    QCOMPARE(w.Label7->text(), T("0"));  // stopped before the first pass: no sample
    Zastav(w);
    QVERIFY(!fs::exists(Slozka() / "nic.txt"));
  }

  void zavislaKnihovnaPriStopu() {
    // The program's folder holds the blocking test library as the LAN library.
    fs::remove(Slozka() / "libWZQ1407.so");
    fs::create_symlink(fs::path(ZKUS_KNIHOVNY) / "ok" / "libWZQ1407.so",
                       Slozka() / "libWZQ1407.so");
    ZkusebniStav.Blokovat = true;
    ZkusebniStav.Uvolnit = false;
    const int donePred = ZkusebniStav.PocetDone;
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "h.txt").string()), 0, 100, 10);
    w.Button2Click();
    QVERIFY(CekejNa([] { return ZkusebniStav.VSend.load() == 1; }, 5000));
    const auto t0 = std::chrono::steady_clock::now();
    w.Button2Click();  // the call hangs past the stop time-out
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    // The stop waits out its time-out, then leaves the call (which would
    // hang for ever): the upper bound tells the two apart, with room for a
    // loaded machine.
    QVERIFY(ms >= m_->TimeoutUkonceni());
    QVERIFY(ms < m_->TimeoutUkonceni() + 2000);
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QCOMPARE(w.TextStavu(), T("Měření ukončeno"));
    QVERIFY(!m_->KnihovnaOtevrena());
    QVERIFY(RozhraniVolaniProbiha());
    QCOMPARE(ZkusebniStav.PocetDone.load(), donePred);  // not closed under the call
    // The call returns: the library is closed then, and nothing is stored.
    ZkusebniStav.Uvolnit = true;
    QVERIFY(CekejNa([this] { return !RozhraniVolaniProbiha() && !m_->KomBezi(); }, 5000));
    QCOMPARE(ZkusebniStav.PocetDone.load(), donePred + 1);
    QVERIFY(!ZkusebniStav.DoneBehemSend);
    QCOMPARE(w.Bunka(2, 1), T("0"));
    ZkusebniStav.Blokovat = false;
    ZkusebniStav.Uvolnit = false;

    // And a new measurement starts as usual.
    fs::remove(Slozka() / "libWZQ1407.so");
    fs::create_symlink(fs::path(ZQ_BIN) / "libWZQ1407.so", Slozka() / "libWZQ1407.so");
    w.Button2Click();
    QVERIFY(CekejNa([&] { return w.Bunka(2, 1) == T("123,450"); }, 5000));
    Zastav(w);
  }

  void zavislaKnihovnaPriStartuDalsiho() {
    // A start right after a stop whose call still hangs: the old thread
    // must not clear the new measurement's flags when it finally returns.
    fs::remove(Slozka() / "libWZQ1407.so");
    fs::create_symlink(fs::path(ZKUS_KNIHOVNY) / "ok" / "libWZQ1407.so",
                       Slozka() / "libWZQ1407.so");
    ZkusebniStav.Blokovat = true;
    ZkusebniStav.Uvolnit = false;
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "h2.txt").string()), 0, 100, 10);
    w.Button2Click();
    QVERIFY(CekejNa([] { return ZkusebniStav.VSend.load() == 1; }, 5000));
    w.Button2Click();
    QVERIFY(RozhraniVolaniProbiha());
    // The same library answers the new measurement at once.
    ZkusebniStav.Blokovat = false;
    ZkusebniStav.SendDelka = 4;
    const int32_t odpoved[4] = {0x39, 0x30, 0x00, 0x02};
    std::copy(odpoved, odpoved + 4, ZkusebniStav.SendOdpoved);
    w.Button2Click();
    QCOMPARE(w.Button2->text(), T("Stop měření"));
    QVERIFY(CekejNa([&] { return w.Bunka(2, 1) == T("123,450"); }, 5000));
    ZkusebniStav.Uvolnit = true;  // the old call returns
    QVERIFY(CekejNa([] { return ZkusebniStav.VSend.load() == 0; }, 5000));
    QTest::qWait(300);
    QVERIFY(m_->KomBezi());
    QVERIFY(CekejNa([this] { return m_->PocetVzorku() >= 1; }, 5000));
    Zastav(w);
    ZkusebniStav.Uvolnit = false;
    ZkusebniStav.SendDelka = 0;
    std::fill(ZkusebniStav.SendOdpoved, ZkusebniStav.SendOdpoved + 4, 0);
  }

  // The reads reach the window without the acquisition thread waiting for
  // it.  A stop while the main thread is behind shows every read stored
  // before "Měření ukončeno", in order, and none after it.
  void zastaveniSNezpracovanymiCtenimi() {
    for (int p = 0; p < 32; ++p)
      sim_->PridejPeriferii(3, static_cast<uint8_t>(p),
                            {TFormat::Uint32, TPrubeh::Citac, 0, 0, 60, 1, 0});
    std::vector<TKanal> kanaly;
    for (int p = 0; p < 32; ++p)
      kanaly.push_back(Kanal("C", 3, static_cast<uint8_t>(p), "uint32", 0));
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, kanaly, QString::fromStdString((Slozka() / "c.csv").string()));
    struct TSledovani : TPozorovatelMereni {
      int cteni = 0, poKonci = 0;
      bool konec = false;
      std::vector<int32_t> poradi;  // channels in the order applied
      void KanalPrecten(const TPrecteno& p) override {
        ++cteni;
        if (konec) ++poKonci;
        poradi.push_back(p.Kanal);
      }
    } s;
    m_->PridejPozorovatele(&s);
    QStringList stavy;
    w.SledovaniStavu = [&](const QString& t) {
      stavy << t;
      if (t == T("Měření ukončeno")) s.konec = true;
    };
    // Reads of some 20 ms: the main thread is held up in the middle of the
    // second pass, while the reads go on.
    sim_->NastavRychlostLinky(9600);
    w.Button2Click();
    QVERIFY(CekejNa([&] { return s.cteni >= 32 + 4; }, 10000));
    const int pred = s.cteni;
    // Held up until the acquisition thread has stored a read more: it sends
    // the next request only once the read before is stored.
    const uint64_t dotazu = sim_->PocetDotazu();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim_->PocetDotazu() < dotazu + 2 && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(sim_->PocetDotazu() >= dotazu + 2);
    w.Button2Click();
    QVERIFY(s.cteni > pred);
    QCOMPARE(stavy.last(), T("Měření ukončeno"));
    QCOMPARE(stavy.count(T("Měření ukončeno")), 1);
    // In the order of the reads: channel after channel, pass after pass.
    for (size_t i = 1; i < s.poradi.size(); ++i) QCOMPARE(s.poradi[i], (s.poradi[i - 1] + 1) % 32);
    // What the table holds, the grid shows: no stored read was lost.
    const TPoleKanal tabulka = Kanaly.Kopie();
    for (int r = 0; r < 32; ++r) QCOMPARE(w.Bunka(2, r + 1), DoQString(tabulka[r].Hodnota));
    // Nothing comes after the stop, also once both threads have ended and
    // what they left for the main thread has been served.
    Zastav(w);
    QCOMPARE(s.poKonci, 0);
    QCOMPARE(stavy.last(), T("Měření ukončeno"));
    m_->OdeberPozorovatele(&s);
  }

  void selhanyZapisDatovehoSouboru() {
    TForm1 w;
    m_ = &w.Mereni();
    const fs::path cesta = Slozka() / "z.csv";
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)}, QString::fromStdString(cesta.string()));
    QStringList stavy;
    w.SledovaniStavu = [&](const QString& s) { stavy << s; };
    w.Button2Click();
    QVERIFY(CekejNa([&] { return fs::exists(cesta); }, 5000));
    // A folder in the file's place: the next samples fail, logging goes on.
    fs::remove(cesta);
    fs::create_directory(cesta);
    const int pred = m_->PocetVzorku();
    QVERIFY(CekejNa([&] { return stavy.contains(T("Chyba zápisu do souboru")); }, 5000));
    QVERIFY(m_->PocetVzorku() > pred);
    QVERIFY(w.MereniBezi());
    // The failure stays in sight after the next pass's "Probíhá měření ...".
    QVERIFY(CekejNa([&] { return stavy.last() == T("Probíhá měření ..."); }, 5000));
    // The field says why, the status bar keeps the writer's text.
    QVERIFY(QRegularExpression(T("^Nezapsané vzorky: [1-9]\\d* \\(naposledy \\d+:\\d\\d:\\d\\d – "
                                 "Chyba zápisu do souboru: na místě souboru je složka\\)$"))
                .match(w.TextChybZapisu())
                .hasMatch());
    fs::remove(cesta);
    const int poOprave = m_->PocetVzorku();
    QVERIFY(
        CekejNa([&] { return fs::is_regular_file(cesta) && m_->PocetVzorku() > poOprave; }, 5000));
    Zastav(w);
    QVERIFY(Obsah(cesta).startsWith("123,450\r\n"));
    QCOMPARE(w.Label7->text(), QString::number(m_->PocetVzorku()));
    QVERIFY(!w.TextChybZapisu().isEmpty());  // until the next start
    NastavZobrazovac([](QDialog&) { return VysledekAno; });
    w.Button2Click();
    QVERIFY(w.TextChybZapisu().isEmpty());
    Zastav(w);
  }

  void existujiciSouborNe() {
    const fs::path cesta = Slozka() / "stary.txt";
    {
      QFile f(QString::fromStdString(cesta.string()));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("stara data\r\n");
    }
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)}, QString::fromStdString(cesta.string()));
    w.NastavStav(T("předtím"));
    QString otazka;
    NastavZobrazovac([&](QDialog& d) {
      otazka = d.windowTitle();
      return VysledekNe;
    });
    w.Button2Click();
    QCOMPARE(otazka, T("  Uložit jako"));
    QCOMPARE(w.TextStavu(), T("předtím"));
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QCOMPARE(Obsah(cesta), QByteArray("stara data\r\n"));
    QVERIFY(!m_->KnihovnaOtevrena());

    NastavZobrazovac([](QDialog&) { return VysledekAno; });
    TZapsane zapsane(*m_);
    w.Button2Click();
    QCOMPARE(w.Button2->text(), T("Stop měření"));
    QVERIFY(CekejNa([&] { return zapsane.Pocet >= 1; }, 5000));
    Zastav(w);
    QCOMPARE(Obsah(cesta).left(9), QByteArray("123,450  "));
  }

  void slozkaDatVznikne() {
    TForm1 w;
    m_ = &w.Mereni();
    const fs::path cesta = Slozka() / "nova" / "hlubsi" / "data.csv";
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)}, QString::fromStdString(cesta.string()));
    w.Button2Click();
    QCOMPARE(w.Button2->text(), T("Stop měření"));
    QVERIFY(fs::is_directory(cesta.parent_path()));
    QVERIFY(CekejNa([&] { return fs::exists(cesta); }, 5000));
    Zastav(w);

    // A folder that cannot be made (a file in its way).
    QFile prekazka(QString::fromStdString((Slozka() / "soubor").string()));
    QVERIFY(prekazka.open(QIODevice::WriteOnly));
    prekazka.close();
    w.Edit3->setText(QString::fromStdString((Slozka() / "soubor" / "data.csv").string()));
    w.Button2Click();
    QCOMPARE(w.TextStavu(), T("Nelze vytvořit soubor \"") + w.Edit3->text() + u'"');
    QCOMPARE(w.Button2->text(), T("Start měření"));
  }

  void timeoutUkonceni() {
    // An empty program folder: the start computes the time-out, then fails
    // to load the library.
    QTemporaryDir prazdna;
    NastavSlozkuProgramu(fs::path(prazdna.path().toStdString()));
    TForm1 w;
    m_ = &w.Mereni();
    w.Edit3->setText(QString::fromStdString((Slozka() / "t.txt").string()));
    w.Edit8->setText(T("100"));
    w.Edit9->setText(T("1"));
    w.Button2Click();
    QCOMPARE(m_->TimeoutUkonceni(), 326);
    QCOMPARE(w.TextStavu(), T("100 - chyba inicializace knihovny WCOM407.DLL"));
    QVERIFY(!m_->KnihovnaOtevrena());

    w.ComboBox3->setCurrentIndex(4);
    w.Edit6->setText(T("1000"));
    w.Button2Click();
    QCOMPARE(m_->TimeoutUkonceni(), 1100);
    QCOMPARE(w.TextStavu(), T("104 - chyba inicializace knihovny WZQ1407.DLL"));

    w.ComboBox3->setCurrentIndex(3);
    w.Button2Click();
    QCOMPARE(w.TextStavu(), T("103 - chyba inicializace knihovny WUSB1407.DLL"));
    QCOMPARE(w.Button2->text(), T("Start měření"));
  }

  void nastaveniLinkySelze() {
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "r.txt").string()));
    w.Edit8->setText(T("0"));  // a time-out the library refuses
    w.Button2Click();
    QVERIFY(w.TextStavu().contains(T(" - ")));
    QVERIFY(!w.TextStavu().startsWith(T("Probíhá")));
    QCOMPARE(w.Button2->text(), T("Start měření"));
    QVERIFY(!m_->KnihovnaOtevrena());
    // A start after the failed one works.
    w.Edit8->setText(T("50"));
    w.Button2Click();
    QCOMPARE(w.Button2->text(), T("Stop měření"));
    QVERIFY(CekejNa([&] { return w.Bunka(2, 1) == T("123,450"); }, 5000));
    Zastav(w);
  }

  void opakovanyStartAStop() {
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3), Kanal("Z", 2, 0, "float32", 1)},
           QString::fromStdString((Slozka() / "o.csv").string()));
    NastavZobrazovac([](QDialog&) { return VysledekAno; });
    TZapsane zapsane(*m_);
    for (int i = 0; i < 3; ++i) {
      w.Button2Click();
      QCOMPARE(w.Button2->text(), T("Stop měření"));
      QVERIFY(CekejNa([&] { return zapsane.Pocet >= i + 1; }, 5000));
      Zastav(w);
      QCOMPARE(w.Bunka(2, 2), T("-2,5"));
    }
    // Every measurement begins a new file.
    QVERIFY(Obsah(Slozka() / "o.csv").startsWith("123,450;-2,5\r\n"));
  }

  void zavreniBehemMereni() {
    auto w = std::make_unique<TForm1>();
    m_ = &w->Mereni();
    Nastav(*w, {Kanal("T", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "k.txt").string()));
    w->Button2Click();
    QVERIFY(CekejNa([this] { return m_->PocetVzorku() >= 1; }, 5000));
    QVERIFY(w->close());
    QVERIFY(!m_->KnihovnaOtevrena());
    QVERIFY(CekejNa([this] { return !m_->KomBezi() && !m_->FileBezi(); }, 5000));
    QVERIFY(Obsah(Slozka() / "ZQ_datalogger.ini").contains("NovaUloha.zq"));
    const QByteArray uloha = Obsah(Slozka() / "NovaUloha.zq");
    QVERIFY(uloha.contains(QByteArray::fromStdString(Cp1250("Rozhraní=ZQ-1407U\r\n"))));
    QVERIFY(uloha.contains("IP adresa=127.0.0.1\r\n"));
    w.reset();
  }

  // A crash inside the library's _Send stops the measurement by itself; the
  // library is never called again (a new start is refused with 4), and the
  // window still closes with its save.
  void poruchaKnihovnyZastaviMereni() {
    fs::remove(Slozka() / "libWZQ1407.so");
    fs::create_symlink(fs::path(ZKUS_KNIHOVNY) / "porucha" / "libWZQ1407.so",
                       Slozka() / "libWZQ1407.so");
    ZkusebniStav.SendDelka = 4;
    const int32_t odpoved[4] = {0x39, 0x30, 0x00, 0x02};
    std::copy(odpoved, odpoved + 4, ZkusebniStav.SendOdpoved);
    const int done = ZkusebniStav.PocetDone;
    auto w = std::make_unique<TForm1>();
    m_ = &w->Mereni();
    Nastav(*w, {Kanal("T", 1, 1, "float32", 3), Kanal("U", 1, 1, "float32", 3)},
           QString::fromStdString((Slozka() / "p.csv").string()));
    w->Button2Click();
    QVERIFY(CekejNa([this] { return m_->PocetVzorku() >= 1; }, 5000));
    ZkusebniStav.Porucha[TZkusebniStav::VstupSend] = TZkusebniStav::Segv;
    QVERIFY(CekejNa([&] { return !w->MereniBezi(); }, 5000));
    const QString text =
        T("4 - knihovna WZQ1407.DLL selhala v _Send (neplatný přístup do paměti), "
          "do konce běhu vyřazena");
    QCOMPARE(w->TextStavu(), T("Měření ukončeno: ") + text);
    QVERIFY(!m_->KnihovnaOtevrena());
    QVERIFY(CekejNa([this] { return !m_->KomBezi() && !m_->FileBezi(); }, 5000));
    QVERIFY(w->Bunka(3, 1) == T("4") || w->Bunka(3, 2) == T("4"));
    QCOMPARE(ZkusebniStav.PocetDone.load(), done);

    const int init = ZkusebniStav.PocetInit;
    const int send = ZkusebniStav.PocetSend;
    NastavZobrazovac([](QDialog&) { return VysledekAno; });  // overwrite p.csv
    w->Button2Click();
    QCOMPARE(w->TextStavu(), text);
    QVERIFY(!w->MereniBezi());
    QCOMPARE(ZkusebniStav.PocetInit.load(), init);
    QCOMPARE(ZkusebniStav.PocetSend.load(), send);

    QVERIFY(w->close());
    QVERIFY(Obsah(Slozka() / "NovaUloha.zq").contains("IP adresa=127.0.0.1\r\n"));
    w.reset();
    ZkusebniStav.SendDelka = 0;
  }

  void kanalyNahrazeneBehemMereni() {
    // The channel dialog replaces the table while the threads use it.
    TForm1 w;
    m_ = &w.Mereni();
    Nastav(w, {Kanal("T", 1, 1, "float32", 3), Kanal("U", 1, 0, "uint32", 0)},
           QString::fromStdString((Slozka() / "n.csv").string()));
    w.Button2Click();
    QVERIFY(CekejNa([this] { return m_->PocetVzorku() >= 1; }, 5000));
    for (int i = 0; i < 200; ++i) {
      TPoleKanal k;
      k = Kanaly.Kopie();
      k[0].Nazev = Cp1250(i % 2 ? "Teplota" : "T");
      Kanaly.Nahrad(k);
      QTest::qWait(5);
    }
    Zastav(w);
    QVERIFY(w.TextStavu() == T("Měření ukončeno"));
  }
};

QTEST_MAIN(TestMereni)
#include "test_mereni.moc"
