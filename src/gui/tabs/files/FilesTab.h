// The "Only Files" tab: the treemap of every file on top, the largest files
// below it, and the extension legend at the right, kept in step with each other.
#pragma once

#include <QItemSelection>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "common/ResultTab.h"

class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace vd::gui {

struct TFilesTreemapAhead;

class TFilesTab : public TResultTab {
  Q_OBJECT
 public:
  // Columns of lvFiles; the last one is hidden and carries the full path.
  enum { colName, colPath, colSize, colPercent, colModified, colFullPath, colOtherSize, kFileColumns };
  // Columns of lvExt.
  enum { colExt, colColor, colBytes, colExtPercent, colFiles, kExtColumns };
  // Item data roles: the exact bytes of a row's full path (QByteArray, on the
  // FullPath column) and of a legend row's extension key (on its first column).
  static constexpr int kPathBytesRole = Qt::UserRole + 1;
  static constexpr int kExtKeyRole = Qt::UserRole + 2;
  // Rows between two progress points of the file list.
  static constexpr int kProgressEvery = 250;

  TFilesTab(TResultsState& state, TWindowHooks& window, QWidget* parent = nullptr);
  ~TFilesTab() override;

  // TResultTab
  void ClearView() override;
  void RebuildTreemap() override { RebuildFilesTreemap(); }
  QString SelectionStatus() const override;
  std::vector<std::string> GatherSelectedPaths() const override;
  void AdjustBottomPanel(int windowClientWidth) override;
  std::optional<std::vector<std::string>> ItemPaths(const QWidget* view, const QModelIndex& index,
                                                    const void* tile) const override;

  // Pipeline stages, in the order the window calls them after a scan.
  void FlattenAllFilesFromRoot();
  // Starts laying the treemap out over the flat list on a helper thread; the
  // file and extension lists are filled meanwhile, and RebuildFilesTreemap
  // takes the result. Until then the tree and the list must not change.
  void StartFilesTreemapAhead();
  // Stops a layout started ahead and waits for it to end.
  void DropFilesTreemapAhead();
  void BuildDisplayFiles();
  void PopulateFileList();
  void PopulateExtList();
  // Forgets the treemap's selection and hovered tile (before the first layout).
  void ResetTreemapSelection();
  void RebuildFilesTreemap();

  // Handlers.
  void PaintBox1MouseDown(QPoint pos, Qt::KeyboardModifiers mods);
  void PaintBox1DblClick();
  void lvFilesSelectItem(const QItemSelection& selected, const QItemSelection& deselected);
  void lvExtSelectItem();
  void SyncTreemapFromFileList();
  void ApplyExtSelection();

  // The hint text of a tile: full path and size on two lines.
  QString HintForTile(const TTreemapItem& item) const;

  QTreeWidget* FilesList() const { return lvFiles; }
  QTreeWidget* ExtList() const { return lvExt; }
  QSplitter* BottomSplitter() const { return FBottomSplit; }

 private:
  // The treemap's keyboard and selection queries (FilesTabHabits.cpp).
  void WireDesktopHabits();
  QTreeWidget* MakeList(const char* name, const std::vector<std::pair<QString, int>>& columns);
  QTreeWidgetItem* MakeFileRow(const TFileLeaf& leaf) const;
  // The file a row of lvFiles shows, and its exact full path.
  static const TFileLeaf* RowLeaf(const QTreeWidgetItem* row);
  static std::string RowPath(const QTreeWidgetItem* row);

  QWidget* pnlTop_LargestFiles = nullptr;
  QSplitter* Splitter2 = nullptr;
  QWidget* pnlBottom1 = nullptr;
  QSplitter* FBottomSplit = nullptr;
  QTreeWidget* lvFiles = nullptr;
  QTreeWidget* lvExt = nullptr;
  std::unique_ptr<TFilesTreemapAhead> FAhead;
  // Bytes and files per extension, summed in the walk that flattens the tree
  // (in memory order, where a walk of the sorted list would jump about).
  std::vector<TExtStatPair> FExtSums;
};

}  // namespace vd::gui
