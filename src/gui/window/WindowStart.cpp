// How the window starts beyond its fixed start-up state: a scan asked for on
// the command line, and the layout of the last session.
#include <QComboBox>
#include <QRadioButton>
#include <QSettings>
#include <QSplitter>

#include "views/Shell.h"
#include "window/MainWindow.h"
#include "window/SizeSwitch.h"

namespace vd::gui {

namespace {

// In the user's config folder ($XDG_CONFIG_HOME/vorndale/window.conf). Only
// the window's layout lives there: scan options start as designed each time.
struct TLayoutSettings : QSettings {
  TLayoutSettings() : QSettings(NativeFormat, UserScope, QStringLiteral("vorndale"), QStringLiteral("window")) {}
};

const QString kGeometryKey = QStringLiteral("geometry");

QString SplitterKey(const QSplitter* s) { return QStringLiteral("splitters/") + s->objectName(); }

// The splitters between each tab's treemap and its lists, the ones stacked
// top to bottom. The split inside the bottom panels is not kept: it follows
// the window's width on every resize and tab change.
QList<QSplitter*> RememberedSplitters(const QWidget* window) {
  QList<QSplitter*> out;
  for (QSplitter* s : window->findChildren<QSplitter*>())
    if (s->orientation() == Qt::Vertical && !s->objectName().isEmpty()) out << s;
  return out;
}

}  // namespace

void TfrmMain::StartScanFromCommandLine(bool allDrives, const std::string& folder) {
  if (allDrives) {
    rbAllDrives->setChecked(true);
  } else {
    rbCustomPath->setChecked(true);
    cmbCustomPath->setCurrentText(DisplayText(folder));
    FCustomPathBytes = folder;
  }
  UpdateSourceControls();
  btnScanClick();
}

void TfrmMain::RestoreWindowLayout() {
  FRememberLayout = true;
  TLayoutSettings settings;
  const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
  // The first start keeps the designed state: maximised.
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  for (QSplitter* s : RememberedSplitters(this)) {
    const QByteArray state = settings.value(SplitterKey(s)).toByteArray();
    if (!state.isEmpty()) s->restoreState(state);
  }
  SizeSwitch->RestoreSetting();
}

void TfrmMain::SaveWindowLayout() const {
  TLayoutSettings settings;
  settings.setValue(kGeometryKey, saveGeometry());
  for (const QSplitter* s : RememberedSplitters(this)) settings.setValue(SplitterKey(s), s->saveState());
}

}  // namespace vd::gui
