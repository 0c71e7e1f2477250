#pragma once
// The plot of channels against time that the trend window (the measurement's
// history, live) and the viewer of data files both show: one component,
// whatever the lines come from.  It takes them from a TZdrojKrivek, draws
// them with Qt Charts (gaps as breaks, "Osa Y" one axis or each channel over
// its own range), and lets the operator zoom (a rectangle dragged, the wheel
// over the time axis), pan (the middle button or Ctrl with the left one
// dragged, Shift with the wheel), go back a step (the right button) or to
// the whole range ("Celý rozsah"), and save what is in view as a picture
// (graf/, the drawing of the pictures drawn from data files too) and as CSV.
// With a TZdrojHodnot it also has two cursors (a click puts the first,
// Shift with a click the second) and a table of every plotted channel's
// value at each cursor, their difference, and its lowest, highest and mean
// value over the time in view.

#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QHBoxLayout;
class QLabel;
class QLineSeries;
class QPainter;
class QPushButton;
class QTableWidget;
class QValueAxis;

// Where the plot takes its lines from.  Times are milliseconds since the
// epoch; texts Windows-1250.
class TZdrojKrivek {
 public:
  virtual ~TZdrojKrivek() = default;
  // The channels plotted, ascending; a channel's name and decimals.
  virtual std::vector<int> Vybrane() const = 0;
  virtual std::string NazevKanalu(int kanal) const = 0;
  virtual int MistaKanalu(int kanal) const = 0;
  // What is shown: the title of a saved picture names it.
  virtual std::string Jmeno() const = 0;
  // The names the exports offer ("Kotelna_prubeh") and where.
  virtual QString ZakladJmenaExportu() const = 0;
  virtual QString SlozkaExportu() const = 0;
  // The time range shown when not zoomed.
  virtual std::pair<double, double> RozsahCasu() const = 0;
  // Called once before the lines of a drawing are asked for: a source that
  // reads slowly starts reading here, and tells the plot (Vykresli) when
  // it has what was asked.
  virtual void Priprav(double /*odMs*/, double /*doMs*/, double /*krokMs*/) {}
  // Channel `kanal` over odMs..doMs at pixel columns of krokMs: its
  // unbroken pieces (x in ms since the epoch, y its value).  A source still
  // reading answers with what it has.
  virtual std::vector<QList<QPointF>> Casti(int kanal, double odMs, double doMs, double krokMs) = 0;
  // The lowest and the highest value of the channel over the whole range
  // (not the part zoomed into): "Osa Y" each channel over its own range.
  // NaN when not known.
  virtual std::pair<double, double> RozsahHodnot(int kanal) = 0;
  // Why there is nothing to save as CSV (Czech); empty when there is.
  virtual QString NelzeUlozitCsv() const = 0;
  // The channels over odMs..doMs as CSV into `soubor`; `hotovo` gets the
  // line for the status bar (maybe later, from the main thread's loop).
  virtual void UlozCsv(const std::vector<int>& kanaly, double odMs, double doMs,
                       const QString& soubor, std::function<void(const QString&)> hotovo) = 0;
};

// A channel's value at a cursor, with the decimals it was written with.
struct THodnotaKurzoru {
  double Hodnota = NAN;  // NaN: a gap (a failed read)
  int Mista = 0;
};

// The record a cursor stands on: its time and the values of the channels
// asked for, in their order.  CasMs NaN: no record near enough.
struct TZaznamKurzoru {
  double CasMs = NAN;
  std::vector<THodnotaKurzoru> Hodnoty;
};

// A channel over the time in view: its lowest, highest and mean value (NaN
// when it has none), of how many values, the decimals of its texts.
struct TSouhrnKanalu {
  double Min = NAN, Max = NAN, Prumer = NAN;
  uint64_t Pocet = 0;
  int Mista = 0;
};

// The values behind the cursors and the statistics, read exactly (not from
// the plotted columns).  Answers come later, on the main thread; a question
// asked again before its answer came replaces it.
class TZdrojHodnot {
 public:
  virtual ~TZdrojHodnot() = default;
  // Grows whenever the data changed (records appended, a file read anew).
  virtual uint64_t Generace() const = 0;
  // The record nearest to casMs within okoliMs (or the usual step between
  // records, when longer).  `kurzor` tells the two cursors' questions apart.
  virtual void Zaznam(int kurzor, double casMs, double okoliMs, const std::vector<int>& kanaly,
                      std::function<void(const TZaznamKurzoru&)> odpoved) = 0;
  virtual void Souhrn(const std::vector<int>& kanaly, double odMs, double doMs,
                      std::function<void(const std::vector<TSouhrnKanalu>&)> odpoved) = 0;
};

// "2 d 03:04:05", "0:01:30", "0:00:00,250": a span of time for a person.
QString TextTrvani(double ms, char oddelovac);

class TGrafKanalu : public QWidget {
  Q_OBJECT

 public:
  // `casKresleni` (may be null) gathers the time the chart's painting takes
  // (µs).  The source is not asked anything until the first drawing.
  TGrafKanalu(TZdrojKrivek& zdroj, uint64_t* casKresleni, QWidget* rodic);

  // The cursors and the table of values beneath the plot, from `hodnoty`.
  void ZapniHodnoty(TZdrojHodnot& hodnoty);

  // Takes the lines from the source over the range in view (the source's
  // whole range unless zoomed) and draws them.
  void Vykresli();
  // Back to the source's whole range, as "Celý rozsah" does.
  void ZrusPriblizeni();
  bool Priblizeno() const { return priblizeno_; }
  // The time axis as the operator would set it by zooming.
  void Priblizi(double odMs, double doMs);
  // The time range in view.
  std::pair<double, double> Zobrazeno() const;

  // The index of "Osa Y" (the remembered one), without telling: 0 one value
  // axis for all, 1 each channel scaled to its own range.
  void NastavOsuY(int index);
  int IndexOsyY() const;

  // The cursors (0 and 1), as a click puts them: each moves onto the record
  // nearest in time, whose values the table then shows.
  void NastavKurzor(int kurzor, double casMs);
  void ZrusKurzory();
  // Where a cursor stands (NaN: not placed, or not yet on its record), and
  // what its record holds.
  double CasKurzoru(int kurzor) const;
  const TZaznamKurzoru& ZaznamKurzoru(int kurzor) const;
  // The statistics over the time in view, per plotted channel; empty until
  // read.
  const std::map<int, TSouhrnKanalu>& Souhrny() const { return souhrny_; }

  // The lines of channel `kanal` as plotted: one list of points per unbroken
  // piece (x in milliseconds since the epoch).
  std::vector<QList<QPointF>> Krivka(int kanal) const;

  void UlozObrazek();
  void UlozCsvSoubor();
  // The picture "Uložit obrázek…" saves: the plot with the name and the time
  // range above it and the channels with their colours below it.
  QImage Obrazek() const;
  // The bubble shown over a line; empty when none is.
  const QString& Bublina() const { return bublina_; }

  QComboBox* OsaY = nullptr;
  QPushButton* CelyRozsah = nullptr;
  QPushButton* UlozitObrazek = nullptr;
  QPushButton* UlozitCsv = nullptr;
  QChartView* Graf = nullptr;
  // With the cursors: the line of their times, the button that removes them
  // and the table of values.
  QLabel* PopisKurzoru = nullptr;
  QPushButton* ZrusitKurzory = nullptr;
  QTableWidget* Hodnoty = nullptr;

 signals:
  // A text for the window's status line (an export's outcome).
  void Zprava(const QString& text);
  // "Osa Y" was chosen anew: a setting to remember.
  void OsaYZmenena();

 protected:
  // The row of controls above the plot, for the owner's own.
  QHBoxLayout* Ovladani() const { return ovladani_; }
  // The time of a pixel column at the last drawing, and when it was (TikMs).
  double KrokMs() const { return krokMs_; }
  uint64_t TikVykresleni() const { return tikVykresleni_; }
  // Forgets a zoom without drawing (the owner draws next).
  void ZapomenPriblizeni();

 private:
  class TPohled;

  void OdeberKrivku(int kanal);
  void NastavOsy(double odMs, double doMs, double min, double max);
  // Ticks of the value axis on round steps of `krok` (0: from its range).
  void DilkyOsyY(double krok = 0);
  // The time axis's labels for the span in view.
  void FormatOsyX();
  bool VlastniRozsahy() const;
  void UkazBodKrivky(int kanal, const QLineSeries* s, const QPointF& kde, bool nad);
  // The pixel column of a time in the view, and back.
  double XVPohledu(double casMs) const;
  double CasVPohledu(double x) const;
  void Posun(double dx, double dy);
  void PriblizCas(double faktor, double kolemMs);
  // The cursors' records and the statistics asked for again when what they
  // depend on changed.
  void ObnovHodnoty();
  void UkazHodnoty();
  void NakresliKurzory(QPainter& p) const;

  TZdrojKrivek& zdroj_;
  TZdrojHodnot* hodnoty_ = nullptr;

  QHBoxLayout* ovladani_ = nullptr;
  double krokMs_ = 0;           // the time of a pixel column at the last drawing
  uint64_t tikVykresleni_ = 0;  // when it was (TikMs)
  std::map<int, std::vector<QLineSeries*>> krivky_;
  // The pieces plotted, in the channels' own values (the lines of each
  // channel over its own range are in percent).
  std::map<int, std::vector<QList<QPointF>>> casti_;
  // Each channel over its own range: the values the plot's 0 and 100 stand
  // for, per channel.
  std::map<int, std::pair<double, double>> rozsahy_;
  QString bublina_;
  QString napovedaGrafu_;    // the view's tooltip away from the lines
  bool priblizeno_ = false;  // the operator zoomed: the axes stay his
  bool nastavujiOsy_ = false;
  bool vykreslitPozdeji_ = false;

  // The cursors: where each was put, the record it stands on, and the
  // question last asked for it (its answer is taken only if it is still
  // that one).
  struct TKurzor {
    double Polozen = NAN;
    TZaznamKurzoru Zaznam;
    uint64_t Dotaz = 0;
    std::vector<int> Kanaly;
    uint64_t Generace = 0;
  };
  std::array<TKurzor, 2> kurzory_;
  std::map<int, TSouhrnKanalu> souhrny_;
  uint64_t dotazSouhrnu_ = 0;
  std::vector<int> kanalySouhrnu_;
  std::pair<double, double> rozsahSouhrnu_{NAN, NAN};
  uint64_t generaceSouhrnu_ = 0;

  QChart* chart_ = nullptr;
  QDateTimeAxis* osaX_ = nullptr;
  QValueAxis* osaY_ = nullptr;
};
