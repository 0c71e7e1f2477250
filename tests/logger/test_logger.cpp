// zq-logger against the module-bus simulator: the same data file as the
// window writes for the same task, its start failures, its stop by SIGTERM.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "BehLoggeru.h"
#include "Cp1250.h"
#include "Dekl.h"
#include "Hlavni.h"
#include "Hodiny.h"
#include "Logger.h"
#include "Mistni.h"
#include "Modalni.h"
#include "Pomocne.h"
#include "Proces.h"
#include "Signaly.h"
#include "Simulator.h"
#include "Sluzba.h"
#include "Vystup.h"

namespace fs = std::filesystem;
using namespace zqsim;

namespace {
void Uloz(const fs::path& p, const QByteArray& obsah) {
  QFile f(QString::fromStdString(p.string()));
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(obsah), obsah.size());
}

// Lines of a file, the header's included.
int Radku(const fs::path& p) { return static_cast<int>(Obsah(p).count("\r\n")); }

// A notify socket as systemd binds it for a service: the datagrams the
// service sends, in order.
struct TSoketOznameni {
  int fd = -1;
  std::string Cesta;
  std::vector<std::string> Zpravy;

  explicit TSoketOznameni(const fs::path& p) : Cesta(p.string()) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (Cesta.size() >= sizeof a.sun_path) return;
    std::memcpy(a.sun_path, Cesta.c_str(), Cesta.size() + 1);
    fs::remove(p);
    fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      fd = -1;
    }
  }
  ~TSoketOznameni() {
    if (fd >= 0) close(fd);
  }
  TSoketOznameni(const TSoketOznameni&) = delete;
  TSoketOznameni& operator=(const TSoketOznameni&) = delete;

  // Takes what has come so far.
  void Prijmi() {
    char buf[4096];
    for (int i = 0; i < 10000; ++i) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n < 0) return;
      Zpravy.emplace_back(buf, static_cast<size_t>(n));
    }
  }
  // Messages that hold the line `radek`.
  int Pocet(const std::string& radek) const {
    int n = 0;
    for (const std::string& z : Zpravy)
      if (("\n" + z + "\n").find("\n" + radek + "\n") != std::string::npos) ++n;
    return n;
  }
};

}  // namespace

class TestLogger : public QObject {
  Q_OBJECT

  QTemporaryDir slozka_;
  std::unique_ptr<TSimulator> sim_;
  fs::path Slozka() const { return fs::path(slozka_.path().toStdString()); }

  // A task for the simulator's LAN converter: three channels, one of them
  // on a module that never answers.
  void Uloha(TCFG& u, TPoleKanal& k, const std::string& soubor) {
    u = UlohaLan(sim_->UdpPort(), 3, soubor);
    InitKanaly(k);
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
      TZapsane zapsane(w.Mereni());
      w.Button2Click();
      QVERIFY(w.MereniBezi());
      QVERIFY(QTest::qWaitFor([&] { return zapsane.Pocet >= 2; }, 10000));
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
    // The values as the file holds them follow what the line said before.
    QVERIFY2(b.Vystup.find("vzorek 2: chybné kanály 1, poslední chyba 20 - modul neodpověděl "
                           "(vypršel časový limit), hodnoty: -12,500; 123; 0,000\n") !=
                 std::string::npos,
             b.Vystup.c_str());
    QVERIFY2(QRegularExpression(QStringLiteral("zq-logger: měření ukončeno \\(SIGTERM\\), \\d+ "
                                               "vzork(y|ů), z toho nezapsaných 0\n"))
                 .match(QString::fromStdString(b.Vystup))
                 .hasMatch(),
             b.Vystup.c_str());
    // The summary's numbers with the regional separator, as the window.
    QVERIFY(QRegularExpression(QStringLiteral("; odezva průměr \\d+,\\d ms"))
                .match(QString::fromStdString(b.Vystup))
                .hasMatch());

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
    QTest::newRow("neplatny port") << "port" << LoggerChybneVolani << "Chyba zadaných parametrů\n";
    QTest::newRow("soubor existuje")
        << "existuje" << LoggerChybneVolani
        << "Soubor \"" + QString::fromStdString((Slozka() / "data.csv").string()) +
               "\" již existuje; přepsat jej dovolí volba --prepsat, pokračovat v něm "
               "--pokracovat\n";
    // A task not there: what the folder holds instead.
    QTest::newRow("jina uloha") << "jina" << LoggerChybneVolani
                                << "Jina.zq\" neexistuje; úlohy ve složce \"" +
                                       QString::fromStdString(Slozka().string()) + "\": U.zq\n";
    QTest::newRow("neni uloha") << "neni" << LoggerChybneVolani << "";
    // One line, not the whole help.
    QTest::newRow("nezname volby") << "volba" << LoggerChybneVolani
                                   << "zq-logger: neznámá volba --rychle (nápověda: zq-logger "
                                      "--help)\n";
    QTest::newRow("obe volby") << "obe" << LoggerChybneVolani
                               << "zq-logger: volby --prepsat a --pokracovat nelze použít spolu\n";
    QTest::newRow("slozka") << "slozka" << LoggerChybneVolani << "je složka, ne soubor úlohy\n";
    QTest::newRow("roura") << "roura" << LoggerChybneVolani
                           << "je pojmenovaná roura (FIFO), ne soubor úlohy\n";
    // A file cut before its channels: eight channels by default values.
    QTest::newRow("zkracena") << "zkracena" << LoggerChybneVolani
                              << "zq-logger: v úloze chybí [Ch0] až [Ch7]\n";
    // A replaced port would reach another program's socket.
    QTest::newRow("udp port") << "udp" << LoggerChybneVolani
                              << "zq-logger: neplatná hodnota [Připojení] UDP port=99999, "
                                 "použito 5000\n";
    QTest::newRow("cizi soubor dat")
        << "cizi" << LoggerChybneVolani << "záhlaví se liší od úlohy (patří jiné úloze?)\n";
    // A replaced value that changes what is measured: listed, and refused.
    QTest::newRow("pocet kanalu")
        << "kanalu" << LoggerChybneVolani
        << "zq-logger: neplatná hodnota [Konfigurace] Počet kanálů=šestnáct, použito 1\n"
           "zq-logger: úloha \"" +
               QString::fromStdString((Slozka() / "U.zq").string()) + "\" by měřila jiné kanály";
    // What a retry never mends gets 2, not the 1 that a service retries.
    QTest::newRow("ip adresa") << "ip" << LoggerChybneVolani
                               << "IP adresa=localhost není adresa IPv4";
    QTest::newRow("slozka dat") << "slozkaDat" << LoggerChybneVolani
                                << "data.csv\" je složka, ne datový soubor";
    QTest::newRow("slozka dat, prepsat")
        << "slozkaDatPrepsat" << LoggerChybneVolani << "data.csv\" je složka, ne datový soubor";
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
    if (pripad == "cizi") Uloz(Slozka() / "data.csv", "Index;A\r\n1;2\r\n");
    if (pripad == "zkracena") u.PocetKanalu = 8;
    if (pripad == "ip") u.IPAdresa = "localhost";
    if (pripad.startsWith("slozkaDat")) QVERIFY(fs::create_directory(Slozka() / "data.csv"));
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    const fs::path ulohy = Slozka() / "U.zq";
    QByteArray obsah = Obsah(ulohy);
    if (pripad == "neni") obsah.clear();
    if (pripad == "zkracena") obsah = obsah.left(obsah.indexOf("[Ch0]"));
    if (pripad == "udp")
      obsah.replace("UDP port=" + QByteArray::number(u.UDPPort), "UDP port=99999");
    if (pripad == "kanalu")
      obsah.replace(QByteArray::fromStdString(Cp1250("Počet kanálů=3")),
                    QByteArray::fromStdString(Cp1250("Počet kanálů=šestnáct")));
    Uloz(ulohy, obsah);
    if (pripad == "slozka" || pripad == "roura") {
      fs::remove(ulohy);
      QVERIFY(pripad == "slozka" ? fs::create_directory(ulohy) : mkfifo(ulohy.c_str(), 0600) == 0);
    }
    std::vector<std::string> argumenty{"U.zq"};
    if (pripad == "volba") argumenty.insert(argumenty.begin(), "--rychle");
    if (pripad == "jina") argumenty = {"Jina.zq"};
    if (pripad == "obe") argumenty.insert(argumenty.begin(), {"--prepsat", "--pokracovat"});
    if (pripad == "cizi") argumenty.insert(argumenty.begin(), "--pokracovat");
    if (pripad == "slozkaDatPrepsat") argumenty.insert(argumenty.begin(), "--prepsat");
    const TBeh b = Spust(argumenty, 0);
    QCOMPARE(b.Kod, kod);
    QVERIFY2(QString::fromStdString(b.Chyby).contains(chyba), b.Chyby.c_str());
    QVERIFY(!b.Chyby.empty());
    if (pripad == "volba") QCOMPARE(QString::fromStdString(b.Chyby), chyba);
    QVERIFY(b.Vystup.find("vzorek") == std::string::npos);
    QCOMPARE(sim_->PocetDotazu(), uint64_t{0});
    if (pripad == "cizi") QCOMPARE(Obsah(Slozka() / "data.csv"), QByteArray("Index;A\r\n1;2\r\n"));
  }

  // A restart with --pokracovat goes on with the file of the run before: a
  // torn last line is cut, the index continues, the header stays single;
  // values the readers replaced outside the interface's fields are listed
  // and do not keep it from measuring.
  void pokracovani() {
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, "data.csv");
    u.Uloha = "P.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    QCOMPARE(Spust({"P.zq"}, 2).Kod, LoggerOk);
    QByteArray d = Obsah(Slozka() / "data.csv");
    const int radku = static_cast<int>(d.count("\r\n"));
    QVERIFY(radku >= 3);
    Uloz(Slozka() / "data.csv", d + "9;0;12");  // killed inside a line
    QByteArray uloha = Obsah(Slozka() / "P.zq");
    Uloz(Slozka() / "P.zq",
         uloha.replace("Perioda m\xEC\xF8\x65n\xED=0", "Perioda m\xEC\xF8\x65n\xED=99"));
    // The service's instance name, without ".zq", is the task.
    const TBeh b = Spust({"--pokracovat", "P"}, 2);
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(b.Chyby.find("zq-logger: úloha \"P\" je soubor \"" + (Slozka() / "P.zq").string() +
                          "\"\n") != std::string::npos,
             b.Chyby.c_str());
    QVERIFY2(b.Chyby.find("neplatná hodnota [Konfigurace] Perioda měření=99, použito 1\n") !=
                 std::string::npos,
             b.Chyby.c_str());
    QVERIFY2(b.Chyby.find("odříznuto 6 B neúplného záznamu") != std::string::npos, b.Chyby.c_str());
    QVERIFY(b.Vystup.find(", pokračuje za vzorkem " + std::to_string(radku - 1)) !=
            std::string::npos);
    d = Obsah(Slozka() / "data.csv");
    const QList<QByteArray> radky = d.split('\n');
    QCOMPARE(d.count("Index;"), 1);
    QVERIFY(d.endsWith("\r\n"));
    for (int i = 1; i + 1 < radky.size(); ++i)
      QVERIFY2(radky[i].startsWith(QByteArray::number(i) + ";"), radky[i].constData());
  }

  // A file made under one locale and continued under another goes on in
  // its own forms: a column never holds two forms of a number or a date.
  void pokracovaniVeTvaruSouboru() {
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, "tvar.csv");
    u.Uloha = "T.zq";
    u.Volby |= VolbaDatum | VolbaCas;
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    NastavMistni(MistniAnglicke());
    QCOMPARE(Spust({"T.zq"}, 2).Kod, LoggerOk);
    NastavMistni(MistniCeske());
    const TBeh b = Spust({"--pokracovat", "T.zq"}, 2);
    NastavMistni(MistniCeske());
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(b.Chyby.find("pokračuje ve tvaru, v němž vznikl: desetinný oddělovač \".\", datum "
                          "M/d/yyyy, čas h:mm:ss tt (místní nastavení by psalo desetinný "
                          "oddělovač \",\", datum d.M.yyyy, čas H:mm:ss)") != std::string::npos,
             b.Chyby.c_str());
    const QList<QByteArray> radky = Obsah(Slozka() / "tvar.csv").split('\n');
    QVERIFY(radky.size() >= 6);  // the header, four records, the empty end
    const QRegularExpression zaznam(
        QStringLiteral("^\\d+;\\d{1,2}/\\d{1,2}/\\d{4};\\d{1,2}:\\d{2}:\\d{2} [AP]M;\\d+;"
                       "-12\\.500;123;0\\.000\\r$"));
    for (int i = 1; i + 1 < radky.size(); ++i)
      QVERIFY2(zaznam.match(QString::fromLatin1(radky[i])).hasMatch(), radky[i].constData());
  }

  // A reader of the output that goes away (| head, a pager, a closed ssh
  // session) ends neither the measurement nor its data file: the logger
  // says so once on standard error and goes on, also once standard error is
  // gone too.  `timeout` delivers SIGTERM twice: it is one request, a clean
  // stop with status 0.
  void rouraZavrena() {
    TCFG u;
    TPoleKanal k;
    const fs::path data = Slozka() / "roura.csv";
    Uloha(u, k, data.string());
    u.Uloha = "R.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    TProces p({(Slozka() / "R.zq").string()});
    QVERIFY(p.pid > 0);
    QVERIFY2(p.Cekej(p.vystup, "vzorek 2:", 15000), p.Chyby.c_str());
    TProces::Zavri(p.vystup);
    QVERIFY2(p.Cekej(p.chyby, "standardní výstup nelze zapisovat", 15000), p.Chyby.c_str());
    TProces::Zavri(p.chyby);
    const int radku = Radku(data);
    QVERIFY(QTest::qWaitFor([&] { return Radku(data) >= radku + 2; }, 15000));
    kill(p.pid, SIGTERM);
    kill(p.pid, SIGTERM);
    QCOMPARE(p.Skonci(10000), LoggerOk);
  }

  // A reader that stops reading (a stalled consumer, a journal that stops
  // taking lines) holds up neither the measurement nor its stop: the data
  // file grows, SIGTERM ends the run with status 0 and a complete file, and
  // a reader that comes back is told how many lines it missed.
  void plnaRoura_data() {
    QTest::addColumn<int>("roury");
    QTest::addColumn<bool>("tichy");
    QTest::newRow("vystup") << static_cast<int>(TRoury::PlnyVystup) << false;
    QTest::newRow("vystup a chyby") << static_cast<int>(TRoury::PlneObe) << false;
    QTest::newRow("tichy") << static_cast<int>(TRoury::PlneObe) << true;
  }
  void plnaRoura() {
    QFETCH(int, roury);
    QFETCH(bool, tichy);
    TCFG u;
    TPoleKanal k;
    const fs::path data = Slozka() / "plna.csv";
    Uloha(u, k, data.string());
    u.Uloha = "F.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    std::vector<std::string> argumenty{(Slozka() / "F.zq").string()};
    if (tichy) argumenty.insert(argumenty.begin(), "-q");
    TProces p(argumenty, "zq-logger", static_cast<TRoury>(roury));
    QVERIFY(p.pid > 0);
    // The header and three records, while nobody takes a line.
    QVERIFY2(QTest::qWaitFor([&] { return Radku(data) >= 4; }, 30000), Obsah(data).constData());
    if (static_cast<TRoury>(roury) == TRoury::PlnyVystup) {
      // The reader is back: the lines that waited come, in order.
      TProces::Vyprazdni(p.vystup, p.Vystup);
      QVERIFY2(p.Cekej(p.vystup, "vzorek 4: ", 15000), p.Vystup.c_str());
      QVERIFY(p.Vystup.find("zq-logger: úloha") < p.Vystup.find("vzorek 1: "));
    }
    kill(p.pid, SIGTERM);
    QCOMPARE(p.Skonci(20000), LoggerOk);
    const QByteArray d = Obsah(data);
    QVERIFY(d.endsWith("\r\n"));
    const QList<QByteArray> radky = d.split('\n');
    for (int i = 1; i + 1 < radky.size(); ++i)
      QVERIFY2(radky[i].startsWith(QByteArray::number(i) + ";"), radky[i].constData());
  }

  // Lines that do not fit while nobody reads are dropped whole and counted;
  // the reader that comes back gets the lines that waited, then the count.
  void vynechaneRadky() {
    IgnorujPrerusenouRouru();  // as the program does: a reader gone is EPIPE
    int r[2];
    QVERIFY(pipe2(r, O_CLOEXEC) == 0);
    TProces::Napln(r[1]);
    std::string prijato;
    {
      TNeblokujiciVystup v(r[1], 100);
      std::ostream o(&v);
      for (int i = 0; i < 10; ++i)
        o << "radek " << i << " ........................\n" << std::flush;
      QCOMPARE(v.Vynechano(), uint64_t{7});
      TProces::Vyprazdni(r[0], prijato);
      o << "dalsi\n" << std::flush;
      TProces::Vyprazdni(r[0], prijato);
      QVERIFY(!v.Selhal());
      close(r[0]);
      o << "nikdo\n" << std::flush;
      QVERIFY(v.Selhal());
      QVERIFY(o.fail());
    }
    close(r[1]);
    prijato.erase(0, prijato.find_first_not_of('#'));
    QCOMPARE(prijato, std::string("radek 0 ........................\n"
                                  "radek 1 ........................\n"
                                  "radek 2 ........................\n"
                                  "zq-logger: výstup nikdo nečetl, vynecháno řádků: 7\n"
                                  "dalsi\n"));
  }

  // Signals within 2 s of the first are the same request; one later, while
  // the stop still waits for a read that takes long, ends the program at
  // once, with a status of its own and a line that says so.
  void pozdejsiSignal() {
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, (Slozka() / "s.csv").string());
    u.Uloha = "S.zq";
    u.PocetKanalu = 1;
    k[0] = k[2];  // module 9, which never answers
    u.LANTimeout = 30000;
    // Module 9 is there but its answers are lost: no datagram comes back and
    // each read waits out the LAN time-out.
    sim_->PridejPeriferii(9, 0, {});
    sim_->PridejPoruchu({TDruhPoruchy::Zahozeni, 1.0, -1, 0, 9});
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    TProces p({(Slozka() / "S.zq").string()});
    QVERIFY2(p.Cekej(p.vystup, "zq-logger: úloha", 10000), p.Chyby.c_str());
    QVERIFY(QTest::qWaitFor([&] { return sim_->PocetDotazu(9) > 0; }, 5000));
    const auto t0 = std::chrono::steady_clock::now();
    kill(p.pid, SIGTERM);
    kill(p.pid, SIGTERM);
    // Again and again, until one comes 2 s after the first by the program's
    // clock (its handler may run late on a busy machine); the stop alone
    // would wait 30 s for the read.
    int kod = -1;
    for (int i = 0; i < 40 && kod == -1 && p.pid > 0; ++i) {
      kill(p.pid, SIGTERM);
      kod = p.Skonci(250);
    }
    p.Cekej(p.chyby, "zq-logger: ukončeno dalším signálem bez čekání", 5000);
    QVERIFY2(kod == LoggerPreruseno, (std::to_string(kod) + ": " + p.Chyby).c_str());
    QVERIFY(std::chrono::steady_clock::now() - t0 >= std::chrono::seconds(2));
    QVERIFY2(p.Chyby.find("zq-logger: ukončeno dalším signálem bez čekání") != std::string::npos,
             p.Chyby.c_str());
  }

  // Run by systemd (Type=notify), the logger is ready only once the
  // measurement runs, pets the watchdog at half its interval until the stop
  // and says when it stops; a start that fails is never reported ready.
  void sluzbaSystemd() {
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, (Slozka() / "sd.csv").string());
    u.Uloha = "SD.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    TSoketOznameni s(Slozka() / "notify");
    QVERIFY(s.fd >= 0);
    const std::vector<std::string> prostredi{"NOTIFY_SOCKET=" + s.Cesta, "WATCHDOG_USEC=400000"};
    // A port that is not there: the interface does not open.
    u.Rozhrani = RozhraniCOM;
    u.PortCOM = 200;
    u.Uloha = "COM.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    {
      TProces p({"-q", (Slozka() / "COM.zq").string()}, "zq-logger", TRoury::Oddelene, prostredi);
      QCOMPARE(p.Skonci(15000), LoggerNespusteno);
      p.Cekej(p.chyby, "\n", 5000);
      QVERIFY2(p.Chyby.find("ttyS199") != std::string::npos, p.Chyby.c_str());
    }
    s.Prijmi();
    QVERIFY(s.Zpravy.empty());

    TProces p({"-q", (Slozka() / "SD.zq").string()}, "zq-logger", TRoury::Oddelene, prostredi);
    QVERIFY(QTest::qWaitFor(
        [&] {
          s.Prijmi();
          return s.Pocet("WATCHDOG=1") >= 3;
        },
        20000));
    QVERIFY2(s.Zpravy.front().rfind("READY=1\nSTATUS=měří, ", 0) == 0, s.Zpravy.front().c_str());
    QCOMPARE(s.Pocet("READY=1"), 1);
    kill(p.pid, SIGTERM);
    QCOMPARE(p.Skonci(15000), LoggerOk);
    s.Prijmi();
    QVERIFY2(s.Zpravy.back().rfind("STOPPING=1\nSTATUS=zastavuje se, ", 0) == 0,
             s.Zpravy.back().c_str());
  }

  // The watchdog is petted by the thread that runs the event loop: while
  // that thread is held (a data-file write that blocks, a deadlock) no
  // WATCHDOG=1 goes out, and the petting comes back once it runs again.
  // Without NOTIFY_SOCKET nothing is switched on.
  void hlidacHlavnihoVlakna() {
    // The other tests' loggers run without either.
    const auto obnov = qScopeGuard([] {
      qunsetenv("NOTIFY_SOCKET");
      qunsetenv("WATCHDOG_USEC");
    });
    qputenv("WATCHDOG_USEC", "200000");
    qunsetenv("NOTIFY_SOCKET");
    {
      TSluzba mimo([] { return std::string(); });
      mimo.Pripraveno();
      QVERIFY(!mimo.Zapnuto());
      QCOMPARE(mimo.Interval().count(), 0);
    }
    TSoketOznameni s(Slozka() / "notify");
    QVERIFY(s.fd >= 0);
    qputenv("NOTIFY_SOCKET", QByteArray::fromStdString(s.Cesta));
    TSluzba sluzba([] { return std::string("5 vzorků"); });
    QCOMPARE(sluzba.Interval(), std::chrono::milliseconds(100));
    sluzba.Pripraveno();
    QVERIFY(QTest::qWaitFor(
        [&] {
          s.Prijmi();
          return s.Pocet("WATCHDOG=1") >= 2;
        },
        10000));
    s.Prijmi();
    const int pred = s.Pocet("WATCHDOG=1");
    // The main thread held for ten intervals: what arrives meanwhile was
    // sent by another thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    s.Prijmi();
    QCOMPARE(s.Pocet("WATCHDOG=1"), pred);
    QVERIFY(QTest::qWaitFor(
        [&] {
          s.Prijmi();
          return s.Pocet("WATCHDOG=1") > pred;
        },
        10000));
    QCOMPARE(s.Zpravy.back(), std::string("WATCHDOG=1\nSTATUS=měří, 5 vzorků"));
    sluzba.Zastavuje();
    s.Prijmi();
    QCOMPARE(s.Zpravy.back(), std::string("STOPPING=1\nSTATUS=zastavuje se, 5 vzorků"));
  }

  // Counts with the Czech plural form of their noun.
  void pocetSlovem() {
    const std::pair<int, const char*> pripady[] = {
        {0, "0 kanálů"}, {1, "1 kanál"},    {2, "2 kanály"},    {4, "4 kanály"},
        {5, "5 kanálů"}, {21, "21 kanálů"}, {256, "256 kanálů"}};
    for (const auto& [n, text] : pripady)
      QCOMPARE(PocetSlovem(n, "kanál", "kanály", "kanálů"), std::string(text));
  }

  // A series split by day goes on over restarts: --pokracovat continues the
  // file of the day it stopped in, and once the day has changed begins the
  // new day's file; the index goes on from the series' last record.  Without
  // it, the day's file that exists is the designed "již existuje".
  void pokracovaniRady() {
    TCFG u;
    TPoleKanal k;
    Uloha(u, k, "rada.csv");
    u.Uloha = "Rada.zq";
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    Uloz(Slozka() / "ZQ_soubory.ini",
         "[Rada]\r\nRozd\xECl"
         "it=den\r\n");
    TDatumCas ted{2026, 12, 8, 23, 0, 0};
    NastavZdrojCasu([&ted] { return ted; });
    const auto zpet = qScopeGuard([] { NastavZdrojCasu({}); });
    const fs::path den8 = Slozka() / "rada_2026-12-08.csv", den9 = Slozka() / "rada_2026-12-09.csv";

    TBeh b = Spust({"Rada.zq"}, 2);
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(b.Vystup.find("data do \"" + den8.string() + "\" (rozděleno po dnech)\n") !=
                 std::string::npos,
             b.Vystup.c_str());
    QVERIFY(!fs::exists(Slozka() / "rada.csv"));
    b = Spust({"Rada.zq"}, 0);
    QCOMPARE(b.Kod, LoggerChybneVolani);
    QVERIFY2(b.Chyby.find(den8.string() + "\" již existuje;") != std::string::npos,
             b.Chyby.c_str());
    const int radku = Radku(den8);
    b = Spust({"--pokracovat", "Rada.zq"}, 2);
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(
        b.Vystup.find(", pokračuje za vzorkem " + std::to_string(radku - 1)) != std::string::npos,
        b.Vystup.c_str());
    ted = {2026, 12, 9, 0, 0, 1};
    b = Spust({"--pokracovat", "Rada.zq"}, 2);
    QCOMPARE(b.Kod, LoggerOk);
    QVERIFY2(b.Vystup.find("data do \"" + den9.string() + "\"") != std::string::npos,
             b.Vystup.c_str());
    // One header each, the indices 1, 2, 3 ... across both.
    int dalsi = 1;
    for (const fs::path& p : {den8, den9}) {
      const QList<QByteArray> radky = Obsah(p).split('\n');
      QVERIFY(radky.size() >= 4);
      QVERIFY(radky[0].startsWith("Index;"));
      for (int i = 1; i + 1 < radky.size(); ++i)
        QVERIFY2(radky[i].startsWith(QByteArray::number(dalsi++) + ";"), radky[i].constData());
    }
    QVERIFY(dalsi > radku + 2);
  }

  // The wall clock moved, the monotonic one left alone (faketime): a real
  // logger at a period of 1 s crosses midnight and the new year from one
  // day's file to the next, no sample lost or written twice.
  void pulnocPodFaketime() {
    QString knihovna;
    for (const QString& s : QDir(QStringLiteral("/usr/lib")).entryList(QDir::Dirs))
      if (QFile::exists("/usr/lib/" + s + "/faketime/libfaketime.so.1"))
        knihovna = "/usr/lib/" + s + "/faketime/libfaketime.so.1";
    if (knihovna.isEmpty()) QSKIP("libfaketime is not installed (scripts/zavislosti.sh --testy)");
    TCFG u;
    TPoleKanal k;
    const fs::path data = Slozka() / "noc.csv";
    Uloha(u, k, data.string());
    u.Uloha = "Noc.zq";
    u.Volby |= VolbaDatum;
    ZapisUlohu(u);
    ZapisKanaly(u, k);
    const fs::path ini = Slozka() / "soubory.ini";
    Uloz(ini, "[Noc]\nRozdělit=den\n");
    const fs::path stary = Slozka() / "noc_2026-12-31.csv", novy = Slozka() / "noc_2027-01-01.csv";
    TProces p({"--soubory", ini.string(), (Slozka() / "Noc.zq").string()}, "zq-logger",
              TRoury::Oddelene,
              {"LD_PRELOAD=" + knihovna.toStdString(), "FAKETIME=@2026-12-31 23:59:54",
               "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=Europe/Prague",
               // The sanitizers' runtime does not come first with a preload.
               "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"});
    QVERIFY(p.pid > 0);
    QVERIFY2(p.Cekej(p.vystup, "data do \"" + stary.string() + "\"", 15000),
             (p.Vystup + p.Chyby).c_str());
    QVERIFY2(p.Cekej(p.vystup, "nový datový soubor \"" + novy.string() + "\"", 30000),
             (p.Vystup + p.Chyby).c_str());
    QVERIFY(QTest::qWaitFor([&] { return Radku(novy) >= 3; }, 15000));
    kill(p.pid, SIGTERM);
    QCOMPARE(p.Skonci(15000), LoggerOk);
    int dalsi = 1;
    for (const auto& [soubor, rok] : {std::pair{stary, "2026"}, std::pair{novy, "2027"}}) {
      const QList<QByteArray> radky = Obsah(soubor).split('\n');
      QVERIFY2(radky.size() >= 3 && radky[0].startsWith("Index;"), soubor.c_str());
      for (int i = 1; i + 1 < radky.size(); ++i) {
        QVERIFY2(radky[i].startsWith(QByteArray::number(dalsi++) + ";"), radky[i].constData());
        QVERIFY2(radky[i].contains(rok), radky[i].constData());
      }
    }
    QVERIFY(!fs::exists(data));
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
