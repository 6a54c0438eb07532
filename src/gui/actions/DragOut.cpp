#include "DragOut.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>

#include "actions/FileActions.h"
#include "actions/ItemTarget.h"
#include "common/ResultTab.h"
#include "views/UriList.h"

namespace vd::gui {

std::function<void(const QMimeData&)>& TDragOut::DragStartHook() {
  static std::function<void(const QMimeData&)> hook;
  return hook;
}

TDragOut::TDragOut(TFileActions& actions, QObject* parent) : QObject(parent), FActions(actions) {}

void TDragOut::Attach(TResultTab* tab) {
  auto watch = [&](QWidget* w) {
    w->installEventFilter(this);
    FWatched.emplace_back(w, tab);
    connect(w, &QObject::destroyed, this, [this, w] {
      std::erase_if(FWatched, [w](const auto& e) { return e.first == w; });
    });
  };
  for (QAbstractItemView* view : tab->findChildren<QAbstractItemView*>())
    if (view->selectionModel() && !qobject_cast<QAbstractItemView*>(view->parentWidget())) watch(view->viewport());
  if (tab->Surface()) watch(tab->Surface());
}

bool TDragOut::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
  auto* e = static_cast<QMouseEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (type == QEvent::MouseButtonPress) {
    FPress = TPress::None;
    if (e->button() == Qt::LeftButton && !AppClosing) {
      FPressed = widget;
      FPressPos = e->position().toPoint();
      FPress = TPress::Undecided;
    }
    return false;  // the press selects as it always did
  }
  if (type == QEvent::MouseButtonRelease || !(e->buttons() & Qt::LeftButton) || FPressed != widget) {
    FPress = TPress::None;
    return false;
  }
  if (FPress == TPress::None || FPress == TPress::Passes) return false;
  if (FPress == TPress::Undecided) {
    // Decided once, after the press has selected: the pressed item must be
    // one the file actions take, else the view goes on as before.
    TResultTab* tab = nullptr;
    for (const auto& [w, t] : FWatched)
      if (w == watched) tab = t;
    const TItemTarget item = ItemAt(tab, widget, FPressPos);
    FPress = item.Valid() && ActionsTakeItem(item, FActions.GatherSelectedPaths()) ? TPress::Drags : TPress::Passes;
    if (FPress == TPress::Passes) return false;
  }
  // From here the moves are the drag's, not the view's (a list would
  // otherwise narrow its selection to the rows under the pointer).
  if ((e->position().toPoint() - FPressPos).manhattanLength() < QApplication::startDragDistance()) return true;
  FPress = TPress::None;
  const std::vector<std::string> paths = FActions.GatherSelectedPaths();
  if (paths.empty()) return true;
  QMimeData* data = NewPathsMimeData(paths);
  if (DragStartHook()) {
    DragStartHook()(*data);
    delete data;
    return true;
  }
  auto* drag = new QDrag(widget);
  drag->setMimeData(data);
  drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
  return true;
}

}  // namespace vd::gui
