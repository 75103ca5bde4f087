// The alarm record: defaults, list line, copy, and the next-occurrence rule.
#include "Alarms.h"
#include "AppPaths.h"
#include "CoreTestSupport.h"

#include <cmath>

namespace dormix {
namespace {

using test::ScopedLocale;

constexpr double kMs = 1.0 / kMsPerDay;
enum Day { Sun, Mon, Tue, Wed, Thu, Fri, Sat };

TAlarm MakeAlarm(const std::string& description, double time, std::initializer_list<Day> days,
                 bool enabled, const std::string& sound) {
    TAlarm a;
    a.Description = description;
    a.Time = time;
    a.Days = {};
    for (const Day d : days)
        a.Days[static_cast<std::size_t>(d)] = true;
    a.Enabled = enabled;
    a.SoundFile = sound;
    return a;
}

class ClockGuard {
public:
    explicit ClockGuard(double value) {
        SetClockForTesting([value] { return value; });
    }
    ~ClockGuard() { SetClockForTesting({}); }
};

TEST(Alarm, DefaultsAndFreshListLine) {
    ScopedLocale locale("C");
    const double constructed = EncodeDateTime(2024, 1, 17, 9, 41, 12, 345);
    ClockGuard clock(constructed);
    const TAlarm a;
    EXPECT_EQ(a.Description, "Description");
    EXPECT_EQ(a.Time, constructed);
    EXPECT_EQ(a.NextTime, 0.0);
    EXPECT_TRUE(a.Enabled);
    for (const bool d : a.Days)
        EXPECT_FALSE(d);
    EXPECT_EQ(a.SoundFile, ExeDirectory() + "/Sounds/ding.wav");
    EXPECT_FALSE(ExeDirectory().empty());
    EXPECT_EQ(a.GetDisplayText(),
              "Description;   due 09:41:12 on smtwtfs;   sound = ding.wav;   not scheduled");
}

TEST(Alarm, ListLineInSeveralLocales) {
    const TAlarm wake = [] {
        TAlarm a = MakeAlarm("Wake up", EncodeDateTime(2003, 3, 1, 7), {Mon, Wed, Fri}, true,
                             "/opt/dormix/Sounds/ding.wav");
        a.NextTime = EncodeDateTime(2024, 1, 15, 7);
        return a;
    }();
    const struct {
        const char* locale;
        const char* line;
    } cases[] = {
        {"en_GB.UTF-8", "Wake up;   due 07:00:00 on sMtWtFs;   sound = ding.wav;   next time = "
                        "15/01/24 07:00:00"},
        {"de_DE.UTF-8", "Wake up;   due 07:00:00 on sMtWtFs;   sound = ding.wav;   next time = "
                        "15.01.2024 07:00:00"},
        {"en_US.UTF-8", "Wake up;   due 07:00:00 AM on sMtWtFs;   sound = ding.wav;   next time = "
                        "01/15/2024 07:00:00 AM"},
        {"C", "Wake up;   due 07:00:00 on sMtWtFs;   sound = ding.wav;   next time = "
              "01/15/24 07:00:00"},
    };
    for (const auto& c : cases) {
        ScopedLocale locale(c.locale);
        EXPECT_EQ(wake.GetDisplayText(), c.line) << c.locale;
    }
}

TEST(Alarm, ListLineTailsTimesAndSoundNames) {
    ScopedLocale locale("de_DE.UTF-8");
    const double seven = EncodeDateTime(2003, 3, 1, 7);
    const double due = EncodeDateTime(2024, 1, 15, 7);
    const double midnight = EncodeDateTime(2024, 1, 15);
    const struct {
        TAlarm alarm;
        double next;
        const char* line;
    } cases[] = {
        {MakeAlarm("A", seven, {Mon}, false, "/s/x.wav"), due,
         "A;   due 07:00:00 on sMtwtfs;   sound = x.wav;   disabled "},
        {MakeAlarm("A", seven, {}, true, "/s/x.wav"), due,
         "A;   due 07:00:00 on smtwtfs;   sound = x.wav;   not scheduled"},
        {MakeAlarm("A", seven, {}, false, "/s/x.wav"), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = x.wav;   not scheduled"},
        // Not yet scheduled: next time 0 is 30 December 1899, date alone.
        {MakeAlarm("A", seven, {Sun, Sat}, true, "/s/x.wav"), 0,
         "A;   due 07:00:00 on SmtwtfS;   sound = x.wav;   next time = 30.12.1899"},
        // Midnight: the due time shows 00:00:00, the next time the date alone.
        {MakeAlarm("", EncodeDateTime(2003, 3, 1), {Mon}, true, "x.wav"), midnight,
         ";   due 00:00:00 on sMtwtfs;   sound = x.wav;   next time = 15.01.2024"},
        // Milliseconds never show.
        {MakeAlarm("A", seven + 999 * kMs, {Mon}, true, "/x.wav"), due + 999 * kMs,
         "A;   due 07:00:00 on sMtwtfs;   sound = x.wav;   next time = 15.01.2024 07:00:00"},
        {MakeAlarm("A", seven, {Mon}, true, "/x.wav"), midnight + 500 * kMs,
         "A;   due 07:00:00 on sMtwtfs;   sound = x.wav;   next time = 15.01.2024"},
        // Only "/" separates folders: ":" and "\" belong to the name.
        {MakeAlarm("A", seven, {}, true, "a:b.wav"), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = a:b.wav;   not scheduled"},
        {MakeAlarm("A", seven, {}, true, "dir\\x.wav"), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = dir\\x.wav;   not scheduled"},
        {MakeAlarm("A", seven, {}, true, "/m/c:\\x.wav"), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = c:\\x.wav;   not scheduled"},
        {MakeAlarm("A", seven, {}, true, "/m/sounds/"), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = ;   not scheduled"},
        {MakeAlarm("A", seven, {}, true, ""), 0,
         "A;   due 07:00:00 on smtwtfs;   sound = ;   not scheduled"},
    };
    for (const auto& c : cases) {
        TAlarm a;
        a.CopyFrom(c.alarm);
        a.NextTime = c.next;
        EXPECT_EQ(a.GetDisplayText(), c.line);
    }
}

TEST(Alarm, CopyFromCopiesEveryFieldIndependently) {
    TAlarm source = MakeAlarm("Source", 37681.25, {Tue, Sat}, false, "/s/a.wav");
    source.NextTime = 12345.5; // stale on purpose
    TAlarm copy = MakeAlarm("Copy", 1.5, {Mon}, true, "/s/b.wav");
    copy.CopyFrom(source);
    EXPECT_EQ(copy.Description, "Source");
    EXPECT_EQ(copy.Time, 37681.25);
    EXPECT_EQ(copy.NextTime, 12345.5);
    EXPECT_FALSE(copy.Enabled);
    EXPECT_EQ(copy.Days, source.Days);
    EXPECT_EQ(copy.SoundFile, "/s/a.wav");
    source.Description += "!";
    source.SoundFile.clear();
    EXPECT_EQ(copy.Description, "Source");
    EXPECT_EQ(copy.SoundFile, "/s/a.wav");
}

// --- the next-occurrence rule ---

const double kWednesday = EncodeDateTime(2024, 1, 17); // a Wednesday

TEST(NextTime, WorkedExamples) {
    const struct {
        double now;
        double expected;
    } cases[] = {
        {kWednesday + 6.5 / 24, EncodeDateTime(2024, 1, 17, 7)},
        {EncodeDateTime(2024, 1, 17, 7), EncodeDateTime(2024, 1, 17, 7)},
        {EncodeDateTime(2024, 1, 17, 7) + 0.5 * kMs, EncodeDateTime(2024, 1, 17, 7)},
        {EncodeDateTime(2024, 1, 17, 7, 0, 0, 2), EncodeDateTime(2024, 1, 22, 7)},
        {EncodeDateTime(2024, 1, 17, 8), EncodeDateTime(2024, 1, 22, 7)},
        {EncodeDateTime(2024, 1, 16, 23), EncodeDateTime(2024, 1, 17, 7)},
        {EncodeDateTime(2024, 1, 21, 10), EncodeDateTime(2024, 1, 22, 7)},
    };
    for (const auto& c : cases) {
        TAlarm a = MakeAlarm("x", EncodeDateTime(2003, 3, 1, 7), {Mon, Wed}, true, "");
        EXPECT_TRUE(a.UpdateNextTime(c.now));
        EXPECT_EQ(a.NextTime, c.expected) << DateTimeToStr(c.now);
        EXPECT_FALSE(a.UpdateNextTime(c.now)) << "second call with the same now";
    }
}

TEST(NextTime, DaysTriedByWeekday) {
    // For every weekday of now and every single flagged day: the offset is the
    // distance forward, today only while eligible, else one week.
    for (int nowOffset = 0; nowOffset < 7; ++nowOffset) {
        const double date = EncodeDateTime(2024, 1, 15) + nowOffset; // Monday + n
        const int w = DayOfTheWeek(date);
        ASSERT_EQ(w, nowOffset + 1);
        for (int flagged = 1; flagged <= 7; ++flagged) {
            for (const bool eligible : {true, false}) {
                TAlarm a = MakeAlarm("x", 0.5, {}, true, "");
                a.Days[static_cast<std::size_t>(flagged % 7)] = true;
                const double now = date + (eligible ? 0.25 : 0.75);
                int expected = (flagged - w + 7) % 7;
                if (expected == 0 && !eligible)
                    expected = 7;
                a.UpdateNextTime(now);
                EXPECT_EQ(a.NextTime, date + expected + 0.5)
                    << "weekday " << w << " flag " << flagged << " eligible " << eligible;
            }
        }
    }
}

TEST(NextTime, EdgeCases) {
    const double sevenAm = EncodeDateTime(2003, 3, 1, 7);
    // Disabled: 0 and changed, every time.
    TAlarm off = MakeAlarm("x", sevenAm, {Wed}, false, "");
    off.NextTime = 45000;
    EXPECT_TRUE(off.UpdateNextTime(kWednesday));
    EXPECT_EQ(off.NextTime, 0.0);
    EXPECT_TRUE(off.UpdateNextTime(kWednesday));
    EXPECT_EQ(off.NextTime, 0.0);

    // No day set: a week ahead, not unscheduled.
    TAlarm none = MakeAlarm("x", sevenAm, {}, true, "");
    EXPECT_TRUE(none.UpdateNextTime(kWednesday + 0.1));
    EXPECT_EQ(none.NextTime, kWednesday + 7 + TimeOf(sevenAm));

    // Only today's flag, time passed: same weekday next week.
    TAlarm wedOnly = MakeAlarm("x", sevenAm, {Wed}, true, "");
    wedOnly.UpdateNextTime(EncodeDateTime(2024, 1, 17, 8));
    EXPECT_EQ(wedOnly.NextTime, EncodeDateTime(2024, 1, 24, 7));

    // Exactly midnight against a midnight alarm: due now.
    TAlarm midnight = MakeAlarm("x", EncodeDateTime(2003, 3, 1), {Wed}, true, "");
    midnight.UpdateNextTime(kWednesday);
    EXPECT_EQ(midnight.NextTime, kWednesday);

    // No wrap around midnight: 00:00 is earlier than 23:59:59.9995.
    TAlarm late = MakeAlarm("x", EncodeDateTime(2003, 3, 1), {Tue}, true, "");
    late.UpdateNextTime(kWednesday - 0.5 * kMs); // Tuesday 23:59:59.9995
    EXPECT_EQ(late.NextTime, EncodeDateTime(2024, 1, 23));

    // One millisecond and more past is too late; just under one is still today.
    TAlarm a = MakeAlarm("x", sevenAm, {Wed}, true, "");
    a.UpdateNextTime(EncodeDateTime(2024, 1, 17, 7) + 0.9 * kMs);
    EXPECT_EQ(a.NextTime, EncodeDateTime(2024, 1, 17, 7));
    EXPECT_LT(a.NextTime, EncodeDateTime(2024, 1, 17, 7) + 0.9 * kMs); // in the past
    a.UpdateNextTime(EncodeDateTime(2024, 1, 17, 7) + 1.5 * kMs);
    EXPECT_EQ(a.NextTime, EncodeDateTime(2024, 1, 24, 7));
    // Alarm later than now by under a millisecond: today as well.
    a.UpdateNextTime(EncodeDateTime(2024, 1, 17, 7) - 0.5 * kMs);
    EXPECT_EQ(a.NextTime, EncodeDateTime(2024, 1, 17, 7));

    // Only the time of day of Time counts.
    TAlarm other = MakeAlarm("x", EncodeDateTime(2024, 6, 2, 7), {Wed}, true, "");
    TAlarm editor = MakeAlarm("x", sevenAm, {Wed}, true, "");
    other.UpdateNextTime(kWednesday + 0.1);
    editor.UpdateNextTime(kWednesday + 0.1);
    EXPECT_EQ(other.NextTime, editor.NextTime);

    // Off and on again restores the same value; the comparison is exact.
    TAlarm toggled = MakeAlarm("x", sevenAm, {Mon, Wed}, true, "");
    toggled.UpdateNextTime(kWednesday + 0.5);
    const double first = toggled.NextTime;
    toggled.Enabled = false;
    toggled.UpdateNextTime(kWednesday + 0.5);
    toggled.Enabled = true;
    EXPECT_TRUE(toggled.UpdateNextTime(kWednesday + 0.5));
    EXPECT_EQ(toggled.NextTime, first);
    toggled.NextTime = std::nextafter(first, 0.0);
    EXPECT_TRUE(toggled.UpdateNextTime(kWednesday + 0.5));
    EXPECT_EQ(toggled.NextTime, first);
}

} // namespace
} // namespace dormix
