// The results pipeline: turns a finished scan into the four tabs, stage by
// stage, with the Stop button live between stages.
#include <QApplication>
#include <QProgressBar>

#include "common/Dialogs.h"
#include "core/Errors.h"
#include "core/results/Beside.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/files/FilesTab.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "tabs/folders/FoldersTab.h"
#include "window/MainWindow.h"
#include "window/SizeSwitch.h"

namespace vd::gui {

namespace {
// Cancellation between stages: caught by type, never shown as an error.
struct EPipelineAbort {};
}  // namespace

void TfrmMain::RunPipeline() {
  auto checkCancelled = [this] {
    if (S.Cancelled()) throw EPipelineAbort{};
  };
  QElapsedTimer stageClock;
  stageClock.start();
  FLastStageMs.clear();
  // Lets the window handle what waits (paint, Stop) inside a long stage.
  auto breathe = [this] {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    FEventClock.restart();
  };
  auto announce = [this, &stageClock, &breathe](const char* text) {
    FLastStageMs.emplace_back(QString::fromLatin1(text), 0);
    if (FLastStageMs.size() > 1) FLastStageMs[FLastStageMs.size() - 2].second = stageClock.restart();
    SetStatus(QString::fromLatin1(text));
    // Every stage is shown, however quickly the last one ended.
    breathe();
  };
  // Long core steps (sorting every file, laying out every tile) run beside
  // this thread while the window keeps turning; each builds into storage of
  // its own, so what the window paints meanwhile stays whole.
  TPumpScope pumping(breathe);
  // A layout started ahead reads the flat list: it ends before this does.
  struct TDropAhead {
    TFilesTab* Tab;
    ~TDropAhead() { Tab->DropFilesTreemapAhead(); }
  } dropAhead{FilesTab};
  announce("Building file list...");
  checkCancelled();
  // Every size below is read in the measure the switch picks.
  SizeSwitch->ApplyMeasure();
  FilesTab->FlattenAllFilesFromRoot();
  checkCancelled();
  // The treemap of every file is laid out while the lists below are filled.
  FilesTab->StartFilesTreemapAhead();

  announce("Building Largest Files list...");
  FilesTab->BuildDisplayFiles();
  checkCancelled();

  announce("Populating Largest Files UI...");
  FilesTab->PopulateFileList();
  // The file list stops early on Stop; the rest of the stage would only be
  // thrown away by the check after it. Between its steps the window breathes:
  // on millions of files each step alone takes a noticeable time.
  if (!S.Cancelled()) {
    breathe();
    FilesTab->PopulateExtList();
    breathe();
  }
  if (!S.Cancelled()) {
    FilesTab->ResetTreemapSelection();
    FilesTab->RebuildFilesTreemap();
  }
  checkCancelled();

  announce("Building folders tree...");
  FoldersTab->BuildFoldersTree();
  checkCancelled();

  announce("Building duplicates...");
  DuplicatesTab->BuildDuplicates();
  checkCancelled();

  // The folders tree has just sorted every folder's children, largest first.
  S.FSelectedFolder = S.FRoot && !S.FRoot->Children.empty() ? S.FRoot->Children[0] : nullptr;

  announce("Populating folders UI...");
  FoldersTab->PopulateFilesOfSelectedFolder();
  breathe();
  checkCancelled();
  FoldersTab->RebuildFolderTreemap();
  checkCancelled();

  announce("Building folders/files tree...");
  FilesInFoldersTab->BuildFoldersAndFilesTree();
  checkCancelled();

  announce("Populating extensions...");
  FilesInFoldersTab->PopulateFileExtensionsList();
  breathe();
  checkCancelled();
  FilesInFoldersTab->RebuildHierTreemap();
  checkCancelled();
  // The steps that ran beside left their scratch in their threads' pools.
  platform::ReleaseFreeMemory();
  FLastStageMs.back().second = stageClock.elapsed();
}

void TfrmMain::FinishScan(bool ok, const QString& err) {
  QElapsedTimer clock;
  clock.start();
  pb->setValue(0);
  pb->setRange(0, 0);
  auto normalBar = [this] {
    pb->setRange(0, 1000);
    pb->setValue(0);
  };
  if (ok) {
    try {
      RunPipeline();
      normalBar();
      SetStatus(QStringLiteral("Done. Total files: %1   Total size: %2")
                    .arg(qlonglong(S.FAllFiles.size()))
                    .arg(QString::fromStdString(FormatSize(S.FAllTotalBytes))));
      DuplicatesTab->StartContentCheck();  // in the background, over the groups just built
    } catch (const EPipelineAbort&) {
      ClearResults();
      normalBar();
      SetStatus(QStringLiteral("Cancelled"));
    } catch (const std::exception& e) {
      normalBar();
      ShowErrorMessage(this, QStringLiteral("Error while building results:\n") + QString::fromStdString(DescribeError(e)));
      SetStatus(QStringLiteral("Ready"));
    } catch (...) {
      normalBar();
      ShowErrorMessage(this, QStringLiteral("Error while building results:\nException: unknown error"));
      SetStatus(QStringLiteral("Ready"));
    }
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  } else {
    normalBar();
    if (!err.isEmpty()) ShowErrorMessage(this, QStringLiteral("Scan failed: \n") + err);
    SetStatus(QStringLiteral("Ready"));
    FilesTab->InvalidateBuf();
    FilesInFoldersTab->InvalidateBuf();
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
  SetBusy(false);
  FLastBuildMs = clock.elapsed();
}

}  // namespace vd::gui
