// Scan files made to hurt: a chain of thousands of folders with the longest
// names there are, and one of hundreds of thousands of folders. The window
// opens both into the four tabs within a bound on its address space that
// anything growing with the sum of the paths' lengths (or with depth times
// entries) would break many times over, and Stop ends the build in any stage.
#include <QAbstractItemView>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <fstream>
#include <iterator>

#include <sys/resource.h>

#include "TestUtil.h"
#include "common/Dialogs.h"
#include "core/dump/DumpCodec.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"

using namespace vd::gui;

namespace {

QStringList gErrors;

// The stages of the results build, in order, as the status line names them.
const char* const kStages[] = {"Building file list",          "Building Largest Files list",
                               "Populating Largest Files UI", "Building folders tree",
                               "Building duplicates",         "Populating folders UI",
                               "Building folders/files tree", "Populating extensions"};

bool WaitIdle(TfrmMain& w) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 300000); }

// Folders nested `depth` deep, each named `name` and holding one 1-byte file
// "f" (or only the deepest one holding it).
std::string ChainScanFile(int depth, const std::string& name, bool filePerFolder) {
  std::string s = R"([1,2,{},[{"name":"/hostile"})";
  const std::string file = R"(,{"name":"f","asize":1})";
  for (int i = 0; i < depth; ++i) {
    s += R"(,[{"name":")" + name + "\"}";
    if (filePerFolder || i == depth - 1) s += file;
  }
  s.append(size_t(depth), ']');
  return s + "]]";
}

std::string Packed(const std::string& text) {
  vd::dump::TStringSink out;
  {
    auto pack = vd::dump::MakePackSink(vd::dump::TCompression::Zstd, out);
    if (!pack->Write(text.data(), text.size()) || !pack->Finish()) return {};
  }
  return out.FData;
}

// Bytes of address space this process has mapped now.
rlim_t MappedBytes() {
  std::ifstream statm("/proc/self/statm");
  unsigned long long pages = 0;
  statm >> pages;
  return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
}

}  // namespace

class TestHostileScans : public QObject {
  Q_OBJECT

  vdtest::TempDir FFiles;

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string p = FFiles / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private slots:
  void initTestCase() {
    Dialogs().ShowError = [](QWidget*, const QString& text) { gErrors << text; };
    // Generous for what the files hold (a few hundred megabytes at most),
    // far below what a cost by path length or by depth squared would take.
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = MappedBytes() + (rlim_t(3) << 30);
    QCOMPARE(setrlimit(RLIMIT_AS, &limit), 0);
  }
  void init() {
    gErrors.clear();
    AppClosing = false;
  }

  // 2000 folders in a chain, each with the longest name allowed and one file:
  // a 12 KB file whose paths together would take 131 GB.
  void longNamesInAChainOpen() {
    const std::string packed = Packed(ChainScanFile(2000, std::string(65535, 'n'), true));
    QVERIFY(!packed.empty());
    QVERIFY(packed.size() < 100000);
    const std::string file = Write("long.json.zst", packed);
    TfrmMain w;
    w.resize(1200, 800);
    w.show();
    // Every tab shown once: the build lays out all four treemaps.
    for (int tab = 0; tab < w.PageControl1->count(); ++tab) w.PageControl1->setCurrentIndex(tab);
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QVERIFY2(gErrors.isEmpty(), qPrintable(gErrors.join(QLatin1Char('\n')).left(500)));
    QVERIFY2(w.lblStatus->text().startsWith(QStringLiteral("Done. Total files: 2000 ")),
             qPrintable(w.lblStatus->text()));
    QCOMPARE(w.S.FAllFiles.size(), size_t(2000));
    QCOMPARE(w.findChild<QAbstractItemView*>(QStringLiteral("lvFiles"))->model()->rowCount(), 2000);
    QCOMPARE(w.S.FRoot->TotalDirs, int64_t(2001));
    // What the list shows of a row is built from the tree when it is asked for.
    const QAbstractItemModel* list = w.findChild<QAbstractItemView*>(QStringLiteral("lvFiles"))->model();
    QCOMPARE(list->index(0, 1).data().toString(), QStringLiteral("/hostile/") + QString(65535, QLatin1Char('n')));
  }

  // 200 000 folders in a chain, in each combination of files.
  void deepChainsOpen_data() {
    QTest::addColumn<bool>("filePerFolder");
    QTest::newRow("one file at the bottom") << false;
    QTest::newRow("a file in every folder") << true;
  }
  void deepChainsOpen() {
    QFETCH(bool, filePerFolder);
    const std::string file = Write("deep.json", ChainScanFile(200000, "d", filePerFolder));
    TfrmMain w;
    w.resize(1200, 800);
    w.show();
    for (int tab = 0; tab < w.PageControl1->count(); ++tab) w.PageControl1->setCurrentIndex(tab);
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QVERIFY2(gErrors.isEmpty(), qPrintable(gErrors.join(QLatin1Char('\n')).left(500)));
    const int files = filePerFolder ? 200000 : 1;
    QVERIFY2(w.lblStatus->text().startsWith(QStringLiteral("Done. Total files: %1 ").arg(files)),
             qPrintable(w.lblStatus->text()));
    QCOMPARE(w.S.FRoot->TotalDirs, int64_t(200001));
  }

  // Stop pressed while a given stage runs ends the build there: no later
  // stage starts, and the window is left empty and idle.
  void stopEndsEachStage_data() {
    QTest::addColumn<int>("stage");
    for (int i = 0; i < int(std::size(kStages)); ++i) QTest::newRow(kStages[i]) << i;
  }
  void stopEndsEachStage() {
    QFETCH(int, stage);
    const QString name = QString::fromLatin1(kStages[stage]);
    const std::string file = Write("stop.json", ChainScanFile(200000, "d", true));
    TfrmMain w;
    w.resize(1200, 800);
    w.show();
    for (int tab = 0; tab < w.PageControl1->count(); ++tab) w.PageControl1->setCurrentIndex(tab);
    QStringList after;  // statuses shown once Stop was pressed
    bool stopped = false;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, this, [&] {
      const QString now = w.lblStatus->text();
      if (stopped) {
        if (after.isEmpty() || after.back() != now) after << now;
      } else if (now.startsWith(name)) {
        stopped = true;
        w.btnStopClick();
      }
    });
    watch.start();
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    watch.stop();
    QVERIFY2(stopped, "the stage was never seen");
    QVERIFY2(gErrors.isEmpty(), qPrintable(gErrors.join(QLatin1Char('\n')).left(500)));
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Cancelled"));
    for (const QString& s : after)
      for (size_t later = size_t(stage) + 1; later < std::size(kStages); ++later)
        QVERIFY2(!s.startsWith(QString::fromLatin1(kStages[later])), qPrintable(s));
    QVERIFY(w.S.FAllFiles.empty());
  }
};

QTEST_MAIN(TestHostileScans)
#include "tst_hostile_scans.moc"
