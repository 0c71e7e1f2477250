#pragma once
// The measuring cards: an RS-485 line behind a 16550-compatible UART in the
// computer's I/O port space, driven by polling through ioperm()/inb/outb.
// Without the card, or without the right to its ports, opening fails with
// the card's own code; nothing is ever read from an absent card.

#include <memory>

#include "Ovladac.h"

namespace zqdrv {

// ISA card PCI-407 at `bazovaAdresa` (8 ports).
int32_t OtevriKartuIsa(int32_t bazovaAdresa, std::unique_ptr<TSpojeni>& spojeni);

// PCI card PCI-1407: found by its vendor and device ID in
// /sys/bus/pci/devices (`slozkaPci`), its UART in the first I/O region.
inline constexpr uint16_t PciVyrobce = 0x10B5;
inline constexpr uint16_t PciZarizeni = 0x1407;
int32_t OtevriKartuPci(const std::string& slozkaPci, std::unique_ptr<TSpojeni>& spojeni);

// The I/O region of the first PCI device in `slozkaPci` with the given IDs;
// false when there is none.
bool NajdiPciKartu(const std::string& slozkaPci, uint16_t vyrobce, uint16_t zarizeni,
                   uint32_t& zacatek, uint32_t& delka);

}  // namespace zqdrv
