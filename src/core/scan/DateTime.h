// TDateTime: a local date-time as days since 1899-12-30, the fraction the time of
// day; 0 means "no time".
#pragma once

#include "platform/PlatformTypes.h"

namespace vd {

using TDateTime = double;

bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out);
// Date plus time of day; before 1899-12-30 the time is subtracted, as the days
// count backwards there.
bool TryEncodeDateTime(const TSystemTime& st, TDateTime& out);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0);
// Splits a date-time into calendar fields (millisecond precision, rounded).
TSystemTime DecodeDateTime(TDateTime dt);

// UTC file time to local TDateTime through the platform's local time; 0 for a
// zero file time or one that cannot be converted.
TDateTime FileTimeToLocalDateTime(TFileTime ft);

}  // namespace vd
