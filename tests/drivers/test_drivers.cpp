// The interface libraries as the program uses them: loaded by the binding
// from the program's folder, spoken to through DotazModulu, with the
// module-bus simulator in the same process on a loopback UDP port and on
// pseudo-terminals linked in as dosdevices/comN and dosdevices/usb1407.

#include "Cp1250.h"
#include "Karta.h"
#include "Protokol.h"
#include "Seriova.h"
#include "Simulator.h"
#include "Slozka.h"
#include "Wxxx407.h"
#include "zq407.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/io.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using THodiny = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int32_t Rychlost = 115200;
constexpr int32_t Timeout = 50;
constexpr int32_t LanTimeout = 100;
// What a read may take beyond its bound (Mez): the bounds tell a read that
// ends by its time-outs from one that waits for ever, not a fast one from a
// slow one, so a loaded machine gets ample room.
constexpr int64_t Rezerva = 2000;

struct TCteni {
  uint8_t Status = 0xEE;
  uint8_t Delka = 0;
  std::array<uint8_t, 4> Data{};
  int64_t Ms = 0;
};

// Whether this process may use I/O ports (then the card tests stop short).
bool PortyPovoleny() {
  if (ioperm(0x300, 8, 1) != 0) return false;
  ioperm(0x300, 8, 0);
  return true;
}

std::string Text(uint8_t typ, int32_t kod) {
  TPole100 pole{};
  ChybovyText(typ, kod, pole);
  return PoleNaText(pole);
}

// Opens `cesta` as the serial libraries open a line and gives the code and
// the text _Error then writes.  Root may open anything, so under root this
// runs in a child that has dropped to "nobody" (as tests/platform/BezPrav.h
// does); "!" when that fails.
std::pair<int32_t, std::string> OtevriBezPrav(const std::string& cesta) {
  auto otevri = [&] {
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    const int32_t kod = zqdrv::OtevriSeriovyPort([&] { return std::optional(cesta); }, spojeni);
    TPole100 pole{};
    zqdrv::ZapisText(kod, pole.data());
    return std::to_string(kod) + ":" + PoleNaText(pole);
  };
  std::string vysledek;
  if (geteuid() != 0) {
    vysledek = otevri();
  } else {
    int roura[2];
    if (pipe(roura) != 0) return {-1, "!"};
    const pid_t pid = fork();
    if (pid == 0) {
      close(roura[0]);
      const std::string v = setgid(65534) == 0 && setuid(65534) == 0 ? otevri() : "-1:!";
      _exit(write(roura[1], v.data(), v.size()) == static_cast<ssize_t>(v.size()) ? 0 : 1);
    }
    close(roura[1]);
    char buf[256];
    ssize_t n;
    while ((n = read(roura[0], buf, sizeof buf)) > 0) vysledek.append(buf, static_cast<size_t>(n));
    close(roura[0]);
    waitpid(pid, nullptr, 0);
  }
  const size_t dvojtecka = vysledek.find(':');
  if (dvojtecka == std::string::npos) return {-1, "!"};
  return {std::stoi(vysledek.substr(0, dvojtecka)), vysledek.substr(dvojtecka + 1)};
}

// An interface library the test loads itself, past the binding (which holds
// one library per process), with its entry points (nullptr where missing);
// unloaded with the object.
struct TKnihovna {
  void* Lib;
  // The same _Init, as the COM and as the LAN library take it.
  ZQ407_Init1_t Init1;
  ZQ407_InitP_t InitP;
  ZQ407_SetConfig_t Nastav;
  ZQ407_GetConfig_t Konfigurace;
  ZQ407_Send_t Posli;
  ZQ407_Done_t Done;
  ZQ407_Error_t Error;
  ZQ407_Version_t Verze;

  TKnihovna(const fs::path& soubor, const std::string& jmeno)
      : Lib(dlopen(soubor.c_str(), RTLD_NOW | RTLD_LOCAL)),
        Init1(Vstup<ZQ407_Init1_t>(jmeno + "_Init")),
        InitP(Vstup<ZQ407_InitP_t>(jmeno + "_Init")),
        Nastav(Vstup<ZQ407_SetConfig_t>(jmeno + "_SetConfig")),
        Konfigurace(Vstup<ZQ407_GetConfig_t>(jmeno + "_GetConfig")),
        Posli(Vstup<ZQ407_Send_t>(jmeno + "_Send")),
        Done(Vstup<ZQ407_Done_t>(jmeno + "_Done")),
        Error(Vstup<ZQ407_Error_t>(jmeno + "_Error")),
        Verze(Vstup<ZQ407_Version_t>(jmeno + "_Version")) {}
  ~TKnihovna() {
    if (Lib != nullptr) dlclose(Lib);
  }
  TKnihovna(const TKnihovna&) = delete;
  TKnihovna& operator=(const TKnihovna&) = delete;

  template <class T>
  T Vstup(const std::string& jmeno) const {
    return Lib == nullptr ? nullptr : reinterpret_cast<T>(dlsym(Lib, jmeno.c_str()));
  }
};

}  // namespace

class TestDrivers : public QObject {
  Q_OBJECT

 private:
  zqsim::TSimulator sim_;
  fs::path bin_;
  int32_t comPort_ = 0;
  fs::path comOdkaz_, usbOdkaz_;
  QTemporaryDir zakazane_{"/tmp/zqXXXXXX"};  // short, whatever TMPDIR says
  std::string usbSlave_;
  std::string ip_ = "127.0.0.1";
  uint8_t typ_ = TypNeznamy;
  int32_t handle_ = 0;
  int32_t opakovani_ = 0;
  int32_t lan_ = 0;

  int32_t Otevri(uint8_t typ, int32_t opakovani, int32_t lanTimeout = LanTimeout) {
    TParametryRozhrani p;
    if (typ == TypCOM) p.Polozka[0] = comPort_;
    if (typ == TypZQ) {
      p.Polozka[0] = reinterpret_cast<intptr_t>(ip_.c_str());
      p.Polozka[1] = sim_.UdpPort();
      p.Polozka[2] = lanTimeout;
    }
    int32_t kod = InitRozhrani(typ, &handle_, p);
    if (kod != 0) return kod;
    typ_ = typ;
    opakovani_ = opakovani;
    lan_ = typ == TypZQ ? lanTimeout : 0;
    kod = NastavRozhrani(typ, handle_, Rychlost, Timeout, opakovani);
    if (kod != 0) Zavri();
    return kod;
  }

  void Zavri() {
    if (handle_ != 0) UkonciRozhrani(typ_, &handle_);
    handle_ = 0;
  }

  // Longest a read may take with the current settings.
  int64_t Mez() const { return (zqdrv::DobaRamce(Rychlost) + Timeout) * (opakovani_ + 1) + lan_; }

  TCteni Precti(uint8_t adresa, uint8_t periferie, uint8_t funkce = 0, uint8_t delka = 0,
                std::array<uint8_t, 4> data = {}) {
    TCteni c;
    c.Delka = delka;
    c.Data = data;
    TPole100 odpoved{};
    const auto t0 = THodiny::now();
    DotazModulu(typ_, handle_, adresa, funkce, periferie, c.Delka, c.Data[0], c.Data[1], c.Data[2],
                c.Data[3], c.Status, odpoved);
    c.Ms = std::chrono::duration_cast<std::chrono::milliseconds>(THodiny::now() - t0).count();
    return c;
  }

  uint32_t Cislo(const TCteni& c) {
    return c.Data[0] | (c.Data[1] << 8) | (c.Data[2] << 16) | (uint32_t{c.Data[3]} << 24);
  }

  void Porucha(zqsim::TDruhPoruchy druh, int64_t pocet = -1, int32_t zpozdeni = 0) {
    zqsim::TPorucha p;
    p.Druh = druh;
    p.Pocet = pocet;
    p.ZpozdeniMs = zpozdeni;
    p.Adresa = 1;
    sim_.PridejPoruchu(p);
  }

  void Typy() {
    QTest::addColumn<int>("typ");
    QTest::newRow("COM") << int{TypCOM};
    QTest::newRow("USB") << int{TypUSB};
    QTest::newRow("LAN") << int{TypZQ};
  }

 private slots:
  void initTestCase() {
    bin_ = fs::path(QCoreApplication::applicationDirPath().toStdString());
    NastavSlozkuProgramu(bin_);
    comPort_ = 100 + static_cast<int32_t>(getpid() % 100);
    comOdkaz_ = bin_ / "dosdevices" / ("com" + std::to_string(comPort_));
    usbOdkaz_ = bin_ / "dosdevices" / "usb1407";
    QVERIFY(sim_.SpustUdp(0));
    QVERIFY(!sim_.SpustPty(comOdkaz_).empty());
    usbSlave_ = sim_.SpustPty(usbOdkaz_);
    QVERIFY(!usbSlave_.empty());
    using zqsim::TFormat;
    using zqsim::TPrubeh;
    sim_.PridejPeriferii(1, 0, {TFormat::Uint32, TPrubeh::Konstanta, 2018915346.0});  // 0x78563412
    sim_.PridejPeriferii(1, 1, {TFormat::Float32, TPrubeh::Konstanta, 123.45, 0, 60, 1, 2});
    sim_.PridejPeriferii(1, 2, {TFormat::Float32, TPrubeh::Konstanta, -1});
    sim_.PridejPeriferii(1, 3, {TFormat::Bool32, TPrubeh::Konstanta, 2779057935.0});  // 0xA5A50F0F
    sim_.PridejPeriferii(1, 4, {TFormat::Uint32, TPrubeh::Citac, 100});
    sim_.PridejPeriferii(1, 5, {TFormat::Uint32, TPrubeh::Konstanta, 4294967295.0});
    sim_.PridejPeriferii(2, 0, {TFormat::Uint32, TPrubeh::Konstanta, 7});
  }

  void cleanupTestCase() {
    Zavri();
    sim_.Zastav();
    QVERIFY(!fs::exists(fs::symlink_status(comOdkaz_)));
  }

  void init() { sim_.ZrusPoruchy(); }
  void cleanup() {
    Zavri();
    sim_.ZrusPoruchy();
  }

  void dobreCteni_data() { Typy(); }
  void dobreCteni() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    QVERIFY(handle_ != 0);
    struct {
      uint8_t Periferie;
      std::array<uint8_t, 4> Data;
    } const ocekavane[] = {
        {0, {0x12, 0x34, 0x56, 0x78}},  // uint32, least significant byte first
        {1, {0x39, 0x30, 0x00, 0x02}},  // float32 123.45: 12345 and two decimals
        {2, {0x01, 0x00, 0x80, 0x00}},  // float32 -1: sign in bit 7 of the third byte
        {3, {0x0F, 0x0F, 0xA5, 0xA5}},  // bool32 bit pattern
        {5, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& o : ocekavane) {
      const TCteni c = Precti(1, o.Periferie);
      QCOMPARE(int{c.Status}, 0);
      QCOMPARE(int{c.Delka}, 4);
      QVERIFY2(c.Data == o.Data, qPrintable(QString("peripheral %1: %2 %3 %4 %5")
                                                .arg(o.Periferie)
                                                .arg(c.Data[0], 2, 16)
                                                .arg(c.Data[1], 2, 16)
                                                .arg(c.Data[2], 2, 16)
                                                .arg(c.Data[3], 2, 16)));
    }
    // The response array carries the four bytes and nothing after them.
    TPole100 dotaz{}, odpoved;
    odpoved.fill(-7);
    dotaz[0] = 1;
    int32_t delka = -1, status = -1;
    QCOMPARE(PosliDotaz(typ_, handle_, dotaz, odpoved, &delka, &status), 0);
    QCOMPARE(status, 0);
    QCOMPARE(delka, 4);
    QCOMPARE(odpoved[0], 0x12);
    QCOMPARE(odpoved[3], 0x78);
    for (size_t i = 4; i < odpoved.size(); ++i) QCOMPARE(odpoved[i], 0);
  }

  // The serial libraries set the line as _SetConfig says: raw, 8N1, the speed.
  void nastaveniPortu_data() {
    QTest::addColumn<int>("typ");
    QTest::newRow("COM") << int{TypCOM};
    QTest::newRow("USB") << int{TypUSB};
  }
  void nastaveniPortu() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    const fs::path odkaz = typ == TypCOM ? comOdkaz_ : usbOdkaz_;
    const int fd = open(odkaz.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(tcgetattr(fd, &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t{B115200});
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t{CS8});
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t{0});
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t{0});
    QCOMPARE(NastavRozhrani(typ_, handle_, 19200, 100, 0), 0);
    QCOMPARE(tcgetattr(fd, &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t{B19200});
    QCOMPARE(cfgetispeed(&t), speed_t{B19200});
    // A refused speed leaves the line as it was.
    QCOMPARE(NastavRozhrani(typ_, handle_, 14400, 100, 0), 3);
    QCOMPARE(tcgetattr(fd, &t), 0);
    QCOMPARE(cfgetospeed(&t), speed_t{B19200});
    close(fd);
    QCOMPARE(int{Precti(1, 0).Status}, 0);
  }

  void chybyModulu_data() { Typy(); }
  void chybyModulu() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    TCteni c = Precti(1, 77);
    QCOMPARE(int{c.Status}, 32);
    QCOMPARE(int{c.Delka}, 0);
    QCOMPARE(Text(typ_, 32), Cp1250("modul nezná požadovanou periferii"));
    QCOMPARE(int{Precti(1, 0, 5).Status}, 31);
    // A write changes what the peripheral reports.
    sim_.PridejPeriferii(3, 0, {zqsim::TFormat::Uint32, zqsim::TPrubeh::Konstanta, 1});
    c = Precti(3, 0, zqdrv::FunkceZapis, 2, {0x34, 0x12, 0x99, 0x99});
    QCOMPARE(int{c.Status}, 0);
    QCOMPARE(int{Precti(3, 0, zqdrv::FunkceZapis, 0).Status}, 33);
    c = Precti(3, 0);
    QCOMPARE(c.Data, (std::array<uint8_t, 4>{0x34, 0x12, 0, 0}));
    // A length the protocol cannot carry never reaches the line.
    const uint64_t pred = sim_.PocetDotazu();
    QCOMPARE(int{Precti(3, 0, zqdrv::FunkceZapis, 5).Status}, 7);
    QCOMPARE(sim_.PocetDotazu(), pred);
  }

  void casovyLimit_data() { Typy(); }
  void casovyLimit() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 2), 0);
    const uint64_t pred = sim_.PocetDotazu();
    const TCteni c = Precti(9, 0);  // no module 9 on the bus
    QCOMPARE(int{c.Status}, 20);
    QCOMPARE(int{c.Delka}, 0);
    QCOMPARE(c.Data, (std::array<uint8_t, 4>{}));
    QCOMPARE(sim_.PocetDotazu(), pred + 3);
    QVERIFY2(c.Ms <= Mez() + Rezerva, qPrintable(QString::number(c.Ms)));
    QVERIFY(c.Ms >= 3 * (zqdrv::DobaRamce(Rychlost) + Timeout) - 5);
    QCOMPARE(Text(typ_, 20), Cp1250("modul neodpověděl (vypršel časový limit)"));
  }

  void opakovaniZachraniZtracenou_data() { Typy(); }
  void opakovaniZachraniZtracenou() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 1), 0);
    Porucha(zqsim::TDruhPoruchy::Zahozeni, 1);
    const uint64_t pred = sim_.PocetDotazu();
    const TCteni c = Precti(1, 0);
    QCOMPARE(int{c.Status}, 0);
    QCOMPARE(c.Data, (std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
    QCOMPARE(sim_.PocetDotazu(), pred + 2);
    QVERIFY(c.Ms <= Mez() + Rezerva);
    // Without a retry the loss is reported: the LAN converter itself sent
    // nothing, a line stayed silent.
    Zavri();
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    Porucha(zqsim::TDruhPoruchy::Zahozeni, 1);
    const TCteni z = Precti(1, 0);
    QCOMPARE(int{z.Status}, typ == TypZQ ? 44 : 20);
    QVERIFY(z.Ms <= Mez() + Rezerva);
  }

  void vadneOdpovedi_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<int>("druh");
    QTest::addColumn<int>("kod");
    const struct {
      const char* Jmeno;
      zqsim::TDruhPoruchy Druh;
      int Kod;
    } poruchy[] = {
        {"crc", zqsim::TDruhPoruchy::Crc, 21},
        {"adresa", zqsim::TDruhPoruchy::Adresa, 22},
        {"zkracena", zqsim::TDruhPoruchy::Zkraceni, 23},
        {"prodlouzena", zqsim::TDruhPoruchy::Prodlouzeni, 24},
    };
    for (int typ : {int{TypCOM}, int{TypUSB}, int{TypZQ}})
      for (const auto& p : poruchy)
        QTest::addRow("%s %s",
                      typ == TypCOM   ? "COM"
                      : typ == TypUSB ? "USB"
                                      : "LAN",
                      p.Jmeno)
            << typ << int(p.Druh) << p.Kod;
  }
  void vadneOdpovedi() {
    QFETCH(int, typ);
    QFETCH(int, druh);
    QFETCH(int, kod);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 1), 0);
    Porucha(static_cast<zqsim::TDruhPoruchy>(druh));
    const uint64_t pred = sim_.PocetDotazu();
    const TCteni c = Precti(1, 0);
    QCOMPARE(int{c.Status}, kod);
    QCOMPARE(c.Data, (std::array<uint8_t, 4>{}));
    QCOMPARE(sim_.PocetDotazu(), pred + 2);  // every try was made
    QVERIFY2(c.Ms <= Mez() + Rezerva, qPrintable(QString::number(c.Ms)));
    // One spoilt answer is cured by the retry.
    sim_.ZrusPoruchy();
    Porucha(static_cast<zqsim::TDruhPoruchy>(druh), 1);
    const TCteni d = Precti(1, 0);
    QCOMPARE(int{d.Status}, 0);
    QCOMPARE(d.Data, (std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
  }

  // An answer that comes after its try has timed out is not taken for the
  // answer of the next try, nor of the next request.
  void pozdniOdpoved_data() { Typy(); }
  void pozdniOdpoved() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 1), 0);
    const int64_t okno = Mez() / 2;
    const uint32_t v0 = Cislo(Precti(1, 4));
    Porucha(zqsim::TDruhPoruchy::Zpozdeni, 2, static_cast<int32_t>(okno * 3 / 2));
    const TCteni c = Precti(1, 4);
    QCOMPARE(int{c.Status}, 26);
    QVERIFY(c.Ms <= Mez() + Rezerva);
    // Both late answers (v0+1, v0+2) arrive while nobody waits for them.
    QVERIFY(QTest::qWaitFor([&] { return sim_.PocetNeodeslanych() == 0; }, 10000));
    const TCteni d = Precti(1, 4);
    QCOMPARE(int{d.Status}, 0);
    QCOMPARE(Cislo(d), v0 + 3);
  }

  void zdvojenaOdpoved_data() { Typy(); }
  void zdvojenaOdpoved() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    Porucha(zqsim::TDruhPoruchy::Duplikat);
    uint32_t predchozi = Cislo(Precti(1, 4));
    for (int i = 0; i < 5; ++i) {
      const TCteni c = Precti(1, 4);
      QCOMPARE(int{c.Status}, 0);
      QCOMPARE(Cislo(c), predchozi + 1);
      predchozi = Cislo(c);
    }
  }

  // LAN: a datagram from another port; line: another module's frame.
  void ciziOdpovedPreskocena_data() { Typy(); }
  void ciziOdpovedPreskocena() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    Porucha(zqsim::TDruhPoruchy::Cizi);
    for (int i = 0; i < 3; ++i) {
      const TCteni c = Precti(1, 0);
      QCOMPARE(int{c.Status}, 0);
      QCOMPARE(c.Data, (std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
    }
  }

  // A half-duplex adapter that hears its own request: the echo is skipped.
  void ozvenaDotazu_data() {
    QTest::addColumn<int>("typ");
    QTest::newRow("COM") << int{TypCOM};
    QTest::newRow("USB") << int{TypUSB};
  }
  void ozvenaDotazu() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 0), 0);
    Porucha(zqsim::TDruhPoruchy::Ozvena);
    const std::pair<uint8_t, std::array<uint8_t, 4>> ocekavane[] = {{0, {0x12, 0x34, 0x56, 0x78}},
                                                                    {1, {0x39, 0x30, 0x00, 0x02}},
                                                                    {3, {0x0F, 0x0F, 0xA5, 0xA5}}};
    for (const auto& [periferie, data] : ocekavane) {
      const TCteni c = Precti(1, periferie);
      QCOMPARE(int{c.Status}, 0);
      QCOMPARE(c.Data, data);
    }
  }

  // A device that goes away and comes back behind the same link (a USB
  // converter pulled out and plugged in again): reads fail at once while it
  // is away, it is looked for at most once a second, and the same handle
  // reads again from the new device, set and locked as before.
  void linkaSeVrati_data() { nastaveniPortu_data(); }
  void linkaSeVrati() {
    QFETCH(int, typ);
    const fs::path odkaz = typ == TypCOM ? comOdkaz_ : usbOdkaz_;
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 1), 0);
    QCOMPARE(int{Precti(1, 0).Status}, 0);
    const std::string stary = fs::read_symlink(odkaz).string();
    QVERIFY(sim_.ZavriPty(stary));
    for (int i = 0; i < 3; ++i) {
      const TCteni c = Precti(1, 0);
      QCOMPARE(int{c.Status}, 14);
      QVERIFY(c.Ms <= Mez() + Rezerva);
    }
    QCOMPARE(Text(typ_, 14), Cp1250("chyba zápisu na linku " + stary));

    // Something that is no line behind the link: refused as _Init refuses it.
    QTemporaryDir tmp;
    const fs::path soubor = fs::path(tmp.path().toStdString()) / "ttyZQ";
    std::ofstream{soubor};
    fs::remove(odkaz);
    fs::create_symlink(soubor, odkaz);
    const int sledovani = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(sledovani >= 0 && inotify_add_watch(sledovani, soubor.c_str(), IN_OPEN) >= 0);
    const auto t0 = THodiny::now();
    TCteni c;
    int otevreni = 0;
    for (int i = 0; i < 25; ++i) {
      c = Precti(1, 0);
      QVERIFY(c.Status == 14 || c.Status == 11);
      QVERIFY(c.Ms <= Mez() + Rezerva);
      // Counted at once: inotify merges an event with an equal unread one.
      inotify_event u[8];
      for (ssize_t n; (n = read(sledovani, u, sizeof u)) > 0;)
        otevreni += static_cast<int>(static_cast<size_t>(n) / sizeof *u);
      QTest::qWait(60);
    }
    const auto sekundy =
        std::chrono::duration_cast<std::chrono::seconds>(THodiny::now() - t0).count();
    close(sledovani);
    QCOMPARE(int{c.Status}, 11);
    QVERIFY2(otevreni >= 1 && otevreni <= 1 + sekundy, qPrintable(QString::number(otevreni)));

    const std::string novy = sim_.SpustPty(odkaz);
    QVERIFY(!novy.empty());
    if (typ == TypUSB) usbSlave_ = novy;
    const auto limit = THodiny::now() + std::chrono::seconds(10);
    for (int i = 0; i < 200 && (c = Precti(1, 0)).Status != 0 && THodiny::now() < limit; ++i)
      QTest::qWait(50);
    QCOMPARE(int{c.Status}, 0);
    QCOMPARE(c.Data, (std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
    const int fd = open(novy.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(tcgetattr(fd, &t), 0);
    close(fd);
    QCOMPARE(cfgetospeed(&t), speed_t{B115200});
    std::unique_ptr<zqdrv::TSpojeni> druhe;
    QCOMPARE(zqdrv::OtevriSeriovyPort([&] { return std::optional(novy); }, druhe), 13);
  }

  // A port named by its dosdevices link is looked for only through the link
  // while it is lost: never at /dev/ttyS<n-1>, another port, which in the
  // test build of the library is a line of the test's own that must hear
  // nothing.  The link back, the same handle reads again.
  void ztracenyPortJenPresOdkaz() {
    const fs::path slozka = ZKUS_COM;
    const fs::path odkaz = slozka / "dosdevices" / ("com" + std::to_string(comPort_));
    const fs::path zalozni = slozka / ("ttyS" + std::to_string(comPort_ - 1));
    // Its slave held open, so whatever a library wrote to it waits at the master.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(master >= 0);
    char jmeno[128];
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0 &&
            ptsname_r(master, jmeno, sizeof jmeno) == 0);
    const int slave = open(jmeno, O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(slave >= 0);
    fs::remove(zalozni);
    fs::create_symlink(jmeno, zalozni);
    std::string linka = sim_.SpustPty(odkaz);
    QVERIFY(!linka.empty());

    const TKnihovna k(slozka / "libWCOM407.so", "WCOM407");
    QVERIFY(k.Init1 && k.Nastav && k.Posli && k.Done);
    int32_t h = 0;
    QCOMPARE(k.Init1(&h, comPort_), 0);
    QCOMPARE(k.Nastav(h, Rychlost, Timeout, 0), 0);
    // The status of a read; -1 for one that brought other bytes than the module's.
    auto precti = [&] {
      int32_t dotaz[100] = {1, 0, 0}, odpoved[100], delka = 0, status = -1;
      const int32_t kod = k.Posli(h, dotaz, odpoved, &delka, &status);
      if (kod != 0) return kod;
      return status != 0 || odpoved[0] == 0x12 ? status : -1;
    };
    QCOMPARE(precti(), 0);

    fs::remove(odkaz);
    QVERIFY(sim_.ZavriPty(linka));
    // Reopenings are due once a second: over 2.5 s at least two are made.
    const auto konecZtraty = THodiny::now() + std::chrono::milliseconds(2500);
    for (int i = 0; i < 200 && THodiny::now() < konecZtraty; ++i) {
      QCOMPARE(precti(), 14);
      QTest::qWait(50);
    }
    uint8_t slyseno[64];
    const ssize_t n = read(master, slyseno, sizeof slyseno);
    const int chyba = errno;
    QCOMPARE(n, ssize_t{-1});
    QCOMPARE(chyba, EAGAIN);

    linka = sim_.SpustPty(odkaz);
    QVERIFY(!linka.empty());
    int32_t status = -1;
    const auto limit = THodiny::now() + std::chrono::seconds(10);
    for (int i = 0; i < 200 && (status = precti()) != 0 && THodiny::now() < limit; ++i)
      QTest::qWait(50);
    QCOMPARE(status, 0);
    QCOMPARE(k.Done(&h), 0);
    fs::remove(zalozni);
    close(slave);
    close(master);
  }

  // Random faults of every kind: whatever happens, a read either brings the
  // module's exact bytes or a status code, within the time bound.
  void smesPoruch_data() { Typy(); }
  void smesPoruch() {
    QFETCH(int, typ);
    QCOMPARE(Otevri(static_cast<uint8_t>(typ), 1), 0);
    sim_.NastavSemeno(7);
    using D = zqsim::TDruhPoruchy;
    for (D d : {D::Zahozeni, D::Crc, D::Adresa, D::Duplikat, D::Zkraceni, D::Prodlouzeni, D::Cizi,
                D::Ozvena}) {
      zqsim::TPorucha p;
      p.Druh = d;
      p.Pravdepodobnost = 0.08;
      sim_.PridejPoruchu(p);
    }
    zqsim::TPorucha pozde;
    pozde.Druh = D::Zpozdeni;
    pozde.Pravdepodobnost = 0.08;
    pozde.ZpozdeniMs = static_cast<int32_t>(Mez() / 2 + 10);
    sim_.PridejPoruchu(pozde);
    int dobre = 0;
    for (int i = 0; i < 100; ++i) {
      const TCteni c = Precti(1, 0);
      QVERIFY2(c.Ms <= Mez() + Rezerva, qPrintable(QString::number(c.Ms)));
      if (c.Status == 0) {
        ++dobre;
        QCOMPARE(c.Data, (std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
      } else {
        QVERIFY(c.Status >= 20 && c.Status <= 44);
        QCOMPARE(c.Data, (std::array<uint8_t, 4>{}));
      }
    }
    QVERIFY(dobre > 60);
  }

  void otevreniSelze() {
    // COM: a port without a device, a bad number, a device that is no line.
    TParametryRozhrani p;
    int32_t h = 0;
    fs::remove(bin_ / "dosdevices" / "com250");
    p.Polozka[0] = 250;
    QCOMPARE(InitRozhrani(TypCOM, &h, p), 12);
    QCOMPARE(Text(TypCOM, 12), Cp1250("port /dev/ttyS249 neexistuje"));
    p.Polozka[0] = 0;
    QCOMPARE(InitRozhrani(TypCOM, &h, p), 16);
    {
      std::ofstream f(bin_ / "dosdevices" / "com251");
      f << "/dev/null\n";
    }
    p.Polozka[0] = 251;
    QCOMPARE(InitRozhrani(TypCOM, &h, p), 11);
    QCOMPARE(Text(TypCOM, 11), Cp1250("port /dev/null nelze otevřít"));
    // The file form of the override leads to the simulator's line.
    const std::string slave = fs::read_symlink(comOdkaz_).string();
    {
      std::ofstream f(bin_ / "dosdevices" / "com251");
      f << "  " << slave << "  \n";
    }
    QCOMPARE(InitRozhrani(TypCOM, &h, p), 0);
    typ_ = TypCOM;
    handle_ = h;
    QCOMPARE(int{Precti(2, 0).Status}, 0);
    // The same line cannot be opened twice, not even by this process.
    void* lib = dlopen((bin_ / "libWCOM407.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY(lib != nullptr);
    auto init = reinterpret_cast<ZQ407_Init1_t>(dlsym(lib, "WCOM407_Init"));
    int32_t h2 = 0;
    QCOMPARE(init(&h2, 251), 13);
    QCOMPARE(h2, 0);
    dlclose(lib);
    QCOMPARE(Text(TypCOM, 13), Cp1250("port " + slave + " je používán jiným programem"));
    Zavri();
    fs::remove(bin_ / "dosdevices" / "com251");

    // LAN: address, port and LAN time-out are checked.
    std::string spatna = "192.168.1";
    p = {};
    p.Polozka[0] = reinterpret_cast<intptr_t>(spatna.c_str());
    p.Polozka[1] = 5000;
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 40);
    QCOMPARE(Text(TypZQ, 40), Cp1250("chybná IP adresa převodníku"));
    p.Polozka[0] = reinterpret_cast<intptr_t>(ip_.c_str());
    p.Polozka[1] = 0;
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 41);
    p.Polozka[1] = 70000;
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 41);
    p.Polozka[1] = 5000;
    p.Polozka[2] = -1;
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 46);
    p.Polozka[0] = 0;
    p.Polozka[2] = 100;
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 40);
    // Blanks around the address do not matter.
    const std::string sMezerami = " " + ip_ + "  ";
    p.Polozka[0] = reinterpret_cast<intptr_t>(sMezerami.c_str());
    p.Polozka[1] = sim_.UdpPort();
    QCOMPARE(InitRozhrani(TypZQ, &h, p), 0);
    typ_ = TypZQ;
    handle_ = h;
    QCOMPARE(int{Precti(2, 0).Status}, 0);
    Zavri();
  }

  void kartyBezKarty() {
    TParametryRozhrani p;
    int32_t h = 0;
    p.Polozka[0] = 0;
    QCOMPARE(InitRozhrani(TypPCI407, &h, p), 52);
    p.Polozka[0] = 0x10000;
    QCOMPARE(InitRozhrani(TypPCI407, &h, p), 52);
    QCOMPARE(Text(TypPCI407, 51), Cp1250("karta PCI-407 nenalezena"));
    uint32_t zacatek = 0, delka = 0;
    if (!zqdrv::NajdiPciKartu("/sys/bus/pci/devices", zqdrv::PciVyrobce, zqdrv::PciZarizeni,
                              zacatek, delka)) {
      QCOMPARE(InitRozhrani(TypPCI1407, &h, TParametryRozhrani{}), 55);
      QCOMPARE(Text(TypPCI1407, 55), Cp1250("karta PCI-1407 nenalezena"));
      QCOMPARE(h, 0);
    }
    // Without the right to the ports (an ordinary user, or root in a
    // container without CAP_SYS_RAWIO) access is refused.  With that right
    // the library would probe real ports, which a test must not do.
    if (PortyPovoleny()) QSKIP("this process may touch I/O ports");
    p.Polozka[0] = 0x300;
    QCOMPARE(InitRozhrani(TypPCI407, &h, p), 50);
    QCOMPARE(Text(TypPCI407, 50), Cp1250("přístup k portům karty PCI-407 odepřen"));
    QCOMPARE(h, 0);
  }

  // The PCI card is found by its IDs and its first I/O region in a sysfs
  // tree; memory regions and other devices are passed over.
  void hledaniPciKarty() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path sys = tmp.path().toStdString();
    auto zarizeni = [&](const char* jmeno, const char* vyrobce, const char* cislo,
                        const char* oblasti) {
      fs::create_directories(sys / jmeno);
      std::ofstream(sys / jmeno / "vendor") << vyrobce << "\n";
      std::ofstream(sys / jmeno / "device") << cislo << "\n";
      std::ofstream(sys / jmeno / "resource") << oblasti;
    };
    uint32_t zacatek = 0, delka = 0;
    QVERIFY(!zqdrv::NajdiPciKartu(sys.string(), 0x10B5, 0x1407, zacatek, delka));
    zarizeni("0000:00:01.0", "0x8086", "0x1407",
             "0x000000000000e000 0x000000000000e01f 0x0000000000040101\n");
    zarizeni("0000:00:02.0", "0x10b5", "0x9050",
             "0x000000000000d000 0x000000000000d01f 0x0000000000040101\n");
    QVERIFY(!zqdrv::NajdiPciKartu(sys.string(), 0x10B5, 0x1407, zacatek, delka));
    zarizeni("0000:03:00.0", "0x10b5", "0x1407",
             "0x00000000fe000000 0x00000000fe00007f 0x0000000000040200\n"
             "0x000000000000c000 0x000000000000c007 0x0000000000040101\n"
             "0x000000000000c100 0x000000000000c17f 0x0000000000040101\n");
    QVERIFY(zqdrv::NajdiPciKartu(sys.string(), 0x10B5, 0x1407, zacatek, delka));
    QCOMPARE(zacatek, uint32_t{0xC000});
    QCOMPARE(delka, uint32_t{8});
    // Found, but without the right to its ports.  (A test with that right
    // would probe real ports, so it stops here.)
    if (PortyPovoleny()) QSKIP("this process may touch I/O ports");
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    QCOMPARE(zqdrv::OtevriKartuPci(sys.string(), spojeni), 56);
    QVERIFY(!spojeni);
  }

  void usbBezPrevodniku() {
    // Held so that the library keeps its recorded texts between the bindings.
    void* lib = dlopen((bin_ / "libWUSB1407.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY(lib != nullptr);
    const bool maUsb = fs::exists("/dev/ttyUSB0") || fs::exists("/dev/serial/by-id");
    int32_t h = 0;
    // A link to nothing also means no converter; the text says where it leads.
    fs::remove(usbOdkaz_);
    fs::create_symlink("/nonexistent/ttyUSB7", usbOdkaz_);
    const int32_t kodOdkazu = InitRozhrani(TypUSB, &h, TParametryRozhrani{});
    const std::string textOdkazu = Text(TypUSB, 60);
    fs::remove(usbOdkaz_);
    const int32_t kod = InitRozhrani(TypUSB, &h, TParametryRozhrani{});
    const std::string text = Text(TypUSB, 60);
    fs::create_symlink(usbSlave_, usbOdkaz_);
    dlclose(lib);
    QCOMPARE(kodOdkazu, 60);
    QCOMPARE(textOdkazu, Cp1250("převodník USB-1407 nenalezen (/nonexistent/ttyUSB7 neexistuje)"));
    if (maUsb) QSKIP("a USB serial adapter is attached");
    QCOMPARE(kod, 60);
    // Found nothing at all: the earlier device is not named again.
    QCOMPARE(text, Cp1250("převodník USB-1407 nenalezen"));
  }

  // The device in the text of a failed opening, shortened to the end of its
  // path so that the whole text, advice included, fits the 98 characters
  // _Error can carry.
  void zarizeniVTextu_data() {
    QTest::addColumn<QByteArray>("cesta");
    QTest::addColumn<bool>("zakazana");  // created without any access
    QTest::addColumn<int>("kod");
    QTest::addColumn<QByteArray>("text");
    const std::string tmp = zakazane_.path().toStdString();
    const std::string rada = " odepřen – přidejte uživatele do skupiny dialout";
    auto radek = [](const char* jmeno, const std::string& cesta, bool zakazana, int kod,
                    const std::string& text) {
      QTest::newRow(jmeno) << QByteArray::fromStdString(cesta) << zakazana << kod
                           << QByteArray::fromStdString(Cp1250(text));
    };
    radek("odepreno", tmp + "/ttyZQ", true, 17, "přístup k " + tmp + "/ttyZQ" + rada);
    std::string hluboka = tmp;
    for (int i = 0; i < 8; ++i) hluboka += "/d0123456789";
    radek("odepreno hluboko", hluboka + "/ttyZQ", true, 17,
          "přístup k …/d0123456789/d0123456789/ttyZQ" + rada);
    const std::string jmeno = "usb-" + std::string(60, 'x') + "-port0";
    radek("odepreno dlouhe jmeno", tmp + "/" + jmeno, true, 17,
          "přístup k …" + std::string(33, 'x') + "-port0" + rada);
    radek("neexistuje mimo ASCII", "/nonexistent/Měření/ttyZQ", false, 12,
          "port /nonexistent/M??en?/ttyZQ neexistuje");
  }
  void zarizeniVTextu() {
    QFETCH(QByteArray, cesta);
    QFETCH(bool, zakazana);
    QFETCH(int, kod);
    QFETCH(QByteArray, text);
    const fs::path soubor = cesta.toStdString();
    if (zakazana) {
      fs::create_directories(soubor.parent_path());
      std::ofstream vytvor(soubor);
      fs::permissions(soubor, fs::perms::none);
    }
    const auto [k, t] = OtevriBezPrav(cesta.toStdString());
    QCOMPARE(k, kod);
    QCOMPARE(QByteArray::fromStdString(t), text);
    QVERIFY(t.size() <= zqdrv::MaxDelkaTextu);
  }

  void nastaveniLinky() {
    QCOMPARE(Otevri(TypZQ, 0), 0);
    QCOMPARE(NastavRozhrani(TypZQ, handle_, 1200, 100, 1), 3);
    QCOMPARE(Text(TypZQ, 3), Cp1250("nepodporovaná rychlost linky"));
    QCOMPARE(NastavRozhrani(TypZQ, handle_, 9600, 0, 1), 5);
    QCOMPARE(NastavRozhrani(TypZQ, handle_, 9600, 100, 16), 5);
    QCOMPARE(NastavRozhrani(TypZQ, handle_, 9600, 100, -1), 5);
    QCOMPARE(NastavRozhrani(TypZQ, handle_ + 1, 9600, 100, 1), 1);
    for (int32_t r : {4800, 9600, 19200, 38400, 57600, 115200})
      QCOMPARE(NastavRozhrani(TypZQ, handle_, r, 100, 1), 0);
    QCOMPARE(Text(TypZQ, 77), Cp1250("neznámý chybový kód"));
    QCOMPARE(Text(TypZQ, 4), Cp1250("chyba při čtení z modulu"));
    QCOMPARE(Text(TypZQ, 9), Cp1250("dotaz nelze sestavit"));
    QCOMPARE(Text(TypZQ, 10), Cp1250("rozhraní není otevřeno"));
  }

  // A read in progress on one handle while another handle of the same
  // library is opened, used and closed from another thread (the binding
  // does this when a stop outlasts a hanging read).
  void soubezneHandly() {
    const TKnihovna k(bin_ / "libWZQ1407.so", "WZQ1407");
    QVERIFY(k.InitP && k.Nastav && k.Posli && k.Done);
    intptr_t p[16] = {reinterpret_cast<intptr_t>(ip_.c_str()), sim_.UdpPort(), 50};
    zqsim::TPorucha pomalu;
    pomalu.Druh = zqsim::TDruhPoruchy::Zpozdeni;
    pomalu.ZpozdeniMs = 5;
    pomalu.Adresa = 2;
    sim_.PridejPoruchu(pomalu);
    int32_t stary = 0;
    QCOMPARE(k.InitP(&stary, p), 0);
    QCOMPARE(k.Nastav(stary, 115200, 100, 0), 0);
    std::atomic<bool> konec{false};
    std::atomic<int> spatne{0}, hotovo{0};
    int chybyHlavni = 0;
    std::thread ctenar([&] {
      while (!konec) {
        int32_t dotaz[100] = {2, 0, 0}, odpoved[100], delka = 0, status = -1;
        if (k.Posli(stary, dotaz, odpoved, &delka, &status) != 0 || status != 0 || odpoved[0] != 7)
          ++spatne;
        ++hotovo;
      }
    });
    const auto doba = THodiny::now() + std::chrono::seconds(10);
    for (int i = 0; (i < 30 || hotovo < 10) && THodiny::now() < doba; ++i) {
      // No QCOMPARE while the reader runs: a failure must not leave it behind.
      int32_t novy = 0;
      int32_t dotaz[100] = {1, 0, 1}, odpoved[100] = {}, delka = 0, status = -1;
      if (k.InitP(&novy, p) != 0 || novy == stary ||
          k.Posli(novy, dotaz, odpoved, &delka, &status) != 0 || odpoved[0] != 0x39 ||
          k.Done(&novy) != 0 || novy != 0)
        ++chybyHlavni;
    }
    konec = true;
    ctenar.join();
    QCOMPARE(k.Done(&stary), 0);
    QCOMPARE(spatne.load(), 0);
    QCOMPARE(chybyHlavni, 0);
    QVERIFY(hotovo >= 10);
  }

  // The entry points themselves: several handles at once, closed handles,
  // the configuration read back, the text array's layout.
  void vstupyKnihovny() {
    const TKnihovna k(bin_ / "libWZQ1407.so", "WZQ1407");
    QVERIFY(k.InitP && k.Nastav && k.Konfigurace && k.Posli && k.Done && k.Error && k.Verze);
    QVERIFY(dlsym(k.Lib, "_ZN5zqdrv5Crc16EPKhm") == nullptr);  // nothing but the seven

    int32_t v = 0;
    QCOMPARE(k.Verze(&v), 0);
    QCOMPARE(v, 0x0103);
    intptr_t p[16] = {reinterpret_cast<intptr_t>(ip_.c_str()), sim_.UdpPort(), 100};
    int32_t handly[17] = {};
    for (int i = 0; i < 16; ++i) {
      QCOMPARE(k.InitP(&handly[i], p), 0);
      QVERIFY(handly[i] != 0);
      for (int j = 0; j < i; ++j) QVERIFY(handly[i] != handly[j]);
    }
    QCOMPARE(k.InitP(&handly[16], p), 6);
    QCOMPARE(k.Nastav(handly[3], 19200, 30, 2), 0);
    int32_t r = 0, t = 0, o = 0;
    QCOMPARE(k.Konfigurace(handly[3], &r, &t, &o), 0);
    QCOMPARE(r, 19200);
    QCOMPARE(t, 30);
    QCOMPARE(o, 2);
    int32_t dotaz[100] = {1, 0, 0}, odpoved[100], delka = 0, status = -1;
    QCOMPARE(k.Posli(handly[3], dotaz, odpoved, &delka, &status), 0);
    QCOMPARE(odpoved[0], 0x12);
    const int32_t stary = handly[3];
    QCOMPARE(k.Done(&handly[3]), 0);
    QCOMPARE(handly[3], 0);
    QCOMPARE(k.Posli(stary, dotaz, odpoved, &delka, &status), 1);
    QCOMPARE(status, 1);
    QCOMPARE(k.Done(&handly[3]), 1);
    // A new handle in the freed place differs from the old one.
    QCOMPARE(k.InitP(&handly[3], p), 0);
    QVERIFY(handly[3] != stary);
    QCOMPARE(k.Posli(handly[5], dotaz, odpoved, &delka, &status), 0);
    QCOMPARE(k.Posli(0, dotaz, odpoved, &delka, &status), 1);
    for (int i = 0; i < 16; ++i) QCOMPARE(k.Done(&handly[i]), 0);

    int32_t text[100];
    std::fill(std::begin(text), std::end(text), -1);
    QCOMPARE(k.Error(-5, text), 0);
    QCOMPARE(text[0], 0);
    const std::string neznamy = Cp1250("neznámý chybový kód");
    for (size_t i = 0; i < neznamy.size(); ++i)
      QCOMPARE(text[i + 1], int32_t{static_cast<unsigned char>(neznamy[i])});
    for (size_t i = neznamy.size() + 1; i < 100; ++i) QCOMPARE(text[i], 0);
  }
};

QTEST_GUILESS_MAIN(TestDrivers)
#include "test_drivers.moc"
