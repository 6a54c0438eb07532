// What the start-up update check decides from the two text files on the
// vendor's site. Pure text work; fetching the files and showing the dialog
// live in the GUI.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vd {

// This program's own version in the site's scheme: 10 stands for 1.0.
inline constexpr int64_t kProgramVersion = 10;

// The first line of the version file, "latest/minimum".
struct TVersionLine {
  int64_t Latest = 0;
  int64_t Minimum = 0;
  std::string LatestText;  // the text before the slash, exactly as written
};

enum class TUpdateKind : uint8_t { None, Optional, Mandatory };

struct TUpdateOffer {
  TUpdateKind Kind = TUpdateKind::None;
  std::string Message;  // what the dialog shows; empty for None
};

// Splits UTF-8 text into lines at CR LF, LF or CR. A byte-order mark at the
// start is skipped; a line break at the very end does not start another line,
// so empty text has no lines at all.
std::vector<std::string> SplitTextLines(std::string_view text);

// Removes the lines that are completely empty; a line of spaces stays.
void RemoveEmptyLines(std::vector<std::string>& lines);

// Splits at the first "/" and reads both parts as whole decimal numbers (an
// optional sign, then digits, within 32 bits). False for a line without a
// slash or with a part that is not such a number.
bool ParseVersionLine(std::string_view line, TVersionLine& out);

// The version as users read it: a point before the last character
// ("11" -> "1.1", "123" -> "12.3", "9" -> ".9").
std::string DisplayVersion(std::string_view text);

// The decision: mandatory when the minimum is above this version (the
// minimum alone decides), optional when only the latest is, otherwise none.
TUpdateKind DecideUpdate(const TVersionLine& v);

// The dialog's text: the sentence for `kind` naming the latest version, a
// blank line, "What's new:" and every changes line, each line ended by CR LF.
std::string BuildNewVersionMessage(TUpdateKind kind, std::string_view displayVersion,
                                   const std::vector<std::string>& changes);

// The whole check on the two downloaded files. Anything malformed (no first
// line, no slash, a part that is not a number) gives None, like a version that
// is not newer.
TUpdateOffer EvaluateVersionFiles(std::string_view versionFile, std::string_view changesFile);

}  // namespace vd
