#include "core/layout/HashColor.h"

namespace vd {

TColor HashColor(std::string_view s) {
  uint32_t h = 0x811C9DC5u;
  auto mix = [&h](uint32_t unit) { h = (h ^ unit) * 0x01000193u; };
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    uint32_t cp = 0, min = 0;
    if (b0 < 0x80) { mix(b0); ++i; continue; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1Fu; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0Fu; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07u; min = 0x10000; }
    bool ok = len != 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    // Surrogate code points arrive here only from WTF-8 (an unpaired surrogate
    // of a Windows name); they are one UTF-16 unit, as the file system had it.
    if (ok && (cp < min || cp > 0x10FFFF)) ok = false;
    if (!ok) { mix(b0); ++i; continue; }
    if (cp >= 0x10000) {
      mix(0xD800u + ((cp - 0x10000) >> 10));
      mix(0xDC00u + ((cp - 0x10000) & 0x3FFu));
    } else {
      mix(cp);
    }
    i += len;
  }
  return (h & 0xFFFFFFu) | 0x202020u;
}

}  // namespace vd
