// The module-bus simulator spoken to directly, byte for byte, without the
// interface libraries.

#include "Protokol.h"
#include "Simulator.h"

#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using THodiny = std::chrono::steady_clock;
using TBajty = std::vector<uint8_t>;
using TCtyri = std::array<uint8_t, 4>;

// How long an answer that is due may take to come (ms): ample for a loaded
// machine; only an answer that never comes waits it out.
constexpr int Dlouho = 5000;

// A client socket on loopback speaking to the simulator's converter.
class TKlient {
 public:
  explicit TKlient(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    cil_.sin_family = AF_INET;
    cil_.sin_port = htons(port);
    cil_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~TKlient() { close(fd_); }
  TKlient(const TKlient&) = delete;
  TKlient& operator=(const TKlient&) = delete;

  void Posli(const TBajty& b) {
    sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&cil_), sizeof cil_);
  }
  void Dotaz(uint16_t poradi, uint8_t adresa, uint8_t periferie, uint16_t timeout = 50) {
    zqdrv::TLanDotaz d;
    d.Poradi = poradi;
    d.Rychlost = 9600;
    d.Timeout = timeout;
    d.Dotaz.Cislo = static_cast<uint8_t>(poradi);
    d.Dotaz.Adresa = adresa;
    d.Dotaz.Periferie = periferie;
    uint8_t buf[64];
    Posli(TBajty(buf, buf + zqdrv::SestavLanDotaz(d, buf)));
  }
  // The next datagram within `ms`, empty when none came; `port` gets the
  // sender's port.
  TBajty Prijmi(int ms, uint16_t* port = nullptr) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return {};
    uint8_t buf[512];
    sockaddr_in od{};
    socklen_t delka = sizeof od;
    const ssize_t r = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&od), &delka);
    if (port) *port = ntohs(od.sin_port);
    return r > 0 ? TBajty(buf, buf + r) : TBajty{};
  }

 private:
  int fd_;
  sockaddr_in cil_{};
};

zqdrv::TLanOdpoved Rozeber(const TBajty& b) {
  zqdrv::TLanOdpoved o;
  const zqdrv::TLanRozbor r = zqdrv::RozeberLanOdpoved(b.data(), b.size(), o);
  if (r != zqdrv::TLanRozbor::Ok) o.Stav = 0xFF;
  return o;
}

TCtyri Bajty(const zqsim::THodnota& h, double cas, uint64_t poradi) {
  return zqsim::Zakoduj(h, cas, poradi);
}

}  // namespace

class TestSim : public QObject {
  Q_OBJECT

 private slots:
  void desetinnyFormat() {
    QCOMPARE(zqsim::ZakodujF32(123.45, 2), (TCtyri{0x39, 0x30, 0x00, 0x02}));
    QCOMPARE(zqsim::ZakodujF32(-1, 0), (TCtyri{0x01, 0x00, 0x80, 0x00}));
    QCOMPARE(zqsim::ZakodujF32(-12.5, 1), (TCtyri{0x7D, 0x00, 0x80, 0x01}));
    // The 23-bit magnitude saturates; a value that rounds to zero has no sign.
    QCOMPARE(zqsim::ZakodujF32(1e9, 0), (TCtyri{0xFF, 0xFF, 0x7F, 0x00}));
    QCOMPARE(zqsim::ZakodujF32(-1e9, 0), (TCtyri{0xFF, 0xFF, 0xFF, 0x00}));
    QCOMPARE(zqsim::ZakodujF32(-0.001, 2), (TCtyri{0x00, 0x00, 0x00, 0x02}));
    QCOMPARE(zqsim::ZakodujF32(NAN, 1), (TCtyri{0xFF, 0xFF, 0x7F, 0x01}));
    QCOMPARE(zqsim::ZakodujF32(1, 200)[3], uint8_t{127});
    QCOMPARE(zqsim::ZakodujU32(-5), (TCtyri{0, 0, 0, 0}));
    QCOMPARE(zqsim::ZakodujU32(5e12), (TCtyri{0xFF, 0xFF, 0xFF, 0xFF}));
    QCOMPARE(zqsim::ZakodujU32(2.5), (TCtyri{2, 0, 0, 0}));  // to the even neighbour
  }

  void generatory() {
    using zqsim::TFormat;
    using zqsim::TPrubeh;
    const zqsim::THodnota citac{TFormat::Uint32, TPrubeh::Citac, 10, 0, 60, 2};
    QCOMPARE(Bajty(citac, 0, 0), (TCtyri{10, 0, 0, 0}));
    QCOMPARE(Bajty(citac, 99, 3), (TCtyri{16, 0, 0, 0}));
    // A uint32 counter wraps like a 32-bit register.
    const zqsim::THodnota konec{TFormat::Uint32, TPrubeh::Citac, 4294967295.0};
    QCOMPARE(Bajty(konec, 0, 1), (TCtyri{0, 0, 0, 0}));
    const zqsim::THodnota rampa{TFormat::Uint32, TPrubeh::Rampa, 0, 100, 60};
    QCOMPARE(Bajty(rampa, 15, 0), (TCtyri{25, 0, 0, 0}));
    QCOMPARE(Bajty(rampa, 75, 0), (TCtyri{25, 0, 0, 0}));
    const zqsim::THodnota sinus{TFormat::Float32, TPrubeh::Sinus, 5, 10, 60, 1, 1};
    QCOMPARE(Bajty(sinus, 15, 0), (TCtyri{150, 0, 0, 1}));    // 15.0
    QCOMPARE(Bajty(sinus, 45, 0), (TCtyri{50, 0, 0x80, 1}));  // -5.0
    const zqsim::THodnota bit{TFormat::Bool32, TPrubeh::PosuvnyBit};
    QCOMPARE(Bajty(bit, 0, 0), (TCtyri{1, 0, 0, 0}));
    QCOMPARE(Bajty(bit, 0, 31), (TCtyri{0, 0, 0, 0x80}));
    QCOMPARE(Bajty(bit, 0, 33), (TCtyri{2, 0, 0, 0}));
  }

  void textoveVolby() {
    uint8_t a = 0, p = 0;
    zqsim::THodnota h;
    std::string chyba;
    QVERIFY(zqsim::PrectiModul("1:0=float32:sine:amp=10:period=60:dec=2", a, p, h, chyba));
    QCOMPARE(int{a}, 1);
    QCOMPARE(int{p}, 0);
    QVERIFY(h.Format == zqsim::TFormat::Float32 && h.Prubeh == zqsim::TPrubeh::Sinus);
    QCOMPARE(h.Amplituda, 10.0);
    QCOMPARE(h.Perioda, 60.0);
    QCOMPARE(h.Mista, 2);
    QVERIFY(zqsim::PrectiModul("254:255=bool32:bits=0xA5A5", a, p, h, chyba));
    QCOMPARE(int{a}, 254);
    QCOMPARE(h.Zaklad, 42405.0);
    QVERIFY(zqsim::PrectiModul("3:1=uint32:counter:start=7:step=-1.5", a, p, h, chyba));
    QCOMPARE(h.Krok, -1.5);
    for (const char* spatne :
         {"1:0", "256:0=uint32", "1:0=int16", "1:0=uint32:wave", "1:0=uint32:amp=x",
          "1:0=float32:dec=200", "1:0=uint32:period=0", "x:0=uint32"})
      QVERIFY2(!zqsim::PrectiModul(spatne, a, p, h, chyba), spatne);

    zqsim::TPorucha f;
    QVERIFY(zqsim::PrectiPoruchu("drop=0.25", f, chyba));
    QVERIFY(f.Druh == zqsim::TDruhPoruchy::Zahozeni && f.Pravdepodobnost == 0.25 && f.Pocet == -1);
    QVERIFY(zqsim::PrectiPoruchu("delay=150@0.5,count=3,module=2", f, chyba));
    QVERIFY(f.Druh == zqsim::TDruhPoruchy::Zpozdeni && f.ZpozdeniMs == 150 &&
            f.Pravdepodobnost == 0.5);
    QCOMPARE(f.Pocet, int64_t{3});
    QCOMPARE(f.Adresa, 2);
    QVERIFY(zqsim::PrectiPoruchu("silent=9", f, chyba));
    QVERIFY(f.Druh == zqsim::TDruhPoruchy::Ticho && f.Adresa == 9);
    QVERIFY(zqsim::PrectiPoruchu("echo=0.5", f, chyba));
    QVERIFY(f.Druh == zqsim::TDruhPoruchy::Ozvena && f.Pravdepodobnost == 0.5);
    QVERIFY(zqsim::PrectiPoruchu("foreign", f, chyba));
    QCOMPARE(f.Pravdepodobnost, 1.0);
    for (const char* spatne : {"lose=1", "drop=1.5", "drop=-0.1", "delay=-3", "silent=300",
                               "crc=1,count=-2", "crc=1,colour=red", "silent=1,module=2"})
      QVERIFY2(!zqsim::PrectiPoruchu(spatne, f, chyba), spatne);
  }

  // Frames as they go on the wire, against values worked out by hand.
  void ramceNaDrate() {
    const uint8_t vzor[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    QCOMPARE(zqdrv::Crc16(vzor, sizeof vzor), uint16_t{0x4B37});
    zqdrv::TDotaz d;
    d.Cislo = 5;
    d.Adresa = 1;
    d.Periferie = 2;
    uint8_t buf[64];
    QCOMPARE(TBajty(buf, buf + zqdrv::SestavDotaz(d, buf)),
             (TBajty{0xA7, 0x05, 0x01, 0x00, 0x02, 0x00, 0xD5, 0x90}));
    d.Cislo = 6;
    d.Adresa = 3;
    d.Funkce = 1;
    d.Periferie = 0;
    d.Delka = 2;
    d.Data = {0x34, 0x12, 0xFF, 0xFF};
    QCOMPARE(TBajty(buf, buf + zqdrv::SestavDotaz(d, buf)),
             (TBajty{0xA7, 0x06, 0x03, 0x01, 0x00, 0x02, 0x34, 0x12, 0x67, 0x6B}));
    d.Delka = 5;
    QCOMPARE(zqdrv::SestavDotaz(d, buf), size_t{0});
    zqdrv::TOdpoved o;
    o.Cislo = 5;
    o.Adresa = 1;
    o.Periferie = 2;
    o.Data = {0x12, 0x34, 0x56, 0x78};
    const TBajty odpoved{0xA8, 0x05, 0x01, 0x00, 0x02, 0x00, 0x12, 0x34, 0x56, 0x78, 0x73, 0x25};
    QCOMPARE(TBajty(buf, buf + zqdrv::SestavOdpoved(o, buf)), odpoved);
    zqdrv::TOdpoved r;
    QVERIFY(zqdrv::RozeberOdpoved(odpoved.data(), 11, r) == zqdrv::TRozbor::Kratky);
    TBajty vadna = odpoved;
    vadna[7] ^= 1;
    QVERIFY(zqdrv::RozeberOdpoved(vadna.data(), vadna.size(), r) == zqdrv::TRozbor::Crc);
    vadna = odpoved;
    vadna[0] = 0xA7;
    QVERIFY(zqdrv::RozeberOdpoved(vadna.data(), vadna.size(), r) == zqdrv::TRozbor::Znak);
    // Frame times: 120 bit times rounded up to whole milliseconds.
    QCOMPARE(zqdrv::DobaRamce(4800), 25);
    QCOMPARE(zqdrv::DobaRamce(9600), 13);
    QCOMPARE(zqdrv::DobaRamce(115200), 2);
    QCOMPARE(zqdrv::DobaRamce(1200), 25);
    QCOMPARE(zqdrv::DobaNaLince(20, 9600), int64_t{20833});
  }

  void udpOdpovedi() {
    zqsim::TSimulator sim;
    QVERIFY(sim.SpustUdp(0));
    QVERIFY(sim.UdpPort() != 0);
    sim.PridejPeriferii(1, 2, {zqsim::TFormat::Uint32, zqsim::TPrubeh::Konstanta, 2018915346.0});
    TKlient k(sim.UdpPort());
    k.Dotaz(0x1205, 1, 2);
    QCOMPARE(k.Prijmi(Dlouho), (TBajty{'Z', 'Q', 0x81, 0x00, 0x05, 0x12, 0xA8, 0x05, 0x01, 0x00,
                                       0x02, 0x00, 0x12, 0x34, 0x56, 0x78, 0x73, 0x25}));
    // Unknown peripheral: the module answers with its status.
    k.Dotaz(7, 1, 9);
    zqdrv::TLanOdpoved o = Rozeber(k.Prijmi(Dlouho));
    QCOMPARE(int{o.Stav}, 0);
    QCOMPARE(int{o.Odpoved.Status}, int{zqdrv::ModulNeznamaPeriferie});
    // A silent module: the converter says so once the line's time-out is over.
    const auto t0 = THodiny::now();
    k.Dotaz(8, 4, 0, 40);
    const TBajty ticho = k.Prijmi(Dlouho);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(THodiny::now() - t0).count();
    QCOMPARE(ticho, (TBajty{'Z', 'Q', 0x81, zqdrv::PrevodnikTicho, 8, 0}));
    QVERIFY(ms >= 40 + 13 - 1);
    // Rubbish is counted and not answered.
    k.Posli({'Z', 'Q', 0x01, 0x00, 1, 2, 3});
    k.Posli(TBajty(600, 0xA7));
    QVERIFY(k.Prijmi(100).empty());
    const zqsim::TPocitadla p = sim.Pocitadla();
    QCOMPARE(p.Dotazy, uint64_t{3});
    QCOMPARE(p.Odpovedi, uint64_t{2});
    QCOMPARE(p.Potlacene, uint64_t{1});
    QCOMPARE(p.Vadne, uint64_t{2});
    QCOMPARE(sim.PocetDotazu(1), uint64_t{2});
    QCOMPARE(sim.PocetDotazu(4), uint64_t{1});
    QCOMPARE(sim.PocetDotazu(2), uint64_t{0});
  }

  void poruchyNaUdp() {
    zqsim::TSimulator sim;
    QVERIFY(sim.SpustUdp(0));
    sim.PridejPeriferii(1, 0, {zqsim::TFormat::Uint32, zqsim::TPrubeh::Konstanta, 258});
    sim.PridejPeriferii(2, 0, {zqsim::TFormat::Uint32, zqsim::TPrubeh::Konstanta, 3});
    TKlient k(sim.UdpPort());
    auto porucha = [&](zqsim::TDruhPoruchy druh, int64_t pocet, int32_t adresa = 1) {
      sim.ZrusPoruchy();
      zqsim::TPorucha p;
      p.Druh = druh;
      p.Pocet = pocet;
      p.Adresa = adresa;
      p.ZpozdeniMs = 80;
      sim.PridejPoruchu(p);
    };
    // Lost twice, then answered; another module is not affected.
    porucha(zqsim::TDruhPoruchy::Zahozeni, 2);
    k.Dotaz(1, 2, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
    for (uint16_t i = 2; i < 4; ++i) {
      k.Dotaz(i, 1, 0);
      QVERIFY(k.Prijmi(100).empty());
    }
    k.Dotaz(4, 1, 0);
    QCOMPARE(Rozeber(k.Prijmi(Dlouho)).Odpoved.Data, (TCtyri{2, 1, 0, 0}));

    porucha(zqsim::TDruhPoruchy::Crc, 1);
    k.Dotaz(5, 1, 0);
    TBajty b = k.Prijmi(Dlouho);
    QCOMPARE(b.size(), size_t{18});
    QVERIFY(zqdrv::Crc16(b.data() + 6, 10) != (b[16] | (b[17] << 8)));

    porucha(zqsim::TDruhPoruchy::Adresa, 1);
    k.Dotaz(6, 1, 0);
    QCOMPARE(int{Rozeber(k.Prijmi(Dlouho)).Odpoved.Adresa}, 2);

    porucha(zqsim::TDruhPoruchy::Zkraceni, 1);
    k.Dotaz(7, 1, 0);
    QCOMPARE(k.Prijmi(Dlouho).size(), size_t{14});
    porucha(zqsim::TDruhPoruchy::Prodlouzeni, 1);
    k.Dotaz(8, 1, 0);
    QCOMPARE(k.Prijmi(Dlouho).size(), size_t{21});

    porucha(zqsim::TDruhPoruchy::Duplikat, 1);
    k.Dotaz(9, 1, 0);
    const TBajty prvni = k.Prijmi(Dlouho);
    QCOMPARE(k.Prijmi(Dlouho), prvni);

    // The foreign answer comes first, from another port, with other data.
    porucha(zqsim::TDruhPoruchy::Cizi, 1);
    k.Dotaz(10, 1, 0);
    uint16_t port1 = 0, port2 = 0;
    const zqdrv::TLanOdpoved cizi = Rozeber(k.Prijmi(Dlouho, &port1));
    const zqdrv::TLanOdpoved prava = Rozeber(k.Prijmi(Dlouho, &port2));
    QVERIFY(port1 != sim.UdpPort());
    QCOMPARE(port2, sim.UdpPort());
    QCOMPARE(cizi.Odpoved.Data, (TCtyri{0xEE, 0xEE, 0xEE, 0xEE}));
    QCOMPARE(prava.Odpoved.Data, (TCtyri{2, 1, 0, 0}));

    porucha(zqsim::TDruhPoruchy::Zpozdeni, 1);
    const auto t0 = THodiny::now();
    k.Dotaz(11, 1, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
    QVERIFY(THodiny::now() - t0 >= std::chrono::milliseconds(79));

    porucha(zqsim::TDruhPoruchy::Ticho, -1);
    k.Dotaz(12, 1, 0, 20);
    QCOMPARE(int{Rozeber(k.Prijmi(Dlouho)).Stav}, int{zqdrv::PrevodnikTicho});
    // Once used up, a counted fault no longer applies.
    porucha(zqsim::TDruhPoruchy::Zahozeni, 0);
    k.Dotaz(13, 1, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
  }

  void nahodnePoruchy() {
    zqsim::TSimulator sim;
    QVERIFY(sim.SpustUdp(0));
    sim.NastavSemeno(99);
    sim.PridejPeriferii(1, 0, {});
    zqsim::TPorucha p;
    p.Druh = zqsim::TDruhPoruchy::Zahozeni;
    p.Pravdepodobnost = 0.5;
    sim.PridejPoruchu(p);
    TKlient k(sim.UdpPort());
    int prislo = 0;
    for (uint16_t i = 0; i < 400; ++i) {
      k.Dotaz(i, 1, 0);
      // In small batches, so that no socket buffer overflows.
      if (i % 20 == 19)
        while (!k.Prijmi(50).empty()) ++prislo;
    }
    // Every answer sent comes, also those the batches' short waits missed.
    QVERIFY(QTest::qWaitFor([&] { return sim.PocetDotazu() == 400; }, Dlouho));
    const uint64_t odpovedi = sim.Pocitadla().Odpovedi;
    while (static_cast<uint64_t>(prislo) < odpovedi && !k.Prijmi(Dlouho).empty()) ++prislo;
    QCOMPARE(static_cast<uint64_t>(prislo), odpovedi);
    QVERIFY2(prislo > 140 && prislo < 260, qPrintable(QString::number(prislo)));
    QCOMPARE(sim.Pocitadla().Dotazy, uint64_t{400});
    QCOMPARE(sim.Pocitadla().Odpovedi + sim.Pocitadla().Potlacene, uint64_t{400});
  }

  void emulaceLinky() {
    zqsim::TSimulator sim;
    QVERIFY(sim.SpustUdp(0));
    sim.PridejPeriferii(1, 0, {});
    sim.NastavRychlostLinky(4800);
    TKlient k(sim.UdpPort());
    const auto t0 = THodiny::now();
    k.Dotaz(1, 1, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
    // 8 + 12 bytes of 10 bits at 4800 Bd: 41.7 ms.
    QVERIFY(THodiny::now() - t0 >= std::chrono::microseconds(41600));
  }

  void pseudoterminal() {
    zqsim::TSimulator sim;
    const std::filesystem::path slozka =
        std::filesystem::temp_directory_path() / ("zq-sim-" + std::to_string(getpid()));
    const std::filesystem::path odkaz = slozka / "com1";
    const std::string slave = sim.SpustPty(odkaz.string());
    QVERIFY(!slave.empty());
    QCOMPARE(std::filesystem::read_symlink(odkaz).string(), slave);
    sim.PridejPeriferii(1, 2, {zqsim::TFormat::Uint32, zqsim::TPrubeh::Konstanta, 2018915346.0});
    const int fd = open(odkaz.c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    // Noise before the request is skipped and counted.
    const uint8_t dotaz[] = {0x00, 0xA7, 0x55, 0xA7, 0x05, 0x01, 0x00, 0x02, 0x00, 0xD5, 0x90};
    QCOMPARE(write(fd, dotaz, sizeof dotaz), ssize_t{sizeof dotaz});
    TBajty prijato;
    const auto konec = THodiny::now() + std::chrono::seconds(2);
    while (prijato.size() < 12 && THodiny::now() < konec) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        uint8_t buf[64];
        const ssize_t r = read(fd, buf, sizeof buf);
        if (r > 0) prijato.insert(prijato.end(), buf, buf + r);
      }
    }
    QCOMPARE(prijato,
             (TBajty{0xA8, 0x05, 0x01, 0x00, 0x02, 0x00, 0x12, 0x34, 0x56, 0x78, 0x73, 0x25}));
    QCOMPARE(sim.Pocitadla().Vadne, uint64_t{3});
    QCOMPARE(sim.PocetDotazu(), uint64_t{1});
    // With an echo the request itself comes first.
    zqsim::TPorucha ozvena;
    ozvena.Druh = zqsim::TDruhPoruchy::Ozvena;
    sim.PridejPoruchu(ozvena);
    QCOMPARE(write(fd, dotaz + 3, 8), ssize_t{8});
    prijato.clear();
    while (prijato.size() < 20 && THodiny::now() < konec + std::chrono::seconds(2)) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        uint8_t buf[64];
        const ssize_t r = read(fd, buf, sizeof buf);
        if (r > 0) prijato.insert(prijato.end(), buf, buf + r);
      }
    }
    QCOMPARE(prijato, (TBajty{0xA7, 0x05, 0x01, 0x00, 0x02, 0x00, 0xD5, 0x90, 0xA8, 0x05,
                              0x01, 0x00, 0x02, 0x00, 0x12, 0x34, 0x56, 0x78, 0x73, 0x25}));
    close(fd);
    sim.Zastav();
    QVERIFY(!std::filesystem::exists(std::filesystem::symlink_status(odkaz)));
    std::filesystem::remove_all(slozka);
  }

  // The program's answers to its command line: the exit status and the first
  // line of the stream it writes to.
  void program_data() {
    QTest::addColumn<QStringList>("argumenty");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("radek");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Použití: zq-modsim [volby]";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "zq-modsim " ZQ_VERZE;
    QTest::newRow("neznámá") << QStringList{"--version2", "1"} << 2
                             << "zq-modsim: neznámá volba --version2";
    QTest::newRow("bez hodnoty") << QStringList{"--module"} << 2
                                 << "zq-modsim: volba --module vyžaduje hodnotu";
    QTest::newRow("hodnota") << QStringList{"--udp", "65536"} << 2
                             << "zq-modsim: chybná hodnota volby --udp: 65536";
    QTest::newRow("modul") << QStringList{"--udp", "0", "--module", "1:0=int16"} << 2
                           << "zq-modsim: --module 1:0=int16: neznámý formát 'int16' (uint32, "
                              "float32, bool32)";
    QTest::newRow("nic") << QStringList{"--seed", "1"} << 2
                         << "zq-modsim: není co obsluhovat: zadejte --udp nebo --pty (nebo obě)";
  }
  void program() {
    QFETCH(QStringList, argumenty);
    QFETCH(int, kod);
    QFETCH(QString, radek);
    QProcess p;
    p.start(ZQ_BIN "/zq-modsim", argumenty);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), kod);
    const QByteArray vystup = kod == 0 ? p.readAllStandardOutput() : p.readAllStandardError();
    QCOMPARE(QString::fromUtf8(vystup).section('\n', 0, 0), radek);
  }

  // The lines the scripts read: where it listens, a port that is taken
  // (status 1), and the counters after SIGTERM.  Started with SIGINT
  // ignored, as a script's background job, a SIGINT leaves it running.
  void programVypisuje() {
    QProcess p;
    p.setChildProcessModifier([] { signal(SIGINT, SIG_IGN); });
    p.start(ZQ_BIN "/zq-modsim", {"--udp", "0", "--pty", "-", "--module", "1:0=uint32"});
    QString vypis;
    const QRegularExpression naslouchani(
        "^LAN konvertor na 127\\.0\\.0\\.1:(\\d+)\nsériová linka na /dev/pts/\\d+\n$");
    for (int i = 0; i < 100 && !naslouchani.match(vypis).hasMatch(); ++i) {
      p.waitForReadyRead(100);
      vypis += QString::fromUtf8(p.readAllStandardOutput());
    }
    const QString port = naslouchani.match(vypis).captured(1);
    QVERIFY2(!port.isEmpty(), qPrintable(vypis));
    QCOMPARE(kill(static_cast<pid_t>(p.processId()), SIGINT), 0);
    QVERIFY(!p.waitForFinished(300));

    QProcess druhy;
    druhy.start(ZQ_BIN "/zq-modsim", {"--udp", port});
    QVERIFY(druhy.waitForFinished(10000));
    QCOMPARE(druhy.exitCode(), 1);
    QCOMPARE(druhy.readAllStandardError(),
             "zq-modsim: nelze naslouchat na 127.0.0.1:" + port.toUtf8() + "\n");

    TKlient k(port.toUShort());
    k.Dotaz(1, 1, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(),
             "dotazů 1, odpovědí 1, nezodpovězených 0, vadných vstupů 0\n");
  }

  // Stopping while a client keeps sending; the simulator starts again after.
  void zastaveniPodZatezi() {
    zqsim::TSimulator sim;
    QVERIFY(sim.SpustUdp(0));
    sim.PridejPeriferii(1, 0, {});
    sim.NastavRychlostLinky(115200);
    const uint16_t port = sim.UdpPort();
    std::atomic<bool> konec{false};
    std::thread klient([&] {
      TKlient k(port);
      for (uint16_t i = 0; !konec; ++i) {
        k.Dotaz(i, 1, 0);
        k.Prijmi(1);
      }
    });
    // No QVERIFY while the client runs: a failure must not leave it behind.
    const auto limit = THodiny::now() + std::chrono::seconds(10);
    while (sim.PocetDotazu() < 200 && THodiny::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const uint64_t pred = sim.PocetDotazu();
    const auto t0 = THodiny::now();
    sim.Zastav();
    const auto doba = THodiny::now() - t0;
    const uint64_t po = sim.PocetDotazu();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const uint64_t pozdeji = sim.PocetDotazu();
    konec = true;
    klient.join();
    QVERIFY(pred >= 200);
    // The stop ends under load rather than hang; how fast is not the point.
    QVERIFY(doba < std::chrono::seconds(5));
    QCOMPARE(pozdeji, po);
    QVERIFY(sim.SpustUdp(0));
    TKlient k(sim.UdpPort());
    k.Dotaz(1, 1, 0);
    QVERIFY(!k.Prijmi(Dlouho).empty());
  }
};

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
