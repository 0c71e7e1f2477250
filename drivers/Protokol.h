#pragma once
// Bus protocol shared by the interface libraries and the module-bus simulator:
// the RS-485 frames, their CRC-16, the LAN envelope of the UDP converter and
// the line timing.  The layout is documented in docs/protokol.md.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zqdrv {

inline constexpr uint8_t ZnakDotazu = 0xA7;    // first byte of a request frame
inline constexpr uint8_t ZnakOdpovedi = 0xA8;  // first byte of a response frame
inline constexpr size_t DelkaOdpovedi = 12;    // a response frame is always 12 bytes
inline constexpr size_t MaxDataDotazu = 4;
inline constexpr size_t MaxDelkaDotazu = 8 + MaxDataDotazu;

// Function bytes a module understands.
inline constexpr uint8_t FunkceCteni = 0x00;
inline constexpr uint8_t FunkceZapis = 0x01;

// Status byte of a response frame.
inline constexpr uint8_t ModulOk = 0;
inline constexpr uint8_t ModulNeznamaFunkce = 1;
inline constexpr uint8_t ModulNeznamaPeriferie = 2;
inline constexpr uint8_t ModulChybnaData = 3;

// CRC-16 with polynomial 0x8005 reflected (0xA001), initial value 0xFFFF,
// no final XOR; sent low byte first.  "123456789" gives 0x4B37.
uint16_t Crc16(const uint8_t* data, size_t n);

struct TDotaz {
  uint8_t Cislo = 0;  // frame number, echoed by the module
  uint8_t Adresa = 0;
  uint8_t Funkce = 0;
  uint8_t Periferie = 0;
  uint8_t Delka = 0;  // number of data bytes, 0..4
  std::array<uint8_t, 4> Data{};
};

struct TOdpoved {
  uint8_t Cislo = 0;
  uint8_t Adresa = 0;
  uint8_t Funkce = 0;
  uint8_t Periferie = 0;
  uint8_t Status = 0;
  std::array<uint8_t, 4> Data{};
};

// Writes the frame into `buf` (at least MaxDelkaDotazu bytes) and returns its
// length, 8 + Delka; a Delka above 4 gives 0 and writes nothing.
size_t SestavDotaz(const TDotaz& d, uint8_t* buf);
// Writes the 12-byte response frame into `buf`.
size_t SestavOdpoved(const TOdpoved& o, uint8_t* buf);

enum class TRozbor {
  Ok,
  Kratky,  // fewer bytes than the frame needs (so far)
  Znak,    // the first byte is not the frame's start byte, or a bad length
  Crc,     // checksum mismatch
};

// A response frame at the start of buf[0..n).  Bytes after the 12 of the
// frame are not looked at.
TRozbor RozeberOdpoved(const uint8_t* buf, size_t n, TOdpoved& o);
// A request frame at the start of buf[0..n); `delka` gets its length.
TRozbor RozeberDotaz(const uint8_t* buf, size_t n, TDotaz& d, size_t& delka);

// LAN envelope (UDP).  Request: 'Z' 'Q' 0x01 0x00, sequence (16 bits),
// line speed (32 bits), line time-out in ms (16 bits), request frame.
// Answer: 'Z' 'Q' 0x81 converter status, sequence (16 bits), and for
// status 0 the 12-byte response frame.  All numbers little-endian.
inline constexpr uint8_t LanDotaz = 0x01;
inline constexpr uint8_t LanOdpoved = 0x81;
inline constexpr size_t LanHlavickaDotazu = 12;
inline constexpr size_t LanHlavickaOdpovedi = 6;
inline constexpr uint8_t PrevodnikOk = 0;          // the module's frame follows
inline constexpr uint8_t PrevodnikTicho = 1;       // the module did not answer on the line
inline constexpr uint8_t PrevodnikChybaLinky = 2;  // garbled answer on the line

struct TLanDotaz {
  uint16_t Poradi = 0;
  uint32_t Rychlost = 0;
  uint16_t Timeout = 0;
  TDotaz Dotaz;
};

struct TLanOdpoved {
  uint16_t Poradi = 0;
  uint8_t Stav = 0;
  TOdpoved Odpoved;  // meaningful for Stav 0
};

// Datagram builders return the length written (buffer of 64 bytes enough).
size_t SestavLanDotaz(const TLanDotaz& d, uint8_t* buf);
size_t SestavLanOdpoved(const TLanOdpoved& o, uint8_t* buf);
// Whole-datagram parsers: the datagram must have exactly the length its
// content calls for.
bool RozeberLanDotaz(const uint8_t* buf, size_t n, TLanDotaz& d);
enum class TLanRozbor { Ok, Delka, Hlavicka, Crc };
TLanRozbor RozeberLanOdpoved(const uint8_t* buf, size_t n, TLanOdpoved& o);

// Line timing.  DobaRamce: whole milliseconds allowed for one frame at a
// speed (120 bit times rounded up; 25 ms for a speed outside the list).
int DobaRamce(int32_t rychlost);
bool PodporovanaRychlost(int32_t rychlost);
// Time in microseconds that `bajty` bytes take on the wire at `rychlost` Bd
// (10 bits per byte: start, 8 data, stop).
int64_t DobaNaLince(size_t bajty, int32_t rychlost);

}  // namespace zqdrv
