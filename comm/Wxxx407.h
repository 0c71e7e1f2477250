#pragma once
// Binding of the interface library of one interface type, its status codes
// and their Czech texts, and the module read request.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "zq407.h"

// 100 signed 32-bit entries: texts (one character per entry, low 8 bits) and
// requests and responses (one byte value per entry).
using TPole100 = std::array<int32_t, ZQ407_POLE>;

// Opening parameters of an interface.  Entries are pointer-sized so entry 0
// can carry the address of the IP text of the LAN converter; every value
// stored in them is a 32-bit integer otherwise.
struct TParametryRozhrani {
  std::array<intptr_t, ZQ407_PARAMETRY> Polozka{};
};

// Interface type codes.
inline constexpr uint8_t TypCOM = 0;      // "COMx"      WCOM407
inline constexpr uint8_t TypPCI407 = 1;   // "PCI-407"   WPCI407
inline constexpr uint8_t TypPCI1407 = 2;  // "PCI-1407"  WPCI1407
inline constexpr uint8_t TypUSB = 3;      // "USB-1407"  WUSB1407
inline constexpr uint8_t TypZQ = 4;       // "ZQ-1407", "ZQ-1407U"  WZQ1407
inline constexpr uint8_t TypNeznamy = 99;

// Status codes produced by the program itself.
inline constexpr int32_t KodVyjimka = 4;                        // a fault inside a library call
inline constexpr int32_t KodDotaz = ZQ407_KOD_DOTAZ;            // the request could not be built
inline constexpr int32_t KodNeotevreno = ZQ407_KOD_NEOTEVRENO;  // bad type or entry point not bound
inline constexpr int32_t KodNacteni = 100;                      // + type: library file did not load
inline constexpr int32_t KodKnihovna = 110;                     // + type: entry point missing

int32_t InitRozhrani(uint8_t typ, int32_t* handle, TParametryRozhrani parametry);
int32_t NastavRozhrani(uint8_t typ, int32_t handle, int32_t rychlost, int32_t timeout,
                       int32_t opakovani);
int32_t PosliDotaz(uint8_t typ, int32_t handle, const TPole100& dotaz, TPole100& odpoved,
                   int32_t* delka, int32_t* status);
int32_t UkonciRozhrani(uint8_t typ, int32_t* handle);
// The text of the fault that broke the library of a type in this run (a C++
// exception or a crash inside one of its calls), Windows-1250; empty while
// it is sound.  A broken library is never called again: every operation for
// its type answers 4.
std::string PoruchaRozhrani(uint8_t typ);
// Tests only: forgets the faults, so a later test may bind the type anew
// (the broken libraries themselves stay loaded).
void ZapomenPoruchyRozhrani();

// A call into the library is in progress, or a closed interface still waits
// for its last call to return before _Done and unloading.
bool RozhraniVolaniProbiha();
int32_t ChybovyText(uint8_t typ, int32_t kod, TPole100& text);

int32_t TextNaPole(std::string_view text, TPole100& pole);
std::string PoleNaText(const TPole100& pole);

void DotazModulu(uint8_t typ, int32_t handle, uint8_t adresa, uint8_t funkce, uint8_t periferie,
                 uint8_t& delka, uint8_t& data0, uint8_t& data1, uint8_t& data2, uint8_t& data3,
                 uint8_t& status, TPole100& odpoved);
