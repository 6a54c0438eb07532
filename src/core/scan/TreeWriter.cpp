#include "core/scan/TreeWriter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vd {

TDirNode* TTreeWriter::NewFolder(TArenaCursor& arena, TDirNode* parent, std::string_view name) {
  name = name.substr(0, kMaxStoredName);
  void* mem = arena.Allocate(sizeof(TDirNode) + name.size(), alignof(TDirNode));
  auto* d = new (mem) TDirNode();
  d->FInArena = true;
  d->FNameLen = uint16_t(name.size());
  std::memcpy(reinterpret_cast<char*>(d + 1), name.data(), name.size());
  d->Parent = parent;
  d->TotalDirs = 1;
  return d;
}

void TTreeWriter::SetChildren(TDirNode* dir, TDirNode* const* kids, size_t n, TArenaCursor& arena) {
  if (n == 0) return;
  auto* data = static_cast<TDirNode**>(arena.Allocate(n * sizeof(TDirNode*), alignof(TDirNode*)));
  std::copy(kids, kids + n, data);
  dir->Children.Adopt(data, uint32_t(n));
}

void TTreeWriter::AddChildTotals(TDirNode* dir) {
  for (const TDirNode* c : dir->Children) {
    dir->TotalSize += c->TotalSize;
    dir->TotalFiles += c->TotalFiles;
    dir->TotalDirs += c->TotalDirs;
  }
}

void TTreeWriter::AppendChunk(TDirNode* dir, TLeafChunk* chunk) {
  TLeafList& l = dir->Leaves;
  if (!l.FFirst) {
    l.FFirst = chunk;
  } else {
    TLeafChunk* last = l.FFirst;
    while (last->Next) last = last->Next;
    last->Next = chunk;
  }
  l.FCount += chunk->Count;
  dir->TotalFiles += chunk->Count;
  for (uint32_t i = 0; i < chunk->Count; ++i) dir->TotalSize += chunk->Records()[i].ApparentSize();
}

TFileLeaf* TTreeWriter::AppendLeaf(TDirNode* dir, TArenaCursor& arena, std::string_view name, int64_t size,
                                   TFileTime time, const TExtKey* ext, const TFileDisk& disk,
                                   std::vector<TLinkRecord>& links) {
  name = name.substr(0, kMaxStoredName);
  TLeafList& l = dir->Leaves;
  TLeafChunk* last = l.FFirst;
  while (last && last->Next) last = last->Next;
  if (!last || !last->HasRoom(name.size())) {
    // Blocks grow by doubling, so a folder filled out of order costs at most
    // about twice its records, and a walk of its blocks stays short.
    const uint32_t leaves = std::min<uint32_t>(last ? last->Cap * 2 : 4, TLeafChunk::kMaxLeaves);
    const uint32_t names = uint32_t(std::min<size_t>(std::max<size_t>(size_t(leaves) * 24, name.size()),
                                                     TLeafChunk::kMaxNameBytes));
    TLeafChunk* c = TLeafChunk::Create(arena, dir, leaves, names);
    if (last)
      last->Next = c;
    else
      l.FFirst = c;
    last = c;
  }
  TFileLeaf* f = last->Add(name, size, time, ext, disk, arena);
  if (f->HasLinks()) links.push_back({f, disk.Device, disk.Inode, disk.Links});
  ++l.FCount;
  dir->TotalFiles += 1;
  dir->TotalSize += size;
  return f;
}

void TLeafStaging::Add(std::string_view name, int64_t size, TFileTime time, const TExtKey* ext,
                       const TFileDisk& disk) {
  name = name.substr(0, kMaxStoredName);
  FItems.push_back({size, time, ext, uint32_t(FNames.size()), uint32_t(name.size()), disk});
  FNames.append(name);
}

void TLeafStaging::WriteTo(TDirNode* dir, TArenaCursor& arena, std::vector<TLinkRecord>& links) {
  size_t i = 0;
  while (i < FItems.size()) {
    // As many as one block takes; almost always all of them.
    size_t n = 0, names = 0;
    while (i + n < FItems.size() && n < TLeafChunk::kMaxLeaves &&
           names + FItems[i + n].NameLen <= TLeafChunk::kMaxNameBytes)
      names += FItems[i + n++].NameLen;
    TLeafChunk* c = TLeafChunk::Create(arena, dir, uint32_t(n), uint32_t(names));
    for (size_t k = 0; k < n; ++k) {
      const TStaged& s = FItems[i + k];
      TFileLeaf* f = c->Add(std::string_view(FNames).substr(s.NameStart, s.NameLen), s.Size, s.Time, s.Ext, s.Disk, arena);
      if (f->HasLinks()) links.push_back({f, s.Disk.Device, s.Disk.Inode, s.Disk.Links});
    }
    TTreeWriter::AppendChunk(dir, c);
    i += n;
  }
  FItems.clear();
  FNames.clear();
}

}  // namespace vd
