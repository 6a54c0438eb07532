#include "core/VersionCheck.h"

#include <charconv>
#include <limits>

namespace vd {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

bool ParseWholeNumber(std::string_view s, int64_t& out) {
  if (s.empty()) return false;
  bool negative = false;
  if (s.front() == '+' || s.front() == '-') {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  // The versions are 32-bit integers on the site's side; anything wider is not
  // a version but garbage.
  const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                  : uint64_t(std::numeric_limits<int32_t>::max());
  if (value > limit) return false;
  out = negative ? -int64_t(value) : int64_t(value);
  return true;
}

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      ++i;
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void RemoveEmptyLines(std::vector<std::string>& lines) {
  std::erase_if(lines, [](const std::string& l) { return l.empty(); });
}

bool ParseVersionLine(std::string_view line, TVersionLine& out) {
  const size_t slash = line.find('/');
  if (slash == std::string_view::npos) return false;
  TVersionLine v;
  if (!ParseWholeNumber(line.substr(0, slash), v.Latest)) return false;
  if (!ParseWholeNumber(line.substr(slash + 1), v.Minimum)) return false;
  v.LatestText = std::string(line.substr(0, slash));
  out = std::move(v);
  return true;
}

std::string DisplayVersion(std::string_view text) {
  std::string s(text);
  s.insert(s.empty() ? 0 : s.size() - 1, 1, '.');
  return s;
}

TUpdateKind DecideUpdate(const TVersionLine& v) {
  if (v.Minimum > kProgramVersion) return TUpdateKind::Mandatory;
  if (v.Latest > kProgramVersion) return TUpdateKind::Optional;
  return TUpdateKind::None;
}

std::string BuildNewVersionMessage(TUpdateKind kind, std::string_view displayVersion,
                                   const std::vector<std::string>& changes) {
  std::string m;
  if (kind == TUpdateKind::Mandatory) {
    m.append("This version of the software is out of date. You must download the current version ");
    m.append(displayVersion);
    m.append(" to continue using the software.");
  } else if (kind == TUpdateKind::Optional) {
    m.append("The new version ");
    m.append(displayVersion);
    m.append(" is available");
  } else {
    return m;
  }
  m.append(kCrLf).append(kCrLf).append("What's new:").append(kCrLf);
  for (const std::string& line : changes) m.append(line).append(kCrLf);
  return m;
}

TUpdateOffer EvaluateVersionFiles(std::string_view versionFile, std::string_view changesFile) {
  TUpdateOffer offer;
  const std::vector<std::string> versionLines = SplitTextLines(versionFile);
  if (versionLines.empty()) return offer;
  std::vector<std::string> changes = SplitTextLines(changesFile);
  RemoveEmptyLines(changes);
  TVersionLine v;
  if (!ParseVersionLine(versionLines.front(), v)) return offer;
  const TUpdateKind kind = DecideUpdate(v);
  if (kind == TUpdateKind::None) return offer;
  offer.Kind = kind;
  offer.Message = BuildNewVersionMessage(kind, DisplayVersion(v.LatestText), changes);
  return offer;
}

}  // namespace vd
