#pragma once
// Regional settings: the decimal separator, the short date format and the
// long time format.  Read from the system once, at first use; tests and the
// start-up may replace them before any worker thread runs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Hodiny.h"

class QLocale;

struct TMistniNastaveni {
  char DesetinnyOddelovac = '.';
  // Picture of the short date: d, dd, M, MM, yy, yyyy; every other
  // character is copied as it stands.
  std::string KratkeDatum = "dd.MM.yyyy";
  // Picture of the long time: H, HH (24 h), h, hh (12 h), m, mm, s, ss,
  // tt (AM/PM); every other character is copied.
  std::string DlouhyCas = "HH:mm:ss";
};

const TMistniNastaveni& Mistni();
// The settings of a Qt locale in the form above (what Mistni() takes from
// the system's locale at first use).
TMistniNastaveni MistniZLocale(const QLocale& locale);
void NastavMistni(const TMistniNastaveni& nastaveni);

// Presets, used by the tests and as documentation of the two common cases.
TMistniNastaveni MistniCeske();     // ',' "d.M.yyyy" "H:mm:ss"
TMistniNastaveni MistniAnglicke();  // '.' "M/d/yyyy" "h:mm:ss tt"

std::string FormatujDatum(const TDatumCas& t);  // by Mistni().KratkeDatum
std::string FormatujCas(const TDatumCas& t);    // by Mistni().DlouhyCas
// The same by a picture given.
std::string FormatujDatum(const TDatumCas& t, std::string_view obraz);
std::string FormatujCas(const TDatumCas& t, std::string_view obraz);

// Reads back a date or a time that a picture of the form above wrote.  A day,
// month, hour, minute or second field takes one or two digits whatever its
// width in the picture (one picture writes both 8 and 18), or exactly its
// width when a digit field follows it directly; a year takes the picture's
// two (20yy) or four digits; tt takes "AM" or "PM"; every other character
// of the picture must stand in the text as it is.  Empty when the text does
// not match or names no real date or time.  CtiCas leaves the date fields
// as TDatumCas has them.
std::optional<TDatumCas> CtiDatum(std::string_view text, std::string_view obraz);
std::optional<TDatumCas> CtiCas(std::string_view text, std::string_view obraz);

// What a record written earlier shows of the regional settings it was
// written in: the decimal separator of its values and the pictures of its
// date and time, so that a file continued under other settings goes on in
// its own (a spreadsheet reads a column of one form only).  Whatever the
// record does not show (no value with a fraction, no date or time column:
// an empty text) is taken from `vychozi`, and so is a choice the texts
// leave open but that changes nothing they show.  `zapsano` (when the
// record was written, e.g. the file's modification time) settles a date
// that reads both day first and month first.  Texts are Windows-1250.
struct TMistniZeZaznamu {
  std::optional<TMistniNastaveni> Mistni;  // empty: it cannot be decided
  std::string Duvod;                       // why not, in Czech
};
TMistniZeZaznamu MistniZeZaznamu(const TMistniNastaveni& vychozi, std::string_view datum,
                                 std::string_view cas, const std::vector<std::string>& hodnoty,
                                 const std::optional<TDatumCas>& zapsano);
