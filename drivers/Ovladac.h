#pragma once
// Common machinery of the interface libraries: the table of open handles,
// line settings, the request/response exchange with its retries and time
// bound, and the driver's own folder.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Protokol.h"
#include "Texty.h"

// Only the seven entry points of each library are exported.
#define ZQ_VEREJNE extern "C" __attribute__((visibility("default")))

namespace zqdrv {

using THodiny = std::chrono::steady_clock;
using TCas = THodiny::time_point;

// Version number written by every library's _Version.
inline constexpr int32_t VerzeOvladace = 0x0103;

struct TNastaveni {
  int32_t Rychlost = 9600;
  int32_t Timeout = 100;  // ms the module gets beyond one frame time
  int32_t Opakovani = 0;  // retries after the first try
};

// One open interface.  A try sends one request and waits until `konec` for
// the response that belongs to it; it returns 0 with `odpoved` filled, or a
// status code.
class TSpojeni {
 public:
  virtual ~TSpojeni() = default;
  virtual int32_t Nastav(const TNastaveni& nastaveni) = 0;
  virtual int32_t Pokus(const TDotaz& dotaz, TOdpoved& odpoved, TCas konec,
                        const TNastaveni& nastaveni) = 0;
  // Called before the tries of every exchange.  A connection that lost its
  // device opens it anew here with `nastaveni`; 0 when the tries may go on,
  // else the status the exchange ends with.
  virtual int32_t Obnov(const TNastaveni&) { return KodOk; }
  // Extra milliseconds a whole exchange may take beyond the line's
  // (frame time + time-out) per try: the network allowance of the LAN
  // converter, 0 for a line of our own.
  virtual int32_t NavicMs() const { return 0; }

  // Frame number of the next try (16-bit counter; frames carry its low byte).
  uint16_t DalsiPoradi() { return ++poradi_; }
  uint16_t Poradi() const { return poradi_; }

 private:
  uint16_t poradi_ = static_cast<uint16_t>(THodiny::now().time_since_epoch().count());
};

// A line spoken to byte by byte (serial port, UART of a card).  The try
// flushes stale input, writes the frame and collects the response.
class TLinkoveSpojeni : public TSpojeni {
 public:
  int32_t Pokus(const TDotaz& dotaz, TOdpoved& odpoved, TCas konec,
                const TNastaveni& nastaveni) override;

 protected:
  virtual void Vyprazdni() = 0;
  virtual int32_t Zapis(const uint8_t* data, size_t n, TCas konec) = 0;
  // Waits until at least one byte is there or `konec` passes; `precteno`
  // gets the number of bytes read (0 at the deadline).
  virtual int32_t Cti(uint8_t* buf, size_t max, TCas konec, size_t& precteno) = 0;
};

// One request/response exchange with retries, as _Send does it.  No call
// takes longer than (frame time + time-out) x (retries + 1) + NavicMs().
int32_t Vymena(TSpojeni& spojeni, const TNastaveni& nastaveni, const int32_t* dotaz,
               int32_t* odpoved, int32_t* delka, int32_t* status);

// Line settings as _SetConfig accepts them.
int32_t OverNastaveni(int32_t rychlost, int32_t timeout, int32_t opakovani);

// The table of open handles of one library.  Handles are never 0 and a
// closed handle is not reused at once (a generation count is part of it).
class TTabulka {
 public:
  int32_t Pridej(std::unique_ptr<TSpojeni> spojeni, int32_t* handle);
  int32_t Nastav(int32_t handle, int32_t rychlost, int32_t timeout, int32_t opakovani);
  int32_t Konfigurace(int32_t handle, int32_t* rychlost, int32_t* timeout, int32_t* opakovani);
  int32_t Posli(int32_t handle, const int32_t* dotaz, int32_t* odpoved, int32_t* delka,
                int32_t* status);
  int32_t Zavri(int32_t* handle);

 private:
  static constexpr int32_t PocetSlotu = 16;
  struct TSlot {
    std::mutex Zamek;
    std::unique_ptr<TSpojeni> Spojeni;
    TNastaveni Nastaveni;
    int32_t Generace = 0;
  };
  // The slot of a handle, locked, or nullptr.
  TSlot* Najdi(int32_t handle, std::unique_lock<std::mutex>& zamek);
  std::array<TSlot, PocetSlotu> sloty_;
};

// Folder the library file lies in (found through dladdr), with a trailing '/'.
std::string SlozkaOvladace();

// Folder of the device overrides, with a trailing '/': the library's own
// folder, except for the libraries of an installed program, whose overrides
// are in the program's per-user folder (platform/Umisteni.h).
std::string SlozkaPrepisu();

// Device override: SlozkaPrepisu()/dosdevices/<jmeno>.  A link or a device
// node is used as it stands; a regular file holds the device path on its
// first line.  Nothing when there is no such entry.
std::optional<std::string> PrepisZarizeni(const std::string& jmeno);

// Runs `f`, turning any exception into `kod`: nothing may leave an entry point.
// Such a failure concerns no device, so _Error gives the code's fixed text.
template <class F>
int32_t Chranene(int32_t kod, F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    ZapamatujSelhani(kod, {});
    return kod;
  }
}

}  // namespace zqdrv

// The six entry points every library implements alike; each library writes
// its own _Init.
#define ZQ_SPOLECNE_VSTUPY(P, tabulka)                                                            \
  ZQ_VEREJNE int32_t P##_Version(int32_t* verze) {                                                \
    if (verze == nullptr) return zqdrv::KodParametr;                                              \
    *verze = zqdrv::VerzeOvladace;                                                                \
    return zqdrv::KodOk;                                                                          \
  }                                                                                               \
  ZQ_VEREJNE int32_t P##_SetConfig(int32_t handle, int32_t rychlost, int32_t timeout,             \
                                   int32_t opakovani) {                                           \
    return zqdrv::Chranene(zqdrv::KodNastaveni, [&] {                                             \
      return (tabulka).Nastav(handle, rychlost, timeout, opakovani);                              \
    });                                                                                           \
  }                                                                                               \
  ZQ_VEREJNE int32_t P##_GetConfig(int32_t handle, int32_t* rychlost, int32_t* timeout,           \
                                   int32_t* opakovani) {                                          \
    return zqdrv::Chranene(zqdrv::KodParametr, [&] {                                              \
      return (tabulka).Konfigurace(handle, rychlost, timeout, opakovani);                         \
    });                                                                                           \
  }                                                                                               \
  ZQ_VEREJNE int32_t P##_Send(int32_t handle, const int32_t* dotaz, int32_t* odpoved,             \
                              int32_t* delka, int32_t* status) {                                  \
    return zqdrv::Chranene(                                                                       \
        zqdrv::KodCteni, [&] { return (tabulka).Posli(handle, dotaz, odpoved, delka, status); }); \
  }                                                                                               \
  ZQ_VEREJNE int32_t P##_Done(int32_t* handle) {                                                  \
    return zqdrv::Chranene(zqdrv::KodParametr, [&] { return (tabulka).Zavri(handle); });          \
  }                                                                                               \
  ZQ_VEREJNE int32_t P##_Error(int32_t kod, int32_t* text) {                                      \
    if (text == nullptr) return zqdrv::KodParametr;                                               \
    return zqdrv::Chranene(zqdrv::KodParametr, [&] {                                              \
      zqdrv::ZapisText(kod, text);                                                                \
      return zqdrv::KodOk;                                                                        \
    });                                                                                           \
  }
