#include "ModelKanaluPrubehu.h"

#include "Stupnice.h"

void TModelKanaluPrubehu::Postav(const TPoleKanal& tabulka, int32_t n) {
  TModelMereni::Postav(tabulka, n);
  for (size_t i = static_cast<size_t>(rowCount()); i < vybrane_.size(); ++i) vybrane_[i] = false;
}

void TModelKanaluPrubehu::Vyber(int r, bool ano) {
  if (r < 0 || r >= rowCount() || Vybran(r) == ano) return;
  vybrane_[static_cast<size_t>(r)] = ano;
  emit dataChanged(index(r, 0), index(r, 0));
  if (ZmenaVyberu) ZmenaVyberu(r, ano);
}

std::vector<int> TModelKanaluPrubehu::Vybrane() const {
  std::vector<int> v;
  for (int r = 0; r < rowCount(); ++r)
    if (vybrane_[static_cast<size_t>(r)]) v.push_back(r);
  return v;
}

QVariant TModelKanaluPrubehu::data(const QModelIndex& i, int role) const {
  if (!i.isValid() || i.row() >= rowCount()) return {};
  switch (role) {
    case Qt::CheckStateRole:
      if (i.column() == 0) return Vybran(i.row()) ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::DecorationRole:
      if (i.column() == 0 && Vybran(i.row())) return BarvaKanalu(i.row());
      return {};
    case Qt::ForegroundRole:
      if (i.column() == 3 && Text(i.row(), 3) != QStringLiteral("0")) return QColor(192, 0, 0);
      return {};
    case Qt::ToolTipRole:
      if (i.column() == 3 && PopisChyby) return PopisChyby(i.row());
      if (i.column() == 0) return QString::fromUtf8("Zaškrtnutím se kanál vykreslí v grafu");
      return TModelMereni::data(i, role);
    case Qt::BackgroundRole: return {};  // the list has no fixed column
    default: return TModelMereni::data(i, role);
  }
}

bool TModelKanaluPrubehu::setData(const QModelIndex& i, const QVariant& v, int role) {
  if (!i.isValid() || i.column() != 0 || role != Qt::CheckStateRole) return false;
  Vyber(i.row(), v.value<Qt::CheckState>() == Qt::Checked);
  return true;
}

Qt::ItemFlags TModelKanaluPrubehu::flags(const QModelIndex& i) const {
  if (!i.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (i.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}
