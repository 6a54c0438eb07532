#include "tabs/duplicates/ContentCheckRun.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "common/ResultsState.h"

namespace vd::gui {

TContentPass& ContentPassOps() {
  static TContentPass pass = [](const std::vector<std::vector<std::string>>& groups, const TContentCheckOptions& o) {
    return CheckContents(groups, o);
  };
  return pass;
}

struct TContentCheckRun::TState {
  // The tree's side, until the pass has its own paths: under TreeLock, and
  // only while TreeGone is false.
  std::mutex TreeLock;
  bool TreeGone = false;
  TDupGroups Groups;  // copies: the window's list may be rebuilt

  std::atomic<int32_t> Cancel{0};
  std::atomic<int64_t> Done{0};
  int64_t Total = 0;
  TContentCheckResult Result;
  std::atomic<bool> Finished{false};  // Result is written, the thread touches nothing more
};

TContentCheckRun::TContentCheckRun(TWindowHooks& window, QObject* parent) : QObject(parent), W(window) {
  FTimer = new QTimer(this);
  FTimer->setInterval(120);
  connect(FTimer, &QTimer::timeout, this, &TContentCheckRun::Tick);
}

TContentCheckRun::~TContentCheckRun() { Cancel(); }

void TContentCheckRun::Start(const TDupGroups& groups) {
  Cancel();
  auto state = std::make_shared<TState>();
  for (const auto& g : groups) {
    state->Groups.push_back(std::make_unique<TDupGroup>(*g));
    state->Total += int64_t(g->Files.size());
  }
  try {
    std::thread([state, pass = ContentPassOps()] {
      try {
        std::vector<std::vector<std::string>> paths;
        bool tree = true;
        {
          // The paths, while the tree is there; the lock is let go now and
          // then, so that a Cancel waits for a few paths at most.
          constexpr size_t kPathsPerLock = 256;
          size_t taken = kPathsPerLock;
          std::unique_lock<std::mutex> lock(state->TreeLock);
          TOpenablePaths openable;
          for (const auto& g : state->Groups) {
            if (state->TreeGone) break;
            paths.emplace_back();
            paths.back().reserve(g->Files.size());
            for (const TFileLeaf* f : g->Files) {
              if (--taken == 0) {
                lock.unlock();
                taken = kPathsPerLock;
                lock.lock();
                if (state->TreeGone) break;
              }
              paths.back().push_back(openable.Of(f));
            }
          }
          tree = !state->TreeGone;
          state->Groups.clear();
        }
        if (!tree) {
          state->Result.Cancelled = true;
        } else {
          TContentCheckOptions o;
          o.Cancel = &state->Cancel;
          o.OnProgress = [&state](const TContentProgress& p) { state->Done.store(p.FilesDone); };
          state->Result = pass(paths, o);
        }
      } catch (...) {
        // Out of memory, say: the pass ends as if stopped, its verdicts unchecked.
        state->Result = {};
        state->Result.Cancelled = true;
      }
      state->Finished.store(true, std::memory_order_release);
    }).detach();
  } catch (const std::system_error&) {
    return;  // no thread to be had: no verdicts, as before the check existed
  }
  FState = std::move(state);
  FTimer->start();
  ShowProgress(true);
}

void TContentCheckRun::Cancel() {
  FResult.reset();
  if (!FState) return;
  FTimer->stop();
  ShowProgress(false);
  {
    std::lock_guard<std::mutex> lock(FState->TreeLock);
    FState->TreeGone = true;
  }
  FState->Cancel.store(1);
  FState.reset();  // the thread keeps its state alive by itself
}

void TContentCheckRun::Stop() {
  if (!FState) return;
  FState->Cancel.store(1);
  if (FBar) FBar->setFormat(QStringLiteral("Stopping the comparison..."));
}

void TContentCheckRun::Tick() {
  if (!FState) return;
  if (FState->Finished.load(std::memory_order_acquire)) {
    FResult = std::make_unique<TContentCheckResult>(std::move(FState->Result));
    FState.reset();
    FTimer->stop();
    ShowProgress(false);
    emit Ended();
    return;
  }
  if (AppClosing || !FBar || FState->Cancel.load()) return;
  const int64_t total = std::max<int64_t>(FState->Total, 1);
  FBar->setValue(int(std::min<int64_t>(FState->Done.load(), total) * 1000 / total));
  // Counts go in as numbers: "%" would be read by the bar's own format.
  FBar->setFormat(QStringLiteral("Comparing contents: ") + QString::number(FState->Done.load()) +
                  QStringLiteral(" of ") + QString::number(FState->Total) + QStringLiteral(" files..."));
}

void TContentCheckRun::ShowProgress(bool on) {
  if (on && !FStatus) {
    // The status bar is the progress bar's panel; a tab shown on its own has none.
    QProgressBar* pb = W.ProgressBar();
    QWidget* bar = pb ? pb->parentWidget() : nullptr;
    if (!bar) return;
    FStatus = new QWidget(bar);
    FStatus->setObjectName(QStringLiteral("pnlContentCheckProgress"));
    FStatus->setAutoFillBackground(true);
    auto* h = new QHBoxLayout(FStatus);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(2);
    FStop = new QToolButton(FStatus);
    FStop->setObjectName(QStringLiteral("btnStopContentCheck"));
    FStop->setIcon(QIcon(QStringLiteral(":/icons/stop")));
    FStop->setIconSize(QSize(14, 14));
    FStop->setAutoRaise(true);
    FStop->setFocusPolicy(Qt::NoFocus);
    FStop->setToolTip(QStringLiteral("Stop comparing contents"));
    FBar = new QProgressBar(FStatus);
    FBar->setObjectName(QStringLiteral("pbContentCheck"));
    FBar->setRange(0, 1000);
    FBar->setTextVisible(true);
    FBar->setAlignment(Qt::AlignCenter);
    h->addWidget(FStop);
    h->addWidget(FBar, 1);
    connect(FStop, &QToolButton::clicked, this, &TContentCheckRun::Stop);
    bar->installEventFilter(this);
  }
  if (!FStatus) return;
  if (on) {
    FBar->setValue(0);
    FBar->setFormat(QStringLiteral("Comparing contents..."));
  }
  FStatus->setVisible(on);
  if (on) PlaceProgress();
}

void TContentCheckRun::PlaceProgress() {
  // Over the window's progress bar, idle while the check runs (a scan, a
  // rescan or an open cancels the check first), and the stop button before it.
  if (!FStatus || !FStatus->isVisible()) return;
  const QRect pb = W.ProgressBar()->geometry();
  const int stop = FStop->sizeHint().width();
  const int h = std::max(pb.height() + 4, FStop->sizeHint().height());
  FStatus->setGeometry(pb.x() - stop - 2, pb.center().y() - h / 2, pb.width() + stop + 2, h);
  FStatus->raise();
}

bool TContentCheckRun::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Resize && FStatus && watched == FStatus->parentWidget())
    QTimer::singleShot(0, this, &TContentCheckRun::PlaceProgress);  // after the window placed the progress bar
  return false;
}

}  // namespace vd::gui
