#pragma once
// The data file of a running measurement: the sample record and the three
// writers (fixed-width text, ";"-separated values, dBASE III table).
//
// The file is opened for every sample and closed again; nothing is held open
// between samples.  Every append costs the same whatever the size of the file:
// no writer reads or rewrites what is already there.  Texts are Windows-1250.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Dekl.h"

// One sample of all channels.  Entry k of the arrays belongs to channel k
// (as many entries as the channel table has).
struct TVzorek {
  std::string Datum;  // short date of the locale
  std::string Cas;    // long time of the locale
  std::array<std::string, std::tuple_size_v<TPoleKanal>> Nazev;
  std::array<std::string, std::tuple_size_v<TPoleKanal>> Hodnota;
  std::array<uint8_t, std::tuple_size_v<TPoleKanal>> DesetinnaMista{};
  std::array<uint8_t, std::tuple_size_v<TPoleKanal>>
      Chyba{};  // status of the last read, 0 = success
};

// State of the data file of a running measurement.
struct TArchivDat {
  std::string JmenoSouboru;  // path of the data file (Windows-1250)
  int32_t Volby = 0;         // option bits (VolbaZahlavi ... VolbaChyba)
  int32_t PocetKanalu = 0;   // channels per sample, 1..256
  uint32_t IndexVzorku = 0;  // samples handed to ZapisVzorek since the start
  TVzorek Vzorek;
  // Why the last write failed: an errno value or a code of ChybySouboru.h
  // (PricinaChyby gives the operator's words); 0 after a write that succeeded.
  int Pricina = 0;
};

// The data-file state of the running measurement.  Who touches it when:
// - the main thread, in the start of a measurement (PripravArchiv), before
//   the worker threads exist;
// - the logging thread fills Archiv.Vzorek, and only while no ZapisVzorek
//   runs (it hands the sample over and waits until the main thread has
//   written it);
// - the main thread writes it (ZapisVzorek) only on the logging thread's
//   behalf, while that thread waits.
// Nothing else reads or writes it while a measurement runs, so it needs no
// lock of its own.
extern TArchivDat Archiv;

// Start of a measurement: sets the file name, options and channel count,
// IndexVzorku 0, and clears the whole sample (so no error group carries the
// status of a channel that is not logged).
void PripravArchiv(TArchivDat& archiv, const std::string& jmeno, int32_t volby,
                   int32_t pocetKanalu);

// Appends the sample to the data file, choosing the writer by the upper-cased
// extension of JmenoSouboru (".CSV", ".DBF", anything else is text), and
// increments IndexVzorku first.  `chyba` becomes "" on success and
// "Chyba zápisu do souboru" on any failure, with the cause in Pricina; a
// failed append leaves the file byte for byte as it was before it.  Never
// throws.
void ZapisVzorek(TArchivDat& archiv, std::string& chyba);

// The writers themselves (IndexVzorku already incremented).  Same contract
// for `chyba` as ZapisVzorek.
void ZapisTXT(TArchivDat& archiv, std::string& chyba);
void ZapisCSV(TArchivDat& archiv, std::string& chyba);
void ZapisDBF(TArchivDat& archiv, std::string& chyba);

// Continuing a data file that an earlier run of the same task left (a
// restart after a crash or a power cut).
struct TNavazani {
  enum TStav {
    Neni,      // no such file: the first sample creates it as usual
    Navazano,  // the file belongs to the task; the next record follows it
    Cizi,      // another format, header, column count or field list
    Chyba,     // it could not be read or repaired
  };
  TStav Stav = Chyba;
  uint32_t PosledniIndex = 0;  // index of the last record, where there is an index column
  uint64_t Odriznuto = 0;      // bytes of a torn tail that were cut off
  std::string Duvod;           // Cizi, Chyba: why, in Czech (Windows-1250)
  // The last record's date and time texts and its channels' value texts, as
  // written (no padding, no quotes); empty without a record or a column.
  std::string Datum{};
  std::string Cas{};
  std::vector<std::string> Hodnoty{};
};
// Checks that the data file of `archiv` belongs to it: the same format and,
// for text and CSV, a first line ended by CR LF that is the task's header
// line (with the header option) or has its number of columns, and so has
// the last complete line; for DBF the same fields.  A torn tail (a last line
// without CR LF after a complete one, records beyond the header's count, a
// partial record) is cut, and so is a file holding only the beginning of
// the task's header (a creation cut short); nothing else is changed, and a
// file refused as Cizi is left byte for byte as it was.  `archiv` as
// PripravArchiv leaves it, with the channels' Nazev and DesetinnaMista of
// its Vzorek filled, since the header is made of them.
TNavazani NavazNaSoubor(const TArchivDat& archiv);

// What the next ZapisVzorek adds to a sound file of `archiv`: its record
// (the index one past IndexVzorku), and before it, in a new file, the header
// line or the table's header with its end-of-file marker.  A record of a
// table is always the same length; a line depends on its texts.
uint64_t DelkaZaznamu(const TArchivDat& archiv);
uint64_t DelkaNoveho(const TArchivDat& archiv);

// The text ZapisVzorek reports for a failed write.
const std::string& ChybaZapisu();

// The writer a file name selects.
enum class TFormatSouboru { Text, CSV, DBF };
TFormatSouboru FormatSouboru(std::string_view jmenoSouboru);

// A CSV field as the CSV writer puts it: as it is, unless a ";", a quote or
// a line break inside would split the line; then enclosed in quotes with
// every inner quote doubled.
std::string PoleCSV(const std::string& text);

// Error-status columns: one group for every 32 channels.  The group starting
// at channel `zacatek` is titled "Chyba<zacatek>-<zacatek+31>"; its value has
// bit j set when channel zacatek + j (below pocetKanalu) has a nonzero status.
int PocetSkupinChyb(int pocetKanalu);
std::string NazevSkupinyChyb(int zacatek);
uint32_t SkupinaChyb(const TVzorek& vzorek, int zacatek, int pocetKanalu);

// dBASE III layout.
inline constexpr uint8_t DBF_Verze = 0x03;          // no memo file
inline constexpr int DBF_DelkaHlavicky = 32;        // main header
inline constexpr int DBF_DelkaPolozky = 32;         // one field descriptor
inline constexpr int DBF_SirkaPole = 14;            // every field
inline constexpr int DBF_DelkaNazvu = 10;           // field name, bytes
inline constexpr uint8_t DBF_KonecHlavicky = 0x0D;  // after the descriptors
inline constexpr uint8_t DBF_KonecSouboru = 0x1A;   // end-of-file marker
inline constexpr uint8_t DBF_ZaznamPlatny = 0x20;   // record not deleted
inline constexpr int DBF_MaxPolozek = 268;          // descriptor table size
inline constexpr int DBF_PoziceJazyka = 29;         // language byte of the header
inline constexpr uint8_t DBF_JazykCp1250 = 0xC8;    // Windows-1250 texts

// One field descriptor in memory.
struct TDBF_HlavickaPolozka {
  std::string Nazev;
  char Typ = 'N';
  // (Descriptor bytes 12..15, the field's data address, are always zero.)
  uint8_t Delka = DBF_SirkaPole;
  uint8_t DesetinnaMista = 0;
  std::array<uint8_t, 14> Rezerva{};  // descriptor bytes 18..31
};

// Number of fields of a table for these options and channel count.
int PocetPoliDBF(int32_t volby, int32_t pocetKanalu);
// The descriptors of a new table, in column order.  Field names are unique
// the way readers tell them apart (case folded, blanks around and anything
// from a NUL on ignored): of the fields sharing a name the first in column
// order keeps it and every later channel gets a numbered one, the same for
// the same task every time.
std::vector<TDBF_HlavickaPolozka> PolozkyDBF(const TArchivDat& archiv);
