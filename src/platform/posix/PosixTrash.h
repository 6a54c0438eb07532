// Pieces of the freedesktop trash that tests reach directly.
#pragma once

#include <string>
#include <string_view>

namespace vd::platform::posix {

// The Path= value of a trash info file: the raw bytes, escaped as in URLs
// (every byte but letters, digits, "-_.~/" as %XX), so any name survives.
std::string TrashPathEncode(std::string_view raw);

// The name an item takes in the trash at the given attempt (1, 2, ...): its
// own name, then with ".2", ".3" ... before its extension, shortened where
// needed so that the info file's name fits the file system too.
std::string TrashEntryName(std::string_view name, unsigned attempt);

}  // namespace vd::platform::posix
