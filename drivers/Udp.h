#pragma once
// The LAN converter over UDP: one datagram per try, answers accepted only
// from the converter's address and port and only with the try's sequence.

#include <memory>

#include "Ovladac.h"

namespace zqdrv {

// `ip`: dotted IPv4 text; `port` 1..65535; `lanTimeout` ms 0..65535.
int32_t OtevriUdp(const char* ip, intptr_t port, intptr_t lanTimeout,
                  std::unique_ptr<TSpojeni>& spojeni);

}  // namespace zqdrv
