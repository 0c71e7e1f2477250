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

// "[Připojení] UDP port", "[Ch3]": a key or section as the lists name it.
std::string Popis(std::string_view sekce, std::string_view klic = {}) {
  std::string p = "[" + std::string(sekce) + "]";
  if (!klic.empty()) p += " " + std::string(klic);
  return p;
}

// An integer key; one that is there but does not convert keeps `vychozi`,
// which is noted as a replacement.
int32_t Cislo(const TProfil& p, const std::string& sekce, const std::string& klic, int32_t vychozi,
              TNalezyUlohy* n) {
  if (n != nullptr && p.MaKlic(sekce, klic)) {
    const std::string text = p.CtiText(sekce, klic, "");
    if (!TextNaCele(text)) n->Nahrazeno.push_back({Popis(sekce, klic), text, CeleNaText(vychozi)});
  }
  return p.CtiCislo(sekce, klic, vychozi);
}

// Notes a replacement of a number by another.
void Nahrada(TNalezyUlohy* n, const std::string& sekce, const std::string& klic, int64_t bylo,
             int64_t je) {
  if (n != nullptr) n->Nahrazeno.push_back({Popis(sekce, klic), CeleNaText(bylo), CeleNaText(je)});
}

// Notes the keys of `klice` that section `sekce` lacks.
void Chybejici(const TProfil& p, const std::string& sekce,
               std::initializer_list<const std::string*> klice, TNalezyUlohy* n) {
  for (const std::string* k : klice)
    if (!p.MaKlic(sekce, *k)) n->Chybi.push_back(Popis(sekce, *k));
}

bool CtiUlohu(const TProfil& p, TCFG& u, TNalezyUlohy* n) {
  const TJmena& j = J();
  if (p.CtiText(j.Pripojeni, j.Rozhrani, "jkl") == "jkl") return false;
  u.Rozhrani = p.CtiText(j.Pripojeni, j.Rozhrani, u.Rozhrani);
  u.PortCOM = Cislo(p, j.Pripojeni, j.PortCOM, u.PortCOM, n);
  const std::string adresa = p.CtiText(j.Pripojeni, j.BazovaAdresa, "");
  u.IPAdresa = p.CtiText(j.Pripojeni, j.IPAdresa, u.IPAdresa);
  u.UDPPort = Cislo(p, j.Pripojeni, j.UDPPort, u.UDPPort, n);
  u.LANTimeout = Cislo(p, j.Pripojeni, j.LANTimeout, u.LANTimeout, n);
  u.RS485Rychlost = Cislo(p, j.Pripojeni, j.Rychlost, u.RS485Rychlost, n);
  u.RS485Timeout = Cislo(p, j.Pripojeni, j.Timeout, u.RS485Timeout, n);
  u.RS485Opakovani = Cislo(p, j.Pripojeni, j.Opakovani, u.RS485Opakovani, n);
  u.Perioda = Cislo(p, j.Konfigurace, j.Perioda, u.Perioda, n);
  u.PocetKanalu = Cislo(p, j.Konfigurace, j.PocetKanalu, u.PocetKanalu, n);
  u.JmenoSouboru = p.CtiText(j.Konfigurace, j.JmenoSouboru, u.JmenoSouboru);
  u.Volby = Cislo(p, j.Konfigurace, j.Volby, u.Volby, n);
  u.ChybovaHodnota = Cislo(p, j.Konfigurace, j.ChybovaHodnota, u.ChybovaHodnota, n);
  if (!AdresaZTextu(adresa, u.BazovaAdresa) && n != nullptr && !adresa.empty())
    n->Nahrazeno.push_back(
        {Popis(j.Pripojeni, j.BazovaAdresa), adresa, AdresaNaText(u.BazovaAdresa)});
  NormalizujCFG(u, n);
  if (n == nullptr) return true;
  // The keys a save of this task writes (ZapisUlohu).
  if (u.Rozhrani == RozhraniCOM) Chybejici(p, j.Pripojeni, {&j.PortCOM}, n);
  if (u.Rozhrani == RozhraniPCI407) Chybejici(p, j.Pripojeni, {&j.BazovaAdresa}, n);
  if (JeLAN(u.Rozhrani)) Chybejici(p, j.Pripojeni, {&j.IPAdresa, &j.UDPPort, &j.LANTimeout}, n);
  Chybejici(p, j.Pripojeni, {&j.Rychlost, &j.Timeout, &j.Opakovani}, n);
  Chybejici(p, j.Konfigurace,
            {&j.Perioda, &j.PocetKanalu, &j.JmenoSouboru, &j.Volby, &j.ChybovaHodnota}, n);
  return true;
}

// What a replaced key changes of a measurement of task `u`.  Only keys that
// change timing or rounding are harmless; when in doubt a key counts as
// changing what is measured, since a stopped logger is seen and a wrong
// measurement is not.
TNalezyUlohy::TDopad DopadNahrady(const std::string& klic, const TCFG& u) {
  using D = TNalezyUlohy::TDopad;
  const TJmena& j = J();
  auto je = [&](const std::string& k) { return klic == Popis(j.Pripojeni, k); };
  if (je(j.Rozhrani)) return D::Rozhrani;
  if (u.Rozhrani == RozhraniCOM && je(j.PortCOM)) return D::Rozhrani;
  if (u.Rozhrani == RozhraniPCI407 && je(j.BazovaAdresa)) return D::Rozhrani;
  if (JeLAN(u.Rozhrani) && (je(j.IPAdresa) || je(j.UDPPort))) return D::Rozhrani;
  if (je(j.Rychlost) || je(j.Timeout) || je(j.Opakovani) || je(j.LANTimeout) ||
      klic == Popis(j.Konfigurace, j.Perioda))
    return D::Casovani;
  // A channel's decimals or name: "[Ch12] Desetinná místa".
  const size_t konec = klic.find("] ");
  if (klic.rfind("[Ch", 0) == 0 && konec != std::string::npos) {
    const std::string_view jmeno = std::string_view(klic).substr(konec + 2);
    if (jmeno == j.DesetinnaMista || jmeno == j.Nazev) return D::Casovani;
  }
  return D::Mereni;
}

bool CtiKanaly(const TProfil& p, TPoleKanal& k, TNalezyUlohy* n, int32_t pocet) {
  const TJmena& j = J();
  if (p.CtiText("Ch0", j.Adresa, "jkl") == "jkl") {
    if (n != nullptr && pocet > 0)
      n->Chybi.push_back(pocet == 1
                             ? Popis("Ch0")
                             : Popis("Ch0") + Cp1250(" až ") + Popis(SekceKanalu(pocet - 1)));
    return false;
  }
  int chybiOd = -1;  // first of a run of missing channel sections
  auto konecBehu = [&](int n0) {
    if (chybiOd < 0) return;
    std::string s = Popis(SekceKanalu(chybiOd));
    if (n0 - 1 > chybiOd) s += Cp1250(" až ") + Popis(SekceKanalu(n0 - 1));
    n->Chybi.push_back(s);
    chybiOd = -1;
  };
  for (int c = 0; c < MaxKanalu; ++c) {
    TKanal& kanal = k[static_cast<size_t>(c)];
    const std::string s = SekceKanalu(c);
    // Only a channel of the task is reported on; the entries after it are
    // read all the same, as they always were.
    TNalezyUlohy* hlas = c < pocet ? n : nullptr;
    if (hlas != nullptr) {
      if (!p.MaSekci(s)) {
        if (chybiOd < 0) chybiOd = c;
      } else {
        konecBehu(c);
        Chybejici(
            p, s,
            {&j.Adresa, &j.Periferie, &j.Format, &j.DesetinnaMista, &j.KonstK, &j.KonstQ, &j.Nazev},
            hlas);
      }
    }
    const int32_t adresa = Cislo(p, s, j.Adresa, kanal.Adresa, hlas);
    kanal.Adresa = static_cast<uint8_t>(adresa & 0xFF);
    // Not written by a save, but read when the file has it.
    const int32_t funkce = Cislo(p, s, j.Funkce, kanal.Funkce, hlas);
    kanal.Funkce = static_cast<uint8_t>(funkce & 0xFF);
    const int32_t periferie = Cislo(p, s, j.Periferie, kanal.Periferie, hlas);
    kanal.Periferie = static_cast<uint8_t>(periferie & 0xFF);
    kanal.Format = p.CtiText(s, j.Format, kanal.Format);
    kanal.DesetinnaMista = Cislo(p, s, j.DesetinnaMista, kanal.DesetinnaMista, hlas);
    const std::string textK = p.CtiText(s, j.KonstK, "1.0");
    const std::string textQ = p.CtiText(s, j.KonstQ, "0.0");
    kanal.Nazev = p.CtiText(s, j.Nazev, kanal.Nazev);
    const TKanal precteno = kanal;
    NormalizujKanal(kanal);
    const auto konstK = KonstantaZTextu(textK);
    const auto konstQ = KonstantaZTextu(textQ);
    if (konstK && konstQ) {
      kanal.KonstK = *konstK;
      kanal.KonstQ = *konstQ;
    } else {
      kanal.KonstK = 1.0;
      kanal.KonstQ = 0.0;
    }
    if (hlas == nullptr) continue;
    if (adresa != kanal.Adresa) Nahrada(hlas, s, j.Adresa, adresa, kanal.Adresa);
    if (periferie != kanal.Periferie) Nahrada(hlas, s, j.Periferie, periferie, kanal.Periferie);
    if (funkce != kanal.Funkce) Nahrada(hlas, s, j.Funkce, funkce, kanal.Funkce);
    if (precteno.DesetinnaMista != kanal.DesetinnaMista)
      Nahrada(hlas, s, j.DesetinnaMista, precteno.DesetinnaMista, kanal.DesetinnaMista);
    // Letter case alone is no replacement: "FLOAT32" is float32.
    std::string format = precteno.Format;
    for (char& c : format)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (format != kanal.Format)
      hlas->Nahrazeno.push_back({Popis(s, j.Format), precteno.Format, kanal.Format});
    if (!konstK || !konstQ)
      hlas->Nahrazeno.push_back(
          {Popis(s, !konstK ? j.KonstK : j.KonstQ), !konstK ? textK : textQ, Cp1250("K 1, Q 0")});
  }
  if (n != nullptr) konecBehu(pocet);
  return true;
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

void NormalizujCFG(TCFG& u, TNalezyUlohy* n) {
  const TJmena& j = J();
  auto nahrad = [&](int32_t& pole, bool platne, int32_t nove, const std::string& sekce,
                    const std::string& klic) {
    if (platne) return;
    Nahrada(n, sekce, klic, pole, nove);
    pole = nove;
  };
  if (!JeRozhrani(u.Rozhrani)) {
    if (n != nullptr)
      n->Nahrazeno.push_back(
          {Popis(j.Pripojeni, j.Rozhrani), u.Rozhrani, std::string(VychoziRozhrani)});
    u.Rozhrani = std::string(VychoziRozhrani);
  }
  nahrad(u.PortCOM, V(u.PortCOM, 1, 255), 1, j.Pripojeni, j.PortCOM);
  if (u.IPAdresa.empty()) {
    if (n != nullptr)
      n->Nahrazeno.push_back({Popis(j.Pripojeni, j.IPAdresa), "", std::string(VychoziIPAdresa)});
    u.IPAdresa = std::string(VychoziIPAdresa);
  }
  nahrad(u.UDPPort, V(u.UDPPort, 0, linka::MaxUdpPort), 5000, j.Pripojeni, j.UDPPort);
  nahrad(u.LANTimeout, V(u.LANTimeout, linka::MinLanTimeout, linka::MaxLanTimeout), 1000,
         j.Pripojeni, j.LANTimeout);
  nahrad(u.RS485Rychlost, linka::PodporovanaRychlost(u.RS485Rychlost), linka::VychoziRychlost,
         j.Pripojeni, j.Rychlost);
  nahrad(u.RS485Timeout, V(u.RS485Timeout, linka::MinTimeout, linka::MaxTimeout), 100, j.Pripojeni,
         j.Timeout);
  nahrad(u.RS485Opakovani, V(u.RS485Opakovani, linka::MinOpakovani, linka::MaxOpakovani), 1,
         j.Pripojeni, j.Opakovani);
  nahrad(u.Perioda, V(u.Perioda, 0, 12), 1, j.Konfigurace, j.Perioda);
  nahrad(u.PocetKanalu, u.PocetKanalu >= 1, 1, j.Konfigurace, j.PocetKanalu);
  nahrad(u.PocetKanalu, u.PocetKanalu <= MaxKanalu, MaxKanalu, j.Konfigurace, j.PocetKanalu);
  if (u.JmenoSouboru.empty()) {
    if (n != nullptr)
      n->Nahrazeno.push_back(
          {Popis(j.Konfigurace, j.JmenoSouboru), "", std::string(VychoziJmenoSouboru)});
    u.JmenoSouboru = std::string(VychoziJmenoSouboru);
  }
  nahrad(u.Volby, u.Volby >= 0, 0, j.Konfigurace, j.Volby);
  nahrad(u.ChybovaHodnota, V(u.ChybovaHodnota, 0, 1), 0, j.Konfigurace, j.ChybovaHodnota);
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

namespace {

void ZapisUlohuDo(TProfil& p, const TCFG& u) {
  const TJmena& j = J();
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
}

void ZapisKanalyDo(TProfil& p, const TCFG& u, const TPoleKanal& k) {
  const TJmena& j = J();
  const char oddelovac = Mistni().DesetinnyOddelovac;
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
}

}  // namespace

bool ZapisUlohu(const TCFG& u) {
  TProfil p(SouborUlohy(u));
  ZapisUlohuDo(p, u);
  p.Uloz();
  return true;
}

bool ZapisKanaly(const TCFG& u, const TPoleKanal& k) {
  TProfil p(SouborUlohy(u));
  ZapisKanalyDo(p, u, k);
  p.Uloz();
  return true;
}

bool ZapisCelouUlohu(const TCFG& u, const TPoleKanal& k) {
  TProfil p(SouborUlohy(u));
  // A file that holds something other than a task is never written into.
  if (!p.Prazdny() && p.CtiText(J().Pripojeni, J().Rozhrani, "jkl") == "jkl") return false;
  ZapisUlohuDo(p, u);
  ZapisKanalyDo(p, u, k);
  p.Uloz();
  return true;
}

bool PrectiUlohu(TCFG& u) {
  if (u.Uloha.empty()) u.Uloha = std::string(VychoziUloha);
  return PrectiUlohuZ(SouborUlohy(u), u);
}

bool PrectiUlohuZ(const std::filesystem::path& soubor, TCFG& u) {
  return CtiUlohu(TProfil(soubor), u, nullptr);
}

bool PrectiKanaly(const TCFG& u, TPoleKanal& k) { return PrectiKanalyZ(SouborUlohy(u), k); }

bool PrectiKanalyZ(const std::filesystem::path& soubor, TPoleKanal& k) {
  return CtiKanaly(TProfil(soubor), k, nullptr, 0);
}

TCteniUlohy PrectiCelouUlohu(const std::filesystem::path& soubor, TCFG& u, TPoleKanal& k) {
  TCteniUlohy v;
  const TProfil p(soubor);
  v.Uloha = CtiUlohu(p, u, &v.Nalezy);
  // Channels are checked against the task's count only when there is a task.
  v.Kanaly = CtiKanaly(p, k, &v.Nalezy, v.Uloha ? u.PocetKanalu : 0);
  for (TNalezyUlohy::TNahrada& h : v.Nalezy.Nahrazeno) h.Dopad = DopadNahrady(h.Klic, u);
  return v;
}

TCteniUlohy PrectiCelouUlohu(TCFG& u, TPoleKanal& k) {
  if (u.Uloha.empty()) u.Uloha = std::string(VychoziUloha);
  return PrectiCelouUlohu(SouborUlohy(u), u, k);
}

bool TNalezyUlohy::Zavazne() const {
  if (!Chybi.empty()) return true;
  for (const TNahrada& h : Nahrazeno)
    if (h.Dopad != TDopad::Casovani) return true;
  return false;
}

bool TNalezyUlohy::JineZarizeni() const {
  for (const TNahrada& h : Nahrazeno)
    if (h.Dopad == TDopad::Rozhrani) return true;
  return false;
}

std::string TNalezyUlohy::Text(size_t polozek) const {
  auto seznam = [&](auto&& polozky, auto&& text) {
    std::string s;
    for (size_t i = 0; i < polozky.size() && i < polozek; ++i)
      s += (i ? ", " : "") + text(polozky[i]);
    if (polozky.size() > polozek)
      s += Cp1250(" a další (") + CeleNaText(static_cast<int64_t>(polozky.size() - polozek)) + ")";
    return s;
  };
  std::string s;
  if (!Chybi.empty()) s = Cp1250("chybí ") + seznam(Chybi, [](const std::string& c) { return c; });
  if (!Nahrazeno.empty()) {
    if (!s.empty()) s += "; ";
    s += Cp1250("neplatné hodnoty ") + seznam(Nahrazeno, [](const TNahrada& h) {
           return h.Klic + "=" + h.Bylo + Cp1250(" (použito ") + h.Je + ")";
         });
  }
  return s;
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
