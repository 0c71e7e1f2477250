// Interface library of the ISA card PCI-407: the card's UART at its base
// address, reached through ioperm() (root or CAP_SYS_RAWIO).
#include "Karta.h"
#include "Ovladac.h"

namespace {
zqdrv::TTabulka tabulka;
}

ZQ_VEREJNE int32_t WPCI407_Init(int32_t* handle, int32_t bazovaAdresa) {
  return zqdrv::Chranene(zqdrv::KodIsaNenalezena, [&] {
    if (handle == nullptr) return zqdrv::KodParametr;
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    if (int32_t kod = zqdrv::OtevriKartuIsa(bazovaAdresa, spojeni); kod != zqdrv::KodOk) return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WPCI407, tabulka)
