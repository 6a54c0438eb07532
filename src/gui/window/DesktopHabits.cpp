// What a desktop user expects of the window beyond its buttons: keys, context
// menus, dragging items out and folders in, a tab order that follows the
// window top to bottom, and names and descriptions for screen readers.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include "actions/ContextMenu.h"
#include "actions/DragOut.h"
#include "common/ResultTab.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "window/DropTarget.h"
#include "window/MainWindow.h"
#include "window/Shortcuts.h"

namespace vd::gui {

namespace {

// What each toolbar button does, for screen readers; the name is its hint.
const std::pair<const char*, const char*> kButtonDescriptions[] = {
    {"btnScan", "Scans the chosen source, leaving out the files the filters exclude"},
    {"btnStop", "Stops the running scan or the building of its results"},
    {"btnRescan", "Scans the folders selected on the active tab again and updates the results"},
    {"btnOpenScan", "Reads a saved scan file into the four tabs"},
    {"btnSaveScan", "Writes the results shown to a scan file"},
    {"btnOpen", "Opens the items selected on the active tab with their programs"},
    {"btnCopyPath", "Copies the full paths of the items selected on the active tab"},
    {"btnOpenExplorer", "Shows the items selected on the active tab in their folders"},
    {"btnShowProperties", "Shows the properties of the items selected on the active tab"},
    {"btnRemoveToRecycleBin", "Moves the items selected on the active tab to the trash, after asking"},
    {"btnRemove", "Deletes the items selected on the active tab for good, after asking"},
    {"btnWEbsite", "Opens the vendor's web site in the browser"},
    {"btnAbout", "Shows the program's version and web address"},
};

void NameToolbarButtons(QWidget* toolbar) {
  for (QToolButton* b : toolbar->findChildren<QToolButton*>()) {
    // The hint without the key the tooltip adds.
    QString name = b->property("vdHint").toString();
    if (name.isEmpty()) name = b->toolTip();
    b->setAccessibleName(name);
    QString description = name;
    for (const auto& [object, text] : kButtonDescriptions)
      if (b->objectName() == QLatin1String(object)) description = QString::fromLatin1(text);
    b->setAccessibleDescription(description);
  }
}

}  // namespace

void TfrmMain::InstallDesktopHabits() {
  Keys = new TWindowKeys(*this);
  ContextMenus = new TContextMenus(*Actions, Keys->FileActions(), this);
  auto* drags = new TDragOut(*Actions, this);
  new TDropTarget(*this);
  NameToolbarButtons(Panel4);

  // After the file actions: Rescan on every tab (a file stands for its
  // folder, as for F5), Select Copies on "Duplicates".
  QAction* rescan = Keys->Rescan();
  ContextMenus->AddEntries(nullptr, [rescan](QMenu& menu, const TItemTarget&, bool actionsTakeItem) {
    menu.addSeparator();
    TContextMenus::AddMirror(menu, rescan, actionsTakeItem);
  });
  QAction* copies = Keys->Bind(DuplicatesTab->SelectCopiesButton(), {}, {}, nullptr);
  ContextMenus->AddEntries(DuplicatesTab, [copies](QMenu& menu, const TItemTarget&, bool) {
    TContextMenus::AddMirror(menu, copies, true);
  });

  // Top to bottom: sources, filters, Scan, the tabs. Inside a tab the
  // treemap and the lists follow in the order they were made, top to bottom;
  // chaining them here too would let Qt move the scroll areas' inner widgets
  // out of place.
  btnScan->setFocusPolicy(Qt::TabFocus);
  QList<QWidget*> order{rbAllDrives, rbCustomPath, cmbCustomPath, btnBrowse, chModifiedBefore, dtpDate,
                        chLessThan,  edtLessThan,  cbSizeUnits,   chPattern, edtPattern,       btnScan,
                        PageControl1};
  for (int i = 0; i < PageControl1->count(); ++i) {
    auto* tab = qobject_cast<TResultTab*>(PageControl1->widget(i));
    if (!tab) continue;
    ContextMenus->Attach(tab);
    drags->Attach(tab);
    if (TPaintSurface* s = tab->Surface()) {
      s->setAccessibleName(PageControl1->tabText(i) + QStringLiteral(" treemap"));
      s->setAccessibleDescription(QStringLiteral(
          "Tiles sized by bytes. The arrow keys select the neighbouring tile, Enter opens it, "
          "the Menu key shows what can be done with it."));
    }
  }
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

}  // namespace vd::gui
