// The main window and the scan run: start state, enabling rules, the "Less
// than" parser, validation, real scans of generated folders, Stop, closing
// during a scan, and the bottom panels.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <set>

#include "TestUtil.h"
#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "core/results/Format.h"
#include "tabs/folders/FoldersTab.h"
#include "window/MainWindow.h"

using namespace vd::gui;

namespace {

QStringList gErrors;

// Waits until the window is idle again after a scan (Scan enabled).
bool WaitIdle(TfrmMain& w, int ms = 60000) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, ms); }

void MakeTree(const vdtest::TempDir& t, int dirs, int filesPerDir) {
  for (int d = 0; d < dirs; ++d)
    for (int f = 0; f < filesPerDir; ++f)
      t.File("d" + std::to_string(d) + "/f" + std::to_string(f) + (f % 3 ? ".txt" : ".bin"), 100 + d * 7 + f);
}

void ScanFolder(TfrmMain& w, const std::string& path) {
  w.rbCustomPath->setChecked(true);
  w.UpdateSourceControls();
  w.cmbCustomPath->setCurrentText(QString::fromStdString(path));
  w.btnScanClick();
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    Dialogs().ShowError = [](QWidget*, const QString& text) { gErrors << text; };
    // A fixed drive list keeps the tests off the machine's real disks.
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
  }
  void init() {
    gErrors.clear();
    AppClosing = false;  // each window's destruction sets it for good
  }

  void startState() {
    TfrmMain w;
    w.show();
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    QCOMPARE(w.windowTitle(), QStringLiteral("%1 1.0").arg(QCoreApplication::applicationName()));
    QCOMPARE(w.PageControl1->count(), 4);
    QCOMPARE(w.PageControl1->tabText(0), QStringLiteral("Files in Folders"));
    QCOMPARE(w.PageControl1->tabText(1), QStringLiteral("Only Files"));
    QCOMPARE(w.PageControl1->tabText(2), QStringLiteral("Only Folders"));
    QCOMPARE(w.PageControl1->tabText(3), QStringLiteral("Duplicates"));
    QCOMPARE(w.PageControl1->currentIndex(), 0);
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Ready"));
    QVERIFY(w.btnScan->isEnabled());
    QVERIFY(!w.btnStop->isEnabled());
    QVERIFY(w.rbAllDrives->isChecked());
    QCOMPARE(w.cmbCustomPath->currentText(), QStringLiteral("/"));
    QVERIFY(!w.cmbCustomPath->isEnabled());
    QVERIFY(!w.btnBrowse->isEnabled());
    QVERIFY(!w.dtpDate->isEnabled());
    QVERIFY(!w.edtLessThan->isEnabled());
    QVERIFY(!w.cbSizeUnits->isEnabled());
    QVERIFY(!w.edtPattern->isEnabled());
    QCOMPARE(w.edtLessThan->text(), QStringLiteral("1"));
    QCOMPARE(w.edtPattern->text(), QStringLiteral("*.jpg;*somefilename*"));
    QCOMPARE(w.cbSizeUnits->currentText(), QStringLiteral("Bytes"));
    QCOMPARE(w.dtpDate->date(), QDate(2026, 1, 14));
    // Every named control can be found by its name.
    for (const char* name : {"btnScan", "btnStop", "btnOpen", "btnCopyPath", "btnOpenExplorer", "btnShowProperties",
                             "btnRemoveToRecycleBin", "btnRemove", "btnAbout", "btnWEbsite", "rbAllDrives",
                             "rbCustomPath", "cmbCustomPath", "btnBrowse", "chModifiedBefore", "dtpDate", "chLessThan",
                             "edtLessThan", "cbSizeUnits", "chPattern", "edtPattern", "lblStatus", "pb", "PageControl1",
                             "PaintBox1", "PaintBox2", "PaintBox3", "PaintBox4", "lvFiles", "lvExt", "tvFolders",
                             "lvFilesOfSelectedFolder", "tvFoldersAndFiles", "tvFileExtensions", "tvDuplicateFiles",
                             "lvDuplicateGroupsColors"})
      QVERIFY2(w.findChild<QWidget*>(QString::fromLatin1(name)), name);
  }

  void enablingByChecksAndRadios() {
    TfrmMain w;
    struct {
      QCheckBox* box;
      std::vector<QWidget*> deps;
    } rows[] = {{w.chModifiedBefore, {w.dtpDate}},
                {w.chLessThan, {w.edtLessThan, w.cbSizeUnits}},
                {w.chPattern, {w.edtPattern}}};
    for (auto& r : rows) {
      QTest::mouseClick(r.box, Qt::LeftButton);
      for (QWidget* d : r.deps) QVERIFY(d->isEnabled());
      QTest::mouseClick(r.box, Qt::LeftButton);
      for (QWidget* d : r.deps) QVERIFY(!d->isEnabled());
    }
    QTest::mouseClick(w.rbCustomPath, Qt::LeftButton);
    QVERIFY(w.cmbCustomPath->isEnabled());
    QVERIFY(w.btnBrowse->isEnabled());
    QTest::mouseClick(w.rbAllDrives, Qt::LeftButton);
    QVERIFY(!w.cmbCustomPath->isEnabled());

    // Busy: the custom path stays off even when chosen, the filters are off.
    w.chPattern->setChecked(true);
    w.SetBusy(true);
    QTest::mouseClick(w.rbCustomPath, Qt::LeftButton);
    QVERIFY(!w.cmbCustomPath->isEnabled());
    QVERIFY(!w.btnBrowse->isEnabled());
    QVERIFY(!w.edtPattern->isEnabled());
    QVERIFY(!w.btnScan->isEnabled());
    QVERIFY(w.btnStop->isEnabled());
    w.SetBusy(false);
    QVERIFY(w.cmbCustomPath->isEnabled());
    QVERIFY(w.edtPattern->isEnabled());
    QCOMPARE(w.pb->value(), 0);
  }

  void lessThanParsing_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qlonglong>("bytes");
    QTest::newRow("1.5 KB") << "C" << "1.5" << 1 << true << 1536LL;
    QTest::newRow("zero") << "C" << "0" << 0 << true << 0LL;
    QTest::newRow("blanks") << "C" << "  7 " << 0 << true << 7LL;
    QTest::newRow("comma locale 2,5") << "de_DE" << "2,5" << 1 << true << 2560LL;
    QTest::newRow("comma locale 2.5") << "de_DE" << "2.5" << 1 << true << 2560LL;
    QTest::newRow("saturates") << "C" << "9000000" << 4 << true << qlonglong(INT64_MAX);
    QTest::newRow("half to even down") << "C" << "2.5" << 0 << true << 2LL;
    QTest::newRow("half to even up") << "C" << "3.5" << 0 << true << 4LL;
    QTest::newRow("negative") << "C" << "-1" << 0 << false << 0LL;
    QTest::newRow("text") << "C" << "abc" << 0 << false << 0LL;
    QTest::newRow("empty") << "C" << "   " << 0 << false << 0LL;
  }
  void lessThanParsing() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, unit);
    QFETCH(bool, ok);
    QFETCH(qlonglong, bytes);
    QLocale::setDefault(QLocale(locale));
    TfrmMain w;
    w.edtLessThan->setText(text);
    w.cbSizeUnits->setCurrentIndex(unit);
    int64_t b = -1;
    QCOMPARE(w.TryParseLessThanBytes(b), ok);
    QCOMPARE(qlonglong(b), bytes);
    QLocale::setDefault(QLocale::c());
  }

  void filtersIntoContext() {
    TfrmMain w;
    w.chPattern->setChecked(true);
    w.edtPattern->setText(QStringLiteral(";; *.tmp ;"));
    w.chLessThan->setChecked(true);
    w.edtLessThan->setText(QStringLiteral("2"));
    w.cbSizeUnits->setCurrentIndex(2);
    w.S.FContext = std::make_shared<vd::TScanContext>();
    w.ApplyFiltersToContext();
    QCOMPARE(w.S.FContext->PatternMasks, std::vector<std::string>{"*.tmp"});
    QVERIFY(w.S.FContext->ExcludeLessThan);
    QCOMPARE(w.S.FContext->LessThanBytes, int64_t(2) * 1048576);
    QVERIFY(!w.S.FContext->ExcludeModifiedBefore);
    // The picker's hidden time of day goes with the day, also a newly picked one.
    QCOMPARE(w.S.FContext->ModifiedBefore, vd::EncodeDateTime(2026, 1, 14, 0, 4, 41, 132));
    w.dtpDate->setDate(QDate(2025, 3, 2));
    w.ApplyFiltersToContext();
    QCOMPARE(w.S.FContext->ModifiedBefore, vd::EncodeDateTime(2025, 3, 2, 0, 4, 41, 132));
  }

  void scanToDoneSummaryThenValidationKeepsResults() {
    vdtest::TempDir t;
    MakeTree(t, 4, 5);
    TfrmMain w;
    w.show();
    ScanFolder(w, t.Path());
    QVERIFY(!w.btnScan->isEnabled());
    QCOMPARE(w.pb->maximum(), 0);  // a custom folder has no expected size: marquee
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Done. Total files: 20   Total size: %1")
                                      .arg(QString::fromStdString(vd::FormatSize(w.S.FAllTotalBytes))));
    QVERIFY(w.S.FRoot);
    QCOMPARE(w.S.FRoot->TotalFiles, 20);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(gErrors.isEmpty());
    vd::TDirNode* root = w.S.FRoot.get();

    // Each failed check shows its message and changes nothing.
    w.cmbCustomPath->setCurrentText(QString::fromStdString(t / "missing"));
    w.btnScanClick();
    w.cmbCustomPath->setCurrentText(QString::fromStdString(t.Path()));
    w.chLessThan->setChecked(true);
    w.edtLessThan->setText(QStringLiteral("lots"));
    w.btnScanClick();
    w.rbAllDrives->setChecked(true);
    Drives().GetDrives = [] { return std::vector<std::string>{}; };
    w.btnScanClick();
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    QCOMPARE(gErrors, (QStringList{QStringLiteral("Folder does not exist."), QStringLiteral("Invalid \"Less than\" value."),
                                   QStringLiteral("No drives found.")}));
    QCOMPARE(w.S.FRoot.get(), root);
    QCOMPARE(w.S.FAllFiles.size(), size_t(20));
    QVERIFY(w.btnScan->isEnabled());

    // An empty custom path does nothing at all.
    w.rbCustomPath->setChecked(true);
    w.cmbCustomPath->setCurrentText(QStringLiteral("  "));
    w.btnScanClick();
    QCOMPARE(gErrors.size(), 3);
    QCOMPARE(w.S.FRoot.get(), root);

    if (qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) {
      w.chLessThan->setChecked(false);
      w.edtLessThan->setText(QStringLiteral("1"));
      w.UpdateFilterControls();
      ScanFolder(w, "/usr/share");
      QVERIFY(WaitIdle(w, 120000));
      QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
      w.resize(1400, 860);
      QTest::qWait(50);
      for (int i = 0; i < 4; ++i) {
        w.PageControl1->setCurrentIndex(i);
        QTest::qWait(50);
        w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/main_window_tab%1.png").arg(i));
      }
    }
  }

  void emptyFolderScan() {
    vdtest::TempDir t;
    TfrmMain w;
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QVERIFY(w.lblStatus->text().startsWith(QStringLiteral("Done. Total files: 0   Total size: 0")));
    QVERIFY(!w.S.FSelectedFolder);
  }

  void largestSubFolderSelected() {
    vdtest::TempDir t;
    t.File("small/a", 10);
    t.File("big/b", 1000);
    t.File("mid/c", 100);
    TfrmMain w;
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QVERIFY(w.S.FSelectedFolder);
    QCOMPARE(std::string(w.S.FSelectedFolder->Name()), std::string("big"));
  }

  void equalFoldersKeepTheirTreeNodes() {
    // Both folder trees sort the same children by size; folders of equal size
    // must still be found at their own node afterwards.
    vdtest::TempDir t;
    for (int i = 0; i < 40; ++i) t.File("same" + std::to_string(i) + "/f", i < 5 ? 1000 : 100);
    TfrmMain w;
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.S.FRoot->Children.size(), size_t(40));
    for (vd::TDirNode* c : w.S.FRoot->Children) {
      const QModelIndex node = w.FoldersTab->FindFolderTreeNode(c);
      QVERIFY(node.isValid());
      // The view finds a node again by its row: that row must still be c's.
      const QModelIndex again = node.model()->index(node.row(), 0, node.parent());
      QCOMPARE(static_cast<vd::TDirNode*>(again.internalPointer()), c);
    }
  }

  void invalidMaskFailsScan() {
    vdtest::TempDir t;
    t.File("a.txt", 10);
    TfrmMain w;
    w.chPattern->setChecked(true);
    w.edtPattern->setText(QStringLiteral("[a-"));
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors.size(), 1);
    QVERIFY(gErrors[0].startsWith(QStringLiteral("Scan failed: \n")));
    QVERIFY(gErrors[0].contains(QStringLiteral("is an invalid mask at")));
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Ready"));
    QVERIFY(!w.S.FRoot);
  }

  void stopDuringScan() {
    vdtest::TempDir t;
    MakeTree(t, 400, 50);
    TfrmMain w;
    ScanFolder(w, t.Path());
    w.btnStopClick();
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Cancelling..."));
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList{QStringLiteral("Scan failed: \nCancelled by user")});
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Ready"));
    QVERIFY(w.btnScan->isEnabled());
    QVERIFY(!w.btnStop->isEnabled());
    QVERIFY(!w.S.FRoot);
    QVERIFY(w.S.FAllFiles.empty());
    QVERIFY(!QApplication::overrideCursor());
  }

  void progressText() {
    TfrmMain w;
    w.SetBusy(true);
    w.FTask = std::make_shared<TScanShared>();
    w.FExpectedBytesTotal = 4000;
    w.FTask->SetProgress({}, 3, 1, 0);
    w.UITimerTick();
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Scanning... (files: 3, dirs: 1)"));
    QCOMPARE(w.pb->value(), 0);
    w.FTask->SetProgress("/data/x", 12, 4, 1001);
    w.UITimerTick();
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Scanning: /data/x  (files: 12, dirs: 4)"));
    QCOMPARE(w.pb->maximum(), 1000);
    QCOMPARE(w.pb->value(), 250);  // 250.25 rounds to 250
    w.FTask->SetProgress("/data/a%2Fb%3A", 12, 4, 9000);
    w.UITimerTick();
    QCOMPARE(w.pb->value(), 1000);  // capped
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Scanning: /data/a%2Fb%3A  (files: 12, dirs: 4)"));
    w.S.FContext = std::make_shared<vd::TScanContext>();
    w.btnStopClick();
    w.UITimerTick();
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Cancelling..."));
  }

  void allDrivesUnderSyntheticRoot() {
    vdtest::TempDir a, b;
    a.File("x.dat", 500);
    b.File("y/z.dat", 700);
    const std::string pa = a.Path(), pbPath = b.Path();
    Drives().GetDrives = [pa, pbPath] { return std::vector<std::string>{pa, pbPath}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(1000); };
    TfrmMain w;
    w.btnScanClick();
    QCOMPARE(w.FExpectedBytesTotal, int64_t(2000));
    QCOMPARE(w.pb->maximum(), 1000);
    QVERIFY(WaitIdle(w));
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
    QVERIFY(w.S.FRoot);
    QCOMPARE(std::string(w.S.FRoot->Name()), std::string("(All Drives)"));
    QCOMPARE(w.S.FRoot->Children.size(), size_t(2));
    // A drive is named by its whole path (the results may have reordered them).
    std::set<std::string> names{std::string(w.S.FRoot->Children[0]->Name()), std::string(w.S.FRoot->Children[1]->Name())};
    QVERIFY(names == (std::set<std::string>{pa, pbPath}));
    QCOMPARE(w.S.FRoot->TotalSize, int64_t(1200));
    QCOMPARE(w.S.FRoot->TotalFiles, int64_t(2));
  }

  void closingDuringScan() {
    vdtest::TempDir t;
    MakeTree(t, 200, 50);
    auto* w = new TfrmMain;
    w->show();
    ScanFolder(*w, t.Path());
    w->close();
    delete w;  // cancels the scan and waits for its task
    QTest::qWait(200);  // a late completion must find nothing to touch
    AppClosing = false;
  }

  void bottomPanelsAtNarrowWidth() {
    TfrmMain w;
    w.setWindowState(Qt::WindowNoState);
    w.show();
    w.resize(300, 600);
    QTest::qWait(20);
    const struct {
      int tab;
      const char* list;
      int least;
    } rows[] = {{0, "tvFileExtensions", 160}, {1, "lvExt", 160}, {2, "lvFilesOfSelectedFolder", 200},
                {3, "lvDuplicateGroupsColors", 200}};
    for (const auto& r : rows) {
      w.PageControl1->setCurrentIndex(r.tab);
      QTest::qWait(20);
      QVERIFY2(w.findChild<QWidget*>(QString::fromLatin1(r.list))->width() >= r.least, r.list);
    }
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
