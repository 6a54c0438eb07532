#include "core/scan/ScanStore.h"

#include <new>

#include "platform/Platform.h"

namespace vd {

namespace {
constexpr size_t kFirstBlockSize = size_t(64) << 10;  // a small scan stays small
constexpr size_t kSlabSize = size_t(64) << 10;
constexpr size_t kSlabBypass = size_t(8) << 10;  // larger pieces come from the store itself

size_t Padding(const char* p, size_t align) { return (align - (reinterpret_cast<uintptr_t>(p) & (align - 1))) & (align - 1); }
}  // namespace

TScanStore::~TScanStore() {
  for (const TBlock& b : FBlocks) {
    if (b.Size >= platform::kArenaBlockSize)
      platform::FreeArenaBlock(b.Data, b.Size);
    else
      ::operator delete(b.Data);
  }
}

size_t TScanStore::ArenaBytes() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FArenaBytes;
}

void* TScanStore::Allocate(size_t size, size_t align) {
  std::lock_guard<std::mutex> lock(FLock);
  return AllocateLocked(size, align);
}

void* TScanStore::AllocateLocked(size_t size, size_t align) {
  size_t pad = Padding(FCur, align);
  if (!FCur || pad + size > FLeft) {
    size_t blockSize = FBlocks.empty() ? kFirstBlockSize : platform::kArenaBlockSize;
    if (size + align > blockSize) {
      // A piece of its own (a folder of very many files): the current block stays open.
      const size_t own = size + align;
      void* data = own >= platform::kArenaBlockSize ? platform::AllocateArenaBlock(own) : ::operator new(own);
      FBlocks.push_back({data, own});
      FArenaBytes += own;
      char* p = static_cast<char*>(data);
      return p + Padding(p, align);
    }
    void* data = blockSize >= platform::kArenaBlockSize ? platform::AllocateArenaBlock(blockSize) : ::operator new(blockSize);
    FBlocks.push_back({data, blockSize});
    FCur = static_cast<char*>(data);
    FLeft = blockSize;
    FArenaBytes += blockSize;
    pad = Padding(FCur, align);
  }
  char* p = FCur + pad;
  FCur = p + size;
  FLeft -= pad + size;
  return p;
}

void* TArenaCursor::Allocate(size_t size, size_t align) {
  if (size > kSlabBypass) return FStore->Allocate(size, align);
  size_t pad = Padding(FCur, align);
  if (!FCur || pad + size > FLeft) {
    FCur = static_cast<char*>(FStore->Allocate(kSlabSize, 16));
    FLeft = kSlabSize;
    pad = Padding(FCur, align);
  }
  char* p = FCur + pad;
  FCur = p + size;
  FLeft -= pad + size;
  return p;
}

}  // namespace vd
