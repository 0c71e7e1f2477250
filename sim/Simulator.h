#pragma once
// Module-bus simulator: RS-485 modules with peripherals whose values the
// operator sets or generates, answering the bus protocol (docs/protokol.md)
// as a LAN converter on a UDP port and as a serial line on pseudo-terminals,
// with fault injection and counters.  Plain C++, usable in-process by tests
// and benchmarks; every member function is thread-safe.
//
//   zqsim::TSimulator sim;
//   sim.PridejPeriferii(1, 0, {zqsim::TFormat::Float32, zqsim::TPrubeh::Sinus, 0, 10, 60});
//   sim.SpustUdp(0);                       // any free port on 127.0.0.1
//   ... WZQ1407 to 127.0.0.1 : sim.UdpPort() ...
//   sim.Zastav();                          // also done by the destructor

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zqsim {

enum class TFormat : uint8_t { Uint32, Float32, Bool32 };

enum class TPrubeh : uint8_t {
  Konstanta,   // Zaklad
  Citac,       // Zaklad + Krok x (requests served so far by this peripheral)
  Rampa,       // Zaklad + Amplituda x (fraction of Perioda elapsed): a saw-tooth
  Sinus,       // Zaklad + Amplituda x sin(2 pi t / Perioda)
  PosuvnyBit,  // bool32: a single 1 bit moving up one place per request
};

struct THodnota {
  TFormat Format = TFormat::Uint32;
  TPrubeh Prubeh = TPrubeh::Konstanta;
  double Zaklad = 0;
  double Amplituda = 0;
  double Perioda = 60;  // seconds
  double Krok = 1;
  int Mista = 0;  // float32: decimal places sent in the fourth byte (0..127)
};

// The four data bytes (r0 first) of a value.
// uint32 and bool32: rounded to the nearest integer and held in 0..2^32-1.
// float32: the modules' decimal format: r0..r2 the 23-bit magnitude of
// value x 10^mista (saturating at 0x7FFFFF), bit 7 of r2 the sign, r3 mista.
std::array<uint8_t, 4> ZakodujU32(double hodnota);
std::array<uint8_t, 4> ZakodujF32(double hodnota, int mista);
// The bytes of generator `g` at `cas` seconds after the start, for its
// `poradi`-th request (0 for the first).
std::array<uint8_t, 4> Zakoduj(const THodnota& g, double cas, uint64_t poradi);

enum class TDruhPoruchy : uint8_t {
  Ticho,        // the module does not answer
  Zahozeni,     // the answer is lost (LAN: no datagram at all)
  Crc,          // the answer's checksum is wrong
  Adresa,       // the answer carries another module's address
  Zpozdeni,     // the answer leaves ZpozdeniMs later
  Duplikat,     // the answer is sent twice
  Zkraceni,     // the answer is cut short by 4 bytes
  Prodlouzeni,  // 3 bytes of noise follow the answer
  Cizi,         // a foreign answer (LAN: from another port; line: from another
                // address) with data bytes 0xEE comes before the real one
  Ozvena,       // line only: the request comes back before the answer, as
                // from a half-duplex adapter that hears itself
};

struct TPorucha {
  TDruhPoruchy Druh = TDruhPoruchy::Zahozeni;
  double Pravdepodobnost = 1.0;  // per answer
  int64_t Pocet = -1;            // answers it still spoils; -1 = no limit
  int32_t ZpozdeniMs = 0;        // for Zpozdeni
  int32_t Adresa = -1;           // only this module; -1 = every module
};

struct TPocitadla {
  uint64_t Dotazy = 0;     // valid requests received (from any transport)
  uint64_t Odpovedi = 0;   // answers sent
  uint64_t Potlacene = 0;  // requests left unanswered (absent or silent module, lost answer)
  uint64_t Vadne = 0;      // datagrams or line bytes that were no valid request
};

class TSimulator {
 public:
  TSimulator();
  ~TSimulator();
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  // Answers as a LAN converter on `adresa`:`port` (port 0: a free one).
  bool SpustUdp(uint16_t port, const std::string& adresa = "127.0.0.1");
  uint16_t UdpPort() const;
  // Creates a pseudo-terminal serving as an RS-485 line; returns the path of
  // its slave side, empty on failure.  With `odkaz`, a symbolic link of that
  // name (its folder created if missing) points to it until Zastav().
  std::string SpustPty(const std::string& odkaz = {});
  // Closes the pseudo-terminal whose slave SpustPty returned, as a USB
  // converter pulled out: once this returns, a driver holding the line open
  // finds it hung up, and the slave's node is gone.  Its link stays, leading
  // nowhere, until SpustPty with the same link puts a new pseudo-terminal
  // behind it (the converter plugged in again) or Zastav() removes it.
  // False when no open pseudo-terminal has that slave.
  bool ZavriPty(const std::string& slave);

  void PridejPeriferii(uint8_t adresa, uint8_t periferie, const THodnota& hodnota);
  void PridejPoruchu(const TPorucha& porucha);
  void ZrusPoruchy();
  // Line emulation: each answer leaves only after the request and the answer
  // would have taken on the wire at `bd` Bd (0: at once).
  void NastavRychlostLinky(int32_t bd);
  void NastavSemeno(uint32_t semeno);

  TPocitadla Pocitadla() const;
  uint64_t PocetDotazu() const;
  // Valid requests addressed to module `adresa`, whether it exists or not.
  uint64_t PocetDotazu(uint8_t adresa) const;
  // Frames due to leave later (an answer held back by the line's time or a
  // delay) that have not left yet.
  size_t PocetNeodeslanych() const;

  // Stops serving, closes the socket and the pseudo-terminals, removes links.
  void Zastav();

 private:
  struct TData;
  std::unique_ptr<TData> d_;
};

// Command-line and configuration-file forms (docs/simulator.md):
//   "1:0=float32:sine:amp=10:period=60:dec=2" -> module 1, peripheral 0
//   "drop=0.1", "delay=150", "delay=150@0.5", "silent=3", "crc=1,count=2,module=1"
bool PrectiModul(std::string_view text, uint8_t& adresa, uint8_t& periferie, THodnota& hodnota,
                 std::string& chyba);
bool PrectiPoruchu(std::string_view text, TPorucha& porucha, std::string& chyba);

}  // namespace zqsim
