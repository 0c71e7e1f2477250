#pragma once
// A serial port through termios: raw mode, 8N1, no flow control, reads by
// poll() against the try's deadline, stale input flushed before a request.

#include <memory>
#include <string>

#include "Ovladac.h"

namespace zqdrv {

// Opens the device (exclusively) and returns the connection, or a status code.
int32_t OtevriSeriovyPort(const std::string& zarizeni, std::unique_ptr<TSpojeni>& spojeni);

}  // namespace zqdrv
