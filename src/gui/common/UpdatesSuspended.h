// Suspends a widget's repaints for a scope and always resumes them, also when
// the bulk update in between is left by an error or a cancellation.
#pragma once

#include <QWidget>

namespace vd::gui {

class TUpdatesSuspended {
 public:
  explicit TUpdatesSuspended(QWidget* w) : FWidget(w) { FWidget->setUpdatesEnabled(false); }
  ~TUpdatesSuspended() { FWidget->setUpdatesEnabled(true); }
  TUpdatesSuspended(const TUpdatesSuspended&) = delete;
  TUpdatesSuspended& operator=(const TUpdatesSuspended&) = delete;

 private:
  QWidget* FWidget;
};

}  // namespace vd::gui
