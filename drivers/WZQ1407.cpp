// Interface library of the LAN converter ZQ-1407 (UDP).  Parameters: entry
// 0 the address of the IP text, entry 1 the UDP port, entry 2 the LAN
// time-out in ms.
#include "Ovladac.h"
#include "Udp.h"

namespace {
zqdrv::TTabulka tabulka;
}

ZQ_VEREJNE int32_t WZQ1407_Init(int32_t* handle, const intptr_t* parametry) {
  return zqdrv::Chranene(zqdrv::KodSoket, [&] {
    if (handle == nullptr || parametry == nullptr) return zqdrv::KodParametr;
    std::unique_ptr<zqdrv::TSpojeni> spojeni;
    const int32_t kod = zqdrv::OtevriUdp(reinterpret_cast<const char*>(parametry[0]), parametry[1],
                                         parametry[2], spojeni);
    if (kod != zqdrv::KodOk) return kod;
    return tabulka.Pridej(std::move(spojeni), handle);
  });
}

ZQ_SPOLECNE_VSTUPY(WZQ1407, tabulka)
