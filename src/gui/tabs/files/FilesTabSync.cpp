// Keeping the treemap, the file list and the legend of "Only Files" in step:
// treemap click to list and status line, list selection to treemap, legend
// selection to list and treemap.
#include <QTreeWidget>
#include <algorithm>

#include "FilesTab.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

namespace {

bool HasKey(const std::vector<std::string>& keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The legend key of a file: its extension as the scan lower-cased it, or "(none)".
std::string_view KeyOf(const TFileLeaf* f) { return f->ExtKey()->View(); }

}  // namespace

void TFilesTab::PaintBox1MouseDown(QPoint pos, Qt::KeyboardModifiers mods) {
  const TTreemapItem* item = S.FTreemap.HitTest(TPoint{pos.x(), pos.y()});
  if (!item) return;
  const bool ctrl = mods.testFlag(Qt::ControlModifier);
  if (ctrl)
    S.FTreemap.ToggleSelected(item);
  else
    S.FTreemap.SetSingleSelected(item);
  InvalidateBuf();

  const std::string full = item->FullPath();
  if (!S.FSyncing) {
    TSyncGuard sync(S);
    if (!ctrl) lvFiles->clearSelection();
    // Rows and tiles meet by path key: the path itself where names are case
    // sensitive, so two files differing only in case stay two. There the key
    // is the file itself, and no row needs its path built.
    const std::string key = platform::kPathIsItsKey ? std::string() : platform::PathKey(full);
    for (int i = 0, n = lvFiles->topLevelItemCount(); i < n; ++i) {
      QTreeWidgetItem* row = lvFiles->topLevelItem(i);
      if (platform::kPathIsItsKey ? RowLeaf(row) != item->Leaf : platform::PathKey(RowPath(row)) != key) continue;
      // The row follows the tile: a Ctrl+click that takes the tile out of the
      // treemap's selection takes the row out too, or the file actions would
      // act on a file the user has just deselected.
      const bool on = !ctrl || S.FTreemap.IsSelected(item);
      lvFiles->selectionModel()->setCurrentIndex(
          lvFiles->indexFromItem(row), (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                           QItemSelectionModel::Rows);
      lvFiles->scrollToItem(row, QAbstractItemView::EnsureVisible);
      break;
    }
  }
  W.SetStatus(DisplayText(full) + QStringLiteral("  ") + QString::fromStdString(FormatSize(item->Size())));
}

void TFilesTab::PaintBox1DblClick() {
  // The double click's own press has already selected the tile under the mouse.
  if (const TTreemapItem* primary = S.FTreemap.Primary()) OpenFolderAndSelect(primary->FullPath());
}

void TFilesTab::lvFilesSelectItem(const QItemSelection& selected, const QItemSelection&) {
  if (AppClosing || S.FSyncing) return;
  // A batch that only deselects leaves the treemap as it is.
  if (selected.isEmpty()) return;
  const QTreeWidgetItem* item = lvFiles->itemFromIndex(selected.last().topLeft());
  if (!item) return;
  const qsizetype count = lvFiles->selectionModel()->selectedRows().size();
  if (count > 1) {
    SyncTreemapFromFileList();
  } else if (const TTreemapItem* t = S.FTreemap.GetItemByPath(RowPath(item))) {
    TSyncGuard sync(S);
    S.FTreemap.SetSingleSelected(t);
    InvalidateBuf();
  }
  W.UpdateSelectionStatus();
}

void TFilesTab::SyncTreemapFromFileList() {
  if (S.FSyncing) return;
  TSyncGuard sync(S);
  std::vector<std::string> paths;
  for (int i = 0, n = lvFiles->topLevelItemCount(); i < n; ++i) {
    const QTreeWidgetItem* row = lvFiles->topLevelItem(i);
    if (row->isSelected()) paths.push_back(RowPath(row));
  }
  S.FTreemap.SetSelectedByPaths(paths);
  InvalidateBuf();
}

void TFilesTab::lvExtSelectItem() {
  // Runs on selection and deselection alike; the status line stays.
  if (!AppClosing) ApplyExtSelection();
}

void TFilesTab::ApplyExtSelection() {
  if (S.FSyncing) return;
  std::vector<std::string> keys;
  for (int i = 0, n = lvExt->topLevelItemCount(); i < n; ++i) {
    const QTreeWidgetItem* row = lvExt->topLevelItem(i);
    if (!row->isSelected()) continue;
    const QByteArray k = row->data(colExt, kExtKeyRole).toByteArray();
    keys.push_back(platform::ToLowerLocale(std::string_view(k.constData(), size_t(k.size()))));
  }
  TSyncGuard sync(S);
  if (keys.empty()) {
    lvFiles->clearSelection();
    S.FTreemap.ClearSelection();
    InvalidateBuf();
    return;
  }

  // Listed files of the chosen extensions that have a tile, in runs of rows.
  QItemSelection rows;
  const int n = lvFiles->topLevelItemCount();
  const int lastCol = lvFiles->columnCount() - 1;
  int runStart = -1;
  for (int i = 0; i <= n; ++i) {
    bool take = false;
    if (i < n) {
      const TTreemapItem* t = S.FTreemap.GetItemByPath(RowPath(lvFiles->topLevelItem(i)));
      take = t && HasKey(keys, KeyOf(t->Leaf));
    }
    if (take && runStart < 0) runStart = i;
    if (!take && runStart >= 0) {
      rows.select(lvFiles->model()->index(runStart, 0), lvFiles->model()->index(i - 1, lastCol));
      runStart = -1;
    }
  }
  lvFiles->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

  // The treemap shows every file of those extensions, also beyond the list.
  std::vector<std::string> paths;
  for (const TFileLeaf* f : S.FAllFiles)
    if (HasKey(keys, KeyOf(f))) paths.push_back(f->FullPath());
  S.FTreemap.SetSelectedByPaths(paths);
  InvalidateBuf();
}

}  // namespace vd::gui
