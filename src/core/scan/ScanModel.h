// The scan tree: folders own their sub-folders and files, with totals rolled up
// at every level. Every view reads it; a walk, a dump file or a rescan builds it,
// always through TTreeBuilder (below) or the scanner's use of the same writer.
//
// Memory. A scan of millions of files is the normal case, so a file is a 28-byte
// record (size, time, one word holding its place, extension index and name end,
// and its allocated size with two link bits) in a block of its folder's files
// (TLeafChunk), whose names follow the records in the same block. A record finds its folder through the block header,
// its name through its neighbour. Folders, blocks and names live in the scan's
// arena (TScanStore) and never move; only the root is a heap object, and it
// keeps the arena alive. Extension keys are interned process-wide (ExtKeys.h).
//
// Contract of a tree once built:
// - Ownership: whoever holds the root owns the whole tree. Views, tiles,
//   duplicate groups and flat lists hold plain pointers to folders and files,
//   valid until the root is destroyed.
// - Order: Children and Leaves are in the file system's listing order until a
//   view reorders them in place (Children by std::stable_sort on the list,
//   Leaves by Leaves.Sort); file records themselves never move.
// - Invariants: TotalSize = own files' sizes + children's TotalSize; TotalFiles
//   = own files + children's TotalFiles; TotalDirs = 1 + children's TotalDirs
//   (0 + children's for the synthetic all-drives root); the root's extension
//   totals sum to TotalSize and TotalFiles. They hold for a cancelled scan's
//   partial tree too.
// - Two measures of size (SizeMeasure.h): TotalSize and the roots' extension
//   totals are in the measure the last ApplySizeMeasure chose, OtherTotalSize in
//   the other one; a file's Size() follows the same choice. A tree comes out of
//   its builder in the apparent measure. On disk, a folder adds its own blocks
//   (OwnAllocated: the folder itself, and the links and other entries in it that
//   are not files), and a file with several links inside the tree counts once:
//   the link met first (a folder's files before its sub-folders, depth first, in
//   the order of the tree when the links were resolved) counts, every other is an
//   extra link whose Size() is 0 on disk and whose AllocatedSize() still shows
//   what the file holds. Links to the file from outside the tree change nothing:
//   the file counts where it is met. An unknown allocation (a dump without
//   dsize, or dsizes summing past 2^62) counts as the apparent size; an
//   allocation is kept in whole 512-byte units (rounded up), exact from 512 GiB
//   on; a link without an identity (a dump with nlink but no ino) is a file of
//   its own; the same ino without hlnkc or nlink is another file.
// - Read errors: a folder that could not be listed keeps TotalDirs 1 and
//   totals 0 from its own listing, and ReadError() says why.
// - Threads: the tree has no locks. It is read (and reordered) by one thread at
//   a time; the builder hands it over complete, and the hand-over (a queued
//   completion, a thread join) is the synchronisation.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/scan/DateTime.h"
#include "core/scan/ExtKeys.h"
#include "core/scan/ScanStore.h"
#include "platform/PlatformTypes.h"

namespace vd {

class TDirNode;
class TLeafChunk;
class TFileLeaf;
class TTreeWriter;

// Which size the views count in: the file's length, or the bytes the file
// system gave it. Process-wide, as there is one window and one switch; the
// results build sets it (ApplySizeMeasure) before it reads any size.
enum class TSizeMeasure : uint8_t { Apparent, OnDisk };
namespace detail {
inline std::atomic<uint8_t> gSizeMeasure{0};
}
inline TSizeMeasure CurrentSizeMeasure() {
  return TSizeMeasure(detail::gSizeMeasure.load(std::memory_order_relaxed));
}

// What the file system tells of a file beyond its length and time.
struct TFileDisk {
  static constexpr int64_t kUnknown = -1;
  int64_t Allocated = kUnknown;  // bytes the file system allocated for it
  uint32_t Links = 1;            // hard links to it; 0: several, how many unknown
  uint64_t Device = 0;           // with Inode: which file it is, when Links > 1
  uint64_t Inode = 0;
  bool HasId = false;
};

// One file with several links: the record, and which file it is.
struct TLinkRecord {
  const TFileLeaf* Leaf;
  uint64_t Device;
  uint64_t Inode;
  uint32_t Links;  // 0: unknown
};

inline constexpr unsigned kLeafIndexBits = 18;  // records per block
inline constexpr unsigned kNameEndBits = 24;    // name bytes per block
static_assert(kLeafIndexBits + kExtIndexBits + kNameEndBits == 64);
inline constexpr unsigned kAllocUnitBits = 30;  // 512-byte units of allocation

// One file that passed the scan filters. Packed to four bytes: the allocation
// word would otherwise cost every file eight.
#pragma pack(push, 4)
class TFileLeaf {
 public:
  TFileTime ModifiedFT;  // as the file system reports it (UTC)

  // The size in the measure in force: on disk, an extra link counts 0.
  int64_t Size() const {
    if (CurrentSizeMeasure() == TSizeMeasure::Apparent) return FSize;
    return FExtraLink ? 0 : AllocatedSize();
  }
  // The size in the measure not in force (the second size column).
  int64_t OtherSize() const {
    return CurrentSizeMeasure() == TSizeMeasure::Apparent ? AllocatedSize() : FSize;
  }
  int64_t ApparentSize() const { return FSize; }
  // The bytes the file system allocated (the apparent size where unknown).
  int64_t AllocatedSize() const;
  bool AllocationKnown() const { return FAllocUnits != kUnknownUnits; }
  // More than one hard link to it, and whether this one is counted elsewhere.
  bool HasLinks() const { return FLinked; }
  bool IsExtraLink() const { return FExtraLink; }

  std::string_view Name() const;
  TDirNode* Parent() const;
  // Parent folder path, separator, Name.
  std::string FullPath() const;
  // The extension, lower-cased, with its dot; empty when the name has none.
  std::string_view Ext() const { return FExt == kNoExtIndex ? std::string_view() : ExtKey()->View(); }
  // The key of the per-extension maps: Ext, or "(none)". Equal keys are one object.
  const TExtKey* ExtKey() const;
  // The last-write time as a local date-time, 0 when it cannot be converted.
  // Computed on each call: caching it would cost every file 8 bytes.
  TDateTime GetModifiedDateTime() const { return FileTimeToLocalDateTime(ModifiedFT); }
  TDateTime Modified() const { return GetModifiedDateTime(); }

 private:
  friend class TLeafChunk;
  const TLeafChunk* Chunk() const;
  uint64_t FIndex : kLeafIndexBits = 0;    // place in its block
  uint64_t FExt : kExtIndexBits = 0;       // extension key index
  uint64_t FNameEnd : kNameEndBits = 0;  // the name ends here, and starts where the previous one ends
  int64_t FSize = 0;
  static constexpr uint32_t kBigUnits = (1u << kAllocUnitBits) - 1;      // in the block's list of large ones
  static constexpr uint32_t kUnknownUnits = (1u << kAllocUnitBits) - 2;  // not known: as the apparent size
  uint32_t FAllocUnits : kAllocUnitBits = kUnknownUnits;
  uint32_t FLinked : 1 = 0;
  uint32_t FExtraLink : 1 = 0;
  friend void ResolveHardLinks(TDirNode* root);
};
#pragma pack(pop)
static_assert(sizeof(TFileLeaf) == 28, "a file record is three words and its allocation");

// An allocation too large for a record's word (512 GiB and more), kept in its block.
struct TBigAllocation {
  TBigAllocation* Next;
  uint32_t Index;
  int64_t Bytes;
};

// A block of one folder's file records, followed by their names. A folder's
// files are in one block, or a few when it holds very many (or was built out of
// order, see TTreeBuilder::AddFile).
class TLeafChunk {
 public:
  static constexpr uint32_t kMaxLeaves = 1u << kLeafIndexBits;
  static constexpr uint32_t kMaxNameBytes = (1u << kNameEndBits) - 1;

  TDirNode* Dir;
  TLeafChunk* Next = nullptr;
  TBigAllocation* Big = nullptr;  // in the arena
  uint32_t Count = 0;
  uint32_t Cap = 0;
  uint32_t NameCap = 0;

  TFileLeaf* Records() { return reinterpret_cast<TFileLeaf*>(this + 1); }
  const TFileLeaf* Records() const { return reinterpret_cast<const TFileLeaf*>(this + 1); }
  const char* Names() const { return reinterpret_cast<const char*>(Records() + Cap); }
  uint32_t NamesUsed() const { return Count ? uint32_t(Records()[Count - 1].FNameEnd) : 0; }
  bool HasRoom(size_t nameLen) const { return Count < Cap && NamesUsed() + nameLen <= NameCap; }

  // A block for `dir` with room for `leaves` records and `nameBytes` of names.
  static TLeafChunk* Create(TArenaCursor& arena, TDirNode* dir, uint32_t leaves, uint32_t nameBytes);
  // Appends a record; the caller checked HasRoom. `arena` holds an allocation
  // too large for the record.
  TFileLeaf* Add(std::string_view name, int64_t size, TFileTime time, const TExtKey* ext, const TFileDisk& disk,
                 TArenaCursor& arena);
  int64_t BigAllocationOf(uint32_t index) const;
};
static_assert(sizeof(TLeafChunk) % alignof(TFileLeaf) == 0);

// A folder's files: iteration yields TFileLeaf*, in listing order until Sort.
class TLeafList {
 public:
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = TFileLeaf*;
    using difference_type = std::ptrdiff_t;
    using pointer = TFileLeaf* const*;
    using reference = TFileLeaf*;
    TFileLeaf* operator*() const {
      return FList->FOrder ? FList->AtListed(FList->FOrder[FPos]) : FChunk->Records() + (FPos - FBase);
    }
    iterator& operator++();
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& o) const { return FPos == o.FPos; }
    bool operator!=(const iterator& o) const { return FPos != o.FPos; }

   private:
    friend class TLeafList;
    const TLeafList* FList = nullptr;
    uint32_t FPos = 0;
    TLeafChunk* FChunk = nullptr;  // unsorted walk: the block holding FPos
    uint32_t FBase = 0;            // position of that block's first record
  };

  TLeafList() = default;
  ~TLeafList() { std::free(FOrder); }
  TLeafList(const TLeafList&) = delete;
  TLeafList& operator=(const TLeafList&) = delete;

  iterator begin() const;
  iterator end() const;
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  TFileLeaf* operator[](size_t i) const { return AtListed(FOrder ? FOrder[i] : uint32_t(i)); }

  // Reorders the list by `before` (a strict weak order; not stable, as
  // std::sort). The records stay where they are, so pointers to them stay valid.
  template <class Before>
  void Sort(Before before) {
    AdoptOrder(SortedOrder(before));
  }
  // Sort in two halves, for lists that others read meanwhile: SortedOrder only
  // reads the list and returns the new order (null when there is nothing to
  // order), which AdoptOrder then takes in at once. Between the two the list
  // must not change.
  template <class Before>
  uint32_t* SortedOrder(Before before) const;
  void AdoptOrder(uint32_t* order);

 private:
  friend class TTreeWriter;
  friend class TDirNode;
  friend void ResolveHardLinks(TDirNode* root);
  TFileLeaf* AtListed(uint32_t i) const;
  uint32_t* CopyOfOrder() const;

  TLeafChunk* FFirst = nullptr;
  uint32_t* FOrder = nullptr;  // listing positions in the sorted order, once sorted
  uint32_t FCount = 0;
};

// A folder's sub-folders: a compact array, reordered in place by the views.
class TChildList {
 public:
  TChildList() = default;
  ~TChildList() { Clear(); }
  TChildList(const TChildList&) = delete;
  TChildList& operator=(const TChildList&) = delete;

  TDirNode** begin() { return FData; }
  TDirNode** end() { return FData + FCount; }
  TDirNode* const* begin() const { return FData; }
  TDirNode* const* end() const { return FData + FCount; }
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  TDirNode* operator[](size_t i) const { return FData[i]; }
  TDirNode*& operator[](size_t i) { return FData[i]; }

  void push_back(TDirNode* p);
  void Clear();

 private:
  friend class TTreeWriter;
  // Takes an array kept elsewhere (the arena): not freed with the list.
  void Adopt(TDirNode** data, uint32_t n);
  TDirNode** FData = nullptr;
  uint32_t FCount = 0;
  uint32_t FCap = 0;  // 0 with FData set: the array is not the list's own
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
  // Fast path for interned keys (null = "(none)").
  void AddFile(const TExtKey* key, int64_t size);
  void MergeFrom(const TExtStats* src);
  // Takes away every entry of `src` (counted into this one before); an
  // extension left with no file goes.
  void Subtract(const TExtStats* src);
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

// One folder. A root is a heap object that keeps its path, name, extension
// totals and the arenas of its subtree; every other folder lives in an arena,
// its name right behind it.
//
// Extension totals are kept at roots only: every view reads the root's, and any
// other folder's are computed on request.
class TDirNode {
 public:
  TDirNode();
  ~TDirNode();  // iterative: a tree of any depth is released without deep recursion
  TDirNode(const TDirNode&) = delete;
  TDirNode& operator=(const TDirNode&) = delete;

  TDirNode* Parent = nullptr;
  int64_t TotalSize = 0;       // in the measure in force
  int64_t OtherTotalSize = 0;  // in the other measure, once a measure was applied
  int64_t OwnAllocated = 0;    // the folder's own blocks and those of its entries that are not files
  int64_t TotalFiles = 0;
  int64_t TotalDirs = 0;
  TChildList Children;  // owned
  TLeafList Leaves;     // in the arena

  TReadError ReadError() const { return FReadError; }
  void SetReadError(TReadError e) { FReadError = e; }

  // Per-extension totals over this folder and below.
  TExtStats ExtStats() const;
  // The stored totals of a root, for whoever builds it (scanner, builder).
  TExtStats& RootExtStats();

  std::string_view Name() const;
  // Folder path without a trailing separator (a root keeps its own form, "/" or
  // C:); empty for the synthetic root of an all-drives scan.
  std::string FullPath() const;
  bool IsRoot() const { return FRoot != nullptr; }

  // Makes this (heap) node a root: it keeps its path and name itself and holds
  // the store that its subtree lives in.
  void MakeRoot(std::string fullPath, std::string name, std::shared_ptr<TScanStore> store);
  void AddStore(std::shared_ptr<TScanStore> store);
  // Appends a finished tree as a child and adds its totals and extension totals.
  void AppendChildTree(std::unique_ptr<TDirNode> child);
  // Files with several links in this root's own part of the tree (a root only).
  void AddLinks(std::vector<TLinkRecord> links);
  const std::vector<TLinkRecord>* Links() const { return FRoot ? &FRoot->Links : nullptr; }
  // Whether the links of the tree below this root need resolving again (a new
  // tree, a splice).
  bool LinksDirty() const { return FRoot && FRoot->LinksDirty; }
  void SetLinksDirty(bool dirty);

 private:
  friend class TTreeWriter;
  friend void ResolveHardLinks(TDirNode* root);
  struct TRootInfo {
    std::string FullPath;
    std::string Name;
    std::vector<std::shared_ptr<TScanStore>> Stores;
    TExtStats Stats;
    std::vector<TLinkRecord> Links;
    bool LinksDirty = true;
  };
  void AppendPath(std::string& out) const;
  std::unique_ptr<TRootInfo> FRoot;
  uint16_t FNameLen = 0;  // of the name behind an arena folder
  bool FInArena = false;
  TReadError FReadError = TReadError::None;
};

// The synthetic root of an all-drives scan: "(All Drives)", empty path, no own count.
std::unique_ptr<TDirNode> CreateSyntheticRoot();

// Builds a tree (a dump file, a rescan, tests) with the scanner's memory layout,
// totals and extension totals.
//
// Contract:
// - One thread makes all calls, and reads nothing of the tree before Finish();
//   Finish() hands the complete tree over (then the builder is spent).
// - Two forms; use one per builder:
//   - Random: AddDir(parent, name) and AddFile(parent, ...) in any order, to any
//     folder already added. Returned pointers stay valid for the tree's life.
//     A folder's files go into blocks that grow by doubling (at most about
//     twice the records of its files when files arrive in one run).
//   - Streaming, as a walk makes them: EnterDir(name) opens a sub-folder of the
//     open folder (the root at first), AddFile(name, ...) adds a file to it,
//     LeaveDir() closes it. A folder's files are written in one exact block when
//     it is left, so this form is as lean as a scan. Folders still open at
//     Finish() are closed by it.
// - Totals, file counts, folder counts and the root's extension totals become
//   final in Finish(), rolled up exactly as a scan does; before that they are 0.
// - Children and files keep the order of the calls. Names are bytes (at most
//   65535 of them; longer ones are cut).
class TTreeBuilder {
 public:
  explicit TTreeBuilder(const std::string& rootPath);
  ~TTreeBuilder();
  TTreeBuilder(const TTreeBuilder&) = delete;
  TTreeBuilder& operator=(const TTreeBuilder&) = delete;

  TDirNode* Root();
  // Random form.
  TDirNode* AddDir(TDirNode* parent, std::string_view name);
  TFileLeaf* AddFile(TDirNode* parent, std::string_view name, int64_t size, TFileTime modified = {},
                     const TFileDisk& disk = {});
  // Streaming form.
  TDirNode* EnterDir(std::string_view name);
  void AddFile(std::string_view name, int64_t size, TFileTime modified = {}, const TFileDisk& disk = {});
  void LeaveDir();
  std::unique_ptr<TDirNode> Finish();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

// The extension of a file name as listed: from the last dot after the last path
// delimiter, dot included; empty when there is none.
std::string_view ExtractExtension(std::string_view name);
// The last component of a path (after the last delimiter).
std::string_view ExtractFileName(std::string_view path);

// ---- inline parts of the leaf list ------------------------------------------------

inline const TLeafChunk* TFileLeaf::Chunk() const { return reinterpret_cast<const TLeafChunk*>(this - FIndex) - 1; }
inline TDirNode* TFileLeaf::Parent() const { return Chunk()->Dir; }
inline int64_t TFileLeaf::AllocatedSize() const {
  if (FAllocUnits < kUnknownUnits) return int64_t(FAllocUnits) * 512;
  if (FAllocUnits == kUnknownUnits) return FSize;
  return Chunk()->BigAllocationOf(uint32_t(FIndex));
}
inline std::string_view TFileLeaf::Name() const {
  const TLeafChunk* c = Chunk();
  const uint32_t start = FIndex ? uint32_t((this - 1)->FNameEnd) : 0;
  return {c->Names() + start, size_t(FNameEnd - start)};
}

inline TLeafList::iterator& TLeafList::iterator::operator++() {
  ++FPos;
  if (!FList->FOrder && FPos - FBase == FChunk->Count && FChunk->Next) {
    FBase = FPos;
    FChunk = FChunk->Next;
  }
  return *this;
}

inline TLeafList::iterator TLeafList::begin() const {
  iterator it;
  it.FList = this;
  it.FChunk = FFirst;
  return it;
}

inline TLeafList::iterator TLeafList::end() const {
  iterator it;
  it.FList = this;
  it.FPos = FCount;
  return it;
}

inline TFileLeaf* TLeafList::AtListed(uint32_t i) const {
  TLeafChunk* c = FFirst;
  while (i >= c->Count) {
    i -= c->Count;
    c = c->Next;
  }
  return c->Records() + i;
}

template <class Before>
uint32_t* TLeafList::SortedOrder(Before before) const {
  if (FCount < 2) return nullptr;
  uint32_t* order = CopyOfOrder();
  if (!FFirst->Next) {
    TFileLeaf* base = FFirst->Records();
    std::sort(order, order + FCount, [&](uint32_t a, uint32_t b) { return before(base + a, base + b); });
  } else {
    std::sort(order, order + FCount, [&](uint32_t a, uint32_t b) { return before(AtListed(a), AtListed(b)); });
  }
  return order;
}

}  // namespace vd
