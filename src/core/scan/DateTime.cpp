#include "core/scan/DateTime.h"

#include <cmath>
#include <cstdint>

#include "platform/Platform.h"

namespace vd {

namespace {
bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}
// Days from 0001-01-01 to the given date (proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;  // days since 0000-03-01
}
const int64_t kDelphiEpoch = DaysFromCivil(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  out = double(DaysFromCivil(year, month, day) - kDelphiEpoch);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999)
    return false;
  out = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / kMsPerDay;
  return true;
}

bool TryEncodeDateTime(const TSystemTime& st, TDateTime& out) {
  TDateTime d, t;
  if (!TryEncodeDate(st.Year, st.Month, st.Day, d) || !TryEncodeTime(st.Hour, st.Minute, st.Second, st.Milliseconds, t))
    return false;
  out = d < 0 ? d - t : d + t;
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  TSystemTime st{year, month, day, hour, minute, second, ms};
  TDateTime dt = 0;
  TryEncodeDateTime(st, dt);
  return dt;
}

TSystemTime DecodeDateTime(TDateTime dt) {
  // Whole milliseconds since the epoch; the sign convention mirrors TryEncodeDateTime.
  double days = std::trunc(dt);
  double frac = std::fabs(dt - days);
  int64_t ms = int64_t(std::llround(frac * kMsPerDay));
  if (ms >= int64_t(kMsPerDay)) {
    ms -= int64_t(kMsPerDay);
    days += dt < 0 ? -1 : 1;
  }
  // civil_from_days (Howard Hinnant), z counted from 0000-03-01 like DaysFromCivil
  const int64_t z = int64_t(days) + kDelphiEpoch;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  TSystemTime st;
  st.Day = int(doy - (153 * mp + 2) / 5 + 1);
  st.Month = int(mp < 10 ? mp + 3 : mp - 9);
  st.Year = int(yoe + era * 400 + (st.Month <= 2));
  st.Hour = int(ms / 3600000);
  st.Minute = int(ms / 60000 % 60);
  st.Second = int(ms / 1000 % 60);
  st.Milliseconds = int(ms % 1000);
  return st;
}

TDateTime FileTimeToLocalDateTime(TFileTime ft) {
  if (ft.IsZero()) return 0;
  TSystemTime st;
  if (!platform::FileTimeToLocalSystemTime(ft, st)) return 0;
  TDateTime dt;
  if (!TryEncodeDateTime(st, dt)) return 0;
  return dt;
}

}  // namespace vd
