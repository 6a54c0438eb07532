#include "FoldersTab.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "FolderLegendModel.h"
#include "FoldersTreeModel.h"
#include "common/ViewSetup.h"
#include "core/results/Beside.h"
#include "core/results/FolderOrder.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/QtCanvas.h"
#include "views/SelectionStatus.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

namespace vd::gui {

namespace {

constexpr int kProgressEvery = 200;

QString SizeText(int64_t bytes) { return QString::fromStdString(FormatSize(bytes)); }

// The selected rows of a list, top to bottom.
std::vector<int> SelectedRows(const QTreeView* list) {
  std::vector<int> rows;
  for (const QModelIndex& i : list->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace

TFoldersTab::TFoldersTab(TResultsState& state, TWindowHooks& window, QWidget* parent)
    : TResultTab(state, window, parent) {
  BareLayout(this);

  Splitter1 = MakeSplitter(Qt::Vertical, 10, this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  layout()->addWidget(Splitter1);

  pnlTop_Folders = new QWidget(Splitter1);
  pnlTop_Folders->setObjectName(QStringLiteral("pnlTop_Folders"));
  PaintBox2 = new TPaintSurface(pnlTop_Folders);
  PaintBox2->setObjectName(QStringLiteral("PaintBox2"));
  BareLayout(pnlTop_Folders)->addWidget(PaintBox2);
  FSurface = PaintBox2;

  pnlBottom2 = new QWidget(Splitter1);
  pnlBottom2->setObjectName(QStringLiteral("pnlBottom2"));
  FBottomSplitter = MakeSplitter(Qt::Horizontal, 6, pnlBottom2);
  BareLayout(pnlBottom2)->addWidget(FBottomSplitter);

  AddGrowingAndFixed(Splitter1, pnlTop_Folders, pnlBottom2);
  Splitter1->setSizes({400, 291});

  FTreeModel = new TFoldersTreeModel(this);
  tvFolders = new QTreeView(FBottomSplitter);
  tvFolders->setObjectName(QStringLiteral("tvFolders"));
  tvFolders->setHeaderHidden(true);
  tvFolders->setIndentation(19);
  SetUpReadOnlyView(tvFolders, QAbstractItemView::SingleSelection);
  tvFolders->setModel(FTreeModel);

  FLegendModel = new TFolderLegendModel(this);
  lvFilesOfSelectedFolder = new QTreeView(FBottomSplitter);
  lvFilesOfSelectedFolder->setObjectName(QStringLiteral("lvFilesOfSelectedFolder"));
  lvFilesOfSelectedFolder->setRootIsDecorated(false);
  lvFilesOfSelectedFolder->setItemsExpandable(false);
  SetUpReadOnlyView(lvFilesOfSelectedFolder, QAbstractItemView::ExtendedSelection);
  lvFilesOfSelectedFolder->setModel(FLegendModel);
  lvFilesOfSelectedFolder->setItemDelegateForColumn(TFolderLegendModel::colColor,
                                                    new TSwatchDelegate(lvFilesOfSelectedFolder));
  SetColumnWidths(lvFilesOfSelectedFolder, {220, 70, 110, 80, 70, 110});

  AddGrowingAndFixed(FBottomSplitter, tvFolders, lvFilesOfSelectedFolder);
  FBottomSplitter->setSizes({400, 400});

  PaintBox2->IsClosing = [] { return AppClosing; };
  PaintBox2->HasData = [this] { return S.FRoot != nullptr; };
  PaintBox2->PaintBuffer = [this](QImage& img) {
    PaintOnImage(img, [this](TCanvas& c) { S.FFolderMap.Paint(c); });
  };
  // The layout keeps the hovered folder itself; the surface compares it with
  // each new hit so the tooltip changes only from tile to tile.
  PaintBox2->HitTest = [this](QPoint p) -> const void* {
    TDirNode* d = S.FFolderMap.HitTest({p.x(), p.y()});
    S.FFolderMap.HoverNode = d;
    return d;
  };
  PaintBox2->HintFor = [](const void* hit) {
    const auto* d = static_cast<const TDirNode*>(hit);
    return TileHint(d->FullPath(), d->TotalSize);
  };

  connect(PaintBox2, &TPaintSurface::MouseDown, this, &TFoldersTab::PaintBox2MouseDown);
  connect(PaintBox2, &TPaintSurface::DblClick, this, &TFoldersTab::PaintBox2DblClick);
  connect(PaintBox2, &TPaintSurface::Resized, this, &TFoldersTab::RebuildFolderTreemap);
  connect(tvFolders->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TFoldersTab::tvFoldersChange);
  connect(lvFilesOfSelectedFolder->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TFoldersTab::lvFilesOfSelectedFolderSelectItem);
  WireDesktopHabits();
}

TColor TFoldersTab::FolderPathColor(const std::string& path) { return HashColor(platform::ToLowerLocale(path)); }

// ---- Building the tree ----------------------------------------------------------

int64_t TFoldersTab::CountDirs() const {
  // Explicit stacks throughout: a scan tree can be deeper than the call stack.
  int64_t n = 0;
  std::vector<const TDirNode*> stack{S.FRoot.get()};
  while (!stack.empty()) {
    const TDirNode* d = stack.back();
    stack.pop_back();
    n += int64_t(d->Children.size());
    for (const TDirNode* c : d->Children)
      if (!c->Children.empty()) stack.push_back(c);
  }
  return n;
}

void TFoldersTab::AddFolderNodes(int64_t total) {
  // Pre-order, so that whatever has been added when a cancellation stops the
  // walk is a whole tree: every added folder's parent is there as well.
  std::vector<std::pair<TDirNode*, size_t>> stack{{FTreeModel->Root(), 0}};
  while (!stack.empty()) {
    auto& [dir, next] = stack.back();
    if (next == dir->Children.size()) {
      stack.pop_back();
      continue;
    }
    TDirNode* child = dir->Children[next++];
    FTreeModel->AddNode(child);
    ReportTreeProgress(FTreeModel->Added(), total);
    if (!child->Children.empty()) stack.emplace_back(child, 0);
  }
}

void TFoldersTab::ReportTreeProgress(int64_t added, int64_t total) {
  if (added % kProgressEvery != 0) return;
  W.SetProgress(int(added), added == total);
  W.SetStatus(QStringLiteral("Building folders tree... %1 / %2").arg(added).arg(total));
  W.ProcessPendingEvents();
  if (S.Cancelled()) throw TTreeCancelled{};
}

void TFoldersTab::BuildFoldersTree() {
  if (!S.FRoot) return;
  TSyncGuard sync(S);
  // The pipeline puts the normal cursor back when it ends; one override is
  // enough, whoever set it.
  if (QApplication::overrideCursor())
    QApplication::changeOverrideCursor(Qt::BusyCursor);
  else
    QApplication::setOverrideCursor(Qt::BusyCursor);

  TDirNode* root = S.FRoot.get();
  int64_t total = 0;
  TPumpScope::Run([&] { total = CountDirs(); });
  if (QProgressBar* pb = W.ProgressBar()) {
    pb->setRange(0, int(std::max<int64_t>(total, 1)));
    pb->setValue(0);
  }
  W.SetStatus(QStringLiteral("Building folders tree... 0 / %1").arg(total));
  SortSubfoldersBySize(root);

  bool cancelled = false;
  {
    FTreeModel->BeginBuild(root, total);
    // The view sees the folders added so far however the walk ends.
    auto publish = qScopeGuard([this] { FTreeModel->EndBuild(); });
    try {
      AddFolderNodes(total);
    } catch (const TTreeCancelled&) {
      cancelled = true;
    }
  }
  if (cancelled) {
    W.SetStatus(QStringLiteral("Cancelled."));
    return;
  }
  if (FTreeModel->rowCount() > 0)
    tvFolders->selectionModel()->setCurrentIndex(FTreeModel->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  if (QProgressBar* pb = W.ProgressBar()) pb->setValue(pb->maximum());
  W.SetStatus(QStringLiteral("Folders tree built (%1 folders).").arg(FTreeModel->Added()));
}

// ---- Legend and treemap ---------------------------------------------------------

void TFoldersTab::PopulateFilesOfSelectedFolder() {
  if (FInLegendSelect) {
    // The legend is still delivering the selection that led here; its rows
    // must outlive that event, so the refill runs right after it.
    if (!FLegendRefillPending) {
      FLegendRefillPending = true;
      QMetaObject::invokeMethod(this, &TFoldersTab::RefillLegendAfterEvent, Qt::QueuedConnection);
    }
    return;
  }
  FLegendRefillPending = false;
  if (!FLegendModel->Fill(S.FRoot.get())) lvFilesOfSelectedFolder->selectionModel()->clear();
  lvFilesOfSelectedFolder->scrollToTop();
}

void TFoldersTab::RefillLegendAfterEvent() {
  if (!FLegendRefillPending) return;  // refilled or cleared meanwhile
  PopulateFilesOfSelectedFolder();
  // The pick's rows are gone from the legend: the status line now names the
  // tree's folder, the one the file actions take.
  if (!AppClosing) W.UpdateSelectionStatus();
}

void TFoldersTab::RebuildFolderTreemap() {
  if (DeferLayoutUntilShown([this] { S.FFolderMap.Clear(); })) return;
  const QSize px = PaintBox2->LayoutSize();
  const int w = px.width(), h = px.height();
  if (w <= 0 || h <= 0) return;
  if (S.FRoot) {
    S.FFolderMap.BuildFromRoot(S.FRoot.get(), TRect{0, 0, w, h});
    S.FFolderMap.SelectedNode = S.FSelectedFolder;
  }
  PaintBox2->ResetHover();  // the build forgot the layout's own hover too
  InvalidateBuf();
}

QModelIndex TFoldersTab::FindFolderTreeNode(const TDirNode* dir) const { return FTreeModel->IndexOf(dir); }

void TFoldersTab::ClearView() {
  FLegendRefillPending = false;
  FTreeModel->Clear();
  FLegendModel->Clear();
  S.FFolderMap.Clear();
  S.FSelectedFolder = nullptr;
  PaintBox2->ResetHover();
  InvalidateBuf();
}

void TFoldersTab::AdjustBottomPanel(int /*windowClientWidth*/) {
  const int avail = pnlBottom2->width();
  if (avail <= 0) return;
  const int listWidth = std::max(avail / 2, 200);
  FBottomSplitter->setSizes({std::max(avail - FBottomSplitter->handleWidth() - listWidth, 0), listWidth});
}

// ---- Handlers ---------------------------------------------------------------------

void TFoldersTab::RevealFolderNode(const QModelIndex& node) {
  tvFolders->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  for (QModelIndex p = node.parent(); p.isValid(); p = p.parent()) tvFolders->expand(p);
  tvFolders->scrollTo(node);
  tvFolders->expand(node);
}

void TFoldersTab::tvFoldersChange(const QItemSelection& selected, const QItemSelection&) {
  if (AppClosing) return;
  const QModelIndexList idx = selected.indexes();
  if (idx.isEmpty()) return;
  TDirNode* dir = TFoldersTreeModel::NodeOf(idx.first());
  if (!dir) return;
  S.FSelectedFolder = dir;
  PopulateFilesOfSelectedFolder();
  S.FFolderMap.SelectedNode = dir;
  InvalidateBuf();
  W.UpdateSelectionStatus();
}

void TFoldersTab::PaintBox2MouseDown(QMouseEvent* e) {
  const QPoint p = PaintBox2->LayoutPoint(e->position());
  TDirNode* dir = S.FFolderMap.HitTest({p.x(), p.y()});
  if (!dir) return;
  const QModelIndex node = FindFolderTreeNode(dir);
  if (node.isValid()) {
    RevealFolderNode(node);  // the tree's change event does the rest
    return;
  }
  S.FSelectedFolder = dir;
  PopulateFilesOfSelectedFolder();
  S.FFolderMap.SelectedNode = dir;
  InvalidateBuf();
}

void TFoldersTab::PaintBox2DblClick() {
  if (S.FSelectedFolder) OpenItem(S.FSelectedFolder->FullPath());
}

void TFoldersTab::lvFilesOfSelectedFolderSelectItem(const QItemSelection& selected, const QItemSelection& deselected) {
  // Qt reports a batch; each newly selected row is handled as if reported on
  // its own, the row under the cursor last, so that the clicked folder wins.
  std::vector<int> rows;
  for (const QModelIndex& i : selected.indexes())
    if (i.column() == 0) rows.push_back(i.row());
  // Whatever the rows did, the status line then names what the file actions
  // take: the legend's rows while it has some, else the tree's folder.
  auto status = qScopeGuard([&] {
    if (!AppClosing && FLegendModel->rowCount() > 0 && !(selected.isEmpty() && deselected.isEmpty()))
      W.UpdateSelectionStatus();
  });
  if (rows.empty()) return;
  std::sort(rows.begin(), rows.end());
  const int current = lvFilesOfSelectedFolder->selectionModel()->currentIndex().row();
  if (auto it = std::find(rows.begin(), rows.end(), current); it != rows.end()) std::rotate(it, it + 1, rows.end());

  const bool outer = FInLegendSelect;
  FInLegendSelect = true;
  auto restore = qScopeGuard([this, outer] { FInLegendSelect = outer; });
  for (int row : rows) {
    TDirNode* dir = FLegendModel->NodeAt(row);
    if (!dir) continue;
    const QModelIndex node = FindFolderTreeNode(dir);
    if (node.isValid()) {
      RevealFolderNode(node);
      continue;
    }
    S.FSelectedFolder = dir;
    S.FFolderMap.SelectedNode = dir;
    InvalidateBuf();
  }
}

// ---- Status and file actions ----------------------------------------------------

QString TFoldersTab::SelectionStatus() const {
  const std::vector<int> rows = SelectedRows(lvFilesOfSelectedFolder);
  const int count = int(rows.size());
  if (count > 0) {
    if (const TDirNode* d = FLegendModel->NodeAt(rows.front()))
      return ShowSelection(DisplayText(d->FullPath()), SizeText(d->TotalSize), count);
    return ShowSelection(FLegendModel->index(rows.front(), 0).data().toString(), QString(), count);
  }
  const QModelIndexList sel = tvFolders->selectionModel()->selectedIndexes();
  if (!sel.isEmpty())
    if (const TDirNode* d = TFoldersTreeModel::NodeOf(sel.first()))
      return ShowSelection(DisplayText(d->FullPath()), SizeText(d->TotalSize), 1);
  return QStringLiteral("Ready");
}

std::vector<std::string> TFoldersTab::GatherSelectedPaths() const {
  std::vector<std::string> paths;
  auto add = [&](const TDirNode* d) {
    if (!d) return;
    std::string p = d->FullPath();
    if (!p.empty()) paths.push_back(std::move(p));
  };
  const std::vector<int> rows = SelectedRows(lvFilesOfSelectedFolder);
  if (!rows.empty()) {
    for (int r : rows) add(FLegendModel->NodeAt(r));
    return paths;
  }
  const QModelIndexList sel = tvFolders->selectionModel()->selectedIndexes();
  if (!sel.isEmpty()) add(TFoldersTreeModel::NodeOf(sel.first()));
  return paths;
}

}  // namespace vd::gui
