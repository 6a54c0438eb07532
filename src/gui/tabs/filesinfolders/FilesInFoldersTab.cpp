#include "FilesInFoldersTab.h"

#include "common/ViewSetup.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "core/results/Beside.h"
#include "core/results/FolderOrder.h"
#include "core/results/Format.h"
#include "views/IconCache.h"
#include "views/QtCanvas.h"
#include "views/SelectionStatus.h"
#include "views/Shell.h"
#include "views/SizeMarks.h"
#include "views/SwatchDelegate.h"

namespace vd::gui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The selection stays as visible as with focus when the control loses it.
QString NodeText(std::string_view name, int64_t size) {
  return QStringLiteral("%1  [%2]").arg(DisplayText(name), Q(FormatSize(size)));
}

}  // namespace

TFilesInFoldersTab::TFilesInFoldersTab(TResultsState& state, TWindowHooks& window, QWidget* parent)
    : TResultTab(state, window, parent) {
  setObjectName(QStringLiteral("TabSheet3"));
  CreateControls();

  FSurface = PaintBox3;
  PaintBox3->HasData = [this] { return S.FRoot != nullptr; };
  PaintBox3->IsClosing = [] { return AppClosing; };
  PaintBox3->PaintBuffer = [this](QImage& img) { PaintOnImage(img, [this](TCanvas& c) { S.FHierMap.Paint(c); }); };
  PaintBox3->HitTest = [this](QPoint p) -> const void* {
    if (!S.FRoot) return nullptr;
    return S.FHierMap.HitTest(TPoint{p.x(), p.y()});
  };
  PaintBox3->HintFor = [](const void* hit) {
    const auto* it = static_cast<const THierItem*>(hit);
    return TileHint(it->FullPath(), it->Size());
  };
  connect(PaintBox3, &TPaintSurface::MouseDown, this, [this](QMouseEvent* e) { PaintBox3MouseDown(e); });
  connect(PaintBox3, &TPaintSurface::DblClick, this, [this] { PaintBox3DblClick(); });
  // The surface fills pnlTop_FilesInFolders, so its resize is the panel's.
  connect(PaintBox3, &TPaintSurface::Resized, this, [this] {
    if (!AppClosing) RebuildHierTreemap();
  });

  connect(tvFoldersAndFiles, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
    tvFoldersAndFilesExpanding(node);
    ScheduleFitTreeColumn();
  });
  connect(tvFoldersAndFiles, &QTreeWidget::itemCollapsed, this, [this] { ScheduleFitTreeColumn(); });
  connect(tvFoldersAndFiles->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { ScheduleFitTreeColumn(); });
  connect(tvFoldersAndFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { OnTreeSelectionChanged(); });
  connect(tvFileExtensions->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { tvFileExtensionsSelectItem(); });
  WireDesktopHabits();
}

TFilesInFoldersTab::~TFilesInFoldersTab() {
  // Emptying the tree from here on must not reach the handlers.
  tvFoldersAndFiles->selectionModel()->disconnect(this);
  tvFileExtensions->selectionModel()->disconnect(this);
  tvFoldersAndFiles->disconnect(this);
  tvFoldersAndFiles->viewport()->removeEventFilter(this);
  FSelOrder.clear();
  FNodeByData.clear();
  tvFoldersAndFiles->clear();
}

void TFilesInFoldersTab::CreateControls() {
  Splitter6 = MakeSplitter(Qt::Vertical, 11, this);
  Splitter6->setObjectName(QStringLiteral("Splitter6"));
  BareLayout(this)->addWidget(Splitter6);

  pnlTop_FilesInFolders = new QWidget(Splitter6);
  pnlTop_FilesInFolders->setObjectName(QStringLiteral("pnlTop_FilesInFolders"));
  PaintBox3 = new TPaintSurface(pnlTop_FilesInFolders);
  PaintBox3->setObjectName(QStringLiteral("PaintBox3"));
  BareLayout(pnlTop_FilesInFolders)->addWidget(PaintBox3);

  Panel2 = new QWidget(Splitter6);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  FBottomSplitter = MakeSplitter(Qt::Horizontal, 6, Panel2);
  FBottomSplitter->setObjectName(QStringLiteral("splBottom_FilesInFolders"));
  BareLayout(Panel2)->addWidget(FBottomSplitter);

  tvFoldersAndFiles = new QTreeWidget(FBottomSplitter);
  tvFoldersAndFiles->setObjectName(QStringLiteral("tvFoldersAndFiles"));
  tvFoldersAndFiles->setColumnCount(1);
  tvFoldersAndFiles->setHeaderHidden(true);
  tvFoldersAndFiles->setIndentation(19);
  tvFoldersAndFiles->setSortingEnabled(false);
  SetUpReadOnlyView(tvFoldersAndFiles, QAbstractItemView::ExtendedSelection);
  // Long names scroll sideways rather than being cut, and a selected row
  // still spans the whole width when the names are short (FitTreeColumn).
  tvFoldersAndFiles->header()->setStretchLastSection(false);
  tvFoldersAndFiles->viewport()->installEventFilter(this);

  tvFileExtensions = new QTreeWidget(FBottomSplitter);
  tvFileExtensions->setObjectName(QStringLiteral("tvFileExtensions"));
  tvFileExtensions->setRootIsDecorated(false);
  tvFileExtensions->setItemsExpandable(false);
  tvFileExtensions->setSortingEnabled(false);
  SetUpReadOnlyView(tvFileExtensions, QAbstractItemView::ExtendedSelection);
  tvFileExtensions->setColumnCount(4);
  tvFileExtensions->setHeaderLabels(
      {QStringLiteral("Extension"), QStringLiteral("Color"), QStringLiteral("Bytes"), QStringLiteral("Files")});
  SetColumnWidths(tvFileExtensions, {120, 70, 120, 70});
  tvFileExtensions->setItemDelegateForColumn(1, new TSwatchDelegate(tvFileExtensions));

  // The tree takes the free width; the legend keeps its own.
  AddGrowingAndFixed(FBottomSplitter, tvFoldersAndFiles, tvFileExtensions);
  FBottomSplitter->setSizes({600, 400});

  // The treemap takes the free height; the bottom panel keeps its 303 pixels.
  AddGrowingAndFixed(Splitter6, pnlTop_FilesInFolders, Panel2);
  Splitter6->setSizes({400, 303});
}

bool TFilesInFoldersTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tvFoldersAndFiles->viewport() && event->type() == QEvent::Resize) ScheduleFitTreeColumn();
  return TResultTab::eventFilter(watched, event);
}

void TFilesInFoldersTab::ScheduleFitTreeColumn() {
  if (FFitPending) return;
  FFitPending = true;
  // After the view has laid out the rows just added or shown.
  QMetaObject::invokeMethod(this, [this] { FitTreeColumn(); }, Qt::QueuedConnection);
}

void TFilesInFoldersTab::FitTreeColumn() {
  FFitPending = false;
  if (AppClosing) return;
  tvFoldersAndFiles->resizeColumnToContents(0);
  const int viewport = tvFoldersAndFiles->viewport()->width();
  if (tvFoldersAndFiles->columnWidth(0) < viewport) tvFoldersAndFiles->setColumnWidth(0, viewport);
}

// ---- clearing and building ---------------------------------------------------

void TFilesInFoldersTab::ClearView() {
  TSyncGuard sync(S);
  FSelOrder.clear();
  FNodeByData.clear();
  {
    FTrackingPaused = true;
    // Deleting the nodes frees every placeholder they own.
    tvFoldersAndFiles->clear();
    FTrackingPaused = false;
  }
  tvFileExtensions->clear();
  // The layout points into the tree that is about to go.
  S.FHierMap.Clear();
  PaintBox3->ResetHover();
  InvalidateBuf();
}

void TFilesInFoldersTab::SortDir(TDirNode* dir) {
  if (!dir) return;
  // Usually the folders tree has sorted them already, and nothing moves.
  SortSubfoldersBySize(dir);
  // Iterative: a scan tree may be deeper than the stack allows recursion.
  std::vector<TDirNode*> all{dir};
  for (size_t i = 0; i < all.size(); ++i) {
    TDirNode* d = all[i];
    all.insert(all.end(), d->Children.begin(), d->Children.end());
  }
  // Every folder's files, millions of them, are ordered beside the window's
  // thread. The views already shown read these lists meanwhile, so the new
  // orders are made apart and taken in together at the end.
  std::vector<uint32_t*> orders(all.size(), nullptr);
  struct TFreeUnused {
    std::vector<uint32_t*>& Orders;
    ~TFreeUnused() {
      for (uint32_t* o : Orders) std::free(o);
    }
  } freeUnused{orders};
  TPumpScope::Run([&] {
    for (size_t i = 0; i < all.size(); ++i)
      orders[i] = all[i]->Leaves.SortedOrder([](const TFileLeaf* a, const TFileLeaf* b) { return a->Size() > b->Size(); });
  });
  for (size_t i = 0; i < all.size(); ++i) {
    all[i]->Leaves.AdoptOrder(orders[i]);
    orders[i] = nullptr;
  }
}

void TFilesInFoldersTab::Index(TNodeItem* node) {
  if (const void* data = node->Data(); data && !node->Dummy) FNodeByData.insert(data, node);
}

TNodeItem* TFilesInFoldersTab::NewDirNode(TDirNode* dir) {
  auto* node = new TNodeItem;
  node->Dir = dir;
  node->setText(0, NodeText(dir->Name(), dir->TotalSize));
  node->setIcon(0, TIconCache::Instance().FolderIcon());
  if (dir->ReadError() != TReadError::None) {
    node->setForeground(0, UnreadableColor());
    node->setToolTip(0, FolderReadTip(*dir));
  }
  if (!dir->Children.empty() || !dir->Leaves.empty()) {
    auto* placeholder = new TNodeItem;
    placeholder->Dummy = std::make_unique<TTreeDummy>();
    placeholder->setText(0, QStringLiteral("(loading)"));
    node->addChild(placeholder);
  }
  Index(node);
  return node;
}

TNodeItem* TFilesInFoldersTab::NewFileNode(TFileLeaf* leaf) {
  auto* node = new TNodeItem;
  node->Leaf = leaf;
  node->setText(0, NodeText(leaf->Name(), leaf->Size()));
  if (const QString tip = FileSizeTip(*leaf); !tip.isEmpty()) node->setToolTip(0, tip);
  // By the extension where there is one: a look-up by the whole name costs a
  // MIME match per file, too slow for a folder of many thousands.
  TIconCache& icons = TIconCache::Instance();
  node->setIcon(0, !leaf->Ext().empty() ? icons.ExtIcon(DisplayText(leaf->Ext())) : icons.FileIcon(DisplayText(leaf->Name())));
  Index(node);
  return node;
}

void TFilesInFoldersTab::AddDirNode(TNodeItem* parent, TDirNode* dir) {
  TNodeItem* node = NewDirNode(dir);
  if (parent)
    parent->addChild(node);
  else
    tvFoldersAndFiles->addTopLevelItem(node);
}

void TFilesInFoldersTab::BuildFoldersAndFilesTree() {
  tvFoldersAndFiles->setUpdatesEnabled(false);
  struct TResume {
    QWidget* W;
    ~TResume() { W->setUpdatesEnabled(true); }
  } resume{tvFoldersAndFiles};

  FTrackingPaused = true;
  FSelOrder.clear();
  FNodeByData.clear();
  tvFoldersAndFiles->clear();
  FTrackingPaused = false;
  OnTreeSelectionChanged();  // whatever was selected is gone
  if (!S.FRoot) return;
  SortDir(S.FRoot.get());
  AddDirNode(nullptr, S.FRoot.get());
  tvFoldersAndFiles->selectionModel()->setCurrentIndex(tvFoldersAndFiles->indexFromItem(tvFoldersAndFiles->topLevelItem(0)),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ScheduleFitTreeColumn();
}

void TFilesInFoldersTab::PopulateFileExtensionsList() {
  tvFileExtensions->setUpdatesEnabled(false);
  struct TResume {
    QWidget* W;
    ~TResume() { W->setUpdatesEnabled(true); }
  } resume{tvFileExtensions};

  tvFileExtensions->clear();
  if (!S.FRoot) return;
  const TExtStats stats = S.FRoot->ExtStats();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(qsizetype(stats.Count()));
  for (const TExtStatPair& e : stats.ToSortedArrayByBytesDesc()) {
    auto* row = new QTreeWidgetItem;
    const QString key = DisplayText(e.Ext);
    row->setText(0, key);
    row->setIcon(0, TIconCache::Instance().ExtIcon(key));
    row->setData(0, kExtKeyRole, QByteArray(e.Ext.data(), qsizetype(e.Ext.size())));
    row->setData(1, kSwatchColorRole, ToQColor(TTreemapLayout::ColorForExt(e.Ext)));
    row->setText(2, Q(FormatSize(e.Bytes)));
    row->setText(3, QString::number(e.Files));
    rows << row;
  }
  tvFileExtensions->addTopLevelItems(rows);
}

void TFilesInFoldersTab::RebuildHierTreemap() {
  if (DeferLayoutUntilShown([this] { S.FHierMap.Clear(); })) return;
  const QSize px = PaintBox3->LayoutSize();
  if (px.width() <= 0 || px.height() <= 0) return;
  if (S.FRoot) S.FHierMap.BuildFromRootSquarified(S.FRoot.get(), TRect{0, 0, px.width(), px.height()});
  // The stored hover may name a tile of the old layout.
  PaintBox3->ResetHover();
  InvalidateBuf();
}

// ---- status, gathering, sizing -------------------------------------------------

QString TFilesInFoldersTab::SelectionStatus() const {
  const std::vector<TNodeItem*> nodes = SelectedNodesInOrder();
  if (nodes.empty()) return QStringLiteral("Ready");
  const int count = int(nodes.size());
  const TNodeItem* node = nodes.front();
  if (node->Leaf) return ShowSelection(DisplayText(node->Leaf->FullPath()), Q(FormatSize(node->Leaf->Size())), count);
  if (node->Dir) return ShowSelection(DisplayText(node->Dir->FullPath()), Q(FormatSize(node->Dir->TotalSize)), count);
  return QStringLiteral("Ready");
}

std::vector<std::string> TFilesInFoldersTab::GatherSelectedPaths() const {
  std::vector<std::string> paths;
  for (const TNodeItem* node : SelectedNodesInOrder()) {
    std::string p;
    if (node->Leaf)
      p = node->Leaf->FullPath();
    else if (node->Dir)
      p = node->Dir->FullPath();
    if (!p.empty()) paths.push_back(std::move(p));
  }
  return paths;
}

void TFilesInFoldersTab::AdjustBottomPanel(int windowClientWidth) {
  const int half = std::max(windowClientWidth / 2, 200);
  const int panel = Panel2->width();
  if (panel <= 0) return;
  const int handle = FBottomSplitter->handleWidth();
  const int ext = std::max(panel - handle - half, 160);
  FBottomSplitter->setSizes({std::max(panel - handle - ext, 0), ext});
}

}  // namespace vd::gui
