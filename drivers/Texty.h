#pragma once
// Status codes of the interface libraries and their Czech texts.

#include <cstddef>
#include <cstdint>

#include <string>
#include <string_view>
#include "zq407.h"

namespace zqdrv {

inline constexpr int32_t KodOk = 0;
inline constexpr int32_t KodHandle = 1;     // neplatný handle rozhraní
inline constexpr int32_t KodParametr = 2;   // chybný parametr volání
inline constexpr int32_t KodRychlost = 3;   // nepodporovaná rychlost linky
inline constexpr int32_t KodCteni = 4;      // chyba při čtení z modulu
inline constexpr int32_t KodTimeout = 5;    // chybný časový limit nebo počet opakování
inline constexpr int32_t KodPlno = 6;       // příliš mnoho otevřených rozhraní
inline constexpr int32_t KodDelkaDat = 7;   // chybná délka dat v dotazu
inline constexpr int32_t KodNastaveni = 8;  // linku nelze nastavit
inline constexpr int32_t KodDotaz = ZQ407_KOD_DOTAZ;            // dotaz nelze sestavit
inline constexpr int32_t KodNeotevreno = ZQ407_KOD_NEOTEVRENO;  // rozhraní není otevřeno
inline constexpr int32_t KodOtevreni = 11;                      // port nelze otevřít
inline constexpr int32_t KodNeexistuje = 12;                    // port neexistuje
inline constexpr int32_t KodObsazeno = 13;        // port je používán jiným programem
inline constexpr int32_t KodZapis = 14;           // chyba zápisu na linku
inline constexpr int32_t KodCteniLinky = 15;      // chyba čtení z linky
inline constexpr int32_t KodCisloPortu = 16;      // chybné číslo portu COM
inline constexpr int32_t KodPristupPort = 17;     // přístup k portu odepřen
inline constexpr int32_t KodNeodpovedel = 20;     // modul neodpověděl (vypršel časový limit)
inline constexpr int32_t KodCrc = 21;             // chyba kontrolního součtu odpovědi
inline constexpr int32_t KodAdresa = 22;          // odpověď od jiného modulu
inline constexpr int32_t KodNeuplna = 23;         // neúplná odpověď modulu
inline constexpr int32_t KodDlouha = 24;          // příliš dlouhá odpověď modulu
inline constexpr int32_t KodFormat = 25;          // chybný formát odpovědi modulu
inline constexpr int32_t KodOpozdena = 26;        // opožděná odpověď na dřívější dotaz
inline constexpr int32_t KodModul = 30;           // modul hlásí chybu
inline constexpr int32_t KodModulFunkce = 31;     // modul nezná požadovanou funkci
inline constexpr int32_t KodModulPeriferie = 32;  // modul nezná požadovanou periferii
inline constexpr int32_t KodModulData = 33;       // modul odmítl data dotazu
inline constexpr int32_t KodIpAdresa = 40;        // chybná IP adresa převodníku
inline constexpr int32_t KodUdpPort = 41;         // chybný port UDP převodníku
inline constexpr int32_t KodSoket = 42;           // chyba soketu UDP
inline constexpr int32_t KodOdeslani = 43;        // chyba odeslání datagramu
inline constexpr int32_t KodPrevodnik = 44;       // převodník ZQ-1407 neodpověděl
inline constexpr int32_t KodPrevodnikLinka = 45;  // převodník ZQ-1407 hlásí chybu linky
inline constexpr int32_t KodLanTimeout = 46;      // chybný LAN timeout
inline constexpr int32_t KodIsaPristup = 50;      // přístup k portům karty PCI-407 odepřen
inline constexpr int32_t KodIsaNenalezena = 51;   // karta PCI-407 nenalezena
inline constexpr int32_t KodIsaAdresa = 52;       // chybná bázová adresa karty PCI-407
inline constexpr int32_t KodPciNenalezena = 55;   // karta PCI-1407 nenalezena
inline constexpr int32_t KodPciPristup = 56;      // přístup ke kartě PCI-1407 odepřen
inline constexpr int32_t KodUsbNenalezen = 60;    // převodník USB-1407 nenalezen

// The longest text _Error gives: of its 100 entries, entry 0 and the closing
// zero entry carry no character.
inline constexpr size_t MaxDelkaTextu = 98;

// The fixed text of a code as Windows-1250 bytes; an unknown code gets the
// text of an unknown code.  Always a pointer to constant data.
const char* TextKodu(int32_t kod);

// The text of a failure of `kod` on the device `zarizeni` (a file-system
// path), e.g. "port /dev/ttyS0 neexistuje", at most MaxDelkaTextu bytes: a
// path too long for it keeps its end behind "\x85" (the ellipsis), from a
// '/' on where that fits, so the file name and any advice after the path
// always survive.  Characters outside printable ASCII show as '?'.  Empty
// when the code has no such text or the device is unknown.
std::string TextZarizeni(int32_t kod, std::string_view zarizeni);

// Records the failure of `kod` for _Error: from now on the code's text is
// TextZarizeni(kod, zarizeni), or the fixed text again when that is empty.
// One slot per code for the whole library: the last failure of a code wins,
// whichever handle it came from.  Safe from any thread.
void ZapamatujSelhani(int32_t kod, std::string_view zarizeni) noexcept;

// Writes the text into 100 entries as the _Error entry point does: entry 0
// is 0, then one character per entry, ended by a zero entry.  The recorded
// text of the code's last failure if there is one, else the fixed text.
void ZapisText(int32_t kod, int32_t* text);

}  // namespace zqdrv
