#include "window/Shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <QToolButton>

#include "window/MainWindow.h"

namespace vd::gui {

namespace {
const char kHintProperty[] = "vdHint";  // a button's tooltip without its key
}  // namespace

TWindowKeys::TWindowKeys(TfrmMain& window) : QObject(&window), W(window) {
  QWidget* results = W.PageControl1;
  const auto key = [](QKeyCombination k) { return QKeySequence(k); };
  QAction* open = Bind(W.btnOpen, {key(Qt::Key_Return), key(Qt::Key_Enter)}, QStringLiteral("Enter"), results);
  QAction* reveal = Bind(W.btnOpenExplorer, {key(Qt::CTRL | Qt::Key_Return), key(Qt::CTRL | Qt::Key_Enter)},
                         QStringLiteral("Ctrl+Enter"), results);
  QAction* copy = Bind(W.btnCopyPath, {key(Qt::CTRL | Qt::Key_C)}, QStringLiteral("Ctrl+C"), results);
  QAction* properties = Bind(W.btnShowProperties, {key(Qt::ALT | Qt::Key_Return), key(Qt::ALT | Qt::Key_Enter)},
                             QStringLiteral("Alt+Enter"), results);
  QAction* trash = Bind(W.btnRemoveToRecycleBin, {key(Qt::Key_Delete)}, QStringLiteral("Del"), results);
  QAction* remove = Bind(W.btnRemove, {key(Qt::SHIFT | Qt::Key_Delete)}, QStringLiteral("Shift+Del"), results);
  FFileActions = {open, reveal, copy, properties, nullptr, trash, remove};

  Bind(W.btnStop, {key(Qt::Key_Escape)}, QStringLiteral("Esc"), nullptr);
  // Rescan takes the active tab's selection wherever the focus is: F5 means
  // nothing to the fields.
  FRescan = Bind(W.btnRescan, {key(Qt::Key_F5)}, QStringLiteral("F5"), nullptr);
  Bind(W.btnOpenScan, {key(Qt::CTRL | Qt::Key_O)}, QStringLiteral("Ctrl+O"), nullptr);
  Bind(W.btnSaveScan, {key(Qt::CTRL | Qt::Key_S)}, QStringLiteral("Ctrl+S"), nullptr);

  static const Qt::Key kDigits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4};
  for (int i = 0; i < W.PageControl1->count() && i < 4; ++i) {
    auto* tab = new QAction(W.PageControl1->tabText(i), this);
    tab->setObjectName(QStringLiteral("actTab%1").arg(i + 1));
    tab->setShortcut(QKeySequence(Qt::CTRL | kDigits[i]));
    tab->setShortcutContext(Qt::WindowShortcut);
    W.addAction(tab);
    connect(tab, &QAction::triggered, this, [this, i] {
      if (!QApplication::activeModalWidget()) W.PageControl1->setCurrentIndex(i);
    });
  }
}

QAction* TWindowKeys::Bind(QToolButton* button, const QList<QKeySequence>& keys, const QString& keyText,
                           QWidget* scope) {
  QString hint = button->property(kHintProperty).toString();
  if (hint.isEmpty()) {
    // A button with a caption is named by it; the toolbar's by their hints.
    hint = button->text().isEmpty() ? button->toolTip() : button->text();
    button->setProperty(kHintProperty, hint);
  }
  auto* action = new QAction(button->icon(), hint, this);
  action->setObjectName(QStringLiteral("act") + button->objectName().mid(3));
  action->setShortcuts(keys);
  action->setProperty("keyText", keyText);
  action->setShortcutContext(scope ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
  (scope ? scope : static_cast<QWidget*>(&W))->addAction(action);
  action->setEnabled(button->isEnabled());
  button->installEventFilter(this);
  button->setProperty("vdKeyAction", QVariant::fromValue(static_cast<QObject*>(action)));
  if (!keyText.isEmpty()) button->setToolTip(hint + QStringLiteral(" (") + keyText + QLatin1Char(')'));
  connect(action, &QAction::triggered, button, [button] {
    // A key pressed while a dialog is up is the dialog's, whatever the
    // toolkit lets through.
    if (!QApplication::activeModalWidget()) button->click();
  });
  return action;
}

bool TWindowKeys::eventFilter(QObject* watched, QEvent* event) {
  // The button's state is the one SetBusy and the rest of the window keep;
  // its key follows it.
  if (event->type() == QEvent::EnabledChange)
    if (auto* button = qobject_cast<QToolButton*>(watched))
      if (auto* action = qobject_cast<QAction*>(button->property("vdKeyAction").value<QObject*>()))
        action->setEnabled(button->isEnabled());
  return false;
}

}  // namespace vd::gui
