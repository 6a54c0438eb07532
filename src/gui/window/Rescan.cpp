#include "window/Rescan.h"

#include <QApplication>
#include <QPointer>
#include <QProgressBar>
#include <QThreadPool>
#include <QToolButton>

#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "core/Errors.h"
#include "core/scan/Splice.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "views/Shell.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"

namespace vd::gui {

namespace {

// The filters of the last scan (none after a scan file was opened: a file
// does not say which were used), with a cancellation flag of the rescan's own.
void CopyFilters(const TScanContext* from, TScanContext& to) {
  if (!from) return;
  to.ExcludeModifiedBefore = from->ExcludeModifiedBefore;
  to.ModifiedBefore = from->ModifiedBefore;
  to.ExcludeLessThan = from->ExcludeLessThan;
  to.LessThanBytes = from->LessThanBytes;
  to.ExcludePattern = from->ExcludePattern;
  to.Pattern = from->Pattern;
  to.PatternMasks = from->PatternMasks;
  to.ScanThreads = from->ScanThreads;
}

void RestoreCursor() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace

TRescanAction::TRescanAction(TfrmMain& window) : QObject(&window), W(window) {
  connect(W.btnRescan, &QToolButton::clicked, this, &TRescanAction::RescanSelected);
}

void TRescanAction::UpdateButtons(bool busy) { W.btnRescan->setEnabled(!busy && W.S.FRoot && W.S.FPathsAreHere); }

void TRescanAction::RescanSelected() {
  if (AppClosing || !W.S.FRoot || !W.S.FPathsAreHere || W.IsScanRunning() || !W.btnScan->isEnabled()) return;
  std::vector<TDirNode*> folders;
  for (const std::string& path : W.Actions->GatherSelectedPaths())
    if (TDirNode* d = FolderOfPath(W.S.FRoot.get(), path)) folders.push_back(d);
  auto rescan = std::make_shared<TRescan>(folders);
  if (rescan->Folders().empty()) return;
  for (const TDirNode* f : rescan->Folders()) {
    if (!CanRescan(*f, W.ScanFiles->ShowsScanFile())) {
      ShowErrorMessage(&W, QStringLiteral("Folder does not exist.\n") + DisplayText(f->FullPath()));
      return;
    }
  }

  // The check reads the tree's files: it stops now, and starts again over
  // the rebuilt groups, or over the same ones if the rescan comes to nothing.
  const bool restartCheck = W.DuplicatesTab->ContentCheckRunning();
  W.DuplicatesTab->CancelContentCheck();

  FKeptContext = W.S.FContext;
  auto context = std::make_shared<TScanContext>();
  CopyFilters(FKeptContext.get(), *context);
  W.S.FContext = context;  // Stop cancels the rescan, and then its build
  W.SetBusy(true);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  auto task = std::make_shared<TScanShared>();
  task->Activity = QStringLiteral("Rescanning");
  task->SetProgress({}, 0, 0, 0);
  W.FTask = task;
  W.FExpectedBytesTotal = 0;
  W.FUITimer->start();
  W.SetStatus(QStringLiteral("Rescanning..."));
  W.pb->setRange(0, 0);
  W.FScanClock.start();

  QPointer<TfrmMain> window(&W);
  QThreadPool::globalInstance()->start([task, context, rescan, window, restartCheck] {
    QString err;
    try {
      TWalkOptions o;
      o.OnProgress = [&task](const std::string& path, int64_t files, int64_t dirs, int64_t bytes) {
        task->SetProgress(path, files, dirs, bytes);
      };
      rescan->Walk(*context, o);
    } catch (const std::exception& e) {
      err = QString::fromStdString(DescribeError(e));
    } catch (...) {
      err = QStringLiteral("Exception: unknown error");
    }
    // As with a scan, the fresh trees cross to the UI thread only here.
    if (QObject* target = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(
          target,
          [task, rescan, err, window, restartCheck] {
            if (window && window->FTask == task && !AppClosing) window->Rescanner->Complete(*rescan, err, restartCheck);
          },
          Qt::QueuedConnection);
    }
    task->Finished.store(true);
  });
}

void TRescanAction::Complete(TRescan& rescan, const QString& err, bool restartContentCheck) {
  W.FUITimer->stop();
  W.FLastScanMs = W.FScanClock.elapsed();
  if (err.isEmpty() && rescan.Complete() && !W.S.Cancelled()) {
    // Nothing shown may point into a subtree about to go: the views are
    // emptied with the tree set aside, then built again from the whole tree.
    std::unique_ptr<TDirNode> root = std::move(W.S.FRoot);
    W.ScanFiles->KeepOriginThroughClear();
    W.ClearResults();
    rescan.SpliceInto(root);
    W.S.FRoot = std::move(root);
    FKeptContext.reset();
    W.FinishScan(true, QString());
    return;
  }
  W.S.FContext = std::move(FKeptContext);
  FKeptContext.reset();
  W.pb->setRange(0, 1000);
  W.pb->setValue(0);
  RestoreCursor();
  if (!err.isEmpty()) {
    ShowErrorMessage(&W, QStringLiteral("Rescan failed: \n") + err);
    W.SetStatus(QStringLiteral("Ready"));
  } else {
    W.SetStatus(QStringLiteral("Cancelled"));
  }
  W.SetBusy(false);
  if (restartContentCheck) W.DuplicatesTab->StartContentCheck();
}

}  // namespace vd::gui
