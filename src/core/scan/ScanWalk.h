// One walk of what the user chose to scan: a folder, or every drive under the
// synthetic "(All Drives)" root. The window's scan task and the headless export
// both walk through here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/scan/DiskScanner.h"

namespace vd {

// Progress of the whole walk: the folder being listed (or the drive just
// finished) and the counts so far, finished drives included. Bytes count every
// file seen, excluded ones too, as the scanner's FBytes does.
using TWalkProgress = std::function<void(const std::string& path, int64_t files, int64_t dirs, int64_t bytes)>;

struct TWalkOptions {
  // Publishes at most once per this many milliseconds during a drive, and
  // once at once after each drive.
  uint32_t ThrottleMs = 90;
  TWalkProgress OnProgress;
};

// Walks `folder`, or each of `drives` in order when `allDrives`, with the
// context's filters, on the calling thread. A drive that yields nothing, or
// was being walked when the context was cancelled, is left out of the root.
// The tree is incomplete (or null) when the context was cancelled: check it
// before using the result. Errors of the filters (an invalid mask) throw.
std::unique_ptr<TDirNode> WalkScanSource(TScanContext& context, bool allDrives, const std::string& folder,
                                         const std::vector<std::string>& drives, const TWalkOptions& options = {});

}  // namespace vd
