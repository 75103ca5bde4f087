// TTimer on both clocks with short real periods. Lower bounds are exact (a
// tick never comes early); upper bounds are generous, for a loaded machine.
#include "Timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// Names the clock in test output.
void PrintTo(TimerClock clock, std::ostream* os) {
    *os << (clock == TimerClock::Precise ? "Precise" : "Boot");
}

namespace {

constexpr qint64 kEarly = 3;   // ms a tick may seem early through rounding
constexpr qint64 kLate = 1500; // ms a tick may come late on a busy machine

// Runs the event loop for ms, or until done() holds.
void RunFor(int ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer stop;
    stop.setTimerType(Qt::PreciseTimer);
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
    stop.start(ms);
    QTimer poll;
    if (done) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        poll.start(5);
    }
    loop.exec();
}

// Runs action ms from now inside the event loop.
void At(int ms, std::function<void()> action) {
    QTimer::singleShot(ms, Qt::PreciseTimer, qApp, std::move(action));
}

class TimerTest : public ::testing::TestWithParam<TimerClock> {
protected:
    // A timer with its ticks recorded, in ms since clock_ started (just
    // before the timer was made, so no tick can seem later than it was).
    std::unique_ptr<TTimer> Make(int interval, bool enabled) {
        clock_.start();
        auto t = std::make_unique<TTimer>(nullptr, GetParam(), interval, enabled);
        QObject::connect(t.get(), &TTimer::OnTimer, [this] { ticks_.push_back(clock_.elapsed()); });
        return t;
    }
    qint64 Now() const { return clock_.elapsed(); }
    std::size_t Count() const { return ticks_.size(); }
    // First tick at or after time t, or -1.
    qint64 FirstFrom(qint64 t) const {
        for (const qint64 tick : ticks_)
            if (tick >= t)
                return tick;
        return -1;
    }

    QElapsedTimer clock_;
    std::vector<qint64> ticks_;
};

TEST_P(TimerTest, RepeatsWithItsPeriod) {
    auto t = Make(100, true);
    EXPECT_EQ(t->Interval(), 100);
    EXPECT_TRUE(t->Enabled());
    EXPECT_EQ(t->Clock(), GetParam());
    RunFor(3000, [&] { return Count() >= 5; });
    ASSERT_GE(Count(), 5u);
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_GE(ticks_[k], static_cast<qint64>(k + 1) * 100 - kEarly) << k;
}

// Setting the period in force, or switching on a running timer, keeps the
// countdown: the tick comes one period after the start, not after the call.
TEST_P(TimerTest, SamePeriodOrOnWhenOnKeepsTheRhythm) {
    const std::function<void(TTimer&)> actions[] = {
        [](TTimer& t) { t.SetInterval(1000); },
        [](TTimer& t) { t.SetEnabled(true); },
    };
    for (const auto& action : actions) {
        ticks_.clear();
        auto t = Make(1000, true);
        qint64 calledAt = -1;
        std::size_t ticksBefore = 0;
        At(300, [&] {
            ticksBefore = Count();
            calledAt = Now();
            action(*t);
        });
        RunFor(1000 + kLate, [&] { return Count() >= 1; });
        ASSERT_EQ(ticksBefore, 0u);
        ASSERT_GE(Count(), 1u);
        EXPECT_GE(ticks_[0], 1000 - kEarly);
        // A restarted countdown could not end before calledAt + 1000.
        EXPECT_LT(ticks_[0], calledAt + 950) << "called at " << calledAt;
        EXPECT_EQ(t->Interval(), 1000);
        EXPECT_TRUE(t->Enabled());
    }
}

// A different period restarts the countdown, also when a tick of the old
// period is already due but not yet handled.
TEST_P(TimerTest, DifferentPeriodRestartsTheCountdown) {
    auto t = Make(600, true);
    qint64 calledAt = -1;
    std::size_t ticksBefore = 0;
    At(200, [&] {
        ticksBefore = Count();
        calledAt = Now();
        t->SetInterval(700);
    });
    RunFor(900 + kLate, [&] { return Count() >= 1; });
    ASSERT_EQ(ticksBefore, 0u);
    ASSERT_GE(Count(), 1u);
    EXPECT_GE(ticks_[0], calledAt + 700 - kEarly); // the old rhythm would tick at 600
    EXPECT_EQ(t->Interval(), 700);

    // Let a 50 ms period expire while the thread is busy, then change it.
    ticks_.clear();
    t->SetInterval(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const qint64 changedAt = Now();
    t->SetInterval(400);
    RunFor(400 + kLate, [&] { return Count() >= 1; });
    ASSERT_GE(Count(), 1u);
    EXPECT_GE(ticks_[0], changedAt + 400 - kEarly);
}

TEST_P(TimerTest, SwitchingOnStartsTheCountdown) {
    auto t = Make(200, false);
    EXPECT_FALSE(t->Enabled());
    RunFor(400);
    EXPECT_EQ(Count(), 0u);
    const qint64 onAt = Now();
    t->SetEnabled(true);
    RunFor(200 + kLate, [&] { return Count() >= 1; });
    ASSERT_GE(Count(), 1u);
    EXPECT_GE(ticks_[0], onAt + 200 - kEarly);
}

TEST_P(TimerTest, SwitchingOffStops) {
    auto t = Make(100, true);
    QObject::connect(t.get(), &TTimer::OnTimer, [&] {
        if (Count() == 2)
            t->SetEnabled(false); // from within a tick
    });
    RunFor(2000, [&] { return Count() >= 2; });
    ASSERT_EQ(Count(), 2u);
    RunFor(500);
    EXPECT_EQ(Count(), 2u);
    t->SetEnabled(false); // off when off
    EXPECT_FALSE(t->Enabled());
    RunFor(300);
    EXPECT_EQ(Count(), 2u);

    // Off while a tick is due but not yet handled: that tick never comes.
    t->SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    t->SetEnabled(false);
    RunFor(400);
    EXPECT_EQ(Count(), 2u);

    // On again: the countdown starts afresh.
    const qint64 onAt = Now();
    t->SetEnabled(true);
    RunFor(100 + kLate, [&] { return Count() >= 3; });
    ASSERT_EQ(Count(), 3u);
    EXPECT_GE(ticks_[2], onAt + 100 - kEarly);
}

TEST_P(TimerTest, PeriodZeroGivesNoTicks) {
    auto t = Make(0, true);
    RunFor(300);
    t->SetEnabled(false);
    t->SetEnabled(true); // on with period 0
    RunFor(300);
    EXPECT_EQ(Count(), 0u);

    t->SetInterval(-5); // counts as 0: no change, no ticks
    EXPECT_EQ(t->Interval(), 0);
    const qint64 setAt = Now();
    t->SetInterval(100);
    RunFor(100 + kLate, [&] { return Count() >= 1; });
    ASSERT_GE(Count(), 1u);
    EXPECT_GE(ticks_[0], setAt + 100 - kEarly);

    t->SetInterval(0); // a running timer set to 0 stops ticking
    const std::size_t n = Count();
    RunFor(400);
    EXPECT_EQ(Count(), n);
    EXPECT_TRUE(t->Enabled());
}

// Modal dialogs run their own loops; ticks must come through them.
TEST_P(TimerTest, TicksInsideANestedLoop) {
    auto t = Make(100, true);
    std::size_t inNested = 0;
    bool nested = false;
    QObject::connect(t.get(), &TTimer::OnTimer, [&] {
        if (nested)
            ++inNested;
    });
    At(50, [&] {
        nested = true;
        RunFor(3000, [&] { return inNested >= 3; });
        nested = false;
    });
    RunFor(4000, [&] { return !nested && inNested >= 3; });
    EXPECT_GE(inNested, 3u);
}

INSTANTIATE_TEST_SUITE_P(Clocks, TimerTest,
                         ::testing::Values(TimerClock::Precise, TimerClock::Boot),
                         [](const auto& info) {
                             return info.param == TimerClock::Precise ? "Precise" : "Boot";
                         });

// Timer descriptors of this process on CLOCK_BOOTTIME (clockid 7 in fdinfo).
int BootTimerFds() {
    namespace fs = std::filesystem;
    int n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError).string() != "anon_inode:[timerfd]")
            continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        for (std::string line; std::getline(info, line);)
            if (line == "clockid: 7")
                ++n;
    }
    return n;
}

TEST(TimerClocks, AlarmClockCountsSuspendedTime) {
    const int before = BootTimerFds();
    {
        TTimer boot(nullptr, TimerClock::Boot, 5000, true);
        EXPECT_EQ(BootTimerFds(), before + 1);
        TTimer precise(nullptr, TimerClock::Precise, 5000, true);
        EXPECT_EQ(BootTimerFds(), before + 1);
    }
    EXPECT_EQ(BootTimerFds(), before); // closed with the timer
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
