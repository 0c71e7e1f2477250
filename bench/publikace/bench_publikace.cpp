// Publishing measured: the real window (offscreen), both threads, the LAN
// library, the simulator emulating 115200 Bd, and a mosquitto broker of its
// own on a free port of 127.0.0.1 with a subscriber.
//
//   bench_publikace [pruchod [runs]] [zpozdeni [samples]] [uloziste]
//
// pruchod   256 channels, publishing off and on in turn (5 runs of each by
//           default, 6 passes each): the pass time and the main thread's CPU
//           share, medians with their range; target: on within 1.02 x off.
// zpozdeni  256 channels, period 1 s: from a sample's time (its "ts") to its
//           arrival at a subscriber, median and 99th percentile (110 samples).
// uloziste  the store alone: appending a sample of 256 channels, making the
//           store durable, reading and acknowledging it.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <pwd.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Hlavni.h"
#include "Nastaveni.h"
#include "Servery.h"
#include "Spolecne.h"
#include "Uloziste.h"
#include "Zprava.h"

using namespace zqsim;

namespace {

using THodiny = std::chrono::steady_clock;

THodnota Sinus(int) { return {TFormat::Float32, TPrubeh::Sinus, 20, 5, 10, 1, 2}; }

double CpuHlavnihoVlaknaS() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Percentil(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  return v[i];
}

// The benchmark's broker, or the end of the benchmark.
struct TBroker {
  TPort Rezervace;
  uint16_t Port = Rezervace.Cislo();
  TServer Server;
  explicit TBroker(const QString& slozka) {
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
    const QString conf = slozka + "/mosquitto.conf";
    QFile f(conf);
    const passwd* u = ::getpwuid(::getuid());
    if (program.isEmpty() || !f.open(QIODevice::WriteOnly)) {
      std::fprintf(stderr, "bench_publikace: mosquitto is not installed\n");
      std::_Exit(1);
    }
    f.write(QStringLiteral("user %1\nlistener %2 127.0.0.1\npersistence false\n"
                           "allow_anonymous true\n")
                .arg(QString::fromUtf8(u ? u->pw_name : "root"))
                .arg(Port)
                .toUtf8());
    f.close();
    if (!Server.Spust(program, {QStringLiteral("-c"), conf}, Port)) {
      std::fprintf(stderr, "bench_publikace: %s\n", qPrintable(Server.Chyba));
      std::_Exit(1);
    }
  }
};

void Publikace(TProstredi& p, uint16_t port, bool zapnuto) {
  TNastaveniPublikace n;
  if (zapnuto) n.Server = "127.0.0.1";
  n.Port = port;
  n.Tema = "bench";
  ZapisNastaveniPublikace(CestaVeSlozceProgramu(JmenoNastaveniPublikace), n);
  QFile::remove(p.slozka.filePath(QStringLiteral("data.csv")));
}

// One run: `pruchodu` passes after the first; their times (µs) and the
// main thread's CPU time over them as a share of the wall time.
void Beh(TProstredi& p, int pruchodu, std::vector<double>& doby, std::vector<double>& podily) {
  TForm1 w;
  p.Nastav(w, 256);
  w.ComboBox2->setCurrentIndex(5);  // 115200 Bd
  w.show();
  w.Button2Click();
  const TMereni& m = w.Mereni();
  Cekej([&] { return m.CyklusHotov(); }, 30000);
  uint64_t posledni = m.DobaPrubehuUs();
  const double cpu0 = CpuHlavnihoVlaknaS();
  const auto t0 = THodiny::now();
  for (int i = 0; i < pruchodu; ++i) {
    Cekej([&] { return m.DobaPrubehuUs() != posledni; }, 30000);
    posledni = m.DobaPrubehuUs();
    doby.push_back(static_cast<double>(posledni));
  }
  const double stena = std::chrono::duration<double>(THodiny::now() - t0).count();
  podily.push_back((CpuHlavnihoVlaknaS() - cpu0) / stena);
  w.Button2Click();
  Cekej([&] { return !m.VlaknaBezi(); }, 10000);
}

void Pruchod(int behu) {
  TProstredi p(256, Sinus, 115200);
  TBroker b(p.slozka.path());
  std::vector<double> vyp, zap, podilVyp, podilZap;
  for (int i = 0; i < behu; ++i) {
    Publikace(p, b.Port, false);
    Beh(p, 6, vyp, podilVyp);
    Publikace(p, b.Port, true);
    Beh(p, 6, zap, podilZap);
  }
  const TRozptyl v = Rozptyl(vyp), z = Rozptyl(zap), pv = Rozptyl(podilVyp), pz = Rozptyl(podilZap);
  std::printf("pruchod: 256 channels at 115200 Bd, %d runs of each in turn, %zu passes each side\n",
              behu, vyp.size());
  std::printf("  pass, publishing off: median %.1f ms (%.1f-%.1f)\n", v.Median / 1000, v.Min / 1000,
              v.Max / 1000);
  std::printf("  pass, publishing on:  median %.1f ms (%.1f-%.1f)\n", z.Median / 1000, z.Min / 1000,
              z.Max / 1000);
  std::printf("  on / off: %.3f (spread %.3f-%.3f; target <= 1.02)\n", z.Median / v.Median,
              z.Min / v.Max, z.Max / v.Min);
  std::printf(
      "  main thread's CPU: off %.2f %% (%.2f-%.2f), on %.2f %% (%.2f-%.2f) of the wall time\n",
      100 * pv.Median, 100 * pv.Min, 100 * pv.Max, 100 * pz.Median, 100 * pz.Min, 100 * pz.Max);
}

void Zpozdeni(int vzorku) {
  TProstredi p(256, Sinus, 115200);
  TBroker b(p.slozka.path());
  Publikace(p, b.Port, true);
  TOdberatel o(b.Port, "bench/+/data");
  Cekej([&] { return o.Pripojen(); }, 5000);
  std::vector<std::pair<int64_t, std::string>> prijate;
  {
    TForm1 w;
    p.Nastav(w, 256);
    w.ComboBox2->setCurrentIndex(5);
    w.show();
    w.Button2Click();
    Cekej([&] { return o.Zpravy("/data").size() >= static_cast<size_t>(vzorku); },
          (vzorku + 30) * 1000);
    w.Button2Click();
  }
  std::vector<double> ms;
  for (const TOdberatel::TZprava& z : o.ZpravySCasem("/data")) {
    const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(z.Text)).object();
    const QDateTime ts = QDateTime::fromString(j["ts"].toString(), Qt::ISODateWithMs);
    ms.push_back(static_cast<double>(z.PrijatoMs - ts.toMSecsSinceEpoch()));
  }
  std::printf("zpozdeni: 256 channels, period 1 s, %zu samples\n", ms.size());
  std::printf("  sample time -> subscriber: median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n",
              Percentil(ms, 0.5), Percentil(ms, 0.99), Percentil(ms, 1.0));
}

void Uloziste() {
  QTemporaryDir d;
  TVzorekMereni s;
  s.Poradi = 1;
  s.CasMs = 1796721303004;
  s.BehMs = 1796721300000;
  for (int i = 0; i < 256; ++i)
    s.Kanaly.push_back({"Kanal " + std::to_string(i), "123,45", 123.45, 0});
  const TVzorekZpravy v = VzorekZpravy(s, "Linka1");
  constexpr int N = 2000;
  TUloziste u(d.path().toStdString(), 256u << 20);
  const auto t0 = THodiny::now();
  for (int i = 0; i < N; ++i) u.Pridej(Serializuj(v), 0);
  const double pridej = std::chrono::duration<double, std::micro>(THodiny::now() - t0).count() / N;
  const auto t1 = THodiny::now();
  u.Zajisti();
  const double zajisti = std::chrono::duration<double, std::milli>(THodiny::now() - t1).count();
  TMisto m = u.Potvrzeno(), dalsi;
  std::string data;
  uint32_t priznaky = 0;
  const auto t2 = THodiny::now();
  int precteno = 0;
  while (u.Cti(m, data, priznaky, dalsi)) {
    TVzorekZpravy zpet;
    Deserializuj(data, zpet);
    const std::string json = JsonZpravy(zpet, false);
    u.Potvrd(m, dalsi);
    m = dalsi;
    ++precteno;
  }
  const double cteni = std::chrono::duration<double, std::micro>(THodiny::now() - t2).count() /
                       std::max(1, precteno);
  std::printf("uloziste: a sample of 256 channels, %zu bytes stored\n", Serializuj(v).size());
  std::printf("  serialise and append: %.1f us; make durable (fdatasync of %d samples): %.2f ms\n",
              pridej, N, zajisti);
  std::printf("  read, render as JSON and acknowledge: %.1f us per sample\n", cteni);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bool pruchod = argc < 2, zpozdeni = argc < 2, uloziste = argc < 2;
  int behu = 5, vzorku = 110;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool cislo = i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]));
    if (a == "pruchod") {
      pruchod = true;
      if (cislo) behu = std::max(1, std::atoi(argv[++i]));
    } else if (a == "zpozdeni") {
      zpozdeni = true;
      if (cislo) vzorku = std::max(1, std::atoi(argv[++i]));
    } else if (a == "uloziste") {
      uloziste = true;
    }
  }
  if (uloziste) Uloziste();
  if (pruchod) Pruchod(behu);
  if (zpozdeni) Zpozdeni(vzorku);
  return 0;
}
