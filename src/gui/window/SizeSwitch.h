// "Size on disk" / "Apparent size": which size every view counts in, and the
// status bar's word on folders the scan could not read.
//
// - One switch on the toolbar (and Ctrl+D), remembered with the window's
//   layout; "Apparent size" by default, so that every number stays the file
//   lengths unless the user asks otherwise.
// - Switching does not scan again: the views are emptied, the tree is put in
//   the other measure, and the results build runs again from it. While a scan,
//   an open or a build runs, the switch waits (disabled).
// - The results build asks ApplyMeasure first, before it reads any size; that
//   also counts the unreadable folders for the indicator beside the status
//   line ("N folders could not be read", the first of them on hover, all of
//   them, up to a screenful, on click).
#pragma once

#include <QObject>

#include "core/scan/SizeMeasure.h"

class QToolButton;

namespace vd::gui {

class TfrmMain;

class TSizeSwitch : public QObject {
  Q_OBJECT
 public:
  explicit TSizeSwitch(TfrmMain& window);

  TSizeMeasure Measure() const { return FMeasure; }
  // Sets the measure and, where results are shown, builds them again.
  void SetMeasure(TSizeMeasure m);
  void Toggle();
  // For the results build: puts the tree in the measure and updates the indicator.
  void ApplyMeasure();
  void UpdateButtons(bool busy);
  // The indicator's place, right of the status text and left of the progress bar.
  void Position(int statusWidth, int progressLeft);
  void ResultsCleared();
  void RestoreSetting();
  void SaveSetting() const;

  QToolButton* Button() const { return FButton; }
  QToolButton* Indicator() const { return FIndicator; }

 private:
  void ShowIndicator(const TTreeFacts& facts);
  void ListUnreadable();

  TfrmMain& W;
  TSizeMeasure FMeasure = TSizeMeasure::Apparent;
  QToolButton* FButton = nullptr;
  QToolButton* FIndicator = nullptr;
};

// "N folders could not be read" (one folder: "1 folder could not be read").
QString UnreadableText(int64_t n);

}  // namespace vd::gui
