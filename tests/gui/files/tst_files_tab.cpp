// The "Only Files" tab over real scans of generated folders: the lists it
// builds, and the treemap, file list and legend kept in step with each other.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "TestUtil.h"
#include "core/scan/DiskScanner.h"
#include "core/results/Format.h"
#include "tabs/files/FilesTab.h"
#include "views/QtCanvas.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

using namespace vd;
using namespace vd::gui;

namespace {

class TStubWindow final : public TWindowHooks {
 public:
  QStringList Statuses;
  QProgressBar Bar;
  std::function<void()> OnPump;
  std::function<QString()> Selection;
  int SelectionUpdates = 0;

  void SetStatus(const QString& t) override { Statuses << t; }
  QProgressBar* ProgressBar() override { return &Bar; }
  void UpdateSelectionStatus() override {
    ++SelectionUpdates;
    if (Selection) SetStatus(Selection());
  }
  void ProcessPendingEvents() override {
    QCoreApplication::processEvents();
    if (OnPump) OnPump();
  }
  QString Status() const { return Statuses.isEmpty() ? QString() : Statuses.last(); }
};

struct TFixture {
  TResultsState S;
  TStubWindow W;
  TFilesTab Tab{S, W};

  explicit TFixture(QSize size = {1000, 700}) {
    W.Selection = [this] { return Tab.SelectionStatus(); };
    Tab.resize(size);
    Tab.show();
    if (!QTest::qWaitForWindowExposed(&Tab)) qWarning("tab not exposed");
  }
  void Scan(const std::string& path) {
    S.FContext = std::make_shared<TScanContext>();
    TDiskScanner scanner(S.FContext.get());
    S.FRoot = scanner.Scan(path);
  }
  // The "Only Files" stages as the window runs them after a scan.
  void Build() {
    Tab.FlattenAllFilesFromRoot();
    Tab.BuildDisplayFiles();
    Tab.PopulateFileList();
    Tab.PopulateExtList();
    Tab.ResetTreemapSelection();
    Tab.RebuildFilesTreemap();
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
  void ScanAndBuild(const std::string& path) {
    Scan(path);
    Build();
  }

  QTreeWidget* Files() { return Tab.FilesList(); }
  QTreeWidget* Ext() { return Tab.ExtList(); }
  const TTreemapItem* Tile(const std::string& path) { return S.FTreemap.GetItemByPath(path); }
  static QPoint Center(const TTreemapItem* t) {
    return QPoint((t->Rect.Left + t->Rect.Right) / 2, (t->Rect.Top + t->Rect.Bottom) / 2);
  }
  void ClickTile(const std::string& path, Qt::KeyboardModifiers mods = {}) {
    const TTreemapItem* t = Tile(path);
    QVERIFY2(t && !IsRectEmpty(t->Rect), path.c_str());
    QTest::mouseClick(Tab.Surface(), Qt::LeftButton, mods, Center(t));
  }
  int RowOf(const std::string& path) {
    for (int i = 0; i < Files()->topLevelItemCount(); ++i)
      if (Files()->topLevelItem(i)->data(TFilesTab::colFullPath, TFilesTab::kPathBytesRole).toByteArray() ==
          QByteArray::fromStdString(path))
        return i;
    return -1;
  }
  static void ClickRow(QTreeWidget* list, int row, Qt::KeyboardModifiers mods = {}) {
    const QRect r = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
  }
  int ExtRow(const QString& key) {
    for (int i = 0; i < Ext()->topLevelItemCount(); ++i)
      if (Ext()->topLevelItem(i)->text(TFilesTab::colExt) == key) return i;
    return -1;
  }
  std::vector<int> SelectedRows() {
    std::vector<int> out;
    for (int i = 0; i < Files()->topLevelItemCount(); ++i)
      if (Files()->topLevelItem(i)->isSelected()) out.push_back(i);
    return out;
  }
  QImage Painted() {
    Tab.Surface()->grab();
    return Tab.Surface()->Buffer();
  }
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class TstFilesTab : public QObject {
  Q_OBJECT

  // 12 000 files of nearly equal size (so that every tile is large enough to
  // click), extensions .a, .b, .c in turn.
  std::unique_ptr<vdtest::TempDir> FMany;
  // A handful of files: two differing only in case, one with a name that is
  // not UTF-8, mixed-case extensions and one without.
  std::unique_ptr<vdtest::TempDir> FFew;
  std::string FReport, FClip, FSameUpper, FSameLower, FBad, FPhotoUpper, FPhotoLower, FTop, FNoExt;

 private slots:
  void initTestCase() {
    FMany = std::make_unique<vdtest::TempDir>();
    static const char* exts[] = {".a", ".b", ".c"};
    for (int i = 0; i < 12000; ++i)
      FMany->File("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + exts[i % 3], 100000 + i);

    FFew = std::make_unique<vdtest::TempDir>();
    FReport = FFew->File("docs/report.pdf", 900000, 1700000000);
    FClip = FFew->File("media/clip.mp4", 800000);
    FSameUpper = FFew->File("docs/Same.txt", 700000);
    FSameLower = FFew->File("docs/same.txt", 650000);
    FBad = FFew->File("media/bad\xff.bin", 500000);
    FPhotoUpper = FFew->File("media/photo.JPG", 400000);
    FPhotoLower = FFew->File("media/photo2.jpg", 350000);
    FTop = FFew->File("top.dat", 300000);
    FNoExt = FFew->File("noext", 200000);
  }

  void layoutOfTheTab() {
    TFixture f({1000, 700});
    for (const char* name : {"PaintBox1", "lvFiles", "lvExt", "pnlTop_LargestFiles", "Splitter2", "pnlBottom1"})
      QVERIFY2(f.Tab.findChild<QWidget*>(QLatin1String(name)), name);
    auto* splitter = f.Tab.findChild<QSplitter*>(QStringLiteral("Splitter2"));
    QCOMPARE(splitter->handleWidth(), 8);
    QCOMPARE(f.Tab.findChild<QWidget*>(QStringLiteral("pnlBottom1"))->height(), 303);
    QCOMPARE(f.Files()->columnWidth(TFilesTab::colName), 220);
    QVERIFY(f.Files()->isColumnHidden(TFilesTab::colFullPath));
    QCOMPARE(f.Files()->headerItem()->text(TFilesTab::colModified), QStringLiteral("Modified"));
    QCOMPARE(f.Ext()->headerItem()->text(TFilesTab::colColor), QStringLiteral("Color"));
    QCOMPARE(f.Files()->selectionMode(), QAbstractItemView::ExtendedSelection);

    // The legend gets the window's width minus half of it, at least 160.
    f.Tab.AdjustBottomPanel(1000);
    QCOMPARE(f.Ext()->width(), 1000 - 6 - 500);
    f.Tab.resize(300, 700);
    QTRY_COMPARE(f.Tab.width(), 300);
    f.Tab.AdjustBottomPanel(300);
    QCOMPARE(f.Ext()->width(), 160);
  }

  void listsTheFiveThousandLargestWithProgress() {
    TFixture f;
    f.Scan(FMany->Path());
    f.Tab.FlattenAllFilesFromRoot();
    QCOMPARE(f.S.FAllFiles.size(), size_t(12000));
    f.Tab.BuildDisplayFiles();
    f.Tab.PopulateFileList();
    QCOMPARE(QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor,
             Qt::BusyCursor);
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    QVERIFY(!f.S.FSyncing);
    QVERIFY(f.Files()->updatesEnabled());

    QCOMPARE(f.Files()->topLevelItemCount(), 5000);
    QCOMPARE(f.Files()->topLevelItem(0)->text(TFilesTab::colName), QStringLiteral("f11999.c"));
    QCOMPARE(f.Files()->topLevelItem(4999)->text(TFilesTab::colName), QStringLiteral("f7000.b"));
    QCOMPARE(f.Files()->topLevelItem(0)->text(TFilesTab::colPath), Q(FMany->Path() + "/d1"));
    QCOMPARE(f.Files()->topLevelItem(0)->text(TFilesTab::colSize), QStringLiteral("109.4 KB"));
    // Shares of the listed bytes, not of all bytes.
    double sum = 0;
    for (int i = 0; i < 5000; ++i) {
      QString p = f.Files()->topLevelItem(i)->text(TFilesTab::colPercent);
      QVERIFY(p.endsWith('%'));
      p.chop(1);
      sum += p.toDouble();
    }
    QVERIFY2(std::abs(sum - 100.0) < 0.3, qPrintable(QString::number(sum)));
    QCOMPARE(f.S.FDisplayTotalBytes, int64_t(5000) * 100000 + (7000 + 11999) * 5000 / 2);

    // Progress at the first row, every 250 rows and the last.
    QStringList progress = f.W.Statuses.filter(QStringLiteral("Building file list"));
    QCOMPARE(progress.first(), QStringLiteral("Building file list... 0 / 5000"));
    QCOMPARE(progress.at(1), QStringLiteral("Building file list... 1 / 5000"));
    QCOMPARE(progress.at(2), QStringLiteral("Building file list... 251 / 5000"));
    QCOMPARE(progress.last(), QStringLiteral("Building file list... 5000 / 5000"));
    QCOMPARE(progress.size(), 1 + 20 + 1);
    QCOMPARE(f.W.Bar.maximum(), 5000);
    QCOMPARE(f.W.Bar.value(), 5000);

    f.Tab.PopulateExtList();
    QCOMPARE(f.Ext()->topLevelItemCount(), 3);
    QCOMPARE(f.Ext()->topLevelItem(0)->text(TFilesTab::colFiles), QStringLiteral("4000"));
  }

  void cancellingKeepsTheRowsSoFar() {
    TFixture f;
    f.Scan(FMany->Path());
    f.Tab.FlattenAllFilesFromRoot();
    f.Tab.BuildDisplayFiles();
    int pumps = 0;
    f.W.OnPump = [&] {
      if (++pumps == 3) f.S.FContext->Cancel();
    };
    f.Tab.PopulateFileList();
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    QCOMPARE(f.Files()->topLevelItemCount(), 501);
    QVERIFY(!f.S.FSyncing);
    QVERIFY(f.Files()->updatesEnabled());
  }

  void noFilesShowsThePlaceholder() {
    vdtest::TempDir empty;
    empty.Dir("only/folders");
    TFixture f;
    f.ScanAndBuild(empty.Path());
    QCOMPARE(f.Files()->topLevelItemCount(), 0);
    QCOMPARE(f.Ext()->topLevelItemCount(), 0);
    const QImage img = f.Painted();
    const QColor face = f.Tab.Surface()->palette().color(QPalette::Button);
    QCOMPARE(img.pixelColor(2, 2), face);
    QCOMPARE(img.pixelColor(img.width() - 3, img.height() - 3), face);
    // The text sits in the middle.
    bool text = false;
    for (int x = 0; x < img.width() && !text; ++x) text = img.pixelColor(x, img.height() / 2) != face;
    QVERIFY(text);
    QCOMPARE(f.S.FTreemap.HitTest({10, 10}), nullptr);

    // Files of no bytes are data without tiles: the layout's black background.
    vdtest::TempDir zeros;
    zeros.File("a.txt", 0);
    zeros.File("b.txt", 0);
    f.Tab.ClearView();
    f.S.FRoot.reset();
    f.ScanAndBuild(zeros.Path());
    QCOMPARE(f.Files()->topLevelItemCount(), 2);
    const QImage black = f.Painted();
    QCOMPARE(black.pixelColor(2, 2), QColor(Qt::black));
    QCOMPARE(black.pixelColor(black.width() / 2, black.height() / 2), QColor(Qt::black));
  }

  void legendRowsPerExtensionKey() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    QCOMPARE(f.Ext()->topLevelItemCount(), 7);
    struct TRow {
      const char* key;
      const char* bytes;
      const char* percent;
      const char* files;
    };
    // 4 800 000 bytes in all; .txt holds 9/32 of them, a tie at two decimals.
    const TRow expected[] = {{".txt", "1.3 MB", "28.13%", "2"},  {".pdf", "878.9 KB", "18.75%", "1"},
                             {".mp4", "781.3 KB", "16.67%", "1"}, {".jpg", "732.4 KB", "15.63%", "2"},
                             {".bin", "488.3 KB", "10.42%", "1"}, {".dat", "293.0 KB", "6.25%", "1"},
                             {"(none)", "195.3 KB", "4.17%", "1"}};
    for (int i = 0; i < 7; ++i) {
      const QTreeWidgetItem* row = f.Ext()->topLevelItem(i);
      QCOMPARE(row->text(TFilesTab::colExt), QLatin1String(expected[i].key));
      QCOMPARE(row->text(TFilesTab::colBytes), QLatin1String(expected[i].bytes));
      QCOMPARE(row->text(TFilesTab::colExtPercent), QLatin1String(expected[i].percent));
      QCOMPARE(row->text(TFilesTab::colFiles), QLatin1String(expected[i].files));
      QCOMPARE(row->text(TFilesTab::colColor), QString());
      QCOMPARE(row->data(TFilesTab::colColor, kSwatchColorRole).value<QColor>(),
               ToQColor(TTreemapLayout::ColorForExt(expected[i].key)));
    }
    QVERIFY(dynamic_cast<TSwatchDelegate*>(f.Ext()->itemDelegateForColumn(TFilesTab::colColor)));

    // The file list: folder part, exact bytes of an odd name, the modified time.
    const int report = f.RowOf(FReport);
    QCOMPARE(report, 0);
    QCOMPARE(f.Files()->topLevelItem(report)->text(TFilesTab::colPath), Q(FFew->Path() + "/docs"));
    QVERIFY(!f.Files()->topLevelItem(report)->text(TFilesTab::colModified).isEmpty());
    QCOMPARE(f.Files()->topLevelItem(report)->text(TFilesTab::colModified).size(), 16);
    QVERIFY(f.RowOf(FBad) >= 0);
  }

  void clicksOnTiles() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());

    f.ClickTile(FBad);
    QCOMPARE(f.SelectedRows(), std::vector<int>{f.RowOf(FBad)});
    QCOMPARE(f.Files()->currentItem(), f.Files()->topLevelItem(f.RowOf(FBad)));
    QVERIFY(f.S.FTreemap.IsSelected(f.Tile(FBad)));
    QCOMPARE(f.W.Status(), DisplayText(FBad) + QStringLiteral("  488.3 KB"));
    QCOMPARE(f.Tab.GatherSelectedPaths(), std::vector<std::string>{FBad});  // the bytes, not a decoding

    // Ctrl adds; rows keep their order in the gathered paths.
    f.ClickTile(FSameUpper, Qt::ControlModifier);
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(2));
    QCOMPARE(f.Tab.GatherSelectedPaths(), (std::vector<std::string>{FSameUpper, FBad}));

    // Ctrl on a selected tile takes it out of the treemap and its row out of
    // the list: what the actions gather is what is selected.
    f.ClickTile(FSameUpper, Qt::ControlModifier);
    QVERIFY(!f.S.FTreemap.IsSelected(f.Tile(FSameUpper)));
    QCOMPARE(f.SelectedRows(), std::vector<int>{f.RowOf(FBad)});
    QCOMPARE(f.Tab.GatherSelectedPaths(), std::vector<std::string>{FBad});

    // A plain click: one tile, one row; a name differing only in case is another file.
    f.ClickTile(FSameLower);
    QCOMPARE(f.SelectedRows(), std::vector<int>{f.RowOf(FSameLower)});
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(1));
    QVERIFY(!f.S.FTreemap.IsSelected(f.Tile(FSameUpper)));

    // A click on no tile changes nothing (the surface is all tiles here, so ask directly).
    f.Tab.PaintBox1MouseDown(QPoint(-5, -5), {});
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(1));
  }

  void doubleClickRevealsThePrimaryFile() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    const TShellSeam saved = Shell();
    QStringList calls;
    Shell().FileManager = [&](const QString& method, const QStringList& uris) {
      calls << method + " " + uris.join(',');
      return true;
    };
    Shell().OpenUrl = [&](const QUrl& u) {
      calls << "open " + u.toString();
      return true;
    };
    const TTreemapItem* t = f.Tile(FPhotoLower);
    QTest::mouseDClick(f.Tab.Surface(), Qt::LeftButton, {}, TFixture::Center(t));
    QCOMPARE(calls, QStringList{"ShowItems " + QString::fromLatin1(FileUrlFromPath(FPhotoLower).toEncoded())});
    QVERIFY(f.S.FTreemap.IsSelected(f.Tile(FPhotoLower)));
    QCOMPARE(f.SelectedRows(), std::vector<int>{f.RowOf(FPhotoLower)});

    // With the only tile toggled off there is no primary: nothing opens.
    f.ClickTile(FPhotoLower, Qt::ControlModifier);
    QCOMPARE(f.S.FTreemap.Primary(), nullptr);
    f.Tab.PaintBox1DblClick();
    QCOMPARE(calls.size(), 1);
    Shell() = saved;
  }

  void tileOfAFileBeyondTheList() {
    TFixture f({1000, 1400});  // rows of tiles tall enough to reach the smaller files
    f.ScanAndBuild(FMany->Path());
    const TFileLeaf* beyond = nullptr;
    for (size_t i = 5000; i < f.S.FAllFiles.size() && !beyond; ++i) {
      const TTreemapItem* t = f.Tile(f.S.FAllFiles[i]->FullPath());
      if (t && t->Rect.Width() >= 2 && t->Rect.Height() >= 2) beyond = f.S.FAllFiles[i];
    }
    QVERIFY(beyond);
    TFixture::ClickRow(f.Files(), 3);
    TFixture::ClickRow(f.Files(), 7, Qt::ControlModifier);
    QCOMPARE(f.SelectedRows().size(), size_t(2));
    f.ClickTile(beyond->FullPath());
    QVERIFY(f.SelectedRows().empty());
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(1));
    QVERIFY(f.S.FTreemap.IsPathSelected(beyond->FullPath()));
    QVERIFY(f.W.Status().startsWith(Q(beyond->FullPath()) + "  "));
  }

  void fileListSelectionToTreemapAndStatus() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    const int clip = f.RowOf(FClip);
    QCOMPARE(clip, 1);
    TFixture::ClickRow(f.Files(), clip);
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(1));
    QVERIFY(f.S.FTreemap.IsSelected(f.Tile(FClip)));
    QCOMPARE(f.S.FTreemap.Primary(), f.Tile(FClip));
    QCOMPARE(f.W.Status(), Q(FClip) + QStringLiteral("  781.3 KB"));

    TFixture::ClickRow(f.Files(), clip + 2, Qt::ShiftModifier);
    QCOMPARE(f.SelectedRows(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(3));
    QVERIFY(f.S.FTreemap.IsSelected(f.Tile(FSameLower)));
    QCOMPARE(f.S.FTreemap.Primary(), f.Tile(FClip));
    QCOMPARE(f.W.Status(), Q(FClip) + QStringLiteral("  781.3 KB  (3 selected)"));
    QCOMPARE(f.Tab.SelectionStatus(), f.W.Status());

    // Taking a row out by Ctrl+click leaves the treemap as it was.
    const int updates = f.W.SelectionUpdates;
    TFixture::ClickRow(f.Files(), 2, Qt::ControlModifier);
    QCOMPARE(f.SelectedRows(), (std::vector<int>{1, 3}));
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(3));
    QCOMPARE(f.W.SelectionUpdates, updates);
  }

  void legendSelectsRowsAndTiles() {
    TFixture f;
    f.ScanAndBuild(FMany->Path());
    TFixture::ClickRow(f.Files(), 0);
    const int a = f.ExtRow(QStringLiteral(".a")), b = f.ExtRow(QStringLiteral(".b"));
    TFixture::ClickRow(f.Ext(), a);
    TFixture::ClickRow(f.Ext(), b, Qt::ControlModifier);

    // Every listed file of both extensions that has a tile, and no other.
    size_t listedAB = 0;
    for (int i = 0; i < f.Files()->topLevelItemCount(); ++i) {
      const QString name = f.Files()->topLevelItem(i)->text(TFilesTab::colName);
      const bool ab = name.endsWith(".a") || name.endsWith(".b");
      const std::string path = f.S.FDisplayFiles[size_t(i)]->FullPath();
      const bool tile = f.Tile(path) != nullptr;
      listedAB += ab && tile;
      QCOMPARE(f.Files()->topLevelItem(i)->isSelected(), ab && tile);
    }
    QVERIFY(listedAB > 3000);
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(8000));  // also those beyond the list
    QVERIFY(f.S.FTreemap.IsPathSelected(FMany->Path() + "/d0/f0.a"));
    QVERIFY(!f.S.FTreemap.IsPathSelected(FMany->Path() + "/d2/f2.c"));

    TFixture::ClickRow(f.Ext(), b, Qt::ControlModifier);
    QCOMPARE(f.S.FTreemap.SelectedCount(), size_t(4000));
    TFixture::ClickRow(f.Ext(), a, Qt::ControlModifier);
    QVERIFY(f.Ext()->selectedItems().isEmpty());
    QVERIFY(f.SelectedRows().empty());
    QVERIFY(!f.S.FTreemap.HasSelection());
  }

  void resizingDropsTheTreemapHighlightOnly() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    f.ClickTile(FReport);
    QVERIFY(f.S.FTreemap.HasSelection());
    const QSize before = f.Tab.Surface()->size();
    f.Tab.resize(900, 640);
    QTRY_VERIFY(f.Tab.Surface()->size() != before);
    QVERIFY(!f.S.FTreemap.HasSelection());
    QCOMPARE(f.SelectedRows(), std::vector<int>{0});
    const TTreemapItem* t = f.Tile(FReport);
    QVERIFY(t->Rect.Right <= f.Tab.Surface()->width() && t->Rect.Bottom <= f.Tab.Surface()->height());
  }

  void tooltipAndOutlineOfATile() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    const TTreemapItem* t = f.Tile(FClip);
    QTest::mouseMove(f.Tab.Surface(), TFixture::Center(t));
    QCOMPARE(f.Tab.Surface()->CurrentHint(), Q(FClip) + QStringLiteral("\r\n781.3 KB"));
    QCOMPARE(f.Tab.HintForTile(*f.Tile(FBad)), DisplayText(FBad) + QStringLiteral("\r\n488.3 KB"));

    const QPoint edge(t->Rect.Left + 1, (t->Rect.Top + t->Rect.Bottom) / 2);
    QVERIFY(f.Painted().pixelColor(edge) != QColor(Qt::white));
    f.ClickTile(FClip);
    const QImage img = f.Painted();
    QCOMPARE(img.pixelColor(edge), QColor(Qt::white));
    QCOMPARE(img.pixelColor(TFixture::Center(t).x(), t->Rect.Top + 1), QColor(Qt::white));
    QVERIFY(img.pixelColor(TFixture::Center(t)) != QColor(Qt::white));
  }

  void clearViewForgetsTheTree() {
    TFixture f;
    f.ScanAndBuild(FFew->Path());
    f.ClickTile(FReport);
    f.Tab.ClearView();
    f.S.FRoot.reset();
    QCOMPARE(f.Files()->topLevelItemCount(), 0);
    QCOMPARE(f.Ext()->topLevelItemCount(), 0);
    QVERIFY(!f.S.FSyncing);
    // A resize before the next scan must not touch the old files.
    f.Tab.resize(800, 600);
    QTRY_COMPARE(f.Tab.width(), 800);
    QTest::mouseMove(f.Tab.Surface(), QPoint(20, 20));
    QCOMPARE(f.Tab.Surface()->CurrentHint(), QString());
    QCOMPARE(f.Painted().pixelColor(2, 2), f.Tab.Surface()->palette().color(QPalette::Button));
  }

  // The treemap laid out while the lists fill must be the one for the size the
  // surface has when it is taken, and a tree cleared meanwhile must not be read.
  void treemapLaidOutAhead() {
    for (const QSize resizeTo : {QSize(), QSize(700, 520)}) {
      TFixture f;
      f.Scan(FMany->Path());
      f.Tab.FlattenAllFilesFromRoot();
      f.Tab.StartFilesTreemapAhead();
      if (resizeTo.isValid()) {
        f.Tab.resize(resizeTo);
        QTRY_COMPARE(f.Tab.size(), resizeTo);
      }
      f.Tab.BuildDisplayFiles();
      f.Tab.PopulateFileList();
      f.Tab.PopulateExtList();
      f.Tab.RebuildFilesTreemap();
      const QSize px = f.Tab.Surface()->LayoutSize();
      TTreemapLayout fresh;
      fresh.BuildFromFiles(f.S.FAllFiles, TRect{0, 0, px.width(), px.height()});
      const auto& got = f.S.FTreemap.Items();
      QCOMPARE(got.size(), fresh.Items().size());
      for (size_t i = 0; i < got.size(); ++i) {
        QVERIFY(got[i].Leaf == fresh.Items()[i].Leaf);
        QVERIFY(got[i].Rect == fresh.Items()[i].Rect);
      }
      QVERIFY(f.S.FTreemap.GetItemByPath(FMany->Path() + "/d0/f0.a"));

      f.Tab.StartFilesTreemapAhead();
      f.Tab.ClearView();
      f.S.FRoot.reset();
      QVERIFY(f.S.FTreemap.Items().empty());
    }
  }

  // A picture of the tab after a scan of a real folder, for a person to look at.
  void screenshot() {
    if (qEnvironmentVariableIsEmpty("VORNDALE_SCREENSHOTS")) QSKIP("VORNDALE_SCREENSHOTS not set");
    // The state outlives the window that shows it, as in the program.
    TResultsState state;
    TStubWindow hooks;
    QMainWindow win;
    auto* tabs = new QTabWidget(&win);
    auto* tab = new TFilesTab(state, hooks);
    hooks.Selection = [tab] { return tab->SelectionStatus(); };
    tabs->addTab(tab, QStringLiteral("Only Files"));
    win.setCentralWidget(tabs);
    auto* status = new QLabel(&win);
    win.statusBar()->addWidget(status, 1);
    win.resize(1280, 800);
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    state.FContext = std::make_shared<TScanContext>();
    TDiskScanner scanner(state.FContext.get());
    state.FRoot = scanner.Scan("/usr/share");
    QElapsedTimer clock;
    clock.start();
    tab->FlattenAllFilesFromRoot();
    tab->BuildDisplayFiles();
    tab->PopulateFileList();
    const qint64 listed = clock.restart();
    tab->PopulateExtList();
    tab->ResetTreemapSelection();
    tab->RebuildFilesTreemap();
    qInfo("%zu files: file list %lld ms, legend and treemap %lld ms", state.FAllFiles.size(), listed,
          clock.elapsed());
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    tab->AdjustBottomPanel(win.width());
    QVERIFY(!state.FAllFiles.empty());
    const TTreemapItem& first = state.FTreemap.Items().front();
    QTest::mouseClick(tab->Surface(), Qt::LeftButton, {}, TFixture::Center(&first));
    status->setText(hooks.Status());
    QTest::qWait(50);
    const QString dir = QStringLiteral(VORNDALE_ARTIFACTS);
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(win.grab().save(dir + QStringLiteral("/files_tab.png")));
  }
};

QTEST_MAIN(TstFilesTab)
#include "tst_files_tab.moc"
