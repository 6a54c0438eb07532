// The scan tree: folders own their sub-folders and files, with totals rolled up
// at every level and per-extension totals per folder. Every view reads it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/scan/DateTime.h"
#include "core/scan/ScanStore.h"
#include "platform/PlatformTypes.h"

namespace vd {

class TDirNode;

// A compact array of pointers (16 bytes, exact size after a scan). Whether it
// owns what it points to is up to the holder.
template <class T>
class TPtrList {
 public:
  TPtrList() = default;
  ~TPtrList() { std::free(FData); }
  TPtrList(const TPtrList&) = delete;
  TPtrList& operator=(const TPtrList&) = delete;

  T** begin() { return FData; }
  T** end() { return FData + FCount; }
  T* const* begin() const { return FData; }
  T* const* end() const { return FData + FCount; }
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  T* operator[](size_t i) const { return FData[i]; }
  T*& operator[](size_t i) { return FData[i]; }

  void push_back(T* p) {
    if (FCount == FCap) Reserve(FCap ? FCap * 2 : 4);
    FData[FCount++] = p;
  }
  void Assign(T* const* src, size_t n) {
    std::free(FData);
    FData = n ? static_cast<T**>(std::malloc(n * sizeof(T*))) : nullptr;
    if (n && !FData) throw std::bad_alloc();
    for (size_t i = 0; i < n; ++i) FData[i] = src[i];
    FCount = FCap = uint32_t(n);
  }
  void Clear() {
    std::free(FData);
    FData = nullptr;
    FCount = FCap = 0;
  }

 private:
  void Reserve(size_t n) {
    auto* p = static_cast<T**>(std::realloc(FData, n * sizeof(T*)));
    if (!p) throw std::bad_alloc();
    FData = p;
    FCap = uint32_t(n);
  }
  T** FData = nullptr;
  uint32_t FCount = 0;
  uint32_t FCap = 0;
};

// One file that passed the scan filters. Lives in its scan's arena.
class TFileLeaf {
 public:
  TDirNode* Parent = nullptr;
  const char* FName = EmptyName();  // arena: length-prefixed, NUL-terminated
  const TExtKey* FExt = nullptr;     // lower-cased extension; null: none
  int64_t Size = 0;
  TFileTime ModifiedFT;

  std::string_view Name() const { return StoredName(FName); }
  // Parent folder path, separator, Name.
  std::string FullPath() const;
  // The extension, lower-cased, with its dot; empty when the name has none.
  std::string_view Ext() const { return FExt ? FExt->View() : std::string_view(); }
  // The key of the per-extension maps: Ext, or "(none)".
  const TExtKey* ExtKey() const { return FExt ? FExt : NoneExtKey(); }
  // The last-write time as a local date-time, 0 when it cannot be converted.
  // Computed on each call: caching it would cost every leaf 8 bytes.
  TDateTime GetModifiedDateTime() const { return FileTimeToLocalDateTime(ModifiedFT); }
  TDateTime Modified() const { return GetModifiedDateTime(); }
};

struct TExtStat {
  int64_t Bytes = 0;
  int64_t Files = 0;
};

struct TExtStatPair {
  std::string Ext;
  int64_t Bytes = 0;
  int64_t Files = 0;
};

// Per-extension totals: an open-addressing map from interned key to totals.
class TExtStats {
 public:
  TExtStats() = default;
  ~TExtStats() { std::free(FMap); }
  TExtStats(const TExtStats& o) { MergeFrom(&o); }
  TExtStats& operator=(const TExtStats& o) {
    if (this != &o) {
      Clear();
      MergeFrom(&o);
    }
    return *this;
  }
  TExtStats(TExtStats&& o) noexcept : FMap(o.FMap), FCount(o.FCount), FCap(o.FCap) {
    o.FMap = nullptr;
    o.FCount = o.FCap = 0;
  }
  TExtStats& operator=(TExtStats&& o) noexcept {
    std::swap(FMap, o.FMap);
    std::swap(FCount, o.FCount);
    std::swap(FCap, o.FCap);
    o.Clear();
    return *this;
  }

  // Counts one file; the key is lower-cased, and an empty one counts as "(none)".
  void AddFile(std::string_view ext, int64_t size);
  // Fast path for keys that are interned and lower-cased already (null = "(none)").
  void AddFile(const TExtKey* key, int64_t size);
  void MergeFrom(const TExtStats* src);
  std::vector<TExtStatPair> ToSortedArrayByBytesDesc() const;

  size_t Count() const { return FCount; }
  bool Find(std::string_view key, TExtStat& out) const;
  void Clear();

 private:
  struct Entry {
    const TExtKey* Key;  // null: empty slot
    TExtStat Stat;
  };
  Entry& Slot(const TExtKey* key);
  void Rehash(uint32_t newCap);

  Entry* FMap = nullptr;
  uint32_t FCount = 0;
  uint32_t FCap = 0;
};

// One folder. Owns its sub-folders; its files live in the scan's arena, which
// the scan root keeps alive.
//
// Extension totals are kept at roots only: they are merged bottom-up during the
// scan as always, but a folder's own map is dropped once merged into its
// parent. Holding one per folder cost more memory than all the file names;
// every view reads the root's, and any other folder's are computed on request.
class TDirNode {
 public:
  TDirNode();
  ~TDirNode();  // iterative: a tree of any depth is released without deep recursion
  TDirNode(const TDirNode&) = delete;
  TDirNode& operator=(const TDirNode&) = delete;

  TDirNode* Parent = nullptr;
  const char* FName = EmptyName();
  int64_t TotalSize = 0;
  int64_t TotalFiles = 0;
  int64_t TotalDirs = 0;
  TPtrList<TDirNode> Children;  // owned
  TPtrList<TFileLeaf> Leaves;   // arena-owned

  // Per-extension totals over this folder and below.
  TExtStats ExtStats() const;
  // The stored totals of a root, for whoever builds it (scanner, builder).
  TExtStats& RootExtStats();

  std::string_view Name() const;
  // Folder path without a trailing separator (a root keeps its own form, "/" or
  // C:); empty for the synthetic root of an all-drives scan.
  std::string FullPath() const;
  bool IsRoot() const { return FRoot != nullptr; }

  // Makes this node a root: it keeps its path and name itself and holds the
  // store that its subtree's names and leaves live in.
  void MakeRoot(std::string fullPath, std::string name, std::shared_ptr<TScanStore> store);
  void AddStore(std::shared_ptr<TScanStore> store);
  // Appends a finished tree as a child and adds its totals and extension totals.
  void AppendChildTree(std::unique_ptr<TDirNode> child);

 private:
  struct TRootInfo {
    std::string FullPath;
    std::string Name;
    std::vector<std::shared_ptr<TScanStore>> Stores;
    TExtStats Stats;
  };
  void AppendPath(std::string& out) const;
  std::unique_ptr<TRootInfo> FRoot;
};

// The synthetic root of an all-drives scan: "(All Drives)", empty path, no own count.
std::unique_ptr<TDirNode> CreateSyntheticRoot();

// Builds trees by hand (tests, tools): add folders and files, then Finish() rolls
// the totals and extension totals up exactly as a scan does.
class TTreeBuilder {
 public:
  explicit TTreeBuilder(const std::string& rootPath);
  TDirNode* Root() { return FRootNode.get(); }
  TDirNode* AddDir(TDirNode* parent, std::string_view name);
  TFileLeaf* AddFile(TDirNode* parent, std::string_view name, int64_t size, TFileTime modified = {});
  std::unique_ptr<TDirNode> Finish();

 private:
  std::shared_ptr<TScanStore> FStore;
  std::unique_ptr<TDirNode> FRootNode;
};

// The extension of a file name as listed: from the last dot after the last path
// delimiter, dot included; empty when there is none.
std::string_view ExtractExtension(std::string_view name);
// The last component of a path (after the last delimiter).
std::string_view ExtractFileName(std::string_view path);

}  // namespace vd
