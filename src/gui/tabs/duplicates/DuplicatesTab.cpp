#include "DuplicatesTab.h"

#include "ContentCheckRun.h"

#include "common/UpdatesSuspended.h"
#include "common/ViewSetup.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/QtCanvas.h"
#include "views/SelectionStatus.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

namespace vd::gui {

namespace {

constexpr int kEventsEveryNodes = 150;
constexpr int kBottomHeight = 303;
constexpr int kGroupRole = Qt::UserRole + 1;

// The first file's time to 1/10000 of a day, as the list has always shown it.
QString GroupDateText(const TDupGroup& g) {
  if (g.Files.empty() || !g.Files.front()) return {};
  const TDateTime dt = std::round(g.Files.front()->GetModifiedDateTime() * 10000.0) / 10000.0;
  if (!(dt > 0)) return {};
  return DisplayText(FormatDateTimeShort(dt));
}

TDupGroup* GroupOfItem(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<TDupGroup*>(item->data(0, kGroupRole).value<quintptr>()) : nullptr;
}

void AddGroupPaths(const TDupGroup& g, std::vector<std::string>& paths) {
  for (const TFileLeaf* f : g.Files) paths.push_back(f->FullPath());
}

void AddGroupFiles(const TDupGroup& g, std::vector<const TFileLeaf*>& files) {
  files.insert(files.end(), g.Files.begin(), g.Files.end());
}

}  // namespace

TDuplicatesTab::TDuplicatesTab(TResultsState& state, TWindowHooks& window, QWidget* parent)
    : TResultTab(state, window, parent) {
  setObjectName(QStringLiteral("TabSheetDuplicates"));

  Panel1 = new QWidget;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  PaintBox4 = new TPaintSurface(Panel1);
  PaintBox4->setObjectName(QStringLiteral("PaintBox4"));
  BareLayout(Panel1)->addWidget(PaintBox4);
  FSurface = PaintBox4;

  tvDuplicateFiles = new QTreeView;
  tvDuplicateFiles->setObjectName(QStringLiteral("tvDuplicateFiles"));
  FTreeModel = new TDupTreeModel(this);
  tvDuplicateFiles->setModel(FTreeModel);
  tvDuplicateFiles->setHeaderHidden(true);
  tvDuplicateFiles->setIndentation(19);
  tvDuplicateFiles->setIconSize(QSize(16, 16));
  SetUpReadOnlyView(tvDuplicateFiles, QAbstractItemView::ExtendedSelection);
  // The names take the width; the content column keeps its own at the right.
  tvDuplicateFiles->header()->setStretchLastSection(false);
  tvDuplicateFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  tvDuplicateFiles->header()->setSectionResizeMode(TDupTreeModel::colContent, QHeaderView::Fixed);
  tvDuplicateFiles->header()->resizeSection(TDupTreeModel::colContent, 130);
  auto* treePane = new QWidget;
  auto* treeColumn = BareLayout(treePane);
  treeColumn->addWidget(BuildContentStrip());
  treeColumn->addWidget(tvDuplicateFiles, 1);

  lvDuplicateGroupsColors = new QTreeWidget;
  lvDuplicateGroupsColors->setObjectName(QStringLiteral("lvDuplicateGroupsColors"));
  lvDuplicateGroupsColors->setColumnCount(4);
  lvDuplicateGroupsColors->setHeaderLabels({QStringLiteral("Group"), QStringLiteral("Color"), QStringLiteral("Size"),
                                            QStringLiteral("Modified")});
  SetColumnWidths(lvDuplicateGroupsColors, {220, 70, 110, 140});
  lvDuplicateGroupsColors->setRootIsDecorated(false);
  lvDuplicateGroupsColors->setItemsExpandable(false);
  SetUpReadOnlyView(lvDuplicateGroupsColors, QAbstractItemView::ExtendedSelection);
  lvDuplicateGroupsColors->setItemDelegateForColumn(1, new TSwatchDelegate(lvDuplicateGroupsColors));

  FBottomSplitter = MakeSplitter(Qt::Horizontal, 6);
  FBottomSplitter->setObjectName(QStringLiteral("SplitterDuplicatesBottom"));
  // The tree takes what the list leaves.
  AddGrowingAndFixed(FBottomSplitter, treePane, lvDuplicateGroupsColors);

  Panel3 = new QWidget;
  Panel3->setObjectName(QStringLiteral("Panel3"));
  BareLayout(Panel3)->addWidget(FBottomSplitter);

  Splitter7 = MakeSplitter(Qt::Vertical, 13);
  Splitter7->setObjectName(QStringLiteral("Splitter7"));
  // The treemap takes the free height.
  AddGrowingAndFixed(Splitter7, Panel1, Panel3);
  Splitter7->setSizes({400, kBottomHeight});
  BareLayout(this)->addWidget(Splitter7);

  PaintBox4->HasData = [this] { return S.FRoot && !S.FDupeColorByFileUpper.empty(); };
  PaintBox4->PaintBuffer = [this](QImage& img) { PaintOnImage(img, [this](TCanvas& c) { S.FDupeMap.Paint(c); }); };
  PaintBox4->HitTest = [this](QPoint p) -> const void* { return S.FDupeMap.HitTest(TPoint{p.x(), p.y()}); };
  PaintBox4->HintFor = [](const void* tile) {
    const auto* it = static_cast<const TDupItem*>(tile);
    return TileHint(it->FullPath(), it->Size());
  };
  PaintBox4->IsClosing = [] { return AppClosing; };
  connect(PaintBox4, &TPaintSurface::MouseDown, this, &TDuplicatesTab::PaintBox4MouseDown);
  connect(PaintBox4, &TPaintSurface::DblClick, this, &TDuplicatesTab::PaintBox4DblClick);
  connect(PaintBox4, &TPaintSurface::Resized, this, [this] {
    if (!AppClosing) BuildDuplicatesMap();
  });

  connect(FTreeModel, &QAbstractItemModel::modelReset, this, [this] {
    FSelOrder.clear();
    FSelPos.clear();
    FCopies.clear();
    FCopiesSelected = false;
  });
  connect(tvDuplicateFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            DropCopiesSelection();  // the user chose anew
            TrackTreeSelection(selected, deselected);
            tvDuplicateFilesChange();
          });
  connect(lvDuplicateGroupsColors->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) { lvDuplicateGroupsColorsSelectItem(selected); });
  WireDesktopHabits();
}

TDupGroup* TDuplicatesTab::GroupOfRow(const QTreeWidgetItem* row) { return GroupOfItem(row); }

// ---- Building --------------------------------------------------------------------

void TDuplicatesTab::BuildDuplicates() {
  CancelContentCheck();  // it reads the groups about to be replaced
  // The tree and the list still point at the old groups until they are filled
  // again (or never, when this run is cancelled): keep those alive till then.
  for (auto& g : S.FDupeGroups) FRetiredGroups.push_back(std::move(g));
  S.FDupeGroups.clear();
  S.FDupeColorByFileUpper.clear();
  S.FDupeGroupByFileUpper.clear();

  const int64_t n = int64_t(S.FAllFiles.size());
  if (n == 0) {
    PopulateDuplicatesTree();
    PopulateDuplicateGroupsList();
    FRetiredGroups.clear();
    BuildDuplicatesMap();
    return;
  }

  QProgressBar* pb = W.ProgressBar();
  if (pb) {
    pb->setRange(0, int(std::min<int64_t>(n, INT_MAX)));
    pb->setValue(0);
  }
  W.SetStatus(QStringLiteral("Building duplicates... 0 / %1").arg(n));
  if (pb) pb->repaint();

  TDupResult found = FindDuplicates(S.FAllFiles, [&](int64_t done, int64_t total) {
    W.SetProgress(int(std::min<int64_t>(done, INT_MAX)), done == total);
    W.SetStatus(QStringLiteral("Building duplicates... %1 / %2").arg(done).arg(total));
    W.ProcessPendingEvents();
    return S.Cancelled();
  });
  S.FDupeGroups = std::move(found.Groups);
  if (found.Cancelled) return;  // the pipeline's next check ends the build
  S.FDupeColorByFileUpper = std::move(found.ColorByFile);
  S.FDupeGroupByFileUpper = std::move(found.GroupByFile);

  W.SetStatus(QStringLiteral("Duplicates ready. Groups shown: %1").arg(qlonglong(S.FDupeGroups.size())));
  W.ProcessPendingEvents();

  // A Stop during the tree fill ends the stage here: the pipeline clears
  // everything next, so laying out the treemap first would only delay it.
  if (!PopulateDuplicatesTree()) return;
  PopulateDuplicateGroupsList();
  FRetiredGroups.clear();
  BuildDuplicatesMap();

  tvDuplicateFiles->collapseAll();
  if (FTreeModel->GroupCount() > 0) {
    const QModelIndex first = FTreeModel->IndexOfGroup(0);
    tvDuplicateFiles->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
    tvDuplicateFiles->scrollToTop();
  }
}

bool TDuplicatesTab::PopulateDuplicatesTree() {
  TUpdatesSuspended suspend(tvDuplicateFiles);
  FTreeModel->Clear();
  int64_t nodes = 0;
  bool complete = true;
  for (const auto& g : S.FDupeGroups) {
    FTreeModel->AppendGroup(g.get());
    // The model shows a group's files at once; the UI is still serviced at
    // every 150th file node, as a node-by-node fill would.
    const int shown = TDupTreeModel::ShownFiles(*g);
    int64_t points = (nodes + shown) / kEventsEveryNodes - nodes / kEventsEveryNodes;
    nodes += shown;
    for (; points > 0 && complete; --points) {
      W.ProcessPendingEvents();
      complete = !S.Cancelled();
    }
    if (!complete) break;
  }
  if (complete && FTreeModel->GroupCount() > 0) {
    tvDuplicateFiles->expandToDepth(0);
    tvDuplicateFiles->selectionModel()->setCurrentIndex(FTreeModel->IndexOfGroup(0),
                                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  return complete;
}

void TDuplicatesTab::PopulateDuplicateGroupsList() {
  TUpdatesSuspended suspend(lvDuplicateGroupsColors);
  lvDuplicateGroupsColors->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(qsizetype(S.FDupeGroups.size()));
  for (const auto& g : S.FDupeGroups) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, DisplayText(g->FileName));
    item->setText(2, DisplayText(FormatSize(g->Size)));
    item->setText(3, GroupDateText(*g));
    item->setData(0, kGroupRole, QVariant::fromValue(reinterpret_cast<quintptr>(g.get())));
    item->setData(1, kSwatchColorRole, ToQColor(g->Color));
    items.push_back(item);
  }
  lvDuplicateGroupsColors->addTopLevelItems(items);
}

void TDuplicatesTab::BuildDuplicatesMap() {
  if (DeferLayoutUntilShown([this] { S.FDupeMap.Clear(); })) return;
  const QSize px = PaintBox4->LayoutSize();
  const int w = px.width(), h = px.height();
  if (w <= 0 || h <= 0) return;
  if (S.FRoot && !S.FDupeColorByFileUpper.empty())
    S.FDupeMap.BuildFromRootDuplicates(S.FRoot.get(), &S.FDupeColorByFileUpper, TRect{0, 0, w, h});
  PaintBox4->ResetHover();  // the old tiles are gone
  InvalidateBuf();
}

void TDuplicatesTab::ClearView() {
  // Before anything it reads goes: the groups, and the tree after this.
  CancelContentCheck();
  FCopyCandidates.clear();
  FRemovedDuringCheck.clear();
  btnSelectCopies->setEnabled(false);
  ShowContentSummary({});
  FTreeModel->Clear();
  lvDuplicateGroupsColors->clear();
  FRetiredGroups.clear();
  S.FDupeMap.Clear();
  PaintBox4->ResetHover();
  InvalidateBuf();
}

void TDuplicatesTab::AdjustBottomPanel(int windowClientWidth) {
  // Panel3 spans the window; before its first layout the window's width stands in.
  const int width = Panel3->testAttribute(Qt::WA_Resized) ? Panel3->contentsRect().width() : windowClientWidth;
  if (width <= 0) return;
  const int listWidth = std::max(width / 2, 200);
  FBottomSplitter->setSizes({std::max(0, width - FBottomSplitter->handleWidth() - listWidth), listWidth});
}

// ---- Selection ---------------------------------------------------------------------

uint64_t TDuplicatesTab::NodeKey(const QModelIndex& index) {
  const bool group = index.internalId() == 0;
  const uint64_t groupRow = group ? uint64_t(index.row()) : uint64_t(index.internalId() - 1);
  return (groupRow << 32) | (group ? 0u : uint32_t(index.row()) + 1u);
}

QModelIndex TDuplicatesTab::NodeFromKey(uint64_t key) const {
  const int groupRow = int(key >> 32);
  const uint32_t child = uint32_t(key);
  if (groupRow >= FTreeModel->GroupCount()) return {};
  const QModelIndex group = FTreeModel->IndexOfGroup(groupRow);
  return child == 0 ? group : FTreeModel->index(int(child - 1), 0, group);
}

void TDuplicatesTab::TrackTreeSelection(const QItemSelection& selected, const QItemSelection& deselected) {
  for (const QItemSelectionRange& r : deselected)
    for (int row = r.top(); row <= r.bottom(); ++row) FSelPos.erase(NodeKey(FTreeModel->index(row, 0, r.parent())));
  for (const QItemSelectionRange& r : selected)
    for (int row = r.top(); row <= r.bottom(); ++row) {
      const uint64_t key = NodeKey(FTreeModel->index(row, 0, r.parent()));
      if (FSelPos.try_emplace(key, FSelOrder.size()).second) FSelOrder.push_back(key);
    }
  if (FSelOrder.size() > 2 * FSelPos.size() + 64) {
    std::vector<uint64_t> live;
    live.reserve(FSelPos.size());
    for (size_t i = 0; i < FSelOrder.size(); ++i) {
      const auto it = FSelPos.find(FSelOrder[i]);
      if (it != FSelPos.end() && it->second == i) {
        it->second = live.size();
        live.push_back(FSelOrder[i]);
      }
    }
    FSelOrder.swap(live);
  }
}

QModelIndexList TDuplicatesTab::TreeSelectionInOrder() const {
  QModelIndexList out;
  for (size_t i = 0; i < FSelOrder.size(); ++i) {
    const auto it = FSelPos.find(FSelOrder[i]);
    if (it == FSelPos.end() || it->second != i) continue;
    const QModelIndex idx = NodeFromKey(FSelOrder[i]);
    if (idx.isValid()) out.push_back(idx);
  }
  return out;
}

void TDuplicatesTab::AddTreePaths(std::vector<std::string>& paths) const {
  if (FCopiesSelected) {
    // Select Copies' choice, the files beyond a group's 500 included.
    for (const TCopyOf& c : FCopies) paths.push_back(c.File->FullPath());
    return;
  }
  for (const QModelIndex& idx : TreeSelectionInOrder()) {
    switch (FTreeModel->Kind(idx)) {
      case TDupTreeModel::TNodeKind::File: paths.push_back(FTreeModel->File(idx)->FullPath()); break;
      case TDupTreeModel::TNodeKind::Group: AddGroupPaths(*FTreeModel->Group(idx), paths); break;
      default: break;  // the overflow node stands for no file
    }
  }
}

void TDuplicatesTab::AddTreeFiles(std::vector<const TFileLeaf*>& files) const {
  if (FCopiesSelected) {
    for (const TCopyOf& c : FCopies) files.push_back(c.File);
    return;
  }
  for (const QModelIndex& idx : TreeSelectionInOrder()) {
    switch (FTreeModel->Kind(idx)) {
      case TDupTreeModel::TNodeKind::File: files.push_back(FTreeModel->File(idx)); break;
      case TDupTreeModel::TNodeKind::Group: AddGroupFiles(*FTreeModel->Group(idx), files); break;
      default: break;  // the overflow node stands for no file
    }
  }
}

QModelIndex TDuplicatesTab::SelectedNode() const {
  const QModelIndex cur = tvDuplicateFiles->selectionModel()->currentIndex();
  if (cur.isValid() && tvDuplicateFiles->selectionModel()->isSelected(cur)) return cur;
  const QModelIndexList sel = TreeSelectionInOrder();
  return sel.isEmpty() ? QModelIndex() : sel.back();
}

void TDuplicatesTab::SelectTreeNode(const QModelIndex& index) {
  tvDuplicateFiles->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
  tvDuplicateFiles->scrollTo(index);
}

void TDuplicatesTab::lvDuplicateGroupsColorsSelectItem(const QItemSelection& selected) {
  if (AppClosing || S.FSyncing) return;
  if (selected.isEmpty()) return;  // a deselection leaves the treemap as it is
  // The file actions read the tree first: a group picked here replaces what
  // the tree had, Select Copies' choice too.
  DropCopiesSelection();
  if (tvDuplicateFiles->selectionModel()->hasSelection()) {
    TSyncGuard sync(S);
    tvDuplicateFiles->selectionModel()->clearSelection();
  }
  std::vector<const TFileLeaf*> files;
  for (int i = 0; i < lvDuplicateGroupsColors->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lvDuplicateGroupsColors->topLevelItem(i);
    if (item->isSelected())
      if (const TDupGroup* g = GroupOfItem(item)) AddGroupFiles(*g, files);
  }
  if (!files.empty())
    S.FDupeMap.SetSelectedFiles(files);
  else
    S.FDupeMap.ClearSelection();
  InvalidateBuf();
  W.UpdateSelectionStatus();
}

void TDuplicatesTab::tvDuplicateFilesChange() {
  if (AppClosing || S.FSyncing) return;
  std::vector<const TFileLeaf*> files;
  AddTreeFiles(files);
  if (!files.empty())
    S.FDupeMap.SetSelectedFiles(files);
  else
    S.FDupeMap.ClearSelection();
  InvalidateBuf();
  W.UpdateSelectionStatus();
}

void TDuplicatesTab::PaintBox4MouseDown(QMouseEvent* e) {
  if (AppClosing) return;
  const QPoint p = PaintBox4->LayoutPoint(e->position());
  const TDupItem* item = S.FDupeMap.HitTest(TPoint{p.x(), p.y()});
  if (!item) return;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  // Folders are never in the tree; a file is there when its group shows it.
  const TFileLeaf* leaf = item->FileLeaf();
  TDupGroup* const* group = leaf ? S.FDupeGroupByFileUpper.Find(leaf) : nullptr;
  const QModelIndex node = group ? FTreeModel->IndexOfFile(leaf, *group) : QModelIndex();
  DropCopiesSelection();
  if (!ctrl && !node.isValid()) {
    // The tile alone is what is selected now: the tree and the list, which
    // the file actions read first, let go of theirs.
    TSyncGuard sync(S);
    tvDuplicateFiles->selectionModel()->clearSelection();
    lvDuplicateGroupsColors->selectionModel()->clearSelection();
  }
  if (ctrl)
    S.FDupeMap.ToggleSelected(item);
  else
    S.FDupeMap.SetSingleSelected(item);
  InvalidateBuf();
  if (node.isValid() && ctrl) {
    // As in the other tabs: Ctrl adds the file's node to the tree's
    // selection, or takes it out with the tile.
    const bool on = S.FDupeMap.IsSelected(item);
    tvDuplicateFiles->selectionModel()->setCurrentIndex(
        node, (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
    tvDuplicateFiles->scrollTo(node);
  } else if (node.isValid()) {
    SelectTreeNode(node);
  }
  W.UpdateSelectionStatus();
}

void TDuplicatesTab::PaintBox4DblClick() {
  if (AppClosing) return;
  if (const TDupItem* p = S.FDupeMap.Primary()) OpenFolderAndSelect(p->FullPath());
}

// ---- For the window ----------------------------------------------------------------

QString TDuplicatesTab::SelectionStatus() const {
  if (FCopiesSelected) return CopiesStatus();
  const QModelIndex node = SelectedNode();
  if (const TFileLeaf* f = FTreeModel->File(node))
    return QStringLiteral("%1  %2").arg(DisplayText(f->FullPath()), DisplayText(FormatSize(f->Size())));
  if (FTreeModel->Kind(node) == TDupTreeModel::TNodeKind::Group) {
    const TDupGroup* g = FTreeModel->Group(node);
    // One pass over all three: the name may itself hold "%3".
    return QStringLiteral("%1  %2  (%3 duplicates)")
        .arg(DisplayText(g->FileName), DisplayText(FormatSize(g->Size)), QString::number(g->Files.size()));
  }
  if (const TDupItem* p = S.FDupeMap.Primary())
    return ShowSelection(DisplayText(p->FullPath()), DisplayText(FormatSize(p->Size())), 1);
  return QStringLiteral("Ready");
}

std::vector<std::string> TDuplicatesTab::GatherSelectedPaths() const {
  std::vector<std::string> paths;
  AddTreePaths(paths);
  if (paths.empty()) {
    for (int i = 0; i < lvDuplicateGroupsColors->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = lvDuplicateGroupsColors->topLevelItem(i);
      if (item->isSelected())
        if (const TDupGroup* g = GroupOfItem(item)) AddGroupPaths(*g, paths);
    }
  }
  if (paths.empty()) {
    const TDupItem* p = S.FDupeMap.Primary();
    if (p && p->Kind() == TDupKind::dkFile) paths.push_back(p->FullPath());
  }
  return paths;
}

}  // namespace vd::gui
