// Pieces of the Win32 layer that tests reach directly: what a listed entry is,
// judged by its attributes alone, the removal of one listed entry, and the
// look for mounted volumes that deleting and the recycle bin refuse.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace vd::platform::win32 {

// Reparse points (junctions, symbolic links, mount points) are skipped whether
// they stand for a folder or a file.
TEntryKind KindOfAttributes(uint32_t attributes);

// Removes `path` as its listing described it: a reparse point as the link
// itself, a real folder with its contents first, at any depth. False at the
// first refusal.
bool RemoveListedEntry(const std::wstring& path, uint32_t attributes);

// True when `path` mounts a volume or holds one anywhere below it (junctions
// and links are not entered), or when that cannot be established.
bool HoldsMountPoint(const std::wstring& path);
// What counts as a volume mount point, by path, attributes and reparse tag.
// Tests replace it: wine cannot mount a volume on a folder.
std::function<bool(const std::wstring& path, uint32_t attributes, uint32_t reparseTag)>& MountPointTest();

}  // namespace vd::platform::win32
