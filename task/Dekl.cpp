#include "Dekl.h"

#include "Linka.h"

#include <charconv>

#include "Cisla.h"
#include "Cp1250.h"
#include "Mistni.h"
#include "Profil.h"
#include "Slozka.h"

namespace {

constexpr std::string_view VychoziRozhrani = "COMx";
constexpr int32_t VychoziAdresa = 768;

// Section and key names of the task and settings files, Windows-1250.
struct TJmena {
  std::string Pripojeni = Cp1250("Připojení");
  std::string Rozhrani = Cp1250("Rozhraní");
  std::string PortCOM = Cp1250("Číslo portu COMx");
  std::string BazovaAdresa = Cp1250("Bázová adresa");
  std::string IPAdresa = "IP adresa";
  std::string UDPPort = "UDP port";
  std::string LANTimeout = "LAN timeout";
  std::string Rychlost = "RS-485 rychlost";
  std::string Timeout = "RS-485 timeout";
  std::string Opakovani = Cp1250("RS-485 opakování");
  std::string Konfigurace = "Konfigurace";
  std::string Perioda = Cp1250("Perioda měření");
  std::string PocetKanalu = Cp1250("Počet kanálů");
  std::string JmenoSouboru = Cp1250("Jméno souboru");
  std::string Volby = "Volby";
  std::string ChybovaHodnota = Cp1250("Chybová hodnota");
  std::string Adresa = "Adresa";
  std::string Funkce = "Funkce";
  std::string Periferie = "Periferie";
  std::string Format = Cp1250("Formát");
  std::string DesetinnaMista = Cp1250("Desetinná místa");
  std::string KonstK = "Konstanta K";
  std::string KonstQ = "Konstanta Q";
  std::string Nazev = Cp1250("Název");
  std::string MericiUloha = Cp1250("Měřicí úloha");
  std::string Jmeno = Cp1250("Jméno");
  std::string Kanal = Cp1250("Kanál ");
};

const TJmena& J() {
  static const TJmena jmena;
  return jmena;
}

std::string SekceKanalu(int n) { return "Ch" + CeleNaText(n); }

// "0300h": upper-case hexadecimal, at least four digits.
std::string AdresaNaText(int32_t adresa) {
  char buf[16];
  auto [konec, chyba] = std::to_chars(buf, buf + sizeof buf, static_cast<uint32_t>(adresa), 16);
  (void)chyba;
  std::string hex(buf, konec);
  for (char& c : hex)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  if (hex.size() < 4) hex.insert(0, 4 - hex.size(), '0');
  return hex + "h";
}

bool JeRozhrani(std::string_view r) {
  return r == RozhraniCOM || r == RozhraniPCI407 || r == RozhraniPCI1407 || r == RozhraniUSB ||
         r == RozhraniZQ || r == RozhraniZQU;
}

bool JeLAN(std::string_view r) { return r == RozhraniZQ || r == RozhraniZQU; }

bool V(int32_t x, int32_t od, int32_t po) { return x >= od && x <= po; }

struct TPerioda {
  int32_t Sekund;
  const char* Text;
};
constexpr TPerioda Periody[PocetPeriod] = {
    {1, "1 sek"},    {2, "2 sek"},     {5, "5 sek"},    {10, "10 sek"},
    {30, "30 sek"},  {60, "1 min"},    {120, "2 min"},  {300, "5 min"},
    {600, "10 min"}, {1800, "30 min"}, {3600, "1 hod"},
};

std::filesystem::path SouborUlohy(const TCFG& u) {
  return CestaVeSlozceProgramu(JmenoUlohy(u.Uloha));
}

std::filesystem::path SouborNastaveni() { return CestaVeSlozceProgramu(JmenoNastaveni); }

// K or Q as the file holds it: '.' or ',' taken as the decimal separator.
std::optional<double> KonstantaZTextu(std::string text) {
  const char oddelovac = Mistni().DesetinnyOddelovac;
  for (char& c : text)
    if (c == '.' || c == ',') c = oddelovac;
  return TextNaDouble(text, oddelovac);
}

}  // namespace

void InitCFG(TCFG& u) {
  u.Uloha = std::string(VychoziUloha);
  u.Rozhrani = std::string(VychoziRozhrani);
  u.PortCOM = 1;
  u.BazovaAdresa = VychoziAdresa;
  u.IPAdresa = std::string(VychoziIPAdresa);
  u.UDPPort = 5000;
  u.LANTimeout = 1000;
  u.RS485Rychlost = 9600;
  u.RS485Timeout = 100;
  u.RS485Opakovani = 1;
  u.Perioda = 0;
  u.PocetKanalu = 1;
  u.ChybovaHodnota = 0;
  u.JmenoSouboru = std::string(VychoziJmenoSouboru);
  u.Volby = 0;
}

void InitKanaly(TPoleKanal& k) {
  for (int i = 0; i < MaxKanalu; ++i) {
    TKanal& c = k[static_cast<size_t>(i)];
    c = TKanal{};
    c.Nazev = J().Kanal + CeleNaText(i);
    c.Adresa = 1;
    c.Format = "float32";
    c.DesetinnaMista = 3;
    c.KonstK = 1.0;
    c.KonstQ = 0.0;
    c.Hodnota = "0";
  }
  k[MaxKanalu] = TKanal{};
}

bool AdresaZTextu(std::string_view text, int32_t& adresa) {
  std::string t = text.empty() ? std::string("300h") : std::string(text);
  if (t.back() == 'h' || t.back() == 'H') {
    t.pop_back();
    t.insert(0, 1, '$');
  }
  if (const auto n = TextNaCele(t)) {
    adresa = *n;
    return true;
  }
  adresa = VychoziAdresa;
  return false;
}

void NormalizujCFG(TCFG& u) {
  if (!JeRozhrani(u.Rozhrani)) u.Rozhrani = std::string(VychoziRozhrani);
  if (!V(u.PortCOM, 1, 255)) u.PortCOM = 1;
  if (u.IPAdresa.empty()) u.IPAdresa = std::string(VychoziIPAdresa);
  if (!V(u.UDPPort, 0, linka::MaxUdpPort)) u.UDPPort = 5000;
  if (!V(u.LANTimeout, linka::MinLanTimeout, linka::MaxLanTimeout)) u.LANTimeout = 1000;
  if (!linka::PodporovanaRychlost(u.RS485Rychlost)) u.RS485Rychlost = linka::VychoziRychlost;
  if (!V(u.RS485Timeout, linka::MinTimeout, linka::MaxTimeout)) u.RS485Timeout = 100;
  if (!V(u.RS485Opakovani, linka::MinOpakovani, linka::MaxOpakovani)) u.RS485Opakovani = 1;
  if (!V(u.Perioda, 0, 12)) u.Perioda = 1;
  if (u.PocetKanalu < 1) u.PocetKanalu = 1;
  if (u.PocetKanalu > MaxKanalu) u.PocetKanalu = MaxKanalu;
  if (u.JmenoSouboru.empty()) u.JmenoSouboru = std::string(VychoziJmenoSouboru);
  if (u.Volby < 0) u.Volby = 0;
  if (!V(u.ChybovaHodnota, 0, 1)) u.ChybovaHodnota = 0;
}

void NormalizujKanal(TKanal& k) {
  if (k.DesetinnaMista < 0) k.DesetinnaMista = 0;
  if (k.DesetinnaMista > 7) k.DesetinnaMista = 7;
  for (char& c : k.Format)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (k.Format != "uint32" && k.Format != "float32" && k.Format != "bool32") k.Format = "uint32";
}

int32_t PeriodaSekund(int32_t perioda) {
  return V(perioda, 0, PocetPeriod - 1) ? Periody[perioda].Sekund : 1;
}

std::string PeriodaText(int32_t perioda) {
  return V(perioda, 0, PocetPeriod - 1) ? Periody[perioda].Text : "";
}

std::string JmenoUlohy(std::string_view uloha) {
  // Tasks live only in the program's folder: a folder part (either kind of
  // slash) is dropped, so no name, from the settings file or anywhere else,
  // reads or writes a file outside it.
  const size_t lomitko = uloha.find_last_of("/\\");
  if (lomitko != std::string_view::npos) uloha.remove_prefix(lomitko + 1);
  if (uloha.empty() || uloha == "." || uloha == "..") return std::string(VychoziUloha);
  return std::string(uloha);
}

bool ZapisUlohu(const TCFG& u) {
  const TJmena& j = J();
  TProfil p(SouborUlohy(u));
  p.ZapisText(j.Pripojeni, j.Rozhrani, u.Rozhrani);
  if (u.Rozhrani == RozhraniCOM) p.ZapisCislo(j.Pripojeni, j.PortCOM, u.PortCOM);
  if (u.Rozhrani == RozhraniPCI407)
    p.ZapisText(j.Pripojeni, j.BazovaAdresa, AdresaNaText(u.BazovaAdresa));
  if (JeLAN(u.Rozhrani)) {
    p.ZapisText(j.Pripojeni, j.IPAdresa, u.IPAdresa);
    p.ZapisCislo(j.Pripojeni, j.UDPPort, u.UDPPort);
    p.ZapisCislo(j.Pripojeni, j.LANTimeout, u.LANTimeout);
  }
  p.ZapisCislo(j.Pripojeni, j.Rychlost, u.RS485Rychlost);
  p.ZapisCislo(j.Pripojeni, j.Timeout, u.RS485Timeout);
  p.ZapisCislo(j.Pripojeni, j.Opakovani, u.RS485Opakovani);
  p.ZapisCislo(j.Konfigurace, j.Perioda, u.Perioda);
  p.ZapisCislo(j.Konfigurace, j.PocetKanalu, u.PocetKanalu);
  p.ZapisText(j.Konfigurace, j.JmenoSouboru, u.JmenoSouboru);
  p.ZapisCislo(j.Konfigurace, j.Volby, u.Volby);
  p.ZapisCislo(j.Konfigurace, j.ChybovaHodnota, u.ChybovaHodnota);
  p.Uloz();
  return true;
}

bool ZapisKanaly(const TCFG& u, const TPoleKanal& k) {
  const TJmena& j = J();
  const char oddelovac = Mistni().DesetinnyOddelovac;
  TProfil p(SouborUlohy(u));
  const int pocet = u.PocetKanalu > MaxKanalu ? MaxKanalu : u.PocetKanalu;
  for (int n = 0; n < pocet; ++n) {
    const TKanal& c = k[static_cast<size_t>(n)];
    const std::string s = SekceKanalu(n);
    p.ZapisCislo(s, j.Adresa, c.Adresa);
    p.ZapisCislo(s, j.Periferie, c.Periferie);
    p.ZapisText(s, j.Format, c.Format);
    p.ZapisCislo(s, j.DesetinnaMista, c.DesetinnaMista);
    p.ZapisText(s, j.KonstK, DoubleNaText(c.KonstK, oddelovac));
    p.ZapisText(s, j.KonstQ, DoubleNaText(c.KonstQ, oddelovac));
    p.ZapisText(s, j.Nazev, c.Nazev);
  }
  p.Uloz();
  return true;
}

bool PrectiUlohu(TCFG& u) {
  if (u.Uloha.empty()) u.Uloha = std::string(VychoziUloha);
  return PrectiUlohuZ(SouborUlohy(u), u);
}

bool PrectiUlohuZ(const std::filesystem::path& soubor, TCFG& u) {
  const TJmena& j = J();
  const TProfil p(soubor);
  if (p.CtiText(j.Pripojeni, j.Rozhrani, "jkl") == "jkl") return false;
  u.Rozhrani = p.CtiText(j.Pripojeni, j.Rozhrani, u.Rozhrani);
  u.PortCOM = p.CtiCislo(j.Pripojeni, j.PortCOM, u.PortCOM);
  const std::string adresa = p.CtiText(j.Pripojeni, j.BazovaAdresa, "");
  u.IPAdresa = p.CtiText(j.Pripojeni, j.IPAdresa, u.IPAdresa);
  u.UDPPort = p.CtiCislo(j.Pripojeni, j.UDPPort, u.UDPPort);
  u.LANTimeout = p.CtiCislo(j.Pripojeni, j.LANTimeout, u.LANTimeout);
  u.RS485Rychlost = p.CtiCislo(j.Pripojeni, j.Rychlost, u.RS485Rychlost);
  u.RS485Timeout = p.CtiCislo(j.Pripojeni, j.Timeout, u.RS485Timeout);
  u.RS485Opakovani = p.CtiCislo(j.Pripojeni, j.Opakovani, u.RS485Opakovani);
  u.Perioda = p.CtiCislo(j.Konfigurace, j.Perioda, u.Perioda);
  u.PocetKanalu = p.CtiCislo(j.Konfigurace, j.PocetKanalu, u.PocetKanalu);
  u.JmenoSouboru = p.CtiText(j.Konfigurace, j.JmenoSouboru, u.JmenoSouboru);
  u.Volby = p.CtiCislo(j.Konfigurace, j.Volby, u.Volby);
  u.ChybovaHodnota = p.CtiCislo(j.Konfigurace, j.ChybovaHodnota, u.ChybovaHodnota);
  AdresaZTextu(adresa, u.BazovaAdresa);
  NormalizujCFG(u);
  return true;
}

bool PrectiKanaly(const TCFG& u, TPoleKanal& k) { return PrectiKanalyZ(SouborUlohy(u), k); }

bool PrectiKanalyZ(const std::filesystem::path& soubor, TPoleKanal& k) {
  const TJmena& j = J();
  const TProfil p(soubor);
  if (p.CtiText("Ch0", j.Adresa, "jkl") == "jkl") return false;
  for (int n = 0; n < MaxKanalu; ++n) {
    TKanal& c = k[static_cast<size_t>(n)];
    const std::string s = SekceKanalu(n);
    c.Adresa = static_cast<uint8_t>(p.CtiCislo(s, j.Adresa, c.Adresa) & 0xFF);
    c.Funkce = static_cast<uint8_t>(p.CtiCislo(s, j.Funkce, c.Funkce) & 0xFF);
    c.Periferie = static_cast<uint8_t>(p.CtiCislo(s, j.Periferie, c.Periferie) & 0xFF);
    c.Format = p.CtiText(s, j.Format, c.Format);
    c.DesetinnaMista = p.CtiCislo(s, j.DesetinnaMista, c.DesetinnaMista);
    const std::string textK = p.CtiText(s, j.KonstK, "1.0");
    const std::string textQ = p.CtiText(s, j.KonstQ, "0.0");
    c.Nazev = p.CtiText(s, j.Nazev, c.Nazev);
    NormalizujKanal(c);
    const auto konstK = KonstantaZTextu(textK);
    const auto konstQ = KonstantaZTextu(textQ);
    if (konstK && konstQ) {
      c.KonstK = *konstK;
      c.KonstQ = *konstQ;
    } else {
      c.KonstK = 1.0;
      c.KonstQ = 0.0;
    }
  }
  return true;
}

bool PrectiNastaveni(TCFG& u) {
  const TProfil p(SouborNastaveni());
  const std::string jmeno = p.CtiText(J().MericiUloha, J().Jmeno, "j__kkl");
  if (jmeno == "j__kkl") return false;
  u.Uloha = jmeno;
  return true;
}

bool ZapisNastaveni(const TCFG& u) {
  TProfil p(SouborNastaveni());
  p.ZapisText(J().MericiUloha, J().Jmeno, u.Uloha);
  p.Uloz();
  return true;
}
