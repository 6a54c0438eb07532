// The six toolbar actions on what the active tab has selected: copy the paths,
// open the items, show them in their folders, show their properties, move them
// to the trash, delete them permanently.
//
// Wiring (main window):
//   FFileActions = new TFileActions(this, FState, {
//       [this] { return qobject_cast<TResultTab*>(PageControl1->currentWidget()); },
//       [this] { FTabFiles->InvalidateBuf(); },            // InvalidateBuf1
//       [this] { FTabFilesInFolders->InvalidateBuf(); }});  // InvalidateBuf3
//   connect(btnOpen, &QToolButton::clicked, FFileActions, &TFileActions::btnOpenClick);
//   ... and so on for the other five buttons.
// The object is a child of `parent`, which is also the parent of every box and
// properties window it shows. It keeps no state between clicks.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace vd {
class TDirNode;
}

namespace vd::gui {

class TCopyRecheck;
class TResultTab;
struct TResultsState;

// Whether the item at `path` on disk is still what the tree `root` recorded
// there: a folder is a folder (not a link to one, nor a file), a file is a
// regular file of the recorded size. A path the tree does not hold, or that
// is gone from the disk, passes: there is nothing to mistake for it.
bool StillAsScanned(const TDirNode* root, const std::string& path);

// How one path is removed. Tests replace these to make a removal fail where
// the file system cannot be made to refuse.
struct TRemoveSeam {
  // The desktop's trash on the raw bytes of the path (the trash of the item's
  // own file system, so nothing is copied between file systems).
  std::function<bool(const std::string& path)> MoveToTrash;
  // Permanent removal that never follows a symbolic link out of the folder.
  std::function<bool(const std::string& path)> DeleteTree;
};
TRemoveSeam& RemoveOps();

class TFileActions : public QObject {
  Q_OBJECT
 public:
  struct THooks {
    // The tab that is showing; null before there is one.
    std::function<TResultTab*()> ActiveTab;
    // Repaint the "Only Files" and the "Files in Folders" treemap surfaces.
    std::function<void()> InvalidateBuf1;
    std::function<void()> InvalidateBuf3;
  };

  TFileActions(QWidget* parent, TResultsState& state, THooks hooks);

  // The active tab's selection, each item once, and nothing inside a folder
  // that is itself selected (deleting the folder takes it anyway; listed on
  // its own it would be counted twice and reported as a failure). Empty with
  // no tab.
  std::vector<std::string> GatherSelectedPaths() const;
  // `paths` without repeats and without paths inside another of them, in
  // first-seen order.
  static std::vector<std::string> OutermostDistinct(const std::vector<std::string>& paths);

  // Removes every path (each distinct one once; one inside a folder removed
  // before it counts as done) and stops at the first that cannot be removed.
  // An item that is no longer what the scan says (StillAsScanned) is left,
  // and a box lists those; nothing is removed for a scan file of another
  // machine. True when all the others are gone; false for an empty list.
  bool ShellDeletePaths(const std::vector<std::string>& paths, bool toRecycleBin);

  // Every trash and delete goes through here; so does the last look at the
  // copies "Select Copies" chose, for that selection (CopyRecheck.h).
  //
  // After a successful delete: the "Only Files" and "Files in Folders"
  // treemaps lose their selections and repaint. Nothing else changes; the
  // removed items stay in the results until the next scan.
  void AfterFileAction();

 signals:
  // What a trash or delete removed, as gathered (a folder stands for what it
  // held), also when it stopped part way.
  void ItemsRemoved(const std::vector<std::string>& paths);

 public slots:
  void btnOpenClick();
  void SpeedButton1Click();  // copy the paths to the clipboard
  void btnOpenExplorerClick();
  void btnShowPropertiesClick();
  void btnRemoveToRecycleBinClick();
  void btnRemoveClick();

 private:
  // Paths that exist as a file or a folder (links followed), in order.
  std::vector<std::string> ExistingSelectedPaths() const;
  void AskAndRemove(bool toRecycleBin);
  // ShellDeletePaths, where a copy `recheck` covers goes only when it still
  // holds its kept file's bytes; a copy left counts as done.
  bool RemovePaths(const std::vector<std::string>& paths, bool toRecycleBin, TCopyRecheck& recheck);

  QWidget* FParent;
  TResultsState& S;
  THooks FHooks;
};

}  // namespace vd::gui
