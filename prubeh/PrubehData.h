#pragma once
// What the trend window computes without widgets: a channel's history as
// plotted (broken where reads failed, at most two points per pixel column:
// TSloupceKrivky),
// the CSV of the history shown, and the settings the window remembers per
// task in a file of its own.

#include <QList>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Historie.h"

// A channel's history as the window took it: the thinned intervals of the
// whole run before the first full-rate point (only when the whole run is
// shown), then the full-rate points.
struct TDataKanalu {
  std::vector<TUsekHistorie> Useky;
  uint32_t SirkaUsekuMs = 0;
  std::vector<TBodHistorie> Body;
};

// The lines of a channel over the history times odMs..doMs (ms since the
// start of the measurement), in chart coordinates: x = posunMs + history
// time.  A read that failed breaks the line: the points on either side are
// never joined, and no value stands in for the failed one.  Within a column
// of krokMs (a pixel of the plot) only the lowest and the highest value are
// kept, in their order; a failure shows as a break once it fills a whole
// column on its own, so every failure shows when the plot is zoomed to
// pixel columns narrower than the pass.  A thinned interval plots its
// minimum and maximum at its middle; one in which every read failed is a
// break.  The nearest point outside the range on either side is kept, so a
// line runs to the plot's edge.
std::vector<QList<QPointF>> CastiKrivky(const TDataKanalu& data, double odMs, double doMs,
                                        double krokMs, double posunMs);

// One channel of the CSV.
struct TKanalCsv {
  int Cislo = 0;
  std::string Nazev;  // Windows-1250
  int DesetinnaMista = 0;
  const TDataKanalu* Data = nullptr;
};

// The history shown as CSV, Windows-1250, ";" between fields, CR LF after
// each line, in the manner of the program's CSV data files.  Header
// "Datum;Čas;Kanál;Název;Hodnota;Minimum;Maximum", then one line per point
// and per thinned interval between odMs and doMs, in time order: a full-rate
// point fills Hodnota (empty when the read failed), a thinned interval
// Minimum and Maximum (empty when every read in it failed) and has the time
// of its beginning.  Date and time in the regional format, from
// zacatekMs (milliseconds since the epoch at history time 0); numbers with
// the channel's decimal places and `oddelovac`.
std::string CsvHistorie(const std::vector<TKanalCsv>& kanaly, double odMs, double doMs,
                        int64_t zacatekMs, char oddelovac);

// The status text of a file the system refused to write.
QString NelzeZapsat(const QString& jmeno);
// Texts (Windows-1250) as the lines of one label's text.
QString RadkyZprav(const std::vector<std::string>& zpravy);

// The lowest and the highest value of a channel's history over odMs..doMs
// (thinned intervals by their minimum and maximum); NaN for both when no
// read there succeeded.
std::pair<double, double> RozsahKanalu(const TDataKanalu& data, double odMs, double doMs);

// What the bubble over a line says of a point: the channel, its date and
// time (epoch ms), its value with the channel's decimals.
QString PopisBodu(int kanal, const std::string& nazev, int64_t casMs, double hodnota, int mista,
                  char oddelovac);

// The data file `jmeno` of a task (Windows-1250, as the main window holds
// it) as the full path it is written to: a name without a folder lies in the
// program's folder.  Empty for an empty name.
QString CelaDatovaCesta(const std::string& jmeno);

// The trend window's file beside the settings file: a section per task;
// UTF-8 or Windows-1250 (TKodovani::Utf8NeboCp1250), a new file UTF-8.
inline constexpr std::string_view JmenoNastaveniPrubehu = "ZQ_prubeh.ini";

struct TNastaveniPrubehu {
  int Sirka = 0;  // 0: not remembered
  int Vyska = 0;
  bool Poloha = false;  // the window's place on the screen, when remembered
  int X = 0;
  int Y = 0;
  std::vector<int> Kanaly;  // channels plotted, ascending
  int Rozsah = 1;           // index of the time range shown
  int OsaY = 0;             // index of "Osa Y": one axis, or each channel over its range
  bool operator==(const TNastaveniPrubehu&) const = default;
};

// The remembered settings of task `uloha` (Windows-1250); defaults when the
// file or its section is missing, and for the keys a file written before
// they were remembered lacks.  `nezname` gets what the file holds that is
// not read (a misspelt key in any task's section), a message each in Czech
// (Windows-1250).
TNastaveniPrubehu PrectiNastaveniPrubehu(const std::string& uloha,
                                         std::vector<std::string>* nezname = nullptr);
// Remembers them; throws TChybaZapisu when the file cannot be written.
void ZapisNastaveniPrubehu(const std::string& uloha, const TNastaveniPrubehu& n);
