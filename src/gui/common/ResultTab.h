// The common face of the four result tabs. The main window composes them; each
// tab owns its treemap surface, lists and trees and their handlers.
#pragma once

#include <QModelIndex>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ResultsState.h"
#include "views/PaintSurface.h"

namespace vd::gui {

// A file "Select Copies" chose, with the file kept for its content.
struct TKeptCopy {
  std::string Copy, Kept;
  int64_t Size = 0;  // as the scan found it, for progress only
};

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

  // What an item of one of the tab's views stands for, for a context menu or
  // a drag of it: the paths the file actions must take for it to act on what
  // the user pointed at. `index` is a row or node of a list or tree, `tile` a
  // tile of Surface(). Empty: the actions cannot take this item. None: the
  // view only steers another one that the actions read (a legend that selects
  // rows), so whatever they take is what the user chose there.
  virtual std::optional<std::vector<std::string>> ItemPaths(const QWidget* view, const QModelIndex& index,
                                                            const void* tile) const {
    (void)view, (void)index, (void)tile;
    return std::vector<std::string>{};
  }
  // A context menu is about to open on an item of `view` that is (`inside`) or
  // is not yet selected; in the second case it is then selected alone. The
  // tab drops its other selections that the file actions would read before
  // this view's, so that they read what the user pointed at.
  virtual void PrepareContextSelection(const QWidget* view, bool inside) { (void)view, (void)inside; }
  // When the selection the file actions gather is "Select Copies"' choice:
  // each copy with the file kept for its content, so that a copy is removed
  // only while both still hold the same bytes. Empty for any other selection.
  virtual std::vector<TKeptCopy> SelectedCopies() const { return {}; }

  TPaintSurface* Surface() const { return FSurface; }
  // Marks the back buffer dirty and repaints (InvalidateBufN).
  void InvalidateBuf() {
    if (FSurface) FSurface->Invalidate();
  }
  // True when the treemap's surface has never been shown: its layout then
  // waits for the first show (the surface emits Resized), and clear() drops
  // the tiles of an older tree meanwhile.
  template <class TClear>
  bool DeferLayoutUntilShown(TClear&& clear) {
    if (!FSurface || FSurface->EverShown()) return false;
    clear();
    FSurface->DeferLayout();
    FSurface->ResetHover();
    InvalidateBuf();
    return true;
  }

 protected:
  TResultsState& S;
  TWindowHooks& W;
  TPaintSurface* FSurface = nullptr;

 private:
  bool FBottomPanelPending = false;
};

}  // namespace vd::gui
