#include "Texty.h"

#include <cstddef>

namespace zqdrv {

namespace {

struct TPolozka {
  int32_t Kod;
  const char* Text;
};

// Windows-1250 bytes; the UTF-8 form of each text stands beside it.
constexpr TPolozka Texty[] = {
    {KodHandle, "neplatn\xFD"" handle rozhran\xED"""},  // neplatný handle rozhraní
    {KodParametr, "chybn\xFD"" parametr vol\xE1""n\xED"""},  // chybný parametr volání
    {KodRychlost, "nepodporovan\xE1"" rychlost linky"},  // nepodporovaná rychlost linky
    {KodCteni, "chyba p\xF8""i \xE8""ten\xED"" z modulu"},  // chyba při čtení z modulu
    {KodTimeout, "chybn\xFD"" \xE8""asov\xFD"" limit nebo po\xE8""et opakov\xE1""n\xED"""},  // chybný časový limit nebo počet opakování
    {KodPlno, "p\xF8""\xED""li\x9A"" mnoho otev\xF8""en\xFD""ch rozhran\xED"""},  // příliš mnoho otevřených rozhraní
    {KodDelkaDat, "chybn\xE1"" d\xE9""lka dat v dotazu"},  // chybná délka dat v dotazu
    {KodNastaveni, "linku nelze nastavit"},  // linku nelze nastavit
    {KodDotaz, "dotaz nelze sestavit"},  // dotaz nelze sestavit
    {KodNeotevreno, "rozhran\xED"" nen\xED"" otev\xF8""eno"},  // rozhraní není otevřeno
    {KodOtevreni, "port nelze otev\xF8""\xED""t"},  // port nelze otevřít
    {KodNeexistuje, "port neexistuje"},  // port neexistuje
    {KodObsazeno, "port je pou\x9E""\xED""v\xE1""n jin\xFD""m programem"},  // port je používán jiným programem
    {KodZapis, "chyba z\xE1""pisu na linku"},  // chyba zápisu na linku
    {KodCteniLinky, "chyba \xE8""ten\xED"" z linky"},  // chyba čtení z linky
    {KodCisloPortu, "chybn\xE9"" \xE8""\xED""slo portu COM"},  // chybné číslo portu COM
    {KodPristupPort, "p\xF8""\xED""stup k portu odep\xF8""en"},  // přístup k portu odepřen
    {KodNeodpovedel, "modul neodpov\xEC""d\xEC""l (vypr\x9A""el \xE8""asov\xFD"" limit)"},  // modul neodpověděl (vypršel časový limit)
    {KodCrc, "chyba kontroln\xED""ho sou\xE8""tu odpov\xEC""di"},  // chyba kontrolního součtu odpovědi
    {KodAdresa, "odpov\xEC""\xEF"" od jin\xE9""ho modulu"},  // odpověď od jiného modulu
    {KodNeuplna, "ne\xFA""pln\xE1"" odpov\xEC""\xEF"" modulu"},  // neúplná odpověď modulu
    {KodDlouha, "p\xF8""\xED""li\x9A"" dlouh\xE1"" odpov\xEC""\xEF"" modulu"},  // příliš dlouhá odpověď modulu
    {KodFormat, "chybn\xFD"" form\xE1""t odpov\xEC""di modulu"},  // chybný formát odpovědi modulu
    {KodOpozdena, "opo\x9E""d\xEC""n\xE1"" odpov\xEC""\xEF"" na d\xF8""\xED""v\xEC""j\x9A""\xED"" dotaz"},  // opožděná odpověď na dřívější dotaz
    {KodModul, "modul hl\xE1""s\xED"" chybu"},  // modul hlásí chybu
    {KodModulFunkce, "modul nezn\xE1"" po\x9E""adovanou funkci"},  // modul nezná požadovanou funkci
    {KodModulPeriferie, "modul nezn\xE1"" po\x9E""adovanou periferii"},  // modul nezná požadovanou periferii
    {KodModulData, "modul odm\xED""tl data dotazu"},  // modul odmítl data dotazu
    {KodIpAdresa, "chybn\xE1"" IP adresa p\xF8""evodn\xED""ku"},  // chybná IP adresa převodníku
    {KodUdpPort, "chybn\xFD"" port UDP p\xF8""evodn\xED""ku"},  // chybný port UDP převodníku
    {KodSoket, "chyba soketu UDP"},  // chyba soketu UDP
    {KodOdeslani, "chyba odesl\xE1""n\xED"" datagramu"},  // chyba odeslání datagramu
    {KodPrevodnik, "p\xF8""evodn\xED""k ZQ-1407 neodpov\xEC""d\xEC""l"},  // převodník ZQ-1407 neodpověděl
    {KodPrevodnikLinka, "p\xF8""evodn\xED""k ZQ-1407 hl\xE1""s\xED"" chybu linky"},  // převodník ZQ-1407 hlásí chybu linky
    {KodLanTimeout, "chybn\xFD"" LAN timeout"},  // chybný LAN timeout
    {KodIsaPristup, "p\xF8""\xED""stup k port\xF9""m karty PCI-407 odep\xF8""en"},  // přístup k portům karty PCI-407 odepřen
    {KodIsaNenalezena, "karta PCI-407 nenalezena"},  // karta PCI-407 nenalezena
    {KodIsaAdresa, "chybn\xE1"" b\xE1""zov\xE1"" adresa karty PCI-407"},  // chybná bázová adresa karty PCI-407
    {KodPciNenalezena, "karta PCI-1407 nenalezena"},  // karta PCI-1407 nenalezena
    {KodPciPristup, "p\xF8""\xED""stup ke kart\xEC"" PCI-1407 odep\xF8""en"},  // přístup ke kartě PCI-1407 odepřen
    {KodUsbNenalezen, "p\xF8""evodn\xED""k USB-1407 nenalezen"},  // převodník USB-1407 nenalezen
};

constexpr const char* Neznamy = "nezn\xE1""m\xFD"" chybov\xFD"" k\xF3""d";  // neznámý chybový kód

}  // namespace

const char* TextKodu(int32_t kod) {
  for (const TPolozka& p : Texty)
    if (p.Kod == kod) return p.Text;
  return Neznamy;
}

void ZapisText(int32_t kod, int32_t* text) {
  for (int i = 0; i < 100; ++i) text[i] = 0;
  const char* s = TextKodu(kod);
  for (int i = 1; i < 100 && s[i - 1] != 0; ++i) text[i] = static_cast<unsigned char>(s[i - 1]);
  text[99] = 0;
}

}  // namespace zqdrv
