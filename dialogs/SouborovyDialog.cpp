#include "SouborovyDialog.h"

#include <QFileDialog>

namespace {
TSouborovyZobrazovac& Zobrazovac() {
  static TSouborovyZobrazovac z;
  return z;
}
}  // namespace

void NastavSouborovyZobrazovac(TSouborovyZobrazovac z) { Zobrazovac() = std::move(z); }

TSouborovaOdpoved ZobrazSouborovyDialog(QWidget* vlastnik, const TSouborovyDotaz& dotaz) {
  if (Zobrazovac()) return Zobrazovac()(dotaz);

  QFileDialog d(vlastnik);
  d.setAcceptMode(dotaz.Ulozit ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Opening a task that has no file yet is allowed: it shows the default
  // task under that name.
  d.setFileMode(QFileDialog::AnyFile);
  d.setNameFilters(dotaz.Filtry);
  if (dotaz.IndexFiltru >= 1 && dotaz.IndexFiltru <= dotaz.Filtry.size())
    d.selectNameFilter(dotaz.Filtry.at(dotaz.IndexFiltru - 1));
  if (!dotaz.VychoziPripona.isEmpty()) d.setDefaultSuffix(dotaz.VychoziPripona);
  d.setOption(QFileDialog::DontConfirmOverwrite, !dotaz.PtatSePrepsat);
  d.setOption(QFileDialog::ReadOnly, false);
  d.setOption(QFileDialog::DontUseNativeDialog, true);
  if (!dotaz.Slozka.isEmpty()) d.setDirectory(dotaz.Slozka);
  if (!dotaz.Jmeno.isEmpty()) d.selectFile(dotaz.Jmeno);

  TSouborovaOdpoved o;
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return o;
  o.Potvrzeno = true;
  o.Jmeno = d.selectedFiles().constFirst();
  o.IndexFiltru = static_cast<int>(dotaz.Filtry.indexOf(d.selectedNameFilter())) + 1;
  if (o.IndexFiltru < 1) o.IndexFiltru = 1;
  return o;
}
