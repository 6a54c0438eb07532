// The "Duplicates" tab over real scans of temporary folders: the tree, the
// groups list and the treemap, how they drive each other, cancellation, and
// what the file actions gather.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSplitter>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>

#include "TestUtil.h"
#include "core/results/FileList.h"
#include "core/results/Format.h"
#include "tabs/duplicates/ContentCheckRun.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "views/QtCanvas.h"
#include "views/Shell.h"

using namespace vd;
using namespace vd::gui;
using TKind = TDupTreeModel::TNodeKind;

namespace {

class THooks : public TWindowHooks {
 public:
  QStringList Statuses;
  QProgressBar Bar;
  std::function<void()> OnEvents;  // runs at every event point, after the queue
  void SetStatus(const QString& t) override { Statuses << t; }
  QProgressBar* ProgressBar() override { return &Bar; }
  void UpdateSelectionStatus() override {}
  void ProcessPendingEvents() override {
    QCoreApplication::processEvents();
    if (OnEvents) OnEvents();
  }
};

struct TFixture {
  TResultsState S;
  THooks W;
  std::unique_ptr<TDuplicatesTab> Tab;

  explicit TFixture(QSize size = {1000, 700}) {
    S.FContext = std::make_shared<TScanContext>();
    Tab = std::make_unique<TDuplicatesTab>(S, W);
    Tab->resize(size);
    Tab->show();
    if (!QTest::qWaitForWindowExposed(Tab.get())) qWarning("tab not exposed");
  }
  void Scan(const std::string& path) {
    TScanContext ctx;
    TDiskScanner scanner(&ctx);
    S.FRoot = scanner.Scan(path);
    S.FAllFiles = FlattenAllFiles(S.FRoot.get(), S.FAllTotalBytes);
  }
  TDupTreeModel& Model() { return *Tab->DuplicateFilesModel(); }
  QTreeView& Tree() { return *Tab->DuplicateFiles(); }
  QTreeWidget& List() { return *Tab->DuplicateGroups(); }
  QString Text(const QModelIndex& i) { return Model().data(i).toString(); }
  const TDupItem* Tile(const std::string& path) {
    for (const TDupItem& it : S.FDupeMap.Items())
      if (it.FullPath() == path) return &it;
    return nullptr;
  }
  static QPoint Center(const TDupItem* t) { return QPoint((t->Rect.Left + t->Rect.Right) / 2, (t->Rect.Top + t->Rect.Bottom) / 2); }
  int SelectedFileTiles() {
    int n = 0;
    for (const TDupItem& it : S.FDupeMap.Items()) n += it.Kind() == TDupKind::dkFile && S.FDupeMap.IsSelected(&it);
    return n;
  }
  void ClickRow(int row, Qt::KeyboardModifiers mods = {}) {
    QTreeWidgetItem* item = List().topLevelItem(row);
    QTest::mouseClick(List().viewport(), Qt::LeftButton, mods, QPoint(10, List().visualItemRect(item).center().y()));
  }
  void SelectNode(const QModelIndex& i, QItemSelectionModel::SelectionFlags f = QItemSelectionModel::Select) {
    Tree().selectionModel()->select(i, f | QItemSelectionModel::Rows);
  }
};

QStringList Paths(const std::vector<std::string>& v) {
  QStringList out;
  for (const auto& s : v) out << QString::fromStdString(s);
  return out;
}

// `count` files of `name` with the same bytes, one per folder d0, d1, ...
// (d0 the oldest).
void SameBytes(vdtest::TempDir& t, const std::string& name, int count, const std::string& bytes) {
  for (int i = 0; i < count; ++i) {
    const std::string p = t.File("d" + std::to_string(i) + "/" + name, 0, 1000 + i);
    { std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes; }
    const timespec ts[2] = {{1000 + i, 0}, {1000 + i, 0}};
    ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
  }
}

// A pass held in its first read until Release, as on a dead network mount;
// the passes after it read at once.
struct THeldPass {
  std::mutex M;
  std::condition_variable Cv;
  bool Released = false;
  std::atomic<int> Entered{0};
  std::atomic<bool> HeldEnded{false};
  std::vector<std::vector<std::string>> SeenAfterRelease;
  void Release() {
    std::lock_guard<std::mutex> lock(M);
    Released = true;
    Cv.notify_all();
  }
};

// `count` copies of `name`, one per folder d0, d1, ...
void Copies(vdtest::TempDir& t, const std::string& name, int count, int64_t size, int64_t mtime = -1) {
  for (int i = 0; i < count; ++i) t.File("d" + std::to_string(i) + "/" + name, size, mtime);
}

}  // namespace

class TstDuplicatesTab : public QObject {
  Q_OBJECT
 private slots:
  void caseVariantsOfOneSizeFormOneGroup() {
    vdtest::TempDir t;
    const int64_t when = 1700000010;  // half a minute past: rounding cannot change the minute
    t.File("a/Report.PDF", 100, when);
    t.File("b/report.pdf", 100, when);
    t.File("a/LICENSE", 7);
    t.File("b/LICENSE", 7);
    t.File("a/same.txt", 5);
    t.File("b/same.txt", 6);
    t.File("c/other.txt", 100);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();

    QCOMPARE(f.W.Statuses.first(), QStringLiteral("Building duplicates... 0 / 7"));
    QVERIFY(f.W.Statuses.contains(QStringLiteral("Building duplicates... 7 / 7")));
    QCOMPARE(f.W.Statuses.last(), QStringLiteral("Duplicates ready. Groups shown: 2"));
    QCOMPARE(f.W.Bar.maximum(), 7);
    QCOMPARE(f.W.Bar.value(), 7);

    QCOMPARE(f.Model().GroupCount(), 2);
    const QModelIndex g = f.Model().IndexOfGroup(0);
    const QString name = f.Text(g).section(' ', 0, 0);
    QVERIFY(name == "Report.PDF" || name == "report.pdf");
    QCOMPARE(f.Text(g), name + "  (2)");
    QCOMPARE(f.Model().rowCount(g), 2);
    QStringList children{f.Text(f.Model().index(0, 0, g)), f.Text(f.Model().index(1, 0, g))};
    children.sort();
    QCOMPARE(children, QStringList({QString::fromStdString(t / "a/Report.PDF"), QString::fromStdString(t / "b/report.pdf")}));
    // A name without an extension still gets the generic file icon.
    const QModelIndex license = f.Model().IndexOfGroup(1);
    QCOMPARE(f.Text(license), QStringLiteral("LICENSE  (2)"));
    QVERIFY(!f.Model().data(license, Qt::DecorationRole).value<QIcon>().isNull());

    QCOMPARE(f.List().topLevelItemCount(), 2);
    const QTreeWidgetItem* row = f.List().topLevelItem(0);
    QCOMPARE(row->text(0), name);
    QCOMPARE(row->text(1), QString());
    QCOMPARE(row->text(2), QStringLiteral("100 B"));
    QCOMPARE(row->text(3), QDateTime::fromSecsSinceEpoch(when).toString("yyyy-MM-dd hh:mm"));

    // Collapsed, first node selected, and the treemap starts with no selection.
    QVERIFY(!f.Tree().isExpanded(g));
    QCOMPARE(f.Tree().currentIndex(), g);
    QVERIFY(f.Tree().selectionModel()->isSelected(g));
    QCOMPARE(f.S.FDupeMap.SelectedCount(), size_t(0));
    QCOMPARE(f.Tab->SelectionStatus(), name + "  100 B  (2 duplicates)");

    const TDupItem* tile = f.Tile(t / "b/report.pdf");
    QVERIFY(tile);
    QCOMPARE(tile->Color(), f.S.FDupeGroups[0]->Color);
    QCOMPARE(f.Tab->Surface()->grab().toImage().pixelColor(TFixture::Center(tile)), ToQColor(tile->Color()));
  }

  void largeGroupShowsAtMost500Files_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::newRow("exactly 500") << 500 << 500;
    QTest::newRow("1200") << 1200 << 501;
  }
  void largeGroupShowsAtMost500Files() {
    QFETCH(int, count);
    QFETCH(int, rows);
    vdtest::TempDir t;
    Copies(t, "dup.bin", count, 1);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    const QModelIndex g = f.Model().IndexOfGroup(0);
    QCOMPARE(f.Text(g), QStringLiteral("dup.bin  (%1)").arg(count));
    QCOMPARE(f.Model().rowCount(g), rows);
    const QModelIndex last = f.Model().index(rows - 1, 0, g);
    if (count > 500) {
      QCOMPARE(f.Model().Kind(last), TKind::Overflow);
      QCOMPARE(f.Text(last), QStringLiteral("... 700 more files not shown"));
      QVERIFY(!f.Model().data(last, Qt::DecorationRole).isValid());
    } else {
      QCOMPARE(f.Model().Kind(last), TKind::File);
    }
    QCOMPARE(f.Model().Kind(f.Model().index(499, 0, g)), TKind::File);

    // The group node stands for every file, shown or not.
    f.Tree().selectionModel()->clearSelection();
    f.SelectNode(g, QItemSelectionModel::ClearAndSelect);
    QCOMPARE(f.S.FDupeMap.SelectedCount(), size_t(count));
    int fileTiles = 0;  // the smallest cells may get no tile at all
    for (const TDupItem& it : f.S.FDupeMap.Items()) fileTiles += it.Kind() == TDupKind::dkFile;
    QVERIFY(fileTiles > count / 2);
    QCOMPARE(f.SelectedFileTiles(), fileTiles);
    QCOMPARE(int(f.Tab->GatherSelectedPaths().size()), count);
    if (count > 500) {  // the overflow node alone stands for nothing
      f.SelectNode(last, QItemSelectionModel::ClearAndSelect);
      QCOMPARE(f.SelectedFileTiles(), 0);
      QVERIFY(f.Tab->GatherSelectedPaths().empty());
      QCOMPARE(f.Tab->SelectionStatus(), QStringLiteral("Ready"));
    }
  }

  void withoutDuplicatesTheCanvasShowsThePlaceholder() {
    vdtest::TempDir t;
    t.File("a/one.txt", 10);
    t.File("b/two.txt", 10);
    TFixture f;
    const QColor face = f.Tab->Surface()->palette().color(QPalette::Button);
    QCOMPARE(f.Tab->Surface()->grab().toImage().pixelColor(3, 3), face);  // before any scan
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    QCOMPARE(f.W.Statuses.last(), QStringLiteral("Duplicates ready. Groups shown: 0"));
    QCOMPARE(f.Model().GroupCount(), 0);
    QCOMPARE(f.List().topLevelItemCount(), 0);
    QCOMPARE(f.Tab->Surface()->grab().toImage().pixelColor(3, 3), face);

    // No files at all: views rebuilt empty, progress and status untouched.
    vdtest::TempDir empty;
    TFixture g;
    g.Scan(empty.Path());
    g.W.Bar.setRange(0, 0);
    g.Tab->BuildDuplicates();
    QVERIFY(g.W.Statuses.isEmpty());
    QCOMPARE(g.W.Bar.maximum(), 0);
    QCOMPARE(g.Model().GroupCount(), 0);
  }

  void ctrlClickDeselectionInTheListLeavesTheTreemap() {
    vdtest::TempDir t;
    Copies(t, "big.dat", 2, 300);
    Copies(t, "mid.dat", 2, 200);
    Copies(t, "low.dat", 2, 100);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    f.ClickRow(0);
    QCOMPARE(f.SelectedFileTiles(), 2);
    f.ClickRow(1, Qt::ControlModifier);
    QCOMPARE(f.SelectedFileTiles(), 4);
    f.ClickRow(0, Qt::ControlModifier);  // deselects row 0 only
    QVERIFY(!f.List().topLevelItem(0)->isSelected());
    QCOMPARE(f.SelectedFileTiles(), 4);
    QVERIFY(f.S.FDupeMap.IsPathSelected(t / "d0/big.dat"));
    f.ClickRow(2);  // a plain click on another row replaces the selection
    QCOMPARE(f.SelectedFileTiles(), 2);
    QVERIFY(f.S.FDupeMap.IsPathSelected(t / "d1/low.dat"));
  }

  void tileClickRevealsItsFileAndDoubleClickShowsIt() {
    vdtest::TempDir t;
    Copies(t, "big.dat", 3, 300);
    Copies(t, "low.dat", 2, 100);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    const TDupItem* tile = f.Tile(t / "d1/low.dat");
    QVERIFY(tile);
    QTest::mouseClick(f.Tab->Surface(), Qt::LeftButton, {}, TFixture::Center(tile));
    QCOMPARE(f.S.FDupeMap.SelectedCount(), size_t(1));
    QVERIFY(f.S.FDupeMap.IsSelected(tile));
    const QModelIndex node = f.Tree().currentIndex();
    QCOMPARE(f.Model().File(node), tile->FileLeaf());
    QCOMPARE(f.Tree().selectionModel()->selectedRows().size(), 1);
    QVERIFY(f.Tree().isExpanded(node.parent()));
    QVERIFY(f.Tree().viewport()->rect().intersects(f.Tree().visualRect(node)));
    QCOMPARE(f.Tab->SelectionStatus(), QString::fromStdString(t / "d1/low.dat") + "  100 B");

    // Ctrl toggles the tile off, and its node with it.
    QTest::mouseClick(f.Tab->Surface(), Qt::LeftButton, Qt::ControlModifier, TFixture::Center(tile));
    QCOMPARE(f.S.FDupeMap.SelectedCount(), size_t(0));
    QCOMPARE(f.Tree().currentIndex(), node);
    QCOMPARE(f.Tree().selectionModel()->selectedRows().size(), 0);
    QVERIFY(f.Tab->GatherSelectedPaths().empty());

    // A folder tile's own border: no node to reveal.
    const TDupItem* folder = f.Tile(t / "d2");  // holds only a copy of big.dat
    QVERIFY(folder && folder->Kind() == TDupKind::dkDir);
    QTest::mouseClick(f.Tab->Surface(), Qt::LeftButton, {}, QPoint(folder->Rect.Left, TFixture::Center(folder).y()));
    QCOMPARE(f.S.FDupeMap.Primary(), folder);
    QCOMPARE(f.Tree().currentIndex(), node);

    QStringList shown;
    const auto saved = Shell();
    Shell().FileManager = [&](const QString& m, const QStringList& uris) {
      shown << m + " " + uris.join(',');
      return true;
    };
    QTest::mouseDClick(f.Tab->Surface(), Qt::LeftButton, {}, TFixture::Center(tile));
    QTest::mouseRelease(f.Tab->Surface(), Qt::LeftButton, {}, TFixture::Center(tile));  // mouseDClick ends pressed
    Shell() = saved;
    QCOMPARE(shown, QStringList{"ShowItems " + QString::fromLatin1(FileUrlFromPath(t / "d1/low.dat").toEncoded())});

    // Ctrl+clicks build one selection in the treemap and the tree alike.
    const TDupItem* other = f.Tile(t / "d0/big.dat");
    QTest::mouseClick(f.Tab->Surface(), Qt::LeftButton, Qt::ControlModifier, TFixture::Center(other));
    QCOMPARE(f.Tree().selectionModel()->selectedRows().size(), 2);
    QVERIFY(f.S.FDupeMap.IsSelected(tile) && f.S.FDupeMap.IsSelected(other));
    QCOMPARE(Paths(f.Tab->GatherSelectedPaths()),
             (QStringList{QString::fromStdString(t / "d1/low.dat"), QString::fromStdString(t / "d0/big.dat")}));
  }

  void hintShownOncePerTile() {
    vdtest::TempDir t;
    Copies(t, "big.dat", 2, 300);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    TPaintSurface* s = f.Tab->Surface();
    int hints = 0;
    const auto hintFor = s->HintFor;
    s->HintFor = [&](const void* tile) {
      ++hints;
      return hintFor(tile);
    };
    const TDupItem* a = f.Tile(t / "d0/big.dat");
    const TDupItem* b = f.Tile(t / "d1/big.dat");
    QTest::mouseMove(s, TFixture::Center(b));  // a known start, wherever the cursor was
    hints = 0;
    QTest::mouseMove(s, TFixture::Center(a));
    QTest::mouseMove(s, TFixture::Center(a) + QPoint(1, 1));
    QCOMPARE(hints, 1);
    QCOMPARE(s->CurrentHint(), QString::fromStdString(t / "d0/big.dat") + "\r\n300 B");
    QTest::mouseMove(s, TFixture::Center(b));
    QCOMPARE(hints, 2);
  }

  void cancellationAtAProgressPointLeavesTheViews_data() {
    QTest::addColumn<int>("point");
    QTest::newRow("first point") << 1;
    QTest::newRow("second point") << 2;
  }
  void cancellationAtAProgressPointLeavesTheViews() {
    QFETCH(int, point);
    vdtest::TempDir t;
    Copies(t, "big.dat", 3, 3000);
    Copies(t, "low.dat", 2, 1000);
    for (int i = 0; i < 900; ++i) t.File("u/f" + std::to_string(i), 1);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    f.ClickRow(0);
    auto snapshot = [&] {
      QStringList s;
      for (int g = 0; g < f.Model().GroupCount(); ++g) {
        const QModelIndex gi = f.Model().IndexOfGroup(g);
        s << f.Text(gi);
        for (int r = 0; r < f.Model().rowCount(gi); ++r) s << f.Text(f.Model().index(r, 0, gi));
      }
      for (int r = 0; r < f.List().topLevelItemCount(); ++r) s << f.List().topLevelItem(r)->text(0);
      s << QString::number(f.S.FDupeMap.Items().size()) << QString::number(f.SelectedFileTiles());
      return s;
    };
    const QStringList before = snapshot();
    f.Tab->Surface()->grab();
    int calls = 0;
    f.W.OnEvents = [&] {
      if (++calls == point) f.S.FContext->Cancel();
    };
    f.W.Statuses.clear();
    f.Tab->BuildDuplicates();
    QCOMPARE(f.W.Statuses.last(), point == 1 ? QStringLiteral("Building duplicates... 1 / 905")
                                             : QStringLiteral("Building duplicates... 801 / 905"));
    QVERIFY(f.S.FDupeColorByFileUpper.empty());
    QVERIFY(f.S.FDupeGroupByFileUpper.empty());
    QCOMPARE(snapshot(), before);
    QVERIFY(!f.Tab->Surface()->IsDirty());
  }

  void stopWhileTheTreeFillsLeavesItPartlyFilled() {
    vdtest::TempDir t;
    Copies(t, "a.bin", 200, 2);
    Copies(t, "b.bin", 200, 1);
    TFixture f;
    f.Scan(t.Path());
    int treePoints = 0;
    f.W.OnEvents = [&] {
      if (f.W.Statuses.last().startsWith("Duplicates ready") && ++treePoints == 2) f.S.FContext->Cancel();
    };
    f.Tab->BuildDuplicates();
    QCOMPARE(f.Model().GroupCount(), 1);  // stopped at the 150th file node of the first group
    QVERIFY(f.Tree().selectionModel()->selectedIndexes().isEmpty());
  }

  void gatheringReadsTreeThenListThenPrimaryFile() {
    vdtest::TempDir t;
    Copies(t, "big.dat", 3, 300);
    Copies(t, "low.dat", 2, 100);
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    const QModelIndex g0 = f.Model().IndexOfGroup(0);
    const QModelIndex file1 = f.Model().index(1, 0, g0);
    QStringList group0;
    for (int r = 0; r < 3; ++r) group0 << f.Text(f.Model().index(r, 0, g0));
    QStringList group1;
    for (const TFileLeaf* leaf : f.S.FDupeGroups[1]->Files) group1 << QString::fromStdString(leaf->FullPath());

    // 1. Tree nodes in the order they were selected; a repeat stays.
    f.SelectNode(file1, QItemSelectionModel::ClearAndSelect);
    f.SelectNode(g0);
    QCOMPARE(Paths(f.Tab->GatherSelectedPaths()), QStringList{f.Text(file1)} + group0);
    f.SelectNode(g0, QItemSelectionModel::ClearAndSelect);
    f.SelectNode(file1);
    QCOMPARE(Paths(f.Tab->GatherSelectedPaths()), group0 + QStringList{f.Text(file1)});

    // 2. With nothing from the tree, the list's selected groups in list order.
    f.Tree().selectionModel()->clearSelection();
    f.List().topLevelItem(1)->setSelected(true);
    f.List().topLevelItem(0)->setSelected(true);
    QCOMPARE(Paths(f.Tab->GatherSelectedPaths()), group0 + group1);

    // 3. Then the treemap's primary tile, when it is a file.
    f.List().clearSelection();
    f.S.FDupeMap.SetSingleSelected(f.Tile(t / "d1/low.dat"));
    QCOMPARE(Paths(f.Tab->GatherSelectedPaths()), QStringList{QString::fromStdString(t / "d1/low.dat")});
    f.S.FDupeMap.SetSingleSelected(f.Tile(t / "d1"));
    QVERIFY(f.Tab->GatherSelectedPaths().empty());
  }

  // A pass stuck in a read never holds the window: Cancel returns at once,
  // the tree may go, a new pass runs and ends beside the stuck one, and the
  // stuck one, once it wakes, reads only its own paths and reports nothing.
  void cancelNeverWaitsForAStuckRead() {
    vdtest::TempDir t;
    SameBytes(t, "held.bin", 2, "held");
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    auto held = std::make_shared<THeldPass>();
    const TContentPass saved = ContentPassOps();
    ContentPassOps() = [held](const std::vector<std::vector<std::string>>& groups, const TContentCheckOptions& o) {
      if (held->Entered.fetch_add(1) > 0) return CheckContents(groups, o);
      {
        std::unique_lock<std::mutex> lock(held->M);
        held->Cv.wait(lock, [&] { return held->Released; });
      }
      held->SeenAfterRelease = groups;
      TContentCheckResult r = CheckContents(groups, o);
      held->HeldEnded.store(true);
      return r;
    };
    f.Tab->StartContentCheck();
    QVERIFY(QTest::qWaitFor([&] { return held->Entered.load() == 1; }));
    f.Tab->CancelContentCheck();  // returns while the read still hangs
    QVERIFY(!f.Tab->ContentCheckRunning());

    // The tree goes, another comes, and its check runs to the end.
    f.Tab->ClearView();
    f.S.FAllFiles.clear();
    f.S.FDupeGroups.clear();
    f.S.FRoot.reset();
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    f.Tab->StartContentCheck();
    QVERIFY(QTest::qWaitFor([&] { return !f.Tab->ContentCheckRunning(); }));
    QVERIFY(f.Tab->SelectCopiesButton()->isEnabled());
    const TContentCheckResult* verdicts = f.Model().Verdicts();
    QVERIFY(verdicts && !verdicts->Cancelled);

    held->Release();
    QVERIFY(QTest::qWaitFor([&] { return held->HeldEnded.load(); }));
    QTest::qWait(300);  // the timer that would have taken its verdicts ticks meanwhile
    QCOMPARE(f.Model().Verdicts(), verdicts);
    QVERIFY(!verdicts->Cancelled);
    QCOMPARE(held->SeenAfterRelease, (std::vector<std::vector<std::string>>{{t / "d0/held.bin", t / "d1/held.bin"}}));
    ContentPassOps() = saved;
  }

  // After Select Copies, a group picked in the list or a tile clicked is
  // what the file actions take, and files trashed or deleted leave their
  // groups: a content left with one file has no copy to select.
  void handPicksAndRemovalsReplaceSelectCopies() {
    vdtest::TempDir t;
    SameBytes(t, "one.txt", 2, std::string(300, 'a'));
    SameBytes(t, "three.txt", 3, std::string(200, 'b'));
    TFixture f;
    f.Scan(t.Path());
    f.Tab->BuildDuplicates();
    f.Tab->StartContentCheck();
    QVERIFY(QTest::qWaitFor([&] { return !f.Tab->ContentCheckRunning(); }));
    auto selectCopies = [&] {
      f.Tab->SelectCopies();
      std::vector<std::string> p = f.Tab->GatherSelectedPaths();
      std::sort(p.begin(), p.end());
      return Paths(p);
    };
    auto str = [&](const char* rel) { return QString::fromStdString(t / rel); };
    QCOMPARE(selectCopies(), (QStringList{str("d1/one.txt"), str("d1/three.txt"), str("d2/three.txt")}));
    QCOMPARE(int(f.Tab->SelectedCopies().size()), 3);

    const int oneRow = f.S.FDupeGroups[0]->FileName == "one.txt" ? 0 : 1;
    f.ClickRow(oneRow);
    QStringList group = Paths(f.Tab->GatherSelectedPaths());
    group.sort();
    QCOMPARE(group, (QStringList{str("d0/one.txt"), str("d1/one.txt")}));
    QVERIFY(f.Tab->SelectedCopies().empty());

    selectCopies();
    const TDupItem* folder = f.Tile(t / "d2");  // holds only a copy of three.txt
    QVERIFY(folder);
    QTest::mouseClick(f.Tab->Surface(), Qt::LeftButton, {}, QPoint(folder->Rect.Left, TFixture::Center(folder).y()));
    QVERIFY(f.Tab->GatherSelectedPaths().empty());
    QVERIFY(f.Tab->SelectedCopies().empty());

    // The oldest one.txt deleted, and the folder holding a three.txt copy.
    std::filesystem::remove(t / "d0/one.txt");
    std::filesystem::remove_all(t / "d2");
    f.Tab->ForgetRemoved({t / "d0/one.txt", t / "d2"});
    QCOMPARE(selectCopies(), (QStringList{str("d1/three.txt")}));
    QCOMPARE(f.Tab->SelectedCopies().front().Kept, t / "d0/three.txt");
    const QModelIndex one = f.Model().IndexOfGroup(oneRow);
    QCOMPARE(f.Model().data(one.siblingAtColumn(TDupTreeModel::colContent)).toString(), QStringLiteral("0 of 1 identical"));
    QStringList column;
    for (int r = 0; r < 2; ++r) column << f.Model().data(f.Model().index(r, TDupTreeModel::colContent, one)).toString();
    column.sort();
    QCOMPARE(column, (QStringList{"Differs", "Removed"}));

    // The last copy of three.txt goes too: nothing is left to select.
    f.Tab->ForgetRemoved({t / "d1/three.txt"});
    QVERIFY(!f.Tab->SelectCopiesButton()->isEnabled());
  }

  void layoutOfTheTab() {
    TFixture f({1000, 700});
    for (const char* name : {"Panel1", "PaintBox4", "Splitter7", "Panel3", "tvDuplicateFiles", "lvDuplicateGroupsColors"})
      QVERIFY2(f.Tab->findChild<QWidget*>(name), name);
    QCOMPARE(f.Tab->findChild<QSplitter*>("Splitter7")->handleWidth(), 13);
    QCOMPARE(f.Tab->findChild<QWidget*>("Panel3")->height(), 303);
    QCOMPARE(f.Tree().indentation(), 19);
    QCOMPARE(f.Tree().selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(f.List().selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(f.Tree().editTriggers(), QAbstractItemView::NoEditTriggers);
    const QStringList captions{"Group", "Color", "Size", "Modified"};
    const int widths[] = {220, 70, 110, 140};
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(f.List().headerItem()->text(c), captions[c]);
      QCOMPARE(f.List().columnWidth(c), widths[c]);
    }
    f.Tab->AdjustBottomPanel(1000);
    QCOMPARE(f.List().width(), f.Tab->findChild<QWidget*>("Panel3")->width() / 2);
    f.Tab->resize(300, 700);
    QCoreApplication::processEvents();
    f.Tab->AdjustBottomPanel(300);
    QCOMPARE(f.List().width(), 200);
    f.Tab->resize(1000, 900);  // the bottom strip keeps its height
    QCoreApplication::processEvents();
    QCOMPARE(f.Tab->findChild<QWidget*>("Panel3")->height(), 303);
  }

  // With VORNDALE_SCREENSHOTS set: the tab after a scan of a folder with many
  // duplicate names.
  void screenshot() {
    if (qEnvironmentVariableIsEmpty("VORNDALE_SCREENSHOTS")) QSKIP("VORNDALE_SCREENSHOTS not set");
    TFixture f({1240, 720});
    f.Scan("/usr/share/doc");
    f.Tab->AdjustBottomPanel(1240);
    f.Tab->BuildDuplicates();
    f.ClickRow(2);
    f.SelectNode(f.Model().IndexOfGroup(1), QItemSelectionModel::ClearAndSelect);
    f.Tree().expand(f.Model().IndexOfGroup(1));
    QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
    QVERIFY(f.Tab->grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/duplicates_tab.png")));
  }

  // With VORNDALE_WORST_CASE set: 2000 names each 600 times fill the tree with
  // events processed throughout, and a Stop during the fill ends it.
  void worstCaseFill() {
    if (qEnvironmentVariableIsEmpty("VORNDALE_WORST_CASE")) QSKIP("VORNDALE_WORST_CASE not set");
    TTreeBuilder b("/w");
    std::vector<TDirNode*> dirs;
    for (int d = 0; d < 600; ++d) dirs.push_back(b.AddDir(b.Root(), "d" + std::to_string(d)));
    for (int n = 0; n < 2000; ++n)
      for (TDirNode* d : dirs) b.AddFile(d, "name" + std::to_string(n) + ".dat", 1000 + n);
    TFixture f;
    f.S.FRoot = b.Finish();
    f.S.FAllFiles = FlattenAllFiles(f.S.FRoot.get(), f.S.FAllTotalBytes);
    QElapsedTimer clock, gap;
    qint64 maxGap = 0, fillStart = -1;
    int treePoints = 0;
    f.W.OnEvents = [&] {
      if (gap.isValid()) maxGap = std::max(maxGap, gap.elapsed());
      gap.restart();
      if (fillStart < 0 && f.W.Statuses.last().startsWith("Duplicates ready")) fillStart = clock.elapsed();
      if (fillStart >= 0) ++treePoints;
    };
    clock.start();
    f.Tab->BuildDuplicates();
    const qint64 total = clock.elapsed();
    QCOMPARE(f.Model().GroupCount(), 2000);
    qInfo("worst case: %d files, build %lld ms (detection %lld ms, tree+list+map %lld ms), %d event points in the fill, "
          "longest gap between events %lld ms",
          int(f.S.FAllFiles.size()), total, fillStart, total - fillStart, treePoints, maxGap);

    // Stop half way through the fill.
    int points = 0;
    f.W.OnEvents = [&] {
      if (f.W.Statuses.last().startsWith("Duplicates ready") && ++points == 3000) f.S.FContext->Cancel();
    };
    clock.restart();
    f.Tab->BuildDuplicates();
    qInfo("stopped during the fill after %lld ms with %d groups in the tree", clock.elapsed(), f.Model().GroupCount());
    QVERIFY(f.Model().GroupCount() < 2000);
  }
};

QTEST_MAIN(TstDuplicatesTab)
#include "tst_duplicates_tab.moc"
