// The last look at a copy before the file actions remove it. "Select Copies"
// chose its files from a content check that may be old: the kept file may
// have gone or changed since, the copy too, and a digest match is no proof
// against a collision made on purpose. So each copy is read again byte for
// byte beside the file kept for its content just before it goes, and only a
// copy that still equals a kept file that is still there is removed.
//
// The reads run on a thread of their own, which owns copies of the two paths;
// the window turns meanwhile and, for a long one, shows a progress box whose
// Stop ends the removal at once: a read stuck on a dead mount is left to end
// by itself.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/ResultTab.h"
#include "core/results/ContentCheck.h"

class QProgressDialog;
class QWidget;

namespace vd::gui {

// How a copy is compared with its kept file. Tests replace it to hold a
// comparison as a hung read would.
struct TRecheckSeam {
  std::function<TRecheck(const std::string& copy, const std::string& kept, const TRecheckOptions&)> Compare;
};
TRecheckSeam& RecheckOps();

class TCopyRecheck {
 public:
  // `copies` as the tab gave them; none means nothing is rechecked.
  TCopyRecheck(QWidget* parent, const std::vector<TKeptCopy>& copies);
  ~TCopyRecheck();
  TCopyRecheck(const TCopyRecheck&) = delete;
  TCopyRecheck& operator=(const TCopyRecheck&) = delete;

  // Whether `path` is one of the copies.
  bool Covers(const std::string& path) const;
  // Compares the copy at `path` with its kept file; true when it may go.
  // Otherwise it is noted with why. After a Stop, false for every copy.
  bool StillCopy(const std::string& path);
  // One message listing every copy left and why; nothing when none was.
  void ReportLeft() const;
  const QStringList& Left() const { return FLeft; }

 private:
  TRecheck Compare(const TKeptCopy& c);
  void ShowProgress(const TKeptCopy& c, int64_t bytes);

  QWidget* FParent;
  std::vector<TKeptCopy> FCopies;
  std::unordered_map<std::string, size_t> FIndex;  // path key -> copy
  int64_t FTotalBytes = 0, FDoneBytes = 0;
  size_t FDone = 0;
  bool FStopped = false;
  QStringList FLeft;
  QElapsedTimer FClock, FPumped;
  QPointer<QProgressDialog> FDialog;
};

}  // namespace vd::gui
