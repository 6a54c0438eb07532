#include "core/scan/Splice.h"

#include <unordered_set>

#include "platform/Platform.h"

namespace vd {

namespace {

// `path` below `top` (a root of its own, whose FullPath is whole), by names.
TDirNode* FindBelow(TDirNode* top, std::string_view path) {
  const std::string base = top->FullPath();
  if (path == base) return top;
  const char sep = platform::PathSeparator();
  const bool baseEndsInSep = !base.empty() && base.back() == sep;
  if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0) return nullptr;
  if (!baseEndsInSep && path[base.size()] != sep) return nullptr;  // "/a/bc" is not below "/a/b"
  std::string_view rest = path.substr(base.size() + (baseEndsInSep ? 0 : 1));
  TDirNode* at = top;
  while (!rest.empty()) {
    const size_t cut = rest.find(sep);
    const std::string_view name = rest.substr(0, cut);
    TDirNode* next = nullptr;
    for (TDirNode* c : at->Children)
      if (c->Name() == name) {
        next = c;
        break;
      }
    if (!next) return nullptr;
    at = next;
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  return at;
}

// Releases a folder that has left its tree, as its parent's destructor would
// have: in place when it lives in an arena, whole when it is a root of its own.
void Release(TDirNode* gone) {
  TDirNode holder;
  holder.Children.push_back(gone);
}

// `folders` without repeats and without folders inside another of them, in
// first-seen order.
std::vector<TDirNode*> OutermostFolders(const std::vector<TDirNode*>& folders) {
  const std::unordered_set<const TDirNode*> chosen(folders.begin(), folders.end());
  std::unordered_set<const TDirNode*> taken;
  std::vector<TDirNode*> out;
  for (TDirNode* f : folders) {
    if (!f || !taken.insert(f).second) continue;
    bool inside = false;
    for (const TDirNode* a = f->Parent; a && !inside; a = a->Parent) inside = chosen.count(a) != 0;
    if (!inside) out.push_back(f);
  }
  return out;
}

// A folder below the top of its tree, whose parent can be walked instead.
bool HasFolderParent(const TDirNode& f) { return f.Parent && !f.Parent->FullPath().empty(); }

// The top of a tree is walked as a scan walks its root: whatever the path
// leads to. Below it, only what a walk of the parent would enter.
bool WalkInto(const std::string& path, bool belowTop) {
  if (!belowTop) return platform::DirectoryExists(path);
  return platform::InspectPathNoFollow(path).Kind == platform::TPathKind::Folder && !platform::IsMountPoint(path);
}

}  // namespace

TDirNode* FindFolder(TDirNode* root, std::string_view path) {
  if (!root || path.empty()) return nullptr;
  const std::string p = platform::RemoveTrailingSeparator(path);
  if (!root->FullPath().empty()) return FindBelow(root, p);
  // "(All Drives)": drives may nest ("/" and "/boot/efi"); the deepest one holds it.
  TDirNode* best = nullptr;
  size_t bestLen = 0;
  for (TDirNode* drive : root->Children) {
    const size_t len = drive->FullPath().size();
    if (best && len <= bestLen) continue;
    if (TDirNode* found = FindBelow(drive, p)) {
      best = found;
      bestLen = len;
    }
  }
  return best;
}

TDirNode* FolderOfPath(TDirNode* root, std::string_view path) {
  if (TDirNode* d = FindFolder(root, path)) return d;
  const std::string p = platform::RemoveTrailingSeparator(path);
  const size_t cut = p.rfind(platform::PathSeparator());
  if (cut == std::string::npos) return nullptr;
  // The parent of "/f" is "/" itself.
  return FindFolder(root, std::string_view(p).substr(0, cut == 0 ? 1 : cut));
}

bool CanRescan(const TDirNode& folder, bool fromScanFile) {
  const std::string path = folder.FullPath();
  if (path.empty()) return false;  // "(All Drives)" is rescanned drive by drive
  if (platform::DirectoryExists(path)) return true;
  if (fromScanFile) return platform::InspectPathNoFollow(path).Kind != platform::TPathKind::Missing;
  if (!folder.Parent) return false;
  const std::string parent = folder.Parent->FullPath();
  return parent.empty() || platform::DirectoryExists(parent);
}

void SpliceSubtree(std::unique_ptr<TDirNode>& root, TDirNode* old, std::unique_ptr<TDirNode> fresh) {
  if (!old) return;
  // The fresh tree goes by the name the tree knew (a drive by its whole path).
  if (fresh) fresh->MakeRoot(old->FullPath(), std::string(old->Name()), nullptr);
  TDirNode* parent = old->Parent;
  if (!parent) {
    if (old == root.get()) root = std::move(fresh);
    return;
  }

  TChildList& kids = parent->Children;
  size_t at = 0;
  while (at < kids.size() && kids[at] != old) ++at;
  if (at == kids.size()) return;  // not a folder of this tree

  const int64_t dSize = (fresh ? fresh->TotalSize : 0) - old->TotalSize;
  const int64_t dFiles = (fresh ? fresh->TotalFiles : 0) - old->TotalFiles;
  const int64_t dDirs = (fresh ? fresh->TotalDirs : 0) - old->TotalDirs;
  const TExtStats oldStats = old->ExtStats();
  const TExtStats freshStats = fresh ? fresh->ExtStats() : TExtStats();
  for (TDirNode* a = parent; a; a = a->Parent) {
    a->TotalSize += dSize;
    a->TotalFiles += dFiles;
    a->TotalDirs += dDirs;
    if (a->IsRoot()) {
      TExtStats& stats = a->RootExtStats();
      stats.Subtract(&oldStats);
      stats.MergeFrom(&freshStats);
    }
  }

  if (fresh) {
    fresh->Parent = parent;
    kids[at] = fresh.release();
  } else {
    std::vector<TDirNode*> rest;
    rest.reserve(kids.size() - 1);
    for (TDirNode* c : kids)
      if (c != old) rest.push_back(c);
    kids.Clear();
    for (TDirNode* c : rest) kids.push_back(c);
  }
  Release(old);
}

// ---- TRescan ---------------------------------------------------------------------

TRescan::TRescan(const std::vector<TDirNode*>& folders) {
  std::vector<TDirNode*> wanted;
  for (TDirNode* f : folders) {
    if (f && !f->Parent && f->FullPath().empty())
      wanted.insert(wanted.end(), f->Children.begin(), f->Children.end());
    else
      wanted.push_back(f);
  }
  for (TDirNode*& f : wanted)
    if (f && HasFolderParent(*f) && platform::InspectPathNoFollow(f->FullPath()).Kind == platform::TPathKind::File)
      f = f->Parent;
  FFolders = OutermostFolders(wanted);
  for (const TDirNode* f : FFolders) {
    FPaths.push_back(f->FullPath());
    FBelowTop.push_back(HasFolderParent(*f));
  }
}

void TRescan::Walk(TScanContext& context, const TWalkOptions& options) {
  FFresh.clear();
  FComplete = false;
  int64_t filesOff = 0, dirsOff = 0, bytesOff = 0;
  TWalkOptions walk;
  walk.ThrottleMs = options.ThrottleMs;
  if (options.OnProgress)
    walk.OnProgress = [&](const std::string& path, int64_t files, int64_t dirs, int64_t bytes) {
      options.OnProgress(path, files + filesOff, dirs + dirsOff, bytes + bytesOff);
    };
  for (const std::string& path : FPaths) {
    if (context.IsCancelled()) return;
    std::unique_ptr<TDirNode> fresh;
    if (WalkInto(path, FBelowTop[&path - FPaths.data()])) fresh = WalkScanSource(context, false, path, {}, walk);
    if (fresh) {
      filesOff += fresh->TotalFiles;
      dirsOff += fresh->TotalDirs;
      bytesOff += fresh->TotalSize;
    }
    FFresh.push_back(std::move(fresh));
    if (options.OnProgress) options.OnProgress(path, filesOff, dirsOff, bytesOff);
  }
  FComplete = !context.IsCancelled();
}

bool TRescan::SpliceInto(std::unique_ptr<TDirNode>& root) {
  if (!FComplete || FFresh.size() != FFolders.size()) return false;
  for (size_t i = 0; i < FFolders.size(); ++i) SpliceSubtree(root, FFolders[i], std::move(FFresh[i]));
  FFresh.clear();
  FFolders.clear();
  FComplete = false;
  return true;
}

}  // namespace vd
