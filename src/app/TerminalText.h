// Text bound for a terminal. Names come from the file system or from a scan
// file someone else wrote: a newline in one would break a line in two, and an
// escape sequence would act on the terminal (move the cursor, retitle the
// window, recolour what follows) instead of being shown.
#pragma once

#include <string>
#include <string_view>

namespace vd::app {

// `bytes` with every control character written out: \n, \r and \t by their
// names, other C0 controls, DEL and the C1 controls as \xHH (a C1 control
// encoded in UTF-8 as its two bytes), bytes that are not UTF-8 as \xHH too.
// Everything else, a backslash included, stays as it is.
std::string TerminalText(std::string_view bytes);

}  // namespace vd::app
