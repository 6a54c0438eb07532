// UTF-8 (the core's strings) to and from UTF-16 (the Windows API's strings).
// Conversion is WTF-8: an unpaired surrogate in a file name becomes a three-byte
// sequence and comes back as the same code unit, so every name the file system
// gives can be handed back to it.
#pragma once

#include <string>
#include <string_view>

namespace vd::platform::win32 {

void AppendWtf8(const wchar_t* s, size_t n, std::string& out);
std::string ToUtf8(std::wstring_view s);

// Bytes that are not WTF-8 become U+FFFD (no file has such a name).
std::wstring ToWide(std::string_view s);

// Length of the well-formed WTF-8 sequence at s[i], or 0 when the byte there
// does not start one.
size_t Wtf8SequenceLength(std::string_view s, size_t i);

// A fully qualified path with the \\?\ prefix (\\?\UNC\ for a share), so the
// file API takes it as written: beyond MAX_PATH, and with names the plain API
// would alter (a trailing dot or space), as other systems can leave them.
// Paths with "." or ".." parts are left to the API's normalisation.
std::wstring ToApiPath(std::wstring path);

}  // namespace vd::platform::win32
