#pragma once
// "Průběh měření": the trend window beside the main window.  Lists every
// channel of the task with its live value and status, plots the chosen ones
// against time from the measurement's history, and shows the health of the
// communication per module and per channel with the pass time against the
// measuring period.
//
// It refreshes on a timer, about once a second, never per channel read: a
// pass of 256 channels costs the main thread nothing here beyond a clock
// reading per read.  It remembers its size, the chosen channels and the time
// range per task in ZQ_prubeh.ini beside the settings file; the task and
// settings files are never touched.

#include <QList>
#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Mereni.h"
#include "PrubehData.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;
class QValueAxis;
class TModelKanaluPrubehu;

// How the task shown in the main window changed.
enum class TZmenaUlohy {
  Jina,   // another task (start-up, "Nová úloha", "Otevřít")
  Tataz,  // the same task, saved under another name or with edited channels
};

class TFormPrubeh : public QWidget, private TPozorovatelMereni {
  Q_OBJECT

 public:
  // Observes `mereni` from here on; its widgets are built when first shown.
  TFormPrubeh(TMereni& mereni, QWidget* rodic);
  ~TFormPrubeh() override;

  // The task of the main window (name, Windows-1250, and channel count).  For
  // another task the settings of the one before are saved and this one's
  // read.
  void NastavUlohu(const std::string& uloha, int32_t pocetKanalu, TZmenaUlohy zmena);
  // Shows the window in front; with kanal >= 0 that channel is plotted and
  // becomes the current row of the list.
  void Ukaz(int kanal = -1);

  // One refresh now (the timer's work).  The plot is drawn again only when
  // the time of a pixel column has passed since it was last drawn, unless
  // `vzdy`: over a long range a second changes nothing that could be seen.
  void Obnov(bool vzdy = true);

  // Plotting a channel, as its check box does.
  void Vyber(int kanal, bool vybrat);
  bool Vybran(int kanal) const;
  std::vector<int> Vybrane() const;
  int AktualniKanal() const;
  // The lines of channel `kanal` as plotted: one list of points per unbroken
  // piece (x in milliseconds since the epoch).
  std::vector<QList<QPointF>> Krivka(int kanal) const;
  // The warning of passes slower than the measuring period, when shown.
  QString TextVarovani() const;

  // What the refreshes cost the main thread: their time including the
  // plot's painting, and how many there were (benchmarks).
  uint64_t CasObnovUs() const { return casObnovUs_; }
  uint64_t PocetObnov() const { return pocetObnov_; }
  // Reads the history from `h` instead of the measurement's (benchmarks:
  // a long history without measuring it for hours); nullptr: the
  // measurement's again.
  void NastavZdrojHistorie(const THistorie* h) { zdroj_ = h; }

  // Controls.
  QLabel* Varovani = nullptr;  // passes slower than the period
  QTabWidget* Karty = nullptr;
  QTableView* SeznamKanalu = nullptr;
  QComboBox* Rozsah = nullptr;
  QPushButton* Pauza = nullptr;
  QPushButton* CelyRozsah = nullptr;
  QPushButton* UlozitObrazek = nullptr;
  QPushButton* UlozitCsv = nullptr;
  QChartView* Graf = nullptr;
  QLabel* Prubehy = nullptr;  // pass time against the period
  QTableWidget* TabulkaModulu = nullptr;
  QTableWidget* TabulkaKanalu = nullptr;
  QLabel* Stav = nullptr;

 public slots:
  void UlozObrazek();
  void UlozCsvSoubor();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  class TGraf;

  void Postav();
  const THistorie& Historie() const { return zdroj_ ? *zdroj_ : mereni_.Historie(); }
  // The history belongs to the task shown (it was measured with it).
  bool HistorieUlohy() const;
  void Tik();
  void Synchronizuj();
  void ObnovVarovani();
  void ObnovKomunikaci();
  void NactiData();
  void Vykresli();
  void NastavOsy(double odMs, double doMs, double min, double max);
  void ZaokrouhliOsuY();
  void OdeberKrivku(int kanal);
  void VyberZmenen(int kanal, bool vybran);
  void NactiNastaveni();
  void UlozNastaveni();

  // TPozorovatelMereni
  void KanalPrecten(int32_t pocetKanalu, bool chybaKomunikace,
                    const std::string& posledniChyba) override;

  TMereni& mereni_;
  const THistorie* zdroj_ = nullptr;
  bool postaveno_ = false;
  std::string uloha_;
  int32_t pocetKanalu_ = 0;
  TNastaveniPrubehu nastaveni_;
  bool zmeneno_ = false;        // settings to be remembered
  bool menimVelikost_ = false;  // a resize of our own, not the operator's
  bool hromadne_ = false;       // the choice of channels is being replaced

  // History time 0 as milliseconds since the epoch, found at the first read
  // of a measurement, and the task measured then.
  bool synchronizovano_ = false;
  int64_t zacatekMs_ = 0;
  std::string ulohaBehu_;
  uint64_t tikCteni_ = 0;  // clock (TikMs) of the last channel read
  int odlozeni_ = 0;       // refreshes put off while a pass was reading

  // What the plot shows: the channels' data from the history and the range.
  std::map<int, TDataKanalu> data_;
  double odMs_ = 0, doMs_ = 0;
  double krokMs_ = 0;           // the time of a pixel column at the last drawing
  uint64_t tikVykresleni_ = 0;  // when it was (TikMs)
  std::map<int, std::vector<QLineSeries*>> krivky_;
  bool priblizeno_ = false;  // the operator zoomed: the axes stay his
  bool nastavujiOsy_ = false;
  bool vykreslitPozdeji_ = false;
  QString napoveda_;  // the hint last put in the status line

  TModelKanaluPrubehu* model_ = nullptr;
  QChart* chart_ = nullptr;
  QDateTimeAxis* osaX_ = nullptr;
  QValueAxis* osaY_ = nullptr;
  QTimer* casovac_ = nullptr;

  uint64_t casObnovUs_ = 0;
  uint64_t pocetObnov_ = 0;
};
