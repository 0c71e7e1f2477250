#pragma once
// A channel's values reduced to what a plot of pixel columns can show: per
// column only the lowest and the highest value, in their order, so a spike
// never disappears and the cost of drawing does not grow with the data.
// Failed reads break the line; nothing stands in for them.

#include <QList>
#include <QPointF>

#include <cstdint>
#include <vector>

class TSloupceKrivky {
 public:
  // Columns of krokMs from odMs (0: every point a column of its own); the
  // pieces' x is posunMs + the point's time.
  TSloupceKrivky(double odMs, double krokMs, double posunMs = 0);

  // The next point, in time order; NaN is a failed read.  A column in which
  // every read failed breaks the line; a failure among good values of its
  // column does not (it shows once the columns are shorter than the time
  // between reads).
  void Pridej(double casMs, double hodnota);
  // A break whatever the columns: nothing was recorded between the points
  // on either side.
  void Prerus();
  // The unbroken pieces (a single point is a value between two breaks).
  std::vector<QList<QPointF>> Casti();

 private:
  struct TBod {
    double CasMs, Hodnota;
  };
  void UzavriSloupec();

  double odMs_, krokMs_, posunMs_;
  std::vector<QList<QPointF>> casti_;
  QList<QPointF> cast_;
  int64_t sloupec_ = INT64_MIN, poradi_ = 0;
  bool platny_ = false, chyba_ = false;
  TBod min_{0, 0}, max_{0, 0};
};
