// The order the views show folders in: every folder's sub-folders largest
// first.
#pragma once

#include "core/scan/ScanModel.h"

namespace vd {

// Orders the sub-folders of root and of every folder below it by TotalSize,
// largest first. Stable: equal folders keep their order, so sorting again
// never swaps rows that a view keeps. Inside a TPumpScope the new orders are
// made beside the caller, apart from the tree (what the window paints
// meanwhile may walk it), and put in place at the end in one go.
void SortSubfoldersBySize(TDirNode* root);

}  // namespace vd
