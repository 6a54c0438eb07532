// Times the whole road of one scan in an offscreen main window: the walk
// behind the Scan button, then the results build that fills all four tabs,
// and the resident memory per entry once everything is shown.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <cstdio>

#include "TreeGen.h"
#include "window/MainWindow.h"

int main(int argc, char** argv) {
  const std::string root = vdbench::TreeFolderFromArgs(argc, argv, "pipeline_bench");
  if (root.empty()) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorndale"));

  // Warm the file system cache so the walk is measured like scan_bench's.
  vdbench::TimeCommandMs({"du", "-s", "-b", root});

  vd::gui::TfrmMain w;
  w.resize(1920, 1080);
  w.show();
  QTest::qWait(100);
  const int64_t before = vdbench::ResidentBytes();
  w.rbCustomPath->setChecked(true);
  w.UpdateSourceControls();
  w.cmbCustomPath->setCurrentText(QString::fromStdString(root));
  QTest::mouseClick(w.btnScan, Qt::LeftButton);
  if (!QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 600000)) {
    std::fprintf(stderr, "the scan did not finish\n");
    return 1;
  }
  // Let every tab paint once, as a user would see them.
  for (int i = 0; i < 4; ++i) {
    w.PageControl1->setCurrentIndex(i);
    w.PageControl1->currentWidget()->grab();
  }
  const int64_t after = vdbench::ResidentBytes();
  if (!w.S.FRoot) {
    std::fprintf(stderr, "no result: %s\n", qPrintable(w.lblStatus->text()));
    return 1;
  }
  const int64_t entries = w.S.FRoot->TotalFiles + w.S.FRoot->TotalDirs;
  std::printf("status: %s\n", qPrintable(w.lblStatus->text()));
  for (const auto& [stage, ms] : w.FLastStageMs) std::printf("  %-34s %6lld ms\n", qPrintable(stage), (long long)ms);
  std::printf("pipeline: scan %lld ms; build %lld ms; ratio %.2f; rss %.0f B/entry\n", (long long)w.FLastScanMs,
              (long long)w.FLastBuildMs, w.FLastScanMs ? double(w.FLastBuildMs) / double(w.FLastScanMs) : 0.0,
              entries ? double(after - before) / double(entries) : 0.0);
  return 0;
}
