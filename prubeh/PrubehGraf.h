#pragma once
// The plot of the trend window: the chosen channels over the last minutes or
// the whole run, from the measurement's history, in the plot component it
// shares with the viewer of data files (GrafKanalu.h), with the controls of
// a live plot besides (the range shown, pause).  The plot keeps two points
// per pixel column and channel, so its cost does not grow with the
// history.

#include <QList>
#include <QPointF>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "GrafKanalu.h"
#include "Historie.h"
#include "PrubehData.h"

class QComboBox;
class QPushButton;
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

class TGrafPrubehu : public TGrafKanalu, private TZdrojKrivek {
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

  QComboBox* Rozsah = nullptr;
  QPushButton* Pauza = nullptr;

 signals:
  // The range was chosen anew: a setting to remember.
  void RozsahZmenen();

 private:
  void NactiData();

  // TZdrojKrivek: the history's points, x shifted by the start's moment.
  std::vector<int> Vybrane() const override;
  std::string NazevKanalu(int kanal) const override;
  int MistaKanalu(int kanal) const override;
  std::string Jmeno() const override { return zdroj_.Uloha(); }
  QString ZakladJmenaExportu() const override;
  QString SlozkaExportu() const override;
  std::pair<double, double> RozsahCasu() const override;
  std::vector<QList<QPointF>> Casti(int kanal, double odMs, double doMs, double krokMs) override;
  std::pair<double, double> RozsahHodnot(int kanal) override;
  QString NelzeUlozitCsv() const override;
  void UlozCsv(const std::vector<int>& kanaly, double odMs, double doMs, const QString& soubor,
               std::function<void(const QString&)> hotovo) override;

  const TZdrojGrafu& zdroj_;
  const TModelKanaluPrubehu& model_;

  // What the plot shows: the channels' data from the history and the range
  // (history times).
  std::map<int, TDataKanalu> data_;
  double odMs_ = 0, doMs_ = 0;
};
