// Interface library of the PCI card PCI-1407: found by its PCI IDs, its
// UART in the card's I/O region, reached through ioperm().
#include "Karta.h"
#include "Ovladac.h"

namespace {
zqdrv::TTabulka tabulka;
}

ZQ_VEREJNE int32_t WPCI1407_Init(int32_t* handle) {
  return zqdrv::Chranene(zqdrv::KodPciNenalezena, [&] {
    if (handle == nullptr) return zqdrv::KodParametr;
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    if (int32_t kod = zqdrv::OtevriKartuPci("/sys/bus/pci/devices", spojeni); kod != zqdrv::KodOk)
      return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WPCI1407, tabulka)
