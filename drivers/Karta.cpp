#include "Karta.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define ZQ_PORTY 1
#else
#define ZQ_PORTY 0
#endif

namespace zqdrv {

namespace {

// Registers of the UART, offsets from the base.
constexpr unsigned RegData = 0, RegIer = 1, RegFcr = 2, RegLcr = 3, RegMcr = 4, RegLsr = 5,
                   RegScratch = 7;
constexpr uint8_t LsrData = 0x01, LsrThre = 0x20, LsrTemt = 0x40;
constexpr uint8_t McrRts = 0x02, McrOut2 = 0x08;  // RTS switches the RS-485 transmitter on
constexpr uint32_t HodinyUartu = 115200;          // 1.8432 MHz / 16

#if ZQ_PORTY
uint8_t CtiPort(uint32_t port) { return inb(static_cast<unsigned short>(port)); }
void PisPort(uint32_t port, uint8_t v) { outb(v, static_cast<unsigned short>(port)); }
int Povol(uint32_t zacatek, uint32_t delka, int zapnout) {
  return ioperm(zacatek, delka, zapnout) == 0 ? 0 : errno;
}
#else
uint8_t CtiPort(uint32_t) { return 0xFF; }
void PisPort(uint32_t, uint8_t) {}
int Povol(uint32_t, uint32_t, int) { return EPERM; }
#endif

// Scratch-register test: a UART keeps what is written there, an empty bus
// reads back 0xFF.
bool UartOdpovida(uint32_t baze) {
  for (uint8_t vzor : {uint8_t{0x5A}, uint8_t{0xA5}, uint8_t{0x00}}) {
    PisPort(baze + RegScratch, vzor);
    if (CtiPort(baze + RegScratch) != vzor) return false;
  }
  return CtiPort(baze + RegLsr) != 0xFF;
}

class TUart : public TLinkoveSpojeni {
 public:
  explicit TUart(uint32_t baze) : baze_(baze) {}
  ~TUart() override {
    PisPort(baze_ + RegMcr, 0);
    Povol(baze_, 8, 0);
  }
  TUart(const TUart&) = delete;
  TUart& operator=(const TUart&) = delete;

  int32_t Nastav(const TNastaveni& n) override {
    if (!PodporovanaRychlost(n.Rychlost)) return KodRychlost;
    const uint32_t delitel = HodinyUartu / static_cast<uint32_t>(n.Rychlost);
    PisPort(baze_ + RegIer, 0);
    PisPort(baze_ + RegLcr, 0x80);
    PisPort(baze_ + RegData, static_cast<uint8_t>(delitel & 0xFF));
    PisPort(baze_ + RegIer, static_cast<uint8_t>(delitel >> 8));
    PisPort(baze_ + RegLcr, 0x03);  // 8N1
    PisPort(baze_ + RegFcr, 0x07);  // FIFOs on and cleared
    PisPort(baze_ + RegMcr, McrOut2);
    return KodOk;
  }

 protected:
  void Vyprazdni() override {
    PisPort(baze_ + RegFcr, 0x07);
    for (int i = 0; i < 64 && (CtiPort(baze_ + RegLsr) & LsrData); ++i) CtiPort(baze_ + RegData);
  }

  int32_t Zapis(const uint8_t* data, size_t n, TCas konec) override {
    PisPort(baze_ + RegMcr, McrOut2 | McrRts);
    int32_t kod = KodOk;
    for (size_t i = 0; i < n && kod == KodOk; ++i) {
      if (!Cekej(LsrThre, konec))
        kod = KodNeodpovedel;
      else
        PisPort(baze_ + RegData, data[i]);
    }
    if (kod == KodOk && !Cekej(LsrTemt, konec)) kod = KodNeodpovedel;
    PisPort(baze_ + RegMcr, McrOut2);
    return kod;
  }

  int32_t Cti(uint8_t* buf, size_t max, TCas konec, size_t& precteno) override {
    precteno = 0;
    if (!Cekej(LsrData, konec)) return KodOk;
    while (precteno < max && (CtiPort(baze_ + RegLsr) & LsrData))
      buf[precteno++] = CtiPort(baze_ + RegData);
    return KodOk;
  }

 private:
  // Polls the line status until one of `bity` is set or the deadline passes.
  bool Cekej(uint8_t bity, TCas konec) {
    for (;;) {
      if (CtiPort(baze_ + RegLsr) & bity) return true;
      if (THodiny::now() >= konec) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }

  uint32_t baze_;
};

int32_t OtevriUart(uint32_t baze, uint32_t delka, int32_t kodPristup, int32_t kodNenalezena,
                   std::unique_ptr<TSpojeni>& spojeni) {
  if (Povol(baze, delka, 1) != 0) return kodPristup;
  if (!UartOdpovida(baze)) {
    Povol(baze, delka, 0);
    return kodNenalezena;
  }
  spojeni = std::make_unique<TUart>(baze);
  return KodOk;
}

std::string PrvniRadek(const std::string& soubor) {
  std::ifstream f(soubor);
  std::string radek;
  std::getline(f, radek);
  return radek;
}

bool Cislo16(const std::string& text, uint64_t& hodnota) {
  std::string_view s = text;
  if (s.starts_with("0x")) s.remove_prefix(2);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n')) s.remove_suffix(1);
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), hodnota, 16);
  return ec == std::errc() && p == s.data() + s.size() && !s.empty();
}

}  // namespace

int32_t OtevriKartuIsa(int32_t bazovaAdresa, std::unique_ptr<TSpojeni>& spojeni) {
  if (bazovaAdresa < 1 || bazovaAdresa > 0xFFF8) return KodIsaAdresa;
  return OtevriUart(static_cast<uint32_t>(bazovaAdresa), 8, KodIsaPristup, KodIsaNenalezena,
                    spojeni);
}

bool NajdiPciKartu(const std::string& slozkaPci, uint16_t vyrobce, uint16_t zarizeni,
                   uint32_t& zacatek, uint32_t& delka) {
  std::error_code ec;
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::directory_iterator(slozkaPci, ec))
    if (e.path().filename().string()[0] != '.') jmena.push_back(e.path().filename().string());
  if (ec) return false;
  std::sort(jmena.begin(), jmena.end());
  for (const std::string& jmeno : jmena) {
    std::string slozka = slozkaPci;
    slozka += '/';
    slozka += jmeno;
    slozka += '/';
    uint64_t v = 0, z = 0;
    if (!Cislo16(PrvniRadek(slozka + "vendor"), v) || !Cislo16(PrvniRadek(slozka + "device"), z))
      continue;
    if (v != vyrobce || z != zarizeni) continue;
    // "resource": one line per region, "start end flags"; 0x100 marks I/O.
    std::ifstream f(slozka + "resource");
    std::string a, b, c;
    while (f >> a >> b >> c) {
      uint64_t od = 0, po = 0, priznaky = 0;
      if (!Cislo16(a, od) || !Cislo16(b, po) || !Cislo16(c, priznaky)) break;
      if ((priznaky & 0x100) != 0 && po >= od + 7 && po <= 0xFFFF) {
        zacatek = static_cast<uint32_t>(od);
        delka = static_cast<uint32_t>(po - od + 1);
        return true;
      }
    }
  }
  return false;
}

int32_t OtevriKartuPci(const std::string& slozkaPci, std::unique_ptr<TSpojeni>& spojeni) {
  uint32_t zacatek = 0, delka = 0;
  if (!NajdiPciKartu(slozkaPci, PciVyrobce, PciZarizeni, zacatek, delka)) return KodPciNenalezena;
  return OtevriUart(zacatek, 8, KodPciPristup, KodPciNenalezena, spojeni);
}

}  // namespace zqdrv
