// Helpers for the treemap tests: colours written as #RRGGBB and tile look-ups.
#pragma once

#include <cstdint>

#include "core/layout/HashColor.h"
#include "core/layout/TreemapRect.h"

namespace vdtest {

// #RRGGBB as written in a design, turned into the 0x00BBGGRR layout.
constexpr vd::TColor Rgb(uint32_t rrggbb) {
  return vd::RGBColor(uint8_t(rrggbb >> 16), uint8_t(rrggbb >> 8), uint8_t(rrggbb));
}

inline vd::TPoint Pt(int32_t x, int32_t y) { return vd::TPoint{x, y}; }

}  // namespace vdtest
