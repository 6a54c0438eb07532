#include "PaintSurface.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

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

void TPaintSurface::paintEvent(QPaintEvent*) {
  if ((IsClosing && IsClosing()) || width() <= 0 || height() <= 0) return;
  if (FBuf.size() != size()) {
    FBuf = QImage(size(), QImage::Format_RGB32);
    FDirty = true;
  }
  if (FDirty) {
    if (HasData && HasData() && PaintBuffer) {
      PaintBuffer(FBuf);
    } else {
      QPainter bp(&FBuf);
      bp.fillRect(FBuf.rect(), palette().color(QPalette::Button));
      DrawVisualizationNotAvailable(bp, FBuf.rect());
    }
    FDirty = false;
  }
  QPainter p(this);
  p.drawImage(0, 0, FBuf);
}

void TPaintSurface::mouseMoveEvent(QMouseEvent* e) {
  if ((IsClosing && IsClosing()) || !HitTest) return;
  const QPoint pos = e->position().toPoint();
  const void* hit = HitTest(pos);
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
