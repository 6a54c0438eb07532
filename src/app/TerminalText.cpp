#include "app/TerminalText.h"

#include <cstdint>

namespace vd::app {

namespace {

void AppendHex(std::string& out, unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

// The length of the UTF-8 sequence at s[i], or 0 when it is not a valid one.
size_t SequenceAt(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

std::string TerminalText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const size_t n = SequenceAt(bytes, i);
    if (n == 0) {
      AppendHex(out, c);
      ++i;
    } else if (n == 1 && (c < 0x20 || c == 0x7F)) {
      switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: AppendHex(out, c);
      }
      ++i;
    } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
      AppendHex(out, c);
      AppendHex(out, static_cast<unsigned char>(bytes[i + 1]));
      i += 2;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

}  // namespace vd::app
