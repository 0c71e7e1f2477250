#pragma once
// "Průběh měření": the trend window beside the main window.  Lists every
// channel of the task with its live value and status (ModelKanaluPrubehu.h),
// plots the chosen ones against time from the measurement's history
// (PrubehGraf.h), and shows the health of the communication per module and
// per channel with the pass time against the measuring period
// (PrubehKomunikace.h).
//
// It refreshes on a timer, about once a second, never per channel read.  It
// remembers its size and place, the chosen channels, the time range and the
// value axis per task in ZQ_prubeh.ini beside the settings file, read only
// once the window is first shown; the task and settings files are never
// touched; what that file holds that nobody reads (a misspelt key) is said
// in the status line.  Below the tabs it shows where the task's data file
// is written (the current file of its series while it is measured), with a
// button that opens its folder, and how the file is split into a series
// (ZQ_soubory.ini, the task's section), which it edits there.  Esc and
// Ctrl+W hide it.

#include <QList>
#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Mereni.h"
#include "PrubehData.h"
#include "PrubehGraf.h"
#include "PrubehKomunikace.h"

class QBoxLayout;
class QComboBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QUrl;
class QTabWidget;
class QTableView;
class QTimer;
class TKartaKomunikace;
class TKartaPublikace;
class TPublikaceMereni;
class TModelKanaluPrubehu;

// How the task shown in the main window changed.
enum class TZmenaUlohy {
  Jina,   // another task (start-up, "Nová úloha", "Otevřít")
  Tataz,  // the same task, saved under another name or with edited channels
};

class TFormPrubeh : public QWidget, private TPozorovatelMereni, private TZdrojGrafu {
  Q_OBJECT

 public:
  // Observes `mereni` from here on; its widgets are built when first shown.
  TFormPrubeh(TMereni& mereni, QWidget* rodic);
  ~TFormPrubeh() override;

  // The task of the main window (name, Windows-1250, and channel count).  For
  // another task the settings of the one before are saved and this one's
  // read (once the window has been shown).
  void NastavUlohu(const std::string& uloha, int32_t pocetKanalu, TZmenaUlohy zmena);
  // The task's data file as the main window holds it (Windows-1250), told
  // whenever it changes.
  void NastavDatovySoubor(const std::string& jmeno);
  // Shows the window in front; with kanal >= 0 that channel is plotted and
  // becomes the current row of the list.
  void Ukaz(int kanal = -1);

  // One refresh now (the timer's work).  The plot is drawn again only when
  // the time of a pixel column has passed since it was last drawn, unless
  // `vzdy`.
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
  // The publishing of the program's measurements, for the tab "Publikace".
  void NastavPublikaci(const TPublikaceMereni* p);

  // Reads the history from `h` instead of the measurement's (benchmarks:
  // a long history without measuring it for hours); nullptr: the
  // measurement's again.
  void NastavZdrojHistorie(const THistorie* h);

  // Controls, once built: the plot's and the health tab's are theirs.
  QLabel* Varovani = nullptr;  // passes slower than the period
  QTabWidget* Karty = nullptr;
  QTableView* SeznamKanalu = nullptr;
  TGrafPrubehu* PanelGrafu = nullptr;
  TKartaKomunikace* Komunikace = nullptr;
  TKartaPublikace* Publikace = nullptr;
  QLabel* Stav = nullptr;
  QLineEdit* DatovySoubor = nullptr;  // the full path of the data file
  QPushButton* OtevritSlozku = nullptr;
  // The split into a series: its index is a TRozdeleni.
  QComboBox* Rozdelit = nullptr;
  QSpinBox* VelikostMB = nullptr;
  QSpinBox* Ponechat = nullptr;
  // What the settings, the series and the formats' limits have to say.
  QLabel* ZpravySouboru = nullptr;

  // Opens a folder in the desktop's file manager (QDesktopServices); false
  // when nothing could open it.  Tests put their own here.
  std::function<bool(const QUrl&)> OtevriUrl;

 public slots:
  void UlozObrazek();
  void UlozCsvSoubor();
  void OtevriSlozkuDat();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;

 private:
  void Postav();
  void PostavRadekDat(QBoxLayout* hlavni);
  void UkazDatovySoubor();
  // The split as ZQ_soubory.ini gives it for the task, into the controls.
  void NactiRozdeleni();
  // The controls' split into the task's section.
  void UlozRozdeleni();
  void UkazZpravySouboru();
  // The run measures the task shown.
  bool BehUlohy() const;
  void Synchronizuj();
  void ObnovVarovani();
  void VyberZmenen(int kanal, bool vybran);
  void NactiNastaveni();
  // Size and place as remembered (the place only where the platform lets a
  // program place its windows and a screen shows it).
  void UmistiOkno();
  void UlozNastaveni();

  // TPozorovatelMereni
  void MereniZahajeno(const TUlohaMereni& uloha) override;
  void VzorekZapsan(const TVzorekMereni& v, const TUlohaMereni& uloha) override;
  // TZdrojGrafu
  const THistorie& Historie() const override { return zdroj_ ? *zdroj_ : mereni_.Historie(); }
  bool HistorieUlohy() const override;
  bool Zive() const override { return mereni_.Bezi() && !zdroj_; }
  int64_t ZacatekMs() const override { return zacatekMs_; }
  const std::string& Uloha() const override { return uloha_; }

  TMereni& mereni_;
  const THistorie* zdroj_ = nullptr;
  bool postaveno_ = false;
  std::string uloha_;
  std::string datovySoubor_;
  TNastaveniSouboru rozdeleni_;               // as read for the task shown
  std::vector<std::string> zpravyNastaveni_;  // what was wrong with them
  std::vector<std::string> zpravyBehu_;       // the run's: the series', its start's
  std::string varovaniBehu_;                  // the limits' warning at the run's start
  std::filesystem::path souborBehu_;          // the file the run's last sample went to
  bool zmenaZaBehu_ = false;                  // edited while the task is measured
  bool plnimRozdeleni_ = false;               // the controls are being filled, not edited
  int32_t pocetKanalu_ = 0;
  TNastaveniPrubehu nastaveni_;
  bool nastaveniNactena_ = false;  // of uloha_, from ZQ_prubeh.ini
  bool zmeneno_ = false;           // settings to be remembered
  bool menimVelikost_ = false;     // a resize or move of our own, not the operator's
  bool hromadne_ = false;          // the choice of channels is being replaced

  // History time 0 as milliseconds since the epoch, and the task measured
  // then: the history is this task's only while it is the one shown.
  bool synchronizovano_ = false;
  int64_t zacatekMs_ = 0;
  std::string ulohaBehu_;
  QString napoveda_;          // the hint last put in the status line
  QString nezname_;           // what ZQ_prubeh.ini held that nobody reads, as last read
  TDrivejsiModuly drivejsi_;  // for the warning's advice

  const TPublikaceMereni* publikace_ = nullptr;
  TModelKanaluPrubehu* model_ = nullptr;
  QTimer* casovac_ = nullptr;

  uint64_t casObnovUs_ = 0;
  uint64_t pocetObnov_ = 0;
};
