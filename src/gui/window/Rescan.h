// "Rescan" (F5): the folders selected on the active tab are walked again in
// the background with the last scan's filters, spliced into the tree in place
// of their old subtrees, and the four tabs are built again from the whole tree
// by the same results build as after a scan.
//
// - A selected file stands for its folder: F5 on a file refreshes what is
//   around it, as a file manager's F5 does. A folder and one inside it are
//   walked once; "(All Drives)" stands for each of its drives.
// - The walk reads paths only, so the results stay on screen and usable while
//   it runs; the window is busy (Scan, Open, Save, Rescan disabled), so the
//   tree cannot change under it. Stop or an error keeps the old tree and the
//   results shown. Once the walk is complete the views are emptied, the fresh
//   trees spliced in, and the build runs: Stop during the build clears the
//   results, as after a scan.
// - A folder that is gone from a parent that is still there is taken out of
//   the tree (what a rescan of the parent would show); one whose parent is
//   gone too (a branch removed higher up), or any missing folder of a scan
//   file, is refused with "Folder does not exist." and nothing changes. A
//   folder that has become a file is replaced by that file (its parent is
//   walked); one that has become a link or a mount point is not entered.
// - Nothing of a scan file from another machine is rescanned.
#pragma once

#include <QObject>
#include <memory>

namespace vd {
class TRescan;
class TScanContext;
}

namespace vd::gui {

class TfrmMain;

class TRescanAction : public QObject {
  Q_OBJECT
 public:
  explicit TRescanAction(TfrmMain& window);

  // The window says when a run starts or ends.
  void UpdateButtons(bool busy);

 public slots:
  // Rescans what the active tab has selected. Does nothing with nothing
  // selected, without results, or while a scan, build, read or save runs.
  void RescanSelected();

 private:
  TfrmMain& W;
  void Complete(TRescan& rescan, const QString& err, bool restartContentCheck);

  // The context of the results shown while the rescan has its own.
  std::shared_ptr<TScanContext> FKeptContext;
};

}  // namespace vd::gui
