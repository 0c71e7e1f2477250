// zq-modsim: the module-bus simulator on the command line.  Runs until
// Ctrl-C or SIGTERM; see docs/simulator.md.  Its status lines (where it
// listens, its counters) are read by scripts/run.sh, scripts/over-instalaci.sh
// and bench/logger/soak.sh.
#include <algorithm>
#include <charconv>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Simulator.h"

namespace {

const char* const Navod =
    "Použití: zq-modsim [volby]\n"
    "Zastupuje měřicí moduly RS-485: odpovídá jako LAN konvertor na portu UDP a jako\n"
    "sériová linka na pseudoterminálech, dokud nepřijde SIGINT nebo SIGTERM (Ctrl-C).\n"
    "\n"
    "Volby:\n"
    "  --udp PORT            odpovídat jako LAN konvertor na portu UDP PORT\n"
    "                        (0: kterýkoli volný, vypíše se)\n"
    "  --bind ADRESA         adresa IPv4, na níž naslouchat (výchozí 127.0.0.1)\n"
    "  --pty ODKAZ           sériová linka na novém pseudoterminálu, ODKAZ je symbolický\n"
    "                        odkaz na něj (\"-\": bez odkazu); lze opakovat\n"
    "  --baud BD             napodobit rychlost linky: odpověď trvá jako po drátě\n"
    "  --module A:P=FORMÁT[:DRUH][:klíč=hodnota...]\n"
    "                        periferie P modulu A; FORMÁT uint32, float32, bool32;\n"
    "                        DRUH const, counter, ramp, sine, walk; klíče value, bits,\n"
    "                        start, step, min, height, offset, amp, period, dec\n"
    "  --fault PORUCHA       silent=A, drop=P, crc=P, addr=P, delay=MS[@P], dup=P,\n"
    "                        trunc=P, long=P, foreign=P, echo=P; za ní ,count=N ,module=A\n"
    "  --seed N              semínko náhodných poruch (výchozí 12345)\n"
    "  --stats SEKUND        vypisovat počitadla každých SEKUND\n"
    "  --config SOUBOR       číst volby ze SOUBORu, na řádku \"volba hodnota\" bez \"--\"\n"
    "  -h, --help            tato nápověda\n"
    "      --version         verze programu\n"
    "\n"
    "Návratový kód: 0 po ukončení signálem; 1 když nelze naslouchat na portu UDP\n"
    "nebo vytvořit pseudoterminál; 2 při chybném volání.\n";

// The options that take a value: a word that is none of them is refused as
// unknown before a value is looked for.
constexpr std::string_view VolbySHodnotou[] = {
    "--udp", "--bind", "--pty", "--baud", "--module", "--fault", "--seed", "--stats", "--config"};

struct TVolby {
  int Udp = -1;
  std::string Bind = "127.0.0.1";
  std::vector<std::string> Pty;
  int Baud = 0;
  uint32_t Seed = 12345;
  int Stats = 0;
};

bool Cele(const std::string& text, int& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool Volba(const std::string& jmeno, const std::string& hodnota, TVolby& volby,
           zqsim::TSimulator& sim);

bool Konfigurace(const std::string& soubor, TVolby& volby, zqsim::TSimulator& sim) {
  std::ifstream f(soubor);
  if (!f) {
    std::cerr << "zq-modsim: soubor " << soubor << " nelze přečíst\n";
    return false;
  }
  std::string radek;
  while (std::getline(f, radek)) {
    const size_t z = radek.find_first_not_of(" \t");
    if (z == std::string::npos || radek[z] == '#') continue;
    const size_t mezera = radek.find_first_of(" \t", z);
    const std::string jmeno = radek.substr(z, mezera - z);
    std::string hodnota;
    if (mezera != std::string::npos) {
      const size_t h = radek.find_first_not_of(" \t", mezera);
      if (h != std::string::npos) hodnota = radek.substr(h);
    }
    while (!hodnota.empty() && (hodnota.back() == '\r' || hodnota.back() == ' '))
      hodnota.pop_back();
    if (!Volba("--" + jmeno, hodnota, volby, sim)) return false;
  }
  return true;
}

bool Volba(const std::string& jmeno, const std::string& hodnota, TVolby& volby,
           zqsim::TSimulator& sim) {
  std::string chyba;
  bool dobre = true;
  if (jmeno == "--udp")
    dobre = Cele(hodnota, volby.Udp) && volby.Udp >= 0 && volby.Udp <= 65535;
  else if (jmeno == "--bind")
    volby.Bind = hodnota;
  else if (jmeno == "--pty")
    volby.Pty.push_back(hodnota);
  else if (jmeno == "--baud")
    dobre = Cele(hodnota, volby.Baud) && volby.Baud >= 0;
  else if (jmeno == "--stats")
    dobre = Cele(hodnota, volby.Stats) && volby.Stats >= 0;
  else if (jmeno == "--seed") {
    int s = 0;
    dobre = Cele(hodnota, s);
    volby.Seed = static_cast<uint32_t>(s);
  } else if (jmeno == "--config") {
    return Konfigurace(hodnota, volby, sim);
  } else if (jmeno == "--module") {
    uint8_t a = 0, p = 0;
    zqsim::THodnota h;
    if (!zqsim::PrectiModul(hodnota, a, p, h, chyba)) {
      std::cerr << "zq-modsim: --module " << hodnota << ": " << chyba << "\n";
      return false;
    }
    sim.PridejPeriferii(a, p, h);
  } else if (jmeno == "--fault") {
    zqsim::TPorucha porucha;
    if (!zqsim::PrectiPoruchu(hodnota, porucha, chyba)) {
      std::cerr << "zq-modsim: --fault " << hodnota << ": " << chyba << "\n";
      return false;
    }
    sim.PridejPoruchu(porucha);
  } else {
    std::cerr << "zq-modsim: neznámá volba " << jmeno << "\n" << Navod;
    return false;
  }
  if (!dobre) std::cerr << "zq-modsim: chybná hodnota volby " << jmeno << ": " << hodnota << "\n";
  return dobre;
}

void Vypis(const zqsim::TSimulator& sim) {
  const zqsim::TPocitadla p = sim.Pocitadla();
  std::cout << "dotazů " << p.Dotazy << ", odpovědí " << p.Odpovedi << ", nezodpovězených "
            << p.Potlacene << ", vadných vstupů " << p.Vadne << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  // The signals are taken synchronously below; the simulator's thread must
  // not receive them.  A signal ignored at the start stays ignored (a
  // blocked one would still be taken): a script's background simulator
  // outlives a Ctrl-C meant for the program in its foreground, as under nohup.
  sigset_t signaly;
  sigemptyset(&signaly);
  for (const int s : {SIGINT, SIGTERM}) {
    struct sigaction puvodni = {};
    if (sigaction(s, nullptr, &puvodni) == 0 && puvodni.sa_handler == SIG_IGN) continue;
    sigaddset(&signaly, s);
  }
  pthread_sigmask(SIG_BLOCK, &signaly, nullptr);

  zqsim::TSimulator sim;
  TVolby volby;
  for (int i = 1; i < argc; ++i) {
    const std::string jmeno = argv[i];
    if (jmeno == "--help" || jmeno == "-h") {
      std::cout << Navod;
      return 0;
    }
    if (jmeno == "--version") {
      std::cout << "zq-modsim " << ZQ_VERZE << "\n";
      return 0;
    }
    if (std::find(std::begin(VolbySHodnotou), std::end(VolbySHodnotou), jmeno) ==
        std::end(VolbySHodnotou)) {
      std::cerr << "zq-modsim: neznámá volba " << jmeno << "\n" << Navod;
      return 2;
    }
    if (i + 1 >= argc) {
      std::cerr << "zq-modsim: volba " << jmeno << " vyžaduje hodnotu\n";
      return 2;
    }
    if (!Volba(jmeno, argv[++i], volby, sim)) return 2;
  }
  if (volby.Udp < 0 && volby.Pty.empty()) {
    std::cerr << "zq-modsim: není co obsluhovat: zadejte --udp nebo --pty (nebo obě)\n" << Navod;
    return 2;
  }
  sim.NastavSemeno(volby.Seed);
  sim.NastavRychlostLinky(volby.Baud);
  if (volby.Udp >= 0) {
    if (!sim.SpustUdp(static_cast<uint16_t>(volby.Udp), volby.Bind)) {
      std::cerr << "zq-modsim: nelze naslouchat na " << volby.Bind << ":" << volby.Udp << "\n";
      return 1;
    }
    std::cout << "LAN konvertor na " << volby.Bind << ":" << sim.UdpPort() << std::endl;
  }
  for (const std::string& odkaz : volby.Pty) {
    const std::string slave = sim.SpustPty(odkaz == "-" ? std::string() : odkaz);
    if (slave.empty()) {
      std::cerr << "zq-modsim: nelze vytvořit pseudoterminál"
                << (odkaz == "-" ? "" : " nebo odkaz " + odkaz) << "\n";
      return 1;
    }
    std::cout << "sériová linka na " << slave << (odkaz == "-" ? "" : " (odkaz " + odkaz + ")")
              << std::endl;
  }
  for (;;) {
    timespec cekej{volby.Stats > 0 ? volby.Stats : 3600, 0};
    const int s = sigtimedwait(&signaly, nullptr, &cekej);
    if (s == SIGINT || s == SIGTERM) break;
    if (volby.Stats > 0) Vypis(sim);
  }
  sim.Zastav();
  Vypis(sim);
  return 0;
}
