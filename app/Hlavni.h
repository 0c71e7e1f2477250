#pragma once
// The main window: the task in its controls, the measurement grid, the task
// commands, and the start and stop of a measurement.

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ArchivDat.h"
#include "Dekl.h"
#include "Wxxx407.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class TModelMereni;
class TKomThread;
class TFileThread;
class TFrontaHlavnihoVlakna;

// ---------------------------------------------------------------------------
// Global state of the main window's unit.

extern TCFG CFG;
extern TPoleKanal Kanaly;

// Guards Kanaly while a measurement runs: the acquisition thread stores one
// channel's reading under it, the logging thread copies the whole sample
// under it, and the main thread replaces the table only through
// NahradKanaly(), which takes it too.
extern std::mutex KanalyZamek;

extern std::atomic<bool> KomBezi;      // written by the acquisition thread
extern std::atomic<bool> FileBezi;     // written by the logging thread
extern std::atomic<bool> CyklusHotov;  // written by the acquisition thread
extern bool KnihovnaOtevrena;          // main thread only
extern std::atomic<int32_t> PeriodaSek;
extern int32_t TimeoutUkonceni;
extern std::atomic<int32_t> PocetVzorku;
extern uint8_t TypRozhrani;
extern TParametryRozhrani ParametryRozhrani;
extern int32_t HandleRozhrani;

// Figures for the benchmarks: the duration of the last full pass of the
// acquisition thread, and the time the main thread spent refreshing the grid.
extern std::atomic<uint64_t> DobaPrubehuUs;
extern std::atomic<uint64_t> CasObnovUs;
extern std::atomic<uint64_t> PocetObnov;

// Replaces the whole channel table (the task commands and the channel
// dialog); the one place where Kanaly is replaced.
void NahradKanaly(const TPoleKanal& nove);

// Milliseconds allowed per frame on the RS-485 line at a speed.
int32_t DobaRamce(int32_t rychlost);

// ---------------------------------------------------------------------------

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Shows a task in the controls.
  void ZapisOkno(const TCFG& u);
  // Copies the controls into a task; false when the input is not usable for
  // a measurement.
  bool PrectiOkno(TCFG& u);
  // Rebuilds the measurement grid for n channels of a table.
  void InitOknoMereni(const TPoleKanal& tabulka, int32_t n);

  // Text of a grid cell (row 0 is the header); for tests and benchmarks.
  QString Bunka(int sloupec, int radek) const;
  int PocetRadku() const;
  // Text of the status bar's field.
  QString TextStavu() const;
  // Text of the status bar's field of failed data-file writes; empty while
  // none failed since the start.
  QString TextChybZapisu() const;
  void NastavStav(const QString& text);
  // Shows a progress text and paints it at once, before the work that follows.
  void NastavStavHned(const QString& text);

  // Called with every new status text (tests follow the sequence with it).
  std::function<void(const QString&)> SledovaniStavu;

  // Where the worker threads hand their window work to the main thread.
  TFrontaHlavnihoVlakna* Fronta() const { return fronta_; }

  // A termination signal arrived: ends the program as closing the window
  // does (open dialogs are closed first, a start or stop is let finish), and
  // a refused save does not keep it open.
  void UkonciNaSignal(int signal);

  // Measurement running (the caption of Button2 is not "Start měření").
  bool MereniBezi() const;

  // Controls, by their form names.
  QFrame* Panel5 = nullptr;
  QLabel* Image1 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QFrame* Panel4 = nullptr;
  QLabel* Label18 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button7 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label9 = nullptr;
  QComboBox* ComboBox3 = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLabel* Label11 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QFrame* Panel2 = nullptr;
  QLabel* Label10 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Label12 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLabel* Label13 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QLabel* Label14 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLabel* Label15 = nullptr;
  QLineEdit* Edit9 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label4 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label16 = nullptr;
  QLabel* Label17 = nullptr;
  QComboBox* ComboBox4 = nullptr;
  QPushButton* Button4 = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QPushButton* Button1 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QTableView* StringGrid1 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QStatusBar* StatusBar1 = nullptr;

 public slots:
  void FormCreate();
  void ComboBox3Change(int index);
  void Button1Click();  // data file
  void Button2Click();  // start / stop
  void Button3Click();  // "Konec"
  void Button4Click();  // "Definice kanálů"
  void Button5Click();  // "Nová úloha"
  void Button6Click();  // "Otevřít"
  void Button7Click();  // "Uložit"
  void Edit3Change(const QString& text);

  // Run in the main thread on behalf of the worker threads.
  void ObnovTabulku(int32_t pocetKanalu, bool chybaKomunikace, const QString& posledniChyba);
  void UlozVzorek();
  // The acquisition thread of measurement `generace` found the interface
  // library broken and has ended: the measurement stops.
  void PoruchaKnihovny(uint64_t generace);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void Vytvor();
  void UkazPanely(int index);
  void Start();
  // Ends a running measurement; the caption and the status text change only
  // for a stop from the button, not when the window closes.
  void Stop(bool zBtn);
  // Waits, serving the workers' calls into this thread, until `hotovo`
  // returns true or `ms` milliseconds have passed.
  template <typename F>
  void Cekej(F hotovo, int32_t ms);
  // Probes the data file: creates missing folders, asks before an existing
  // file is overwritten, creates the file and removes it again.  False when
  // the start must end; `zprava` then holds the status text (may be empty).
  bool ProverDatovySoubor(const std::string& jmeno, QString& zprava);
  // Saves the task and its channels; false with the reason in `chyba`
  // (Windows-1250) when the file was refused or holds something else.
  bool UlozUlohu(const TCFG& u, std::string& chyba);
  // Takes a channel table as the task's and shows CFG with it, "Uloženo" at 0.
  void UkazUlohu(const TPoleKanal& kanaly);
  bool FormClose();

  TModelMereni* model_ = nullptr;
  TFrontaHlavnihoVlakna* fronta_ = nullptr;
  QLabel* stav_ = nullptr;
  // Failed data-file writes of this measurement: shown in a field of their
  // own, so "Probíhá měření ..." never hides them.
  QLabel* chybyZapisu_ = nullptr;
  int nezapsano_ = 0;
  QPointer<TKomThread> KomThread;
  QPointer<TFileThread> FileThread;
  QString priponaDat_ = QStringLiteral(".txt");
  bool ukoncitBezUlozeni_ = false;
  bool naSignal_ = false;  // ending because of a signal
  void PokusOUkonceni();
  bool zaneprazdnen_ = false;  // a start or stop is in progress
  std::string ipText_;         // IP text handed to the LAN library
};
