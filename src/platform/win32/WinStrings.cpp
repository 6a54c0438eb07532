#include "WinStrings.h"

#include <cstdint>

#include "platform/Utf8.h"

namespace vd::platform::win32 {

namespace {

// Decodes the sequence at s[i] (surrogate code points allowed); 0 when invalid.
size_t Decode(std::string_view s, size_t i, uint32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len;
  uint32_t min;
  if (b0 < 0x80) { cp = b0; return 1; }
  if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1Fu; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0Fu; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07u; min = 0x10000; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF) return 0;
  return len;
}
}  // namespace

void AppendWtf8(const wchar_t* s, size_t n, std::string& out) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = uint16_t(s[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      const uint32_t lo = uint16_t(s[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(u, out);
  }
}

std::string ToUtf8(std::wstring_view s) {
  std::string out;
  out.reserve(s.size());
  AppendWtf8(s.data(), s.size(), out);
  return out;
}

size_t Wtf8SequenceLength(std::string_view s, size_t i) {
  uint32_t cp;
  return Decode(s, i, cp);
}

std::wstring ToWide(std::string_view s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    uint32_t cp;
    const size_t len = Decode(s, i, cp);
    if (len == 0) {
      out.push_back(wchar_t(0xFFFD));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out.push_back(wchar_t(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(wchar_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(wchar_t(cp));
    }
    i += len;
  }
  return out;
}

std::wstring ToApiPath(std::wstring path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  for (auto& c : path)
    if (c == L'/') c = L'\\';  // the prefix turns off the API's own normalisation
  // "." and ".." parts need that normalisation: such a path goes as it is.
  const std::wstring probe = path + L"\\";
  if (probe.find(L"\\.\\") != std::wstring::npos || probe.find(L"\\..\\") != std::wstring::npos) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  if (path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'.' && path[2] != L'?')
    return L"\\\\?\\UNC\\" + path.substr(2);
  return path;  // relative, drive-relative or device paths stay as they are
}

}  // namespace vd::platform::win32
