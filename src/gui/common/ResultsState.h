// What the main window shares with its four tabs: the one scan tree, the data
// built from it, the layouts that draw it, and the flags every view obeys.
#pragma once

#include <QProgressBar>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/scan/DiskScanner.h"
#include "core/layout/DupTreemap.h"
#include "core/results/Duplicates.h"
#include "core/layout/FilesTreemap.h"
#include "core/layout/FolderTreemap.h"
#include "core/layout/HierTreemap.h"
#include "core/scan/ScanModel.h"

namespace vd::gui {

// Set when the main window starts to close and never reset: from then on the
// views' paint, resize, timer and selection handlers return at once.
extern bool AppClosing;

struct TResultsState {
  // The only owner of the scan tree; everything below refers into it.
  std::unique_ptr<TDirNode> FRoot;
  // The latest scan's filters and cancellation flag. Shared with the scan task,
  // which may outlive the window's wait at close.
  std::shared_ptr<TScanContext> FContext;

  TTreemapLayout FTreemap;        // "Only Files"
  TFolderTreemapLayout FFolderMap;  // "Only Folders"
  THierTreemapLayout FHierMap;    // "Files in Folders"
  TDupTreemapLayout FDupeMap;     // "Duplicates"

  TDupGroups FDupeGroups;
  // Keyed by the file itself (its record in the tree), not by its path.
  TDupColorMap FDupeColorByFileUpper;   // file -> group colour
  TDupGroupMap FDupeGroupByFileUpper;   // file -> group

  std::vector<TFileLeaf*> FAllFiles;  // every file, largest first
  int64_t FAllTotalBytes = 0;
  std::vector<TFileLeaf*> FDisplayFiles;  // the 5000 largest
  int64_t FDisplayTotalBytes = 0;

  TDirNode* FSelectedFolder = nullptr;

  // True while one control updates another by program, so that handlers do
  // not echo the change back. A flag, not a counter.
  bool FSyncing = false;
  // Whether the tree's paths are on this machine: a scan, or a scan file
  // made here. A file from elsewhere names paths that Trash, Delete, Rescan
  // and the content check must not touch, whatever happens to lie there.
  bool FPathsAreHere = true;

  bool Cancelled() const { return FContext && FContext->IsCancelled(); }
};

// Sets FSyncing for a scope, restoring false on every way out (errors and
// cancellation included). Does nothing when the flag was already set, so the
// outer owner keeps it.
class TSyncGuard {
 public:
  explicit TSyncGuard(TResultsState& s) : FState(s), FOwner(!s.FSyncing) { s.FSyncing = true; }
  ~TSyncGuard() {
    if (FOwner) FState.FSyncing = false;
  }
  TSyncGuard(const TSyncGuard&) = delete;
  TSyncGuard& operator=(const TSyncGuard&) = delete;

 private:
  TResultsState& FState;
  bool FOwner;
};

// The window services a tab uses while it builds or reacts.
class TWindowHooks {
 public:
  virtual ~TWindowHooks() = default;
  virtual void SetStatus(const QString& text) = 0;
  virtual QProgressBar* ProgressBar() = 0;
  // Moves the progress bar on a stage's many small steps. A bar repaints
  // itself at once whenever it has moved a pixel, so a window shows only the
  // steps its event loop turns on, as with the status line; `last` is always
  // shown.
  virtual void SetProgress(int value, bool last) {
    (void)last;
    if (QProgressBar* pb = ProgressBar()) pb->setValue(value);
  }
  // Writes the status line from the active tab's selection.
  virtual void UpdateSelectionStatus() = 0;
  // Lets the UI repaint and handle input (a click on Stop) during long work.
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace vd::gui
