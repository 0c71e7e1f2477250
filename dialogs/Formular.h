#pragma once
// Building blocks shared by the program's modal forms: the dialog base with
// the 6/7/2 results, a push button that behaves like the operator expects
// from these forms, and a one-panel status bar.

#include <QDialog>
#include <QPushButton>
#include <QStatusBar>

class QLabel;

// A modal form.  Its buttons end it with done(VysledekAno) or
// done(VysledekNe); closing it through the frame ends it with
// VysledekZavreno.  Esc does nothing: no button of these forms is a cancel
// button.  FormShow runs every time the form is shown by the program (not
// when the window system merely restores it).
class TModalniFormular : public QDialog {
  Q_OBJECT
 public:
  TModalniFormular(QWidget* parent, Qt::WindowFlags priznaky);
  // The close box (QDialog's closeEvent) comes here.
  void reject() override;

 protected:
  void showEvent(QShowEvent* udalost) override;
  void keyPressEvent(QKeyEvent* udalost) override;
  virtual void FormShow() = 0;
};

// Window flags of a fixed-size dialog with a title bar and a close box only.
Qt::WindowFlags PriznakyPevnehoDialogu();

// A push button that is never the form's default button: Enter and Space
// press it only while it has the keyboard focus, and Enter typed into an
// entry field presses nothing.
class TTlacitko : public QPushButton {
  Q_OBJECT
 public:
  TTlacitko(const QString& text, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* udalost) override;
};

// A status bar with one panel of text.
class TStavovyRadek : public QStatusBar {
  Q_OBJECT
 public:
  explicit TStavovyRadek(QWidget* parent);
  QString Text() const;
  void NastavText(const QString& text);
  void Vymaz() { NastavText(QString()); }

 private:
  QLabel* panel_;
};

// Places the status bar along the bottom edge of a form of the given client
// size, over the whole width.
void UmistiStavovyRadek(TStavovyRadek& radek, int sirkaKlienta, int vyskaKlienta);

// A label whose top-left corner is at (x, y) and whose size fits its text.
QLabel* NovyPopisek(const QString& text, QWidget* rodic, int x, int y);
