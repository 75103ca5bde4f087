#include "DateTime.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <utility>
#include <vector>

namespace dormix {

namespace {

// Serial day of 1 January 1970.
constexpr std::int64_t kUnixEpochDay = 25569;
constexpr std::int64_t kMsPerDayInt = 86400000;
// Values further than this from day 0 (about 27 million years) have no
// calendar fields here: they decode as day 0 and write as an empty text.
constexpr double kMaxDays = 1e10;

std::function<TDateTime()>& TestClock() {
    static std::function<TDateTime()> clock;
    return clock;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Days since 1 January 1970 of a proleptic Gregorian date (month 1..12; the
// day may run over the month's end and carries into the next).
std::int64_t DaysFromCivil(std::int64_t y, int m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = m > 2 ? m - 3 : m + 9;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month;
    int day;
};

Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

bool IsLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(std::int64_t y, int m) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12)
        return 0;
    return (m == 2 && IsLeap(y)) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// A serial day and a time of day in milliseconds as a date-time value. Days
// before day 0 carry their time of day as a negative fraction, so that the
// truncated whole part is still the date.
TDateTime FromDayAndMs(std::int64_t day, std::int64_t msOfDay) {
    const double fraction = static_cast<double>(msOfDay) / kMsPerDay;
    return day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
}

struct DayAndMs {
    bool valid;
    std::int64_t day; // serial day, 0 = 30 December 1899
    std::int64_t ms;  // 0 .. 86399999
};

// Splits a value into its date and its time of day rounded to the millisecond
// (a time that rounds up to midnight moves to the next calendar day).
DayAndMs Split(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > kMaxDays)
        return {false, 0, 0};
    const double whole = std::trunc(value);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDayInt) {
        ms -= kMsPerDayInt;
        ++day;
    }
    return {true, day, ms};
}

DateTimeFields FieldsOf(std::int64_t day, std::int64_t ms) {
    const Civil c = CivilFromDays(day - kUnixEpochDay);
    DateTimeFields f{};
    f.year = static_cast<int>(c.year);
    f.month = c.month;
    f.day = c.day;
    f.hour = static_cast<int>(ms / 3600000);
    f.minute = static_cast<int>(ms / 60000 % 60);
    f.second = static_cast<int>(ms / 1000 % 60);
    f.millisecond = static_cast<int>(ms % 1000);
    return f;
}

int WeekdayOfDay(std::int64_t day) {
    // Day 0 is a Saturday (6).
    std::int64_t r = day % 7;
    if (r < 0)
        r += 7;
    return static_cast<int>((r + 5) % 7) + 1;
}

std::tm TmOf(std::int64_t day, std::int64_t ms) {
    const DateTimeFields f = FieldsOf(day, ms);
    std::tm t{};
    t.tm_year = f.year - 1900;
    t.tm_mon = f.month - 1;
    t.tm_mday = f.day;
    t.tm_hour = f.hour;
    t.tm_min = f.minute;
    t.tm_sec = f.second;
    t.tm_wday = WeekdayOfDay(day) % 7; // Sunday = 0
    const std::int64_t jan1 = DaysFromCivil(f.year, 1, 1) + kUnixEpochDay;
    t.tm_yday = static_cast<int>(day - jan1);
    t.tm_isdst = 0;
    return t;
}

std::string Format(const char* format, const std::tm& t) {
    if (format == nullptr || *format == '\0')
        return {};
    std::array<char, 256> small{};
    std::size_t n = std::strftime(small.data(), small.size(), format, &t);
    if (n > 0)
        return std::string(small.data(), n);
    std::vector<char> big(8192);
    n = std::strftime(big.data(), big.size(), format, &t);
    return std::string(big.data(), n);
}

const char* DateFormat() {
    return nl_langinfo(D_FMT);
}
const char* TimeFormat() {
    return nl_langinfo(T_FMT);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Parses [begin, end) completely with the format. Fields not in the format
// stay as they were in t.
bool ParseAll(const char* begin, const char* end, const char* format, std::tm& t) {
    if (format == nullptr || *format == '\0' || begin == end)
        return false;
    const char* rest = strptime(begin, format, &t);
    return rest == end;
}

bool ValidDate(const std::tm& t) {
    const std::int64_t year = static_cast<std::int64_t>(t.tm_year) + 1900;
    const int month = t.tm_mon + 1;
    return month >= 1 && month <= 12 && t.tm_mday >= 1 && t.tm_mday <= DaysInMonth(year, month);
}

bool ValidTime(const std::tm& t) {
    return t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_min >= 0 && t.tm_min <= 59 && t.tm_sec >= 0 &&
           t.tm_sec <= 59;
}

std::int64_t MsOfTm(const std::tm& t) {
    return ((static_cast<std::int64_t>(t.tm_hour) * 60 + t.tm_min) * 60 + t.tm_sec) * 1000;
}

std::int64_t DayOfTm(const std::tm& t) {
    return DaysFromCivil(static_cast<std::int64_t>(t.tm_year) + 1900, t.tm_mon + 1, t.tm_mday) +
           kUnixEpochDay;
}

// glibc's mktime re-reads the zone rules (a stat of /etc/localtime) on every
// call, which made selecting among thousands of alarms slow, while
// localtime_r never does. The rules are read again at most once a second, so
// a change of the machine's zone is still followed.
void RefreshTimeZone() {
    static std::int64_t lastMs = INT64_MIN;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    const std::int64_t nowMs = static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    if (lastMs == INT64_MIN || nowMs - lastMs >= 1000) {
        tzset();
        lastMs = nowMs;
    }
}

// The zone's offset from UTC in seconds at an instant; 0 where the zone code
// cannot say.
long OffsetAt(std::int64_t epochSeconds) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return 0;
    return local.tm_gmtoff;
}

} // namespace

TDateTime Now() {
    if (const auto& clock = TestClock())
        return clock();
    RefreshTimeZone();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return EpochMsToLocal(static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

void SetClockForTesting(std::function<TDateTime()> clock) {
    TestClock() = std::move(clock);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    // Out-of-range fields carry over (month 13 = January of the next year).
    const std::int64_t monthIndex = static_cast<std::int64_t>(month) - 1;
    const std::int64_t y = year + FloorDiv(monthIndex, 12);
    const int m = static_cast<int>(monthIndex - FloorDiv(monthIndex, 12) * 12) + 1;
    std::int64_t serial = DaysFromCivil(y, m, day) + kUnixEpochDay;
    std::int64_t ms =
        ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    serial += FloorDiv(ms, kMsPerDayInt);
    ms -= FloorDiv(ms, kMsPerDayInt) * kMsPerDayInt;
    return FromDayAndMs(serial, ms);
}

DateTimeFields DecodeDateTime(TDateTime value) {
    const DayAndMs s = Split(value);
    return FieldsOf(s.day, s.ms);
}

double DateOf(TDateTime value) {
    return std::trunc(value);
}

double TimeOf(TDateTime value) {
    // The fraction; before day 0 it is stored negative and read as its size.
    return std::fabs(value - std::trunc(value));
}

int DayOfTheWeek(TDateTime value) {
    if (!std::isfinite(value))
        return WeekdayOfDay(0);
    const double r = std::fmod(std::trunc(value), 7.0);
    return WeekdayOfDay(static_cast<std::int64_t>(r));
}

std::int32_t SecondsBetween(TDateTime a, TDateTime b) {
    // The difference is rounded to the millisecond before the whole seconds are
    // counted, so that 00:00 to 04:00 is 14400 seconds and not 14399 because
    // 4/24 has no exact binary fraction; below that, the count truncates.
    const double ms = std::round(std::fabs(a - b) * kMsPerDay);
    if (std::isnan(ms))
        return 0;
    if (ms >= static_cast<double>(INT32_MAX) * 1000.0)
        return INT32_MAX;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(ms) / 1000);
}

std::int32_t RealSecondsBetween(TDateTime a, TDateTime b) {
    const std::int64_t ea = LocalToEpochMs(a);
    const std::int64_t eb = LocalToEpochMs(b);
    const std::int64_t diff = ea > eb ? ea - eb : eb - ea;
    const std::int64_t seconds = diff / 1000;
    return seconds >= INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(seconds);
}

std::int64_t LocalToEpochMs(TDateTime value) {
    const DayAndMs s = Split(value);
    if (!s.valid)
        return 0;
    RefreshTimeZone();
    // The wall-clock fields counted as if they were UTC, then moved by the
    // zone's offset at that instant. Around a change of offset the first guess
    // can use the wrong side's offset, so it is checked once more.
    const std::int64_t local = (s.day - kUnixEpochDay) * 86400 + s.ms / 1000;
    const long before = OffsetAt(local);
    std::int64_t seconds = local - before;
    const long after = OffsetAt(seconds);
    if (after != before) {
        const std::int64_t second = local - after;
        // A wall-clock time that the change skipped (clocks going forward)
        // counts with the offset in force before it, as mktime does.
        seconds = OffsetAt(second) == after ? second : local - std::min(before, after);
    }
    return seconds * 1000 + s.ms % 1000;
}

TDateTime EpochMsToLocal(std::int64_t epochMs) {
    const std::int64_t seconds = FloorDiv(epochMs, 1000);
    const std::int64_t ms = epochMs - seconds * 1000;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return static_cast<double>(kUnixEpochDay) + static_cast<double>(epochMs) / kMsPerDay;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                          static_cast<int>(ms));
}

std::string DateToStr(TDateTime value) {
    const DayAndMs s = Split(value);
    if (!s.valid)
        return {};
    return Format(DateFormat(), TmOf(s.day, s.ms));
}

std::string TimeToStr(TDateTime value) {
    const DayAndMs s = Split(value);
    if (!s.valid)
        return {};
    return Format(TimeFormat(), TmOf(s.day, s.ms));
}

std::string DateTimeToStr(TDateTime value) {
    const DayAndMs s = Split(value);
    if (!s.valid)
        return {};
    const std::tm t = TmOf(s.day, s.ms);
    std::string text = Format(DateFormat(), t);
    if (s.ms / 1000 != 0) {
        text += ' ';
        text += Format(TimeFormat(), t);
    }
    return text;
}

bool TryStrToDateTime(const std::string& text, TDateTime& value) {
    if (text.empty() || std::memchr(text.data(), '\0', text.size()) != nullptr ||
        IsBlank(text.front()))
        return false;
    const char* begin = text.c_str();
    const char* end = begin + text.size();

    // A date, alone or followed by exactly one space and a time.
    std::tm date{};
    const char* dateFormat = DateFormat();
    if (dateFormat != nullptr && *dateFormat != '\0') {
        const char* rest = strptime(begin, dateFormat, &date);
        if (rest != nullptr && ValidDate(date)) {
            if (rest == end) {
                value = FromDayAndMs(DayOfTm(date), 0);
                return true;
            }
            std::tm time{};
            if (rest[0] == ' ' && rest + 1 < end && !IsBlank(rest[1]) &&
                ParseAll(rest + 1, end, TimeFormat(), time) && ValidTime(time)) {
                value = FromDayAndMs(DayOfTm(date), MsOfTm(time));
                return true;
            }
        }
    }
    // A time alone: on day 0.
    std::tm time{};
    if (ParseAll(begin, end, TimeFormat(), time) && ValidTime(time)) {
        value = FromDayAndMs(0, MsOfTm(time));
        return true;
    }
    return false;
}

} // namespace dormix
