// The status line's summary of a selection: "Ready", "A  B" or "A  B  (n selected)".
#pragma once

#include <QString>

namespace vd::gui {

inline QString ShowSelection(const QString& a, const QString& b, int count) {
  if (a.isEmpty()) return QStringLiteral("Ready");
  if (count < 2) return QStringLiteral("%1  %2").arg(a, b);
  return QStringLiteral("%1  %2  (%3 selected)").arg(a, b, QString::number(count));
}

}  // namespace vd::gui
