#pragma once
// The trend window's tab "Publikace": the settings of publishing samples to
// an MQTT broker (ZQ_publikace.ini), and what the publishing does now:
// connected or not, samples waiting in the store, the last sample the
// broker acknowledged, the last failure, and the latest texts the
// publishing said (failures, dropped samples) with their times.

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TPublikaceMereni;

class TKartaPublikace : public QWidget {
  Q_OBJECT

 public:
  explicit TKartaPublikace(QWidget* rodic = nullptr);

  // The publishing of the program's measurements; its settings file is the
  // one edited.
  void NastavPublikaci(const TPublikaceMereni* p);
  // The task shown, for the default client id (Windows-1250).
  void NastavUlohu(const std::string& uloha);
  // Reads the settings file into the fields; what it holds that nobody
  // reads (a misspelt key) is said where the outcome of saving is.
  void Nacti();
  // The state, once a second while the tab is in front.
  void Obnov();
  // Writes the fields into the settings file; false (the reason shown) when
  // the settings are wrong or the file cannot be written.
  bool Uloz();

  QLineEdit* Server = nullptr;
  QSpinBox* Port = nullptr;
  QLineEdit* Tema = nullptr;
  QLineEdit* Klient = nullptr;
  QLineEdit* Uzivatel = nullptr;
  QLineEdit* Heslo = nullptr;
  QLineEdit* CA = nullptr;
  QLineEdit* Certifikat = nullptr;
  QLineEdit* Klic = nullptr;
  QComboBox* Format = nullptr;
  QSpinBox* FrontaMB = nullptr;
  QPushButton* Ulozit = nullptr;
  QLabel* Zprava = nullptr;  // the outcome of saving, or of reading the file
  QLabel* Stav = nullptr;    // what the publishing does

 private:
  const TPublikaceMereni* publikace_ = nullptr;
  std::string uloha_;
};
