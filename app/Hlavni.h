#pragma once
// The main window: the task in its controls, the measurement grid, the task
// commands, and the start and stop of a measurement.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Dekl.h"
#include "Mereni.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class TFormPrubeh;
class TPublikaceMereni;
class TModelMereni;

// The task CFG and its channel table Kanaly live with the measurement
// (Mereni.h), which the window drives and observes.

// ---------------------------------------------------------------------------

class TForm1 : public QWidget, private TPozorovatelMereni {
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
  // Text of the status bar's field of publishing that cannot start; empty
  // while it is not shown.
  QString TextChybyPublikace() const;
  void NastavStav(const QString& text);
  // Shows a progress text and paints it at once, before the work that follows.
  void NastavStavHned(const QString& text);

  // Called with every new status text (tests follow the sequence with it).
  std::function<void(const QString&)> SledovaniStavu;

  // The measurement this window drives.
  TMereni& Mereni() { return mereni_; }
  const TMereni& Mereni() const { return mereni_; }

  // The trend window "Průběh měření": one, made with this window and kept
  // while it lives; shown by a double-click on a channel's row of the grid
  // (with that channel) or by Ctrl+G.
  TFormPrubeh* Prubeh() const { return prubeh_; }

  // A termination signal arrived: ends the program as closing the window
  // does (open dialogs are closed first, a start or stop is let finish), and
  // a refused save does not keep it open.
  void UkonciNaSignal(int signal);

  // A measurement runs (started and not yet stopped).
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
  // Shows the trend window; with kanal >= 0 it plots that channel.
  void OtevriPrubeh(int kanal = -1);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void Vytvor();
  void UkazPanely(int index);
  void Start();
  // Ends a running measurement; the caption and the status text change only
  // for a stop from the button, not when the window closes.
  void Stop(bool zBtn);
  // The stop's final status text, with the fault of a broken library.
  void UkazKonec(const TVysledekMereni& v);

  // TPozorovatelMereni: what the measurement reports, shown.
  void Postup(const std::string& text) override;
  void KanalPrecten(const TPrecteno& precteno) override;
  void VzorekZapsan(const TVzorekMereni& vzorek, const TUlohaMereni& uloha) override;
  void MereniSkoncilo(const TVysledekMereni& v) override;
  // Saves the task and its channels; false with the reason in `chyba`
  // (Windows-1250) when the file was refused or holds something else.
  bool UlozUlohu(const TCFG& u, std::string& chyba);
  // Takes a channel table as the task's and shows CFG with it, "Uloženo" at 0.
  void UkazUlohu(const TPoleKanal& kanaly);
  bool FormClose();

  TMereni mereni_;
  // Samples to a broker when ZQ_publikace.ini says so; made after the
  // measurement it observes and gone before it, waiting up to 5 s for the
  // broker at the program's end.
  std::unique_ptr<TPublikaceMereni> publikace_;
  TFormPrubeh* prubeh_ = nullptr;
  TModelMereni* model_ = nullptr;
  QLabel* stav_ = nullptr;
  // Failed data-file writes of this measurement: shown in a field of their
  // own, so "Probíhá měření ..." never hides them.
  QLabel* chybyZapisu_ = nullptr;
  // Publishing that cannot start (bad settings), or settings the file
  // holds that nobody reads: a field of its own too.
  QLabel* chybaPublikace_ = nullptr;
  QString priponaDat_ = QStringLiteral(".txt");
  bool ukoncitBezUlozeni_ = false;
  bool naSignal_ = false;  // ending because of a signal
  void PokusOUkonceni();
  bool zaneprazdnen_ = false;  // a start or stop is in progress
};
