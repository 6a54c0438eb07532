// The main window: the top band with the toolbar and the source and filter
// groups, the four result tabs, the status line, and the scan run from the
// Scan click to the finished results. It owns the shared results state; each
// tab owns its own controls and handlers.
#pragma once

#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMutex>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ResultsState.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QTabWidget;
class QToolButton;
class QWidget;

namespace vd::gui {

class TResultTab;
class TFilesTab;
class TFoldersTab;
class TFilesInFoldersTab;
class TDuplicatesTab;
class TFileActions;
class TContextMenus;
class TWindowKeys;
class TScanFiles;
class TRescanAction;
class TSizeSwitch;

// What the scan task shares with the window. Held by shared pointer on both
// sides, so a task that outlives the window's wait at close never touches
// freed memory.
struct TScanShared {
  QMutex FProgLock;
  std::string FProgPath;
  int64_t FProgFiles = 0;
  int64_t FProgDirs = 0;
  int64_t FProgBytes = 0;
  std::atomic<bool> Finished{false};
  // What the status line says the task is doing: "Scanning", "Opening", ...
  QString Activity = QStringLiteral("Scanning");

  void SetProgress(const std::string& path, int64_t files, int64_t dirs, int64_t bytes);
};

// The seam through which the window finds drives and their used space; tests
// replace it to give a fixed list.
struct TDriveSeam {
  std::function<std::vector<std::string>()> GetDrives;
  std::function<int64_t(const std::string&)> GetUsedBytes;
};
TDriveSeam& Drives();

class TfrmMain : public QMainWindow, public TWindowHooks {
  Q_OBJECT
 public:
  explicit TfrmMain(QWidget* parent = nullptr);  // FormCreate
  ~TfrmMain() override;                           // FormDestroy

  // ---- window services (TWindowHooks) ----
  void SetStatus(const QString& text) override;
  QProgressBar* ProgressBar() override { return pb; }
  void UpdateSelectionStatus() override;
  void ProcessPendingEvents() override;
  void SetProgress(int value, bool last) override;

  void SetBusy(bool busy);
  void UpdateSourceControls();
  void UpdateFilterControls();
  void AdjustBottomPanels();
  TResultTab* ActiveTab() const;

  // ---- scan run ----
  void btnScanClick();
  void btnStopClick();
  void UITimerTick();
  bool TryParseLessThanBytes(int64_t& bytes) const;
  void ApplyFiltersToContext();
  void ClearResults();
  // Empties the views and builds them again from the tree shown (the size
  // switch): the tree and what the window knows of its source stay.
  void RebuildResults();
  void PositionProgressBar();
  void FinishScan(bool ok, const QString& err);
  bool IsScanRunning() const { return FTask && !FTask->Finished.load(); }

  void btnBrowseClick();
  void btnAboutClick();
  void btnWEbsiteClick();

  // ---- start from the command line (WindowStart.cpp) ----
  // Chooses the source (all drives, or the folder given as bytes) and starts
  // the scan as if Scan had been pressed.
  void StartScanFromCommandLine(bool allDrives, const std::string& folder);
  // Puts back the geometry, maximised state and splitter positions of the
  // last session from the user's settings, and from then on saves them when
  // the window closes. Windows that never call it read and write nothing.
  void RestoreWindowLayout();
  void SaveWindowLayout() const;

  TResultsState S;
  std::shared_ptr<TScanShared> FTask;  // the running or last scan task
  int64_t FExpectedBytesTotal = 0;
  QTimer* FUITimer = nullptr;
  // How long the last walk and the last results build took (benchmarks).
  QElapsedTimer FScanClock;
  int64_t FLastScanMs = 0;
  int64_t FLastBuildMs = 0;
  std::vector<std::pair<QString, int64_t>> FLastStageMs;  // per announced stage
  QElapsedTimer FEventClock;  // when pending events were last handled
  // Whether ProcessPendingEvents would turn the event loop now.
  bool EventsDue() const;

  // Controls, named as the user sees them.
  QWidget* pnlTop = nullptr;
  QWidget* Panel4 = nullptr;
  QToolButton *btnScan = nullptr, *btnStop = nullptr, *btnRescan = nullptr, *btnOpenScan = nullptr,
              *btnSaveScan = nullptr, *btnOpen = nullptr, *btnCopyPath = nullptr, *btnOpenExplorer = nullptr, *btnShowProperties = nullptr, *btnRemoveToRecycleBin = nullptr,
              *btnRemove = nullptr, *btnAbout = nullptr, *btnWEbsite = nullptr;
  QGroupBox* gbSource = nullptr;
  QRadioButton *rbAllDrives = nullptr, *rbCustomPath = nullptr;
  QComboBox* cmbCustomPath = nullptr;
  QToolButton* btnBrowse = nullptr;
  QGroupBox* gbFilters = nullptr;
  QCheckBox *chModifiedBefore = nullptr, *chLessThan = nullptr, *chPattern = nullptr;
  QDateTimeEdit* dtpDate = nullptr;
  // The picker shows a day; the time of day it was designed with stays
  // hidden and goes with whatever day is picked.
  QTime FPickerTimeOfDay{0, 4, 41, 132};
  QLineEdit *edtLessThan = nullptr, *edtPattern = nullptr;
  // The exact bytes of a custom path that came from the file system (the
  // command line, a drop), for as long as the box shows them: a name that is
  // not UTF-8 cannot come back whole from the box's text.
  std::string FCustomPathBytes;
  QComboBox* cbSizeUnits = nullptr;
  QWidget* panStatus = nullptr;
  QLabel* lblStatus = nullptr;
  QProgressBar* pb = nullptr;
  QTabWidget* PageControl1 = nullptr;

  TFilesTab* FilesTab = nullptr;                  // "Only Files" (TabSheet1)
  TFoldersTab* FoldersTab = nullptr;              // "Only Folders" (TabSheet2)
  TFilesInFoldersTab* FilesInFoldersTab = nullptr;  // "Files in Folders" (TabSheet3)
  TDuplicatesTab* DuplicatesTab = nullptr;        // "Duplicates" (TabSheetDuplicates)
  std::vector<TResultTab*> Tabs() const;

  TFileActions* Actions = nullptr;
  // Keys, context menus, dragging items out, dropping folders in, names for
  // screen readers (DesktopHabits.cpp).
  TWindowKeys* Keys = nullptr;
  TContextMenus* ContextMenus = nullptr;
  TScanFiles* ScanFiles = nullptr;  // "Open Scan...", "Save Scan..." (ScanFiles.cpp)
  TRescanAction* Rescanner = nullptr;  // "Rescan" (Rescan.cpp)
  TSizeSwitch* SizeSwitch = nullptr;   // "Size on disk" / "Apparent size" (SizeSwitch.cpp)

  // Set once the window has begun to be destroyed.
  bool FDestroying = false;
  // Set by RestoreWindowLayout: closing saves the layout.
  bool FRememberLayout = false;

 protected:
  void resizeEvent(QResizeEvent* e) override;  // FormResize
  void closeEvent(QCloseEvent* e) override;     // FormCloseQuery
  void showEvent(QShowEvent* e) override;

 private:
  void BuildTopBand();
  void BuildStatusBar();
  void BuildTabs();
  void FillDriveCombo();
  void ClearViews();
  QToolButton* MakeToolButton(const char* name, const QString& hint, const QString& image);
  void StartTask(const std::string& pathToScan, bool allDrives);
  void CompleteScan(const std::shared_ptr<TScanShared>& task, bool ok, std::unique_ptr<TDirNode> root,
                    const QString& err);
  void RunPipeline();
  void InstallDesktopHabits();
};

}  // namespace vd::gui
