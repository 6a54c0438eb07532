#include "core/scan/DiskScanner.h"

#include "platform/Platform.h"

namespace vd {

// One level of the walk. Frames are kept and reused by depth, so the scratch
// lists keep their capacity and a deep tree costs heap, not stack.
struct TDiskScanner::TFrame {
  TDirNode* Node = nullptr;
  platform::TDirReader Reader;
  std::vector<TFileLeaf*> Leaves;
  std::vector<TDirNode*> Children;
  TExtStats Stats;  // this folder's running extension totals
  size_t PathLen = 0;
};

std::string TrimText(std::string_view s) {
  auto blank = [](unsigned char c) { return c <= ' ' || c == 0x7F; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

std::vector<std::string> SplitPatternMasks(const std::string& pattern) {
  std::vector<std::string> masks;
  size_t start = 0;
  for (;;) {
    const size_t semi = pattern.find(';', start);
    std::string piece = TrimText(std::string_view(pattern).substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (!piece.empty()) masks.push_back(std::move(piece));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return masks;
}

TDiskScanner::TDiskScanner(TScanContext* context)
    : FContext(context), FTickSource(&platform::GetTickCount), FStore(std::make_shared<TScanStore>()) {
  // The walk keeps one listing open per level of the tree.
  static const bool raised = (platform::RaiseOpenFileLimit(), true);
  (void)raised;
  ResetCounters();
}

TDiskScanner::~TDiskScanner() = default;

void TDiskScanner::ResetCounters() {
  FFiles = FDirs = FBytes = 0;
  FLastProgressTick = FTickSource();
}

void TDiskScanner::ReportProgress(const std::string& path) {
  if (!OnProgress) return;
  const uint32_t now = FTickSource();
  if (uint32_t(now - FLastProgressTick) < 80) return;
  FLastProgressTick = now;
  OnProgress(path, FFiles, FDirs);
}

bool TDiskScanner::MatchesExcludePattern(std::string_view name, std::string_view fullPath) {
  if (!FContext || !FContext->ExcludePattern || FContext->PatternMasks.empty()) return false;
  if (FMasksOf != FContext || FMasks.size() != FContext->PatternMasks.size()) {
    FMasks.clear();
    FMasks.resize(FContext->PatternMasks.size());
    FMasksOf = FContext;
  }
  const std::string upperName = platform::ToUpperLocale(name);
  const std::string upperPath = platform::ToUpperLocale(fullPath);
  for (size_t i = 0; i < FContext->PatternMasks.size(); ++i) {
    if (!FMasks[i]) {
      const std::string upperMask = platform::ToUpperLocale(FContext->PatternMasks[i]);
      if (upperMask.empty()) continue;
      FMasks[i] = std::make_unique<TFileMask>(upperMask);  // throws for a malformed mask
    }
    if (FMasks[i]->Matches(upperName) || FMasks[i]->Matches(upperPath)) return true;
  }
  return false;
}

bool TDiskScanner::IsExcluded(std::string_view name, std::string_view fullPath, int64_t size, TFileTime lastWrite) {
  if (!FContext) return false;
  const TScanContext& c = *FContext;
  if (c.ExcludeLessThan && c.LessThanBytes > 0 && size < c.LessThanBytes) return true;
  if (c.ExcludePattern && MatchesExcludePattern(name, fullPath)) return true;
  if (c.ExcludeModifiedBefore && c.ModifiedBefore > 0) {
    const TDateTime t = FileTimeToLocalDateTime(lastWrite);
    if (t > 0) return t < c.ModifiedBefore;
  }
  return false;
}

void TDiskScanner::FinishFrame(TFrame& f) {
  f.Reader.Close();
  f.Node->Leaves.Assign(f.Leaves.data(), f.Leaves.size());
  f.Node->Children.Assign(f.Children.data(), f.Children.size());
  f.Leaves.clear();
  f.Children.clear();
}

void TDiskScanner::DiscardFrames(size_t depth) {
  for (size_t k = depth; k-- > 0;) {
    TFrame& f = *FFrames[k];
    f.Reader.Close();
    for (TDirNode* c : f.Children) delete c;
    f.Children.clear();
    f.Leaves.clear();
    f.Stats.Clear();
    delete f.Node;
    f.Node = nullptr;
  }
}

std::unique_ptr<TDirNode> TDiskScanner::Scan(const std::string& rootPath) {
  const std::string path = platform::RemoveTrailingSeparator(rootPath);
  if (Cancelled()) return nullptr;

  auto* root = new TDirNode();
  std::string name(ExtractFileName(path));
  if (name.empty()) name = path;
  root->MakeRoot(path, std::move(name), FStore);
  FDirs += 1;
  root->TotalDirs = 1;
  FPath = path;
  ReportProgress(FPath);

  if (FFrames.empty()) FFrames.push_back(std::make_unique<TFrame>());
  FFrames[0]->Node = root;
  FFrames[0]->PathLen = FPath.size();
  FFrames[0]->Reader.OpenPath(path);  // a folder that cannot be listed looks empty
  size_t depth = 1;
  const char sep = platform::PathSeparator();

  try {
    platform::TDirEntry e;
    while (depth > 0) {
      TFrame& f = *FFrames[depth - 1];
      if (Cancelled() || !f.Reader.Next(e)) {
        FinishFrame(f);
        TDirNode* done = f.Node;
        f.Node = nullptr;
        if (--depth == 0) {
          root->RootExtStats() = std::move(f.Stats);
          break;
        }
        TFrame& parent = *FFrames[depth - 1];
        parent.Children.push_back(done);
        parent.Node->TotalSize += done->TotalSize;
        parent.Node->TotalFiles += done->TotalFiles;
        parent.Node->TotalDirs += done->TotalDirs;
        parent.Stats.MergeFrom(&f.Stats);
        f.Stats.Clear();
        FPath.resize(parent.PathLen);
        continue;
      }
      if (e.Kind == platform::TEntryKind::Skipped) continue;
      const std::string_view entryName(e.Name, e.NameLen);

      if (e.Kind == platform::TEntryKind::Folder) {
        auto* child = new TDirNode();
        child->Parent = f.Node;
        child->FName = FStore->StoreName(entryName);
        if (depth == FFrames.size()) FFrames.push_back(std::make_unique<TFrame>());
        TFrame& nf = *FFrames[depth];
        nf.Node = child;
        ++depth;  // from here on a throw releases the child with its frame
        FDirs += 1;
        child->TotalDirs = 1;
        if (FPath.empty() || FPath.back() != sep) FPath.push_back(sep);
        FPath.append(entryName);
        nf.PathLen = FPath.size();
        ReportProgress(FPath);
        nf.Reader.OpenChild(f.Reader, entryName);
        continue;
      }

      const int64_t size = e.Size;
      bool excluded = false;
      if (FContext) {
        std::string_view childPath;
        if (FContext->ExcludePattern) {
          FChildPath.assign(FPath);
          if (FChildPath.empty() || FChildPath.back() != sep) FChildPath.push_back(sep);
          FChildPath.append(entryName);
          childPath = FChildPath;
        }
        excluded = IsExcluded(entryName, childPath, size, e.LastWrite);
      }
      FBytes += size;
      if (!excluded) {
        TFileLeaf* leaf = FStore->NewLeaf();
        leaf->Parent = f.Node;
        leaf->FName = FStore->StoreName(entryName);
        // A listed name holds no path delimiter, so its last dot starts the extension.
        const size_t dot = entryName.rfind('.');
        leaf->FExt = dot == std::string_view::npos ? nullptr : FStore->ExtKeyOfRaw(entryName.substr(dot));
        leaf->Size = size;
        leaf->ModifiedFT = e.LastWrite;
        f.Leaves.push_back(leaf);
        f.Node->TotalSize += size;
        f.Node->TotalFiles += 1;
        f.Stats.AddFile(leaf->FExt, size);
        FFiles += 1;
      }
      ReportProgress(FPath);
    }
  } catch (...) {
    DiscardFrames(depth);
    throw;
  }
  return std::unique_ptr<TDirNode>(root);
}

}  // namespace vd
