// Which mounts "All Drives" walks, from the mount table alone. The table of a
// container host runs to tens of thousands of lines and is not ours to trust,
// so every step is one pass over it: paths become nodes of trees of hashed
// folder names, mounts find their parents by index, and no mount is compared
// with every other.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "MountTable.h"

namespace vd::platform {

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// Calls each(name) for the folder names of `path`: "", "/" and "//" are all
// the top, "/a//b/" is "/a/b".
template <class F>
void ForEachName(std::string_view path, F&& each) {
  size_t i = 0;
  while (i < path.size()) {
    const size_t j = std::min(path.find('/', i), path.size());
    if (j > i) each(path.substr(i, j - i));
    i = j + 1;
  }
}

// Folders by path, one node per distinct path below any number of tops. The
// names are views into the mount entries, which outlive the tree.
class TFolderTree {
 public:
  uint32_t AddTop() { return NewNode(kNone); }

  // The node of `path` below `node`, made where missing; the first `skip`
  // names of the path are passed over.
  uint32_t Add(uint32_t node, std::string_view path, uint32_t skip = 0) {
    ForEachName(path, [&](std::string_view name) {
      if (skip > 0) {
        --skip;
        return;
      }
      const auto [it, added] = FChildren.try_emplace(TKey{node, name}, uint32_t(FParent.size()));
      if (added) NewNode(node);
      node = it->second;
    });
    return node;
  }

  size_t Size() const { return FParent.size(); }
  uint32_t Parent(uint32_t n) const { return FParent[n]; }
  uint32_t Depth(uint32_t n) const { return FDepth[n]; }
  uint32_t FirstChild(uint32_t n) const { return FFirstChild[n]; }
  uint32_t NextSibling(uint32_t n) const { return FNextSibling[n]; }

 private:
  struct TKey {
    uint32_t Node;
    std::string_view Name;
    bool operator==(const TKey&) const = default;
  };
  struct THash {
    size_t operator()(const TKey& k) const noexcept {
      return std::hash<std::string_view>{}(k.Name) * 0x9E3779B97F4A7C15ull + k.Node;
    }
  };

  uint32_t NewNode(uint32_t parent) {
    const uint32_t n = uint32_t(FParent.size());
    FParent.push_back(parent);
    FDepth.push_back(parent == kNone ? 0 : FDepth[parent] + 1);
    FFirstChild.push_back(kNone);
    FNextSibling.push_back(parent == kNone ? kNone : FFirstChild[parent]);
    if (parent != kNone) FFirstChild[parent] = n;
    return n;
  }

  std::unordered_map<TKey, uint32_t, THash> FChildren;
  std::vector<uint32_t> FParent, FDepth, FFirstChild, FNextSibling;
};

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The file system a walk stays on. All subvolumes of a btrfs show one device
// in the table, but each has a device of its own for stat(), and a walk stops
// where the device changes: a subvolume is a file system of its own here.
std::string WalkKey(const TMountEntry& m) {
  std::string key = m.Device;
  if (m.FsType != "btrfs") return key;
  std::string_view id, path;
  size_t i = 0;
  const std::string_view opts = m.SuperOptions;
  while (i <= opts.size()) {
    const size_t j = std::min(opts.find(',', i), opts.size());
    const std::string_view opt = opts.substr(i, j - i);
    if (StartsWith(opt, "subvolid=")) id = opt;
    if (StartsWith(opt, "subvol=")) path = opt;
    i = j + 1;
  }
  key.push_back('\n');
  key.append(!id.empty() ? id : path);
  return key;
}

uint64_t PlaceKey(int parentId, uint32_t node) { return (uint64_t(uint32_t(parentId)) << 32) | node; }

// Which mounts the paths of the table lead to.
struct TReach {
  std::vector<uint32_t> Node;        // of the mount point in the tree of paths
  std::vector<uint32_t> Parent;      // index of the mount below, kNone when the table does not have it
  std::vector<uint8_t> Visible;      // the path of its mount point leads to its root
  std::vector<uint8_t> PastNetwork;  // the path looks up a folder of a network share on the way
};

TReach FindVisible(const std::vector<TMountEntry>& mounts, TFolderTree& paths) {
  const size_t n = mounts.size();
  TReach r;
  r.Node.resize(n);
  r.Parent.assign(n, kNone);
  r.Visible.assign(n, 0);
  r.PastNetwork.assign(n, 0);
  const uint32_t top = paths.AddTop();
  std::unordered_map<int, uint32_t> byId;
  // (parent id, mount point) -> the last mount there: who sits on whom.
  std::unordered_map<uint64_t, uint32_t> lastAt;
  byId.reserve(n);
  lastAt.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    r.Node[i] = paths.Add(top, mounts[i].MountPoint);
    byId.try_emplace(mounts[i].Id, i);
    lastAt[PlaceKey(mounts[i].ParentId, r.Node[i])] = i;
  }
  for (uint32_t i = 0; i < n; ++i) {
    const auto p = byId.find(mounts[i].ParentId);
    if (p != byId.end() && p->second != i) r.Parent[i] = p->second;
  }
  // Something sits on it at its own mount point (or took that place on the
  // same parent later, which the kernel does not do).
  auto covered = [&](uint32_t i) {
    return lastAt.find(PlaceKey(mounts[i].ParentId, r.Node[i]))->second != i ||
           lastAt.count(PlaceKey(mounts[i].Id, r.Node[i])) != 0;
  };
  // A mount on the same parent over a folder on the way from the parent's
  // mount point to this one's: the path now leads into that mount.
  auto hiddenAbove = [&](uint32_t i) {
    const uint32_t stop = r.Parent[i] == kNone ? kNone : r.Node[r.Parent[i]];
    for (uint32_t a = r.Node[i]; a != stop;) {
      a = paths.Parent(a);
      if (a == kNone || a == stop) break;
      if (lastAt.count(PlaceKey(mounts[i].ParentId, a)) != 0) return true;
    }
    return false;
  };

  // A mount's path leads to it (or to what is stacked on it) when its parent's
  // path leads to the parent's root, or, stacked on the parent, to the parent.
  // Parents are settled before their children, along each chain without
  // recursion; a ring of parents leads nowhere.
  std::vector<uint8_t> state(n, 0), reach(n, 0);  // state: 0 unknown, 1 on the chain, 2 settled
  std::vector<uint32_t> chain;
  for (uint32_t s = 0; s < n; ++s) {
    chain.clear();
    for (uint32_t i = s; i != kNone && state[i] == 0; i = r.Parent[i]) {
      state[i] = 1;
      chain.push_back(i);
    }
    for (size_t k = chain.size(); k-- > 0;) {
      const uint32_t i = chain[k], p = r.Parent[i];
      bool ok = !hiddenAbove(i);
      if (p != kNone) {
        const bool stacked = r.Node[i] == r.Node[p];
        ok = ok && state[p] == 2 && (stacked ? reach[p] : r.Visible[p]);
        r.PastNetwork[i] = state[p] == 2 && (r.PastNetwork[p] || (!stacked && IsNetworkMount(mounts[p])));
      }
      reach[i] = ok;
      r.Visible[i] = ok && !covered(i);
      state[i] = 2;
    }
  }
  return r;
}

}  // namespace

std::vector<std::string> DrivesFromMounts(const std::vector<TMountEntry>& mounts,
                                          const std::function<bool(const std::string&)>& isDir) {
  const size_t n = mounts.size();
  TFolderTree paths;
  const TReach reach = FindVisible(mounts, paths);

  // Each file system's folders as a tree of its own; a drive's walk starts at
  // the node of its root. Of the drives with one root only the first can be
  // kept: the others' walks go through the same folders.
  TFolderTree folders;
  std::unordered_map<std::string, uint32_t> tops;
  std::vector<uint32_t> topList, fsNode(n, kNone), first;
  std::vector<uint8_t> candidate(n, 0);
  for (uint32_t i = 0; i < n; ++i) {
    const TMountEntry& m = mounts[i];
    if (!reach.Visible[i] || reach.PastNetwork[i] || !IsLocalDiskMount(m) || !isDir(m.MountPoint)) continue;
    candidate[i] = 1;
    const auto [it, added] = tops.try_emplace(WalkKey(m), 0);
    if (added) topList.push_back(it->second = folders.AddTop());
    fsNode[i] = folders.Add(it->second, m.Root);
    first.resize(folders.Size(), kNone);
    if (first[fsNode[i]] == kNone) first[fsNode[i]] = i;
  }

  // The walk of a drive stops at every mount on it: the folder under such a
  // mount is a block on the way for that drive only.
  struct TBlock {
    uint32_t Owner, Next;
  };
  std::vector<TBlock> blocks;
  std::vector<uint32_t> blockAt;
  for (uint32_t x = 0; x < n; ++x) {
    const uint32_t p = reach.Parent[x];
    if (p == kNone || !candidate[p] || first[fsNode[p]] != p) continue;
    const uint32_t depth = paths.Depth(reach.Node[p]);
    if (paths.Depth(reach.Node[x]) <= depth) continue;
    uint32_t a = reach.Node[x];
    for (uint32_t k = paths.Depth(a) - depth; k > 0; --k) a = paths.Parent(a);
    if (a != reach.Node[p]) continue;  // not below its parent's mount point: no such table
    const uint32_t at = folders.Add(fsNode[p], mounts[x].MountPoint, depth);
    blockAt.resize(folders.Size(), kNone);
    blocks.push_back({p, blockAt[at]});
    blockAt[at] = uint32_t(blocks.size() - 1);
  }
  first.resize(folders.Size(), kNone);
  blockAt.resize(folders.Size(), kNone);

  // Depth first through each file system: a drive is kept when no walk of a
  // drive kept above it is still open at its root. `open` counts the walks
  // that reach the current folder.
  std::vector<uint8_t> walk(n, 0), kept(n, 0), applied(blocks.size(), 0);  // walk: 1 open, 2 blocked here
  std::vector<uint32_t> cursor(folders.Size(), kNone), stack;
  size_t open = 0;
  auto enter = [&](uint32_t v) {
    for (uint32_t b = blockAt[v]; b != kNone; b = blocks[b].Next)
      if (walk[blocks[b].Owner] == 1) {
        walk[blocks[b].Owner] = 2;
        applied[b] = 1;
        --open;
      }
    const uint32_t f = first[v];
    if (f != kNone && open == 0) {
      kept[f] = 1;
      walk[f] = 1;
      ++open;
    }
    cursor[v] = folders.FirstChild(v);
    stack.push_back(v);
  };
  auto leave = [&](uint32_t v) {
    const uint32_t f = first[v];
    if (f != kNone && kept[f]) {
      if (walk[f] == 1) --open;
      walk[f] = 0;
    }
    for (uint32_t b = blockAt[v]; b != kNone; b = blocks[b].Next)
      if (applied[b]) {
        applied[b] = 0;
        walk[blocks[b].Owner] = 1;
        ++open;
      }
  };
  for (const uint32_t top : topList) {
    enter(top);
    while (!stack.empty()) {
      const uint32_t v = stack.back();
      if (cursor[v] != kNone) {
        const uint32_t child = cursor[v];
        cursor[v] = folders.NextSibling(child);
        enter(child);
      } else {
        leave(v);
        stack.pop_back();
      }
    }
  }

  std::vector<std::string> result;
  std::vector<uint8_t> taken(paths.Size(), 0);  // one drive per path, whatever the table says
  for (uint32_t i = 0; i < n; ++i)
    if (candidate[i] && kept[i] && !taken[reach.Node[i]]) {
      taken[reach.Node[i]] = 1;
      result.push_back(mounts[i].MountPoint);
    }
  return result;
}

}  // namespace vd::platform
