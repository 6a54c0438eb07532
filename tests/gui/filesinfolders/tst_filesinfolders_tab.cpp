// The "Files in Folders" tab over real scans of generated folders: the lazily
// filled tree, revealing files from treemap clicks, the extension legend, the
// selection order behind the status line and the file actions.
#include <QDir>
#include <QProgressBar>
#include <QSplitter>
#include <QTest>

#include "TestUtil.h"
#include "core/scan/DiskScanner.h"
#include "core/results/Format.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "views/QtCanvas.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

using namespace vd;
using namespace vd::gui;

namespace {

constexpr int64_t KB = 1024, MB = 1024 * 1024;

class TStubWindow : public TWindowHooks {
 public:
  TFilesInFoldersTab* Tab = nullptr;
  QStringList Statuses;
  QProgressBar Bar;
  void SetStatus(const QString& text) override { Statuses << text; }
  QProgressBar* ProgressBar() override { return &Bar; }
  void UpdateSelectionStatus() override {
    if (Tab) SetStatus(Tab->SelectionStatus());
  }
  void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
};

// A scanned folder shown in a tab, after the tab's pipeline stages.
struct TScanned {
  TResultsState S;
  TStubWindow W;
  std::unique_ptr<TFilesInFoldersTab> Tab;

  explicit TScanned(const std::string& path, QSize size = QSize(1000, 800)) {
    // The window exists before the scan, as in the program.
    Tab = std::make_unique<TFilesInFoldersTab>(S, W);
    W.Tab = Tab.get();
    Tab->resize(size);
    Tab->show();
    if (!QTest::qWaitForWindowExposed(Tab.get())) qFatal("tab not exposed");
    TScanContext ctx;
    TDiskScanner scanner(&ctx);
    S.FRoot = scanner.Scan(path);
    Tab->BuildFoldersAndFilesTree();
    Tab->PopulateFileExtensionsList();
    Tab->RebuildHierTreemap();
  }
  ~TScanned() { Tab->ClearView(); }

  QTreeWidget* Tree() const { return Tab->tvFoldersAndFiles; }
  TNodeItem* Root() const { return static_cast<TNodeItem*>(Tree()->topLevelItem(0)); }
  static TNodeItem* Child(QTreeWidgetItem* n, int i) { return static_cast<TNodeItem*>(n->child(i)); }

  const THierItem* Tile(const std::string& path) const { return S.FHierMap.GetItemByPath(path); }
  // A point where the hit test answers exactly this tile (a folder's own
  // border, not its contents).
  QPoint PointOf(const THierItem* tile) const {
    for (int y = tile->Rect.Top; y < tile->Rect.Bottom; ++y)
      for (int x = tile->Rect.Left; x < tile->Rect.Right; ++x)
        if (S.FHierMap.HitTest(TPoint{x, y}) == tile) return QPoint(x, y);
    qFatal("tile has no point of its own");
    return {};
  }
  void ClickTile(const std::string& path, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const THierItem* tile = Tile(path);
    if (!tile) qFatal("no tile for %s", path.c_str());
    QTest::mouseClick(Tab->PaintBox3, Qt::LeftButton, mods, PointOf(tile));
  }
  void ClickNode(QTreeWidgetItem* node, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Tree()->scrollToItem(node);
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, mods, Tree()->visualItemRect(node).center());
  }
  // A node the user cannot reach, selected by program.
  void SelectOnly(QTreeWidgetItem* node) {
    Tree()->selectionModel()->setCurrentIndex(Tree()->indexFromItem(node),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  QString Last() const { return W.Statuses.isEmpty() ? QString() : W.Statuses.last(); }
};

QString Q(const std::string& s) { return QString::fromStdString(s); }
QStringList Texts(QTreeWidgetItem* n) {
  QStringList out;
  for (int i = 0; i < n->childCount(); ++i) out << n->child(i)->text(0);
  return out;
}

}  // namespace

class TstFilesInFoldersTab : public QObject {
  Q_OBJECT
 private slots:
  void rootWithoutContentHasNoPlaceholder() {
    vdtest::TempDir dir;
    const int before = TTreeDummy::Live();
    TScanned t(dir.Path());
    QCOMPARE(t.Tree()->topLevelItemCount(), 1);
    QCOMPARE(t.Root()->childCount(), 0);
    QCOMPARE(TTreeDummy::Live(), before);
    QCOMPARE(t.Tab->tvFileExtensions->topLevelItemCount(), 0);
    QCOMPARE(t.Tab->SelectionStatus(), Q(dir.Path()) + "  0 B");
  }

  void expandsIntoFoldersThenFilesOnce() {
    vdtest::TempDir dir;
    dir.File("a_small/s.bin", 1 * MB);
    dir.File("b_big/b.bin", 3 * MB);
    dir.File("c_mid/m.bin", 2 * MB);
    dir.File("one.txt", 100 * KB);
    dir.File("two.jpg", 500 * KB);
    dir.File("three.dat", 300 * KB);
    dir.File("four.txt", 400 * KB);
    dir.File("five", 200 * KB);
    const int before = TTreeDummy::Live();
    TScanned t(dir.Path());

    QCOMPARE(t.Root()->text(0), Q(std::string(ExtractFileName(dir.Path()))) + "  [7.5 MB]");
    QCOMPARE(Texts(t.Root()), QStringList{"(loading)"});
    QVERIFY(t.Root()->isSelected());
    QCOMPARE(TTreeDummy::Live(), before + 1);

    t.Tree()->expandItem(t.Root());  // as the user's click on the arrow
    QCOMPARE(Texts(t.Root()),
             (QStringList{"b_big  [3.0 MB]", "c_mid  [2.0 MB]", "a_small  [1.0 MB]", "two.jpg  [500.0 KB]",
                          "four.txt  [400.0 KB]", "three.dat  [300.0 KB]", "five  [200.0 KB]", "one.txt  [100.0 KB]"}));
    // The root's placeholder is gone; each sub-folder brought its own.
    QCOMPARE(TTreeDummy::Live(), before + 3);
    for (int i = 0; i < 3; ++i) QCOMPARE(Texts(t.Child(t.Root(), i)), QStringList{"(loading)"});
    for (int i = 3; i < 8; ++i) QCOMPARE(t.Child(t.Root(), i)->childCount(), 0);

    std::vector<QTreeWidgetItem*> first;
    for (int i = 0; i < 8; ++i) first.push_back(t.Root()->child(i));
    t.Tree()->collapseItem(t.Root());
    t.Tree()->expandItem(t.Root());
    QCOMPARE(t.Root()->childCount(), 8);
    for (int i = 0; i < 8; ++i) QCOMPARE(t.Root()->child(i), first[size_t(i)]);
    QCOMPARE(TTreeDummy::Live(), before + 3);

    t.Tab->ClearView();
    QCOMPARE(TTreeDummy::Live(), before);
  }

  void deepFileTileRevealsItsNode() {
    vdtest::TempDir dir;
    const std::string deep = dir.File("a/b/c/deep.bin", 4 * MB);
    dir.File("a/side.dat", 1 * MB);
    dir.File("other.txt", 1 * MB);
    TScanned t(dir.Path());
    QVERIFY(!t.Root()->isExpanded());

    t.ClickTile(deep);
    TNodeItem* node = t.Tab->FindTreeNodeByData(t.Tile(deep)->FileLeaf());
    QVERIFY(node);
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) QVERIFY(p->isExpanded());
    QCOMPARE(node->text(0), QStringLiteral("deep.bin  [4.0 MB]"));
    QCOMPARE(t.Tab->SelectedNodesInOrder(), std::vector<TNodeItem*>{node});
    QVERIFY(t.Tree()->viewport()->rect().intersects(t.Tree()->visualItemRect(node)));
    QCOMPARE(t.S.FHierMap.SelectedCount(), size_t(1));
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(deep));
    QCOMPARE(t.Last(), Q(deep) + "  4.0 MB");
    // Only the folders on the way were filled.
    QCOMPARE(t.Root()->childCount(), 2);

    QTest::mouseMove(t.Tab->PaintBox3, t.PointOf(t.Tile(deep)));
    QCOMPARE(t.Tab->PaintBox3->CurrentHint(), Q(deep) + "\r\n4.0 MB");
  }

  void folderTileRevealsOnlyExistingNodes() {
    vdtest::TempDir dir;
    dir.File("a/b/inner.bin", 4 * MB);
    dir.File("a/x.bin", 2 * MB);
    dir.File("z.bin", 1 * MB);
    TScanned t(dir.Path());
    t.Tree()->expandItem(t.Root());
    TNodeItem* a = t.Child(t.Root(), 0);
    const int nodesBefore = t.Tree()->topLevelItemCount() + t.Root()->childCount() + a->childCount();

    // b lies under a, never expanded: only the treemap and the status line change.
    t.ClickTile(dir / "a/b");
    QVERIFY(!a->isExpanded());
    QCOMPARE(Texts(a), QStringList{"(loading)"});
    QCOMPARE(t.Tree()->topLevelItemCount() + t.Root()->childCount() + a->childCount(), nodesBefore);
    QCOMPARE(t.Tab->SelectedNodesInOrder(), std::vector<TNodeItem*>{t.Root()});
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(dir / "a/b"));
    QCOMPARE(t.Last(), Q(dir / "a/b") + "  4.0 MB");

    // a's node exists: it is expanded one level and selected.
    t.ClickTile(dir / "a");
    QVERIFY(a->isExpanded());
    QCOMPARE(Texts(a), (QStringList{"b  [4.0 MB]", "x.bin  [2.0 MB]"}));
    QCOMPARE(t.Tab->SelectedNodesInOrder(), std::vector<TNodeItem*>{a});
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(dir / "a"));
    QCOMPARE(t.Last(), Q(dir / "a") + "  6.0 MB");
  }

  void ctrlClickAddsTilesToBothSelections() {
    vdtest::TempDir dir;
    const std::string x = dir.File("sub/x.jpg", 2 * MB);
    const std::string y = dir.File("sub/deeper/y.jpg", 1 * MB);
    dir.File("z.txt", 1 * MB);
    TScanned t(dir.Path());

    t.ClickTile(x, Qt::ControlModifier);
    t.ClickTile(y, Qt::ControlModifier);
    TNodeItem* nx = t.Tab->FindTreeNodeByData(t.Tile(x)->FileLeaf());
    TNodeItem* ny = t.Tab->FindTreeNodeByData(t.Tile(y)->FileLeaf());
    QVERIFY(nx && ny);
    // Ctrl adds to what the tree had: the root selected by the build.
    QCOMPARE(t.Tab->SelectedNodesInOrder(), (std::vector<TNodeItem*>{ny, nx, t.Root()}));
    QVERIFY(t.S.FHierMap.IsSelected(t.Tile(x)));
    QVERIFY(t.S.FHierMap.IsSelected(t.Tile(y)));
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(y));
    QCOMPARE(t.Tab->SelectionStatus(), Q(y) + "  1.0 MB  (3 selected)");

    // A plain click on a tile whose node is selected already leaves the tree's
    // selection alone (the node only becomes the most recent); the treemap
    // keeps the click's own single selection.
    t.ClickTile(x);
    QCOMPARE(t.Tab->SelectedNodesInOrder(), (std::vector<TNodeItem*>{nx, ny, t.Root()}));
    QCOMPARE(t.S.FHierMap.SelectedCount(), size_t(1));
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(x));
    QCOMPARE(t.Last(), Q(x) + "  2.0 MB");

    // Ctrl on the selected tile takes its node out of the tree's selection too.
    t.ClickTile(x, Qt::ControlModifier);
    QCOMPARE(t.Tab->SelectedNodesInOrder(), (std::vector<TNodeItem*>{ny, t.Root()}));
    QVERIFY(!t.S.FHierMap.IsSelected(t.Tile(x)));
  }

  void extensionLegendHighlightsUntilTheTreeSpeaks() {
    vdtest::TempDir dir;
    const std::string p1 = dir.File("p/one.jpg", 3 * MB);
    const std::string p2 = dir.File("q/r/two.JPG", 1 * MB);
    const std::string txt = dir.File("notes.txt", 2 * MB);
    dir.File("noext", 512 * KB);
    TScanned t(dir.Path());

    QTreeWidget* legend = t.Tab->tvFileExtensions;
    QCOMPARE(legend->topLevelItemCount(), 3);
    const QStringList expected[] = {{".jpg", "", "4.0 MB", "2"}, {".txt", "", "2.0 MB", "1"}, {"(none)", "", "512.0 KB", "1"}};
    for (int r = 0; r < 3; ++r) {
      QTreeWidgetItem* row = legend->topLevelItem(r);
      for (int c = 0; c < 4; ++c) QCOMPARE(row->text(c), expected[r][c]);
      QCOMPARE(row->data(1, kSwatchColorRole).value<QColor>(),
               ToQColor(TTreemapLayout::ColorForExt(expected[r][0].toStdString())));
    }

    const int statuses = int(t.W.Statuses.size());
    legend->topLevelItem(0)->setSelected(true);
    QVERIFY(t.S.FHierMap.IsSelected(t.Tile(p1)));
    QVERIFY(t.S.FHierMap.IsSelected(t.Tile(p2)));
    QVERIFY(!t.S.FHierMap.IsSelected(t.Tile(txt)));
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(p1));
    QCOMPARE(int(t.W.Statuses.size()), statuses);  // the legend leaves the status line alone

    t.Tree()->expandItem(t.Root());
    TNodeItem* notes = nullptr;
    for (int i = 0; i < t.Root()->childCount(); ++i)
      if (t.Child(t.Root(), i)->Leaf) notes = notes ? notes : t.Child(t.Root(), i);
    QVERIFY(notes && notes->text(0).startsWith("notes.txt"));
    t.ClickNode(notes);
    QCOMPARE(t.S.FHierMap.SelectedCount(), size_t(1));
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(txt));
    QVERIFY(legend->topLevelItem(0)->isSelected());  // the legend keeps its rows
    QCOMPARE(t.Last(), Q(txt) + "  2.0 MB");
  }

  void statusLineFollowsTheMostRecentNode_data() {
    QTest::addColumn<QString>("pick");
    QTest::addColumn<QString>("status");
    QTest::newRow("root") << "root" << "{root}  3.5 MB";
    QTest::newRow("file") << "file" << "{root}/f.bin  1.5 MB";
    QTest::newRow("several") << "several" << "{root}/d  2.0 MB  (3 selected)";
    QTest::newRow("placeholder") << "placeholder" << "Ready";
    QTest::newRow("nothing") << "nothing" << "Ready";
  }
  void statusLineFollowsTheMostRecentNode() {
    QFETCH(QString, pick);
    QFETCH(QString, status);
    vdtest::TempDir dir;
    dir.File("d/in.bin", 2 * MB);
    dir.File("f.bin", 1536 * KB);
    TScanned t(dir.Path());
    t.Tree()->expandItem(t.Root());
    TNodeItem* d = t.Child(t.Root(), 0);
    TNodeItem* f = t.Child(t.Root(), 1);
    if (pick == "file") t.ClickNode(f);
    if (pick == "several") {
      t.ClickNode(f, Qt::ControlModifier);
      t.ClickNode(d, Qt::ControlModifier);
    }
    if (pick == "placeholder") t.SelectOnly(t.Child(d, 0));  // hidden under collapsed d
    if (pick == "nothing") t.Tree()->clearSelection();
    status.replace("{root}", Q(dir.Path()));
    QCOMPARE(t.Tab->SelectionStatus(), status);
    QCOMPARE(t.Last(), status);  // what the change handler asked the window to show
  }

  void gatheringFollowsSelectionOrder() {
    vdtest::TempDir dir;
    dir.File("d/in.bin", 4 * MB);
    dir.File("a.bin", 3 * MB);
    dir.File("b.bin", 2 * MB);
    dir.File("c.bin", 1 * MB);
    TScanned t(dir.Path());
    t.Tree()->expandItem(t.Root());
    TNodeItem* d = t.Child(t.Root(), 0);
    TNodeItem* a = t.Child(t.Root(), 1);
    TNodeItem* b = t.Child(t.Root(), 2);
    TNodeItem* c = t.Child(t.Root(), 3);

    t.ClickNode(b);
    t.ClickNode(a, Qt::ControlModifier);
    t.ClickNode(d, Qt::ControlModifier);
    QCOMPARE(t.Tab->GatherSelectedPaths(), (std::vector<std::string>{dir / "d", dir / "a.bin", dir / "b.bin"}));
    t.ClickNode(a, Qt::ControlModifier);  // toggled off
    QCOMPARE(t.Tab->GatherSelectedPaths(), (std::vector<std::string>{dir / "d", dir / "b.bin"}));
    // The treemap follows the tree, most recent first as its primary.
    QCOMPARE(t.S.FHierMap.Primary(), t.Tile(dir / "d"));
    QVERIFY(t.S.FHierMap.IsSelected(t.Tile(dir / "b.bin")));

    // A Shift range ends with the clicked node as the most recent.
    t.ClickNode(a);
    t.ClickNode(c, Qt::ShiftModifier);
    const auto paths = t.Tab->GatherSelectedPaths();
    QCOMPARE(paths.size(), size_t(3));
    QCOMPARE(paths.front(), dir / "c.bin");
    QCOMPARE(t.Last(), Q(dir / "c.bin") + "  1.0 MB  (3 selected)");

    // A selected placeholder and nothing at all gather nothing.
    t.SelectOnly(t.Child(d, 0));
    QVERIFY(t.Tab->GatherSelectedPaths().empty());
  }

  // A Shift+click on a tile selects the rows on screen from the anchor to its
  // node: nothing under a folder collapsed meanwhile, no placeholder.
  void shiftRangeTakesOnlyRowsOnScreen() {
    vdtest::TempDir dir;
    dir.File("d/x.bin", 2 * MB);
    dir.File("d/y.bin", 2 * MB);
    dir.File("e/w.bin", 3 * MB);
    dir.File("m.bin", 2 * MB);
    const std::string z = dir.File("z.bin", 1 * MB);
    TScanned t(dir.Path());
    t.Tree()->expandItem(t.Root());
    TNodeItem* d = t.Child(t.Root(), 0);
    t.Tree()->expandItem(d);
    t.Tree()->collapseItem(d);  // x and y exist, out of sight; e holds its placeholder
    t.ClickNode(d);
    t.ClickTile(z, Qt::ShiftModifier);
    QList<QTreeWidgetItem*> rows{d, t.Child(t.Root(), 1), t.Child(t.Root(), 2), t.Child(t.Root(), 3)};
    QList<QTreeWidgetItem*> selected = t.Tree()->selectedItems();
    std::sort(rows.begin(), rows.end());
    std::sort(selected.begin(), selected.end());
    QCOMPARE(selected, rows);
    QCOMPARE(t.Tab->SelectionStatus(), Q(z) + "  1.0 MB  (4 selected)");
  }

  void doubleClickOpensThroughTheShell() {
    vdtest::TempDir dir;
    const std::string file = dir.File("sub/file.bin", 2 * MB);
    dir.File("sub/more/m.bin", 1 * MB);
    TScanned t(dir.Path());
    QStringList calls;
    const TShellSeam saved = Shell();
    Shell().OpenUrl = [&](const QUrl& u) {
      calls << "open " + QString::fromLatin1(u.toEncoded());
      return true;
    };
    Shell().FileManager = [&](const QString& m, const QStringList& uris) {
      calls << m + " " + uris.join(",");
      return true;
    };
    QTest::mouseDClick(t.Tab->PaintBox3, Qt::LeftButton, Qt::NoModifier, t.PointOf(t.Tile(file)));
    QTest::mouseDClick(t.Tab->PaintBox3, Qt::LeftButton, Qt::NoModifier, t.PointOf(t.Tile(dir / "sub/more")));
    Shell() = saved;
    QCOMPARE(calls, (QStringList{"ShowItems " + QString::fromLatin1(FileUrlFromPath(file).toEncoded()),
                                 "open " + QString::fromLatin1(FileUrlFromPath(dir / "sub/more").toEncoded())}));
  }

  void bottomPanelSplitsTheWidth() {
    vdtest::TempDir dir;
    TScanned t(dir.Path(), QSize(1240, 720));
    QSplitter* bottom = t.Tab->FBottomSplitter;
    t.Tab->AdjustBottomPanel(1240);
    QCOMPARE(bottom->sizes().at(1), t.Tab->Panel2->width() - bottom->handleWidth() - 620);
    t.Tab->resize(300, 720);
    QTRY_COMPARE(t.Tab->Panel2->width(), 300);
    t.Tab->AdjustBottomPanel(300);
    QVERIFY(t.Tab->tvFileExtensions->width() >= 160);
    QCOMPARE(t.Tab->Panel2->height(), 303);
  }

  void screenshotAfterScanningUsrShare() {
    if (qEnvironmentVariableIsEmpty("VORNDALE_SCREENSHOTS")) QSKIP("VORNDALE_SCREENSHOTS not set");
    TScanned t("/usr/share", QSize(1240, 720));
    t.Tab->AdjustBottomPanel(1240);
    t.Tree()->expandItem(t.Root());
    if (t.Root()->childCount() > 0) t.Tree()->expandItem(t.Root()->child(0));
    // Reveal the largest file of the largest folder, as a tile click would.
    const THierItem* pick = nullptr;
    for (const THierItem& it : t.S.FHierMap.Items())
      if (it.Kind() == THierKind::hkFile && (!pick || it.Size() > pick->Size())) pick = &it;
    if (pick) t.ClickTile(pick->FullPath());
    t.Tab->tvFileExtensions->topLevelItem(1)->setSelected(true);
    QCoreApplication::processEvents();
    QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
    QVERIFY(t.Tab->grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/filesinfolders_tab.png")));
  }
};

QTEST_MAIN(TstFilesInFoldersTab)
#include "tst_filesinfolders_tab.moc"
