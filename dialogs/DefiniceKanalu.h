#pragma once
// The list of the task's channels: append, insert, change and delete
// channels on a working copy that the caller takes back only after
// VysledekAno ("Použít").

#include <QTableWidget>

#include <cstdint>

#include "Formular.h"
#include "task/Dekl.h"

class QGroupBox;
class QLabel;

// The channel grid: read-only, one whole row selected at a time, and deaf
// to the mouse wheel (which neither scrolls it nor moves the selection).
// A left double-click anywhere on it (a cell, the empty space below or
// beside the rows, the header row) is one DblClick; the scroll bar has none.
class TMrizkaKanalu : public QTableWidget {
  Q_OBJECT
 public:
  explicit TMrizkaKanalu(QWidget* parent);

 protected:
  void wheelEvent(QWheelEvent* udalost) override;
  void mouseDoubleClickEvent(QMouseEvent* udalost) override;
  bool eventFilter(QObject* objekt, QEvent* udalost) override;

 signals:
  void DblClick();
};

class TFormDefiniceKanalu : public TModalniFormular {
  Q_OBJECT
 public:
  explicit TFormDefiniceKanalu(QWidget* parent);

  // The working copy: filled by the caller before the dialog is shown and
  // taken back by it after VysledekAno.  Entries 0 .. PocetKanalu-1 are the
  // channels in list order; entry 256 is never a channel.
  TPoleKanal PoleKanalu{};
  int32_t PocetKanalu = 0;
  // What "Nový" and "Vložit" propose next.
  TKanal NovyKanal;

  QGroupBox* GroupBox1;
  TMrizkaKanalu* StringGrid1;
  QLabel* Label1;
  QLabel* Label2;      // the channel count
  TTlacitko* Button1;  // "Nový"
  TTlacitko* Button6;  // "Vložit"
  TTlacitko* Button3;  // "Změnit"
  TTlacitko* Button2;  // "Smazat"
  TTlacitko* Button4;  // "Použít"
  TTlacitko* Button5;  // "Zrušit"
  TStavovyRadek* StatusBar1;

  // The grid's row in the numbering where row 0 is the header and row r
  // shows channel r-1.
  int VybranyRadek() const;
  void VyberRadek(int radek);
  // Text of a grid cell in the same numbering (row 0: the headers).
  QString TextBunky(int radek, int sloupec) const;
  // Number of grid rows including the header row (never fewer than 2).
  int PocetRadku() const;

  void FormShow() override;
  void Button1Click();
  void Button6Click();
  void Button3Click();
  void StringGrid1DblClick();
  void Button2Click();
  void Button4Click();
  void Button5Click();

 private:
  bool PlnySeznam();
  // Runs the channel settings dialog on `kanal`; true when it was confirmed,
  // `kanal` then holding the edited channel.
  bool UpravKanal(TKanal& kanal);
  void NastavPocetRadku(int radku);
  void VyplnRadek(int radek);
  void VyplnRadky();
  void UkazPocet();
};
