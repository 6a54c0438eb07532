// How every result tab sets up its views and splitters, in one place.
#pragma once

#include <QAbstractItemView>
#include <QSplitter>
#include <QString>
#include <QVBoxLayout>
#include <cstdint>
#include <string>
#include <vector>

namespace vd::gui {

// The selection stays as visible as with focus when the view loses it.
void KeepSelectionVisible(QAbstractItemView* view);
// A read-only view whose rows are selected whole; lists and trees of the tabs.
void SetUpReadOnlyView(QAbstractItemView* view, QAbstractItemView::SelectionMode mode);
// Fixed column widths, a header that neither moves nor sorts, no stretching.
void SetColumnWidths(QAbstractItemView* view, const std::vector<int>& widths);
// A splitter whose panes never collapse, with a handle of `handleWidth` pixels.
QSplitter* MakeSplitter(Qt::Orientation orientation, int handleWidth, QWidget* parent = nullptr);
// Adds the two panes: the first takes what is free, the second keeps its size.
void AddGrowingAndFixed(QSplitter* splitter, QWidget* grows, QWidget* fixed);
// A vertical layout of w without margins or spacing.
QVBoxLayout* BareLayout(QWidget* w);
// The hover hint of a tile: the full path, a line break, the formatted size.
QString TileHint(const std::string& fullPath, int64_t size);

}  // namespace vd::gui
