#include "Dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

namespace vd::gui {

TDialogSeam& Dialogs() {
  static TDialogSeam seam;
  return seam;
}

void ShowErrorMessage(QWidget* parent, const QString& text) {
  if (Dialogs().ShowError) return Dialogs().ShowError(parent, text);
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // a message may quote a path
  box.exec();
}

namespace {

// What a box is about stands in the box itself, not only behind "Show
// Details...": a delete of a whole folder must be seen before Yes.
void ShowDetails(QMessageBox& box, const QStringList& details) {
  if (details.isEmpty()) return;
  constexpr int kShown = 10;
  QStringList shown = details.mid(0, kShown);
  if (details.size() > kShown) shown << QStringLiteral("... and %1 more").arg(details.size() - kShown);
  box.setInformativeText(shown.join(QLatin1Char('\n')));
  // The names stand as they are: one such as "<b>x</b>" must not be read as
  // markup, in the very box that asks whether to delete it.
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
    label->setTextFormat(Qt::PlainText);
  box.setDetailedText(details.join(QLatin1Char('\n')));
}

}  // namespace

bool AskYesNo(QWidget* parent, TBoxKind kind, const QString& text, const QStringList& details) {
  if (Dialogs().AskYesNo) return Dialogs().AskYesNo(parent, kind, text, details);
  const auto icon = kind == TBoxKind::Warning ? QMessageBox::Warning
                    : kind == TBoxKind::Error ? QMessageBox::Critical
                                              : QMessageBox::Question;
  QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Yes);
  ShowDetails(box, details);
  return box.exec() == QMessageBox::Yes;
}

void ShowListMessage(QWidget* parent, const QString& text, const QStringList& details) {
  if (Dialogs().ShowList) return Dialogs().ShowList(parent, text, details);
  QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  ShowDetails(box, details);
  box.exec();
}

}  // namespace vd::gui
