// TTreeBuilder: the scanner's tree layout for trees that do not come from a walk.
#include <utility>

#include "core/scan/ScanModel.h"
#include "core/scan/TreeWriter.h"
#include "platform/Platform.h"

namespace vd {

struct TTreeBuilder::TImpl {
  explicit TImpl(std::shared_ptr<TScanStore> store) : Store(std::move(store)), Arena(*Store) {}

  struct TOpenDir {
    TDirNode* Node = nullptr;
    TLeafStaging Files;
    std::vector<TDirNode*> Kids;
  };
  TOpenDir& Current() {
    if (Depth == 0) Push(Root.get());
    return Open[Depth - 1];
  }
  void Push(TDirNode* d) {
    if (Depth == Open.size()) Open.emplace_back();
    Open[Depth++].Node = d;
  }
  void Leave() {
    TOpenDir& d = Open[--Depth];
    d.Files.WriteTo(d.Node, Arena, Links);
    TTreeWriter::SetChildren(d.Node, d.Kids.data(), d.Kids.size(), Arena);
    d.Kids.clear();
  }

  std::shared_ptr<TScanStore> Store;
  TArenaCursor Arena;
  TExtKeyCache Exts;
  std::unique_ptr<TDirNode> Root;
  std::vector<TLinkRecord> Links;
  // Streaming form: the open folders, the root first; kept by depth so that
  // their scratch lists keep their capacity.
  std::vector<TOpenDir> Open;
  size_t Depth = 0;
};

TTreeBuilder::TTreeBuilder(const std::string& rootPath) : F(std::make_unique<TImpl>(std::make_shared<TScanStore>())) {
  const std::string path = platform::RemoveTrailingSeparator(rootPath);
  std::string name(ExtractFileName(path));
  if (name.empty()) name = path;
  F->Root = std::make_unique<TDirNode>();
  F->Root->MakeRoot(path, name, F->Store);
}

TTreeBuilder::~TTreeBuilder() = default;

TDirNode* TTreeBuilder::Root() { return F->Root.get(); }

TDirNode* TTreeBuilder::AddDir(TDirNode* parent, std::string_view name) {
  TDirNode* d = TTreeWriter::NewFolder(F->Arena, parent, name);
  parent->Children.push_back(d);
  return d;
}

TFileLeaf* TTreeBuilder::AddFile(TDirNode* parent, std::string_view name, int64_t size, TFileTime modified,
                                 const TFileDisk& disk) {
  return TTreeWriter::AppendLeaf(parent, F->Arena, name, size, modified, F->Exts.KeyOfRaw(ExtractExtension(name)),
                                 disk, F->Links);
}

TDirNode* TTreeBuilder::EnterDir(std::string_view name) {
  TImpl::TOpenDir& parent = F->Current();
  TDirNode* d = TTreeWriter::NewFolder(F->Arena, parent.Node, name);
  parent.Kids.push_back(d);
  F->Push(d);
  return d;
}

void TTreeBuilder::AddFile(std::string_view name, int64_t size, TFileTime modified, const TFileDisk& disk) {
  F->Current().Files.Add(name, size, modified, F->Exts.KeyOfRaw(ExtractExtension(name)), disk);
}

void TTreeBuilder::LeaveDir() {
  if (F->Depth > 1) F->Leave();  // the root stays open until Finish
}

std::unique_ptr<TDirNode> TTreeBuilder::Finish() {
  while (F->Depth > 0) F->Leave();
  // Post-order without recursion: totals of children are final before the parent's.
  std::vector<std::pair<TDirNode*, bool>> stack{{F->Root.get(), false}};
  TExtStats& stats = F->Root->RootExtStats();
  stats.Clear();
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
    for (const TFileLeaf* f : n->Leaves) {
      n->TotalSize += f->ApparentSize();
      n->TotalFiles += 1;
      stats.AddFile(f->ExtKey(), f->ApparentSize());
    }
    TTreeWriter::AddChildTotals(n);
  }
  F->Root->AddLinks(std::move(F->Links));
  F->Root->SetLinksDirty(true);
  return std::move(F->Root);
}

}  // namespace vd
