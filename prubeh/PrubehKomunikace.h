#pragma once
// The trend window's tab "Komunikace": the health of the communication per
// module and per channel (reads, failures by status code, response times,
// the last failure) and the pass time against the measuring period; and the
// warning shown above the tabs when passes outlast the period.

#include <QString>
#include <QWidget>

#include "Historie.h"

class QLabel;
class QTableWidget;
class TModelMereni;

class TKartaKomunikace : public QWidget {
 public:
  explicit TKartaKomunikace(QWidget* rodic = nullptr);

  // Shows the figures of `h` for the channels of `seznam` (their names from
  // it); nullptr: the task shown was not measured since the program started.
  void Obnov(const THistorie* h, const TModelMereni& seznam);

  QLabel* Prubehy = nullptr;  // pass time against the period
  QTableWidget* TabulkaModulu = nullptr;
  QTableWidget* TabulkaKanalu = nullptr;
};

// The warning of passes slower than the measuring period; empty while they
// are not.
QString VarovaniPrubehu(const THistorie& h);
