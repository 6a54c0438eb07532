// The scan run: validation, the background task with its progress store, the
// UI timer, Stop, and the hand-over of the finished tree to the pipeline.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QThreadPool>
#include <QToolButton>
#include <cmath>

#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "core/Errors.h"
#include "core/layout/TreemapBase.h"
#include "core/scan/ScanFilters.h"
#include "core/scan/ScanWalk.h"
#include "platform/Platform.h"
#include "views/Shell.h"
#include "window/MainWindow.h"
#include "window/SizeSwitch.h"
#include "window/ScanFiles.h"

namespace vd::gui {

void TScanShared::SetProgress(const std::string& path, int64_t files, int64_t dirs, int64_t bytes) {
  QMutexLocker lock(&FProgLock);
  FProgPath = path;
  FProgFiles = files;
  FProgDirs = dirs;
  FProgBytes = bytes;
}

namespace {
QByteArray ToBytes(const QString& s) { return s.toUtf8(); }

TDateTime ToDateTime(const QDateTime& dt) {
  const QDate d = dt.date();
  const QTime t = dt.time();
  return EncodeDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}
}  // namespace

bool TfrmMain::TryParseLessThanBytes(int64_t& bytes) const {
  return vd::TryParseLessThanBytes(ToBytes(edtLessThan->text()).toStdString(), cbSizeUnits->currentIndex(), bytes,
                                   ToBytes(QLocale().decimalPoint()).toStdString());
}

void TfrmMain::ApplyFiltersToContext() {
  if (!S.FContext) return;
  TScanFilters f;
  f.ExcludeModifiedBefore = chModifiedBefore->isChecked();
  f.ModifiedBefore = ToDateTime(QDateTime(dtpDate->date(), FPickerTimeOfDay));
  f.ExcludeLessThan = chLessThan->isChecked();
  if (f.ExcludeLessThan && !TryParseLessThanBytes(f.LessThanBytes)) f.LessThanBytes = 0;
  f.ExcludePattern = chPattern->isChecked();
  f.Pattern = ToBytes(edtPattern->text()).toStdString();
  ApplyFilters(f, *S.FContext);
  // The window has no control for it: the scanner takes VORNDALE_SCAN_THREADS,
  // else one thread on a spinning disk, else every hardware thread.
  S.FContext->ScanThreads = 0;
}

void TfrmMain::ClearResults() {
  ClearViews();
  if (ScanFiles) ScanFiles->ResultsCleared();
  if (SizeSwitch) SizeSwitch->ResultsCleared();
}

void TfrmMain::RebuildResults() {
  if (!S.FRoot || IsScanRunning()) return;
  std::unique_ptr<TDirNode> root = std::move(S.FRoot);
  ClearViews();
  S.FRoot = std::move(root);
  // Stop works on the build as after a scan; an earlier Stop is over.
  if (!S.FContext) S.FContext = std::make_shared<TScanContext>();
  S.FContext->FCancelled.store(0);
  SetBusy(true);
  FinishScan(true, QString());
}

void TfrmMain::ClearViews() {
  for (TResultTab* t : Tabs()) t->ClearView();
  S.FAllFiles.clear();
  S.FDisplayFiles.clear();
  S.FAllTotalBytes = S.FDisplayTotalBytes = 0;
  S.FDupeMap.Clear();
  S.FDupeGroups.clear();
  S.FDupeColorByFileUpper.clear();
  S.FDupeGroupByFileUpper.clear();
  S.FSelectedFolder = nullptr;
  std::unique_ptr<TDirNode> old = std::move(S.FRoot);
  old.reset();
  // Right after the tree, before anything can repaint.
  S.FTreemap.Clear();
  S.FFolderMap.Clear();
  S.FHierMap.Clear();
  for (TResultTab* t : Tabs()) t->InvalidateBuf();
}

void TfrmMain::btnScanClick() {
  std::string pathToScan;
  const bool allDrives = !rbCustomPath->isChecked();
  std::vector<std::string> drives;
  if (!allDrives) {
    const QString text = cmbCustomPath->currentText();
    pathToScan = !FCustomPathBytes.empty() && text == DisplayText(FCustomPathBytes)
                     ? FCustomPathBytes
                     : TrimText(ToBytes(text).toStdString());
    if (pathToScan.empty()) return;
    if (!platform::DirectoryExists(pathToScan)) {
      ShowErrorMessage(this, QStringLiteral("Folder does not exist."));
      return;
    }
  } else {
    drives = Drives().GetDrives();
    if (drives.empty()) {
      ShowErrorMessage(this, QStringLiteral("No drives found."));
      return;
    }
  }
  int64_t lessThan = 0;
  if (chLessThan->isChecked() && !TryParseLessThanBytes(lessThan)) {
    ShowErrorMessage(this, QStringLiteral("Invalid \"Less than\" value."));
    return;
  }

  ClearResults();
  SetBusy(true);
  S.FContext = std::make_shared<TScanContext>();
  ApplyFiltersToContext();
  QApplication::setOverrideCursor(Qt::BusyCursor);

  FExpectedBytesTotal = 0;
  for (const std::string& d : drives) FExpectedBytesTotal += Drives().GetUsedBytes(d);
  FTask = std::make_shared<TScanShared>();
  FTask->SetProgress({}, 0, 0, 0);
  FUITimer->start();
  SetStatus(QStringLiteral("Scanning..."));
  if (FExpectedBytesTotal <= 0) {
    pb->setRange(0, 0);  // marquee
  } else {
    pb->setRange(0, 1000);
    pb->setValue(0);
  }
  FScanClock.start();
  StartTask(pathToScan, allDrives);
}

void TfrmMain::StartTask(const std::string& pathToScan, bool allDrives) {
  std::shared_ptr<TScanShared> task = FTask;
  std::shared_ptr<TScanContext> context = S.FContext;
  QPointer<TfrmMain> window(this);
  QThreadPool::globalInstance()->start([task, context, pathToScan, allDrives, window] {
    bool ok = false;
    std::string err;
    std::unique_ptr<TDirNode> root;
    try {
      TWalkOptions walk;
      walk.OnProgress = [&task](const std::string& path, int64_t files, int64_t dirs, int64_t bytes) {
        task->SetProgress(path, files, dirs, bytes);
      };
      root = WalkScanSource(*context, allDrives, pathToScan,
                            allDrives ? Drives().GetDrives() : std::vector<std::string>(), walk);
      ok = !context->IsCancelled();
    } catch (const std::exception& e) {
      err = DescribeError(e);
      ok = false;
    } catch (...) {
      err = "Exception: unknown error";
      ok = false;
    }
    // The tree crosses to the UI thread only here; the task touches nothing
    // after queuing the completion.
    auto holder = std::make_shared<std::unique_ptr<TDirNode>>(std::move(root));
    const QString errText = QString::fromStdString(err);
    QObject* target = QCoreApplication::instance();
    if (target) {
      QMetaObject::invokeMethod(
          target,
          [task, holder, ok, errText, window] {
            if (window && window->FTask == task && !AppClosing)
              window->CompleteScan(task, ok, std::move(*holder), errText);
          },
          Qt::QueuedConnection);
    }
    task->Finished.store(true);
  });
}

void TfrmMain::CompleteScan(const std::shared_ptr<TScanShared>&, bool ok, std::unique_ptr<TDirNode> root,
                            const QString& errIn) {
  FUITimer->stop();
  FLastScanMs = FScanClock.elapsed();
  QString err = errIn;
  if (ok) {
    S.FRoot = std::move(root);
    FinishScan(true, QString());
  } else {
    root.reset();
    if (S.Cancelled() && err.isEmpty()) err = QStringLiteral("Cancelled by user");
    FinishScan(false, err);
  }
}

void TfrmMain::UITimerTick() {
  if (AppClosing || S.Cancelled() || !FTask) return;
  std::string path;
  int64_t files, dirs, bytes;
  {
    QMutexLocker lock(&FTask->FProgLock);
    path = FTask->FProgPath;
    files = FTask->FProgFiles;
    dirs = FTask->FProgDirs;
    bytes = FTask->FProgBytes;
  }
  if (!btnStop->isEnabled()) return;
  if (FExpectedBytesTotal <= 0) {
    pb->setRange(0, 0);
  } else {
    pb->setRange(0, 1000);
    int pos = 0;
    if (bytes > 0) {
      const double ratio = std::min(double(bytes) / double(FExpectedBytesTotal), 1.0);
      pos = int(std::clamp<int64_t>(Nearest(ratio * 1000.0), 0, 1000));
    }
    pb->setValue(pos);
  }
  if (!path.empty())
    // One arg() call: a "%2" inside a folder name must stay text.
    SetStatus(QStringLiteral("%1: %2  (files: %3, dirs: %4)")
                  .arg(FTask->Activity, DisplayText(path), QString::number(files), QString::number(dirs)));
  else
    SetStatus(QStringLiteral("%1... (files: %2, dirs: %3)").arg(FTask->Activity).arg(files).arg(dirs));
}

void TfrmMain::btnStopClick() {
  if (S.FContext) S.FContext->Cancel();
  SetStatus(QStringLiteral("Cancelling..."));
}

}  // namespace vd::gui
