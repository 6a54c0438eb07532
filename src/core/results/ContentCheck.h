// The content check of duplicates: which members of each group (same name, same
// size) really hold the same bytes. A core pass: groups in, one verdict per
// file out, with progress and cancellation the way the scanner reports them.
//
// Reading: per group, the first 4 KiB of every member; then, only for members
// whose starts agree with another's, the rest from byte 4096 on. Each byte is
// read at most once and hashed with XXH3 (128 bits); members are identical when
// the hashes and lengths of both parts agree.
//
// Threads: runs on any one thread (the window runs it in the background). Over
// groups it reads the groups and the leaves' paths only; whoever owns the tree
// keeps it, and the groups, unchanged until the pass has returned (cancel,
// then wait). Over paths it reads nothing but its own argument, so a pass
// stuck in a read (a dead network mount) may be abandoned with the tree gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/results/Duplicates.h"

namespace vd {

enum class TContentVerdict : uint8_t {
  Unchecked,   // the pass was cancelled before this file
  Identical,   // another member (another file) holds the same bytes
  Unique,      // no other member holds the same bytes
  Unreadable,  // could not be opened or read, or is no longer a regular file
  SameFile,    // the same file as an earlier member under another path (a hard
               // link, or one folder mounted twice): not a copy, deleting it frees nothing
  Removed,     // moved to the trash or deleted since: no longer a member
};

struct TMemberVerdict {
  TContentVerdict Verdict = TContentVerdict::Unchecked;
  // Members of one group that are Identical and have the same Content hold the
  // same bytes (a group may hold two contents, each with copies).
  uint32_t Content = 0;
};

struct TContentCheckResult {
  // Parallel to the groups and to each group's Files.
  std::vector<std::vector<TMemberVerdict>> Groups;
  int64_t BytesRead = 0;
  bool Cancelled = false;
};

struct TContentProgress {
  int64_t FilesDone = 0;
  int64_t FilesTotal = 0;
  int64_t BytesRead = 0;
};

struct TContentCheckOptions {
  // At most every 100 ms and once at the end, on the pass's thread.
  std::function<void(const TContentProgress&)> OnProgress;
  // Non-zero stops the pass within one block read (a scan context's FCancelled fits).
  const std::atomic<int32_t>* Cancel = nullptr;
};

TContentCheckResult CheckContents(const TDupGroups& groups, const TContentCheckOptions& options = {});

template <class TValue, class TKey>
class TLeafMap;

// The paths of files to read, built only where a file system could open them
// (empty where not): each folder's path length is worked out once, so that a
// group of thousands of files deep in an opened scan file does not build
// paths of megabytes each only to have every open refuse them.
class TOpenablePaths {
 public:
  TOpenablePaths();
  ~TOpenablePaths();
  std::string Of(const TFileLeaf* f);

 private:
  size_t FolderLength(const TDirNode* d);
  std::unique_ptr<TLeafMap<size_t, TDirNode>> FLengths;
  std::vector<const TDirNode*> FChain;
};
// The same over paths, one list per group: for a pass that must not read the
// tree (it may outlive it).
TContentCheckResult CheckContents(const std::vector<std::vector<std::string>>& groups,
                                  const TContentCheckOptions& options = {});

// Member `i` of a group is gone (trashed or deleted): it holds no content any
// more, and a content it leaves with one member has no copy.
void TakeOutMember(std::vector<TMemberVerdict>& group, size_t i);

struct TCopyOf {
  TFileLeaf* File = nullptr;  // the copy
  TFileLeaf* Kept = nullptr;  // the member kept for its content
};

// "Select Copies": in every group, the files identical in content to an older
// member. Within each content, the member to keep is the oldest by last-write
// time; a file without a time counts as newest; equal times are decided by the
// path (bytewise, the smaller kept), so the choice does not hang on list order.
// Files not confirmed identical are never selected, and one file of each
// content always stays. Empty files are never selected: removing one frees
// nothing, and an empty file is mostly a marker whose place matters.
std::vector<TCopyOf> SelectCopies(const TDupGroups& groups, const TContentCheckResult& result);

// What a copy is now, next to the file kept for its content, read byte for
// byte just before the copy is removed: a digest match found by the check is
// no proof against a planted collision, and either file may have changed or
// gone since.
enum class TRecheck : uint8_t {
  Same,        // two regular files with the same bytes
  Differs,     // other bytes or another length
  CopyGone,    // the copy is no longer there
  KeptGone,    // the kept file is no longer there, or no longer a file
  Unreadable,  // one of them could not be opened or read
  SameFile,    // both paths reach one file now (a link, one folder mounted
               // twice): removing the copy might remove the only one
  Stopped,
};

struct TRecheckOptions {
  // Bytes of the copy compared so far, after each block, on the caller's thread.
  std::function<void(int64_t bytes)> OnProgress;
  // Non-zero stops the comparison within one block read.
  const std::atomic<int32_t>* Cancel = nullptr;
};

// Reads both files from start to end in blocks of a fixed size (memory does
// not grow with the files) and compares them. Safe on any thread: it touches
// nothing but the two paths.
TRecheck CompareFileBytes(const std::string& copy, const std::string& kept, const TRecheckOptions& options = {});

}  // namespace vd
