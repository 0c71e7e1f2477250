#pragma once
// The model behind the measurement grid: one row per channel, four columns.
// A refresh rewrites the value and status of every row but repaints only the
// cells whose text changed and that are visible.

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

#include "Dekl.h"

class TModelMereni : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  // Rows for channels 0..n-1 of the table: "Ch i", name, "0", "0".
  void Postav(const TPoleKanal& tabulka, int32_t n);
  // New value text and status of row r (channel r); true when either changed.
  bool NastavHodnotu(int r, const QString& hodnota, const QString& chyba);
  // Tells the view which rows changed since the last call.
  void Oznam(int prvni, int posledni);

  int rowCount(const QModelIndex& rodic = QModelIndex()) const override;
  int columnCount(const QModelIndex& rodic = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int sekce, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::vector<std::array<QString, 4>> radky_;
};
