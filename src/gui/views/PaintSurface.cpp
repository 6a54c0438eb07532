#include "PaintSurface.h"

#include <QAccessible>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextDocument>
#include <QToolTip>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "views/TileNeighbour.h"
#include "views/TreemapAccessible.h"

namespace vd::gui {

TPaintSurface::TPaintSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the buffer covers everything
  setMouseTracking(true);
  setMinimumSize(1, 1);
  setFocusPolicy(Qt::StrongFocus);
  InstallTreemapAccessibility();
}

void TPaintSurface::Invalidate() {
  FDirty = true;
  update();
  // Every change of the selection comes this way: screen readers hear of it.
  if (QAccessible::isActive()) {
    const QString value = AccessibleValue();
    if (value != FAccessibleValue) {
      FAccessibleValue = value;
      QAccessibleValueChangeEvent ev(this, value);
      QAccessible::updateAccessibility(&ev);
    }
  }
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
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
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

void TPaintSurface::mousePressEvent(QMouseEvent* e) {
  // A right click inside the selection keeps it; the context menu selects a
  // tile outside it, before it opens.
  if (e->button() != Qt::RightButton) emit MouseDown(e);
}

void TPaintSurface::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) return;
  emit MouseDown(e);  // the double click's own press selects the tile first
  // Only the left button opens: a quick pair of right clicks is no request to
  // launch anything.
  if (e->button() == Qt::LeftButton) emit DblClick();
}

void TPaintSurface::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (FEverShown) return;
  FEverShown = true;
  if (!std::exchange(FLayoutDeferred, false)) return;
  emit Resized();
  platform::ReleaseFreeMemory();  // the layout's scratch, as after a build
}

void TPaintSurface::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  emit Resized();
}

bool TPaintSurface::event(QEvent* e) {
  // Our tooltip is shown at once on every change of tile; the toolkit's own
  // delayed one would only echo it.
  if (e->type() == QEvent::ToolTip) return true;
  if (e->type() == QEvent::ShortcutOverride) {
    // The arrows and Enter belong to the treemap while it has the focus, not
    // to the window's shortcuts (Enter opens the active tab's selection).
    auto* k = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
    switch (k->key()) {
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (mods == Qt::NoModifier) {
          e->accept();
          return true;
        }
        break;
      default: break;
    }
  }
  return QWidget::event(e);
}

void TPaintSurface::keyPressEvent(QKeyEvent* e) {
  const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (!plain || (IsClosing && IsClosing())) return QWidget::keyPressEvent(e);
  switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (const void* tile = TileForArrow(e->key())) ClickTile(tile);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (Current && Current()) emit DblClick();
      return;
    default: return QWidget::keyPressEvent(e);
  }
}

// A hidden surface gives its buffer back: a full-screen buffer per tab is
// tens of megabytes, and drawing it again when the tab comes back takes a
// moment. A minimised window (a spontaneous hide) keeps it.
void TPaintSurface::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  if (e->spontaneous()) return;
  if (FBuf.isNull()) return;
  FBuf = QImage();
  FDirty = true;
  platform::ReleaseFreeMemory();  // the heap keeps a freed buffer otherwise
}

void TPaintSurface::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  update();  // the focus frame; the buffer is only copied
}

void TPaintSurface::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  update();
}

QRect TPaintSurface::TileRect(const void* tile) const {
  QRect found;
  if (tile && ForEachTile)
    ForEachTile([&](const void* t, const QRect& r) {
      if (t == tile && found.isEmpty()) found = r;
    });
  return found;
}

bool TPaintSurface::ClickTile(const void* tile) {
  const QRect r = TileRect(tile);
  if (r.isEmpty()) return false;
  // The point whose layout pixel is the tile's centre.
  const qreal ratio = devicePixelRatioF();
  const QPointF at((r.x() + r.width() / 2 + 0.5) / ratio, (r.y() + r.height() / 2 + 0.5) / ratio);
  QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  emit MouseDown(&press);
  return true;
}

const void* TPaintSurface::TileForArrow(int key) const {
  if (!ForEachTile || !HitTest || (HasData && !HasData())) return nullptr;
  std::vector<const void*> ids;
  std::vector<QRect> rects;
  ForEachTile([&](const void* t, const QRect& r) {
    ids.push_back(t);
    rects.push_back(r);
  });
  // On a nested treemap a folder may be covered by what it holds: a tile is
  // reached only when a click at its centre would select it.
  auto reachable = [&](int i) {
    const QRect& r = rects[size_t(i)];
    return !r.isEmpty() && HitTest(QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2)) == ids[size_t(i)];
  };
  const void* current = Current ? Current() : nullptr;
  const auto from = std::find(ids.begin(), ids.end(), current);
  if (!current || from == ids.end()) {
    for (int i = 0; i < int(ids.size()); ++i)
      if (reachable(i)) return ids[size_t(i)];
    return nullptr;
  }
  TArrow arrow = TArrow::Left;
  switch (key) {
    case Qt::Key_Left: arrow = TArrow::Left; break;
    case Qt::Key_Right: arrow = TArrow::Right; break;
    case Qt::Key_Up: arrow = TArrow::Up; break;
    case Qt::Key_Down: arrow = TArrow::Down; break;
    default: return nullptr;
  }
  const int next = NeighbourTile(rects, int(from - ids.begin()), arrow, reachable);
  return next < 0 ? nullptr : ids[size_t(next)];
}

QString TPaintSurface::AccessibleValue() const {
  const void* tile = Current ? Current() : nullptr;
  if (!tile || !HintFor) return QString();
  // The hint is the full path and the size on two lines (TileHint).
  const QString hint = HintFor(tile);
  const qsizetype br = hint.indexOf(QStringLiteral("\r\n"));
  if (br < 0) return hint;
  const QString path = hint.left(br);
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
  const QString name = cut >= 0 && cut + 1 < path.size() ? path.mid(cut + 1) : path;
  return name + QStringLiteral(", ") + hint.mid(br + 2);
}

}  // namespace vd::gui
