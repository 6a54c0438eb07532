#include "PaintSurface.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>
#include <cmath>

namespace vd::gui {

TPaintSurface::TPaintSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the buffer covers everything
  setMouseTracking(true);
  setMinimumSize(1, 1);
}

void TPaintSurface::Invalidate() {
  FDirty = true;
  update();
}

void TPaintSurface::DrawVisualizationNotAvailable(QPainter& p, const QRect& r) {
  QFont f = p.font();
  f.setPointSize(20);
  p.setFont(f);
  p.setPen(QPalette().color(QPalette::Disabled, QPalette::WindowText));
  p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("Visualization not available"));
}

QSize TPaintSurface::LayoutSize() const { return (QSizeF(size()) * devicePixelRatioF()).toSize(); }

QPoint TPaintSurface::LayoutPoint(QPointF logical) const {
  const qreal r = devicePixelRatioF();
  return QPoint(int(std::floor(logical.x() * r)), int(std::floor(logical.y() * r)));
}

void TPaintSurface::paintEvent(QPaintEvent*) {
  if ((IsClosing && IsClosing()) || width() <= 0 || height() <= 0) return;
  const qreal ratio = devicePixelRatioF();
  if (ratio != FRatio) {
    // Moved to a screen of another scale: the treemap is laid out again in
    // that screen's pixels.
    const bool moved = FRatio != 0;
    FRatio = ratio;
    if (moved) emit Resized();
  }
  const QSize pixels = LayoutSize();
  if (FBuf.size() != pixels) {
    FBuf = QImage(pixels, QImage::Format_RGB32);
    FDirty = true;
  }
  if (FDirty) {
    if (HasData && HasData() && PaintBuffer) {
      FBuf.setDevicePixelRatio(1);  // the layout draws pixel for pixel
      PaintBuffer(FBuf);
      FBuf.setDevicePixelRatio(ratio);
    } else {
      FBuf.setDevicePixelRatio(ratio);  // the placeholder's text in points
      QPainter bp(&FBuf);
      const QRect area(QPoint(0, 0), size());
      bp.fillRect(area, palette().color(QPalette::Button));
      DrawVisualizationNotAvailable(bp, area);
    }
    FDirty = false;
  }
  FBuf.setDevicePixelRatio(ratio);
  QPainter p(this);
  p.drawImage(0, 0, FBuf);
}

void TPaintSurface::mouseMoveEvent(QMouseEvent* e) {
  if ((IsClosing && IsClosing()) || !HitTest) return;
  const void* hit = HitTest(LayoutPoint(e->position()));
  if (hit == FHover) return;
  FHover = hit;
  FHint = hit && HintFor ? HintFor(hit) : QString();
  if (FHint.isEmpty()) {
    QToolTip::hideText();
    return;
  }
  // As plain text: a path such as "/tmp/<b>x</b>" would otherwise be read as
  // markup and shown as something it is not.
  QString shown = FHint;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QToolTip::showText(e->globalPosition().toPoint(), Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal), this);
}

void TPaintSurface::leaveEvent(QEvent* e) {
  // The pointer left: coming back onto the same tile shows its hint again.
  FHover = nullptr;
  QWidget::leaveEvent(e);
}

void TPaintSurface::mousePressEvent(QMouseEvent* e) { emit MouseDown(e); }

void TPaintSurface::mouseDoubleClickEvent(QMouseEvent* e) {
  emit MouseDown(e);  // the double click's own press selects the tile first
  // Only the left button opens: a quick pair of right clicks is no request to
  // launch anything.
  if (e->button() == Qt::LeftButton) emit DblClick();
}

void TPaintSurface::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  emit Resized();
}

bool TPaintSurface::event(QEvent* e) {
  // Our tooltip is shown at once on every change of tile; the toolkit's own
  // delayed one would only echo it.
  if (e->type() == QEvent::ToolTip) return true;
  return QWidget::event(e);
}

}  // namespace vd::gui
