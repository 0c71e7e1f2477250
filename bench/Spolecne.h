#pragma once
// What the benchmarks of a running measurement share: a program folder with
// the LAN interface library, the in-process simulator on loopback, the main
// window set up for its channels, and waiting as the program waits.

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "Dekl.h"
#include "Hlavni.h"
#include "Simulator.h"
#include "Slozka.h"

// Waits in a real event loop, as the program does, so the workers' blocking
// calls into the main thread are served at once (QTest::qWaitFor sleeps
// between its rounds).
inline bool Smycka(const std::function<bool()>& f, int ms) {
  QEventLoop smycka;
  QTimer hlidac;
  QObject::connect(&hlidac, &QTimer::timeout, &smycka, [&] {
    if (f()) smycka.quit();
  });
  hlidac.start(2);
  QTimer::singleShot(ms, &smycka, &QEventLoop::quit);
  if (!f()) smycka.exec();
  return f();
}

// Lets the program run `ms` milliseconds with nothing else waking the main thread.
inline void Bez(int ms) {
  QEventLoop smycka;
  QTimer::singleShot(ms, &smycka, &QEventLoop::quit);
  smycka.exec();
}

// As Smycka; when `f` does not come true the benchmark ends at once.
inline void Cekej(const std::function<bool()>& f, int ms) {
  if (Smycka(f, ms)) return;
  std::fprintf(stderr, "%s: the measurement did not get going\n",
               qPrintable(QCoreApplication::applicationName()));
  std::fflush(nullptr);
  std::_Exit(1);  // its threads may still run: no destructors
}

// Channel i of `kanalu` is peripheral i % 32 of module 1 + i / 32; the
// simulator answers for each with `hodnota(i)`, on a line of `bd` Bd (0: no
// line emulation).
struct TProstredi {
  QTemporaryDir slozka;
  zqsim::TSimulator sim;

  TProstredi(int kanalu, const std::function<zqsim::THodnota(int)>& hodnota, int32_t bd = 0) {
    const std::filesystem::path p(slozka.path().toStdString());
    std::filesystem::create_symlink(std::filesystem::path(ZQ_BIN) / "libWZQ1407.so",
                                    p / "libWZQ1407.so");
    NastavSlozkuProgramu(p);
    for (int i = 0; i < kanalu; ++i)
      sim.PridejPeriferii(static_cast<uint8_t>(1 + i / 32), static_cast<uint8_t>(i % 32),
                          hodnota(i));
    sim.NastavRychlostLinky(bd);
    sim.SpustUdp(0);
  }

  // The window set up for `kanalu` channels over the LAN converter, the data
  // file in the folder; the channel table it was given.
  TPoleKanal Nastav(TForm1& w, int kanalu) {
    TPoleKanal k;
    InitKanaly(k);
    for (int i = 0; i < kanalu; ++i) {
      k[static_cast<size_t>(i)].Adresa = static_cast<uint8_t>(1 + i / 32);
      k[static_cast<size_t>(i)].Periferie = static_cast<uint8_t>(i % 32);
    }
    Kanaly.Nahrad(k);
    CFG.PocetKanalu = kanalu;
    w.ComboBox3->setCurrentIndex(4);
    w.Edit1->setText(QStringLiteral("127.0.0.1"));
    w.Edit2->setText(QString::number(sim.UdpPort()));
    w.Edit6->setText(QStringLiteral("500"));
    w.Edit8->setText(QStringLiteral("100"));
    w.Edit9->setText(QStringLiteral("1"));
    w.Edit3->setText(slozka.filePath(QStringLiteral("data.csv")));
    return k;
  }
};

// Median, smallest and largest of a set of figures.
struct TRozptyl {
  double Median = 0, Min = 0, Max = 0;
};
inline TRozptyl Rozptyl(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return {};
  const size_t n = v.size();
  return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}
