#include "update/UpdateSeams.h"

#include <QDesktopServices>
#include <QMessageBox>

namespace vd::update {

TUpdateSeams& Seams() {
  static TUpdateSeams s;
  return s;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
  if (Seams().ShowErrorBox) {
    Seams().ShowErrorBox(parent, text);
    return;
  }
  QMessageBox::critical(parent, QStringLiteral("Error"), text, QMessageBox::Ok);
}

void OpenUrl(const QUrl& url) {
  if (Seams().OpenUrl) {
    Seams().OpenUrl(url);
    return;
  }
  // A failed open is not reported: there is nothing more the user could do.
  QDesktopServices::openUrl(url);
}

}  // namespace vd::update
