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
#include "platform/Platform.h"
#include "views/Shell.h"
#include "window/MainWindow.h"

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
  bytes = 0;
  const std::string text = TrimText(ToBytes(edtLessThan->text()).toStdString());
  if (text.empty()) return false;
  const QString q = QString::fromStdString(text);
  // As the user's locale writes numbers (no thousands separators), then the
  // same with "." as the decimal separator.
  bool ok = false;
  QLocale loc;
  loc.setNumberOptions(QLocale::RejectGroupSeparator);
  double v = loc.toDouble(q, &ok);
  if (!ok) {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    v = c.toDouble(q, &ok);
  }
  if (!ok || !std::isfinite(v) || v < 0) return false;
  static const double kUnits[] = {1.0, 1024.0, 1048576.0, 1073741824.0, 1099511627776.0};
  const int idx = cbSizeUnits->currentIndex();
  const double product = v * ((idx >= 0 && idx < 5) ? kUnits[idx] : 1.0);
  if (product >= 9223372036854775808.0)
    bytes = INT64_MAX;
  else
    bytes = Nearest(product);
  return true;
}

void TfrmMain::ApplyFiltersToContext() {
  if (!S.FContext) return;
  TScanContext& c = *S.FContext;
  c.ExcludeModifiedBefore = chModifiedBefore->isChecked();
  c.ModifiedBefore = ToDateTime(QDateTime(dtpDate->date(), FPickerTimeOfDay));
  c.ExcludeLessThan = chLessThan->isChecked();
  c.LessThanBytes = 0;
  if (c.ExcludeLessThan) {
    int64_t b = 0;
    if (TryParseLessThanBytes(b)) c.LessThanBytes = b;
  }
  c.ExcludePattern = chPattern->isChecked();
  c.Pattern = TrimText(ToBytes(edtPattern->text()).toStdString());
  c.PatternMasks.clear();
  if (c.ExcludePattern) c.PatternMasks = SplitPatternMasks(c.Pattern);
}

void TfrmMain::ClearResults() {
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
    int64_t filesOff = 0, dirsOff = 0, bytesOff = 0;
    uint32_t lastTick = platform::GetTickCount();
    try {
      TDiskScanner scanner(context.get());
      scanner.OnProgress = [&](const std::string& path, int64_t files, int64_t folders) {
        const uint32_t now = platform::GetTickCount();
        if (uint32_t(now - lastTick) < 90) return;
        lastTick = now;
        task->SetProgress(path, files + filesOff, folders + dirsOff, scanner.FBytes + bytesOff);
      };
      if (allDrives) {
        root = CreateSyntheticRoot();
        for (const std::string& drive : Drives().GetDrives()) {
          if (context->IsCancelled()) break;
          scanner.ResetCounters();
          std::unique_ptr<TDirNode> node = scanner.Scan(drive);
          if (node && !context->IsCancelled()) root->AppendChildTree(std::move(node));
          filesOff += scanner.FFiles;
          dirsOff += scanner.FDirs;
          bytesOff += scanner.FBytes;
          task->SetProgress(drive, filesOff, dirsOff, bytesOff);
        }
      } else {
        scanner.ResetCounters();
        root = scanner.Scan(pathToScan);
      }
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
    SetStatus(QStringLiteral("Scanning: %1  (files: %2, dirs: %3)")
                  .arg(DisplayText(path), QString::number(files), QString::number(dirs)));
  else
    SetStatus(QStringLiteral("Scanning... (files: %1, dirs: %2)").arg(files).arg(dirs));
}

void TfrmMain::btnStopClick() {
  if (S.FContext) S.FContext->Cancel();
  SetStatus(QStringLiteral("Cancelling..."));
}

}  // namespace vd::gui
