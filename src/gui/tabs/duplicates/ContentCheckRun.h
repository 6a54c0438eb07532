// The content check of the duplicate groups in the background: one pass on a
// thread of its own, its progress in the status bar (a bar of its own over
// the window's idle one, with a button to stop it), and its verdicts once it
// ends.
//
// Contract: the pass takes the paths of the groups' files from the tree while
// it starts, and reads only its own copies after that. So whoever owns the
// tree calls Cancel() before the tree or the groups change or go: a new scan,
// a rescan, an open, clearing the results, closing the window. Cancel never
// waits for a read: a pass stuck in one (a dead network mount, a hung FUSE
// file system) is left to end by itself, touching nothing of the window's,
// and a new pass starts beside it. Everything here runs on the UI thread,
// except the pass itself.
#pragma once

#include <QProgressBar>
#include <QObject>
#include <QPointer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/results/ContentCheck.h"

class QTimer;

namespace vd::gui {

class TWindowHooks;

// How a pass reads its groups, one list of paths per group. Tests replace it
// to hold a pass in a read, as a dead mount would.
using TContentPass =
    std::function<TContentCheckResult(const std::vector<std::vector<std::string>>&, const TContentCheckOptions&)>;
TContentPass& ContentPassOps();

class TContentCheckRun : public QObject {
  Q_OBJECT
 public:
  explicit TContentCheckRun(TWindowHooks& window, QObject* parent = nullptr);
  ~TContentCheckRun() override;

  // Starts a pass over `groups` (a pass still running is cancelled first).
  void Start(const TDupGroups& groups);
  // Stops a running pass and forgets it at once: no Ended, no verdicts. The
  // tree may go as soon as it returns.
  void Cancel();
  // The status bar's button: the pass ends early and Ended brings the verdicts
  // found so far (the groups not reached stay unchecked).
  void Stop();
  bool Running() const { return bool(FState); }
  // The verdicts of the pass that just ended, parallel to the groups it was
  // started with; null when there are none. Meant for Ended's handler.
  std::unique_ptr<TContentCheckResult> TakeResult() { return std::move(FResult); }

 signals:
  // A pass ended, all the way or by Stop.
  void Ended();

 private:
  struct TState;
  void Tick();
  void ShowProgress(bool on);
  void PlaceProgress();
  bool eventFilter(QObject* watched, QEvent* e) override;

  TWindowHooks& W;
  std::shared_ptr<TState> FState;  // shared with the pass's thread, which is detached
  std::unique_ptr<TContentCheckResult> FResult;
  QTimer* FTimer = nullptr;
  // In the status bar, which the window may take down first.
  QPointer<QWidget> FStatus;  // the stop button and the bar
  QPointer<QProgressBar> FBar;
  QPointer<QToolButton> FStop;
};

}  // namespace vd::gui
