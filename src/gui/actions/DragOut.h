// Dragging rows, nodes and tiles out of the result tabs, to a file manager or
// a terminal: the drag carries what the file actions would take (the active
// tab's selection, each item once) as `text/uri-list`, with the exact bytes
// of every name percent-encoded, plus the paths as text.
//
// A drag starts from a pressed item that the file actions take; from any
// other item the view does what it always did (a list extends its selection).
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

class QMimeData;
class QWidget;

namespace vd::gui {

class TFileActions;
class TResultTab;

class TDragOut : public QObject {
  Q_OBJECT
 public:
  TDragOut(TFileActions& actions, QObject* parent);
  // Lets the items of every list and tree of the tab, and its tiles, be dragged.
  void Attach(TResultTab* tab);

  // Tests: when set, receives the data of each drag instead of starting it.
  static std::function<void(const QMimeData&)>& DragStartHook();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TFileActions& FActions;
  std::vector<std::pair<QObject*, TResultTab*>> FWatched;
  // The press a drag may start from.
  QPointer<QWidget> FPressed;
  QPoint FPressPos;
  enum class TPress { None, Undecided, Drags, Passes } FPress = TPress::None;
};

}  // namespace vd::gui
