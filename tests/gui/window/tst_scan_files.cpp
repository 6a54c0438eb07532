// Scan files in the window: a file opens into the four tabs as a scan would
// fill them, a broken one or Stop keeps what was shown, Save then Open gives
// the same results, and Ctrl+O / Ctrl+S reach the two buttons.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include <fstream>

#include "TestUtil.h"
#include "common/Dialogs.h"
#include "core/results/Format.h"
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
    QVERIFY2(w.windowTitle().startsWith(QStringLiteral("%1 1.0 \u2014 hand.json (2023-11-1")
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
