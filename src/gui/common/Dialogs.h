// Modal message boxes, behind a seam so that tests can answer them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace vd::gui {

enum class TBoxKind { Error, Confirmation, Warning };

struct TDialogSeam {
  // An error box with an OK button. Empty: a QMessageBox.
  std::function<void(QWidget* parent, const QString& text)> ShowError;
  // A question with Yes (the default) and No; `details` lists what the answer
  // acts on. True for Yes. Empty: a QMessageBox.
  std::function<bool(QWidget* parent, TBoxKind kind, const QString& text, const QStringList& details)> AskYesNo;
  // A warning with an OK button; `details` lists what it is about. Empty: a QMessageBox.
  std::function<void(QWidget* parent, const QString& text, const QStringList& details)> ShowList;
};
TDialogSeam& Dialogs();

void ShowErrorMessage(QWidget* parent, const QString& text);
bool AskYesNo(QWidget* parent, TBoxKind kind, const QString& text, const QStringList& details = {});
void ShowListMessage(QWidget* parent, const QString& text, const QStringList& details);

}  // namespace vd::gui
