#include "Texty.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <mutex>

namespace zqdrv {

namespace {

struct TPolozka {
  int32_t Kod;
  const char* Text;
};

// Windows-1250 bytes; the UTF-8 form of each text stands beside it.
constexpr TPolozka Texty[] = {
    {KodHandle, "neplatn\xFD handle rozhran\xED"},     // neplatný handle rozhraní
    {KodParametr, "chybn\xFD parametr vol\xE1n\xED"},  // chybný parametr volání
    {KodRychlost, "nepodporovan\xE1 rychlost linky"},  // nepodporovaná rychlost linky
    {KodCteni, "chyba p\xF8i \xE8ten\xED z modulu"},   // chyba při čtení z modulu
    {KodTimeout,
     "chybn\xFD \xE8"
     "asov\xFD limit nebo po\xE8"
     "et opakov\xE1n\xED"},  // chybný časový limit nebo počet opakování
    {KodPlno,
     "p\xF8\xEDli\x9A mnoho otev\xF8"
     "en\xFD"
     "ch rozhran\xED"},                                // příliš mnoho otevřených rozhraní
    {KodDelkaDat, "chybn\xE1 d\xE9lka dat v dotazu"},  // chybná délka dat v dotazu
    {KodNastaveni, "linku nelze nastavit"},            // linku nelze nastavit
    {KodDotaz, "dotaz nelze sestavit"},                // dotaz nelze sestavit
    {KodNeotevreno,
     "rozhran\xED nen\xED otev\xF8"
     "eno"},                                    // rozhraní není otevřeno
    {KodOtevreni, "port nelze otev\xF8\xEDt"},  // port nelze otevřít
    {KodNeexistuje, "port neexistuje"},         // port neexistuje
    {KodObsazeno,
     "port je pou\x9E\xEDv\xE1n jin\xFDm programem"},    // port je používán jiným programem
    {KodZapis, "chyba z\xE1pisu na linku"},              // chyba zápisu na linku
    {KodCteniLinky, "chyba \xE8ten\xED z linky"},        // chyba čtení z linky
    {KodCisloPortu, "chybn\xE9 \xE8\xEDslo portu COM"},  // chybné číslo portu COM
    {KodPristupPort,
     "p\xF8\xEDstup k portu odep\xF8"
     "en"},  // přístup k portu odepřen
    {KodNeodpovedel,
     "modul neodpov\xEC"
     "d\xECl (vypr\x9A"
     "el \xE8"
     "asov\xFD limit)"},  // modul neodpověděl (vypršel časový limit)
    {KodCrc,
     "chyba kontroln\xEDho sou\xE8tu odpov\xEC"
     "di"},                                              // chyba kontrolního součtu odpovědi
    {KodAdresa, "odpov\xEC\xEF od jin\xE9ho modulu"},    // odpověď od jiného modulu
    {KodNeuplna, "ne\xFApln\xE1 odpov\xEC\xEF modulu"},  // neúplná odpověď modulu
    {KodDlouha, "p\xF8\xEDli\x9A dlouh\xE1 odpov\xEC\xEF modulu"},  // příliš dlouhá odpověď modulu
    {KodFormat,
     "chybn\xFD form\xE1t odpov\xEC"
     "di modulu"},  // chybný formát odpovědi modulu
    {KodOpozdena,
     "opo\x9E"
     "d\xECn\xE1 odpov\xEC\xEF na d\xF8\xEDv\xECj\x9A\xED dotaz"},  // opožděná odpověď na dřívější
                                                                    // dotaz
    {KodModul, "modul hl\xE1s\xED chybu"},  // modul hlásí chybu
    {KodModulFunkce,
     "modul nezn\xE1 po\x9E"
     "adovanou funkci"},  // modul nezná požadovanou funkci
    {KodModulPeriferie,
     "modul nezn\xE1 po\x9E"
     "adovanou periferii"},                         // modul nezná požadovanou periferii
    {KodModulData, "modul odm\xEDtl data dotazu"},  // modul odmítl data dotazu
    {KodIpAdresa,
     "chybn\xE1 IP adresa p\xF8"
     "evodn\xEDku"},  // chybná IP adresa převodníku
    {KodUdpPort,
     "chybn\xFD port UDP p\xF8"
     "evodn\xEDku"},                                  // chybný port UDP převodníku
    {KodSoket, "chyba soketu UDP"},                   // chyba soketu UDP
    {KodOdeslani, "chyba odesl\xE1n\xED datagramu"},  // chyba odeslání datagramu
    {KodPrevodnik,
     "p\xF8"
     "evodn\xEDk ZQ-1407 neodpov\xEC"
     "d\xECl"},  // převodník ZQ-1407 neodpověděl
    {KodPrevodnikLinka,
     "p\xF8"
     "evodn\xEDk ZQ-1407 hl\xE1s\xED chybu linky"},  // převodník ZQ-1407 hlásí chybu linky
    {KodLanTimeout, "chybn\xFD LAN timeout"},        // chybný LAN timeout
    {KodIsaPristup,
     "p\xF8\xEDstup k port\xF9m karty PCI-407 odep\xF8"
     "en"},                                          // přístup k portům karty PCI-407 odepřen
    {KodIsaNenalezena, "karta PCI-407 nenalezena"},  // karta PCI-407 nenalezena
    {KodIsaAdresa,
     "chybn\xE1 b\xE1zov\xE1 adresa karty PCI-407"},  // chybná bázová adresa karty PCI-407
    {KodPciNenalezena, "karta PCI-1407 nenalezena"},  // karta PCI-1407 nenalezena
    {KodPciPristup,
     "p\xF8\xEDstup ke kart\xEC PCI-1407 odep\xF8"
     "en"},  // přístup ke kartě PCI-1407 odepřen
    {KodUsbNenalezen,
     "p\xF8"
     "evodn\xEDk USB-1407 nenalezen"},  // převodník USB-1407 nenalezen
};

constexpr const char* Neznamy =
    "nezn\xE1m\xFD chybov\xFD k\xF3"
    "d";  // neznámý chybový kód

// Texts of the failures that concern one device: what goes before and after
// its path.  The remedy comes after the path so shortening never cuts it.
struct TSablona {
  int32_t Kod;
  const char* Pred;
  const char* Za;
};

constexpr TSablona Sablony[] = {
    {KodNastaveni, "linku ", " nelze nastavit"},     // linku … nelze nastavit
    {KodOtevreni, "port ", " nelze otev\xF8\xEDt"},  // port … nelze otevřít
    {KodNeexistuje, "port ", " neexistuje"},         // port … neexistuje
    {KodObsazeno, "port ",
     " je pou\x9E\xEDv\xE1n jin\xFDm programem"},       // port … je používán jiným programem
    {KodZapis, "chyba z\xE1pisu na linku ", ""},        // chyba zápisu na linku …
    {KodCteniLinky, "chyba \xE8ten\xED z linky ", ""},  // chyba čtení z linky …
    {KodPristupPort, "p\xF8\xEDstup k ",
     " odep\xF8"
     "en \x96 p\xF8idejte u\x9Eivatele do skupiny dialout"},  // přístup k … odepřen – přidejte
                                                              // uživatele do skupiny dialout
    {KodUsbNenalezen,
     "p\xF8"
     "evodn\xEDk USB-1407 nenalezen (",
     " neexistuje)"},  // převodník USB-1407 nenalezen (… neexistuje)
};

constexpr char Trojtecka = '\x85';  // … in Windows-1250

// A path as it can stand in a text of at most `max` bytes.  A file-system
// path is bytes, usually UTF-8; one '?' per character that is not printable
// ASCII keeps the text valid Windows-1250 and one byte per character.
std::string ZkratCestu(std::string_view cesta, size_t max) {
  std::string s;
  for (const char z : cesta) {
    const auto b = static_cast<unsigned char>(z);
    if ((b & 0xC0) == 0x80) continue;  // the rest of a UTF-8 sequence
    s += b >= 0x20 && b < 0x7F ? z : '?';
  }
  if (s.size() <= max) return s;
  if (max < 2) return {};
  // The end identifies the device (ttyUSB0, com3, ...-port0); whole folder
  // names read better than a cut one, as long as the file name fits.
  std::string_view konec(s);
  konec.remove_prefix(s.size() - (max - 1));
  if (const size_t lomitko = konec.find('/'); lomitko != std::string_view::npos)
    konec.remove_prefix(lomitko);
  return Trojtecka + std::string(konec);
}

// The recorded texts, one slot per code below 100, an empty slot meaning the
// fixed text.  Fixed size and constant-initialised: _Error may run in any
// thread at any time the library is loaded, and only ever copies a slot out
// under the lock, so it never holds a pointer into something that changes.
struct TZaznamy {
  std::mutex Zamek;
  std::array<std::array<char, MaxDelkaTextu + 1>, 100> Text{};
};
constinit TZaznamy zaznamy;

}  // namespace

const char* TextKodu(int32_t kod) {
  for (const TPolozka& p : Texty)
    if (p.Kod == kod) return p.Text;
  return Neznamy;
}

std::string TextZarizeni(int32_t kod, std::string_view zarizeni) {
  if (zarizeni.empty()) return {};
  for (const TSablona& s : Sablony) {
    if (s.Kod != kod) continue;
    const size_t okoli = std::strlen(s.Pred) + std::strlen(s.Za);
    return s.Pred + ZkratCestu(zarizeni, MaxDelkaTextu - okoli) + s.Za;
  }
  return {};
}

void ZapamatujSelhani(int32_t kod, std::string_view zarizeni) noexcept {
  if (kod < 0 || kod >= 100) return;
  std::string text;
  try {
    text = TextZarizeni(kod, zarizeni);
  } catch (...) {
    // Out of memory: the fixed text still explains the code.
  }
  try {
    std::lock_guard<std::mutex> z(zaznamy.Zamek);
    auto& slot = zaznamy.Text[static_cast<size_t>(kod)];
    slot.fill(0);
    std::memcpy(slot.data(), text.data(), std::min(text.size(), MaxDelkaTextu));
  } catch (...) {
    // The lock cannot fail here in practice; nothing may leave a failing call.
  }
}

void ZapisText(int32_t kod, int32_t* text) {
  std::array<char, MaxDelkaTextu + 1> zaznam{};
  if (kod >= 0 && kod < 100) {
    std::lock_guard<std::mutex> z(zaznamy.Zamek);
    zaznam = zaznamy.Text[static_cast<size_t>(kod)];
  }
  for (int i = 0; i < 100; ++i) text[i] = 0;
  const char* s = zaznam[0] != 0 ? zaznam.data() : TextKodu(kod);
  for (int i = 1; i < 100 && s[i - 1] != 0; ++i) text[i] = static_cast<unsigned char>(s[i - 1]);
  text[99] = 0;
}

}  // namespace zqdrv
