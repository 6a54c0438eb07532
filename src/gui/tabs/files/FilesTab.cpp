#include "FilesTab.h"

#include "common/UpdatesSuspended.h"
#include "common/ViewSetup.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_map>

#include "core/results/Beside.h"
#include "core/results/FileList.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/IconCache.h"
#include "views/QtCanvas.h"
#include "views/SelectionStatus.h"
#include "views/Shell.h"
#include "views/SizeMarks.h"
#include "views/SwatchDelegate.h"

namespace vd::gui {

// A files treemap being laid out on a helper thread, for one size of the surface.
struct TFilesTreemapAhead {
  TRect Target;
  TTreemapLayout Layout;
  std::atomic<bool> Stop{false};
  std::unique_ptr<TAhead> Task;  // last: it goes first, waiting for the work
  ~TFilesTreemapAhead() {
    Stop = true;
    Task.reset();
  }
};

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The folder part of a full path: everything before the last separator, except
// that a root keeps its separator ("/" for a file directly in it, C:\ on Windows).
std::string FolderPart(const std::string& full) {
  const size_t cut = full.find_last_of(platform::PathDelimiters());
  if (cut == std::string::npos) return std::string();
  if (cut == 0 || (cut > 0 && full[cut - 1] == ':')) return full.substr(0, cut + 1);
  return full.substr(0, cut);
}

}  // namespace

TFilesTab::TFilesTab(TResultsState& state, TWindowHooks& window, QWidget* parent) : TResultTab(state, window, parent) {
  QVBoxLayout* outer = BareLayout(this);

  Splitter2 = MakeSplitter(Qt::Vertical, 8, this);
  Splitter2->setObjectName(QStringLiteral("Splitter2"));
  outer->addWidget(Splitter2);

  pnlTop_LargestFiles = new QWidget(Splitter2);
  pnlTop_LargestFiles->setObjectName(QStringLiteral("pnlTop_LargestFiles"));
  QVBoxLayout* topLayout = BareLayout(pnlTop_LargestFiles);
  FSurface = new TPaintSurface(pnlTop_LargestFiles);
  FSurface->setObjectName(QStringLiteral("PaintBox1"));
  topLayout->addWidget(FSurface);

  pnlBottom1 = new QWidget(Splitter2);
  pnlBottom1->setObjectName(QStringLiteral("pnlBottom1"));
  QVBoxLayout* bottomLayout = BareLayout(pnlBottom1);
  FBottomSplit = MakeSplitter(Qt::Horizontal, 6, pnlBottom1);
  bottomLayout->addWidget(FBottomSplit);

  lvFiles = MakeList("lvFiles", {{QStringLiteral("Name"), 220},
                                 {QStringLiteral("Path"), 320},
                                 {QStringLiteral("Size"), 95},
                                 {QStringLiteral("Percentage"), 90},
                                 {QStringLiteral("Modified"), 145},
                                 {QStringLiteral("FullPath"), 0},
                                 {OtherSizeCaption(), 95}});
  // The other measure stands right of the size it explains.
  lvFiles->header()->moveSection(colOtherSize, colSize + 1);
  lvExt = MakeList("lvExt", {{QStringLiteral("Extension"), 120},
                             {QStringLiteral("Color"), 70},
                             {QStringLiteral("Bytes"), 120},
                             {QStringLiteral("Percentage"), 90},
                             {QStringLiteral("Files"), 80}});
  lvExt->setItemDelegateForColumn(colColor, new TSwatchDelegate(lvExt));
  // The file list takes the free width; the legend keeps its own.
  AddGrowingAndFixed(FBottomSplit, lvFiles, lvExt);
  // The treemap takes the free height; the bottom panel keeps its 303 pixels.
  AddGrowingAndFixed(Splitter2, pnlTop_LargestFiles, pnlBottom1);
  Splitter2->setSizes({400, 303});

  FSurface->HasData = [this] { return !S.FAllFiles.empty(); };
  FSurface->IsClosing = [] { return AppClosing; };
  FSurface->PaintBuffer = [this](QImage& img) { PaintOnImage(img, [this](TCanvas& c) { S.FTreemap.Paint(c); }); };
  FSurface->HitTest = [this](QPoint p) -> const void* {
    if (S.FAllFiles.empty()) return nullptr;
    return S.FTreemap.HitTest(TPoint{p.x(), p.y()});
  };
  FSurface->HintFor = [this](const void* hit) { return HintForTile(*static_cast<const TTreemapItem*>(hit)); };
  connect(FSurface, &TPaintSurface::MouseDown, this,
          [this](QMouseEvent* e) { PaintBox1MouseDown(FSurface->LayoutPoint(e->position()), e->modifiers()); });
  connect(FSurface, &TPaintSurface::DblClick, this, [this] { PaintBox1DblClick(); });
  // The surface fills pnlTop_LargestFiles, so its resize is the panel's. A
  // closing window may already have let go of the data.
  connect(FSurface, &TPaintSurface::Resized, this, [this] {
    if (!AppClosing) RebuildFilesTreemap();
  });

  connect(lvFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& sel, const QItemSelection& desel) { lvFilesSelectItem(sel, desel); });
  connect(lvExt->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { lvExtSelectItem(); });
  WireDesktopHabits();
}

TFilesTab::~TFilesTab() = default;

QTreeWidget* TFilesTab::MakeList(const char* name, const std::vector<std::pair<QString, int>>& columns) {
  auto* list = new QTreeWidget(FBottomSplit);
  list->setObjectName(QLatin1String(name));
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setSortingEnabled(false);
  list->setTextElideMode(Qt::ElideRight);
  SetUpReadOnlyView(list, QAbstractItemView::ExtendedSelection);

  list->setColumnCount(int(columns.size()));
  QStringList captions;
  for (const auto& c : columns) captions << c.first;
  list->setHeaderLabels(captions);
  std::vector<int> widths;
  for (const auto& c : columns) widths.push_back(c.second);
  SetColumnWidths(list, widths);
  return list;
}

void TFilesTab::ClearView() {
  DropFilesTreemapAhead();  // it reads the tree that is about to go
  TSyncGuard sync(S);
  lvFiles->clear();
  lvExt->clear();
  // Everything here points into the tree that is about to go; a resize before
  // the next scan must not lay out or hit-test files that no longer exist.
  S.FTreemap.Clear();
  S.FAllFiles.clear();
  FExtSums.clear();
  S.FDisplayFiles.clear();
  S.FAllTotalBytes = S.FDisplayTotalBytes = 0;
  FSurface->ResetHover();
  FSurface->setToolTip(QString());
  InvalidateBuf();
}

void TFilesTab::FlattenAllFilesFromRoot() {
  S.FAllFiles.clear();
  S.FAllTotalBytes = 0;
  FExtSums.clear();
  if (!S.FRoot) return;
  TAllFiles all;
  TPumpScope::Run([&] { all = CollectAllFiles(S.FRoot.get()); });
  S.FAllFiles = std::move(all.Files);
  S.FAllTotalBytes = all.TotalBytes;
  FExtSums = std::move(all.ByExtension);
}

void TFilesTab::StartFilesTreemapAhead() {
  DropFilesTreemapAhead();
  const QSize px = FSurface->LayoutSize();
  if (!FSurface->EverShown() || px.width() <= 0 || px.height() <= 0 || S.FAllFiles.empty()) return;
  FAhead = std::make_unique<TFilesTreemapAhead>();
  FAhead->Target = TRect{0, 0, px.width(), px.height()};
  TFilesTreemapAhead* a = FAhead.get();
  a->Task =
      std::make_unique<TAhead>([a, files = &S.FAllFiles] { a->Layout.BuildFromFiles(*files, a->Target, &a->Stop); });
}

void TFilesTab::DropFilesTreemapAhead() { FAhead.reset(); }

void TFilesTab::BuildDisplayFiles() { S.FDisplayFiles = HeadOfFiles(S.FAllFiles, S.FDisplayTotalBytes); }

namespace {

// A row of the file list. Its path is built when the view asks for it, for the
// rows shown, never kept: the list holds thousands of rows, and in a deep tree
// their paths together can be far larger than the tree itself.
class TFileRow : public QTreeWidgetItem {
 public:
  explicit TFileRow(const TFileLeaf* leaf) : QTreeWidgetItem(TFilesTab::kFileColumns), FLeaf(leaf) {}
  const TFileLeaf* Leaf() const { return FLeaf; }
  QVariant data(int column, int role) const override {
    if (column == TFilesTab::colFullPath && role == TFilesTab::kPathBytesRole) {
      const std::string full = FLeaf->FullPath();
      return QByteArray(full.data(), qsizetype(full.size()));
    }
    if ((column == TFilesTab::colPath || column == TFilesTab::colFullPath) &&
        (role == Qt::DisplayRole || role == Qt::EditRole)) {
      const std::string full = FLeaf->FullPath();
      return DisplayText(column == TFilesTab::colPath ? FolderPart(full) : full);
    }
    return QTreeWidgetItem::data(column, role);
  }

 private:
  const TFileLeaf* FLeaf;
};

}  // namespace

QTreeWidgetItem* TFilesTab::MakeFileRow(const TFileLeaf& leaf) const {
  auto* row = new TFileRow(&leaf);
  const QString name = DisplayText(leaf.Name());
  row->setText(colName, name);
  row->setIcon(colName, TIconCache::Instance().FileIcon(name));
  row->setText(colSize, Q(FormatSize(leaf.Size())));
  row->setText(colOtherSize, OtherSizeText(leaf));
  if (const QString tip = FileSizeTip(leaf); !tip.isEmpty()) {
    row->setToolTip(colSize, tip);
    row->setToolTip(colOtherSize, tip);
  }
  row->setText(colPercent, Q(FormatPercent(leaf.Size(), S.FDisplayTotalBytes)));
  const TDateTime modified = leaf.Modified();
  if (modified > 0) row->setText(colModified, Q(FormatDateTimeShort(modified)));
  return row;
}

const TFileLeaf* TFilesTab::RowLeaf(const QTreeWidgetItem* row) { return static_cast<const TFileRow*>(row)->Leaf(); }

std::string TFilesTab::RowPath(const QTreeWidgetItem* row) { return RowLeaf(row)->FullPath(); }

void TFilesTab::PopulateFileList() {
  lvFiles->headerItem()->setText(colOtherSize, OtherSizeCaption());
  const int n = int(S.FDisplayFiles.size());
  if (n == 0) {
    TSyncGuard sync(S);
    lvFiles->clear();
    return;
  }
  TSyncGuard sync(S);
  // The pipeline puts the normal cursor back when it ends.
  if (QGuiApplication::overrideCursor())
    QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
  else
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);

  QProgressBar* pb = W.ProgressBar();
  if (pb) {
    pb->setRange(0, n);  // a range, not the marquee
    pb->setValue(0);
    pb->repaint();
  }
  W.SetStatus(QStringLiteral("Building file list... 0 / %1").arg(n));

  TUpdatesSuspended suspend(lvFiles);
  lvFiles->clear();
  // Rows are inserted in runs between progress points: one model change per
  // run instead of one per row, with the same rows in place at each point.
  QList<QTreeWidgetItem*> pending;
  try {
    for (int i = 0; i < n; ++i) {
      pending.append(MakeFileRow(*S.FDisplayFiles[size_t(i)]));
      if (i % kProgressEvery == 0 || i == n - 1) {
        lvFiles->addTopLevelItems(pending);
        pending.clear();
        if (pb) pb->setValue(i + 1);
        W.SetStatus(QStringLiteral("Building file list... %1 / %2").arg(i + 1).arg(n));
        W.ProcessPendingEvents();
        if (S.Cancelled()) break;
      }
    }
  } catch (...) {
    qDeleteAll(pending);
    throw;
  }
}

void TFilesTab::PopulateExtList() {
  TSyncGuard sync(S);
  TUpdatesSuspended suspend(lvExt);
  lvExt->clear();

  // Keys are interned lower-cased by the scan (the locale's casing); their text
  // lives in the scan tree.
  const std::vector<TExtStatPair>& pairs = FExtSums;
  int64_t grandTotal = 0;
  for (const TExtStatPair& p : pairs) grandTotal += p.Bytes;

  QList<QTreeWidgetItem*> rows;
  rows.reserve(qsizetype(pairs.size()));
  for (const TExtStatPair& p : pairs) {
    auto* row = new QTreeWidgetItem(kExtColumns);
    const QString key = DisplayText(p.Ext);
    row->setText(colExt, key);
    row->setIcon(colExt, TIconCache::Instance().ExtIcon(key));
    row->setData(colExt, kExtKeyRole, QByteArray(p.Ext.data(), qsizetype(p.Ext.size())));
    row->setData(colColor, kSwatchColorRole, ToQColor(TTreemapLayout::ColorForExt(p.Ext)));
    row->setText(colBytes, Q(FormatSize(p.Bytes)));
    row->setText(colExtPercent, Q(FormatPercent(p.Bytes, grandTotal)));
    row->setText(colFiles, QString::number(p.Files));
    rows.append(row);
  }
  lvExt->addTopLevelItems(rows);
}

void TFilesTab::ResetTreemapSelection() {
  S.FTreemap.ClearSelection();
  FSurface->ResetHover();
}

void TFilesTab::RebuildFilesTreemap() {
  // A layout started ahead counts only for the size the surface has now.
  std::unique_ptr<TFilesTreemapAhead> ahead = std::move(FAhead);
  if (ahead) ahead->Task->Wait();
  if (DeferLayoutUntilShown([this] { S.FTreemap.Clear(); })) return;
  const QSize px = FSurface->LayoutSize();
  const int w = px.width(), h = px.height();
  if (w <= 0 || h <= 0) return;
  if (ahead && ahead->Target == TRect{0, 0, w, h} && !S.FAllFiles.empty())
    S.FTreemap = std::move(ahead->Layout);
  else if (!S.FAllFiles.empty())
    S.FTreemap.BuildFromFiles(S.FAllFiles, TRect{0, 0, w, h});
  else
    S.FTreemap.Clear();  // never keep tiles of an older tree
  // The old tiles are gone; a stored hover must not match a new one by address.
  FSurface->ResetHover();
  InvalidateBuf();
}

void TFilesTab::AdjustBottomPanel(int windowClientWidth) {
  const int half = std::max(windowClientWidth / 2, 200);
  const int panel = pnlBottom1->width();
  if (panel <= 0) return;
  const int handle = FBottomSplit->handleWidth();
  const int ext = std::max(panel - handle - half, 160);
  FBottomSplit->setSizes({std::max(panel - handle - ext, 0), ext});
}

QString TFilesTab::HintForTile(const TTreemapItem& item) const {
  return TileHint(item.FullPath(), item.Size());
}

QString TFilesTab::SelectionStatus() const {
  const QModelIndexList rows = lvFiles->selectionModel()->selectedRows();
  if (rows.isEmpty()) return QStringLiteral("Ready");
  int first = rows.front().row();
  for (const QModelIndex& r : rows) first = std::min(first, r.row());
  const QTreeWidgetItem* row = lvFiles->topLevelItem(first);
  return ShowSelection(row->text(colFullPath), row->text(colSize), int(rows.size()));
}

std::vector<std::string> TFilesTab::GatherSelectedPaths() const {
  std::vector<std::string> out;
  for (int i = 0, n = lvFiles->topLevelItemCount(); i < n; ++i) {
    const QTreeWidgetItem* row = lvFiles->topLevelItem(i);
    if (row->isSelected()) out.push_back(RowPath(row));
  }
  return out;
}

}  // namespace vd::gui
