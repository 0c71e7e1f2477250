#include "Formular.h"

#include <QKeyEvent>
#include <QLabel>
#include <QShowEvent>

#include "Modalni.h"
#include "Vzhled.h"

TModalniFormular::TModalniFormular(QWidget* parent, Qt::WindowFlags priznaky)
    : QDialog(parent, priznaky) {
  setFont(PismoFormulare());
  setModal(true);
  // Until a button or the frame ends it, the form counts as closed.
  setResult(VysledekZavreno);
}

void TModalniFormular::reject() { done(VysledekZavreno); }

// QDialog would take Esc for the cancel button and call reject(), ending
// the form as the frame does; a stray key press would then throw away every
// edit made in it.  Esc reaches the form only when the control with the
// focus has no use for it (an open drop-down list closes itself first and
// keeps the key), so it is swallowed here.
void TModalniFormular::keyPressEvent(QKeyEvent* udalost) {
  if (udalost->matches(QKeySequence::Cancel)) {
    udalost->accept();
    return;
  }
  QDialog::keyPressEvent(udalost);
}

void TModalniFormular::showEvent(QShowEvent* udalost) {
  if (!udalost->spontaneous()) FormShow();
  QDialog::showEvent(udalost);
}

Qt::WindowFlags PriznakyPevnehoDialogu() {
  return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
         Qt::MSWindowsFixedSizeDialogHint;
}

TTlacitko::TTlacitko(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  // An auto-default button would make QDialog pick a default button when
  // the form opens, and Enter in any entry field would then press it.
  setAutoDefault(false);
  setDefault(false);
}

void TTlacitko::keyPressEvent(QKeyEvent* udalost) {
  if ((udalost->key() == Qt::Key_Return || udalost->key() == Qt::Key_Enter) &&
      (udalost->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    click();
    return;
  }
  QPushButton::keyPressEvent(udalost);
}

TStavovyRadek::TStavovyRadek(QWidget* parent) : QStatusBar(parent), panel_(new QLabel(this)) {
  setSizeGripEnabled(false);
  panel_->setTextFormat(Qt::PlainText);
  addWidget(panel_, 1);
}

QString TStavovyRadek::Text() const { return panel_->text(); }

void TStavovyRadek::NastavText(const QString& text) { panel_->setText(text); }

void UmistiStavovyRadek(TStavovyRadek& radek, int sirkaKlienta, int vyskaKlienta) {
  constexpr int vyska = 19;
  radek.setGeometry(0, vyskaKlienta - vyska, sirkaKlienta, vyska);
}

QLabel* NovyPopisek(const QString& text, QWidget* rodic, int x, int y) {
  auto* popisek = new QLabel(text, rodic);
  popisek->setTextFormat(Qt::PlainText);
  popisek->move(x, y);
  popisek->adjustSize();
  return popisek;
}
