#pragma once
// The model behind the measurement grid: one row per channel, four columns
// ("Kanál", "Název", "Hodnota", "Chyba"); the name's tooltip is the whole
// name, which a column of the designed width cuts.  A read changes the
// value and status of its row; the view is told about the changed rows at
// most every 20 ms, so a pass of 256 channels costs a few repaints of the
// visible cells, not 256.  The trend window's channel list is the same
// model with check boxes (prubeh/ModelKanaluPrubehu.h).

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <array>
#include <vector>

#include "Dekl.h"

class TModelMereni : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TModelMereni(QObject* rodic = nullptr);

  // Rows for channels 0..n-1 of the table: "Ch i", name, "0", "0".
  virtual void Postav(const TPoleKanal& tabulka, int32_t n);
  // New value text and status of row r (channel r); true when either changed.
  bool NastavHodnotu(int r, const QString& hodnota, const QString& chyba);
  // Rows prvni..posledni changed: the view hears of them within 20 ms.
  void Oznam(int prvni, int posledni);

  int rowCount(const QModelIndex& rodic = QModelIndex()) const override;
  int columnCount(const QModelIndex& rodic = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int sekce, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 protected:
  // The texts of row r (0..rowCount()-1), column s.
  const QString& Text(int r, int s) const {
    return radky_[static_cast<size_t>(r)][static_cast<size_t>(s)];
  }

 private:
  void OznamHned();

  std::vector<std::array<QString, 4>> radky_;
  QTimer* casovac_ = nullptr;
  int zmenaOd_ = -1;
  int zmenaDo_ = -1;
};
