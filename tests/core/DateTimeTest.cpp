// Date-time values: calendar, weekdays, second counts, time-zone instants and
// the locale texts written and read under real glibc locales.
#include "DateTime.h"
#include "CoreTestSupport.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <optional>

namespace dormix {
namespace {

using test::ScopedLocale;

constexpr double kMs = 1.0 / kMsPerDay;

TEST(DateTime, EncodeKnownSerials) {
    EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDateTime(1899, 12, 31), 1.0);
    EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDateTime(2024, 1, 15), 45306.0);
    EXPECT_EQ(EncodeDateTime(2003, 3, 1), 37681.0);
    EXPECT_EQ(EncodeDateTime(2024, 1, 15, 12), 45306.5);
    EXPECT_EQ(EncodeDateTime(2000, 2, 29, 6), 36585.25);
    // Before day 0 the whole part is still the date; the fraction is the time.
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(EncodeDateTime(1899, 12, 30, 6), 0.25);
}

TEST(DateTime, DecodeRoundsToTheMillisecondAndHandlesOddValues) {
    struct Case {
        double value;
        DateTimeFields expected;
    };
    const Case cases[] = {
        {EncodeDateTime(2024, 1, 17, 7, 0, 0, 123), {2024, 1, 17, 7, 0, 0, 123}},
        {EncodeDateTime(2024, 1, 17, 7) + 0.4 * kMs, {2024, 1, 17, 7, 0, 0, 0}},
        {EncodeDateTime(2024, 1, 17, 23, 59, 59, 999) + 0.6 * kMs, {2024, 1, 18, 0, 0, 0, 0}},
        {-1.25, {1899, 12, 29, 6, 0, 0, 0}},
        {EncodeDateTime(1600, 2, 29, 13, 14, 15), {1600, 2, 29, 13, 14, 15, 0}},
        {EncodeDateTime(12000, 12, 31, 1), {12000, 12, 31, 1, 0, 0, 0}},
        {std::nan(""), {1899, 12, 30, 0, 0, 0, 0}},
        {std::numeric_limits<double>::infinity(), {1899, 12, 30, 0, 0, 0, 0}},
        {-1e300, {1899, 12, 30, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const DateTimeFields f = DecodeDateTime(c.value);
        EXPECT_EQ(f.year, c.expected.year) << c.value;
        EXPECT_EQ(f.month, c.expected.month) << c.value;
        EXPECT_EQ(f.day, c.expected.day) << c.value;
        EXPECT_EQ(f.hour, c.expected.hour) << c.value;
        EXPECT_EQ(f.minute, c.expected.minute) << c.value;
        EXPECT_EQ(f.second, c.expected.second) << c.value;
        EXPECT_EQ(f.millisecond, c.expected.millisecond) << c.value;
    }
}

TEST(DateTime, DateAndTimeOfDayTruncate) {
    EXPECT_EQ(DateOf(45306.75), 45306.0);
    EXPECT_EQ(TimeOf(45306.75), 0.75);
    EXPECT_EQ(DateOf(45306.9999999999), 45306.0); // no rounding up
    EXPECT_EQ(DateOf(-1.25), -1.0);
    EXPECT_EQ(TimeOf(-1.25), 0.25); // time of day never negative
}

TEST(DateTime, DayOfTheWeekMondayIsOne) {
    const struct {
        double value;
        int weekday;
    } cases[] = {
        {0, 6},
        {0.99, 6},
        {1, 7},
        {2, 1},
        {-1, 5},
        {-1.25, 5},
        {-7, 6},
        {-8, 5},
        {45306, 1},
        {45308.3, 3},
        {45312.99, 7},
        {-693593, 1} /* 1 January 0001 */,
        {1e9, 5 /* 1e9 % 7 == 6: a Friday */},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DayOfTheWeek(c.value), c.weekday) << c.value;
    const int nanDay = DayOfTheWeek(std::nan(""));
    EXPECT_TRUE(nanDay >= 1 && nanDay <= 7);
}

TEST(DateTime, SecondsBetweenTruncatesAndSaturates) {
    const struct {
        double a, b;
        std::int32_t seconds;
    } cases[] = {
        {1, 0, 86400},
        {0, 1, 86400},
        {45306.5, 45306.5, 0},
        {0, 1.9 / 86400, 1},
        {0, 0.999 / 86400, 0},
        {0, 0.9994 / 86400, 0},
        {0, 0.9996 / 86400, 1}, // rounded to the millisecond first
        {45382, 45382 + 4.0 / 24, 14400},
        {45306 + 7.0 / 24, 45306 + 19.0 / 24, 43200},
        {45306 + 3599.5 / 86400, 45306, 3599},
        {0, 30000, INT32_MAX},
        {-1e300, 1e300, INT32_MAX},
        {std::numeric_limits<double>::infinity(), 0, INT32_MAX},
        {std::nan(""), 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecondsBetween(c.a, c.b), c.seconds) << c.a << " " << c.b;
}

// Sets TZ for one test and restores it.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(DateTime, RealSecondsCountAcrossDaylightSaving) {
    ScopedTimeZone tz("Europe/Berlin");
    // Spring: 02:00 becomes 03:00, the night is an hour shorter.
    const double springBefore = EncodeDateTime(2024, 3, 31, 0);
    const double springAfter = EncodeDateTime(2024, 3, 31, 4);
    EXPECT_EQ(SecondsBetween(springBefore, springAfter), 4 * 3600);
    EXPECT_EQ(RealSecondsBetween(springBefore, springAfter), 3 * 3600);
    EXPECT_EQ(RealSecondsBetween(springAfter, springBefore), 3 * 3600);
    // Autumn: 03:00 becomes 02:00 again, an hour longer.
    EXPECT_EQ(RealSecondsBetween(EncodeDateTime(2024, 10, 27, 0), EncodeDateTime(2024, 10, 27, 4)),
              5 * 3600);
    // No change: the plain count.
    EXPECT_EQ(RealSecondsBetween(EncodeDateTime(2024, 1, 15, 7), EncodeDateTime(2024, 1, 16, 7)),
              86400);
    // Known instants: 15 January 2024 07:00 CET is 06:00 UTC.
    EXPECT_EQ(LocalToEpochMs(EncodeDateTime(2024, 1, 15, 7)), 1705298400000LL);
    EXPECT_EQ(LocalToEpochMs(EncodeDateTime(2024, 7, 15, 7, 0, 0, 250)), 1721019600250LL);
    EXPECT_EQ(EpochMsToLocal(1705298400123LL), EncodeDateTime(2024, 1, 15, 7, 0, 0, 123));
    // A time inside the spring gap lands within the gap's hour on the time line.
    const std::int64_t gap = LocalToEpochMs(EncodeDateTime(2024, 3, 31, 2, 30));
    EXPECT_GE(gap, LocalToEpochMs(EncodeDateTime(2024, 3, 31, 1, 30)));
    EXPECT_LE(gap, LocalToEpochMs(EncodeDateTime(2024, 3, 31, 3, 30)));
    // Far or broken values give some count, without crashing.
    (void)LocalToEpochMs(std::nan(""));
    (void)RealSecondsBetween(-1e300, 1e300);
    EXPECT_EQ(RealSecondsBetween(EncodeDateTime(9000, 1, 1), EncodeDateTime(1, 1, 1)), INT32_MAX);
}

// The conversion of wall-clock values to instants agrees with mktime for
// every quarter hour of a year in zones with and without daylight saving
// (half-hour shifts and southern summers included), wherever the wall-clock
// time exists exactly once; a skipped time counts like mktime's, too.
TEST(DateTime, LocalToEpochAgreesWithMktime) {
    for (const char* zone :
         {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata", "UTC"}) {
        ScopedTimeZone tz(zone);
        for (int day = 0; day < 366; ++day) {
            for (int quarter = 0; quarter < 96; ++quarter) {
                std::tm t{};
                t.tm_year = 2024 - 1900;
                t.tm_mon = 0;
                t.tm_mday = 1 + day;
                t.tm_hour = quarter / 4;
                t.tm_min = quarter % 4 * 15;
                t.tm_isdst = -1;
                std::tm probe = t;
                const std::time_t expected = std::mktime(&probe);
                const double value =
                    EncodeDateTime(2024, 1, 1 + day, quarter / 4, quarter % 4 * 15);
                // Ambiguous wall-clock times (clocks going back) may fall on
                // either side; skip them.
                std::tm other = t;
                other.tm_isdst = probe.tm_isdst > 0 ? 0 : 1;
                const std::time_t alternative = std::mktime(&other);
                const bool ambiguous = alternative != expected && other.tm_hour == probe.tm_hour &&
                                       other.tm_min == probe.tm_min &&
                                       other.tm_mday == probe.tm_mday;
                if (ambiguous)
                    continue;
                ASSERT_EQ(LocalToEpochMs(value), static_cast<std::int64_t>(expected) * 1000)
                    << zone << " day " << day << " quarter " << quarter;
            }
        }
    }
}

TEST(DateTime, NowFollowsTheClockAndTheTestSeam) {
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
    const double now = Now();
    const std::int64_t nowMs = LocalToEpochMs(now);
    EXPECT_GE(nowMs, before - 1000);
    EXPECT_LE(nowMs, before + 5000);
    SetClockForTesting([] { return 45306.25; });
    EXPECT_EQ(Now(), 45306.25);
    SetClockForTesting({});
    EXPECT_NE(Now(), 45306.25);
}

struct TextCase {
    const char* locale;
    double value;
    const char* dateTime; // DateTimeToStr
    const char* time;     // TimeToStr
};

TEST(DateTimeText, WritesTheLocaleFormats) {
    const double morning = EncodeDateTime(2024, 1, 15, 7);
    const double evening = EncodeDateTime(2024, 1, 15, 19, 5, 9);
    const double midnight = EncodeDateTime(2024, 1, 15);
    const TextCase cases[] = {
        {"C", morning, "01/15/24 07:00:00", "07:00:00"},
        {"C", evening, "01/15/24 19:05:09", "19:05:09"},
        {"C", midnight, "01/15/24", "00:00:00"},
        {"en_GB.UTF-8", morning, "15/01/24 07:00:00", "07:00:00"},
        {"en_GB.UTF-8", midnight, "15/01/24", "00:00:00"},
        {"en_US.UTF-8", morning, "01/15/2024 07:00:00 AM", "07:00:00 AM"},
        {"en_US.UTF-8", evening, "01/15/2024 07:05:09 PM", "07:05:09 PM"},
        {"en_US.UTF-8", midnight, "01/15/2024", "12:00:00 AM"},
        {"de_DE.UTF-8", morning, "15.01.2024 07:00:00", "07:00:00"},
        {"de_DE.UTF-8", evening, "15.01.2024 19:05:09", "19:05:09"},
        // Milliseconds never show, and only whole seconds decide the time part.
        {"de_DE.UTF-8", morning + 999 * kMs, "15.01.2024 07:00:00", "07:00:00"},
        {"de_DE.UTF-8", morning + 999.6 * kMs, "15.01.2024 07:00:01", "07:00:01"},
        {"de_DE.UTF-8", midnight + 400 * kMs, "15.01.2024", "00:00:00"},
        {"de_DE.UTF-8", midnight - 0.4 * kMs, "15.01.2024", "00:00:00"},
        // Before 1900 and far years.
        {"de_DE.UTF-8", 0, "30.12.1899", "00:00:00"},
        {"de_DE.UTF-8", -1.25, "29.12.1899 06:00:00", "06:00:00"},
        {"de_DE.UTF-8", EncodeDateTime(1066, 10, 14, 9), "14.10.1066 09:00:00", "09:00:00"},
        {"de_DE.UTF-8", EncodeDateTime(12345, 6, 7), "07.06.12345", "00:00:00"},
        {"C", EncodeDateTime(1850, 6, 1, 12, 30), "06/01/50 12:30:00", "12:30:00"},
        // Values without a calendar date write an empty text.
        {"C", std::nan(""), "", ""},
        {"C", -std::numeric_limits<double>::infinity(), "", ""},
        {"C", 1e300, "", ""},
    };
    for (const TextCase& c : cases) {
        ScopedLocale locale(c.locale);
        EXPECT_EQ(DateTimeToStr(c.value), c.dateTime) << c.locale << " " << c.value;
        EXPECT_EQ(TimeToStr(c.value), c.time) << c.locale << " " << c.value;
    }
    ScopedLocale german("de_DE.UTF-8");
    EXPECT_EQ(DateToStr(evening), "15.01.2024");
}

TEST(DateTimeText, ReadsWhatTheLocaleWrites) {
    const struct {
        const char* locale;
        const char* text;
        std::optional<double> value; // nullopt: does not convert
    } cases[] = {
        {"C", "01/15/24 07:00:00", EncodeDateTime(2024, 1, 15, 7)},
        {"C", "01/15/24", EncodeDateTime(2024, 1, 15)},
        {"C", "07:00:00", EncodeDateTime(1899, 12, 30, 7)},
        {"C", "1/5/24 7:00:00", EncodeDateTime(2024, 1, 5, 7)},
        {"en_GB.UTF-8", "15/01/24 07:00:00", EncodeDateTime(2024, 1, 15, 7)},
        {"en_GB.UTF-8", "01/03/03", EncodeDateTime(2003, 3, 1)},
        {"en_US.UTF-8", "01/15/2024 07:05:09 PM", EncodeDateTime(2024, 1, 15, 19, 5, 9)},
        {"en_US.UTF-8", "01/15/2024 12:00:00 AM", EncodeDateTime(2024, 1, 15)},
        {"en_US.UTF-8", "07:05:09 PM", EncodeDateTime(1899, 12, 30, 19, 5, 9)},
        {"de_DE.UTF-8", "15.01.2024 07:00:00", EncodeDateTime(2024, 1, 15, 7)},
        {"de_DE.UTF-8", "29.12.1899 06:00:00", -1.25},
        {"de_DE.UTF-8", "14.10.1066", EncodeDateTime(1066, 10, 14)},
        {"de_DE.UTF-8", "29.02.2024", EncodeDateTime(2024, 2, 29)},
        // Nothing else converts.
        {"C", "", std::nullopt},
        {"C", "01/15/24 07:00:00x", std::nullopt},
        {"C", "01/15/24  07:00:00", std::nullopt},
        {"C", "01/15/24 ", std::nullopt},
        {"C", " 01/15/24", std::nullopt},
        {"C", "01/15/24\t07:00:00", std::nullopt},
        {"C", "13/01/24", std::nullopt},
        {"C", "02/30/24", std::nullopt},
        {"C", "24:00:00", std::nullopt},
        {"C", "07:00:60", std::nullopt},
        {"C", "07:00", std::nullopt},
        {"C", "tomorrow", std::nullopt},
        {"de_DE.UTF-8", "29.02.2023", std::nullopt},
        {"de_DE.UTF-8", "15.01.2024 07:00:00 AM", std::nullopt},
        {"en_US.UTF-8", "01/15/2024 07:00:00", std::nullopt},
        {"en_US.UTF-8", "01/15/2024 13:00:00 PM", std::nullopt},
    };
    for (const auto& c : cases) {
        ScopedLocale locale(c.locale);
        double value = -12345;
        const bool ok = TryStrToDateTime(c.text, value);
        EXPECT_EQ(ok, c.value.has_value()) << c.locale << " '" << c.text << "'";
        if (ok && c.value) {
            EXPECT_EQ(value, *c.value) << c.locale << " '" << c.text << "'";
        }
        if (!ok) {
            EXPECT_EQ(value, -12345) << "value untouched on failure";
        }
    }
    ScopedLocale c("C");
    double value = 0;
    EXPECT_FALSE(TryStrToDateTime(std::string("01/15/24\0 07:00:00", 18), value));
}

TEST(DateTimeText, RoundTripsWholeSecondsInEveryLocale) {
    const double values[] = {
        EncodeDateTime(2024, 1, 15, 7),       EncodeDateTime(2024, 12, 31, 23, 59, 59),
        EncodeDateTime(2003, 3, 1, 12, 0, 1), EncodeDateTime(2024, 2, 29),
        EncodeDateTime(2000, 1, 1, 0, 0, 1),
    };
    for (const char* name : {"C", "en_GB.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        ScopedLocale locale(name);
        for (const double v : values) {
            double back = 0;
            ASSERT_TRUE(TryStrToDateTime(DateTimeToStr(v), back)) << name << " " << v;
            EXPECT_EQ(back, v) << name << " " << DateTimeToStr(v);
        }
        // Milliseconds are lost, nothing else.
        double back = 0;
        ASSERT_TRUE(TryStrToDateTime(DateTimeToStr(values[0] + 700 * kMs), back));
        EXPECT_EQ(back, values[0]) << name;
    }
    // Four-digit years keep dates before 1900.
    for (const char* name : {"en_US.UTF-8", "de_DE.UTF-8"}) {
        ScopedLocale locale(name);
        const double old = EncodeDateTime(1850, 6, 1, 12, 30);
        double back = 0;
        ASSERT_TRUE(TryStrToDateTime(DateTimeToStr(old), back)) << name;
        EXPECT_EQ(back, old) << name;
    }
}

TEST(DateTimeText, TextFromOneLocaleReadUnderAnother) {
    const double v = EncodeDateTime(2003, 1, 3, 7);
    std::string british, german, american;
    {
        ScopedLocale l("en_GB.UTF-8");
        british = DateTimeToStr(v); // 03/01/03 07:00:00
    }
    {
        ScopedLocale l("de_DE.UTF-8");
        german = DateTimeToStr(v); // 03.01.2003 07:00:00
    }
    {
        ScopedLocale l("en_US.UTF-8");
        american = DateTimeToStr(v); // 01/03/2003 07:00:00 AM
    }
    double value = 0;
    {
        ScopedLocale l("de_DE.UTF-8");
        EXPECT_FALSE(TryStrToDateTime(british, value));
        EXPECT_FALSE(TryStrToDateTime(american, value));
    }
    {
        ScopedLocale l("en_GB.UTF-8");
        EXPECT_FALSE(TryStrToDateTime(german, value));
        EXPECT_FALSE(TryStrToDateTime(american, value)); // two-digit year leaves "03 ..."
    }
    {
        // Day and month swap silently: the text converts, to another date.
        ScopedLocale l("C");
        ASSERT_TRUE(TryStrToDateTime(british, value));
        EXPECT_EQ(value, EncodeDateTime(2003, 3, 1, 7));
    }
}

} // namespace
} // namespace dormix
