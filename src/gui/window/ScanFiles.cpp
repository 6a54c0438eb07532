#include "window/ScanFiles.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThreadPool>
#include <QToolButton>

#include <filesystem>
#include <system_error>

#include "common/Dialogs.h"
#include "core/Errors.h"
#include "core/dump/ScanDump.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/Shell.h"
#include "window/MainWindow.h"

namespace vd::gui {

namespace {

const QString kOpenFilters = QStringLiteral("Scan files (*.json *.json.gz *.json.zst *.gz *.zst);;All files (*)");

// Each filter of the save dialog with the ending it gives a bare name.
const struct {
  const char* Filter;
  const char* Suffix;
} kSaveFilters[] = {{"Scan file, zstd (*.json.zst)", "json.zst"},
                    {"Scan file, gzip (*.json.gz)", "json.gz"},
                    {"Scan file, plain JSON (*.json)", "json"}};

QString DefaultAskOpenName(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Scan"), QString(), kOpenFilters);
}

QString DefaultAskSaveName(QWidget* parent, const QString& suggested) {
  QFileDialog dlg(parent, QStringLiteral("Save Scan"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  QStringList filters;
  for (const auto& f : kSaveFilters) filters << QString::fromLatin1(f.Filter);
  dlg.setNameFilters(filters);
  dlg.setDefaultSuffix(QString::fromLatin1(kSaveFilters[0].Suffix));
  QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg](const QString& chosen) {
    for (const auto& f : kSaveFilters)
      if (chosen == QLatin1String(f.Filter)) dlg.setDefaultSuffix(QString::fromLatin1(f.Suffix));
  });
  dlg.setDirectory(QFileInfo(suggested).absolutePath());
  dlg.selectFile(QFileInfo(suggested).fileName());
  if (dlg.exec() != QDialog::Accepted) return {};
  return dlg.selectedFiles().value(0);
}

std::string PathBytes(const QString& fromDialog) { return QFile::encodeName(fromDialog).toStdString(); }

int64_t FileSizeOrZero(const std::string& path) {
  std::error_code ec;
  const auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : int64_t(n);
}

// The scan's date as the views write dates.
QString ScanDate(int64_t unixSeconds) {
  return QString::fromStdString(FormatDateTimeShort(FileTimeToLocalDateTime(UnixSecondsToFileTime(unixSeconds))));
}

// The title while a scan file is shown: that it is one, which, of when, and
// of which other machine.
QString FileCaption(const std::string& path, const TScanFileInfo& info) {
  QString text = QStringLiteral("Scan file ") + DisplayText(ExtractFileName(path));
  if (info.Timestamp > 0) text += QStringLiteral(" (") + ScanDate(info.Timestamp) + QLatin1Char(')');
  if (!info.HostName.empty() && info.HostName != platform::HostName())
    text += QStringLiteral(" from ") + DisplayText(info.HostName);
  return text;
}

void RestoreCursor() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace

TScanFileDialogSeam& ScanFileDialogs() {
  static TScanFileDialogSeam seam;
  return seam;
}

TScanFiles::TScanFiles(TfrmMain& window) : QObject(&window), W(window) {
  connect(W.btnOpenScan, &QToolButton::clicked, this, &TScanFiles::btnOpenScanClick);
  connect(W.btnSaveScan, &QToolButton::clicked, this, &TScanFiles::btnSaveScanClick);
}

void TScanFiles::btnOpenScanClick() {
  const auto& ask = ScanFileDialogs().AskOpenName;
  const QString name = ask ? ask(&W) : DefaultAskOpenName(&W);
  if (!name.isEmpty()) OpenScanFile(PathBytes(name));
}

void TScanFiles::btnSaveScanClick() {
  if (!W.S.FRoot) return;
  const auto& ask = ScanFileDialogs().AskSaveName;
  const QString name = ask ? ask(&W, SuggestedSaveName()) : DefaultAskSaveName(&W, SuggestedSaveName());
  if (!name.isEmpty()) SaveScanFile(PathBytes(name));
}

void TScanFiles::UpdateButtons(bool busy) {
  W.btnOpenScan->setEnabled(!busy);
  W.btnSaveScan->setEnabled(!busy && W.S.FRoot);
  // Copy, open, reveal and properties stay: they only read, and look first.
  W.btnRemoveToRecycleBin->setEnabled(W.S.FPathsAreHere);
  W.btnRemove->setEnabled(W.S.FPathsAreHere);
}

bool TScanFiles::IsFromHere(const std::string& hostName, const TDirNode& root) {
  if (!hostName.empty()) return hostName == platform::HostName();
  if (!root.FullPath().empty()) return platform::DirectoryExists(root.FullPath());
  for (const TDirNode* drive : root.Children)
    if (!platform::DirectoryExists(drive->FullPath())) return false;
  return !root.Children.empty();
}

void TScanFiles::ResultsCleared() {
  if (FKeepOrigin) {
    FKeepOrigin = false;
    return;
  }
  FSourceFile.clear();
  FHostName.clear();
  W.S.FPathsAreHere = true;
  // Whatever fills the results next is from now, unless it is a file.
  FTimestamp = QDateTime::currentSecsSinceEpoch();
  SetCaption({});
}

void TScanFiles::SetCaption(const QString& suffix) {
  if (FBaseCaption.isEmpty()) {
    if (suffix.isEmpty()) return;
    FBaseCaption = W.windowTitle();
  }
  W.setWindowTitle(suffix.isEmpty() ? FBaseCaption : FBaseCaption + QStringLiteral(" \u2014 ") + suffix);
}

std::shared_ptr<TScanShared> TScanFiles::BeginRun(const QString& activity, std::shared_ptr<TScanContext>& context) {
  // Stop cancels the run's own context; the results shown keep theirs until
  // they are replaced.
  FKeptContext = W.S.FContext;
  context = std::make_shared<TScanContext>();
  W.S.FContext = context;
  W.SetBusy(true);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  auto task = std::make_shared<TScanShared>();
  task->Activity = activity;
  task->SetProgress({}, 0, 0, 0);
  W.FTask = task;
  return task;
}

void TScanFiles::EndRunKeepingResults() {
  W.S.FContext = std::move(FKeptContext);
  FKeptContext.reset();
  W.pb->setRange(0, 1000);
  W.pb->setValue(0);
  RestoreCursor();
}

QString TScanFiles::SuggestedSaveName() const {
  if (!FSourceFile.empty() && FSourceFile != "-") return QFileInfo(QFile::decodeName(FSourceFile.c_str())).absoluteFilePath();
  QString base = QStringLiteral("scan");
  if (W.S.FRoot) {
    if (W.S.FRoot->FullPath().empty()) {
      base = QStringLiteral("all-drives");
    } else {
      QString name = DisplayText(W.S.FRoot->Name());
      for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) c = QLatin1Char('_');
      while (name.startsWith(QLatin1Char('_'))) name.remove(0, 1);
      if (!name.isEmpty()) base = name;
    }
  }
  const QString day = QDateTime::fromSecsSinceEpoch(FTimestamp > 0 ? FTimestamp : QDateTime::currentSecsSinceEpoch())
                          .toString(QStringLiteral("yyyy-MM-dd"));
  return QDir::home().filePath(base + QLatin1Char('-') + day + QStringLiteral(".json.zst"));
}

void TScanFiles::OpenScanFile(const std::string& path) {
  if (W.IsScanRunning() || !W.btnScan->isEnabled() || AppClosing) return;
  std::shared_ptr<TScanContext> context;
  const std::shared_ptr<TScanShared> task = BeginRun(QStringLiteral("Opening"), context);
  // Progress counts the file's bytes read, packed or not.
  W.FExpectedBytesTotal = path == "-" ? 0 : FileSizeOrZero(path);
  W.FUITimer->start();
  W.SetStatus(QStringLiteral("Opening scan file..."));
  if (W.FExpectedBytesTotal <= 0) {
    W.pb->setRange(0, 0);
  } else {
    W.pb->setRange(0, 1000);
    W.pb->setValue(0);
  }
  W.FScanClock.start();

  QPointer<TfrmMain> window(&W);
  QThreadPool::globalInstance()->start([task, context, path, window] {
    TScanFileRead read;
    QString err;
    try {
      TScanFileReadOptions o;
      o.Cancel = &context->FCancelled;
      o.OnProgress = [&](int64_t, int64_t rawBytes, int64_t files, int64_t folders) {
        task->SetProgress(path, files, folders, rawBytes);
      };
      read = ReadScanFile(path, o);
    } catch (const std::exception& e) {
      err = QString::fromStdString(DescribeError(e));
    } catch (...) {
      err = QStringLiteral("Exception: unknown error");
    }
    // As with a scan, the tree crosses to the UI thread only here.
    auto holder = std::make_shared<TScanFileRead>(std::move(read));
    if (QObject* target = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(
          target,
          [task, holder, err, path, window] {
            if (!window || window->FTask != task || AppClosing) return;
            TScanFiles& self = *window->ScanFiles;
            TfrmMain& w = *window;
            w.FUITimer->stop();
            w.FLastScanMs = w.FScanClock.elapsed();
            if (holder->Root && !w.S.Cancelled()) {
              // Read whole: only now do the old results go.
              w.ClearResults();
              w.S.FRoot = std::move(holder->Root);
              self.FKeptContext.reset();
              self.FSourceFile = path;
              self.FTimestamp = holder->Info.Timestamp;
              self.FHostName = holder->Info.HostName;
              w.S.FPathsAreHere = IsFromHere(holder->Info.HostName, *w.S.FRoot);
              self.SetCaption(FileCaption(path, holder->Info));
              w.FinishScan(true, QString());
              return;
            }
            self.EndRunKeepingResults();
            if (!err.isEmpty()) {
              ShowErrorMessage(&w, QStringLiteral("Cannot open the scan file ") + DisplayText(path) +
                                       QStringLiteral(":\n") + err);
              w.SetStatus(QStringLiteral("Ready"));
            } else {
              w.SetStatus(QStringLiteral("Cancelled"));
            }
            w.SetBusy(false);
          },
          Qt::QueuedConnection);
    }
    task->Finished.store(true);
  });
}

void TScanFiles::SaveScanFile(const std::string& path) {
  if (!W.S.FRoot || W.IsScanRunning() || !W.btnScan->isEnabled() || AppClosing) return;
  std::shared_ptr<TScanContext> context;
  const std::shared_ptr<TScanShared> task = BeginRun(QStringLiteral("Saving"), context);
  const QString before = W.lblStatus->text();
  W.SetStatus(QStringLiteral("Saving scan file..."));
  W.pb->setRange(0, 0);

  // The window stays busy until the write ends: no scan, open or build can
  // replace the tree meanwhile, and the close waits for the task.
  const TDirNode* root = W.S.FRoot.get();
  TScanFileWriteOptions o;
  o.Timestamp = FTimestamp > 0 ? FTimestamp : -1;
  // Saved again, a file still names the machine its paths are on.
  if (ShowsScanFile()) o.HostName = FHostName;
  o.Cancel = &context->FCancelled;
  QPointer<TfrmMain> window(&W);
  QThreadPool::globalInstance()->start([task, context, root, o, path, window, before] {
    bool written = false;
    QString err;
    try {
      written = WriteScanFile(*root, path, o);
    } catch (const std::exception& e) {
      err = QString::fromStdString(DescribeError(e));
    } catch (...) {
      err = QStringLiteral("Exception: unknown error");
    }
    if (QObject* target = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(
          target,
          [task, written, err, path, window, before] {
            if (!window || window->FTask != task || AppClosing) return;
            TfrmMain& w = *window;
            window->ScanFiles->EndRunKeepingResults();
            if (!err.isEmpty()) {
              ShowErrorMessage(&w, QStringLiteral("Cannot save the scan file:\n") + err);
              w.SetStatus(before);
            } else if (!written) {
              w.SetStatus(QStringLiteral("Cancelled"));
            } else {
              w.SetStatus(QStringLiteral("Scan saved: ") + DisplayText(path));
            }
            w.SetBusy(false);
          },
          Qt::QueuedConnection);
    }
    task->Finished.store(true);
  });
}

}  // namespace vd::gui
