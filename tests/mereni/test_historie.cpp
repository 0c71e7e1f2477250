// The history of the channels and the health of the communication: bounds,
// thinning and gaps of the history; the statistics of a measurement against
// the simulator's own counters.

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>

#include "Dekl.h"
#include "Historie.h"
#include "Mereni.h"
#include "Mistni.h"
#include "Simulator.h"
#include "Slozka.h"

namespace fs = std::filesystem;
using namespace zqsim;

class TestHistorie : public QObject {
  Q_OBJECT

 private slots:
  // 25 hours of one pass a second, across 2^32 ms of the run (49.7 days,
  // where 32-bit times wrapped): the last hour stays at full rate, the
  // whole run thinned within MaxUseku intervals keeps its extremes, failed
  // reads stay gaps and never turn into zeros, times only grow.
  void mezeDeleniAMezery() {
    THistorie h;
    h.Zacni(1, {1, 2}, 1);
    const uint64_t zacatek = (uint64_t{1} << 32) - 10u * 3600 * 1000;
    const uint64_t konec = zacatek + 25u * 3600 * 1000;
    const uint64_t vypadekOd = zacatek + 10u * 3600 * 1000, vypadekDo = vypadekOd + 3600 * 1000;
    // The run's first pass, then nothing read (the clock the test sets
    // jumps) until 10 hours before 2^32.
    h.Pridej(1, 0, 0, 15, 2.0);
    h.Pridej(1, 1, 0, 3.5, 1.0);
    size_t bodu = 1, poMinute = 0;
    float min = 15, max = 15;
    for (uint64_t t = zacatek; t < konec; t += 1000, ++bodu) {
      if (t == zacatek + 60000) poMinute = h.Pamet();
      const bool chyba = (t >= vypadekOd && t < vypadekDo) || bodu % 100 == 7;
      const double v = 15 + 5 * std::sin(static_cast<double>(t - zacatek) / 1e6) +
                       (t == zacatek + 5000 ? 30 : 0);
      if (!chyba)
        min = std::min(min, static_cast<float>(v)), max = std::max(max, static_cast<float>(v));
      h.Pridej(1, 0, t, chyba ? NAN : v, 2.0, chyba ? 20 : 0);
      h.Pridej(1, 1, t, 3.5, 1.0);
    }

    const std::vector<TBodHistorie> posledni = h.Body(0);
    QCOMPARE(posledni.size(), size_t{3601});
    QCOMPARE(posledni.back().CasMs, konec - 1000);
    QCOMPARE(posledni.front().CasMs, konec - 1000 - THistorie::PlnaDelkaMs);
    for (size_t i = 1; i < posledni.size(); ++i)
      QCOMPARE(posledni[i].CasMs, posledni[i - 1].CasMs + 1000);
    size_t mezer = 0;
    for (const TBodHistorie& b : posledni) mezer += std::isnan(b.Hodnota);
    QVERIFY(mezer >= 35 && mezer <= 37);  // every 100th read failed
    QCOMPARE(h.Body(0, konec - 10000).size(), size_t{10});

    const std::vector<TUsekHistorie> useky = h.Useky(0);
    QVERIFY(useky.size() <= THistorie::MaxUseku);
    QVERIFY(useky.size() > 2);
    QCOMPARE(useky.front().OdMs, uint64_t{0});
    QVERIFY(useky.back().OdMs + h.SirkaUsekuMs() >= konec);
    size_t pocet = 0, mezeroveUseky = 0;
    float umin = INFINITY, umax = -INFINITY;
    for (size_t i = 0; i < useky.size(); ++i) {
      const TUsekHistorie& u = useky[i];
      if (i > 0) QVERIFY(u.OdMs > useky[i - 1].OdMs);
      pocet += u.Pocet;
      QVERIFY(u.OdMs % h.SirkaUsekuMs() == 0);
      if (std::isnan(u.Min)) {
        QCOMPARE(u.Chyb, u.Pocet);  // a gap, not a zero
        QVERIFY(u.OdMs + h.SirkaUsekuMs() > vypadekOd && u.OdMs < vypadekDo);
        ++mezeroveUseky;
      } else {
        umin = std::min(umin, u.Min);
        umax = std::max(umax, u.Max);
      }
    }
    QCOMPARE(pocet, bodu);
    QVERIFY(mezeroveUseky > 0);
    QCOMPARE(umin, min);
    QCOMPARE(umax, max);  // the single spike at 5 s survives every thinning

    const TStatistikaKanalu s = h.Statistika(0);
    QCOMPARE(s.Cteni, static_cast<uint64_t>(bodu));
    QCOMPARE(s.PodleKodu.at(20), s.Chyby);
    QCOMPARE(h.Statistika(1).Chyby, uint64_t{0});
    QCOMPARE(h.PodleModulu().at(2).Cteni, static_cast<uint64_t>(bodu));
    QCOMPARE(h.Celkem().SoucetOdezvyMs, 3.0 * static_cast<double>(bodu));
    // Two channels' worth: well within 64 MiB for 256 channels.
    QVERIFY(h.Pamet() < size_t{2} * 64 * 1024 * 1024 / 256);
    // Memory follows what is held: a minute's points are not an hour's.
    QVERIFY(poMinute > 0 && poMinute * 10 < h.Pamet());
  }

  // A thread of an earlier measurement, stuck in a library call until the
  // next one started, adds nothing to it: every addition names its
  // measurement and is checked under the history's lock.
  void jenVlastniMereni() {
    THistorie h;
    h.Zacni(7, {1}, 1, {100, 0, 0});
    h.Pridej(6, 0, 1000, 1.5, 2.0);
    h.PridejCteni(6, 0, 120.0, 20);
    h.PridejPrubeh(6, 5000);
    QVERIFY(h.Body(0).empty());
    QVERIFY(h.Useky(0).empty());
    QCOMPARE(h.Statistika(0).Cteni, uint64_t{0});
    QCOMPARE(h.Prubehy().Pocet, uint64_t{0});
    h.Pridej(7, 0, 1000, 1.5, 2.0);
    h.PridejCteni(7, 0, 90.0, 20);  // 80 % of the line's 100 ms or more: waited it out
    h.PridejCteni(7, 0, 70.0, 21);  // a bad answer, soon
    QCOMPARE(h.Body(0).size(), size_t{1});
    QCOMPARE(h.Statistika(0).Chyby, uint64_t{2});
    QCOMPARE(h.Statistika(0).Vyprselo, uint64_t{1});
  }

  // A measurement against the simulator with lost answers and an absent
  // module: the reads and failures it counts are exactly the requests the
  // simulator received and left unanswered, per module too; passes slower
  // than the period are told.
  void statistikaJakoSimulator() {
    QTemporaryDir slozka;
    NastavSlozkuProgramu(fs::path(slozka.path().toStdString()));
    fs::create_symlink(fs::path(ZQ_BIN) / "libWZQ1407.so",
                       fs::path(slozka.path().toStdString()) / "libWZQ1407.so");
    NastavMistni(MistniCeske());
    TSimulator sim;
    sim.NastavSemeno(7);
    sim.PridejPeriferii(1, 0, {TFormat::Uint32, TPrubeh::Konstanta, 5, 0, 60, 1, 0});
    sim.PridejPeriferii(1, 1, {TFormat::Float32, TPrubeh::Konstanta, 2.5, 0, 60, 1, 1});
    sim.PridejPoruchu({TDruhPoruchy::Zahozeni, 0.3, -1, 0, 1});
    QVERIFY(sim.SpustUdp(0));

    TCFG u;
    InitCFG(u);
    u.Rozhrani = "ZQ-1407U";
    u.IPAdresa = "127.0.0.1";
    u.UDPPort = sim.UdpPort();
    u.LANTimeout = 400;
    u.RS485Timeout = 150;
    u.RS485Opakovani = 0;
    u.PocetKanalu = 12;
    u.JmenoSouboru = "h.csv";
    TPoleKanal k;
    InitKanaly(k);
    for (size_t i = 0; i < 12; ++i) {
      k[i].Adresa = i < 4 ? 1 : 2;  // module 2 does not exist: 8 silent reads a pass
      k[i].Periferie = static_cast<uint8_t>(i % 2);
    }
    Kanaly.Nahrad(k);

    TMereni m;
    QVERIFY(m.Start(u).Uspech());
    QVERIFY(QTest::qWaitFor([&] { return m.Historie().Prubehy().Pocet >= 3; }, 20000));
    m.Zastav();
    QVERIFY(QTest::qWaitFor([&] { return !m.VlaknaBezi(); }, 5000));

    const TPocitadla p = sim.Pocitadla();
    const TStatistikaKanalu c = m.Historie().Celkem();
    QCOMPARE(c.Cteni, p.Dotazy);
    QCOMPARE(c.Chyby, p.Potlacene);
    const auto moduly = m.Historie().PodleModulu();
    QCOMPARE(moduly.at(1).Cteni, sim.PocetDotazu(1));
    QCOMPARE(moduly.at(2).Cteni, sim.PocetDotazu(2));
    QCOMPARE(moduly.at(2).Chyby, moduly.at(2).Cteni);
    QVERIFY(moduly.at(1).Chyby > 0 && moduly.at(1).Chyby < moduly.at(1).Cteni);
    QVERIFY(moduly.at(2).MaxOdezvyMs >= 150);  // each waited out the line's time-out
    QCOMPARE(moduly.at(2).PosledniKod != 0, true);
    for (const TBodHistorie& b : m.Historie().Body(11)) QVERIFY(std::isnan(b.Hodnota));
    // Eight silent reads of 150 ms: every pass outlasts the 1-second period.
    QVERIFY(m.Historie().Prubehy().PomalejsiNezPerioda());
    NastavSlozkuProgramu({});
  }
};

QTEST_MAIN(TestHistorie)
#include "test_historie.moc"
