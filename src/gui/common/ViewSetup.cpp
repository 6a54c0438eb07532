#include "common/ViewSetup.h"

#include <QHeaderView>
#include <QTreeView>

#include "core/results/Format.h"
#include "views/Shell.h"

namespace vd::gui {

void KeepSelectionVisible(QAbstractItemView* view) {
  QPalette pal = view->palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
  view->setPalette(pal);
}

void SetUpReadOnlyView(QAbstractItemView* view, QAbstractItemView::SelectionMode mode) {
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSelectionMode(mode);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  if (auto* tree = qobject_cast<QTreeView*>(view)) {
    // Only the rows on screen are measured: a tree may hold a million nodes.
    tree->setUniformRowHeights(true);
    tree->setAllColumnsShowFocus(true);
  }
  KeepSelectionVisible(view);
}

void SetColumnWidths(QAbstractItemView* view, const std::vector<int>& widths) {
  auto* tree = qobject_cast<QTreeView*>(view);
  if (!tree) return;
  QHeaderView* header = tree->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setSectionsClickable(false);
  int c = 0;
  for (int w : widths) {
    // A width of 0 carries data the user never sees.
    if (w == 0)
      tree->setColumnHidden(c, true);
    else
      tree->setColumnWidth(c, w);
    ++c;
  }
}

QSplitter* MakeSplitter(Qt::Orientation orientation, int handleWidth, QWidget* parent) {
  auto* s = new QSplitter(orientation, parent);
  s->setHandleWidth(handleWidth);
  s->setChildrenCollapsible(false);
  return s;
}

void AddGrowingAndFixed(QSplitter* splitter, QWidget* grows, QWidget* fixed) {
  splitter->addWidget(grows);
  splitter->addWidget(fixed);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
}

QVBoxLayout* BareLayout(QWidget* w) {
  auto* l = new QVBoxLayout(w);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  return l;
}

QString TileHint(const std::string& fullPath, int64_t size) {
  return DisplayText(fullPath) + QStringLiteral("\r\n") + QString::fromStdString(FormatSize(size));
}

}  // namespace vd::gui
