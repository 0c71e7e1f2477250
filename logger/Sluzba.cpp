#include "Sluzba.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {
// Without a watchdog the status line is refreshed this often.
constexpr std::chrono::milliseconds ObnovaStavu{15000};
}  // namespace

TSluzba::TSluzba(std::function<std::string()> pocty) : pocty_(std::move(pocty)) {
  // The environment is read, never changed, by this program.
  const char* soket = std::getenv("NOTIFY_SOCKET");  // NOLINT(concurrency-mt-unsafe)
  zapnuto_ = soket != nullptr && *soket != '\0';
  uint64_t us = 0;
  // Also false when WATCHDOG_PID names another process: the watchdog is
  // then not this process's.
  if (zapnuto_ && sd_watchdog_enabled(0, &us) > 0 && us > 0)
    interval_ = std::max(
        std::chrono::milliseconds(1),
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(us / 2)));
  tik_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tik_, &QTimer::timeout, this, [this] {
    Posli((interval_.count() > 0 ? "WATCHDOG=1\nSTATUS=měří, " : "STATUS=měří, ") + pocty_());
  });
}

void TSluzba::Pripraveno() {
  if (!zapnuto_) return;
  Posli("READY=1\nSTATUS=měří, " + pocty_());
  tik_.start(interval_.count() > 0 ? interval_ : ObnovaStavu);
}

void TSluzba::Zastavuje() {
  if (!zapnuto_) return;
  tik_.stop();
  Posli("STOPPING=1\nSTATUS=zastavuje se, " + pocty_());
}

void TSluzba::Posli(const std::string& zprava) const {
  // A refused message changes nothing of the measurement; systemd sees the
  // missing petting.
  static_cast<void>(sd_notify(0, zprava.c_str()));
}
