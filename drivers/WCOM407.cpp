// Interface library of a standard COM port.  COM n is /dev/ttyS(n-1) unless
// the program's folder holds dosdevices/comn, which then names the device
// (a USB adapter, or the pseudo-terminal of the module-bus simulator).  A
// device that went away is looked up the same way when a later read opens it
// again: the link, not the node it led to before.
#include <optional>
#include <string>

#include "Ovladac.h"
#include "Seriova.h"

namespace {
zqdrv::TTabulka tabulka;
}

ZQ_VEREJNE int32_t WCOM407_Init(int32_t* handle, int32_t port) {
  return zqdrv::Chranene(zqdrv::KodOtevreni, [&] {
    if (handle == nullptr) return zqdrv::KodParametr;
    if (port < 1 || port > 256) return zqdrv::KodCisloPortu;
    auto najdi = [port]() -> std::optional<std::string> {
      return zqdrv::PrepisZarizeni("com" + std::to_string(port))
          .value_or("/dev/ttyS" + std::to_string(port - 1));
    };
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    if (int32_t kod = zqdrv::OtevriSeriovyPort(najdi, spojeni); kod != zqdrv::KodOk) return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WCOM407, tabulka)
