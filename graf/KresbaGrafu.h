#pragma once
// A plot of channels against time drawn with a painter, without widgets:
// the trend window's saved picture and the pictures drawn from data files
// are this one drawing.  A title line above, the plot with its time axis
// (ticks on round clock times) and value axis (round steps; one for all
// channels or each channel over its own range in percent), each channel's
// pieces in its colour with gaps between them, and a legend below (a
// square of the channel's colour, its number and name; with each channel
// over its own range also the values 0 and 100 % stand for).

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <cmath>
#include <cstdint>
#include <vector>

class QPainter;

struct TKanalGrafu {
  int Cislo = 0;  // "Ch3" in the legend
  QString Nazev;
  int Barva = 0;  // BarvaKanalu's index
  int DesetinnaMista = 0;
  // The unbroken pieces of its line (TSloupceKrivky): x in milliseconds
  // since the epoch, y the value.  Points beyond the time range are
  // allowed: the line runs to the plot's edge.
  std::vector<QList<QPointF>> Casti;
  // Each channel over its own range: the values 0 and 100 % stand for; NaN
  // takes them from the pieces within the time range.
  double Nejmene = NAN, Nejvice = NAN;
};

struct TZadaniGrafu {
  QString Nadpis;  // empty: no title line
  std::vector<TKanalGrafu> Kanaly;
  int64_t OdMs = 0, DoMs = 60000;  // the time axis, ms since the epoch
  bool KanalyZvlast = false;       // "Osa Y": each channel over its own range
  // The value axis as given (a zoom; percent with KanalyZvlast); NaN: over
  // the values in view.
  double HodnotyOd = NAN, HodnotyDo = NAN;
  QSize Velikost{1000, 600};  // the whole picture, logical pixels
  qreal Dpr = 1;              // device pixels per logical one (QImage only)
  QFont Pismo;                // labels and legend; the title bold and 1.2 times it
  char Oddelovac = ',';       // decimal separator of the labels
};

// Where everything went, for whoever lays something over the plot (and
// for the tests).
struct TRozvrzeniGrafu {
  struct TPopisek {
    QRect Kde;
    QString Text;
  };
  struct TPolozkaLegendy {
    int Kanal = 0;  // index into TZadaniGrafu::Kanaly
    QRect Ctverec, Text;
    QString Popis;
  };
  QRect Nadpis;  // empty without a title
  QRect Plocha;  // the plot area inside the axes
  std::vector<TPopisek> PopiskyCasu, PopiskyHodnot;
  std::vector<TPolozkaLegendy> Legenda;
};

// The height of the title and of the legend at the picture's width: what a
// picture needs besides the plot with its axes.
int VyskaNadpisuALegendy(const TZadaniGrafu& z);
TRozvrzeniGrafu RozvrhniGraf(const TZadaniGrafu& z);
// Draws into the rectangle (0, 0, z.Velikost) of `p`, white underneath.
void NakresliGraf(QPainter& p, const TZadaniGrafu& z, TRozvrzeniGrafu* rozvrzeni = nullptr);
QImage ObrazekGrafu(const TZadaniGrafu& z, TRozvrzeniGrafu* rozvrzeni = nullptr);
