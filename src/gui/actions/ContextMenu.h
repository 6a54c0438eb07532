// The context menu of every list, tree and treemap of the result tabs.
//
// A right click on an item that is not selected selects it alone, as a left
// click would; a right click inside the selection keeps it. The Menu key and
// Shift+F10 open the menu on the current row or node, or on the treemap's
// selected tile. The menu offers the toolbar's file actions, the very actions
// the toolbar buttons and their keys trigger: they act on what the active
// tab's selection gathers (TFileActions), with the same confirmations. They
// are offered disabled when that would not take the item the menu is on (a
// legend the actions do not read, a tile of a file beyond the list).
//
// Other features add their own entries after the file actions through
// AddEntries (a rescan of a folder, selecting copies of a duplicate).
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

#include "actions/ItemTarget.h"

class QAction;
class QMenu;

namespace vd::gui {

class TFileActions;

class TContextMenus : public QObject {
  Q_OBJECT
 public:
  // `fileActions` in the menu's order; null stands for a separator.
  TContextMenus(TFileActions& actions, QList<QAction*> fileActions, QObject* parent);

  // Gives every list and tree of the tab, and its treemap, the menu.
  void Attach(TResultTab* tab);

  // Adds entries after the file actions of the menus of `tab` (null: of
  // every tab). `actionsTakeItem` says whether the file actions take the
  // item the menu was opened on.
  using TEntries = std::function<void(QMenu& menu, const TItemTarget& item, bool actionsTakeItem)>;
  void AddEntries(TResultTab* tab, TEntries entries);

  // Adds an entry to `menu` that triggers `source`, with its icon, text and
  // key, enabled when both `enabled` and the source are.
  static QAction* AddMirror(QMenu& menu, QAction* source, bool enabled);

  // Tests: when set, receives each built menu instead of showing it.
  static std::function<void(QMenu&)>& MenuShownHook();

  // Opens the menu on `item` at a point of its view: the selection rule first.
  void OpenOn(const TItemTarget& item, QPoint at);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TResultTab* TabOf(QObject* watched) const;
  void OpenFromKeyboard(TResultTab* tab, QWidget* widget);

  TFileActions& FActions;
  QList<QPointer<QAction>> FFileActions;
  std::vector<std::pair<TResultTab*, TEntries>> FEntries;
  std::vector<std::pair<QObject*, TResultTab*>> FWatched;  // widget -> its tab
  // Set when the platform's menu event for the Menu key has opened the menu,
  // so that the key press that follows it opens no second one.
  bool FMenuKeyHandled = false;
};

}  // namespace vd::gui
