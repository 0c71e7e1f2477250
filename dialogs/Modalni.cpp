#include "Modalni.h"

#include <QDialog>

#include <utility>

namespace {
TZobrazovac& Zobrazovac() {
  static TZobrazovac zobrazovac;
  return zobrazovac;
}
}  // namespace

int ZobrazModalne(QDialog& dialog) {
  const TZobrazovac& zobrazovac = Zobrazovac();
  const int vysledek = zobrazovac ? zobrazovac(dialog) : dialog.exec();
  // A dialog that disappears without one of its buttons (hidden, or torn
  // down with the application) counts as closed: callers see 6, 7 or 2 only.
  if (vysledek == VysledekAno || vysledek == VysledekNe) return vysledek;
  return VysledekZavreno;
}

void NastavZobrazovac(TZobrazovac zobrazovac) { Zobrazovac() = std::move(zobrazovac); }
