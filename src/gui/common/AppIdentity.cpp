#include "common/AppIdentity.h"

#include <QApplication>
#include <QIcon>

namespace vd::gui {

void SetApplicationIdentity() {
  QApplication::setApplicationName(QStringLiteral("Vorndale"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app")));
}

}  // namespace vd::gui
