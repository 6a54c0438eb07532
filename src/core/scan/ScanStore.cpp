#include "core/scan/ScanStore.h"

#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "core/scan/ScanModel.h"
#include "platform/Platform.h"

namespace vd {

namespace {

const char kEmpty[3] = {0, 0, 0};

TExtKey MakeStaticKey(const char* text) {
  std::string_view v(text);
  return TExtKey{HashBytes(v), uint32_t(v.size()), text};
}
}  // namespace

const char* EmptyName() { return kEmpty + 2; }

uint32_t HashBytes(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

const TExtKey* NoneExtKey() {
  static const TExtKey key = MakeStaticKey("(none)");
  return &key;
}

const TExtKey* GlobalExtKey(std::string_view lowerCasedKey) {
  if (lowerCasedKey.empty() || lowerCasedKey == "(none)") return NoneExtKey();
  static std::mutex mu;
  static std::unordered_map<std::string, std::unique_ptr<TExtKey>> keys;
  std::lock_guard<std::mutex> lock(mu);
  auto it = keys.find(std::string(lowerCasedKey));
  if (it != keys.end()) return it->second.get();
  auto node = keys.emplace(std::string(lowerCasedKey), nullptr).first;
  node->second = std::make_unique<TExtKey>(
      TExtKey{HashBytes(lowerCasedKey), uint32_t(lowerCasedKey.size()), node->first.c_str()});
  return node->second.get();
}

TScanStore::TScanStore() {
  FRaw.resize(64);
  FLower.resize(64);
}

TScanStore::~TScanStore() {
  for (const TBlock& b : FBlocks) {
    if (b.Size >= platform::kArenaBlockSize)
      platform::FreeArenaBlock(b.Data, b.Size);
    else
      ::operator delete(b.Data);
  }
}

void* TScanStore::Allocate(size_t size, size_t align) {
  size_t pad = (align - (reinterpret_cast<uintptr_t>(FCur) & (align - 1))) & (align - 1);
  if (!FCur || pad + size > FLeft) {
    // The first block is small, so that a small scan stays small.
    size_t blockSize = FBlocks.empty() ? size_t(64) << 10 : platform::kArenaBlockSize;
    if (size + align > blockSize) blockSize = size + align;
    FBlocks.push_back({blockSize >= platform::kArenaBlockSize ? platform::AllocateArenaBlock(blockSize)
                                                               : ::operator new(blockSize),
                       blockSize});
    FCur = static_cast<char*>(FBlocks.back().Data);
    FLeft = blockSize;
    FArenaBytes += blockSize;
    pad = (align - (reinterpret_cast<uintptr_t>(FCur) & (align - 1))) & (align - 1);
  }
  char* p = FCur + pad;
  FCur = p + size;
  FLeft -= pad + size;
  return p;
}

const char* TScanStore::StoreName(std::string_view s) {
  if (s.size() > 0xFFFF) s = s.substr(0, 0xFFFF);
  char* p = static_cast<char*>(Allocate(s.size() + 3, 1));
  const uint16_t len = uint16_t(s.size());
  std::memcpy(p, &len, 2);
  std::memcpy(p + 2, s.data(), s.size());
  p[2 + s.size()] = 0;
  return p + 2;
}

TFileLeaf* TScanStore::NewLeaf() {
  static_assert(std::is_trivially_destructible_v<TFileLeaf>, "leaves are released with their arena");
  return new (Allocate(sizeof(TFileLeaf), alignof(TFileLeaf))) TFileLeaf();
}

void TScanStore::Grow(std::vector<Slot>& table) {
  std::vector<Slot> bigger(table.size() * 2);
  const size_t mask = bigger.size() - 1;
  for (const Slot& s : table) {
    if (!s.Raw) continue;
    size_t i = s.RawHash & mask;
    while (bigger[i].Raw) i = (i + 1) & mask;
    bigger[i] = s;
  }
  table.swap(bigger);
}

const TExtKey* TScanStore::InternLower(std::string_view lower) {
  const uint32_t h = HashBytes(lower);
  size_t mask = FLower.size() - 1;
  size_t i = h & mask;
  while (FLower[i].Raw) {
    if (FLower[i].RawHash == h && std::string_view(FLower[i].Raw, FLower[i].RawLen) == lower) return FLower[i].Key;
    i = (i + 1) & mask;
  }
  const char* text = StoreName(lower);
  auto* key = new (Allocate(sizeof(TExtKey), alignof(TExtKey))) TExtKey{h, uint32_t(lower.size()), text};
  FLower[i] = Slot{text, uint32_t(lower.size()), h, key};
  if (++FLowerCount * 2 > FLower.size()) Grow(FLower);
  return key;
}

const TExtKey* TScanStore::ExtKeyOfRaw(std::string_view raw) {
  if (raw.empty()) return nullptr;
  const uint32_t h = HashBytes(raw);
  size_t mask = FRaw.size() - 1;
  size_t i = h & mask;
  while (FRaw[i].Raw) {
    if (FRaw[i].RawHash == h && std::string_view(FRaw[i].Raw, FRaw[i].RawLen) == raw) return FRaw[i].Key;
    i = (i + 1) & mask;
  }
  const TExtKey* key = InternLower(platform::ToLowerLocale(raw));
  const char* rawText = StoreName(raw);
  FRaw[i] = Slot{rawText, uint32_t(raw.size()), h, key};
  if (++FRawCount * 2 > FRaw.size()) Grow(FRaw);
  return key;
}

}  // namespace vd
