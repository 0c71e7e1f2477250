#pragma once
// zq-logger run in the test's own process (SpustLogger), its output kept,
// stopped by SIGTERM as `systemctl stop` stops it.

#include <QTimer>

#include <csignal>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"

struct TBeh {
  int Kod = -1;
  std::string Vystup, Chyby;
};

// After each sample reported, `akce(n)` runs once; when it returns true the
// logger gets SIGTERM.
inline TBeh Spust(const std::vector<std::string>& argumenty, const std::function<bool(int)>& akce) {
  TBeh b;
  std::ostringstream vystup, chyby;
  QTimer hlidac;
  int videno = 0;
  bool poslano = false;
  QObject::connect(&hlidac, &QTimer::timeout, [&] {
    while (!poslano &&
           vystup.str().find("vzorek " + std::to_string(videno + 1) + ":") != std::string::npos) {
      ++videno;
      if (akce(videno)) {
        poslano = true;
        raise(SIGTERM);
      }
    }
  });
  hlidac.start(20);
  bool visi = false;
  b.Kod = SpustLogger(argumenty, vystup, chyby, visi);
  b.Vystup = vystup.str();
  b.Chyby = chyby.str();
  return b;
}

// SIGTERM once `vzorku` samples were reported (0: none is sent).
inline TBeh Spust(const std::vector<std::string>& argumenty, int vzorku) {
  return Spust(argumenty, [vzorku](int n) { return vzorku > 0 && n >= vzorku; });
}
