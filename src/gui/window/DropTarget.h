// A folder dropped onto the window from a file manager (`text/uri-list`)
// becomes the custom path and is scanned at once, as `vorndale FOLDER` does.
// A file, several items or a folder that is gone are refused with a message.
// While a scan or a results build runs the window takes no drop, and items
// dragged out of its own views are never taken back in.
#pragma once

#include <QByteArray>
#include <QObject>

class QDropEvent;

namespace vd::gui {

class TfrmMain;

class TDropTarget : public QObject {
  Q_OBJECT
 public:
  explicit TDropTarget(TfrmMain& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether the window would take the drop at all (not what it then says).
  bool Acceptable(const QDropEvent& e) const;
  void Dropped(const QByteArray& uriList);

  TfrmMain& W;
};

}  // namespace vd::gui
