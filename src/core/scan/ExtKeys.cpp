#include "core/scan/ExtKeys.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/Platform.h"

namespace vd {

uint32_t HashBytes(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

namespace {

// Keys by text under a lock; by index without one. The index table grows in
// segments that never move, so a reader holding an index needs no lock.
class TKeyTable {
 public:
  static constexpr uint32_t kSegmentBits = 12;
  static constexpr uint32_t kSegments = (kOverflowExtIndex >> kSegmentBits) + 1;

  TKeyTable() {
    static const char kNone[] = "(none)";
    FNone = TExtKey{HashBytes(kNone), 6, kNone, kNoExtIndex};
    Publish(&FNone);
  }

  const TExtKey* None() const { return &FNone; }

  const TExtKey* Intern(std::string_view lower) {
    std::lock_guard<std::mutex> lock(FLock);
    auto it = FByText.find(lower);
    if (it != FByText.end()) return it->second;
    auto text = std::make_unique<std::string>(lower);
    auto key = std::make_unique<TExtKey>(TExtKey{HashBytes(lower), uint32_t(lower.size()), text->data(), 0});
    TExtKey* k = key.get();
    FByText.emplace(std::string_view(*text), k);
    FTexts.push_back(std::move(text));
    FKeys.push_back(std::move(key));
    if (FCount < kOverflowExtIndex)
      Publish(k);
    else
      k->Index = kOverflowExtIndex;
    return k;
  }

  const TExtKey* At(uint32_t index) const {
    return FSegments[index >> kSegmentBits].load(std::memory_order_acquire)[index & ((1u << kSegmentBits) - 1)];
  }

 private:
  // Under the lock (or in the constructor).
  void Publish(TExtKey* k) {
    const uint32_t i = FCount++;
    k->Index = i;
    const TExtKey** seg = FSegments[i >> kSegmentBits].load(std::memory_order_relaxed);
    if (!seg) {
      FStorage.push_back(std::make_unique<const TExtKey*[]>(size_t(1) << kSegmentBits));
      seg = FStorage.back().get();
      seg[i & ((1u << kSegmentBits) - 1)] = k;
      FSegments[i >> kSegmentBits].store(seg, std::memory_order_release);
      return;
    }
    seg[i & ((1u << kSegmentBits) - 1)] = k;
  }

  TExtKey FNone;
  std::mutex FLock;
  std::unordered_map<std::string_view, const TExtKey*> FByText;
  std::vector<std::unique_ptr<std::string>> FTexts;
  std::vector<std::unique_ptr<TExtKey>> FKeys;
  std::vector<std::unique_ptr<const TExtKey*[]>> FStorage;
  std::atomic<const TExtKey**> FSegments[kSegments] = {};
  uint32_t FCount = 0;
};

TKeyTable& Table() {
  static TKeyTable* table = new TKeyTable();  // never destroyed: keys outlive every tree
  return *table;
}

}  // namespace

const TExtKey* NoneExtKey() { return Table().None(); }

const TExtKey* GlobalExtKey(std::string_view lowerCasedKey) {
  if (lowerCasedKey.empty() || lowerCasedKey == "(none)") return NoneExtKey();
  return Table().Intern(lowerCasedKey);
}

const TExtKey* ExtKeyAt(uint32_t index) { return Table().At(index); }

// ---- TExtKeyCache ---------------------------------------------------------------

TExtKeyCache::TExtKeyCache() : FSlots(64) {}

void TExtKeyCache::Grow() {
  std::vector<Slot> bigger(FSlots.size() * 2);
  const size_t mask = bigger.size() - 1;
  for (const Slot& s : FSlots) {
    if (!s.Key) continue;
    size_t i = s.Hash & mask;
    while (bigger[i].Key) i = (i + 1) & mask;
    bigger[i] = s;
  }
  FSlots.swap(bigger);
}

const TExtKey* TExtKeyCache::KeyOfRaw(std::string_view raw) {
  if (raw.empty()) return NoneExtKey();
  const uint32_t h = HashBytes(raw);
  const size_t mask = FSlots.size() - 1;
  size_t i = h & mask;
  while (FSlots[i].Key) {
    const Slot& s = FSlots[i];
    if (s.Hash == h && std::string_view(FText).substr(s.Offset, s.Len) == raw) return s.Key;
    i = (i + 1) & mask;
  }
  const TExtKey* key = GlobalExtKey(platform::ToLowerLocale(raw));
  FSlots[i] = Slot{h, uint32_t(FText.size()), uint32_t(raw.size()), key};
  FText.append(raw);
  if (++FUsed * 2 > FSlots.size()) Grow();
  return key;
}

}  // namespace vd
