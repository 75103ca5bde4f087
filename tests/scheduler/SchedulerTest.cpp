// The alarm scheduler driven by a fake clock and a fake timer that follows the
// toolkit's timer rules. Ticks are delivered by calling the tick handler at the
// moments the timer would fire; the fake player moves the clock on by the
// sound's length.
#include "Scheduler.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace dormix;

constexpr std::int64_t kDayMs = 86400000;

constexpr std::int64_t At(int h, int m, int s, int ms = 0) {
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

constexpr std::array<bool, 7> kAllDays{true, true, true, true, true, true, true};

std::array<bool, 7> OnlyDay(int sundayFirstIndex) {
    std::array<bool, 7> days{};
    days[static_cast<std::size_t>(sundayFirstIndex)] = true;
    return days;
}

// Sets TZ for its lifetime.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

// Now() as whole wall-clock milliseconds after a base midnight.
class FakeClock {
public:
    explicit FakeClock(TDateTime baseDate) {
        SetBase(baseDate);
        SetClockForTesting([this] { return Value(ms); });
    }
    ~FakeClock() { SetClockForTesting({}); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void SetBase(TDateTime baseDate) { baseMs_ = std::llround(baseDate * kMsPerDay); }
    TDateTime Value(std::int64_t atMs) const {
        return static_cast<double>(baseMs_ + atMs) / kMsPerDay;
    }
    // Milliseconds after the base midnight of a value.
    std::int64_t MsOf(TDateTime value) const { return std::llround(value * kMsPerDay) - baseMs_; }

    std::int64_t ms = 0;

private:
    std::int64_t baseMs_ = 0;
};

struct TimerChange {
    bool interval; // otherwise the on/off switch
    int value;
    bool restarted;
};

// A repeating timer with the toolkit's rules, counting on the fake clock.
class FakeTimer : public IPlaybackTimer {
public:
    explicit FakeTimer(const FakeClock& clock) : clock_(clock) {}

    int Interval() const override { return interval_; }
    void SetInterval(int ms) override {
        EXPECT_GE(ms, TAlarmScheduler::kMinPeriodMs) << "armed for less than one second";
        const bool restart = ms != interval_;
        if (restart) {
            interval_ = ms;
            countdownFrom_ = clock_.ms;
        }
        changes.push_back({true, ms, restart});
    }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool on) override {
        const bool restart = on && !enabled_;
        enabled_ = on;
        if (restart) {
            countdownFrom_ = clock_.ms;
        }
        changes.push_back({false, on ? 1 : 0, restart});
    }

    // The main window's definition: on, with the first period, from start-up.
    void Reset(std::int64_t atMs) {
        interval_ = TAlarmScheduler::kFirstTickMs;
        enabled_ = true;
        countdownFrom_ = atMs;
        changes.clear();
    }
    std::optional<std::int64_t> NextTickMs() const {
        if (!enabled_ || interval_ <= 0) {
            return std::nullopt;
        }
        return countdownFrom_ + interval_;
    }
    // A repeating timer counts its next period from the tick.
    void Ticked(std::int64_t atMs) { countdownFrom_ = atMs; }

    std::vector<TimerChange> changes;

private:
    const FakeClock& clock_;
    int interval_ = TAlarmScheduler::kFirstTickMs;
    bool enabled_ = true;
    std::int64_t countdownFrom_ = 0;
};

struct RowWrite {
    int row;
    bool check; // otherwise a text
};

class FakeRows : public IAlarmRows {
public:
    void Fill(const TAlarmList& alarms) {
        texts.clear();
        checks.clear();
        for (const auto& alarm : alarms) {
            texts.push_back(alarm->GetDisplayText());
            checks.push_back(alarm->Enabled);
        }
        writes.clear();
    }
    void SetRowText(int index, const std::string& text) override {
        ASSERT_GE(index, 0);
        ASSERT_LT(static_cast<std::size_t>(index), texts.size());
        texts[static_cast<std::size_t>(index)] = text;
        writes.push_back({index, false});
    }
    void SetRowChecked(int index, bool checked) override {
        ASSERT_GE(index, 0);
        ASSERT_LT(static_cast<std::size_t>(index), checks.size());
        checks[static_cast<std::size_t>(index)] = checked;
        writes.push_back({index, true});
    }
    int Count(int row, bool check) const {
        int n = 0;
        for (const RowWrite& w : writes) {
            n += (w.row == row && w.check == check) ? 1 : 0;
        }
        return n;
    }

    std::vector<std::string> texts;
    std::vector<bool> checks;
    std::vector<RowWrite> writes;
};

struct Play {
    std::string description;
    std::int64_t atMs;
    bool operator==(const Play&) const = default;
};

void PrintTo(const Play& p, std::ostream* os) {
    *os << p.description << "@" << p.atMs;
}

class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() : tz_("UTC0"), clock(EncodeDateTime(2024, 1, 17)), timer(clock) {}

    static void SetTimeOfDay(TAlarm& alarm, std::int64_t ms) {
        alarm.Time = EncodeDateTime(2003, 3, 1, static_cast<int>(ms / 3600000),
                                    static_cast<int>(ms / 60000 % 60),
                                    static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    }

    TAlarm& AddAlarm(const std::string& description, std::int64_t timeOfDayMs,
                     std::array<bool, 7> days = kAllDays, bool enabled = true) {
        auto alarm = std::make_unique<TAlarm>();
        alarm->Description = description;
        SetTimeOfDay(*alarm, timeOfDayMs);
        alarm->Days = days;
        alarm->Enabled = enabled;
        alarms.push_back(std::move(alarm));
        return *alarms.back();
    }

    // Start-up: the scheduler is created with the timer on its first period,
    // then loading works out every next due time and fills the rows.
    void Start(std::int64_t atMs) {
        clock.ms = atMs;
        timer.Reset(atMs);
        scheduler = std::make_unique<TAlarmScheduler>(alarms, timer, rows, [this](const TAlarm& a) {
            plays.push_back({a.Description, clock.ms});
            const auto it = soundMs.find(a.Description);
            clock.ms += it == soundMs.end() ? defaultSoundMs : it->second;
        });
        for (auto& alarm : alarms) {
            alarm->UpdateNextTime(Now());
        }
        rows.Fill(alarms);
    }

    // What every list command does last.
    void ListChange() {
        scheduler->SelectNextAlarm();
        scheduler->ArmPlaybackTimer();
    }

    // Delivers the timer's ticks, as the message loop would, up to endMs.
    void RunUntil(std::int64_t endMs) {
        for (;;) {
            const auto next = timer.NextTickMs();
            if (!next) {
                break;
            }
            const std::int64_t at = std::max(*next, clock.ms);
            if (at > endMs) {
                break;
            }
            clock.ms = at;
            timer.Ticked(at);
            ticks.push_back(at);
            scheduler->TimerPlaybackTimer();
        }
        clock.ms = std::max(clock.ms, endMs);
    }

    std::int64_t NextMs(std::size_t i) const { return clock.MsOf(alarms[i]->NextTime); }

    ScopedTimeZone tz_;
    FakeClock clock;
    FakeTimer timer;
    FakeRows rows;
    TAlarmList alarms;
    std::unique_ptr<TAlarmScheduler> scheduler;
    std::vector<Play> plays;
    std::vector<std::int64_t> ticks;
    std::map<std::string, std::int64_t> soundMs;
    std::int64_t defaultSoundMs = 3000;
};

TEST_F(SchedulerTest, FirstTickOnlySelectsAndArmsFromStartUpMoment) {
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 59, 0, 300));
    EXPECT_EQ(scheduler->NextAlarmIndex, -1);

    RunUntil(At(6, 59, 5, 300));

    EXPECT_EQ(ticks, std::vector<std::int64_t>{At(6, 59, 5, 300)});
    EXPECT_TRUE(plays.empty());
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    EXPECT_EQ(clock.MsOf(scheduler->ReferenceTime), At(6, 59, 0, 300));
    // 59.7 s from the start-up moment, truncated; the on/off switch untouched.
    ASSERT_EQ(timer.changes.size(), 1u);
    EXPECT_TRUE(timer.changes[0].interval);
    EXPECT_EQ(timer.Interval(), 59000);
    EXPECT_TRUE(timer.changes[0].restarted);
    EXPECT_TRUE(timer.Enabled());
}

struct LateCase {
    std::int64_t startBeforeDueMs;
    std::int64_t soundMs;
    std::int64_t lateMs;
};

void PrintTo(const LateCase& c, std::ostream* os) {
    *os << "start " << c.startBeforeDueMs << " ms before due, sound " << c.soundMs << " ms";
}

class FirstAlarmAfterStartUp : public SchedulerTest,
                               public ::testing::WithParamInterface<LateCase> {};

TEST_P(FirstAlarmAfterStartUp, SoundsFourToFiveSecondsLateAndMovesOn) {
    const LateCase& c = GetParam();
    const std::int64_t due = At(7, 0, 0);
    AddAlarm("A", due);
    defaultSoundMs = c.soundMs;
    Start(due - c.startBeforeDueMs);

    RunUntil(due + 10000);

    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].atMs - due, c.lateMs);
    // Played (also when the sound returned at once) and moved on.
    EXPECT_EQ(NextMs(0), due + kDayMs);
    EXPECT_EQ(rows.texts[0], alarms[0]->GetDisplayText());
    EXPECT_EQ(clock.MsOf(scheduler->ReferenceTime), due);
    EXPECT_EQ(timer.Interval(), 86400000);
}

INSTANTIATE_TEST_SUITE_P(Timing, FirstAlarmAfterStartUp,
                         ::testing::Values(LateCase{60000, 3000, 5000}, LateCase{59700, 3000, 4300},
                                           LateCase{59001, 3000, 4999}, LateCase{59999, 0, 4001},
                                           LateCase{60000, 0, 5000},
                                           // 5 s from start-up equals the first
                                           // period: no restart, next tick 5 s on.
                                           LateCase{5500, 3000, 4500}));

class DueWithinFirstFiveSeconds : public SchedulerTest,
                                  public ::testing::WithParamInterface<std::int64_t> {};

TEST_P(DueWithinFirstFiveSeconds, IsMovedOnNotPlayed) {
    const std::int64_t start = At(6, 59, 58);
    const std::int64_t due = start + GetParam();
    AddAlarm("A", due);
    Start(start);
    ASSERT_EQ(NextMs(0), due);

    RunUntil(start + 5000);

    EXPECT_TRUE(plays.empty());
    EXPECT_EQ(NextMs(0), due + kDayMs);
    EXPECT_EQ(rows.texts[0], alarms[0]->GetDisplayText());
    EXPECT_EQ(rows.Count(0, true), 1);
    EXPECT_TRUE(rows.checks[0]);
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    EXPECT_EQ(timer.Interval(), (kDayMs + GetParam()) / 1000 * 1000);

    RunUntil(start + 60000);
    EXPECT_TRUE(plays.empty());
}

INSTANTIATE_TEST_SUITE_P(Timing, DueWithinFirstFiveSeconds, ::testing::Values(0, 2000, 4900));

struct CollisionCase {
    const char* name;
    std::int64_t upperDue;
    std::int64_t lowerDue;
    std::int64_t soundMs;
};

void PrintTo(const CollisionCase& c, std::ostream* os) {
    *os << c.name;
}

class CollidingAlarms : public SchedulerTest,
                        public ::testing::WithParamInterface<CollisionCase> {};

TEST_P(CollidingAlarms, UpperPlaysLowerIsMovedOn) {
    const CollisionCase& c = GetParam();
    AddAlarm("upper", c.upperDue);
    AddAlarm("lower", c.lowerDue);
    defaultSoundMs = c.soundMs;
    Start(At(6, 0, 0));
    RunUntil(At(6, 59, 0));
    ListChange();
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    rows.writes.clear();

    RunUntil(At(7, 1, 0));

    EXPECT_EQ(plays, std::vector<Play>{(Play{"upper", At(7, 0, 0)})});
    EXPECT_EQ(NextMs(0), c.upperDue + kDayMs);
    EXPECT_EQ(NextMs(1), c.lowerDue + kDayMs);
    EXPECT_EQ(rows.texts[1], alarms[1]->GetDisplayText());
    EXPECT_EQ(rows.Count(1, true), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Timing, CollidingAlarms,
    ::testing::Values(CollisionCase{"SameSecond", At(7, 0, 0), At(7, 0, 0), 3000},
                      // Equal whole seconds from the reference: the upper one
                      // wins although it is due later.
                      CollisionCase{"UpperLaterWithinTheSecond", At(7, 0, 0, 400), At(7, 0, 0),
                                    3000},
                      CollisionCase{"LowerDueWhileUpperPlays", At(7, 0, 0), At(7, 0, 2), 5000}),
    [](const auto& info) { return std::string(info.param.name); });

class ShortSoundBeforeDueTime : public SchedulerTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShortSoundBeforeDueTime, PlaysAgainOneSecondLaterThenMovesOn) {
    AddAlarm("upper", At(7, 0, 0));
    if (GetParam() == 2) {
        AddAlarm("lower", At(7, 0, 0));
    }
    defaultSoundMs = 200;
    Start(At(6, 0, 0));
    RunUntil(At(6, 59, 0, 500));
    ListChange();
    EXPECT_EQ(timer.Interval(), 59000); // the tick comes up to a second early

    RunUntil(At(6, 59, 59, 800));

    ASSERT_EQ(plays, std::vector<Play>{(Play{"upper", At(6, 59, 59, 500)})});
    // Not yet moved on; chosen again at zero seconds, measured from now.
    EXPECT_EQ(NextMs(0), At(7, 0, 0));
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    EXPECT_EQ(clock.MsOf(scheduler->ReferenceTime), At(6, 59, 59, 700));
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_TRUE(timer.changes.back().restarted);

    RunUntil(At(7, 1, 0));

    EXPECT_EQ(plays,
              (std::vector<Play>{{"upper", At(6, 59, 59, 500)}, {"upper", At(7, 0, 0, 700)}}));
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        EXPECT_EQ(NextMs(i), At(7, 0, 0) + kDayMs) << i;
    }
    EXPECT_EQ(timer.Interval(), 86400000);
}

INSTANTIATE_TEST_SUITE_P(Timing, ShortSoundBeforeDueTime, ::testing::Values(1, 2));

struct NoEnabledCase {
    const char* name;
    std::vector<bool> enabled;
};

void PrintTo(const NoEnabledCase& c, std::ostream* os) {
    *os << c.name;
}

class NoEnabledAlarm : public SchedulerTest, public ::testing::WithParamInterface<NoEnabledCase> {};

TEST_P(NoEnabledAlarm, TickSwitchesTimerOff) {
    for (bool on : GetParam().enabled) {
        AddAlarm("A", At(7, 0, 0), kAllDays, on);
    }
    Start(At(6, 0, 0));

    RunUntil(At(23, 0, 0));

    EXPECT_EQ(ticks.size(), 1u);
    EXPECT_TRUE(plays.empty());
    EXPECT_EQ(scheduler->NextAlarmIndex, -1);
    EXPECT_FALSE(timer.Enabled());
}

INSTANTIATE_TEST_SUITE_P(Lists, NoEnabledAlarm,
                         ::testing::Values(NoEnabledCase{"Empty", {}},
                                           NoEnabledCase{"OneDisabled", {false}},
                                           NoEnabledCase{"AllDisabled", {false, false}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SchedulerTest, ListChangeSwitchesOffAndArmsAgainFromNow) {
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 0, 0));
    RunUntil(At(6, 10, 0));
    ASSERT_TRUE(timer.Enabled());

    alarms[0]->Enabled = false;
    ListChange();
    EXPECT_EQ(scheduler->NextAlarmIndex, -1);
    EXPECT_FALSE(timer.Enabled());
    EXPECT_FALSE(rows.checks[0]);
    RunUntil(At(6, 30, 0, 250));

    alarms[0]->Enabled = true;
    timer.changes.clear();
    ListChange();
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    EXPECT_EQ(timer.Interval(), 1799000);
    ASSERT_FALSE(timer.changes.empty());
    EXPECT_TRUE(timer.changes.back().restarted); // switched on: the countdown starts now
    RunUntil(At(7, 1, 0));
    EXPECT_EQ(plays, std::vector<Play>{(Play{"A", At(6, 59, 59, 250)})});
}

class ListChangeJustBeforeDue : public SchedulerTest,
                                public ::testing::WithParamInterface<std::int64_t> {};

TEST_P(ListChangeJustBeforeDue, ArmsOneSecondNeverZero) {
    const std::int64_t change = At(7, 0, 0) - GetParam();
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 0, 0));
    RunUntil(change);
    ListChange();

    EXPECT_EQ(timer.Interval(), 1000);
    RunUntil(At(7, 0, 30));
    EXPECT_EQ(plays, std::vector<Play>{(Play{"A", change + 1000})});
}

INSTANTIATE_TEST_SUITE_P(Timing, ListChangeJustBeforeDue, ::testing::Values(600, 1, 0));

struct RhythmCase {
    const char* name;
    std::int64_t editAt;
    std::int64_t newDue;
    bool restarted;
    std::int64_t playedAt;
};

void PrintTo(const RhythmCase& c, std::ostream* os) {
    *os << c.name;
}

class ReArmAfterEdit : public SchedulerTest, public ::testing::WithParamInterface<RhythmCase> {};

TEST_P(ReArmAfterEdit, SamePeriodKeepsTheRunningCountdown) {
    const RhythmCase& c = GetParam();
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 0, 0));
    RunUntil(At(6, 59, 0));
    ListChange();
    ASSERT_EQ(timer.Interval(), 60000);
    RunUntil(c.editAt);

    SetTimeOfDay(*alarms[0], c.newDue);
    timer.changes.clear();
    ListChange();

    ASSERT_EQ(timer.changes.size(), 2u);
    EXPECT_EQ(timer.changes[0].restarted, c.restarted);
    EXPECT_FALSE(timer.changes[1].restarted); // switching on while on changes nothing
    RunUntil(At(7, 5, 0));
    EXPECT_EQ(plays, std::vector<Play>{(Play{"A", c.playedAt})});
    EXPECT_EQ(NextMs(0), c.newDue + kDayMs);
}

INSTANTIATE_TEST_SUITE_P(
    Timing, ReArmAfterEdit,
    ::testing::Values(
        // The tick keeps the old rhythm and comes less than a second early.
        RhythmCase{"SamePeriod", At(6, 59, 0, 600), At(7, 0, 0, 600), false, At(7, 0, 0)},
        RhythmCase{"OtherPeriod", At(6, 59, 0, 600), At(7, 0, 1, 600), true, At(7, 0, 1, 600)},
        // The kept rhythm brings the tick 50 s early: it plays nothing and
        // arms again from now, so the alarm sounds once, on time.
        RhythmCase{"SamePeriodTickFarTooEarly", At(6, 59, 50), At(7, 0, 50), false, At(7, 0, 50)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SchedulerTest, RowRewrites) {
    AddAlarm("on", At(7, 0, 0));
    AddAlarm("off", At(8, 0, 0), kAllDays, false);
    Start(At(6, 0, 0));

    scheduler->SelectNextAlarm();
    scheduler->SelectNextAlarm();
    // A disabled alarm's row, text and check mark, at every pass; an enabled
    // one only when its next due time changes.
    EXPECT_EQ(rows.Count(1, false), 2);
    EXPECT_EQ(rows.Count(1, true), 2);
    EXPECT_FALSE(rows.checks[1]);
    EXPECT_EQ(rows.texts[1], alarms[1]->GetDisplayText());
    EXPECT_EQ(rows.Count(0, false), 0);
    EXPECT_EQ(rows.Count(0, true), 0);

    scheduler->ArmPlaybackTimer();
    rows.writes.clear();
    RunUntil(At(7, 0, 30));

    ASSERT_EQ(plays, std::vector<Play>{(Play{"on", At(7, 0, 0)})});
    // The tick rewrites the played alarm's text only.
    EXPECT_EQ(rows.Count(0, false), 1);
    EXPECT_EQ(rows.Count(0, true), 0);
    EXPECT_EQ(rows.texts[0], alarms[0]->GetDisplayText());
    EXPECT_EQ(rows.Count(1, false), 1);
    EXPECT_EQ(rows.Count(1, true), 1);
}

struct ChoiceCase {
    const char* name;
    std::int64_t upperDue;
    bool upperEnabled;
    std::int64_t lowerDue;
    std::int16_t chosen;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class Choice : public SchedulerTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(Choice, NearestToReferenceInWholeSecondsEitherSide) {
    const ChoiceCase& c = GetParam();
    AddAlarm("upper", c.upperDue, kAllDays, c.upperEnabled);
    AddAlarm("lower", c.lowerDue);
    Start(At(6, 0, 0));
    scheduler->ReferenceTime = clock.Value(At(7, 0, 0));

    scheduler->SelectNextAlarm();

    EXPECT_EQ(scheduler->NextAlarmIndex, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Selection, Choice,
    ::testing::Values(ChoiceCase{"SameDistanceUpperBefore", At(6, 58, 20), true, At(7, 1, 40), 0},
                      ChoiceCase{"SameDistanceUpperAfter", At(7, 1, 40), true, At(6, 58, 20), 0},
                      ChoiceCase{"SameWholeSeconds", At(7, 1, 40, 900), true, At(7, 1, 40), 0},
                      ChoiceCase{"LowerNearerByOneSecond", At(7, 1, 41), true, At(6, 58, 20), 1},
                      ChoiceCase{"UpperDisabled", At(7, 0, 1), false, At(9, 0, 0), 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct DstCase {
    const char* name;
    const char* tz;
    int year, month, day; // a Saturday; the alarm is on Sunday at 07:00
    int hours;            // true distance from Saturday 22:00
    int naiveHours;
};

void PrintTo(const DstCase& c, std::ostream* os) {
    *os << c.name;
}

class DaylightSaving : public SchedulerTest, public ::testing::WithParamInterface<DstCase> {};

std::int64_t LocalEpochSeconds(int year, int month, int day, int hour) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

TEST_P(DaylightSaving, PeriodCountsRealTimeToLocalDueTime) {
    const DstCase& c = GetParam();
    ScopedTimeZone tz(c.tz);
    clock.SetBase(EncodeDateTime(c.year, c.month, c.day));
    AddAlarm("Sunday", At(7, 0, 0), OnlyDay(0));
    const std::int64_t reference = At(22, 0, 0);
    const std::int64_t due = At(7, 0, 0) + kDayMs;
    const std::int64_t trueMs = 1000 * (LocalEpochSeconds(c.year, c.month, c.day + 1, 7) -
                                        LocalEpochSeconds(c.year, c.month, c.day, 22));
    ASSERT_EQ(trueMs, c.hours * 3600000LL);
    ASSERT_EQ(SecondsBetween(clock.Value(reference), clock.Value(due)), c.naiveHours * 3600);

    // From the reference (the first tick measures from the start-up moment).
    Start(reference);
    RunUntil(reference + 5000);
    ASSERT_EQ(NextMs(0), due);
    EXPECT_EQ(timer.Interval(), trueMs);

    // From now (a list change).
    ListChange();
    EXPECT_EQ(timer.Interval(), trueMs - 5000);
}

constexpr const char* kBerlin = "Europe/Berlin";
constexpr const char* kBerlinRule = "CET-1CEST,M3.5.0,M10.5.0/3";

INSTANTIATE_TEST_SUITE_P(
    Mend, DaylightSaving,
    ::testing::Values(DstCase{"SpringForward", kBerlin, 2024, 3, 30, 8, 9},
                      DstCase{"FallBack", kBerlin, 2024, 10, 26, 10, 9},
                      DstCase{"NoChange", kBerlin, 2024, 1, 13, 9, 9},
                      DstCase{"SpringForwardPosixRule", kBerlinRule, 2024, 3, 30, 8, 9},
                      DstCase{"FallBackPosixRule", kBerlinRule, 2024, 10, 26, 10, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SchedulerTest, FarApartValuesSaturateInsteadOfWrapping) {
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 0, 0));
    // The first tick comes forty days late (the machine slept): the distance
    // is measured from now, not from the start-up moment forty days back.
    clock.ms = At(6, 0, 5) + 40 * kDayMs;
    scheduler->TimerPlaybackTimer();
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
    EXPECT_EQ(timer.Interval(), 3595000);
    EXPECT_TRUE(timer.Enabled());

    const TDateTime early = EncodeDateTime(1900, 1, 1);
    const TDateTime late = EncodeDateTime(2024, 1, 17);
    EXPECT_EQ(TAlarmScheduler::Seconds(early, late), INT32_MAX);
    EXPECT_EQ(TAlarmScheduler::Seconds(late, early), INT32_MAX);

    const std::pair<std::int32_t, int> periods[] = {{0, 1000},          {1, 1000},
                                                    {59, 59000},        {2147483, 2147483000},
                                                    {2147484, INT_MAX}, {INT32_MAX, INT_MAX}};
    for (const auto& [seconds, ms] : periods) {
        EXPECT_EQ(TAlarmScheduler::PeriodMs(seconds), ms) << seconds;
    }
}

struct IndexCase {
    std::size_t count;
    std::int16_t chosen;
};

void PrintTo(const IndexCase& c, std::ostream* os) {
    *os << c.count << " alarms";
}

class SixteenBitPositions : public SchedulerTest,
                            public ::testing::WithParamInterface<IndexCase> {};

TEST_P(SixteenBitPositions, IndexNeverWraps) {
    const IndexCase& c = GetParam();
    for (std::size_t i = 0; i + 1 < c.count; ++i) {
        AddAlarm("later", At(8, 0, 0));
    }
    AddAlarm("nearest, last", At(7, 0, 0));
    Start(At(6, 0, 0));

    scheduler->SelectNextAlarm();

    EXPECT_EQ(scheduler->NextAlarmIndex, c.chosen);
}

// 32768 alarms: the last index still fits. One more cannot be held in a
// 16-bit position and takes no part in the choice.
INSTANTIATE_TEST_SUITE_P(Limits, SixteenBitPositions,
                         ::testing::Values(IndexCase{32768, 32767}, IndexCase{32769, 0}));

TEST_F(SchedulerTest, StaleIndexPlaysNothing) {
    AddAlarm("A", At(7, 0, 0));
    Start(At(6, 0, 0));
    scheduler->NextAlarmIndex = 5;

    scheduler->ArmPlaybackTimer();
    EXPECT_FALSE(timer.Enabled());

    scheduler->TimerPlaybackTimer();
    EXPECT_TRUE(plays.empty());
    EXPECT_EQ(scheduler->NextAlarmIndex, 0);
}

} // namespace

TEST_F(SchedulerTest, AfterASuspendTheWokenTickPlaysAndTheNextAlarmIsOnTime) {
    AddAlarm("A", At(7, 0, 0));
    AddAlarm("B", At(9, 0, 0));
    Start(At(6, 0, 0));
    RunUntil(At(6, 0, 5));
    ASSERT_EQ(scheduler->NextAlarmIndex, 0);

    // The machine sleeps from 06:30 until two days later at 08:00; the
    // boot-time timer delivers the overdue tick on waking.
    clock.ms = At(8, 0, 0) + 2 * kDayMs;
    timer.Ticked(clock.ms);
    scheduler->TimerPlaybackTimer();
    ASSERT_EQ(plays, std::vector<Play>{(Play{"A", At(8, 0, 0) + 2 * kDayMs})});
    // B is due at 09:00 that day: armed from the end of A's sound, not from
    // A's due time two days back.
    EXPECT_EQ(scheduler->NextAlarmIndex, 1);
    EXPECT_EQ(timer.Interval(), 3600000 - static_cast<int>(defaultSoundMs));
    RunUntil(At(9, 0, 30) + 2 * kDayMs);
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[1], (Play{"B", At(9, 0, 0) + 2 * kDayMs}));
}
