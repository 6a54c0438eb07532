// Pieces of the Win32 layer that tests reach directly: what a listed entry is,
// judged by its attributes alone, and the removal of one listed entry.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace vd::platform::win32 {

// Reparse points (junctions, symbolic links, mount points) are skipped whether
// they stand for a folder or a file.
TEntryKind KindOfAttributes(uint32_t attributes);

// Removes `path` as its listing described it: a reparse point as the link
// itself, a real folder with its contents first. False at the first refusal.
bool RemoveListedEntry(const std::wstring& path, uint32_t attributes);

}  // namespace vd::platform::win32
