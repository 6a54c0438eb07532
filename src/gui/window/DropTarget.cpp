#include "window/DropTarget.h"

#include <QDropEvent>
#include <QMimeData>
#include <QToolButton>

#include "common/Dialogs.h"
#include "platform/Platform.h"
#include "views/Shell.h"
#include "views/UriList.h"
#include "window/MainWindow.h"

namespace vd::gui {

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
}  // namespace

TDropTarget::TDropTarget(TfrmMain& window) : QObject(&window), W(window) {
  W.setAcceptDrops(true);
  W.installEventFilter(this);
}

bool TDropTarget::Acceptable(const QDropEvent& e) const {
  // Scan is enabled exactly when neither a scan nor a results build runs.
  if (AppClosing || !W.btnScan->isEnabled() || e.source() || !e.mimeData()->hasFormat(kUriList)) return false;
  const TDroppedPaths dropped = PathsFromUriList(e.mimeData()->data(kUriList));
  return dropped.OnlyLocal && !dropped.Paths.empty();
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &W) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDropEvent*>(event);
      if (Acceptable(*e)) {
        // A file is taken as well, to say why it cannot be scanned.
        e->setDropAction(Qt::CopyAction);
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (!Acceptable(*e)) {
        e->ignore();
        return true;
      }
      e->setDropAction(Qt::CopyAction);
      e->accept();
      // After the drop has been answered: the file manager is not kept
      // waiting on a message box or on the start of the scan.
      const QByteArray list = e->mimeData()->data(kUriList);
      QMetaObject::invokeMethod(this, [this, list] { Dropped(list); }, Qt::QueuedConnection);
      return true;
    }
    default: return false;
  }
}

void TDropTarget::Dropped(const QByteArray& uriList) {
  if (AppClosing || !W.btnScan->isEnabled()) return;
  const std::vector<std::string> paths = PathsFromUriList(uriList).Paths;
  if (paths.size() != 1) {
    ShowErrorMessage(&W, QStringLiteral("Drop one folder to scan it."));
    return;
  }
  const std::string& path = paths.front();
  if (!platform::DirectoryExists(path)) {
    ShowErrorMessage(&W, platform::PathExists(path)
                             ? QStringLiteral("Only a folder can be scanned, not a file:\n") + DisplayText(path)
                             : QStringLiteral("Folder does not exist."));
    return;
  }
  W.StartScanFromCommandLine(false, path);
}

}  // namespace vd::gui
