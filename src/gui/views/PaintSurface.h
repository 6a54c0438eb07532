// A treemap surface: draws from a back buffer that is redrawn only when dirty,
// shows "Visualization not available" when its tab has no data, and names the
// tile under the mouse in a tooltip that follows it from tile to tile.
//
// The treemap is laid out and drawn in the screen's own pixels, so it is as
// sharp at 150 % or 200 % as at 100 %: layouts get LayoutSize(), hit tests
// and mouse handlers take LayoutPoint()s.
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

  void Invalidate();  // marks the buffer dirty and asks for a repaint
  // The surface in the screen's pixels, and a point of it.
  QSize LayoutSize() const;
  QPoint LayoutPoint(QPointF logical) const;
  bool IsDirty() const { return FDirty; }
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
  bool event(QEvent* e) override;

 private:
  QImage FBuf;
  bool FDirty = true;
  qreal FRatio = 0;  // the device pixel ratio of the last paint
  const void* FHover = nullptr;
  QString FHint;
};

}  // namespace vd::gui
