// zq-logger against the module-bus simulator: the same data file as the
// window writes for the same task, its start failures, its stop by SIGTERM.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>
#include <sstream>

#include "Cp1250.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Logger.h"
#include "Mistni.h"
#include "Modalni.h"
#include "Pomocne.h"
#include "Signaly.h"
#include "Simulator.h"

namespace fs = std::filesystem;
using namespace zqsim;

namespace {
struct TBeh {
  int Kod = -1;
  std::string Vystup, Chyby;
};

// Runs the logger in this process; once `vzorku` samples were reported it
// gets SIGTERM, as from `systemctl stop` (0: no signal is sent).
TBeh Spust(const std::vector<std::string>& argumenty, int vzorku) {
  TBeh b;
  std::ostringstream vystup, chyby;
  QTimer hlidac;
  bool poslano = false;
  QObject::connect(&hlidac, &QTimer::timeout, [&] {
    if (!poslano && vzorku > 0 &&
        vystup.str().find("vzorek " + std::to_string(vzorku) + ":") != std::string::npos) {
      poslano = true;
      raise(SIGTERM);
    }
  });
  hlidac.start(20);
  bool visi = false;
  b.Kod = SpustLogger(argumenty, vystup, chyby, visi);
  b.Vystup = vystup.str();
  b.Chyby = chyby.str();
  return b;
}
}  // namespace

class TestLogger : public QObject {
  Q_OBJECT

  QTemporaryDir slozka_;
  std::unique_ptr<TSimulator> sim_;
  fs::path Slozka() const { return fs::path(slozka_.path().toStdString()); }

  // A task for the simulator's LAN converter: three channels, one of them
  // on a module that never answers.
  void Uloha(TCFG& u, TPoleKanal& k, const std::string& soubor) {
    InitCFG(u);
    InitKanaly(k);
    u.Rozhrani = "ZQ-1407U";
    u.IPAdresa = "127.0.0.1";
    u.UDPPort = sim_->UdpPort();
    u.LANTimeout = 150;
    u.RS485Timeout = 20;
    u.RS485Opakovani = 0;
    u.PocetKanalu = 3;
    u.JmenoSouboru = soubor;
    u.Volby = VolbaZahlavi | VolbaIndex | VolbaChyba;
    k[0].Nazev = Cp1250("Teplota");
    k[0].Periferie = 1;
    k[1].Nazev = Cp1250("Počet");
    k[1].Format = "uint32";
    k[1].DesetinnaMista = 0;
    k[2].Nazev = Cp1250("Chybí");
    k[2].Adresa = 9;
  }

 private slots:
  void initTestCase() {
    QVERIFY(slozka_.isValid());
    NastavMistni(MistniCeske());
  }

  void init() {
    PripravSlozku(Slozka(), {"libWCOM407.so", "libWZQ1407.so"});
    sim_ = std::make_unique<TSimulator>();
    sim_->PridejPeriferii(1, 0, {TFormat::Uint32, TPrubeh::Konstanta, 123, 0, 60, 1, 0});
    sim_->PridejPeriferii(1, 1, {TFormat::Float32, TPrubeh::Konstanta, -12.5, 0, 60, 1, 2});
    QVERIFY(sim_->SpustUdp(0));
  }

  void cleanup() {
    sim_.reset();
    NastavZobrazovac({});
  }

  // The logger's file equals the window's for the same task, byte for byte
  // apart from the date of the last write in a DBF header; it stops cleanly
  // on SIGTERM.
  void stejnySouborJakoOkno_data() {
    QTest::addColumn<QString>("pripona");
    QTest::newRow("txt") << ".txt";
    QTest::newRow("csv") << ".csv";
    QTest::newRow("dbf") << ".dbf";
  }

  void stejnySouborJakoOkno() {
    QFETCH(QString, pripona);
    const std::string p = pripona.toStdString();
    TCFG u;
    TPoleKanal k;

    Uloha(u, k, "okno" + p);
    {
      TForm1 w;
      CFG = u;
      Kanaly.Nahrad(k);
      w.ZapisOkno(CFG);
      w.Button2Click();
      QVERIFY(w.MereniBezi());
      QVERIFY(QTest::qWaitFor([&] { return w.Mereni().PocetVzorku() >= 2; }, 10000));
      w.Button2Click();
      QVERIFY(QTest::qWaitFor([&] { return !w.Mereni().VlaknaBezi(); }, 5000));
    }

    Uloha(u, k, "logger" + p);
    u.Uloha = "Linka.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    const TPocitadla pred = sim_->Pocitadla();
    const TBeh b = Spust({"Linka.zq"}, 2);
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(b.Chyby.empty(), b.Chyby.c_str());
    // The summary counts what the simulator received and left unanswered.
    const TPocitadla po = sim_->Pocitadla();
    const std::string chybnych = std::to_string(po.Potlacene - pred.Potlacene);
    const std::string souhrn = "zq-logger: komunikace: čtení " +
                               std::to_string(po.Dotazy - pred.Dotazy) + ", chybných " + chybnych +
                               " (20: " + chybnych + "); odezva průměr ";
    QVERIFY2(b.Vystup.find(souhrn) != std::string::npos, b.Vystup.c_str());
    const std::string modul9 = ", 9: " + chybnych + "/" + chybnych + ";";  // never answers
    QVERIFY2(b.Vystup.find(modul9) != std::string::npos, b.Vystup.c_str());
    QVERIFY(b.Vystup.find("vzorek 2: chybné kanály 1, poslední chyba 20 - ") != std::string::npos);
    QVERIFY(b.Vystup.find("měření ukončeno (SIGTERM), vzorků ") != std::string::npos);

    QByteArray okno = Obsah(Slozka() / ("okno" + p));
    QByteArray logger = Obsah(Slozka() / ("logger" + p));
    if (p == ".dbf") {
      // Header, then the first two records; the date and the record count
      // of the last write differ by nature.
      const int delka = 32 * 5 + 33 + 2 * (14 * 5 + 1);
      QVERIFY(okno.size() > delka && logger.size() > delka);
      okno = okno.left(delka).replace(1, 7, QByteArray(7, 0));
      logger = logger.left(delka).replace(1, 7, QByteArray(7, 0));
    } else {
      // The header and the first two lines.
      auto radky = [](const QByteArray& d) { return d.split('\n').mid(0, 3); };
      QCOMPARE(radky(okno).size(), 3);
      okno = radky(okno).join('\n');
      logger = radky(logger).join('\n');
    }
    QCOMPARE(logger, okno);
  }

  // A start that fails ends with the window's status text on standard error
  // and a non-zero status; nothing is measured.
  void startSelze_data() {
    QTest::addColumn<QString>("pripad");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("chyba");
    QTest::newRow("bez knihovny") << "knihovna" << LoggerNespusteno
                                  << "104 - chyba inicializace knihovny WZQ1407.DLL\n";
    QTest::newRow("neplatny port") << "port" << LoggerNespusteno << "Chyba zadaných parametrů\n";
    QTest::newRow("soubor existuje")
        << "existuje" << LoggerNespusteno
        << "Soubor \"data.csv\" již existuje; přepsat jej dovolí volba --prepsat\n";
    QTest::newRow("neni uloha") << "neni" << LoggerChybneVolani << "";
    QTest::newRow("nezname volby") << "volba" << LoggerChybneVolani << "";
  }

  void startSelze() {
    QFETCH(QString, pripad);
    QFETCH(int, kod);
    QFETCH(QString, chyba);
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, "data.csv");
    u.Uloha = "U.zq";
    if (pripad == "knihovna") fs::remove(Slozka() / "libWZQ1407.so");
    if (pripad == "port") u.UDPPort = 65535;
    if (pripad == "existuje") QFile((Slozka() / "data.csv").c_str()).open(QIODevice::WriteOnly);
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    if (pripad == "neni") QFile((Slozka() / "U.zq").c_str()).open(QIODevice::WriteOnly);
    const TBeh b = Spust(pripad == "volba" ? std::vector<std::string>{"--rychle", "U.zq"}
                                           : std::vector<std::string>{"U.zq"},
                         0);
    QCOMPARE(b.Kod, kod);
    if (!chyba.isEmpty()) QCOMPARE(QString::fromStdString(b.Chyby), chyba);
    QVERIFY(!b.Chyby.empty());
    QVERIFY(b.Vystup.find("vzorek") == std::string::npos);
    QCOMPARE(sim_->PocetDotazu(), uint64_t{0});
  }

  // Started under nohup (SIGHUP ignored), a run outlives its terminal: the
  // hangup stays ignored while SIGTERM still ends it; what each signal did
  // before is given back afterwards.
  void nohupPonechaIgnorovane() {
    signal(SIGHUP, SIG_IGN);
    struct sigaction predtim {};
    sigaction(SIGTERM, nullptr, &predtim);
    int prijaty = 0;
    {
      QObject rodic;
      ZachytavejUkonceni(&rodic, [&](int s) { prijaty = s; });
      raise(SIGHUP);
      raise(SIGTERM);
      QTRY_COMPARE(prijaty, SIGTERM);
    }
    PrestanZachytavat();
    struct sigaction a {};
    sigaction(SIGHUP, nullptr, &a);
    QVERIFY(a.sa_handler == SIG_IGN);
    sigaction(SIGTERM, nullptr, &a);
    QVERIFY(a.sa_handler == predtim.sa_handler);
    signal(SIGHUP, SIG_DFL);
  }
};

QTEST_MAIN(TestLogger)
#include "test_logger.moc"
