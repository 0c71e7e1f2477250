// Writes pictures of the viewer's window into the folder given as the
// argument: prohlizec-rada.png (a week's series of daily files, a day
// missing, two cursors) and prohlizec-zapis.png (a file being written,
// followed, zoomed into its last hour, with cursors).

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <functional>

#include "Cp1250.h"
#include "CteniDat.h"
#include "GrafKanalu.h"
#include "OknoProhlizece.h"
#include "ZaznamyOkna.h"

namespace fs = std::filesystem;

namespace {

bool Pockej(const std::function<bool()>& hotovo) {
  QElapsedTimer t;
  t.start();
  while (!hotovo()) {
    if (t.elapsed() > 60000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  // The plot's last drawing and the table's answers.
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return true;
}

// A little noise that is the same at every run.
double Sum(int64_t t, int k) {
  const uint32_t x = static_cast<uint32_t>(t * 2654435761u + static_cast<uint32_t>(k) * 40503u);
  return static_cast<double>((x >> 8) % 1000) / 1000.0 - 0.5;
}

constexpr double Den = 86400;

// A boiler room: the boiler's and the return water's temperature follow the
// day, the pressure drifts, the outside temperature lags the sun.
double Kotelna(int, int k, int64_t t) {
  const double d = 2 * M_PI * static_cast<double>(t % 86400) / Den;
  switch (k) {
    case 0: return 68 - 7 * std::cos(d) + 0.6 * Sum(t, k);
    case 1: return 49 - 4 * std::cos(d - 0.4) + 0.4 * Sum(t, k);
    case 2: return 1.85 + 0.08 * std::sin(static_cast<double>(t) / 20000.0) + 0.01 * Sum(t, k);
    default: return 1.5 - 5 * std::cos(d - 0.8) + 0.3 * Sum(t, k);
  }
}

// A line that runs up and down each few minutes.
double Linka(int, int k, int64_t t) {
  const double s = static_cast<double>(t % 3600);
  switch (k) {
    case 0: return 180 + 25 * std::sin(s / 600 * M_PI) + 2 * Sum(t, k);
    case 1: return 3.2 + 0.8 * std::sin(s / 300 * M_PI) + 0.1 * Sum(t, k);
    default: return 42 + 6 * std::sin(s / 1800 * M_PI) + 0.5 * Sum(t, k);
  }
}

bool Uloz(TOknoProhlizece& o, const QDir& slozka, const char* jmeno) {
  const bool ok = o.grab().save(slozka.filePath(QString::fromLatin1(jmeno)));
  std::printf("%s %s\n", jmeno, ok ? "written" : "FAILED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: prohlizec_snimky FOLDER\n");
    return 2;
  }
  const QDir slozka(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir tmp;
  tmp.setAutoRemove(qEnvironmentVariableIsEmpty("ZQ_SNIMKY_NECHAT"));
  const fs::path kde(tmp.path().toStdString());
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((kde / "mezipamet").string()));
  NastavSlozkuProgramu(kde);
  NastavZdrojCasu([] { return g_hodiny; });
  NastavMistni(MistniCeske());
  bool ok = true;

  {
    // A week of December by the minute, the 4th missing.
    const std::vector<std::string> nazvy{Cp1250("Teplota kotle"), Cp1250("Vratná voda"),
                                         Cp1250("Tlak"), Cp1250("Venkovní teplota")};
    for (int d = 1; d <= 7; ++d)
      if (d != 4)
        ok = VytvorSoubor(kde / ("kotelna_2026-12-0" + std::to_string(d) + ".csv"),
                          Pulnoc(2026, 12, d), 60, 1440, nazvy, Kotelna) &&
             ok;
    TOknoProhlizece o;
    o.resize(1280, 820);
    o.show();
    o.Otevri({kde / "kotelna_2026-12-01.csv"}, true);
    ok = Pockej([&] { return o.Cteni().JeOtevreno() && !o.Cteni().Indexuje(); }) && ok;
    o.Graf->NastavKurzor(0, static_cast<double>(Pulnoc(2026, 12, 2) + 6 * 3600) * 1000);
    o.Graf->NastavKurzor(1, static_cast<double>(Pulnoc(2026, 12, 6) + 15 * 3600) * 1000);
    ok = Pockej(
             [&] { return !std::isnan(o.Graf->CasKurzoru(1)) && o.Graf->Souhrny().size() == 4; }) &&
         ok;
    ok = Uloz(o, slozka, "prohlizec-rada.png") && ok;
  }
  {
    // A file being written: two hours by the second, then a minute more
    // appended while the window follows it.
    const std::vector<std::string> nazvy{Cp1250("Otáčky"), Cp1250("Proud motoru"),
                                         Cp1250("Teplota ložiska")};
    const int64_t od = Pulnoc(2026, 12, 8) + 8 * 3600;
    const fs::path p = kde / "linka_2026-12-08.csv";
    ok = VytvorSoubor(p, od, 1, 7200, nazvy, Linka) && ok;
    TOknoProhlizece o;
    o.resize(1280, 820);
    o.show();
    o.Otevri({p}, false);
    ok = Pockej([&] { return o.Cteni().JeOtevreno() && !o.Cteni().Indexuje(); }) && ok;
    std::string dalsi;
    for (int i = 7200; i < 7260; ++i) dalsi += RadekOkna(od + i, i, 3, Linka);
    Pripoj(p, QByteArray::fromStdString(dalsi));
    ok = Pockej([&] { return o.Cteni().PocetZaznamu() == 7260; }) && ok;
    o.Graf->OsaY->setCurrentIndex(1);
    o.Graf->Priblizi(static_cast<double>(od + 7260 - 3600) * 1000,
                     static_cast<double>(od + 7259) * 1000);
    o.Graf->NastavKurzor(0, static_cast<double>(od + 7260 - 2700) * 1000);
    o.Graf->NastavKurzor(1, static_cast<double>(od + 7260 - 600) * 1000);
    ok = Pockej(
             [&] { return !std::isnan(o.Graf->CasKurzoru(1)) && o.Graf->Souhrny().size() == 3; }) &&
         ok;
    ok = Uloz(o, slozka, "prohlizec-zapis.png") && ok;
  }
  NastavZdrojCasu({});
  NastavSlozkuProgramu({});
  return ok ? 0 : 1;
}
