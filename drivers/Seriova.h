#pragma once
// A serial port through termios: raw mode, 8N1, no flow control, reads by
// poll() against the try's deadline, stale input flushed before a request.
// A device that goes away (a USB converter pulled out, the far end of a
// pseudo-terminal closed) is opened again by a later _Send once it is back.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Ovladac.h"

namespace zqdrv {

// Where the line's device is now: its path, or nothing when there is none to
// name (no USB converter anywhere).  Asked at the opening and again at every
// reopening, so that a link or a search leads to the device plugged in now,
// not to the node the lost one had.
using TNajdiZarizeni = std::function<std::optional<std::string>()>;

// The lookup of a device that dosdevices/<prepis> may name, `jinak` where it
// does not.  What the first call (the opening) finds decides for the line's
// whole life: a line opened through the override is looked for only there
// again, so while the override is gone the device counts as away rather than
// the line landing on the port `jinak` leads to; `jinak` alone is asked for a
// line it found, as it was at the opening.
TNajdiZarizeni PrepisNeboJinak(std::string prepis, TNajdiZarizeni jinak);

// Opens the device (exclusively) and returns the connection, or a status code;
// `kodNeexistuje` is the code of a device that is not there.  Every failure,
// of the opening and later of the line, is recorded for _Error with the
// device's name (ZapamatujSelhani).
int32_t OtevriSeriovyPort(TNajdiZarizeni najdi, std::unique_ptr<TSpojeni>& spojeni,
                          int32_t kodNeexistuje = KodNeexistuje);

}  // namespace zqdrv
