// Scan files: the JSON dump format that terminal disk-usage tools share, read
// into a scan tree and written from one.
//
//   [1, 2, {"progname":"vorndale","progver":"1.0","timestamp":<unix seconds>,"hostname":"<machine>"},
//    [{"name":"/scanned/path"},
//     {"name":"file","asize":123,"mtime":1700000000},
//     [{"name":"sub-folder"}, ...]]]
//
// Reading (contract):
// - It streams: the file is unpacked and parsed in fixed-size buffers by a SAX
//   reader (RapidJSON's, iterative), never held as a document. Nesting depth is
//   limited by memory only; the reader's own state is one small frame per open
//   folder.
// - Every entry goes through TTreeBuilder, the calls a walk makes, so totals and
//   extension totals come out exactly as a scan of the same tree gives them.
// - Names are bytes: raw bytes are kept as they are (valid UTF-8 or not), and
//   \uXXXX escapes and surrogate pairs become UTF-8.
// - The input is not trusted. Every error is an EScanFileError naming the byte
//   offset (in the unpacked text) and what was expected there; a name that is
//   not one plain file name (empty, ".", "..", a separator, NUL) or appears twice
//   in its folder is refused, so no entry can stand for a path outside its
//   folder or for another entry. Memory beyond the tree is bounded by the
//   longest string and the depth, both at most the input's size.
// - Entries marked "excluded" or "notreg" are skipped, as the scan leaves out what
//   it does not count. A folder's own "asize" is ignored (a scan counts files only).
// - The root's name, and each drive's, is an absolute path without "." or ".."
//   parts or a doubled separator (never resolved against the working folder),
//   and no drive comes twice.
// - A root named "" is the synthetic root of an all-drives scan: its children are
//   folders whose names are the drives' paths. That is how the writer saves such
//   a tree (one file, the drives side by side).
//
// Writing goes straight from the tree, depth-first with an explicit stack: a
// folder is its info object, its files in Leaves order, then its sub-folders in
// Children order. Files carry "asize" and, when known, "mtime"; nothing the tree
// does not hold (disk usage, inodes, links) is written. Names are written as
// bytes: '"', '\' and control characters escaped, every other byte as it is. So
// export, import, export gives the same bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/dump/DumpCodec.h"
#include "core/scan/ScanModel.h"

namespace vd {

// A scan file that cannot be read, written, or is not one. Offset is the byte
// of the unpacked text where reading failed, -1 when the error has no place.
class EScanFileError : public EError {
 public:
  explicit EScanFileError(const std::string& message, int64_t offset = -1)
      : EError("EScanFileError", message), FOffset(offset) {}
  int64_t Offset() const { return FOffset; }

 private:
  int64_t FOffset;
};

// The header of a scan file.
struct TScanFileInfo {
  int MajorVersion = 1;
  int MinorVersion = 2;
  std::string ProgName;
  std::string ProgVer;
  int64_t Timestamp = 0;  // unix seconds of the scan; 0 when the file has none
  // The machine that was scanned, as our dumps record it ("hostname"); empty
  // in other tools' files.
  std::string HostName;
};

// Reading reports (unpacked bytes so far, raw bytes so far, files, folders) about
// every 256 KiB, on the reading thread.
using TScanFileProgress = std::function<void(int64_t textBytes, int64_t rawBytes, int64_t files, int64_t folders)>;

struct TScanFileReadOptions {
  TScanFileProgress OnProgress;
  // Read about every 256 KiB; when non-zero, reading stops (TScanFileRead.Cancelled).
  // A scan context's FCancelled fits here.
  const std::atomic<int32_t>* Cancel = nullptr;
};

struct TScanFileRead {
  std::unique_ptr<TDirNode> Root;  // null when cancelled
  TScanFileInfo Info;
  dump::TCompression Compression = dump::TCompression::None;
  bool Cancelled = false;
};

// Reads a scan file (plain, gzip or zstd; "-" reads standard input). Throws
// EScanFileError.
TScanFileRead ReadScanFile(const std::string& path, const TScanFileReadOptions& options = {});
// The same from bytes in memory, or from any byte source.
TScanFileRead ReadScanData(std::string_view bytes, const TScanFileReadOptions& options = {});
TScanFileRead ReadScanSource(dump::TByteSource& source, const TScanFileReadOptions& options = {});

struct TScanFileWriteOptions {
  // Unix seconds for the header; -1 means now. Pass TScanFileInfo.Timestamp to
  // keep the date of a scan that was read from a file.
  int64_t Timestamp = -1;
  // The machine named in the header: unset means this one; a tree read from
  // a file passes the file's (empty: none is written).
  std::optional<std::string> HostName = std::nullopt;
  const std::atomic<int32_t>* Cancel = nullptr;  // checked every 4096 entries
};

// Writes `root` to `path`, packed by the name's ending (".gz", ".zst", else plain);
// "-" writes plain JSON to standard output. The file is written under a temporary
// name and renamed at the end, so a failed or cancelled write leaves nothing
// under `path`. Returns false when cancelled. Throws EScanFileError.
bool WriteScanFile(const TDirNode& root, const std::string& path, const TScanFileWriteOptions& options = {});
// Writes into any sink (packed or not); false when cancelled. Throws EScanFileError.
bool WriteScanData(const TDirNode& root, dump::TByteSink& sink, const TScanFileWriteOptions& options = {});
// The whole file as bytes (tests, small trees).
std::string WriteScanString(const TDirNode& root, dump::TCompression kind = dump::TCompression::None,
                            int64_t timestamp = 0);

// File times <-> the format's unix seconds (whole seconds, rounded down).
int64_t FileTimeToUnixSeconds(TFileTime ft);
// Zero (no date) for seconds outside what a file time can hold.
TFileTime UnixSecondsToFileTime(int64_t seconds);

}  // namespace vd
