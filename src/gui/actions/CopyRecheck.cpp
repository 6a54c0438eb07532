#include "actions/CopyRecheck.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/Dialogs.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

namespace {

// Short comparisons end before the window would miss a frame: the box
// comes only for the long ones.
constexpr int kShowAfterMs = 300;

// One comparison, shared with its thread, which may outlive the wait.
struct TJob {
  std::mutex M;
  std::condition_variable Cv;
  bool Done = false;
  TRecheck Result = TRecheck::Unreadable;
  std::atomic<int32_t> Cancel{0};
  std::atomic<int64_t> Bytes{0};
};

QString Why(TRecheck r) {
  switch (r) {
    case TRecheck::Differs: return QStringLiteral("changed since the check");
    case TRecheck::KeptGone: return QStringLiteral("the kept copy is gone");
    case TRecheck::CopyGone: return QStringLiteral("gone since the check");
    case TRecheck::Unreadable: return QStringLiteral("could not be read");
    case TRecheck::SameFile: return QStringLiteral("the same file as the kept copy");
    case TRecheck::Stopped: return QStringLiteral("not compared: stopped");
    case TRecheck::Same: break;
  }
  return {};
}

}  // namespace

TRecheckSeam& RecheckOps() {
  static TRecheckSeam seam{[](const std::string& copy, const std::string& kept, const TRecheckOptions& o) {
    return CompareFileBytes(copy, kept, o);
  }};
  return seam;
}

TCopyRecheck::TCopyRecheck(QWidget* parent, const std::vector<TKeptCopy>& copies)
    : FParent(parent), FCopies(copies) {
  for (size_t i = 0; i < FCopies.size(); ++i) {
    FIndex.emplace(platform::PathKey(FCopies[i].Copy), i);
    FTotalBytes += std::max<int64_t>(FCopies[i].Size, 0);
  }
  FClock.start();
}

TCopyRecheck::~TCopyRecheck() { delete FDialog.data(); }

bool TCopyRecheck::Covers(const std::string& path) const { return FIndex.count(platform::PathKey(path)) > 0; }

bool TCopyRecheck::StillCopy(const std::string& path) {
  const auto it = FIndex.find(platform::PathKey(path));
  if (it == FIndex.end()) return true;
  const TKeptCopy& c = FCopies[it->second];
  const TRecheck r = FStopped ? TRecheck::Stopped : Compare(c);
  ++FDone;
  FDoneBytes += std::max<int64_t>(c.Size, 0);
  // Many short comparisons in a row: the box still moves, and Stop is heard.
  if (!FStopped && FClock.elapsed() >= kShowAfterMs && (!FPumped.isValid() || FPumped.elapsed() >= 30))
    ShowProgress(c, 0);
  if (r == TRecheck::Same) return true;
  FLeft << DisplayText(c.Copy) + QStringLiteral(" (") + Why(r) + QStringLiteral(")");
  return false;
}

TRecheck TCopyRecheck::Compare(const TKeptCopy& c) {
  auto job = std::make_shared<TJob>();
  try {
    std::thread([job, copy = c.Copy, kept = c.Kept, compare = RecheckOps().Compare] {
      TRecheckOptions o;
      o.Cancel = &job->Cancel;
      o.OnProgress = [&job](int64_t bytes) { job->Bytes.store(bytes); };
      TRecheck r = TRecheck::Unreadable;
      try {
        r = compare(copy, kept, o);
      } catch (...) {
        // out of memory, say: not proven equal
      }
      std::lock_guard<std::mutex> lock(job->M);
      job->Result = r;
      job->Done = true;
      job->Cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return TRecheck::Unreadable;  // no thread to be had: nothing proven
  }
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(job->M);
      if (job->Cv.wait_for(lock, std::chrono::milliseconds(10), [&] { return job->Done; })) return job->Result;
    }
    if (FStopped) {
      job->Cancel.store(1);
      return TRecheck::Stopped;  // not waiting for a read that may never end
    }
    if (FClock.elapsed() >= kShowAfterMs) ShowProgress(c, job->Bytes.load());
  }
}

void TCopyRecheck::ShowProgress(const TKeptCopy& c, int64_t bytes) {
  if (!FDialog) {
    FDialog = new QProgressDialog(FParent);
    FDialog->setObjectName(QStringLiteral("dlgRecheckCopies"));
    FDialog->setWindowTitle(QCoreApplication::applicationName());
    FDialog->setCancelButtonText(QStringLiteral("Stop"));
    FDialog->setRange(0, 1000);
    FDialog->setMinimumDuration(0);
    FDialog->setAutoReset(false);
    FDialog->setAutoClose(false);
    // Nothing else in the window may act meanwhile: the tree could go.
    FDialog->setWindowModality(Qt::ApplicationModal);
    FDialog->show();
  }
  const double total = double(std::max<int64_t>(FTotalBytes, 1));
  FDialog->setValue(int(std::min(1000.0, double(FDoneBytes + bytes) * 1000.0 / total)));
  FDialog->setLabelText(QStringLiteral("Comparing copy %1 of %2 with the file kept for its content:\n")
                            .arg(qlonglong(FDone + 1))
                            .arg(qlonglong(FCopies.size())) +
                        DisplayText(c.Copy));
  QCoreApplication::processEvents();
  FPumped.start();
  if (FDialog && FDialog->wasCanceled()) FStopped = true;
}

void TCopyRecheck::ReportLeft() const {
  if (FLeft.isEmpty()) return;
  ShowListMessage(FParent,
                  QStringLiteral("%1 of %2 copies were left in place:").arg(FLeft.size()).arg(qlonglong(FCopies.size())),
                  FLeft);
}

}  // namespace vd::gui
