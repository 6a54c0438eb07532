// Colours: 32-bit 0x00BBGGRR values, and the hash colour that names colour
// extensions, top-level folders and duplicate groups.
#pragma once

#include <cstdint>
#include <string_view>

namespace vd {

using TColor = uint32_t;  // 0x00BBGGRR

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) { return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16); }
constexpr uint8_t RedOf(TColor c) { return uint8_t(c); }
constexpr uint8_t GreenOf(TColor c) { return uint8_t(c >> 8); }
constexpr uint8_t BlueOf(TColor c) { return uint8_t(c >> 16); }

// 32-bit FNV-1a over the text's UTF-16 code units (bytes that are not valid
// UTF-8 count as one unit each), low 24 bits, every channel at least 0x20.
TColor HashColor(std::string_view utf8);

}  // namespace vd
