#pragma once
// The open and save file dialogs of the main window, behind one seam so a
// test can answer them.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

struct TSouborovyDotaz {
  bool Ulozit = false;         // save dialog (else open; a name that does
                               // not exist is accepted too)
  QStringList Filtry;          // Qt form: "Popis (*.zq)"
  int IndexFiltru = 1;         // 1-based, preselected
  QString VychoziPripona;      // without the dot; empty: none
  QString Jmeno;               // preset file name
  QString Slozka;              // folder the dialog opens in; empty: Qt's choice
  bool PtatSePrepsat = false;  // save: ask before replacing a file
};

struct TSouborovaOdpoved {
  bool Potvrzeno = false;
  QString Jmeno;        // chosen path
  int IndexFiltru = 1;  // 1-based filter chosen
};

TSouborovaOdpoved ZobrazSouborovyDialog(QWidget* vlastnik, const TSouborovyDotaz& dotaz);

using TSouborovyZobrazovac = std::function<TSouborovaOdpoved(const TSouborovyDotaz&)>;
// Installs a function that answers the file dialogs (tests); an empty one
// restores the real dialogs.
void NastavSouborovyZobrazovac(TSouborovyZobrazovac z);
