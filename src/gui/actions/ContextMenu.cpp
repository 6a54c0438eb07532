#include "ContextMenu.h"

#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include "actions/FileActions.h"
#include "common/ResultTab.h"

namespace vd::gui {

std::function<void(QMenu&)>& TContextMenus::MenuShownHook() {
  static std::function<void(QMenu&)> hook;
  return hook;
}

TContextMenus::TContextMenus(TFileActions& actions, QList<QAction*> fileActions, QObject* parent)
    : QObject(parent), FActions(actions) {
  for (QAction* a : fileActions) FFileActions << QPointer<QAction>(a);
}

void TContextMenus::Attach(TResultTab* tab) {
  auto watch = [&](QWidget* w) {
    w->installEventFilter(this);
    FWatched.emplace_back(w, tab);
    connect(w, &QObject::destroyed, this, [this, w] {
      std::erase_if(FWatched, [w](const auto& e) { return e.first == w; });
    });
  };
  for (QAbstractItemView* view : tab->findChildren<QAbstractItemView*>()) {
    if (!view->selectionModel() || qobject_cast<QAbstractItemView*>(view->parentWidget())) continue;  // headers
    view->setContextMenuPolicy(Qt::DefaultContextMenu);
    watch(view);  // the keyboard's events
    watch(view->viewport());  // the mouse's
  }
  if (tab->Surface()) watch(tab->Surface());
}

void TContextMenus::AddEntries(TResultTab* tab, TEntries entries) { FEntries.emplace_back(tab, std::move(entries)); }

TResultTab* TContextMenus::TabOf(QObject* watched) const {
  for (const auto& [w, tab] : FWatched)
    if (w == watched) return tab;
  return nullptr;
}

bool TContextMenus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ContextMenu && event->type() != QEvent::KeyPress) return false;
  TResultTab* tab = TabOf(watched);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!tab || !widget || AppClosing) return false;
  if (event->type() == QEvent::ContextMenu) {
    auto* e = static_cast<QContextMenuEvent*>(event);
    if (e->reason() == QContextMenuEvent::Keyboard) {
      FMenuKeyHandled = true;
      OpenFromKeyboard(tab, widget);
    } else {
      const TItemTarget item = ItemAt(tab, widget, e->pos());
      // Over empty space there is nothing to act on.
      if (item.Valid()) OpenOn(item, widget->mapTo(item.View, e->pos()));
    }
    return true;
  }
  auto* k = static_cast<QKeyEvent*>(event);
  const bool menuKey = k->key() == Qt::Key_Menu && k->modifiers() == Qt::NoModifier;
  const bool shiftF10 = k->key() == Qt::Key_F10 && k->modifiers() == Qt::ShiftModifier;
  if (!menuKey && !shiftF10) return false;
  // Some platforms send a menu event of their own for the Menu key, just
  // before the key itself.
  if (menuKey && std::exchange(FMenuKeyHandled, false)) return true;
  OpenFromKeyboard(tab, widget);
  return true;
}

void TContextMenus::OpenFromKeyboard(TResultTab* tab, QWidget* widget) {
  const TItemTarget item = CurrentItem(tab, widget);
  if (item.Valid()) OpenOn(item, ItemCentre(item));
}

void TContextMenus::OpenOn(const TItemTarget& item, QPoint at) {
  const bool inside = IsItemSelected(item);
  item.Tab->PrepareContextSelection(item.View, inside);
  if (!inside) SelectItemAlone(item);
  const bool takes = ActionsTakeItem(item, FActions.GatherSelectedPaths());

  QMenu menu(item.View);
  for (const QPointer<QAction>& source : FFileActions) {
    if (!source) {
      menu.addSeparator();
      continue;
    }
    AddMirror(menu, source, takes);
  }
  for (const auto& [tab, entries] : FEntries)
    if (!tab || tab == item.Tab) entries(menu, item, takes);

  if (MenuShownHook())
    MenuShownHook()(menu);
  else
    menu.exec(item.View->mapToGlobal(at));
}

QAction* TContextMenus::AddMirror(QMenu& menu, QAction* source, bool enabled) {
  // An entry of its own: the toolbar's action stays enabled whatever one
  // menu makes of it, and its key is shown, not bound a second time.
  const QKeySequence key = source->shortcut();
  QString text = source->text();
  if (const QVariant shown = source->property("keyText"); shown.isValid() && !shown.toString().isEmpty())
    text += QLatin1Char('\t') + shown.toString();
  else if (!key.isEmpty())
    text += QLatin1Char('\t') + key.toString(QKeySequence::NativeText);
  QAction* entry = menu.addAction(source->icon(), text);
  entry->setObjectName(source->objectName());
  entry->setEnabled(enabled && source->isEnabled());
  QPointer<QAction> target = source;
  connect(entry, &QAction::triggered, source, [target] {
    if (target) target->trigger();
  });
  return entry;
}

}  // namespace vd::gui
