#include "FolderLegendModel.h"

#include <algorithm>

#include "FoldersTab.h"
#include "core/results/Format.h"
#include "views/SizeMarks.h"
#include "views/IconCache.h"
#include "views/QtCanvas.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

namespace vd::gui {

TFolderLegendModel::TFolderLegendModel(QObject* parent)
    : QAbstractTableModel(parent), FFolderIcon(TIconCache::Instance().FolderIcon()) {}

bool TFolderLegendModel::Fill(const TDirNode* root) {
  // Every change of the selected folder refills the legend with the same
  // rows; with many thousands of top-level folders a reset each time made
  // clicking through the tree sluggish. The root's children are in display
  // order once the folders tree is built, so an equal list means no change.
  if (root && root == FRoot && root->Children.size() == FRows.size() &&
      std::equal(FRows.begin(), FRows.end(), root->Children.begin()))
    return false;
  beginResetModel();
  FRoot = root;
  FRows.clear();
  FSum = 0;
  if (root && !root->Children.empty()) {
    FRows.assign(root->Children.begin(), root->Children.end());
    for (const TDirNode* d : FRows) FSum += d->TotalSize;
    // Usually sorted already; a stable sort then keeps the tree's order of
    // equal sizes, so the legend and the tree agree.
    std::stable_sort(FRows.begin(), FRows.end(),
                     [](const TDirNode* a, const TDirNode* b) { return a->TotalSize > b->TotalSize; });
  }
  endResetModel();
  emit headerDataChanged(Qt::Horizontal, colOtherBytes, colOtherBytes);
  return true;
}

void TFolderLegendModel::Clear() { Fill(nullptr); }

int TFolderLegendModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(FRows.size());
}

int TFolderLegendModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : colCount; }

QVariant TFolderLegendModel::data(const QModelIndex& index, int role) const {
  const TDirNode* d = index.isValid() ? NodeAt(index.row()) : nullptr;
  if (!d) return {};
  const int col = index.column();
  if (role == Qt::DisplayRole) {
    switch (col) {
      case colFolder:
        return DisplayText(d->Name());
      case colBytes:
        return QString::fromStdString(FormatSize(d->TotalSize));
      case colPercent:
        return QString::fromStdString(FormatPercent(d->TotalSize, FSum));
      case colFiles:
        return QString::number(d->TotalFiles);
      case colOtherBytes:
        return QString::fromStdString(FormatSize(d->OtherTotalSize));
      default:
        return {};
    }
  }
  if (role == Qt::DecorationRole && col == colFolder) return FFolderIcon;
  if (role == kSwatchColorRole && col == colColor)
    return ToQColor(TFoldersTab::FolderPathColor(d->FullPath()));
  return {};
}

QVariant TFolderLegendModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section == colOtherBytes) return OtherSizeCaption();
  static const char* const kCaptions[colCount] = {"Folder", "Color", "Bytes", "%", "Files", ""};
  return section >= 0 && section < colCount ? QString::fromLatin1(kCaptions[section]) : QVariant();
}

Qt::ItemFlags TFolderLegendModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace vd::gui
