// Date-time values and their locale texts.
//
// A date-time value is a double: the whole part counts days from
// 30 December 1899, the fraction is the time of day (0.5 = noon).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace dormix {

using TDateTime = double;

constexpr double kMsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

// The current local wall-clock time to the millisecond, or the value of the
// clock installed with SetClockForTesting.
TDateTime Now();

// Replaces the clock read by Now(); an empty function restores the real clock.
void SetClockForTesting(std::function<TDateTime()> clock);

// Calendar conversions (proleptic Gregorian, local wall-clock fields).
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
struct DateTimeFields {
    int year, month, day, hour, minute, second, millisecond;
};
// The value is first rounded to the nearest millisecond.
DateTimeFields DecodeDateTime(TDateTime value);

// Whole part (date) and fraction (time of day), both by truncation. Before
// day 0 the time of day is stored as a negative fraction (-1.25 = 29 December
// 1899 06:00); TimeOf returns its size, so it is always in [0, 1).
double DateOf(TDateTime value);
double TimeOf(TDateTime value);

// Monday = 1 ... Sunday = 7; day 0 (30 December 1899) is a Saturday.
int DayOfTheWeek(TDateTime value);

// Whole seconds between two values as plain numbers: |a - b| * 86400,
// truncated toward zero, as a signed 32-bit count (saturated). The difference
// is rounded to the millisecond first, so 00:00 to 04:00 counts 14400 and not
// 14399 (4/24 of a day has no exact binary fraction). NaN counts 0.
std::int32_t SecondsBetween(TDateTime a, TDateTime b);

// Whole seconds between two local wall-clock values measured on the real time
// line: both are turned into instants under the local time-zone rules first,
// so a daylight-saving change between them is taken into account.
std::int32_t RealSecondsBetween(TDateTime a, TDateTime b);

// Milliseconds since the Unix epoch of a local wall-clock value, under the
// local time-zone rules (TZ).
std::int64_t LocalToEpochMs(TDateTime value);
TDateTime EpochMsToLocal(std::int64_t epochMs);

// Locale texts from the calling thread's LC_TIME (setlocale/uselocale): short
// date = nl_langinfo(D_FMT), long time = nl_langinfo(T_FMT). Values are rounded
// to the millisecond first; the milliseconds are never shown. NaN, infinities
// and values more than 1e10 days from day 0 write an empty text.
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
// The short date, then one space and the long time unless the time's hours,
// minutes and seconds are all zero.
std::string DateTimeToStr(TDateTime value);
// Reads a date optionally followed by one space and a time, or a time alone,
// in the same formats. Returns false when the text does not convert.
bool TryStrToDateTime(const std::string& text, TDateTime& value);

} // namespace dormix
