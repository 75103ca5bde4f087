// The standard exception message box: its text, and exceptions escaping a
// timer tick or any other event handler while the event loop runs.
#include "Exception.h"
#include "MainWindowSupport.h"
#include "Unit1.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace dormix;
using namespace dormix::test;

TEST(ExceptionBox, TextGetsAFullStopAfterACharacterAboveIt) {
    struct Case {
        QString message, text;
    };
    const Case cases[] = {
        {"", ""},
        {"Unable to write to /a/Dormis.ini", "Unable to write to /a/Dormis.ini."},
        {"Done.", "Done."},
        {"Why?", "Why?."},        // '?' is above '.'
        {"Stop!", "Stop!"},       // '!' is below '.'
        {"range 1-", "range 1-"}, // '-' is just below '.'
        {"path /", "path /."},    // '/' is just above '.'
        {"trailing ", "trailing "},
        {QString::fromUtf8("caf\u00e9"), QString::fromUtf8("caf\u00e9.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(ExceptionMessageText(c.message), c.text);
    }
}

TEST(ExceptionBox, ShowsTheProgramsOwnMessagesAndAnEmptyOneForAnythingElse) {
    BoxWatch box;
    const std::vector<std::pair<std::function<void()>, QString>> cases = {
        {[] { throw Exception("Unable to write to /x"); }, "Unable to write to /x."},
        {[] { throw std::runtime_error("internal detail"); }, ""},
        {[] { throw 42; }, ""},
    };
    for (const auto& [thrower, text] : cases) {
        try {
            thrower();
        } catch (...) {
            ShowCurrentException();
        }
    }
    ASSERT_EQ(box.Boxes.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(box.Boxes[i].Caption.toStdString(), "Dormix - The Alarm Scheduler");
        EXPECT_EQ(box.Boxes[i].Text, cases[i].second);
    }
}

TEST(ExceptionBox, AFailingTickIsShownAndTheTimerGoesOn) {
    BoxWatch box;
    TempDir dir;
    FixedClock clock(EncodeDateTime(2024, 3, 4, 10, 0, 0));
    WriteAlarmFile(dir.AlarmFile(),
                   {{"due", EncodeDateTime(2003, 3, 1, 10, 0, 30), {1}, true, ""}});
    TForm1 form(nullptr, dir.Path());
    int plays = 0;
    form.SoundPlayer = [&](const TAudioSettings&, const TAlarm&) {
        ++plays;
        throw Exception("Sound device lost");
    };
    clock.Advance(5);
    emit form.TimerPlayback->OnTimer(); // arms
    ASSERT_EQ(form.NextAlarmIndex(), 0);
    clock.Advance(25);
    // The real timer ticks soon; every tick's failure is shown, and it ticks on.
    form.TimerPlayback->SetInterval(50);
    ASSERT_TRUE(ProcessEventsUntil([&] { return box.Boxes.size() >= 2; }));
    EXPECT_GE(plays, 2);
    EXPECT_EQ(box.Boxes[0].Text.toStdString(), "Sound device lost.");
    EXPECT_EQ(box.Boxes[1].Text.toStdString(), "Sound device lost.");
    EXPECT_TRUE(form.TimerPlayback->Enabled());
}

TEST(ExceptionBox, AnExceptionEscapingAnyHandlerIsShownAndTheLoopGoesOn) {
    BoxWatch box;
    QObject context;
    bool after = false;
    QTimer::singleShot(0, &context, [] { throw Exception("Handler failed"); });
    QTimer::singleShot(0, &context, [] { throw std::logic_error("not shown"); });
    QTimer::singleShot(30, &context, [&] { after = true; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return after; }));
    ASSERT_EQ(box.Boxes.size(), 2u);
    EXPECT_EQ(box.Boxes[0].Text.toStdString(), "Handler failed.");
    EXPECT_EQ(box.Boxes[1].Text.toStdString(), "");
}
