#pragma once
// The trend window's channel list: the grid's model (live value and status
// of every channel) with a check box per channel that plots it, the colour
// of its line (BarvaKanalu, Stupnice.h) and the last failure as the status
// cell's tooltip.

#include <QColor>

#include <array>
#include <functional>
#include <vector>

#include "MereniModel.h"

class TModelKanaluPrubehu : public TModelMereni {
 public:
  using TModelMereni::TModelMereni;

  std::function<void(int, bool)> ZmenaVyberu;  // a check box was changed
  std::function<QString(int)> PopisChyby;      // tooltip of a status cell

  // Rows for the channels; the choice of channels beyond them is dropped.
  void Postav(const TPoleKanal& tabulka, int32_t n) override;

  bool Vybran(int r) const { return r >= 0 && r < MaxKanalu && vybrane_[static_cast<size_t>(r)]; }
  // Plots channel r or stops plotting it; tells ZmenaVyberu of a change.
  void Vyber(int r, bool ano);
  std::vector<int> Vybrane() const;

  QVariant data(const QModelIndex& i, int role) const override;
  bool setData(const QModelIndex& i, const QVariant& v, int role) override;
  Qt::ItemFlags flags(const QModelIndex& i) const override;

 private:
  std::array<bool, MaxKanalu> vybrane_{};
};
