#include "core/scan/FileMask.h"

#include <cstdint>

namespace vd {

namespace {
constexpr int kMaxSkipSegments = 30;

char32_t AsciiUpper(char32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

std::string InvalidMaskMessage(const std::string& mask, int position) {
  return "'" + mask + "' is an invalid mask at (" + std::to_string(position) + ")";
}
}  // namespace

EMaskException::EMaskException(const std::string& mask, int position)
    : EError("EMaskException", InvalidMaskMessage(mask, position)) {}

std::u32string DecodeLenientUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    char32_t cp = 0, min = 0;
    if (b0 < 0x80) { out.push_back(b0); ++i; continue; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    bool ok = len != 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) { out.push_back(b0); ++i; continue; }
    out.push_back(cp);
    i += len;
  }
  return out;
}

TFileMask::TFileMask(std::string_view maskText) {
  const std::string mask(maskText);
  const std::u32string m = DecodeLenientUtf8(maskText);
  bool skipTo = false;
  int cards = 0;
  size_t p = 0;  // index into m; reported positions are 1-based
  auto fail = [&](size_t at) { throw EMaskException(mask, int(at) + 1); };
  auto push = [&](State s, size_t at) {
    s.SkipTo = skipTo;
    if (skipTo && ++cards > kMaxSkipSegments) fail(at);
    FStates.push_back(s);
    skipTo = false;
  };
  while (p < m.size()) {
    const char32_t c = m[p];
    if (c == '*') {
      skipTo = true;
    } else if (c == '?') {
      State s;
      s.K = Kind::Any;
      push(s, p);
    } else if (c == '[') {
      State s;
      s.K = Kind::Set;
      ++p;
      if (p < m.size() && m[p] == '!') {
        s.Negate = true;
        ++p;
      }
      bool any = false;
      char32_t last = 0;
      bool haveLast = false;
      while (p < m.size() && m[p] != ']') {
        if (m[p] == '-') {
          if (!haveLast) fail(p);  // a range needs a start
          ++p;
          if (p >= m.size() || m[p] == ']') fail(p);  // ... and an end
          const char32_t hi = AsciiUpper(m[p]);
          for (char32_t x = last; x <= hi && x < 256; ++x) {
            s.Set[x >> 3] |= uint8_t(1u << (x & 7));
            any = true;
          }
          haveLast = false;
        } else {
          last = AsciiUpper(m[p]);
          haveLast = true;
          if (last < 256) s.Set[last >> 3] |= uint8_t(1u << (last & 7));
          any = true;
        }
        ++p;
      }
      if (p >= m.size() || !any) fail(p);  // never closed, or empty
      push(s, p);
    } else {
      State s;
      s.K = Kind::Literal;
      s.Literal = AsciiUpper(c);
      push(s, p);
    }
    ++p;
  }
  FTrailingStar = skipTo;
  if (skipTo && ++cards > kMaxSkipSegments) fail(p);
}

bool TFileMask::StateMatches(const State& s, char32_t c) const {
  switch (s.K) {
    case Kind::Any:
      return true;
    case Kind::Literal:
      return AsciiUpper(c) == s.Literal;
    case Kind::Set:
      return s.InSet(AsciiUpper(c)) != s.Negate;
  }
  return false;
}

bool TFileMask::Matches(std::string_view textBytes) const {
  const std::u32string text = DecodeLenientUtf8(textBytes);
  // Classic glob walk: on a mismatch, let the last "*" absorb one more character.
  const size_t n = text.size(), m = FStates.size();
  size_t i = 0, j = 0;
  bool atStar = j < m && FStates[j].SkipTo;  // the "*" before state j is still to be taken
  size_t starJ = SIZE_MAX, starI = 0;
  while (i < n) {
    if (atStar) {
      starJ = j;
      starI = i;
      atStar = false;
      continue;
    }
    if (j < m && StateMatches(FStates[j], text[i])) {
      ++i;
      ++j;
      atStar = j < m && FStates[j].SkipTo;
      continue;
    }
    if (j == m && FTrailingStar) return true;
    if (starJ == SIZE_MAX) return false;
    j = starJ;
    i = ++starI;
  }
  // Text used up: every state must have been matched (a "*" may match nothing).
  return j == m;
}

}  // namespace vd
