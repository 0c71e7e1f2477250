#pragma once
// The RS-485 line and the LAN converter as both the program and the
// interface libraries know them: the line speeds, the time one frame may
// take on the line, and the ranges of the line parameters.  The one home of
// these facts; plain C++, header only (CMake target zq_rozhrani).

#include <array>
#include <cstdint>

namespace linka {

// Line speeds in Bd, in the order of the main window's list.
inline constexpr std::array<int32_t, 6> Rychlosti = {4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int32_t VychoziRychlost = 9600;

constexpr bool PodporovanaRychlost(int32_t rychlost) {
  for (int32_t r : Rychlosti)
    if (r == rychlost) return true;
  return false;
}

// Whole milliseconds allowed for one frame: the smallest whole number not
// less than 120 bit times at the speed (4800 Bd: 25 ms ... 115200 Bd: 2 ms);
// 25 ms for a speed outside the list.
constexpr int32_t DobaRamce(int32_t rychlost) {
  if (!PodporovanaRychlost(rychlost)) return 25;
  return (120 * 1000 + rychlost - 1) / rychlost;
}
static_assert(DobaRamce(4800) == 25 && DobaRamce(9600) == 13 && DobaRamce(19200) == 7 &&
              DobaRamce(38400) == 4 && DobaRamce(57600) == 3 && DobaRamce(115200) == 2);

// Ranges of the line parameters (inclusive).
inline constexpr int32_t MinTimeout = 1;  // RS-485 time-out, ms
inline constexpr int32_t MaxTimeout = 65535;
inline constexpr int32_t MinOpakovani = 0;  // retries of a failed request
inline constexpr int32_t MaxOpakovani = 15;
inline constexpr int32_t MinLanTimeout = 1;  // LAN time-out, ms
inline constexpr int32_t MaxLanTimeout = 65535;
// A task file keeps any UDP port 0..65535; a measurement needs 1..65534.
inline constexpr int32_t MaxUdpPort = 65535;
inline constexpr int32_t MinUdpPortMereni = 1;
inline constexpr int32_t MaxUdpPortMereni = 65534;

}  // namespace linka
