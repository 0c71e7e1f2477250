#include "Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "Protokol.h"

namespace zqsim {

using THodiny = std::chrono::steady_clock;
using TCas = THodiny::time_point;
using zqdrv::TDotaz;
using zqdrv::TOdpoved;

std::array<uint8_t, 4> ZakodujU32(double hodnota) {
  double r = std::nearbyint(hodnota);
  if (!(r >= 0)) r = 0;
  if (r > 4294967295.0) r = 4294967295.0;
  const auto u = static_cast<uint32_t>(r);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

std::array<uint8_t, 4> ZakodujF32(double hodnota, int mista) {
  if (mista < 0) mista = 0;
  if (mista > 127) mista = 127;
  double m = std::fabs(hodnota);
  for (int i = 0; i < mista; ++i) m *= 10.0;
  m = std::nearbyint(m);
  if (!(m <= 8388607.0)) m = 8388607.0;  // also NaN
  const auto u = static_cast<uint32_t>(m);
  const bool zaporne = hodnota < 0 && u != 0;
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
          static_cast<uint8_t>(((u >> 16) & 0x7F) | (zaporne ? 0x80 : 0)),
          static_cast<uint8_t>(mista)};
}

std::array<uint8_t, 4> Zakoduj(const THodnota& g, double cas, uint64_t poradi) {
  double v = g.Zaklad;
  const double perioda = g.Perioda > 0 ? g.Perioda : 1;
  switch (g.Prubeh) {
    case TPrubeh::Konstanta: break;
    case TPrubeh::Citac: v = g.Zaklad + g.Krok * static_cast<double>(poradi); break;
    case TPrubeh::Rampa:
      v = g.Zaklad + g.Amplituda * (cas / perioda - std::floor(cas / perioda));
      break;
    case TPrubeh::Sinus: v = g.Zaklad + g.Amplituda * std::sin(2 * M_PI * cas / perioda); break;
    case TPrubeh::PosuvnyBit: return ZakodujU32(static_cast<double>(uint32_t{1} << (poradi % 32)));
  }
  if (g.Format == TFormat::Float32) return ZakodujF32(v, g.Mista);
  if (g.Format == TFormat::Uint32 && g.Prubeh == TPrubeh::Citac) {
    // A counter wraps like the module's own 32-bit register.
    const double w = std::fmod(std::nearbyint(v), 4294967296.0);
    return ZakodujU32(w < 0 ? w + 4294967296.0 : w);
  }
  return ZakodujU32(v);
}

namespace {

struct TPeriferie {
  THodnota Hodnota;
  uint64_t Poradi = 0;
  bool Zapsano = false;  // a write request replaced the generator
  std::array<uint8_t, 4> Data{};
};

// One datagram or line write, due at `Kdy`.
struct TVystup {
  TCas Kdy;
  std::vector<uint8_t> Bajty;
  int Fd = -1;
  sockaddr_in Cil{};
  bool Datagram = false;
};

struct TPty {
  int Master = -1;  // -1: closed by ZavriPty, only its link left
  int Slave = -1;
  std::string Jmeno;  // the slave's path
  std::string Odkaz;
  std::vector<uint8_t> Prijato;
};

void Nastav16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

struct TSimulator::TData {
  mutable std::mutex Zamek;
  std::map<uint8_t, std::map<uint8_t, TPeriferie>> Moduly;
  std::array<uint64_t, 256> DotazyModulu{};
  std::vector<TPorucha> Poruchy;
  std::mt19937 Nahoda{12345};
  TPocitadla Pocitadla;
  int32_t Rychlost = 0;
  TCas Start = THodiny::now();

  int Udp = -1;
  int UdpCizi = -1;  // the foreign sender of the Cizi fault
  uint16_t UdpPort = 0;
  std::vector<TPty> Pty;
  std::multimap<TCas, TVystup> Fronta;

  int Budik = -1;  // eventfd waking the loop
  bool Konec = false;
  // Held (before Zamek) by whoever starts or stops the loop thread.
  std::mutex ZamekVlakna;
  std::thread Vlakno;

  TData() { Budik = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
  ~TData() {
    if (Budik >= 0) close(Budik);
  }

  void Vzbud() {
    const uint64_t jedna = 1;
    [[maybe_unused]] ssize_t r = write(Budik, &jedna, sizeof jedna);
  }

  void SpustVlakno() {
    if (!Vlakno.joinable()) Vlakno = std::thread([this] { Smycka(); });
  }

  // Stops the loop thread and waits for it, with ZamekVlakna held; whether
  // it was running.
  bool ZastavVlakno() {
    {
      std::lock_guard<std::mutex> z(Zamek);
      Konec = true;
    }
    Vzbud();
    if (!Vlakno.joinable()) return false;
    Vlakno.join();
    return true;
  }

  // Whether a fault of kind `druh` spoils this answer of module `adresa`.
  // Called with the lock held.
  const TPorucha* Porucha(TDruhPoruchy druh, uint8_t adresa) {
    for (TPorucha& p : Poruchy) {
      if (p.Druh != druh || p.Pocet == 0 || (p.Adresa >= 0 && p.Adresa != adresa)) continue;
      if (p.Pravdepodobnost < 1.0 &&
          std::uniform_real_distribution<double>(0.0, 1.0)(Nahoda) >= p.Pravdepodobnost)
        continue;
      if (p.Pocet > 0) --p.Pocet;
      return &p;
    }
    return nullptr;
  }

  // The module's answer to a request, faults applied: the frames to send
  // with their extra delays.  Empty: no answer.  Called with the lock held.
  struct TSnimek {
    std::vector<uint8_t> Bajty;
    int64_t ZpozdeniUs = 0;
    bool Cizi = false;
  };
  std::vector<TSnimek> Odpovez(const TDotaz& d, size_t delkaDotazu, bool& ticho) {
    ++Pocitadla.Dotazy;
    ++DotazyModulu[d.Adresa];
    ticho = false;
    std::vector<TSnimek> ven;
    auto modul = Moduly.find(d.Adresa);
    if (modul == Moduly.end() || Porucha(TDruhPoruchy::Ticho, d.Adresa)) {
      ticho = true;
      ++Pocitadla.Potlacene;
      return ven;
    }
    TOdpoved o;
    o.Cislo = d.Cislo;
    o.Adresa = d.Adresa;
    o.Funkce = d.Funkce;
    o.Periferie = d.Periferie;
    auto per = modul->second.find(d.Periferie);
    if (d.Funkce != zqdrv::FunkceCteni && d.Funkce != zqdrv::FunkceZapis) {
      o.Status = zqdrv::ModulNeznamaFunkce;
    } else if (per == modul->second.end()) {
      o.Status = zqdrv::ModulNeznamaPeriferie;
    } else if (d.Funkce == zqdrv::FunkceZapis) {
      if (d.Delka == 0) {
        o.Status = zqdrv::ModulChybnaData;
      } else {
        per->second.Zapsano = true;
        per->second.Data = {};
        for (size_t i = 0; i < d.Delka; ++i) per->second.Data[i] = d.Data[i];
        o.Data = per->second.Data;
      }
    } else {
      const double cas = std::chrono::duration<double>(THodiny::now() - Start).count();
      o.Data = per->second.Zapsano ? per->second.Data
                                   : Zakoduj(per->second.Hodnota, cas, per->second.Poradi);
      ++per->second.Poradi;
    }
    if (Porucha(TDruhPoruchy::Zahozeni, d.Adresa)) {
      ++Pocitadla.Potlacene;
      return ven;
    }
    if (Porucha(TDruhPoruchy::Adresa, d.Adresa)) o.Adresa = static_cast<uint8_t>(o.Adresa + 1);
    TSnimek s;
    s.Bajty.resize(zqdrv::DelkaOdpovedi);
    zqdrv::SestavOdpoved(o, s.Bajty.data());
    if (Porucha(TDruhPoruchy::Crc, d.Adresa)) s.Bajty[zqdrv::DelkaOdpovedi - 1] ^= 0x5A;
    if (Porucha(TDruhPoruchy::Zkraceni, d.Adresa)) s.Bajty.resize(zqdrv::DelkaOdpovedi - 4);
    if (Porucha(TDruhPoruchy::Prodlouzeni, d.Adresa))
      s.Bajty.insert(s.Bajty.end(), {0x00, 0x55, 0xAA});
    s.ZpozdeniUs = zqdrv::DobaNaLince(delkaDotazu + zqdrv::DelkaOdpovedi, Rychlost);
    if (const TPorucha* p = Porucha(TDruhPoruchy::Zpozdeni, d.Adresa))
      s.ZpozdeniUs += int64_t{p->ZpozdeniMs} * 1000;
    if (Porucha(TDruhPoruchy::Cizi, d.Adresa)) {
      TOdpoved c = o;
      c.Data = {0xEE, 0xEE, 0xEE, 0xEE};
      c.Status = zqdrv::ModulOk;
      TSnimek cizi;
      cizi.Cizi = true;
      cizi.ZpozdeniUs = s.ZpozdeniUs;
      cizi.Bajty.resize(zqdrv::DelkaOdpovedi);
      zqdrv::SestavOdpoved(c, cizi.Bajty.data());
      ven.push_back(cizi);
    }
    ven.push_back(s);
    if (Porucha(TDruhPoruchy::Duplikat, d.Adresa)) ven.push_back(s);
    Pocitadla.Odpovedi += 1;
    return ven;
  }

  void ObsluzDatagram() {
    uint8_t buf[512];
    sockaddr_in od{};
    socklen_t delka = sizeof od;
    const ssize_t r = recvfrom(Udp, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&od), &delka);
    if (r < 0) return;
    std::lock_guard<std::mutex> z(Zamek);
    zqdrv::TLanDotaz d;
    if (static_cast<size_t>(r) > sizeof buf ||
        !zqdrv::RozeberLanDotaz(buf, static_cast<size_t>(r), d)) {
      ++Pocitadla.Vadne;
      return;
    }
    bool ticho = false;
    const size_t delkaDotazu = static_cast<size_t>(r) - zqdrv::LanHlavickaDotazu;
    const TCas ted = THodiny::now();
    const std::vector<TSnimek> snimky = Odpovez(d.Dotaz, delkaDotazu, ticho);
    if (ticho) {
      // The converter reports a silent module once the line's time-out is over.
      zqdrv::TLanOdpoved o;
      o.Poradi = d.Poradi;
      o.Stav = zqdrv::PrevodnikTicho;
      TVystup v;
      v.Bajty.resize(zqdrv::LanHlavickaOdpovedi);
      zqdrv::SestavLanOdpoved(o, v.Bajty.data());
      v.Kdy = ted + std::chrono::milliseconds(zqdrv::DobaRamce(static_cast<int32_t>(d.Rychlost)) +
                                              d.Timeout);
      v.Fd = Udp;
      v.Cil = od;
      v.Datagram = true;
      Fronta.emplace(v.Kdy, std::move(v));
      return;
    }
    for (const TSnimek& s : snimky) {
      TVystup v;
      v.Bajty = {'Z', 'Q', zqdrv::LanOdpoved, zqdrv::PrevodnikOk, 0, 0};
      Nastav16(v.Bajty.data() + 4, d.Poradi);
      v.Bajty.insert(v.Bajty.end(), s.Bajty.begin(), s.Bajty.end());
      v.Kdy = ted + std::chrono::microseconds(s.ZpozdeniUs);
      v.Fd = s.Cizi ? UdpCizi : Udp;
      v.Cil = od;
      v.Datagram = true;
      Fronta.emplace(v.Kdy, std::move(v));
    }
  }

  void ObsluzPty(int master) {
    uint8_t buf[512];
    const ssize_t r = read(master, buf, sizeof buf);
    if (r <= 0) return;
    std::lock_guard<std::mutex> z(Zamek);
    TPty* p = nullptr;
    for (TPty& kandidat : Pty)
      if (kandidat.Master == master) p = &kandidat;
    if (p == nullptr) return;
    p->Prijato.insert(p->Prijato.end(), buf, buf + r);
    const TCas ted = THodiny::now();
    while (!p->Prijato.empty()) {
      TDotaz d;
      size_t delka = 0;
      const zqdrv::TRozbor v = zqdrv::RozeberDotaz(p->Prijato.data(), p->Prijato.size(), d, delka);
      if (v == zqdrv::TRozbor::Kratky) break;
      if (v != zqdrv::TRozbor::Ok) {
        ++Pocitadla.Vadne;
        p->Prijato.erase(p->Prijato.begin());
        continue;
      }
      if (Porucha(TDruhPoruchy::Ozvena, d.Adresa)) {
        TVystup ozvena;
        ozvena.Bajty.assign(p->Prijato.begin(), p->Prijato.begin() + static_cast<ptrdiff_t>(delka));
        ozvena.Kdy = ted;
        ozvena.Fd = p->Master;
        Fronta.emplace(ozvena.Kdy, std::move(ozvena));
      }
      p->Prijato.erase(p->Prijato.begin(), p->Prijato.begin() + static_cast<ptrdiff_t>(delka));
      bool ticho = false;
      for (TSnimek& s : Odpovez(d, delka, ticho)) {
        if (s.Cizi) {
          // On the line a foreign answer is another module's frame.
          TOdpoved c;
          zqdrv::RozeberOdpoved(s.Bajty.data(), s.Bajty.size(), c);
          c.Adresa ^= 0x80;
          zqdrv::SestavOdpoved(c, s.Bajty.data());
        }
        TVystup vystup;
        vystup.Bajty = std::move(s.Bajty);
        vystup.Kdy = ted + std::chrono::microseconds(s.ZpozdeniUs);
        vystup.Fd = p->Master;
        Fronta.emplace(vystup.Kdy, std::move(vystup));
      }
    }
    // Noise that never completes a frame is not kept for ever.
    if (p->Prijato.size() > 1024) p->Prijato.clear();
  }

  void Smycka() {
    // Wake-ups exactly when an answer is due: the default timer slack of
    // 50 us would add to every emulated frame.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
      std::vector<pollfd> fds;
      timespec cekej{};
      bool sCasem = false;
      {
        std::unique_lock<std::mutex> z(Zamek);
        if (Konec) return;
        const TCas ted = THodiny::now();
        // Send everything that is due, in order.
        while (!Fronta.empty() && Fronta.begin()->first <= ted) {
          TVystup v = std::move(Fronta.begin()->second);
          Fronta.erase(Fronta.begin());
          if (v.Datagram)
            sendto(v.Fd, v.Bajty.data(), v.Bajty.size(), 0,
                   reinterpret_cast<const sockaddr*>(&v.Cil), sizeof v.Cil);
          else [[maybe_unused]]
            ssize_t r = write(v.Fd, v.Bajty.data(), v.Bajty.size());
        }
        if (!Fronta.empty()) {
          const auto ns =
              std::chrono::duration_cast<std::chrono::nanoseconds>(Fronta.begin()->first - ted)
                  .count();
          cekej.tv_sec = static_cast<time_t>(ns / 1000000000);
          cekej.tv_nsec = static_cast<long>(ns % 1000000000);
          sCasem = true;
        }
        fds.push_back({Budik, POLLIN, 0});
        if (Udp >= 0) fds.push_back({Udp, POLLIN, 0});
        for (const TPty& p : Pty)
          if (p.Master >= 0) fds.push_back({p.Master, POLLIN, 0});
      }
      // ppoll keeps sub-millisecond timing for the line emulation.
      const int v = ppoll(fds.data(), fds.size(), sCasem ? &cekej : nullptr, nullptr);
      if (v <= 0) continue;
      for (const pollfd& f : fds) {
        if ((f.revents & POLLIN) == 0) continue;
        if (f.fd == Budik) {
          uint64_t x;
          [[maybe_unused]] ssize_t r = read(Budik, &x, sizeof x);
        } else if (f.fd == Udp) {
          ObsluzDatagram();
        } else {
          ObsluzPty(f.fd);
        }
      }
    }
  }
};

TSimulator::TSimulator() : d_(std::make_unique<TData>()) {}

TSimulator::~TSimulator() { Zastav(); }

bool TSimulator::SpustUdp(uint16_t port, const std::string& adresa) {
  std::lock_guard<std::mutex> v(d_->ZamekVlakna);
  std::lock_guard<std::mutex> z(d_->Zamek);
  if (d_->Udp >= 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (inet_pton(AF_INET, adresa.c_str(), &a.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int cizi = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in c = a;
  c.sin_port = 0;
  if (fd < 0 || cizi < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      bind(cizi, reinterpret_cast<sockaddr*>(&c), sizeof c) != 0) {
    if (fd >= 0) close(fd);
    if (cizi >= 0) close(cizi);
    return false;
  }
  socklen_t delka = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &delka);
  d_->Udp = fd;
  d_->UdpCizi = cizi;
  d_->UdpPort = ntohs(a.sin_port);
  d_->Konec = false;
  d_->SpustVlakno();
  d_->Vzbud();
  return true;
}

uint16_t TSimulator::UdpPort() const {
  std::lock_guard<std::mutex> z(d_->Zamek);
  return d_->UdpPort;
}

std::string TSimulator::SpustPty(const std::string& odkaz) {
  TPty p;
  p.Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (p.Master < 0) return {};
  char jmeno[128];
  if (grantpt(p.Master) != 0 || unlockpt(p.Master) != 0 ||
      ptsname_r(p.Master, jmeno, sizeof jmeno) != 0) {
    close(p.Master);
    return {};
  }
  // The simulator keeps the slave open itself so that the line stays up
  // while the driver opens and closes it, and sets it raw: no echo, no line
  // discipline between driver and modules.
  p.Slave = open(jmeno, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  if (p.Slave < 0 || tcgetattr(p.Slave, &t) != 0) {
    if (p.Slave >= 0) close(p.Slave);
    close(p.Master);
    return {};
  }
  cfmakeraw(&t);
  tcsetattr(p.Slave, TCSANOW, &t);
  fcntl(p.Master, F_SETFL, fcntl(p.Master, F_GETFL) | O_NONBLOCK);
  if (!odkaz.empty()) {
    const size_t lomitko = odkaz.rfind('/');
    // The whole folder chain of the link (a user's data folder on a fresh
    // account may not exist yet).
    std::error_code ec;
    if (lomitko != std::string::npos && lomitko > 0)
      std::filesystem::create_directories(odkaz.substr(0, lomitko), ec);
    unlink(odkaz.c_str());
    if (symlink(jmeno, odkaz.c_str()) != 0) {
      close(p.Slave);
      close(p.Master);
      return {};
    }
    p.Odkaz = odkaz;
  }
  p.Jmeno = jmeno;
  std::lock_guard<std::mutex> v(d_->ZamekVlakna);
  std::lock_guard<std::mutex> z(d_->Zamek);
  // A line closed before behind the same link is replaced by this one.
  std::erase_if(d_->Pty, [&](const TPty& s) { return s.Master < 0 && s.Odkaz == odkaz; });
  d_->Pty.push_back(std::move(p));
  d_->Konec = false;
  d_->SpustVlakno();
  d_->Vzbud();
  return jmeno;
}

bool TSimulator::ZavriPty(const std::string& slave) {
  std::lock_guard<std::mutex> v(d_->ZamekVlakna);
  // The loop thread's poll keeps the master open: the line hangs up only once
  // the thread has let go of it.
  const bool bezelo = d_->ZastavVlakno();
  std::lock_guard<std::mutex> z(d_->Zamek);
  bool nalezeno = false;
  for (TPty& p : d_->Pty) {
    if (p.Master < 0 || p.Jmeno != slave) continue;
    // Answers still due would go to a closed, perhaps reused, descriptor.
    std::erase_if(d_->Fronta, [&](const auto& f) { return f.second.Fd == p.Master; });
    close(p.Slave);
    close(p.Master);
    p.Master = p.Slave = -1;
    p.Prijato.clear();
    nalezeno = true;
  }
  std::erase_if(d_->Pty, [](const TPty& p) { return p.Master < 0 && p.Odkaz.empty(); });
  d_->Konec = false;
  if (bezelo) d_->SpustVlakno();
  return nalezeno;
}

void TSimulator::PridejPeriferii(uint8_t adresa, uint8_t periferie, const THodnota& hodnota) {
  std::lock_guard<std::mutex> z(d_->Zamek);
  TPeriferie& p = d_->Moduly[adresa][periferie];
  p = TPeriferie{};
  p.Hodnota = hodnota;
}

void TSimulator::PridejPoruchu(const TPorucha& porucha) {
  std::lock_guard<std::mutex> z(d_->Zamek);
  d_->Poruchy.push_back(porucha);
}

void TSimulator::ZrusPoruchy() {
  std::lock_guard<std::mutex> z(d_->Zamek);
  d_->Poruchy.clear();
}

void TSimulator::NastavRychlostLinky(int32_t bd) {
  std::lock_guard<std::mutex> z(d_->Zamek);
  d_->Rychlost = bd > 0 ? bd : 0;
}

void TSimulator::NastavSemeno(uint32_t semeno) {
  std::lock_guard<std::mutex> z(d_->Zamek);
  d_->Nahoda.seed(semeno);
}

TPocitadla TSimulator::Pocitadla() const {
  std::lock_guard<std::mutex> z(d_->Zamek);
  return d_->Pocitadla;
}

uint64_t TSimulator::PocetDotazu() const { return Pocitadla().Dotazy; }

uint64_t TSimulator::PocetDotazu(uint8_t adresa) const {
  std::lock_guard<std::mutex> z(d_->Zamek);
  return d_->DotazyModulu[adresa];
}

size_t TSimulator::PocetNeodeslanych() const {
  std::lock_guard<std::mutex> z(d_->Zamek);
  return d_->Fronta.size();
}

void TSimulator::Zastav() {
  std::lock_guard<std::mutex> v(d_->ZamekVlakna);
  d_->ZastavVlakno();
  std::lock_guard<std::mutex> z(d_->Zamek);
  for (TPty& p : d_->Pty) {
    if (!p.Odkaz.empty()) unlink(p.Odkaz.c_str());
    if (p.Master < 0) continue;
    close(p.Slave);
    close(p.Master);
  }
  d_->Pty.clear();
  if (d_->Udp >= 0) close(d_->Udp);
  if (d_->UdpCizi >= 0) close(d_->UdpCizi);
  d_->Udp = d_->UdpCizi = -1;
  d_->UdpPort = 0;
  d_->Fronta.clear();
}

}  // namespace zqsim
