#pragma once
// The common form of the two yes/no questions asked before data is
// destroyed: a warning icon, two lines of text and the centred pair "Ano",
// "Ne".  The window's width follows its first line.

#include <QPixmap>

#include "Formular.h"

class QLabel;

class TFormPotvrzeni : public TModalniFormular {
  Q_OBJECT
 public:
  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QWidget* Panel1;
  TTlacitko* Button1;  // "Ano"
  TTlacitko* Button2;  // "Ne", focused when the question appears

  // Sizes the window to the first line and centres the buttons and the
  // window on the screen.
  void FormShow() override;
  void Button1Click();
  void Button2Click();

 protected:
  // Texts in UTF-8.
  TFormPotvrzeni(QWidget* parent, const char* titulek, const char* radek1, const char* radek2);
};

// The warning sign of the questions: a yellow triangle with a black
// exclamation mark on a transparent ground, 48 x 48 pixels.
QPixmap IkonaVarovani();

// The window width that fits a first line of the given text.
int SirkaPotvrzeni(const QString& prvniRadek);
