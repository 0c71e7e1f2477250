#pragma once
// A serial port through termios: raw mode, 8N1, no flow control, reads by
// poll() against the try's deadline, stale input flushed before a request.

#include <memory>
#include <string>

#include "Ovladac.h"

namespace zqdrv {

// Opens the device (exclusively) and returns the connection, or a status code;
// `kodNeexistuje` is the code of a device that is not there.  Every failure,
// of the opening and later of the line, is recorded for _Error with the
// device's name (ZapamatujSelhani).
int32_t OtevriSeriovyPort(const std::string& zarizeni, std::unique_ptr<TSpojeni>& spojeni,
                          int32_t kodNeexistuje = KodNeexistuje);

}  // namespace zqdrv
