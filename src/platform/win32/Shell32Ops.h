// The Windows shell operations the program's actions use: opening items,
// Explorer with a selected item, properties windows, the recycle bin and
// permanent deletion. Plain Win32; paths are UTF-8 as everywhere in the core.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vd::platform::win32 {

// Opens the item with its associated program, or opens the folder ("open").
void ShellOpen(const std::string& path);
// Starts a program or document with the shell's default verb (the installer).
void ShellStart(const std::string& path);
// Explorer showing the folder that holds `path`, with `path` selected.
void ExplorerSelect(const std::string& path);
// Explorer showing the folder `path` itself.
void ExplorerOpenFolder(const std::string& path);
// The shell's properties window of the item; `ownerWindow` is an HWND or null.
void ShowProperties(void* ownerWindow, const std::string& path);

// Opens the folder that contains `path` in the shell's browser with the item
// selected. True on success.
bool OpenFolderAndSelect(const std::string& path);

// The argument block of one SHFileOperationW delete: each path followed by a
// NUL, the list ended by one more NUL. Empty paths are left out.
std::wstring BuildDoubleNulList(const std::vector<std::string>& paths);
// The flags of the delete: silent, no confirmation, no error window, and
// undo (the recycle bin) when asked for.
unsigned ShellDeleteFlags(bool toRecycleBin);
// One shell delete of `paths`; true when it returned 0 and nothing was aborted.
bool ShellDeleteOnce(const std::vector<std::string>& paths, bool toRecycleBin);

// True when every path is one the shell takes literally: fully qualified,
// below a drive or share root, and free of the characters SHFileOperationW
// reads as wildcards.
bool AreSafeShellPaths(const std::vector<std::string>& paths);

// Deletes (or moves to the recycle bin) every path of one user request. Each
// distinct path is handed to the shell once; a path that an earlier one of the
// same request already took with it counts as done; the first failure stops
// the request. A request with an unsafe path (above) fails before anything is
// done.
bool ShellDeletePaths(const std::vector<std::string>& paths, bool toRecycleBin);

}  // namespace vd::platform::win32
