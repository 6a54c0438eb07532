// The common face of the four result tabs. The main window composes them; each
// tab owns its treemap surface, lists and trees and their handlers.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "common/ResultsState.h"
#include "views/PaintSurface.h"

namespace vd::gui {

class TResultTab : public QWidget {
  Q_OBJECT
 public:
  TResultTab(TResultsState& state, TWindowHooks& window, QWidget* parent = nullptr)
      : QWidget(parent), S(state), W(window) {}

  // Empties the tab's lists and trees and forgets its hovered tile. Called
  // before the scan tree is destroyed, so nothing shown points into it.
  virtual void ClearView() = 0;
  // Lays the tab's treemap out again for the surface's current size.
  virtual void RebuildTreemap() = 0;
  // The status line for this tab's selection ("Ready" when none).
  virtual QString SelectionStatus() const = 0;
  // The full paths selected on the tab, in the tab's order, as its views hold
  // them (a path may come twice); the file actions take each item once.
  virtual std::vector<std::string> GatherSelectedPaths() const = 0;
  // Sizes the right-hand list of the bottom panel for a window client width.
  virtual void AdjustBottomPanel(int windowClientWidth) = 0;
  // The window's width changed while the tab was hidden: its bottom panel is
  // sized when it is next shown. Only then: a tab merely shown again keeps
  // the splitters as the user left them.
  void SetBottomPanelPending() { FBottomPanelPending = true; }
  bool TakeBottomPanelPending() { return std::exchange(FBottomPanelPending, false); }

  TPaintSurface* Surface() const { return FSurface; }
  // Marks the back buffer dirty and repaints (InvalidateBufN).
  void InvalidateBuf() {
    if (FSurface) FSurface->Invalidate();
  }

 protected:
  TResultsState& S;
  TWindowHooks& W;
  TPaintSurface* FSurface = nullptr;

 private:
  bool FBottomPanelPending = false;
};

}  // namespace vd::gui
