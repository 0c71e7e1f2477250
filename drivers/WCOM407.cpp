// Interface library of a standard COM port.  COM n is /dev/ttyS(n-1) unless
// the program's folder holds dosdevices/comn, which then names the device
// (a USB adapter, or the pseudo-terminal of the module-bus simulator).  A
// device that went away is looked up again by a later read where the opening
// found it: a port named by the override only through the override (the link,
// not the node it led to before), never /dev/ttyS(n-1) meanwhile, which is
// another port; a port without an override only at /dev/ttyS(n-1).
#include <optional>
#include <string>

#include "Ovladac.h"
#include "Seriova.h"

// Where COM n leads without an override: this and n-1.  Only a test build of
// the library (tests/drivers) sets another folder, where a line of the test's
// own stands in for the port the fallback would take.
#ifndef ZQ_PREDPONA_PORTU
#define ZQ_PREDPONA_PORTU "/dev/ttyS"
#endif

namespace {
zqdrv::TTabulka tabulka;
}

ZQ_VEREJNE int32_t WCOM407_Init(int32_t* handle, int32_t port) {
  return zqdrv::Chranene(zqdrv::KodOtevreni, [&] {
    if (handle == nullptr) return zqdrv::KodParametr;
    if (port < 1 || port > 256) return zqdrv::KodCisloPortu;
    auto najdi = zqdrv::PrepisNeboJinak("com" + std::to_string(port), [port] {
      return std::optional<std::string>(ZQ_PREDPONA_PORTU + std::to_string(port - 1));
    });
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    if (int32_t kod = zqdrv::OtevriSeriovyPort(najdi, spojeni); kod != zqdrv::KodOk) return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WCOM407, tabulka)
