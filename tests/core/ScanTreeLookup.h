// Finding a scanned file or folder by name among a folder's own entries.
#pragma once

#include <string_view>

#include "core/scan/ScanModel.h"

namespace vdtest {

inline const vd::TFileLeaf* FindLeaf(const vd::TDirNode* n, std::string_view name) {
  for (const vd::TFileLeaf* f : n->Leaves)
    if (f->Name() == name) return f;
  return nullptr;
}

inline const vd::TDirNode* FindChild(const vd::TDirNode* n, std::string_view name) {
  for (const vd::TDirNode* c : n->Children)
    if (c->Name() == name) return c;
  return nullptr;
}

}  // namespace vdtest
