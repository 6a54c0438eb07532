#include "window/MainWindow.h"
#include "window/SizeSwitch.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QThreadPool>
#include <QToolButton>

#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "platform/Platform.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/files/FilesTab.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "tabs/folders/FoldersTab.h"
#include "update/Site.h"
#include "update/UpdateSeams.h"
#include "views/Shell.h"
#include "window/Rescan.h"
#include "window/ScanFiles.h"

// Resources of a static library are registered by hand, from the global namespace.
static void InitVorndaleResources() { Q_INIT_RESOURCE(resources); }

namespace vd::gui {

TDriveSeam& Drives() {
  static TDriveSeam seam{[] { return platform::GetDrives(); },
                         [](const std::string& root) { return platform::GetUsedBytes(root); }};
  return seam;
}

namespace {
constexpr int kTopBandHeight = 116;
constexpr int kStatusHeight = 27;

// Keeps a child's right edge a fixed distance from its parent's (the filter
// group stretches with the window, the source group keeps its size).
class TRightAnchor : public QObject {
 public:
  TRightAnchor(QWidget* child, int rightMargin) : QObject(child), FChild(child), FMargin(rightMargin) {
    child->parentWidget()->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize) {
      const int w = FChild->parentWidget()->width() - FChild->x() - FMargin;
      FChild->resize(std::max(w, 100), FChild->height());
    }
    return false;
  }

 private:
  QWidget* FChild;
  int FMargin;
};
}  // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  InitVorndaleResources();
  AppClosing = false;  // one main window at a time; a new one starts open
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QApplication::applicationName() + QStringLiteral(" 1.0"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/app")));
  resize(1240, 720);

  auto* central = new QWidget(this);
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);
  setCentralWidget(central);

  BuildTopBand();
  v->addWidget(pnlTop);
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  v->addWidget(PageControl1, 1);
  BuildStatusBar();
  v->addWidget(panStatus);
  BuildTabs();

  FUITimer = new QTimer(this);
  FUITimer->setInterval(120);
  connect(FUITimer, &QTimer::timeout, this, &TfrmMain::UITimerTick);

  Actions = new TFileActions(this, S,
                             {[this] { return ActiveTab(); }, [this] { FilesTab->InvalidateBuf(); },
                              [this] { FilesInFoldersTab->InvalidateBuf(); }});
  ScanFiles = new TScanFiles(*this);
  Rescanner = new TRescanAction(*this);
  SizeSwitch = new TSizeSwitch(*this);
  connect(btnScan, &QToolButton::clicked, this, &TfrmMain::btnScanClick);
  connect(btnStop, &QToolButton::clicked, this, &TfrmMain::btnStopClick);
  connect(btnOpen, &QToolButton::clicked, Actions, &TFileActions::btnOpenClick);
  connect(btnCopyPath, &QToolButton::clicked, Actions, &TFileActions::SpeedButton1Click);
  connect(btnOpenExplorer, &QToolButton::clicked, Actions, &TFileActions::btnOpenExplorerClick);
  connect(btnShowProperties, &QToolButton::clicked, Actions, &TFileActions::btnShowPropertiesClick);
  connect(btnRemoveToRecycleBin, &QToolButton::clicked, Actions, &TFileActions::btnRemoveToRecycleBinClick);
  connect(btnRemove, &QToolButton::clicked, Actions, &TFileActions::btnRemoveClick);
  // Whichever tab removed them, the duplicates' verdicts lose those files.
  connect(Actions, &TFileActions::ItemsRemoved, DuplicatesTab, &TDuplicatesTab::ForgetRemoved);
  connect(btnAbout, &QToolButton::clicked, this, &TfrmMain::btnAboutClick);
  connect(btnWEbsite, &QToolButton::clicked, this, &TfrmMain::btnWEbsiteClick);
  connect(btnBrowse, &QToolButton::clicked, this, &TfrmMain::btnBrowseClick);
  connect(rbAllDrives, &QRadioButton::toggled, this, &TfrmMain::UpdateSourceControls);
  connect(rbCustomPath, &QRadioButton::toggled, this, &TfrmMain::UpdateSourceControls);
  connect(chModifiedBefore, &QCheckBox::toggled, this, &TfrmMain::UpdateFilterControls);
  connect(chLessThan, &QCheckBox::toggled, this, &TfrmMain::UpdateFilterControls);
  connect(chPattern, &QCheckBox::toggled, this, &TfrmMain::UpdateFilterControls);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    if (AppClosing) return;
    // A page that was hidden during a resize has not placed its panels yet;
    // any other keeps its splitters as the user left them.
    if (TResultTab* t = ActiveTab(); t && t->TakeBottomPanelPending()) t->AdjustBottomPanel(width());
  });

  FillDriveCombo();
  UpdateSourceControls();
  SetBusy(false);
  edtPattern->setEnabled(false);
  cbSizeUnits->setEnabled(false);
  UpdateFilterControls();
  SetStatus(QStringLiteral("Ready"));
  AdjustBottomPanels();
  InstallDesktopHabits();
  setWindowState(windowState() | Qt::WindowMaximized);
}

TfrmMain::~TfrmMain() {
  FDestroying = true;
  AppClosing = true;
  FUITimer->stop();
  if (S.FContext) S.FContext->Cancel();
  // The task stops within one directory entry once cancelled; if it is still
  // busy after the wait, everything it can touch is shared with it and stays
  // alive until it lets go.
  if (FTask) {
    for (int waited = 0; waited < 2000 && !FTask->Finished.load(); waited += 10) QThread::msleep(10);
  }
  // A scan cut short here never reaches its completion, which would have
  // put the cursor back.
  if (btnStop->isEnabled())
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  // A save still writing after the wait reads the tree: it is left to the
  // end of the process rather than freed under the writer. A content check
  // stuck in a read (a dead network mount) reads only its own paths.
  DuplicatesTab->CancelContentCheck();
  if (FTask && !FTask->Finished.load()) (void)S.FRoot.release();
  // Tabs are children and die after this body; they must find no tree.
  ClearResults();
}

QToolButton* TfrmMain::MakeToolButton(const char* name, const QString& hint, const QString& image) {
  auto* b = new QToolButton(Panel4);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(hint);
  b->setAutoRaise(true);
  b->setIcon(QIcon(QStringLiteral(":/icons/") + image));
  b->setIconSize(QSize(35, 35));
  b->setFixedSize(60, 41);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

void TfrmMain::BuildTopBand() {
  pnlTop = new QWidget(this);
  pnlTop->setObjectName(QStringLiteral("pnlTop"));
  pnlTop->setFixedHeight(kTopBandHeight);

  Panel4 = new QWidget(pnlTop);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setGeometry(8, 8, 1240 - 16, 41);
  new TRightAnchor(Panel4, 8);
  auto* tb = new QHBoxLayout(Panel4);
  tb->setContentsMargins(0, 0, 0, 0);
  tb->setSpacing(0);
  btnScan = MakeToolButton("btnScan", QStringLiteral("Scan"), QStringLiteral("scan"));
  btnStop = MakeToolButton("btnStop", QStringLiteral("Stop"), QStringLiteral("stop"));
  btnRescan = MakeToolButton("btnRescan", QStringLiteral("Rescan"), QStringLiteral("rescan"));
  btnOpenScan = MakeToolButton("btnOpenScan", QStringLiteral("Open Scan..."), QStringLiteral("open-scan"));
  btnSaveScan = MakeToolButton("btnSaveScan", QStringLiteral("Save Scan..."), QStringLiteral("save-scan"));
  btnOpen = MakeToolButton("btnOpen", QStringLiteral("Open"), QStringLiteral("open-file"));
  btnCopyPath = MakeToolButton("btnCopyPath", QStringLiteral("Copy path(s) to clipboard"), QStringLiteral("clipboard"));
  btnOpenExplorer =
      MakeToolButton("btnOpenExplorer", QStringLiteral("Open containing folder"), QStringLiteral("open-folder"));
  btnShowProperties =
      MakeToolButton("btnShowProperties", QStringLiteral("Show Properties"), QStringLiteral("file-properties"));
  btnRemoveToRecycleBin =
      MakeToolButton("btnRemoveToRecycleBin", QStringLiteral("Move to Recycle Bin"), QStringLiteral("recycle"));
  btnRemove = MakeToolButton("btnRemove", QStringLiteral("Delete permanently"), QStringLiteral("delete-file"));
  btnWEbsite = MakeToolButton("btnWEbsite", QStringLiteral("Visit Website"), QStringLiteral("domain"));
  btnAbout = MakeToolButton("btnAbout", QStringLiteral("About..."), QStringLiteral("info (2)"));
  for (QToolButton* b : {btnScan, btnStop, btnRescan, btnOpenScan, btnSaveScan, btnOpen, btnCopyPath, btnOpenExplorer,
                         btnShowProperties, btnRemoveToRecycleBin, btnRemove})
    tb->addWidget(b);
  tb->addStretch(1);
  tb->addWidget(btnWEbsite);
  tb->addWidget(btnAbout);

  gbSource = new QGroupBox(QStringLiteral("Sources"), pnlTop);
  gbSource->setObjectName(QStringLiteral("gbSource"));
  // 53 px at design size; Qt's group box needs a few more for its title.
  gbSource->setGeometry(8, 50, 489, 58);
  auto* sl = new QHBoxLayout(gbSource);
  sl->setContentsMargins(8, 2, 8, 4);
  rbAllDrives = new QRadioButton(QStringLiteral("All Drives"), gbSource);
  rbAllDrives->setObjectName(QStringLiteral("rbAllDrives"));
  rbAllDrives->setChecked(true);
  rbCustomPath = new QRadioButton(QStringLiteral("Custom path:"), gbSource);
  rbCustomPath->setObjectName(QStringLiteral("rbCustomPath"));
  cmbCustomPath = new QComboBox(gbSource);
  cmbCustomPath->setObjectName(QStringLiteral("cmbCustomPath"));
  cmbCustomPath->setEditable(true);
  cmbCustomPath->setFixedWidth(185);
  cmbCustomPath->setInsertPolicy(QComboBox::NoInsert);
  btnBrowse = new QToolButton(gbSource);
  btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
  btnBrowse->setText(QStringLiteral("Browse..."));
  btnBrowse->setToolButtonStyle(Qt::ToolButtonTextOnly);
  sl->addWidget(rbAllDrives);
  sl->addWidget(rbCustomPath);
  sl->addWidget(cmbCustomPath);
  sl->addWidget(btnBrowse);
  sl->addStretch(1);

  gbFilters = new QGroupBox(QStringLiteral("Exclude Files"), pnlTop);
  gbFilters->setObjectName(QStringLiteral("gbFilters"));
  gbFilters->setGeometry(512, 50, 724, 58);
  new TRightAnchor(gbFilters, 4);
  auto* fl = new QHBoxLayout(gbFilters);
  fl->setContentsMargins(8, 2, 8, 4);
  chModifiedBefore = new QCheckBox(QStringLiteral("Modified before:"), gbFilters);
  chModifiedBefore->setObjectName(QStringLiteral("chModifiedBefore"));
  dtpDate = new QDateTimeEdit(gbFilters);
  dtpDate->setObjectName(QStringLiteral("dtpDate"));
  dtpDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  dtpDate->setDate(QDate(2026, 1, 14));
  dtpDate->setCalendarPopup(true);
  chLessThan = new QCheckBox(QStringLiteral("Less than"), gbFilters);
  chLessThan->setObjectName(QStringLiteral("chLessThan"));
  edtLessThan = new QLineEdit(QStringLiteral("1"), gbFilters);
  edtLessThan->setObjectName(QStringLiteral("edtLessThan"));
  edtLessThan->setFixedWidth(60);
  cbSizeUnits = new QComboBox(gbFilters);
  cbSizeUnits->setObjectName(QStringLiteral("cbSizeUnits"));
  cbSizeUnits->addItems({QStringLiteral("Bytes"), QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB"),
                         QStringLiteral("TB")});
  cbSizeUnits->setCurrentIndex(0);
  chPattern = new QCheckBox(QStringLiteral("Pattern"), gbFilters);
  chPattern->setObjectName(QStringLiteral("chPattern"));
  edtPattern = new QLineEdit(QStringLiteral("*.jpg;*somefilename*"), gbFilters);
  edtPattern->setObjectName(QStringLiteral("edtPattern"));
  fl->addWidget(chModifiedBefore);
  fl->addWidget(dtpDate);
  fl->addSpacing(12);
  fl->addWidget(chLessThan);
  fl->addWidget(edtLessThan);
  fl->addWidget(cbSizeUnits);
  fl->addSpacing(12);
  fl->addWidget(chPattern);
  fl->addWidget(edtPattern, 1);
}

void TfrmMain::BuildStatusBar() {
  panStatus = new QWidget(this);
  panStatus->setObjectName(QStringLiteral("panStatus"));
  panStatus->setFixedHeight(kStatusHeight);
  lblStatus = new QLabel(QStringLiteral("Ready"), panStatus);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setAutoFillBackground(true);
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblStatus->setTextFormat(Qt::PlainText);
  lblStatus->setContentsMargins(6, 0, 0, 0);
  pb = new QProgressBar(panStatus);
  pb->setObjectName(QStringLiteral("pb"));
  pb->setFixedSize(314, 16);
  pb->setTextVisible(false);
  pb->setRange(0, 1000);
  pb->setValue(0);
  PositionProgressBar();
}

void TfrmMain::PositionProgressBar() {
  if (!panStatus) return;
  const int w = panStatus->width();
  lblStatus->setGeometry(0, (kStatusHeight - 20) / 2, w, 20);
  pb->move(w - pb->width() - 4, kStatusHeight - pb->height() - 5);
  pb->raise();
  if (SizeSwitch) SizeSwitch->Position(w, pb->x());
}

void TfrmMain::BuildTabs() {
  FilesInFoldersTab = new TFilesInFoldersTab(S, *this, PageControl1);
  FilesInFoldersTab->setObjectName(QStringLiteral("TabSheet3"));
  FilesTab = new TFilesTab(S, *this, PageControl1);
  FilesTab->setObjectName(QStringLiteral("TabSheet1"));
  FoldersTab = new TFoldersTab(S, *this, PageControl1);
  FoldersTab->setObjectName(QStringLiteral("TabSheet2"));
  DuplicatesTab = new TDuplicatesTab(S, *this, PageControl1);
  DuplicatesTab->setObjectName(QStringLiteral("TabSheetDuplicates"));
  PageControl1->addTab(FilesInFoldersTab, QStringLiteral("Files in Folders"));
  PageControl1->addTab(FilesTab, QStringLiteral("Only Files"));
  PageControl1->addTab(FoldersTab, QStringLiteral("Only Folders"));
  PageControl1->addTab(DuplicatesTab, QStringLiteral("Duplicates"));
  PageControl1->setCurrentIndex(0);
}

std::vector<TResultTab*> TfrmMain::Tabs() const { return {FilesInFoldersTab, FilesTab, FoldersTab, DuplicatesTab}; }

TResultTab* TfrmMain::ActiveTab() const { return qobject_cast<TResultTab*>(PageControl1->currentWidget()); }

void TfrmMain::FillDriveCombo() {
  cmbCustomPath->clear();
  for (const std::string& d : Drives().GetDrives()) cmbCustomPath->addItem(DisplayText(d));
  if (cmbCustomPath->count() > 0) cmbCustomPath->setCurrentIndex(0);
}

void TfrmMain::SetStatus(const QString& text) { lblStatus->setText(text); }

void TfrmMain::UpdateSelectionStatus() {
  TResultTab* t = ActiveTab();
  SetStatus(t ? t->SelectionStatus() : QStringLiteral("Ready"));
}

bool TfrmMain::EventsDue() const {
  // Long stages call ProcessPendingEvents at fixed counts (every 800 files,
  // say); on a fast machine that is thousands of times a second, and each
  // round repaints the status line. Handling events at most every 20 ms keeps
  // the window live and Stop prompt at a fraction of the cost.
  return !FEventClock.isValid() || FEventClock.elapsed() >= 20;
}

void TfrmMain::SetProgress(int value, bool last) {
  if (last || EventsDue()) pb->setValue(value);
}

void TfrmMain::ProcessPendingEvents() {
  if (!EventsDue()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  FEventClock.restart();
}

void TfrmMain::UpdateSourceControls() {
  const bool on = rbCustomPath->isChecked() && !btnStop->isEnabled();
  cmbCustomPath->setEnabled(on);
  btnBrowse->setEnabled(on);
}

void TfrmMain::UpdateFilterControls() {
  const bool g = gbFilters->isEnabled();
  dtpDate->setEnabled(g && chModifiedBefore->isChecked());
  edtLessThan->setEnabled(g && chLessThan->isChecked());
  cbSizeUnits->setEnabled(g && chLessThan->isChecked());
  edtPattern->setEnabled(g && chPattern->isChecked());
}

void TfrmMain::SetBusy(bool busy) {
  btnScan->setEnabled(!busy);
  btnStop->setEnabled(busy);
  btnBrowse->setEnabled(!busy && rbCustomPath->isChecked());
  cmbCustomPath->setEnabled(!busy && rbCustomPath->isChecked());
  gbFilters->setEnabled(!busy);
  UpdateFilterControls();
  if (ScanFiles) ScanFiles->UpdateButtons(busy);
  if (Rescanner) Rescanner->UpdateButtons(busy);
  if (SizeSwitch) SizeSwitch->UpdateButtons(busy);
  if (!busy) {
    pb->setRange(0, 1000);
    pb->setValue(0);
  }
}

void TfrmMain::AdjustBottomPanels() {
  for (TResultTab* t : Tabs()) {
    if (t->isVisible())
      t->AdjustBottomPanel(width());
    else
      t->SetBottomPanelPending();
  }
}

void TfrmMain::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  PositionProgressBar();
  if (AppClosing) return;
  AdjustBottomPanels();
  // Each surface lays its treemap out again from its own resize, once it has
  // its new size: a hidden page gets it only when shown, so rebuilding all
  // four here would lay out hidden ones for a size they no longer have.
  for (TResultTab* t : Tabs()) t->InvalidateBuf();
}

void TfrmMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  PositionProgressBar();
  AdjustBottomPanels();
}

void TfrmMain::closeEvent(QCloseEvent* e) {
  if (FRememberLayout) SaveWindowLayout();
  AppClosing = true;
  // A build still running would go on filling tabs no one can see.
  if (S.FContext) S.FContext->Cancel();
  e->accept();
}

void TfrmMain::btnBrowseClick() {
  if (!rbCustomPath->isChecked()) return;
  QString start = cmbCustomPath->currentText();
  if (start.isEmpty()) start = QDir::currentPath() + QDir::separator();
  const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Select folder to scan"),
                                                        QDir(start).exists() ? start : QString(),
                                                        QFileDialog::ShowDirsOnly);
  if (dir.isEmpty()) return;
  QString withSep = QDir::toNativeSeparators(dir);
  if (!withSep.endsWith(QDir::separator())) withSep += QDir::separator();
  cmbCustomPath->setCurrentText(withSep);
}

void TfrmMain::btnAboutClick() {
  QMessageBox box(QMessageBox::Information, QStringLiteral("About"),
                  QStringLiteral("%1 %2\n\nA disk-space analyser.\n%3")
                      .arg(QApplication::applicationName(), QStringLiteral("1.0"), SiteHomePageUrl().toString()),
                  QMessageBox::Ok, this);
  box.setIconPixmap(QIcon(QStringLiteral(":/icons/app")).pixmap(48, 48));
  box.exec();
}

void TfrmMain::btnWEbsiteClick() { update::OpenUrl(SiteHomePageUrl()); }

}  // namespace vd::gui
