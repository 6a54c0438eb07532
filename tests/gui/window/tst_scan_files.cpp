// Scan files in the window: a file opens into the four tabs as a scan would
// fill them, a broken one or Stop keeps what was shown, Save then Open gives
// the same results, and Ctrl+O / Ctrl+S reach the two buttons.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>

#include "TestUtil.h"
#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/files/FilesTab.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"

using namespace vd::gui;

namespace {

QStringList gErrors;

bool WaitIdle(TfrmMain& w) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000); }

// What the four tabs show, in numbers.
struct TTotals {
  QString Status;
  size_t Files = 0;
  int64_t Bytes = 0;
  int64_t Dirs = 0;
  size_t Groups = 0;
  std::string Selected;
  std::vector<int> Rows;  // rows of each list
  bool operator==(const TTotals&) const = default;
};

TTotals TotalsOf(const TfrmMain& w) {
  TTotals t;
  t.Status = w.lblStatus->text();
  t.Files = w.S.FAllFiles.size();
  t.Bytes = w.S.FAllTotalBytes;
  t.Dirs = w.S.FRoot ? w.S.FRoot->TotalDirs : -1;
  t.Groups = w.S.FDupeGroups.size();
  t.Selected = w.S.FSelectedFolder ? std::string(w.S.FSelectedFolder->Name()) : std::string();
  for (const char* name : {"lvFiles", "lvExt", "lvFilesOfSelectedFolder", "tvFileExtensions", "lvDuplicateGroupsColors",
                           "tvDuplicateFiles"})
    t.Rows.push_back(w.findChild<QAbstractItemView*>(QLatin1String(name))->model()->rowCount());
  return t;
}

void ScanFolder(TfrmMain& w, const std::string& path) {
  w.rbCustomPath->setChecked(true);
  w.cmbCustomPath->setCurrentText(QString::fromStdString(path));
  w.btnScanClick();
}

const char kHandWritten[] = R"([1,0,{"progname":"by hand","timestamp":1700000000},
[{"name":"/srv/data"},
 {"name":"readme.TXT","asize":100,"mtime":1600000000},
 [{"name":"a"},{"name":"x.bin","asize":5000},{"name":"dup.txt","asize":40}],
 [{"name":"b"},{"name":"y.bin","asize":7000},{"name":"DUP.txt","asize":40},
  [{"name":"c"},{"name":"z.log","asize":3,"dsize":4096}]]]])";

const char kBadSize[] = R"([1,2,{},[{"name":"/x"},{"name":"f","asize":"9"}]])";

// 200 000 files in 200 folders: reading takes a while.
std::string BigScanFile() {
  std::string big = R"([1,2,{},[{"name":"/big"})";
  for (int d = 0; d < 200; ++d) {
    big += R"(,[{"name":"d)" + std::to_string(d) + "\"}";
    for (int f = 0; f < 1000; ++f) big += R"(,{"name":"f)" + std::to_string(f) + R"(","asize":1})";
    big += "]";
  }
  return big + "]]";
}

// A scan file of `root` with two same-named files (a duplicate group), with
// `host` in its header when given.
std::string DumpOf(const std::string& root, const std::string& host) {
  const std::string meta = host.empty() ? "{}" : R"({"hostname":")" + host + R"("})";
  return "[1,2," + meta + R"(,[{"name":")" + root +
         R"("},{"name":"one.txt","asize":7},[{"name":"sub"},{"name":"ONE.txt","asize":7}]]])";
}

// What a scan of `root` recorded, before the disk changed under it.
std::string ChangedDump(const std::string& root) {
  return R"([1,2,{},[{"name":")" + root + R"("},
    {"name":"same.bin","asize":10},{"name":"grown.bin","asize":10},{"name":"was-file","asize":1},
    [{"name":"was-folder"}],[{"name":"folder"},{"name":"f.txt","asize":3}]]])";
}

// All drives of this machine: one that is here, one that is not.
std::string DrivesDump(const std::string& here, const std::string& gone) {
  return R"([1,2,{"hostname":")" + vd::platform::HostName() + R"("},[{"name":""},[{"name":")" + here +
         R"("},{"name":"x.bin","asize":100}],[{"name":")" + gone + R"("},{"name":"g.bin","asize":900}]]])";
}

std::string Slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// (moc reads this file too: JSON in raw strings stays above this line.)
class TestScanFiles : public QObject {
  Q_OBJECT

  vdtest::TempDir FFiles;
  std::string FHand;

  std::string Write(const std::string& name, const std::string& text) {
    const std::string p = FFiles / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

 private slots:
  void initTestCase() {
    Dialogs().ShowError = [](QWidget*, const QString& text) { gErrors << text; };
    FHand = Write("hand.json", kHandWritten);
  }
  void init() {
    gErrors.clear();
    AppClosing = false;
  }

  void openBuildsEveryTab() {
    TfrmMain w;
    w.show();
    QVERIFY(!w.btnSaveScan->isEnabled());  // nothing to save yet
    w.ScanFiles->OpenScanFile(FHand);
    QVERIFY(!w.btnSaveScan->isEnabled());
    QVERIFY(w.btnStop->isEnabled());
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList());
    const TTotals t = TotalsOf(w);
    QCOMPARE(t.Status, QStringLiteral("Done. Total files: 6   Total size: %1")
                           .arg(QString::fromStdString(vd::FormatSize(12183))));
    QCOMPARE(t.Files, size_t(6));
    QCOMPARE(t.Bytes, int64_t(12183));
    QCOMPARE(t.Dirs, int64_t(4));
    QCOMPARE(t.Groups, size_t(1));  // dup.txt and DUP.txt
    QCOMPARE(t.Selected, std::string("b"));
    QCOMPARE(t.Rows[0], 6);  // every file listed
    QCOMPARE(t.Rows[1], 3);  // .bin, .txt, .log
    QCOMPARE(w.S.FRoot->FullPath(), std::string("/srv/data"));
    QVERIFY2(w.windowTitle().startsWith(QStringLiteral("%1 1.0 \u2014 Scan file hand.json (2023-11-1")
                                            .arg(QCoreApplication::applicationName())),
             qPrintable(w.windowTitle()));
    QVERIFY(w.btnSaveScan->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

  // A broken file: the box names the byte and what was expected there, and
  // the results shown before stay, with their title.
  void brokenFileKeepsResults_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");
    QTest::newRow("truncated") << QString::fromLatin1(kHandWritten).left(120)
                               << "EScanFileError: at byte 120 (the file ends there): expected";
    QTest::newRow("bad size") << QString::fromLatin1(kBadSize)
                              << "EScanFileError: at byte 46: expected a number for \"asize\", found a string";
  }
  void brokenFileKeepsResults() {
    QFETCH(QString, text);
    QFETCH(QString, says);
    TfrmMain w;
    w.ScanFiles->OpenScanFile(FHand);
    QVERIFY(WaitIdle(w));
    const TTotals before = TotalsOf(w);
    const vd::TDirNode* root = w.S.FRoot.get();
    const QString title = w.windowTitle();
    const std::string broken = Write("broken.json", text.toStdString());
    w.ScanFiles->OpenScanFile(broken);
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors.size(), 1);
    QVERIFY2(gErrors[0].startsWith(QStringLiteral("Cannot open the scan file %1:\n").arg(QString::fromStdString(broken))),
             qPrintable(gErrors[0]));
    QVERIFY2(gErrors[0].contains(says), qPrintable(gErrors[0]));
    QCOMPARE(w.S.FRoot.get(), root);
    TTotals after = TotalsOf(w);
    QCOMPARE(after.Status, QStringLiteral("Ready"));
    after.Status = before.Status;
    QVERIFY(after == before);
    QCOMPARE(w.windowTitle(), title);
    QVERIFY(!w.S.Cancelled());
    QVERIFY(w.btnSaveScan->isEnabled());
  }

  // Stop while a large file is read: the read ends, nothing is replaced.
  void stopWhileReadingKeepsResults() {
    const std::string file = Write("big.json", BigScanFile());
    TfrmMain w;
    w.ScanFiles->OpenScanFile(FHand);
    QVERIFY(WaitIdle(w));
    const vd::TDirNode* root = w.S.FRoot.get();
    w.ScanFiles->OpenScanFile(file);
    w.btnStopClick();
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList());
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Cancelled"));
    QCOMPARE(w.S.FRoot.get(), root);
    QCOMPARE(w.S.FAllFiles.size(), size_t(6));
    QVERIFY(!w.S.Cancelled());
  }

  // A live scan saved and opened again fills the tabs the same way.
  void saveThenOpenGivesTheSameResults() {
    vdtest::TempDir t, out;
    for (int i = 0; i < 30; ++i)
      t.File("d" + std::to_string(i % 4) + "/f" + std::to_string(i % 7) + (i % 3 ? ".txt" : ".bin"), 100 + i * 13);
    t.File("caf\xE9/raw name", 77);
    t.Dir("empty");
    QString suggested;
    const QString target = QString::fromStdString(out / "saved.json.zst");
    ScanFileDialogs().AskSaveName = [&](QWidget*, const QString& s) {
      suggested = s;
      return target;
    };
    TfrmMain w;
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    const TTotals live = TotalsOf(w);
    w.ScanFiles->btnSaveScanClick();
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList());
    QVERIFY2(suggested.endsWith(QStringLiteral(".json.zst")) &&
                 suggested.contains(QString::fromStdString(std::string(vd::ExtractFileName(t.Path()))) + QLatin1Char('-')),
             qPrintable(suggested));
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Scan saved: ") + target);
    QVERIFY(QFile::exists(target));

    w.ScanFiles->OpenScanFile(target.toStdString());
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList());
    const TTotals opened = TotalsOf(w);
    QCOMPARE(opened.Status, live.Status);
    QCOMPARE(opened.Files, live.Files);
    QCOMPARE(opened.Bytes, live.Bytes);
    QCOMPARE(opened.Dirs, live.Dirs);
    QCOMPARE(opened.Groups, live.Groups);
    QCOMPARE(opened.Selected, live.Selected);
    QCOMPARE(opened.Rows, live.Rows);
    // File actions find the files where the file says they are.
    QCOMPARE(w.S.FRoot->FullPath(), t.Path());
    ScanFileDialogs().AskSaveName = {};
  }

  // Trash, Delete, Rescan and the content check only where the file's paths
  // are this machine's; copy and the other read-only actions everywhere. The
  // title says which file, of when, and from which other machine.
  void diskActionsOnlyForFilesFromHere_data() {
    QTest::addColumn<bool>("rootHere");
    QTest::addColumn<QString>("host");  // "=" for this machine's name
    QTest::addColumn<bool>("fromHere");
    QTest::newRow("ours, from here") << true << "=" << true;
    QTest::newRow("ours, from another machine, same path here") << true << "another-machine" << false;
    QTest::newRow("another tool's, root here") << true << "" << true;
    QTest::newRow("another tool's, root not here") << false << "" << false;
  }
  void diskActionsOnlyForFilesFromHere() {
    QFETCH(bool, rootHere);
    QFETCH(QString, host);
    QFETCH(bool, fromHere);
    vdtest::TempDir t;
    t.File("one.txt", 7);
    t.File("sub/ONE.txt", 7);
    const std::string root = rootHere ? t.Path() : t / "not-here";
    const std::string name = host == "=" ? vd::platform::HostName() : host.toStdString();
    const std::string file = Write("host.json", DumpOf(root, name));
    TfrmMain w;
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList());
    QCOMPARE(w.S.FDupeGroups.size(), size_t(1));
    QCOMPARE(w.btnRemoveToRecycleBin->isEnabled(), fromHere);
    QCOMPARE(w.btnRemove->isEnabled(), fromHere);
    QCOMPARE(w.btnRescan->isEnabled(), fromHere);
    QVERIFY(w.btnCopyPath->isEnabled() && w.btnOpen->isEnabled());
    const QString summary = w.findChild<QLabel*>("lblContentSummary")->text();
    QVERIFY2(summary.contains(QStringLiteral("another machine")) != fromHere, qPrintable(summary));
    QVERIFY2(w.windowTitle().contains(QStringLiteral("Scan file host.json")), qPrintable(w.windowTitle()));
    QCOMPARE(w.windowTitle().contains(QStringLiteral(" from another-machine")), name == "another-machine");
    // The gate itself refuses too, whatever calls it.
    QCOMPARE(w.Actions->ShellDeletePaths({t / "one.txt"}, false), fromHere);
    QCOMPARE(vd::platform::PathExistsNoFollow(t / "one.txt"), !fromHere);
    QCOMPARE(gErrors, QStringList());
    // Saved again, the file still names its machine (or none).
    const std::string again = FFiles / "again.json";
    w.ScanFiles->SaveScanFile(again);
    QVERIFY(WaitIdle(w));
    QCOMPARE(Slurp(again).find("\"hostname\":\"" + name + "\"") != std::string::npos, !name.empty());
  }

  // Each item is checked against the scan before it goes: one that changed
  // since is left, and a box names it; the others go.
  void deleteLeavesWhatChangedSinceTheScan() {
    vdtest::TempDir t;
    t.File("same.bin", 10);
    t.File("grown.bin", 20);
    t.File("was-folder", 5);
    t.File("was-file/inside.txt", 1);
    t.File("folder/f.txt", 3);
    const std::string file = Write("changed.json", ChangedDump(t.Path()));
    Dialogs().AskYesNo = [](QWidget*, TBoxKind, const QString&, const QStringList&) { return true; };
    TfrmMain w;
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QVERIFY(w.S.FPathsAreHere);
    const std::vector<std::string> all{t / "same.bin", t / "grown.bin", t / "was-file", t / "was-folder", t / "folder"};
    QVERIFY(w.Actions->ShellDeletePaths(all, false));
    Dialogs().AskYesNo = {};
    QCOMPARE(gErrors.size(), 1);
    QVERIFY2(gErrors[0].startsWith(QStringLiteral("Left alone, no longer what the scan shows:")),
             qPrintable(gErrors[0]));
    for (const char* kept : {"grown.bin", "was-file", "was-folder"}) {
      QVERIFY2(vd::platform::PathExistsNoFollow(t / kept), kept);
      QVERIFY2(gErrors[0].contains(QString::fromStdString(t / kept)), kept);
    }
    QVERIFY(!vd::platform::PathExistsNoFollow(t / "same.bin"));
    QVERIFY(!vd::platform::PathExistsNoFollow(t / "folder"));
    QVERIFY(!gErrors[0].contains(QString::fromStdString(t / "same.bin")));
  }

  // A drive of an all-drives file that is not here is refused, and stays in
  // the tree with its totals.
  void rescanOfAMissingDriveIsRefused() {
    vdtest::TempDir t;
    t.File("a/x.bin", 100);
    const std::string file = Write("drives.json", DrivesDump(t / "a", t / "gone"));
    TfrmMain w;
    w.show();
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QVERIFY(w.btnRescan->isEnabled());
    w.PageControl1->setCurrentWidget(w.FilesTab);
    QTreeWidget* files = w.FilesTab->FilesList();
    const QList<QTreeWidgetItem*> g = files->findItems(QStringLiteral("g.bin"), Qt::MatchExactly, TFilesTab::colName);
    QCOMPARE(g.size(), 1);
    files->setCurrentItem(g[0]);
    w.btnRescan->click();
    QVERIFY(WaitIdle(w));
    QCOMPARE(gErrors, QStringList{QStringLiteral("Folder does not exist.\n") + QString::fromStdString(t / "gone")});
    QCOMPARE(w.S.FRoot->Children.size(), size_t(2));
    QCOMPARE(w.S.FRoot->TotalSize, int64_t(1000));
  }

  void shortcutsReachTheButtons() {
    int opens = 0, saves = 0;
    ScanFileDialogs().AskOpenName = [&](QWidget*) {
      ++opens;
      return QString::fromStdString(FHand);
    };
    ScanFileDialogs().AskSaveName = [&](QWidget*, const QString&) {
      ++saves;
      return QString();
    };
    TfrmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const struct {
      int Key;
      int Opens, Saves;
    } steps[] = {
        {Qt::Key_S, 0, 0},  // nothing to save: the key does nothing
        {Qt::Key_O, 1, 0},
        {Qt::Key_S, 1, 1},
    };
    for (const auto& s : steps) {
      QTest::keyClick(&w, Qt::Key(s.Key), Qt::ControlModifier);
      QTest::qWait(300);  // a button's shortcut clicks it after a short show of the press
      QVERIFY(WaitIdle(w));
      QCOMPARE(opens, s.Opens);
      QCOMPARE(saves, s.Saves);
    }
    QCOMPARE(w.S.FAllFiles.size(), size_t(6));
    ScanFileDialogs().AskOpenName = {};
    ScanFileDialogs().AskSaveName = {};

    if (qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) {
      QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
      w.pnlTop->grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/toolbar.png"));
      w.resize(1400, 860);
      QTest::qWait(50);
      w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/opened_scan_file.png"));
    }
  }
};

QTEST_MAIN(TestScanFiles)
#include "tst_scan_files.moc"
