// Per-scan storage: the folders, file records and names of one scan live in one
// arena of large blocks, released all at once with the last tree that uses it.
//
// Threads: TScanStore::Allocate may be called from any thread (it takes a lock);
// each worker thread carves its small pieces from slabs of its own through a
// TArenaCursor, so the lock is taken about once per 64 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vd {

class TScanStore {
 public:
  TScanStore() = default;
  ~TScanStore();
  TScanStore(const TScanStore&) = delete;
  TScanStore& operator=(const TScanStore&) = delete;

  // Memory that lives as long as the store; never released one by one.
  void* Allocate(size_t size, size_t align);
  // Bytes taken from the system for the arena.
  size_t ArenaBytes() const;

 private:
  void* AllocateLocked(size_t size, size_t align);
  struct TBlock {
    void* Data;
    size_t Size;
  };
  mutable std::mutex FLock;
  std::vector<TBlock> FBlocks;
  char* FCur = nullptr;
  size_t FLeft = 0;
  size_t FArenaBytes = 0;
};

// One thread's bump allocator over slabs of a store.
class TArenaCursor {
 public:
  explicit TArenaCursor(TScanStore& store) : FStore(&store) {}
  void* Allocate(size_t size, size_t align);
  TScanStore& Store() const { return *FStore; }

 private:
  TScanStore* FStore;
  char* FCur = nullptr;
  size_t FLeft = 0;
};

}  // namespace vd
