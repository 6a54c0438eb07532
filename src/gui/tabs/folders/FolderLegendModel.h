// The legend of the folders treemap: the scan root's sub-folders, largest
// first, with their colour, bytes, share, file count and bytes in the other
// measure of size. A folder scan may
// have many thousands of top-level folders and the legend is refilled on
// every change of the selected folder, so it is a model over the scan tree
// rather than one widget item per row.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

#include "core/scan/ScanModel.h"

namespace vd::gui {

class TFolderLegendModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { colFolder, colColor, colBytes, colPercent, colFiles, colOtherBytes, colCount };

  explicit TFolderLegendModel(QObject* parent = nullptr);

  // Rows for the root's sub-folders (none for a null root); the share of each
  // is taken of their sum, so the root's own files count nowhere. False when
  // the rows were those already shown and the model was left as it was.
  bool Fill(const TDirNode* root);
  void Clear();

  TDirNode* NodeAt(int row) const { return row >= 0 && size_t(row) < FRows.size() ? FRows[size_t(row)] : nullptr; }
  int64_t Sum() const { return FSum; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const TDirNode* FRoot = nullptr;
  std::vector<TDirNode*> FRows;
  int64_t FSum = 0;
  QIcon FFolderIcon;
};

}  // namespace vd::gui
