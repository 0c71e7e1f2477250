#pragma once
// What a data file is made of, as archive/ArchivDat.cpp writes it: its
// format, its columns (Index, Datum, Čas, the error groups, the channels, in
// that order, each only with its option), where its records start, and the
// pictures of its dates and times.  Recognised from the file itself (the
// header line of a text or CSV file, the table header of a DBF file) or,
// for a text or CSV file written without a header line, from its task.
// Texts are Windows-1250.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArchivDat.h"
#include "Dekl.h"

struct TRozlozeni {
  TFormatSouboru Format = TFormatSouboru::Text;
  int32_t Volby = 0;  // VolbaZahlavi ... VolbaChyba: what the file has
  int PocetKanalu = 0;
  std::vector<std::string> NazvyKanalu;  // as written, without padding
  std::vector<int> DesetinnaMista;       // DBF: each channel field's decimals
  uint64_t ZacatekDat = 0;               // offset of the first record
  // DBF: the record's length with its deletion flag.  Text: the length of a
  // line whose every cell has its width, CR LF included (every line the
  // writer makes).  CSV: 0, lines vary.
  uint32_t DelkaZaznamu = 0;
  uint64_t ZaznamuVHlavicce = 0;  // DBF: the count the header states
  // The forms of the records: the decimal separator seen in the values ('\0'
  // when none shows a fraction; values are read with either, since the
  // writers never write a thousands separator), the pictures (platform/
  // Mistni.h) of the date and time, empty without the column.
  char DesetinnyOddelovac = '\0';
  std::string ObrazDatumu;
  std::string ObrazCasu;

  int PocetSkupin() const { return (Volby & VolbaChyba) ? PocetSkupinChyb(PocetKanalu) : 0; }
  int PocetSloupcu() const { return Predpona() + PocetSkupin() + PocetKanalu; }
  int SloupecIndexu() const { return (Volby & VolbaIndex) ? 0 : -1; }
  int SloupecDatumu() const { return (Volby & VolbaDatum) ? !!(Volby & VolbaIndex) : -1; }
  int SloupecCasu() const {
    return (Volby & VolbaCas) ? !!(Volby & VolbaIndex) + !!(Volby & VolbaDatum) : -1;
  }
  int SloupecSkupiny(int skupina) const { return Predpona() + skupina; }
  int SloupecKanalu(int kanal) const { return Predpona() + PocetSkupin() + kanal; }
  // The file places its records on a time axis only with both a date and a
  // time column; otherwise by their order.
  bool MaCas() const { return (Volby & VolbaDatum) && (Volby & VolbaCas); }
  // The same columns under the same names: files of one task.
  bool StejneSloupce(const TRozlozeni& jine) const;

 private:
  int Predpona() const {
    return !!(Volby & VolbaIndex) + !!(Volby & VolbaDatum) + !!(Volby & VolbaCas);
  }
};

// The fields of one record: the text of each column without the text
// format's padding, a CSV field's quotes or a DBF field's alignment.
class TPoleZaznamu {
 public:
  explicit TPoleZaznamu(const TRozlozeni& r) : r_(r) {}
  // Takes a line (without its CR LF) or a DBF record (with its deletion
  // flag).  False when it is not a record of the layout: another number of
  // fields, a deleted or damaged DBF record.  Columns up to `posledni`
  // (-1: all) are found; the rest only counted.  The bytes must stay while
  // the fields are read.
  bool Vezmi(const char* data, size_t delka, int posledni = -1);
  // The text of column `sloupec` (at most the `posledni` given to Vezmi).
  std::string_view Pole(int sloupec) const;

 private:
  const TRozlozeni& r_;
  const char* data_ = nullptr;
  size_t delka_ = 0;
  bool pevne_ = false;                               // cells at fixed places
  std::vector<std::pair<uint32_t, uint32_t>> meze_;  // CSV and odd text lines: each field
  std::vector<std::string> odUvozovek_;              // CSV fields taken out of their quotes
  std::vector<int> uvozene_;                         // column -> index into odUvozovek_, or -1
};

// A channel value as a number: optional blanks and sign, digits with one
// decimal separator ('.' or ','), an optional exponent; "NAN", "INF",
// "-INF" as FixniText writes them.  Empty for anything else.
std::optional<double> CtiHodnotu(std::string_view text);

// An error group's value: the bits of its 32 channels.
std::optional<uint32_t> CtiSkupinu(std::string_view text);

// The task a file is read with when it has no header line: its options,
// channel count and channel names.
struct TUlohaSouboru {
  std::string Jmeno;  // the task file, for messages
  int32_t Volby = 0;
  int PocetKanalu = 0;
  std::vector<std::string> NazvyKanalu;
  std::vector<int> DesetinnaMista;
  std::string JmenoSouboru;  // the task's "Jméno souboru"
};

// What the beginning of a file says of its layout.
struct TRozpoznani {
  enum TStav {
    Ok,
    BezZahlavi,  // a text or CSV file without a header line: its task is needed
    Cizi,        // not a data file of ours, or damaged beyond reading
  };
  TStav Stav = Cizi;
  TRozlozeni Rozlozeni;
  std::string Duvod;                  // Cizi, BezZahlavi: why, in Czech
  std::vector<std::string> Poznamky;  // what was noticed but does not stop the reading
};

// Recognises the columns from the first bytes of the file (up to the end of
// its header and first records) and its size.  `uloha`, when given, is used
// for a file whose first line is not a header line.  Dates, times and the
// decimal separator are left to MistniZeZaznamu (see Soubor.h).
TRozpoznani RozpoznejZacatek(std::string_view zacatek, uint64_t velikost, TFormatSouboru format,
                             const TUlohaSouboru* uloha);
