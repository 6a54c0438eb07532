// The window's keys. Each one clicks its toolbar button, so the key and the
// button cannot part: a disabled button's key is off as well, the key does
// exactly what the click does, and the tooltip names the key ("Move to
// Recycle Bin (Del)"). No key acts while a modal dialog is open.
//
// The file actions' keys act while the focus is in the result tabs (the
// treemaps, lists, trees and the tab bar): in the source and filter fields
// Enter, Del and Ctrl+C keep their meaning for the text. Esc (Stop), F5
// (Rescan), Ctrl+O, Ctrl+S (Open Scan, Save Scan) and Ctrl+1 ... Ctrl+4 (the
// tabs) act anywhere in the window.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

class QAction;
class QToolButton;
class QWidget;

namespace vd::gui {

class TfrmMain;

class TWindowKeys : public QObject {
  Q_OBJECT
 public:
  explicit TWindowKeys(TfrmMain& window);

  // Binds keys to a toolbar button: an action named "act" + the button's name
  // without "btn", with the button's hint and icon, that clicks it. `keyText`
  // is how the key is written for the user; `scope` the widget the focus must
  // be in (null: anywhere in the window). With no keys the action only
  // mirrors the button, for a menu.
  QAction* Bind(QToolButton* button, const QList<QKeySequence>& keys, const QString& keyText, QWidget* scope);

  // The six file actions in the context menu's order; null for a separator.
  QList<QAction*> FileActions() const { return FFileActions; }
  QAction* Rescan() const { return FRescan; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TfrmMain& W;
  QList<QAction*> FFileActions;
  QAction* FRescan = nullptr;
};

}  // namespace vd::gui
