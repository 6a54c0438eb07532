#include "core/scan/ScanModel.h"

#include <algorithm>

#include "platform/Platform.h"

namespace vd {

// ---- Names and paths ----------------------------------------------------------

std::string_view ExtractFileName(std::string_view path) {
  const size_t p = path.find_last_of(platform::PathDelimiters());
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

std::string_view ExtractExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  const size_t delim = name.find_last_of(platform::PathDelimiters());
  if (delim != std::string_view::npos && delim > dot) return {};
  return name.substr(dot);
}

std::string TFileLeaf::FullPath() const {
  if (!Parent) return std::string(Name());
  return platform::JoinPath(Parent->FullPath(), Name());
}

// ---- TExtStats ----------------------------------------------------------------

void TExtStats::Rehash(uint32_t newCap) {
  auto* fresh = static_cast<Entry*>(std::calloc(newCap, sizeof(Entry)));
  if (!fresh) throw std::bad_alloc();
  const uint32_t mask = newCap - 1;
  for (uint32_t i = 0; i < FCap; ++i) {
    if (!FMap[i].Key) continue;
    uint32_t j = FMap[i].Key->Hash & mask;
    while (fresh[j].Key) j = (j + 1) & mask;
    fresh[j] = FMap[i];
  }
  std::free(FMap);
  FMap = fresh;
  FCap = newCap;
}

TExtStats::Entry& TExtStats::Slot(const TExtKey* key) {
  if ((FCount + 1) * 4 > FCap * 3) Rehash(FCap ? FCap * 2 : 4);
  const uint32_t mask = FCap - 1;
  uint32_t i = key->Hash & mask;
  while (FMap[i].Key) {
    if (FMap[i].Key->Equals(*key)) return FMap[i];
    i = (i + 1) & mask;
  }
  FMap[i].Key = key;
  FMap[i].Stat = {};
  ++FCount;
  return FMap[i];
}

void TExtStats::AddFile(const TExtKey* key, int64_t size) {
  Entry& e = Slot(key ? key : NoneExtKey());
  e.Stat.Files += 1;
  e.Stat.Bytes += size;
}

void TExtStats::AddFile(std::string_view ext, int64_t size) {
  AddFile(GlobalExtKey(platform::ToLowerLocale(ext)), size);
}

void TExtStats::MergeFrom(const TExtStats* src) {
  if (!src || src == this) return;
  for (uint32_t i = 0; i < src->FCap; ++i) {
    const Entry& s = src->FMap[i];
    if (!s.Key) continue;
    Entry& d = Slot(s.Key);
    d.Stat.Bytes += s.Stat.Bytes;
    d.Stat.Files += s.Stat.Files;
  }
}

std::vector<TExtStatPair> TExtStats::ToSortedArrayByBytesDesc() const {
  std::vector<TExtStatPair> out;
  out.reserve(FCount);
  for (uint32_t i = 0; i < FCap; ++i)
    if (FMap[i].Key) out.push_back({std::string(FMap[i].Key->View()), FMap[i].Stat.Bytes, FMap[i].Stat.Files});
  std::sort(out.begin(), out.end(), [](const TExtStatPair& a, const TExtStatPair& b) { return a.Bytes > b.Bytes; });
  return out;
}

bool TExtStats::Find(std::string_view key, TExtStat& out) const {
  for (uint32_t i = 0; i < FCap; ++i) {
    if (FMap[i].Key && FMap[i].Key->View() == key) {
      out = FMap[i].Stat;
      return true;
    }
  }
  return false;
}

void TExtStats::Clear() {
  std::free(FMap);
  FMap = nullptr;
  FCount = FCap = 0;
}

// ---- TDirNode -----------------------------------------------------------------

TDirNode::TDirNode() = default;

TDirNode::~TDirNode() {
  FRoot.reset();  // first the extension totals, as they may refer into the stores
  Leaves.Clear();
  // Release the subtree with an explicit stack so that depth costs heap, not stack.
  std::vector<TDirNode*> pending(Children.begin(), Children.end());
  Children.Clear();
  while (!pending.empty()) {
    TDirNode* n = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
    n->Children.Clear();
    delete n;
  }
}

std::string_view TDirNode::Name() const {
  if (FRoot) return FRoot->Name;
  return StoredName(FName);
}

void TDirNode::AppendPath(std::string& out) const {
  // Collect the chain up to the nearest root, then write it from the top.
  const TDirNode* chain[64];
  std::vector<const TDirNode*> deep;
  size_t n = 0;
  const TDirNode* p = this;
  while (p && !p->FRoot) {
    if (n < 64)
      chain[n++] = p;
    else
      deep.push_back(p);
    p = p->Parent;
  }
  // Sized once: layouts build a path for every folder they index.
  size_t len = p ? p->FRoot->FullPath.size() : 0;
  for (size_t i = 0; i < n; ++i) len += 1 + chain[i]->Name().size();
  for (const TDirNode* d : deep) len += 1 + d->Name().size();
  out.clear();
  out.reserve(len + 1);
  if (p) out = p->FRoot->FullPath;
  const char sep = platform::PathSeparator();
  for (size_t i = deep.size(); i-- > 0;) {
    if (out.empty() || out.back() != sep) out.push_back(sep);
    out.append(deep[i]->Name());
  }
  for (size_t i = n; i-- > 0;) {
    if (out.empty() || out.back() != sep) out.push_back(sep);
    out.append(chain[i]->Name());
  }
}

TExtStats& TDirNode::RootExtStats() {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  return FRoot->Stats;
}

TExtStats TDirNode::ExtStats() const {
  if (FRoot) return FRoot->Stats;
  TExtStats stats;
  std::vector<const TDirNode*> pending{this};
  while (!pending.empty()) {
    const TDirNode* n = pending.back();
    pending.pop_back();
    for (const TFileLeaf* f : n->Leaves) stats.AddFile(f->FExt, f->Size);
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
  }
  return stats;
}

std::string TDirNode::FullPath() const {
  std::string out;
  AppendPath(out);
  return out;
}

void TDirNode::MakeRoot(std::string fullPath, std::string name, std::shared_ptr<TScanStore> store) {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  FRoot->FullPath = std::move(fullPath);
  FRoot->Name = std::move(name);
  if (store) FRoot->Stores.push_back(std::move(store));
}

void TDirNode::AddStore(std::shared_ptr<TScanStore> store) {
  if (!FRoot) FRoot = std::make_unique<TRootInfo>();
  if (store && std::find(FRoot->Stores.begin(), FRoot->Stores.end(), store) == FRoot->Stores.end())
    FRoot->Stores.push_back(std::move(store));
}

void TDirNode::AppendChildTree(std::unique_ptr<TDirNode> child) {
  if (!child) return;
  TotalSize += child->TotalSize;
  TotalFiles += child->TotalFiles;
  TotalDirs += child->TotalDirs;
  const TExtStats childStats = child->ExtStats();
  RootExtStats().MergeFrom(&childStats);
  child->Parent = this;
  Children.push_back(child.release());
}

std::unique_ptr<TDirNode> CreateSyntheticRoot() {
  auto root = std::make_unique<TDirNode>();
  root->MakeRoot(std::string(), "(All Drives)", nullptr);
  return root;
}

// ---- TTreeBuilder -------------------------------------------------------------

TTreeBuilder::TTreeBuilder(const std::string& rootPath)
    : FStore(std::make_shared<TScanStore>()), FRootNode(std::make_unique<TDirNode>()) {
  const std::string path = platform::RemoveTrailingSeparator(rootPath);
  std::string name(ExtractFileName(path));
  if (name.empty()) name = path;
  FRootNode->MakeRoot(path, name, FStore);
}

TDirNode* TTreeBuilder::AddDir(TDirNode* parent, std::string_view name) {
  auto* d = new TDirNode();
  d->FName = FStore->StoreName(name);
  d->Parent = parent;
  parent->Children.push_back(d);
  return d;
}

TFileLeaf* TTreeBuilder::AddFile(TDirNode* parent, std::string_view name, int64_t size, TFileTime modified) {
  TFileLeaf* f = FStore->NewLeaf();
  f->Parent = parent;
  f->FName = FStore->StoreName(name);
  f->FExt = FStore->ExtKeyOfRaw(ExtractExtension(name));
  f->Size = size;
  f->ModifiedFT = modified;
  parent->Leaves.push_back(f);
  return f;
}

std::unique_ptr<TDirNode> TTreeBuilder::Finish() {
  // Post-order without recursion: totals of children are final before the parent's.
  std::vector<std::pair<TDirNode*, bool>> stack{{FRootNode.get(), false}};
  while (!stack.empty()) {
    auto [n, expanded] = stack.back();
    if (!expanded) {
      stack.back().second = true;
      for (TDirNode* c : n->Children) stack.push_back({c, false});
      continue;
    }
    stack.pop_back();
    n->TotalSize = n->TotalFiles = 0;
    n->TotalDirs = 1;
    for (TFileLeaf* f : n->Leaves) {
      n->TotalSize += f->Size;
      n->TotalFiles += 1;
    }
    for (TDirNode* c : n->Children) {
      n->TotalSize += c->TotalSize;
      n->TotalFiles += c->TotalFiles;
      n->TotalDirs += c->TotalDirs;
    }
  }
  TExtStats& stats = FRootNode->RootExtStats();
  stats.Clear();
  std::vector<TDirNode*> pending{FRootNode.get()};
  while (!pending.empty()) {
    TDirNode* n = pending.back();
    pending.pop_back();
    for (TFileLeaf* f : n->Leaves) stats.AddFile(f->FExt, f->Size);
    pending.insert(pending.end(), n->Children.begin(), n->Children.end());
  }
  return std::move(FRootNode);
}

}  // namespace vd
