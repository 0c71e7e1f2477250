#pragma once
// The dialog in which the operator enters or changes one channel: name,
// module address, peripheral, data format, K, Q and decimal places.

#include "Formular.h"
#include "task/Dekl.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

class TFormNastaveniKanalu : public TModalniFormular {
  Q_OBJECT
 public:
  explicit TFormNastaveniKanalu(QWidget* parent);

  // The channel being edited: set before the dialog is shown, read back
  // after VysledekAno.  Only Nazev, Adresa, Periferie, Format,
  // DesetinnaMista, KonstK and KonstQ are shown and written; the other
  // fields pass through.
  TKanal Kanal;

  QGroupBox* GroupBox1;
  QLabel* Label7;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label4;
  QLineEdit* Edit6;      // name
  QLineEdit* Edit1;      // address
  QLineEdit* Edit2;      // peripheral
  QComboBox* ComboBox1;  // format
  QLineEdit* Edit4;      // K
  QLineEdit* Edit5;      // Q
  QLineEdit* Edit3;      // decimal places
  TTlacitko* Button1;    // "Použít"
  TTlacitko* Button2;    // "Zrušit"
  TStavovyRadek* StatusBar1;

  void FormShow() override;
  void ComboBox1Change();
  void Button1Click();
  void Button2Click();

 private:
  void PravidloFormatu();
};
