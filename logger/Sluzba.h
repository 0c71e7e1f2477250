#pragma once
// zq-logger as a systemd service of Type=notify: it says when the
// measurement runs (READY=1), shows how it does (STATUS=) and that it stops
// (STOPPING=1), and pets the watchdog (WATCHDOG=1).
//
// The petting is a timer of the main thread's event loop, the thread that
// writes the data file and serves the stop: a write that blocks or a
// deadlock there stops the petting and systemd restarts the service.  It
// does not follow the samples: a period of an hour pets as often as one of
// a second.  Outside systemd (no NOTIFY_SOCKET) nothing is sent.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

class TSluzba : public QObject {
 public:
  // `pocty` says how far the run is ("12 vzorků", UTF-8), for the status
  // line `systemctl status` shows; asked for with each petting.  Whether
  // systemd listens and the watchdog's interval are taken from the
  // environment here; each message goes to NOTIFY_SOCKET as it is then.
  explicit TSluzba(std::function<std::string()> pocty);
  TSluzba(const TSluzba&) = delete;
  TSluzba& operator=(const TSluzba&) = delete;

  // The measurement runs: READY=1, then the petting begins, at half the
  // watchdog's interval (without a watchdog only the status is refreshed).
  void Pripraveno();
  // The stop begins: STOPPING=1; the petting ends, systemd's stop time-out
  // takes over.
  void Zastavuje();

  // Run by systemd: NOTIFY_SOCKET is set.
  bool Zapnuto() const { return zapnuto_; }
  // The time between two pettings, zero without a watchdog.
  std::chrono::milliseconds Interval() const { return interval_; }

 private:
  void Posli(const std::string& zprava) const;

  std::function<std::string()> pocty_;
  QTimer tik_;
  bool zapnuto_ = false;
  std::chrono::milliseconds interval_{0};
};
