#include "MereniModel.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

#include "Cp1250.h"

TModelMereni::TModelMereni(QObject* rodic) : QAbstractTableModel(rodic) {
  casovac_ = new QTimer(this);
  casovac_->setSingleShot(true);
  casovac_->setInterval(20);
  connect(casovac_, &QTimer::timeout, this, &TModelMereni::OznamHned);
}

void TModelMereni::Postav(const TPoleKanal& tabulka, int32_t n) {
  beginResetModel();
  casovac_->stop();
  zmenaOd_ = zmenaDo_ = -1;
  radky_.clear();
  const int pocet = n < 0 ? 0 : (n > MaxKanalu ? MaxKanalu : n);
  radky_.reserve(static_cast<size_t>(pocet));
  for (int i = 0; i < pocet; ++i)
    radky_.push_back({QStringLiteral("Ch") + QString::number(i),
                      DoQString(tabulka[static_cast<size_t>(i)].Nazev), QStringLiteral("0"),
                      QStringLiteral("0")});
  endResetModel();
}

bool TModelMereni::NastavHodnotu(int r, const QString& hodnota, const QString& chyba) {
  if (r < 0 || r >= static_cast<int>(radky_.size())) return false;
  auto& radek = radky_[static_cast<size_t>(r)];
  if (radek[2] == hodnota && radek[3] == chyba) return false;
  radek[2] = hodnota;
  radek[3] = chyba;
  return true;
}

void TModelMereni::Oznam(int prvni, int posledni) {
  if (prvni > posledni) return;
  zmenaOd_ = zmenaOd_ < 0 ? prvni : std::min(zmenaOd_, prvni);
  zmenaDo_ = std::max(zmenaDo_, posledni);
  if (!casovac_->isActive()) casovac_->start();
}

void TModelMereni::OznamHned() {
  if (zmenaOd_ < 0) return;
  const int posledni = std::min(zmenaDo_, static_cast<int>(radky_.size()) - 1);
  if (zmenaOd_ <= posledni)
    emit dataChanged(index(zmenaOd_, 2), index(posledni, 3), {Qt::DisplayRole});
  zmenaOd_ = zmenaDo_ = -1;
}

int TModelMereni::rowCount(const QModelIndex& rodic) const {
  return rodic.isValid() ? 0 : static_cast<int>(radky_.size());
}

int TModelMereni::columnCount(const QModelIndex& rodic) const { return rodic.isValid() ? 0 : 4; }

QVariant TModelMereni::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(radky_.size())) return {};
  if (role == Qt::DisplayRole)
    return radky_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
  // A long name is cut by its column, which keeps its designed width.
  if (role == Qt::ToolTipRole && index.column() == 1)
    return radky_[static_cast<size_t>(index.row())][1];
  if (role == Qt::BackgroundRole && index.column() == 0)
    return QBrush(QColor(240, 240, 240));  // the fixed left column
  return {};
}

QVariant TModelMereni::headerData(int sekce, Qt::Orientation o, int role) const {
  static const QString hlavicky[4] = {QString::fromUtf8("Kanál"), QString::fromUtf8("Název"),
                                      QString::fromUtf8("Hodnota"), QString::fromUtf8("Chyba")};
  if (o == Qt::Horizontal && role == Qt::DisplayRole && sekce >= 0 && sekce < 4)
    return hlavicky[sekce];
  if (o == Qt::Horizontal && role == Qt::TextAlignmentRole)
    return int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TModelMereni::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}
