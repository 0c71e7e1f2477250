#pragma once
// The plot of the trend window: the chosen channels over the last minutes or
// the whole run, from the measurement's history, with its controls (range,
// one value axis or each channel over its own range, pause, zoom reset, PNG
// and CSV export).  Failed reads are gaps; the plot keeps two points per
// pixel column and channel, so its cost does not grow with the history.  A
// bubble over a line gives the channel, time and value of its nearest
// point.

#include <QImage>
#include <QList>
#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Historie.h"
#include "PrubehData.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QValueAxis;
class TModelKanaluPrubehu;

// What the plot reads from the window it lies in.
class TZdrojGrafu {
 public:
  virtual ~TZdrojGrafu() = default;
  virtual const THistorie& Historie() const = 0;
  // The history belongs to the task shown (it was measured with it).
  virtual bool HistorieUlohy() const = 0;
  // The history still grows: its measurement runs.
  virtual bool Zive() const = 0;
  // History time 0 as milliseconds since the epoch.
  virtual int64_t ZacatekMs() const = 0;
  // The task shown (Windows-1250), for the names offered by the exports.
  virtual const std::string& Uloha() const = 0;
};

// The time ranges of the list "Zobrazit", in minutes; the entry after the
// last is the whole run.
inline constexpr int MinutyRozsahu[] = {1, 5, 15, 60};
inline constexpr int CeleMereni = 4;

class TGrafPrubehu : public QWidget {
  Q_OBJECT

 public:
  // `casKresleni` gathers the time the chart's painting takes (µs).
  TGrafPrubehu(const TZdrojGrafu& zdroj, const TModelKanaluPrubehu& model, uint64_t& casKresleni,
               QWidget* rodic);

  // Takes the chosen channels from the history and draws them again, unless
  // paused; when not `vzdy`, only once the time of a pixel column has passed
  // since the last drawing (over a long range a second changes nothing that
  // could be seen).
  void Obnov(bool vzdy);
  // A check box of the list changed.
  void VyberZmenen(int kanal, bool vybran);
  // The choice of channels or the range was replaced as a whole (another
  // task): drawn once, from scratch.
  void Prekresli();
  // The range index of "Zobrazit" (the remembered one), without telling.
  void NastavRozsah(int index);
  int IndexRozsahu() const;
  // The index of "Osa Y" (the remembered one), without telling: 0 one value
  // axis for all, 1 each channel scaled to its own range in view.
  void NastavOsuY(int index);
  int IndexOsyY() const;

  // The lines of channel `kanal` as plotted: one list of points per unbroken
  // piece (x in milliseconds since the epoch).
  std::vector<QList<QPointF>> Krivka(int kanal) const;

  void UlozObrazek();
  void UlozCsvSoubor();
  // The picture "Uložit obrázek…" saves: the plot with the task and the time
  // range above it and the channels with their colours below it.
  QImage Obrazek() const;
  // The bubble shown over a line; empty when none is.
  const QString& Bublina() const { return bublina_; }

  QComboBox* Rozsah = nullptr;
  QComboBox* OsaY = nullptr;
  QPushButton* Pauza = nullptr;
  QPushButton* CelyRozsah = nullptr;
  QPushButton* UlozitObrazek = nullptr;
  QPushButton* UlozitCsv = nullptr;
  QChartView* Graf = nullptr;

 signals:
  // A text for the window's status line (an export's outcome).
  void Zprava(const QString& text);
  // The range was chosen anew: a setting to remember.
  void RozsahZmenen();
  // "Osa Y" was chosen anew: a setting to remember.
  void OsaYZmenena();

 private:
  class TPohled;

  void NactiData();
  void Vykresli();
  void NastavOsy(double odMs, double doMs, double min, double max);
  // Ticks of the value axis on round steps of `krok` (0: from its range).
  void DilkyOsyY(double krok = 0);
  void OdeberKrivku(int kanal);
  bool VlastniRozsahy() const;
  void UkazBodKrivky(int kanal, const QLineSeries* s, const QPointF& kde, bool nad);

  const TZdrojGrafu& zdroj_;
  const TModelKanaluPrubehu& model_;

  // What the plot shows: the channels' data from the history and the range.
  std::map<int, TDataKanalu> data_;
  double odMs_ = 0, doMs_ = 0;
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

  QChart* chart_ = nullptr;
  QDateTimeAxis* osaX_ = nullptr;
  QValueAxis* osaY_ = nullptr;
};
