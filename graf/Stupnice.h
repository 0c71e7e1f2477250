#pragma once
// What a plot of channels against time works out before anything is drawn,
// shared by the trend window's chart and the drawing of a plot into a
// picture, so that both show the same: the channels' colours, the value
// axis on round steps, the time axis's steps and label format, a channel
// scaled to its own range, the title of a saved plot.  No widgets.

#include <QColor>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "Hodiny.h"

// The colour of channel `kanal`'s line: told apart on white and from the
// others; a channel keeps it (by its number) whatever else is plotted.
QColor BarvaKanalu(int kanal);

// The round step (1, 2, 2.5 or 5 times a power of ten) next above `hruby`.
double KulatyKrok(double hruby);

// The value axis of a plot `vyskaPx` high over the values in view
// min..max (min > max: no value): 5 % room above and below, ticks on round
// steps about 35 px apart, and the lowest tick label kept off the bottom
// edge, where it would crowd the first label of the time axis.  With
// `procenta` (each channel over its own range) the axis spans 0 to 100 %
// whatever the values.  Without values there is nothing to read: no labels.
struct TOsaHodnot {
  double Od = 0, Do = 1;
  double Krok = 1;  // between ticks, anchored at 0
  int Mista = 0;    // decimals of the labels: as many as the step needs
  bool Procenta = false;
  bool Popisky = true;
};
TOsaHodnot OsaHodnot(double min, double max, double vyskaPx, bool procenta);
// The step of ticks over an axis od..do given by hand (a zoom).
double KrokHodnot(double od, double doHodnoty, double vyskaPx);
int MistaKroku(double krok);
// The ticks of the axis, each a whole multiple of its step.
std::vector<double> DilkyHodnot(const TOsaHodnot& osa);
// A tick's label: the axis's decimals, the regional separator, "%" for
// percent.
QString PopisHodnoty(const TOsaHodnot& osa, double hodnota, char oddelovac);

// A channel's value as percent of its range nejmene..nejvice (0 % its
// lowest, 100 % its highest); a channel whose values do not change sits at
// 50 %.
double ProcentoRozsahu(double hodnota, double nejmene, double nejvice);
// And back, for what the operator reads off a line.
double HodnotaZProcent(double procento, double nejmene, double nejvice);

// The number of intervals of a time axis `sirkaPx` wide: labels about
// 110 px apart.
int PocetUsekuCasu(double sirkaPx);
// The format of the time labels (QDateTime's) over a span: clock times with
// seconds up to 15 minutes, without them up to a day, with the day beyond;
// milliseconds when ticks lie less than a second apart.
QString FormatCasu(double rozpetiMs, double krokMs);
// The round step of time (1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min;
// 1, 2, 3, 6, 12 h; 1, 2, 7 days...) next above the span over the axis's
// intervals.
double KrokCasu(double rozpetiMs, double sirkaPx);
// The ticks of a time axis odMs..doMs (ms since the epoch) on steps of
// krokMs counted from local midnight, so they fall on round clock times.
std::vector<int64_t> DilkyCasu(int64_t odMs, int64_t doMs, double krokMs);

// Local date and time of milliseconds since the epoch.
TDatumCas DatumCasMs(int64_t ms);

// The title of a saved plot: the task or file `jmeno` (Windows-1250) and
// the time range shown (epoch ms), with the date in the regional format,
// "Kotelna.zq: 7.12.2026 14:00:22 až 14:05:22"; a range over midnight names
// both dates.
QString NadpisGrafu(const std::string& jmeno, int64_t odMs, int64_t doMs);
