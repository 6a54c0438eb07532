// A treemap surface: draws from a back buffer that is redrawn only when dirty,
// shows "Visualization not available" when its tab has no data, and names the
// tile under the mouse in a tooltip that follows it from tile to tile.
//
// The treemap is laid out and drawn in the screen's own pixels, so it is as
// sharp at 150 % or 200 % as at 100 %: layouts get LayoutSize(), hit tests
// and mouse handlers take LayoutPoint()s.
//
// It takes the keyboard focus: the arrow keys click the neighbouring tile (the
// tab's own click handler runs, so its lists follow) and Enter is a double
// click. A right click selects nothing by itself: the context menu decides
// (actions/ContextMenu.h).
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace vd::gui {

class TPaintSurface : public QWidget {
  Q_OBJECT
 public:
  explicit TPaintSurface(QWidget* parent = nullptr);

  // Whether the tab has data to draw (its own rule); without it, the placeholder.
  std::function<bool()> HasData;
  // Draws the whole buffer (the tab's layout Paint over a canvas on it).
  std::function<void(QImage&)> PaintBuffer;
  // The tile under a point in layout pixels (any identity, null for none) and
  // its hint text.
  std::function<const void*(QPoint)> HitTest;
  std::function<QString(const void*)> HintFor;
  // Set while the window closes: painting and hovering stop.
  std::function<bool()> IsClosing;
  // Whether a tile is part of the selection.
  std::function<bool(const void*)> IsSelected;
  // The selected tile the keyboard moves from, or null.
  std::function<const void*()> Current;
  // Every tile with its rectangle in layout pixels, in paint order.
  std::function<void(const std::function<void(const void* tile, const QRect& rect)>&)> ForEachTile;

  // Clicks a tile with the left button and no modifier keys, as the mouse
  // would at its centre. False when the tile is not on the surface.
  bool ClickTile(const void* tile);
  // The tile an arrow key (Qt::Key_Left ...) leads to from Current(); with no
  // current tile, the first one; null for none.
  const void* TileForArrow(int key) const;
  // A tile's rectangle in layout pixels; empty when the tile is not there.
  QRect TileRect(const void* tile) const;
  // The name and size of the selected tile ("a.txt, 2.0 KB"), for screen
  // readers; empty with none.
  QString AccessibleValue() const;

  void Invalidate();  // marks the buffer dirty and asks for a repaint
  // The surface in the screen's pixels, and a point of it.
  QSize LayoutSize() const;
  QPoint LayoutPoint(QPointF logical) const;
  bool IsDirty() const { return FDirty; }
  // Until a surface is first shown its size is the toolkit's provisional one,
  // and a layout for it is thrown away when the page appears. A tab asks
  // here and calls DeferLayout() instead: the first show then emits Resized.
  bool EverShown() const { return FEverShown; }
  void DeferLayout() { FLayoutDeferred = true; }
  const QImage& Buffer() const { return FBuf; }
  const void* Hover() const { return FHover; }
  void ResetHover() { FHover = nullptr; }
  QString CurrentHint() const { return FHint; }

  static void DrawVisualizationNotAvailable(QPainter& p, const QRect& r);

 signals:
  void MouseDown(QMouseEvent* event);
  void DblClick();
  void Resized();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  bool event(QEvent* e) override;

 private:
  QImage FBuf;
  bool FDirty = true;
  bool FEverShown = false;
  bool FLayoutDeferred = false;
  qreal FRatio = 0;  // the device pixel ratio of the last paint
  const void* FHover = nullptr;
  QString FHint;
  QString FAccessibleValue;  // last announced
};

}  // namespace vd::gui
