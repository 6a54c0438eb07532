#include "core/scan/SizeMeasure.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vd {

namespace {

struct TIdHash {
  size_t operator()(const std::pair<uint64_t, uint64_t>& id) const {
    return std::hash<uint64_t>()(id.first * 0x9E3779B97F4A7C15ull ^ id.second);
  }
};

}  // namespace

void ResolveHardLinks(TDirNode* root) {
  if (!root) return;
  // Every root in the tree (drives, spliced folders) brought its own records.
  std::unordered_map<const TFileLeaf*, std::pair<uint64_t, uint64_t>> idOf;
  std::vector<TDirNode*> pending{root};
  std::vector<TDirNode*> roots;
  while (!pending.empty()) {
    TDirNode* n = pending.back();
    pending.pop_back();
    if (n->IsRoot()) {
      roots.push_back(n);
      for (const TLinkRecord& r : *n->Links()) idOf.emplace(r.Leaf, std::make_pair(r.Device, r.Inode));
    }
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
  }
  std::unordered_set<std::pair<uint64_t, uint64_t>, TIdHash> seen;
  std::unordered_set<const TFileLeaf*> met;
  if (!idOf.empty()) {
    seen.reserve(idOf.size());
    met.reserve(idOf.size());
    pending.assign(1, root);
    while (!pending.empty()) {
      TDirNode* n = pending.back();
      pending.pop_back();
      // Records in block order: the order the folder was listed in.
      for (TLeafChunk* c = n->Leaves.FFirst; c; c = c->Next) {
        for (uint32_t i = 0; i < c->Count; ++i) {
          TFileLeaf* f = c->Records() + i;
          if (!f->FLinked) continue;
          auto it = idOf.find(f);
          if (it == idOf.end()) {
            f->FExtraLink = 0;
            continue;
          }
          met.insert(f);
          f->FExtraLink = !seen.insert(it->second).second;
        }
      }
      for (size_t i = n->Children.size(); i-- > 0;) pending.push_back(n->Children[i]);
    }
  }
  for (TDirNode* r : roots) {
    // Records of files that left the tree (a splice) go with them.
    std::vector<TLinkRecord>& links = r->FRoot->Links;
    size_t keep = 0;
    for (const TLinkRecord& l : links)
      if (met.count(l.Leaf)) links[keep++] = l;
    links.resize(keep);
    r->FRoot->LinksDirty = false;
  }
}

TTreeFacts ApplySizeMeasure(TDirNode* root, TSizeMeasure measure) {
  TTreeFacts facts;
  if (!root) return facts;
  detail::gSizeMeasure.store(uint8_t(measure), std::memory_order_relaxed);
  bool dirty = false;
  {
    std::vector<const TDirNode*> pending{root};
    while (!pending.empty() && !dirty) {
      const TDirNode* n = pending.back();
      pending.pop_back();
      if (n->LinksDirty()) dirty = true;
      pending.insert(pending.end(), n->Children.begin(), n->Children.end());
    }
  }
  if (dirty) ResolveHardLinks(root);

  const bool onDisk = measure == TSizeMeasure::OnDisk;
  // Post-order without recursion. Each file counts into the nearest root's
  // extension totals; a root's totals then go into the root above it.
  struct TFrame {
    TDirNode* Node;
    TDirNode* Root;  // nearest root at or above Node
    bool Expanded;
  };
  std::vector<TFrame> stack{{root, root, false}};
  std::vector<TDirNode*> roots;
  while (!stack.empty()) {
    TFrame& top = stack.back();
    TDirNode* n = top.Node;
    if (!top.Expanded) {
      top.Expanded = true;
      TDirNode* r = n->IsRoot() ? n : top.Root;
      if (n->IsRoot()) {
        roots.push_back(n);
        n->RootExtStats().Clear();
      }
      if (n->ReadError() != TReadError::None) {
        if (!facts.FirstUnreadable) facts.FirstUnreadable = n;
        ++facts.UnreadableFolders;
      }
      for (size_t i = n->Children.size(); i-- > 0;) stack.push_back({n->Children[i], r, false});
      continue;
    }
    TDirNode* r = top.Root;
    stack.pop_back();
    int64_t apparent = 0, allocated = n->OwnAllocated;
    TExtStats& stats = (n->IsRoot() ? n : r)->RootExtStats();
    for (const TFileLeaf* f : n->Leaves) {
      const int64_t a = f->ApparentSize();
      const int64_t d = f->IsExtraLink() ? 0 : f->AllocatedSize();
      apparent += a;
      allocated += d;
      stats.AddFile(f->ExtKey(), onDisk ? d : a);
    }
    for (const TDirNode* c : n->Children) {
      apparent += onDisk ? c->OtherTotalSize : c->TotalSize;
      allocated += onDisk ? c->TotalSize : c->OtherTotalSize;
    }
    n->TotalSize = onDisk ? allocated : apparent;
    n->OtherTotalSize = onDisk ? apparent : allocated;
  }
  // Roots in pre-order: the last ones are the deepest, merged upwards first.
  for (size_t i = roots.size(); i-- > 0;) {
    TDirNode* r = roots[i];
    TDirNode* up = r->Parent;
    while (up && !up->IsRoot()) up = up->Parent;
    if (up) up->RootExtStats().MergeFrom(&r->RootExtStats());
  }
  return facts;
}

TTreeFacts CountUnreadable(const TDirNode* root) {
  TTreeFacts facts;
  std::vector<const TDirNode*> pending;
  if (root) pending.push_back(root);
  while (!pending.empty()) {
    const TDirNode* n = pending.back();
    pending.pop_back();
    if (n->ReadError() != TReadError::None) {
      if (!facts.FirstUnreadable) facts.FirstUnreadable = n;
      ++facts.UnreadableFolders;
    }
    for (size_t i = n->Children.size(); i-- > 0;) pending.push_back(n->Children[i]);
  }
  return facts;
}

const char* ReadErrorText(TReadError e) {
  switch (e) {
    case TReadError::None: return "";
    case TReadError::Denied: return "permission denied";
    case TReadError::IoError: return "I/O error";
    case TReadError::Vanished: return "vanished during the scan";
    case TReadError::Other: return "could not be read";
  }
  return "";
}

}  // namespace vd
