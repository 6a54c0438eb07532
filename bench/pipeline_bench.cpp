// Times the whole road of one scan in an offscreen main window: the walk
// behind the Scan button, then the results build that fills all four tabs,
// the longest time the event loop did not turn, and the resident memory per
// entry once everything is shown.
//   pipeline_bench <folder>            the tree on disk (generated when missing)
//   pipeline_bench --synthetic N       a tree of N entries made in memory
//   pipeline_bench --duplicates N C    N names in C folders each: every file a duplicate
// Any of them after --tabs-shown: every tab has been shown before the scan, as
// in a window the user has looked around in (otherwise the tabs not shown get
// their treemaps on their first show, after the build). After --switch-size
// (first, or after --tabs-shown), the size switch is then pressed once, and
// the results build it runs from the same tree is timed against the scan.
#include <malloc.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "SyntheticTree.h"
#include "TreeGen.h"
#include "core/scan/DiskScanner.h"
#include "platform/Platform.h"
#include "window/MainWindow.h"
#include "window/SizeSwitch.h"

namespace {

// A 10 ms timer that keeps the longest gap between two of its turns.
struct TStallMeter {
  QTimer Timer;
  QElapsedTimer Clock;
  qint64 Longest = 0;
  QString Where;  // the status line when the longest gap ended
  std::function<QString()> Status;
  void Start() {
    Longest = 0;
    Clock.start();
    Timer.setTimerType(Qt::PreciseTimer);
    Timer.setInterval(10);
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      const qint64 gap = Clock.restart();
      if (gap <= Longest) return;
      Longest = gap;
      if (Status) Where = Status();
    });
    Timer.start();
  }
  void Stop() {
    Longest = std::max(Longest, Clock.elapsed());
    Timer.stop();
  }
};

// Resident anonymous memory (heap, stacks), without the pages of mapped files.
int64_t AnonBytes() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "RssAnon:") {
      int64_t kb = 0;
      in >> kb;
      return kb * 1024;
    }
    in.ignore(1 << 20, '\n');
  }
  return 0;
}

// The threads the window's scan takes for root, as the scanner chooses them.
int WindowThreads(const std::string& root) {
  if (const char* env = std::getenv("VORNDALE_SCAN_THREADS"); env && std::atoi(env) > 0) return std::atoi(env);
  if (vd::platform::IsOnRotationalDisk(root)) return 1;
  return std::max(1, int(std::thread::hardware_concurrency()));
}

void PaintEveryTab(vd::gui::TfrmMain& w) {
  for (int i = 0; i < 4; ++i) {
    w.PageControl1->setCurrentIndex(i);
    w.PageControl1->currentWidget()->grab();
  }
}

void PrintStages(const vd::gui::TfrmMain& w, const TStallMeter& stall) {
  std::printf("status: %s\n", qPrintable(w.lblStatus->text()));
  std::printf("longest stall ended at: %s\n", qPrintable(stall.Where));
  for (const auto& [stage, ms] : w.FLastStageMs) std::printf("  %-34s %6lld ms\n", qPrintable(stage), (long long)ms);
}

// The results build over a tree made in memory; "scan" is the time it took to
// make the tree.
int RunInMemory(vd::gui::TfrmMain& w, const char* what, const std::function<std::unique_ptr<vd::TDirNode>()>& make) {
  const int64_t before = vdbench::ResidentBytes(), anonBefore = AnonBytes();
  const double t0 = vdbench::NowMs();
  auto root = make();
  const double made = vdbench::NowMs() - t0;
  ::malloc_trim(0);  // the generator's scratch is no part of the program
  const int64_t entries = root->TotalFiles + root->TotalDirs;
  w.S.FRoot = std::move(root);
  w.FLastScanMs = int64_t(made);
  TStallMeter stall;
  stall.Status = [&] { return w.lblStatus->text(); };
  bool done = false;
  QTimer::singleShot(0, &w, [&] {
    w.FinishScan(true, QString());
    done = true;
  });
  stall.Start();
  if (!QTest::qWaitFor([&] { return done; }, 3600000)) return 1;
  stall.Stop();
  PaintEveryTab(w);
  const int64_t after = vdbench::ResidentBytes(), anonAfter = AnonBytes();
  PrintStages(w, stall);
  std::printf("memory: anonymous %.0f B/entry, mapped files %.0f B/entry\n", double(anonAfter - anonBefore) / double(entries),
              double((after - before) - (anonAfter - anonBefore)) / double(entries));
  std::printf("%s: %lld entries; make %lld ms\n", what, (long long)entries, (long long)made);
  std::printf("pipeline: scan %lld ms; build %lld ms; ratio %.2f; rss %.0f B/entry; stall %lld ms; build %.0f ns/entry\n",
              (long long)w.FLastScanMs, (long long)w.FLastBuildMs,
              w.FLastScanMs ? double(w.FLastBuildMs) / double(w.FLastScanMs) : 0.0,
              entries ? double(after - before) / double(entries) : 0.0, (long long)stall.Longest,
              entries ? double(w.FLastBuildMs) * 1e6 / double(entries) : 0.0);
  return 0;
}

int RunOnDisk(vd::gui::TfrmMain& w, const std::string& root) {
  // Warm the file system cache so the walk is measured like scan_bench's.
  vdbench::TimeCommandMs({"du", "-s", "-b", root});
  const int threads = WindowThreads(root);
  const int64_t before = vdbench::ResidentBytes(), anonBefore = AnonBytes();
  w.rbCustomPath->setChecked(true);
  w.UpdateSourceControls();
  w.cmbCustomPath->setCurrentText(QString::fromStdString(root));
  TStallMeter stall;
  stall.Status = [&] { return w.lblStatus->text(); };
  // Only the results build counts: it starts when the scan has ended.
  bool building = false;
  QObject::connect(&stall.Timer, &QTimer::timeout, [&] {
    if (!building && w.FLastScanMs > 0) {
      building = true;
      stall.Longest = 0;
    }
  });
  w.FLastScanMs = 0;
  stall.Start();
  QTest::mouseClick(w.btnScan, Qt::LeftButton);
  if (!QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 600000)) {
    std::fprintf(stderr, "the scan did not finish\n");
    return 1;
  }
  stall.Stop();
  PaintEveryTab(w);
  const int64_t after = vdbench::ResidentBytes(), anonAfter = AnonBytes();
  if (!w.S.FRoot) {
    std::fprintf(stderr, "no result: %s\n", qPrintable(w.lblStatus->text()));
    return 1;
  }
  const int64_t entries = w.S.FRoot->TotalFiles + w.S.FRoot->TotalDirs;
  // The reference: the bare scanner on the threads the window took, same process.
  vd::TScanContext ctx;
  ctx.ScanThreads = threads;
  double bare = 0;
  {
    vd::TDiskScanner scanner(&ctx);
    const double t0 = vdbench::NowMs();
    auto tree = scanner.Scan(root);
    bare = vdbench::NowMs() - t0;
  }
  PrintStages(w, stall);
  std::printf("memory: anonymous %.0f B/entry, mapped files %.0f B/entry\n", double(anonAfter - anonBefore) / double(entries),
              double((after - before) - (anonAfter - anonBefore)) / double(entries));
  std::printf("pipeline: scan %lld ms; build %lld ms; ratio %.2f; rss %.0f B/entry; stall %lld ms; threads %d; "
              "scanner %.0f ms; scan/scanner %.2f\n",
              (long long)w.FLastScanMs, (long long)w.FLastBuildMs,
              w.FLastScanMs ? double(w.FLastBuildMs) / double(w.FLastScanMs) : 0.0,
              entries ? double(after - before) / double(entries) : 0.0, (long long)stall.Longest, threads, bare,
              bare > 0 ? double(w.FLastScanMs) / bare : 0.0);
  return 0;
}

// Presses the size switch and times the build it runs from the tree shown.
int SwitchSize(vd::gui::TfrmMain& w) {
  if (!w.S.FRoot) return 1;
  const int64_t entries = w.S.FRoot->TotalFiles + w.S.FRoot->TotalDirs;
  const int64_t before = vdbench::ResidentBytes();
  TStallMeter stall;
  stall.Status = [&] { return w.lblStatus->text(); };
  stall.Start();
  QTest::mouseClick(w.SizeSwitch->Button(), Qt::LeftButton);
  if (!QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 600000)) return 1;
  stall.Stop();
  PaintEveryTab(w);
  std::printf("status: %s\n", qPrintable(w.lblStatus->text()));
  std::printf("switch: scan %lld ms; switch %lld ms; ratio %.2f; rss %+.0f B/entry; stall %lld ms\n",
              (long long)w.FLastScanMs, (long long)w.FLastBuildMs,
              w.FLastScanMs ? double(w.FLastBuildMs) / double(w.FLastScanMs) : 0.0,
              entries ? double(vdbench::ResidentBytes() - before) / double(entries) : 0.0, (long long)stall.Longest);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  auto takeFlag = [&](const char* flag) {
    if (argc < 2 || std::strcmp(argv[1], flag) != 0) return false;
    argv[1] = argv[0];
    ++argv;
    --argc;
    return true;
  };
  const bool switchFirst = takeFlag("--switch-size");
  const bool tabsShown = takeFlag("--tabs-shown");
  const bool switchSize = switchFirst || takeFlag("--switch-size");
  const bool synthetic = argc >= 3 && std::strcmp(argv[1], "--synthetic") == 0;
  const bool duplicates = argc >= 4 && std::strcmp(argv[1], "--duplicates") == 0;
  std::string root;
  if (!synthetic && !duplicates) {
    root = vdbench::TreeFolderFromArgs(argc, argv, "pipeline_bench");
    if (root.empty()) return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qargc = 1;
  QApplication app(qargc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorndale"));

  vd::gui::TfrmMain w;
  w.resize(1920, 1080);
  w.show();
  QTest::qWait(100);
  if (tabsShown) {
    PaintEveryTab(w);
    w.PageControl1->setCurrentIndex(0);
  }
  int rc = 0;
  if (synthetic) {
    const size_t n = size_t(std::strtoull(argv[2], nullptr, 10));
    rc = RunInMemory(w, "synthetic", [n] { return vdbench::MakeSyntheticTree(n); });
  } else if (duplicates) {
    const size_t names = size_t(std::strtoull(argv[2], nullptr, 10)), copies = size_t(std::strtoull(argv[3], nullptr, 10));
    rc = RunInMemory(w, "duplicates", [=] { return vdbench::MakeDuplicateTree(names, copies); });
  } else {
    rc = RunOnDisk(w, root);
  }
  if (rc == 0 && switchSize) rc = SwitchSize(w);
  return rc;
}
