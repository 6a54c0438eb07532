#include "ItemTarget.h"

#include <QAbstractItemView>

#include "actions/FileActions.h"
#include "common/ResultTab.h"

namespace vd::gui {

namespace {
// The list or tree a widget is, or whose viewport it is.
QAbstractItemView* ViewOf(QWidget* widget) {
  if (auto* v = qobject_cast<QAbstractItemView*>(widget)) return v;
  return widget ? qobject_cast<QAbstractItemView*>(widget->parentWidget()) : nullptr;
}
}  // namespace

TItemTarget ItemAt(TResultTab* tab, QWidget* widget, QPoint pos) {
  TItemTarget t{tab, widget, {}, nullptr};
  if (QAbstractItemView* view = ViewOf(widget)) {
    t.View = view;
    // Item views place their rows in the viewport's coordinates.
    const QPoint inViewport = widget == view ? view->viewport()->mapFrom(view, pos) : pos;
    t.Index = view->indexAt(inViewport);
  } else if (tab && widget == tab->Surface() && tab->Surface()->HitTest) {
    TPaintSurface* s = tab->Surface();
    if (!s->HasData || s->HasData()) t.Tile = s->HitTest(s->LayoutPoint(pos));
  }
  return t;
}

TItemTarget CurrentItem(TResultTab* tab, QWidget* widget) {
  TItemTarget t{tab, widget, {}, nullptr};
  if (QAbstractItemView* view = ViewOf(widget)) {
    t.View = view;
    t.Index = view->selectionModel() ? view->selectionModel()->currentIndex() : QModelIndex();
  } else if (tab && widget == tab->Surface() && tab->Surface()->Current) {
    t.Tile = tab->Surface()->Current();
  }
  return t;
}

QPoint ItemCentre(const TItemTarget& target) {
  if (auto* view = qobject_cast<QAbstractItemView*>(target.View)) {
    view->scrollTo(target.Index);
    const QRect r = view->visualRect(target.Index);
    // Left of the row's middle, where its name is, inside what is shown.
    const QPoint p = view->viewport()->mapTo(view, QPoint(r.left() + std::min(r.width() / 2, 80), r.center().y()));
    return QPoint(std::clamp(p.x(), 0, view->width() - 1), std::clamp(p.y(), 0, view->height() - 1));
  }
  if (auto* s = qobject_cast<TPaintSurface*>(target.View)) {
    const QRect r = s->TileRect(target.Tile);
    const qreal ratio = s->devicePixelRatioF();
    const QPoint p(int((r.x() + r.width() / 2) / ratio), int((r.y() + r.height() / 2) / ratio));
    return QPoint(std::clamp(p.x(), 0, s->width() - 1), std::clamp(p.y(), 0, s->height() - 1));
  }
  return {};
}

bool IsItemSelected(const TItemTarget& target) {
  if (auto* view = qobject_cast<QAbstractItemView*>(target.View))
    return view->selectionModel() && view->selectionModel()->isSelected(target.Index);
  if (auto* s = qobject_cast<TPaintSurface*>(target.View)) return s->IsSelected && s->IsSelected(target.Tile);
  return false;
}

void SelectItemAlone(const TItemTarget& target) {
  if (auto* view = qobject_cast<QAbstractItemView*>(target.View)) {
    if (view->selectionModel())
      view->selectionModel()->setCurrentIndex(target.Index,
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else if (auto* s = qobject_cast<TPaintSurface*>(target.View)) {
    s->ClickTile(target.Tile);  // the tab's own click: its lists follow
  }
}

bool ActionsTakeItem(const TItemTarget& target, const std::vector<std::string>& gathered) {
  if (!target.Tab || !target.Valid() || gathered.empty()) return false;
  const std::optional<std::vector<std::string>> item = target.Tab->ItemPaths(target.View, target.Index, target.Tile);
  if (!item) return true;
  if (item->empty()) return false;
  // Taken when adding the item's paths changes nothing: each is gathered, or
  // lies inside a gathered folder.
  std::vector<std::string> with = gathered;
  with.insert(with.end(), item->begin(), item->end());
  return TFileActions::OutermostDistinct(with) == TFileActions::OutermostDistinct(gathered);
}

}  // namespace vd::gui
