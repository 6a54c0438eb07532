// Plain value types shared by the platform layer and the core.
#pragma once

#include <cstdint>

namespace vd {

// UTC file time: 100-ns ticks since 1601-01-01, split as the file system reports it.
struct TFileTime {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;

  uint64_t Ticks() const { return (uint64_t(dwHighDateTime) << 32) | dwLowDateTime; }
  static TFileTime FromTicks(uint64_t t) { return {uint32_t(t), uint32_t(t >> 32)}; }
  bool IsZero() const { return dwLowDateTime == 0 && dwHighDateTime == 0; }
};

// Why a folder's listing is missing or incomplete.
enum class TReadError : uint8_t { None, Denied, IoError, Vanished, Other };

// Calendar fields of a local time, milliseconds included.
struct TSystemTime {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
};

}  // namespace vd
