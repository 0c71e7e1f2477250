#pragma once
// Regional settings: the decimal separator, the short date format and the
// long time format.  Read from the system once, at first use; tests and the
// start-up may replace them before any worker thread runs.

#include <string>

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
