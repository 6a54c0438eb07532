// The "Only Folders" tab over real scans of generated folders: the folders
// tree stage with its progress and cancellation, the legend, the treemap's
// clicks and hover, and what the status line and the file actions read.
#include <QDir>
#include <QHeaderView>
#include <QProgressBar>
#include <QSplitter>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <memory>

#include "TestUtil.h"
#include "core/scan/DiskScanner.h"
#include "core/results/Format.h"
#include "tabs/folders/FolderLegendModel.h"
#include "tabs/folders/FoldersTab.h"
#include "tabs/folders/FoldersTreeModel.h"
#include "views/QtCanvas.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

using namespace vd;
using namespace vd::gui;

namespace {

class THooks : public TWindowHooks {
 public:
  QStringList Statuses;
  QProgressBar Bar;
  TFoldersTab* Tab = nullptr;
  std::function<void()> OnPump;
  int Pumps = 0;

  void SetStatus(const QString& text) override { Statuses << text; }
  QProgressBar* ProgressBar() override { return &Bar; }
  void UpdateSelectionStatus() override {
    if (Tab) SetStatus(Tab->SelectionStatus());
  }
  void ProcessPendingEvents() override {
    ++Pumps;
    if (OnPump) OnPump();
    QCoreApplication::processEvents();
  }
  QStringList ProgressTexts() const { return Statuses.filter(QStringLiteral("Building folders tree...")); }
};

// A window's worth of the tab: shared state, hooks and the tab, sized and shown.
struct TFixture {
  vdtest::TempDir Dir;
  TResultsState S;
  THooks W;
  std::unique_ptr<TFoldersTab> Tab;

  explicit TFixture(QSize size = {1000, 700}) {
    Tab = std::make_unique<TFoldersTab>(S, W);
    W.Tab = Tab.get();
    Tab->resize(size);
    Tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(Tab.get()));
  }
  ~TFixture() {
    QApplication::restoreOverrideCursor();
    Tab->ClearView();
    Tab.reset();
  }

  void Scan(const std::string& path) {
    S.FContext = std::make_shared<TScanContext>();
    TDiskScanner scanner(S.FContext.get());
    S.FRoot = scanner.Scan(path);
  }
  // The tab's stages as the results pipeline runs them.
  void RunStages() {
    Tab->BuildFoldersTree();
    S.FSelectedFolder = S.FRoot->Children.empty() ? nullptr : S.FRoot->Children[0];
    Tab->PopulateFilesOfSelectedFolder();
    Tab->RebuildFolderTreemap();
  }
  TDirNode* Node(const std::string& rel) const {
    TDirNode* d = S.FRoot.get();
    for (const QString& part : QString::fromStdString(rel).split('/')) {
      TDirNode* next = nullptr;
      for (TDirNode* c : d->Children)
        if (c->Name() == part.toStdString()) next = c;
      if (!next) return nullptr;
      d = next;
    }
    return d;
  }
  TPaintSurface* Surface() const { return Tab->Surface(); }
  QImage Painted() const {
    Surface()->grab();
    return Surface()->Buffer();
  }
  TDirNode* TreeSelection() const {
    const QModelIndexList sel = Tab->Tree()->selectionModel()->selectedIndexes();
    return sel.isEmpty() ? nullptr : TFoldersTreeModel::NodeOf(sel.first());
  }
  QString StatusOf(const TDirNode* d) const {
    return QString::fromStdString(d->FullPath()) + "  " + QString::fromStdString(FormatSize(d->TotalSize));
  }
  QPoint TileCorner(const TDirNode* d) const {
    const TFolderMapItem* it = S.FFolderMap.ItemOfNode(d);
    return it ? QPoint(it->Rect.Left + 2, it->Rect.Top + 2) : QPoint(-1, -1);
  }
  QString LegendText(int row, int col) const { return Tab->LegendModel()->index(row, col).data().toString(); }
};

int64_t CountModelNodes(const QAbstractItemModel* m, const QModelIndex& parent = {}) {
  int64_t n = 0;
  for (int r = 0; r < m->rowCount(parent); ++r) n += 1 + CountModelNodes(m, m->index(r, 0, parent));
  return n;
}

bool SortedEverywhere(const TDirNode* d) {
  for (size_t i = 0; i < d->Children.size(); ++i) {
    if (i > 0 && d->Children[i - 1]->TotalSize < d->Children[i]->TotalSize) return false;
    if (!SortedEverywhere(d->Children[i])) return false;
  }
  return true;
}

// a (a1 with deep inside, a2), b, c: a nested layout with room for every tile.
void MakeNestedFolders(const vdtest::TempDir& dir) {
  dir.File("a/a1/f.bin", 4 << 20);
  dir.File("a/a1/deep/g.bin", 2 << 20);
  dir.File("a/a2/h.bin", 1 << 20);
  dir.File("b/i.bin", 5 << 20);
  dir.File("c/j.bin", 1 << 20);
}

}  // namespace

class TstFoldersTab : public QObject {
  Q_OBJECT
 private slots:
  void controlsAsTheWindowLaysThemOut() {
    TFixture f({1000, 700});
    QCOMPARE(f.Tab->findChild<QWidget*>("pnlTop_Folders")->isAncestorOf(f.Surface()), true);
    QCOMPARE(f.Surface()->objectName(), QStringLiteral("PaintBox2"));
    auto* split = f.Tab->findChild<QSplitter*>("Splitter1");
    QVERIFY(split);
    QCOMPARE(split->handleWidth(), 10);
    QCOMPARE(f.Tab->findChild<QWidget*>("pnlBottom2")->height(), 291);
    QCOMPARE(f.Tab->Tree()->indentation(), 19);
    QCOMPARE(f.Tab->Tree()->selectionMode(), QAbstractItemView::SingleSelection);
    QTreeView* lv = f.Tab->Legend();
    QCOMPARE(lv->selectionMode(), QAbstractItemView::ExtendedSelection);
    const QStringList captions{"Folder", "Color", "Bytes", "%", "Files"};
    const QList<int> widths{220, 70, 110, 80, 70};
    for (int c = 0; c < captions.size(); ++c) {
      QCOMPARE(f.Tab->LegendModel()->headerData(c, Qt::Horizontal).toString(), captions[c]);
      QCOMPARE(lv->header()->sectionSize(c), widths[c]);
    }
    f.Tab->AdjustBottomPanel(1000);
    QCOMPARE(lv->width(), 500);
    f.Tab->resize(300, 700);
    QCoreApplication::processEvents();
    f.Tab->AdjustBottomPanel(300);
    QCOMPARE(lv->width(), 200);
  }

  void rootWithoutSubFoldersDrawsTheEmptyLayout() {
    TFixture f;
    f.Tab->RebuildFolderTreemap();
    const QPoint mid(f.Surface()->width() / 2, f.Surface()->height() / 2);
    QCOMPARE(f.Painted().pixelColor(mid), f.Surface()->palette().color(QPalette::Button));  // no scan yet

    f.Dir.File("a.bin", 5000);
    f.Dir.File("b.txt", 10);
    f.Scan(f.Dir.Path());
    f.RunStages();
    QCOMPARE(f.W.Statuses.first(), QStringLiteral("Building folders tree... 0 / 0"));
    QCOMPARE(f.W.Statuses.last(), QStringLiteral("Folders tree built (0 folders)."));
    QCOMPARE(f.Tab->TreeModel()->rowCount(), 0);
    QCOMPARE(f.Tab->LegendModel()->rowCount(), 0);
    QCOMPARE(f.S.FSelectedFolder, nullptr);
    QCOMPARE(f.Painted().pixelColor(mid), QColor(Qt::black));
    QCOMPARE(f.Tab->SelectionStatus(), QStringLiteral("Ready"));
    QVERIFY(f.Tab->GatherSelectedPaths().empty());
  }

  void zeroByteFoldersHaveNodesAndRowsButNoTiles() {
    TFixture f;
    f.Dir.File("root.bin", 1000);  // the root's own files count in no row
    f.Dir.File("big/x.bin", 300);
    f.Dir.File("small/y.bin", 100);
    f.Dir.Dir("empty");
    f.Dir.File("zero/z.bin", 0);
    f.Scan(f.Dir.Path());
    f.RunStages();

    QCOMPARE(f.Tab->TreeModel()->rowCount(), 4);
    QCOMPARE(f.Tab->TreeModel()->index(0, 0).data().toString(), QStringLiteral("big  [300 B]"));
    QCOMPARE(f.Tab->LegendModel()->rowCount(), 4);
    struct TRow {
      const char* Name;
      const char* Bytes;
      const char* Percent;
      const char* Files;
    };
    const TRow expected[] = {{"big", "300 B", "75.00%", "1"}, {"small", "100 B", "25.00%", "1"}};
    for (int r = 0; r < 2; ++r) {
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colFolder), QString(expected[r].Name));
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colBytes), QString(expected[r].Bytes));
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colPercent), QString(expected[r].Percent));
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colFiles), QString(expected[r].Files));
    }
    for (int r = 2; r < 4; ++r) {
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colBytes), QStringLiteral("0 B"));
      QCOMPARE(f.LegendText(r, TFolderLegendModel::colPercent), QStringLiteral("0.00%"));
    }
    // The legend's swatch is the colour of the folder's tiles.
    const TFolderMapItem* bigTile = f.S.FFolderMap.ItemOfNode(f.Node("big"));
    QVERIFY(bigTile);
    QCOMPARE(f.Tab->LegendModel()->index(0, TFolderLegendModel::colColor).data(kSwatchColorRole).value<QColor>(),
             ToQColor(bigTile->BaseColor));
    QVERIFY(f.S.FFolderMap.ItemOfNode(f.Node("small")));
    QCOMPARE(f.S.FFolderMap.ItemOfNode(f.Node("empty")), nullptr);
    QCOMPARE(f.S.FFolderMap.ItemOfNode(f.Node("zero")), nullptr);
    QVERIFY(f.Tab->FindFolderTreeNode(f.Node("zero")).isValid());
  }

  void progressEvery200FoldersAndChildrenSortedInPlace() {
    TFixture f;
    for (int t = 0; t < 10; ++t) {
      const std::string top = "t" + std::to_string(t);
      f.Dir.File(top + "/own.bin", (t + 1) * 1000);
      for (int s = 0; s < 44; ++s) f.Dir.Dir(top + "/s" + std::to_string(s));
    }
    f.Dir.File("t9/s5/f.bin", 50);
    f.Dir.File("t9/s40/f.bin", 100);
    f.Scan(f.Dir.Path());
    f.Tab->BuildFoldersTree();

    QCOMPARE(f.W.ProgressTexts(), QStringList({"Building folders tree... 0 / 450", "Building folders tree... 200 / 450",
                                               "Building folders tree... 400 / 450"}));
    QCOMPARE(f.W.Statuses.last(), QStringLiteral("Folders tree built (450 folders)."));
    QCOMPARE(f.W.Pumps, 2);
    QCOMPARE(f.W.Bar.maximum(), 450);
    QCOMPARE(f.W.Bar.value(), 450);
    QCOMPARE(f.S.FSyncing, false);
    QCOMPARE(CountModelNodes(f.Tab->TreeModel()), int64_t(450));

    // The scan tree itself is in display order now, and the tree shows it.
    QVERIFY(SortedEverywhere(f.S.FRoot.get()));
    TDirNode* t9 = f.S.FRoot->Children[0];
    QCOMPARE(t9, f.Node("t9"));
    QCOMPARE(t9->Children[0], f.Node("t9/s40"));
    QCOMPARE(t9->Children[1], f.Node("t9/s5"));
    const QModelIndex t9Index = f.Tab->TreeModel()->index(0, 0);
    QCOMPARE(TFoldersTreeModel::NodeOf(f.Tab->TreeModel()->index(1, 0, t9Index)), f.Node("t9/s5"));
    QCOMPARE(f.Tab->FindFolderTreeNode(f.Node("t9/s5")), f.Tab->TreeModel()->index(1, 0, t9Index));
    // The largest top-level folder is selected, and its change event ran.
    QCOMPARE(f.TreeSelection(), t9);
    QCOMPARE(f.S.FSelectedFolder, t9);
  }

  void cancellationKeepsTheFoldersAddedSoFar() {
    TFixture f;
    for (int t = 0; t < 5; ++t)
      for (int s = 0; s < 199; ++s) f.Dir.Dir("t" + std::to_string(t) + "/s" + std::to_string(s));
    f.Scan(f.Dir.Path());
    f.W.OnPump = [&] { f.S.FContext->Cancel(); };  // Stop pressed during the first pause
    f.Tab->BuildFoldersTree();

    QCOMPARE(f.W.ProgressTexts(),
             QStringList({"Building folders tree... 0 / 1000", "Building folders tree... 200 / 1000"}));
    QCOMPARE(f.W.Statuses.last(), QStringLiteral("Cancelled."));
    QCOMPARE(f.W.Pumps, 1);
    QCOMPARE(f.S.FSyncing, false);
    QCOMPARE(CountModelNodes(f.Tab->TreeModel()), int64_t(200));
    QCOMPARE(f.TreeSelection(), nullptr);
    QVERIFY(!f.Tab->FindFolderTreeNode(f.S.FRoot->Children[1]).isValid());
  }

  void clickingANestedTileSelectsExpandsAndOutlinesIt() {
    TFixture f;
    MakeNestedFolders(f.Dir);
    f.Scan(f.Dir.Path());
    f.RunStages();
    TDirNode* a = f.Node("a");
    TDirNode* a1 = f.Node("a/a1");
    QCOMPARE(f.TreeSelection(), a);  // the largest
    QVERIFY(!f.Tab->Tree()->isExpanded(f.Tab->FindFolderTreeNode(a)));
    const QPoint p = f.TileCorner(a1);  // in the band around a1's own sub-folders
    QCOMPARE(f.S.FFolderMap.HitTest({p.x(), p.y()}), a1);
    const QPoint outline(p.x() - 1, p.y() - 1);
    QVERIFY(f.Painted().pixelColor(outline) != QColor(Qt::white));

    QTest::mouseClick(f.Surface(), Qt::LeftButton, {}, p);
    const QModelIndex node = f.Tab->FindFolderTreeNode(a1);
    QCOMPARE(f.TreeSelection(), a1);
    QVERIFY(f.Tab->Tree()->isExpanded(f.Tab->FindFolderTreeNode(a)));
    QVERIFY(f.Tab->Tree()->isExpanded(node));
    QVERIFY(f.Tab->Tree()->visualRect(node).isValid());  // scrolled into view
    QCOMPARE(f.S.FSelectedFolder, a1);
    QCOMPARE(f.S.FFolderMap.SelectedNode, a1);
    QCOMPARE(f.W.Statuses.last(), f.StatusOf(a1));
    QCOMPARE(f.Painted().pixelColor(outline), QColor(Qt::white));
    QCOMPARE(f.Tab->GatherSelectedPaths(), std::vector<std::string>{a1->FullPath()});

    // The outline survives a new layout for a new size.
    f.Tab->resize(900, 650);
    QCoreApplication::processEvents();
    QCOMPARE(f.S.FFolderMap.SelectedNode, a1);

    // The hover hint names the folder under the mouse and its size.
    TDirNode* c = f.Node("c");
    QTest::mouseMove(f.Surface(), f.TileCorner(c));
    QCOMPARE(f.S.FFolderMap.HoverNode, c);
    QCOMPARE(f.Surface()->CurrentHint(),
             QString::fromStdString(c->FullPath()) + "\r\n" + QString::fromStdString(FormatSize(c->TotalSize)));
  }

  void legendRowSelectsTheFolderInTheTree() {
    TFixture f;
    MakeNestedFolders(f.Dir);
    f.Scan(f.Dir.Path());
    f.RunStages();
    QTreeView* lv = f.Tab->Legend();
    TDirNode* b = f.Node("b");
    QCOMPARE(f.Tab->LegendModel()->NodeAt(1), b);

    const QRect row = lv->visualRect(f.Tab->LegendModel()->index(1, 0));
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(f.TreeSelection(), b);
    QCOMPARE(f.S.FSelectedFolder, b);
    QCOMPARE(f.S.FFolderMap.SelectedNode, b);
    QCOMPARE(f.W.Statuses.last(), f.StatusOf(b));
    // The refill waits until the list has delivered its event, then shows the
    // same folders without a selection.
    QCOMPARE(lv->selectionModel()->selectedRows().size(), 1);
    QTRY_COMPARE(lv->selectionModel()->selectedRows().size(), 0);
    QCOMPARE(f.Tab->LegendModel()->rowCount(), 3);
    QCOMPARE(f.Tab->LegendModel()->NodeAt(1), b);
    QCOMPARE(f.Tab->SelectionStatus(), f.StatusOf(b));
  }

  // A Shift+click over three legend rows: once the legend has let go of its
  // rows, the status line names the folder the file actions take.
  void legendPickOverSeveralRowsNamesOneFolder() {
    TFixture f;
    MakeNestedFolders(f.Dir);
    f.Scan(f.Dir.Path());
    f.RunStages();
    QTreeView* lv = f.Tab->Legend();
    auto rowCenter = [&](int r) { return lv->visualRect(f.Tab->LegendModel()->index(r, 0)).center(); };
    // The largest folder is the tree's already: its row stays, and is named.
    TDirNode* a = f.Node("a");
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, rowCenter(0));
    QCOMPARE(f.Tab->GatherSelectedPaths(), std::vector<std::string>{a->FullPath()});
    QCOMPARE(f.W.Statuses.last(), f.StatusOf(a));
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCenter(2));
    QTRY_COMPARE(lv->selectionModel()->selectedRows().size(), 0);
    TDirNode* c = f.Node("c");
    QCOMPARE(f.TreeSelection(), c);
    QCOMPARE(f.Tab->GatherSelectedPaths(), std::vector<std::string>{c->FullPath()});
    QCOMPARE(f.W.Statuses.last(), f.StatusOf(c));
  }

  void doubleClickOpensTheFolderUnderTheMouse() {
    TFixture f;
    MakeNestedFolders(f.Dir);
    f.Scan(f.Dir.Path());
    f.RunStages();
    QList<QUrl> opened;
    const TShellSeam saved = Shell();
    Shell().OpenUrl = [&](const QUrl& u) {
      opened << u;
      return true;
    };
    TDirNode* c = f.Node("c");
    QTest::mouseDClick(f.Surface(), Qt::LeftButton, {}, f.TileCorner(c));
    Shell() = saved;
    QCOMPARE(f.S.FSelectedFolder, c);
    QCOMPARE(opened, QList<QUrl>{FileUrlFromPath(c->FullPath())});
  }

  void gatheringPrefersLegendRowsOverTheTree() {
    // A cancelled build leaves top-level folders without a node: a legend row
    // for one of them selects the folder without touching the tree, so the
    // legend keeps its selection.
    TFixture f;
    for (int t = 0; t < 4; ++t) {
      f.Dir.File("t" + std::to_string(t) + "/f.bin", (4 - t) * 1000);
      for (int s = 0; s < 199; ++s) f.Dir.Dir("t" + std::to_string(t) + "/s" + std::to_string(s));
    }
    f.Scan(f.Dir.Path());
    f.W.OnPump = [&] { f.S.FContext->Cancel(); };
    f.Tab->BuildFoldersTree();
    f.Tab->PopulateFilesOfSelectedFolder();
    f.Tab->RebuildFolderTreemap();
    TDirNode* t0 = f.Node("t0");
    f.Tab->Tree()->setCurrentIndex(f.Tab->FindFolderTreeNode(t0));
    QCOMPARE(f.Tab->GatherSelectedPaths(), std::vector<std::string>{t0->FullPath()});

    QItemSelectionModel* sel = f.Tab->Legend()->selectionModel();
    const QAbstractItemModel* m = f.Tab->LegendModel();
    sel->select(m->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(m->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    QCOMPARE(f.TreeSelection(), t0);
    QCOMPARE(f.S.FSelectedFolder, f.Node("t1"));
    QCOMPARE(f.S.FFolderMap.SelectedNode, f.Node("t1"));
    QCOMPARE(f.Tab->GatherSelectedPaths(), (std::vector<std::string>{f.Node("t1")->FullPath(), f.Node("t3")->FullPath()}));
    QCOMPARE(f.Tab->SelectionStatus(), f.StatusOf(f.Node("t1")) + "  (2 selected)");

    f.Tab->ClearView();
    QCOMPARE(f.Tab->TreeModel()->rowCount(), 0);
    QCOMPARE(f.Tab->LegendModel()->rowCount(), 0);
    QVERIFY(f.S.FFolderMap.Items().empty());
    QVERIFY(f.Tab->GatherSelectedPaths().empty());
  }

  void screenshotAfterScanningUsrShare() {
    if (!qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) QSKIP("VORNDALE_SCREENSHOTS not set");
    TFixture f({1280, 860});
    f.Scan("/usr/share");
    f.RunStages();
    f.Tab->AdjustBottomPanel(f.Tab->width());
    TDirNode* second = f.S.FRoot->Children.size() > 1 ? f.S.FRoot->Children[1] : nullptr;
    if (second && !second->Children.empty())
      QTest::mouseClick(f.Surface(), Qt::LeftButton, {}, f.TileCorner(second->Children[0]));
    QCoreApplication::processEvents();
    QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
    QVERIFY(f.Tab->grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/folders_tab.png")));
  }
};

QTEST_MAIN(TstFoldersTab)
#include "tst_folders_tab.moc"
