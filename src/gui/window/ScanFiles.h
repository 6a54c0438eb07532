// Scan files in the window: "Open Scan..." (Ctrl+O) reads one in the
// background and builds the four tabs through the same pipeline as a scan;
// "Save Scan..." (Ctrl+S) writes the results shown.
//
// Opening reads into a new tree while the old results stay on screen: they go
// only once the file has been read whole. A malformed, truncated or unreadable
// file, or Stop, keeps them. Stop works while reading and, as after a scan,
// during the build that follows. Saving runs in the background too, with the
// window busy so nothing can change or free the tree while it is written.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace vd {
class TDirNode;
class TScanContext;
}

namespace vd::gui {

class TfrmMain;
struct TScanShared;

// The file dialogs, behind a seam so that tests can answer them. Each returns
// the chosen file name (empty: cancelled). Empty functions: a QFileDialog.
struct TScanFileDialogSeam {
  std::function<QString(QWidget* parent)> AskOpenName;
  // `suggested` is a full path with a name and an ending.
  std::function<QString(QWidget* parent, const QString& suggested)> AskSaveName;
};
TScanFileDialogSeam& ScanFileDialogs();

class TScanFiles : public QObject {
  Q_OBJECT
 public:
  explicit TScanFiles(TfrmMain& window);

  void btnOpenScanClick();
  void btnSaveScanClick();

  // Reads the scan file at `path` (bytes) and shows it as the results. Does
  // nothing while a scan, a build, a read or a save runs.
  void OpenScanFile(const std::string& path);
  // Writes the current results to `path` (bytes); the ending picks plain,
  // .gz or .zst.
  void SaveScanFile(const std::string& path);

  // The name "Save Scan..." offers for the current results.
  QString SuggestedSaveName() const;

  // The window says when its results are gone or a run starts or ends.
  void ResultsCleared();
  void UpdateButtons(bool busy);

  // Whether the results shown were read from a scan file.
  bool ShowsScanFile() const { return !FSourceFile.empty(); }
  // The next clear of the results keeps where they came from: a rescan
  // empties the views but the tree stays the file's.
  void KeepOriginThroughClear() { FKeepOrigin = true; }
  // Whether a scan file with this host name and root stands for paths of
  // this machine: ours name the machine; one without a name (another tool's)
  // counts as from here where its root (every drive of an all-drives file)
  // is a folder here.
  static bool IsFromHere(const std::string& hostName, const TDirNode& root);

 private:
  void SetCaption(const QString& suffix);
  // A read or save: the window busy, the task and its own context.
  std::shared_ptr<TScanShared> BeginRun(const QString& activity, std::shared_ptr<TScanContext>& context);
  // The end of one that leaves the results as they were.
  void EndRunKeepingResults();

  TfrmMain& W;
  // The context of the results shown while a read or save has its own.
  std::shared_ptr<TScanContext> FKeptContext;
  // Where the results came from: the file read (empty after a live scan),
  // and the scan's date in unix seconds (0: unknown).
  std::string FSourceFile;
  int64_t FTimestamp = 0;
  // The machine the file names ("": none), kept when it is saved again.
  std::string FHostName;
  bool FKeepOrigin = false;
  QString FBaseCaption;
};

}  // namespace vd::gui
