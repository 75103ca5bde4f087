// The scheduler as the main window runs it: its playback timer, its list rows
// and its sound. The clock is fixed; ticks are the timer's own signal.
#include "MainWindowSupport.h"
#include "Probes.h"
#include "PulseServer.h"
#include "Unit1.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

// 4 March 2024 was a Monday (day 1, Sunday first).
const TDateTime kStart = EncodeDateTime(2024, 3, 4, 10, 0, 0);
const TDateTime kDue = EncodeDateTime(2024, 3, 4, 10, 0, 30);

struct Played {
    std::string Description;
    TAudioSettings Settings;
};

// A window whose sounds are recorded instead of played.
class WiredForm {
public:
    explicit WiredForm(const std::vector<AlarmEntry>& alarms) : clock(kStart) {
        WriteAlarmFile(dir.AlarmFile(), alarms);
        form = std::make_unique<TForm1>(nullptr, dir.Path());
        form->SoundPlayer = [this](const TAudioSettings& settings, const TAlarm& alarm) {
            played.push_back({alarm.Description, settings});
        };
    }
    void Tick() { emit form->TimerPlayback->OnTimer(); }

    TempDir dir;
    FixedClock clock;
    std::unique_ptr<TForm1> form;
    std::vector<Played> played;
};

AlarmEntry MondayAlarm(const std::string& description, TDateTime time, bool enabled = true) {
    return {description, time, {1}, enabled, "/nowhere/" + description + ".wav"};
}

} // namespace

TEST(MainWindowScheduler, TimersAreSetUpFromTheWindowDefinition) {
    WiredForm w({});
    EXPECT_EQ(w.form->TimerPlayback->Clock(), TimerClock::Boot);
    EXPECT_EQ(w.form->TimerPlayback->Interval(), 5000);
    EXPECT_TRUE(w.form->TimerPlayback->Enabled());
    for (const TTimer* timer : {w.form->TimerMinimize, w.form->UpdateTimer}) {
        SCOPED_TRACE(timer->objectName().toStdString());
        EXPECT_EQ(timer->Clock(), TimerClock::Precise);
        EXPECT_EQ(timer->Interval(), 1000);
        EXPECT_TRUE(timer->Enabled());
    }
}

TEST(MainWindowScheduler, FirstTickSelectsAndArmsWithoutPlaying) {
    WiredForm w({MondayAlarm("later", EncodeDateTime(2003, 3, 1, 11, 0, 0)),
                 MondayAlarm("off", kDue, false), MondayAlarm("soon", kDue)});
    w.clock.Advance(5);
    w.Tick();
    EXPECT_TRUE(w.played.empty());
    EXPECT_EQ(w.form->NextAlarmIndex(), 2);
    // Counted from the start-up moment: 30 s, though the tick came 5 s later.
    EXPECT_EQ(w.form->TimerPlayback->Interval(), 30000);
    EXPECT_TRUE(w.form->TimerPlayback->Enabled());
}

TEST(MainWindowScheduler, TickPlaysTheArmedAlarmWithTheCurrentSettingsAndRewritesItsRow) {
    WiredForm w(
        {MondayAlarm("other", EncodeDateTime(2003, 3, 1, 12, 0, 0)), MondayAlarm("due", kDue)});
    w.clock.Advance(5);
    w.Tick();
    ASSERT_EQ(w.form->NextAlarmIndex(), 1);
    w.form->clbAlarms->setCurrentRow(0);
    const QString before = w.form->clbAlarms->item(1)->text();
    QSignalSpy checks(w.form->clbAlarms, &TCheckListBox::ClickCheck);
    // The options dialog changes the settings in place; the sound reads them.
    w.form->AudioSettings = {1, 90, true};

    // The tick comes a second after the due time (a fixed clock stands still
    // while the sound plays).
    w.clock.Value = kDue;
    w.clock.Advance(1);
    w.Tick();
    ASSERT_EQ(w.played.size(), 1u);
    EXPECT_EQ(w.played[0].Description, "due");
    EXPECT_EQ(w.played[0].Settings.Device, 1);
    EXPECT_EQ(w.played[0].Settings.Volume, 90);
    EXPECT_TRUE(w.played[0].Settings.VolumeOverride);

    // Moved on a week; its row shows that, keeping check mark and selection.
    const TAlarm& played = *w.form->AlarmList[1];
    EXPECT_DOUBLE_EQ(played.NextTime, kDue + 7);
    const QString after = w.form->clbAlarms->item(1)->text();
    EXPECT_NE(after, before);
    EXPECT_EQ(after.toStdString(), played.GetDisplayText());
    EXPECT_TRUE(w.form->clbAlarms->Checked(1));
    EXPECT_EQ(w.form->clbAlarms->ItemIndex(), 0);
    EXPECT_EQ(checks.count(), 0);
    EXPECT_DOUBLE_EQ(w.form->ReferenceTime(), kDue);

    // Next: "other" at 12:00, measured from the played alarm's due time.
    EXPECT_EQ(w.form->NextAlarmIndex(), 0);
    EXPECT_EQ(w.form->TimerPlayback->Interval(), (2 * 3600 - 30) * 1000);
    EXPECT_TRUE(w.form->TimerPlayback->Enabled());
}

TEST(MainWindowScheduler, NoEnabledAlarmSwitchesTheTimerOff) {
    const std::vector<AlarmEntry> lists[] = {
        {},
        {MondayAlarm("off", kDue, false), MondayAlarm("off too", kDue, false)},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.size());
        WiredForm w(list);
        w.clock.Advance(5);
        w.Tick();
        EXPECT_EQ(w.form->NextAlarmIndex(), -1);
        EXPECT_FALSE(w.form->TimerPlayback->Enabled());
        EXPECT_TRUE(w.played.empty());
        // The rows of disabled alarms are rewritten without a check-box report.
        for (int i = 0; i < w.form->clbAlarms->count(); ++i) {
            EXPECT_FALSE(w.form->clbAlarms->Checked(i));
            EXPECT_EQ(w.form->clbAlarms->item(i)->text().toStdString(),
                      w.form->AlarmList[static_cast<std::size_t>(i)]->GetDisplayText());
        }
    }
}

TEST(MainWindowScheduler, ListChangesSelectAndArmMeasuredFromNow) {
    WiredForm w({MondayAlarm("due", kDue), MondayAlarm("off", kDue, false)});
    QSignalSpy checks(w.form->clbAlarms, &TCheckListBox::ClickCheck);
    // A command switches the second alarm on (row first, as the list does).
    w.clock.Advance(10);
    w.form->AlarmList[1]->Enabled = true;
    w.form->AlarmList[1]->Time = EncodeDateTime(2003, 3, 1, 10, 0, 25);
    w.form->SelectNextAlarm();
    w.form->ArmPlaybackTimer();
    EXPECT_EQ(w.form->NextAlarmIndex(), 1);
    EXPECT_TRUE(w.form->clbAlarms->Checked(1));
    EXPECT_EQ(w.form->clbAlarms->item(1)->text().toStdString(),
              w.form->AlarmList[1]->GetDisplayText());
    EXPECT_EQ(w.form->TimerPlayback->Interval(), 15000);
    EXPECT_EQ(checks.count(), 0);

    // Every alarm switched off: the timer goes off.
    for (auto& alarm : w.form->AlarmList)
        alarm->Enabled = false;
    w.form->SelectNextAlarm();
    w.form->ArmPlaybackTimer();
    EXPECT_EQ(w.form->NextAlarmIndex(), -1);
    EXPECT_FALSE(w.form->TimerPlayback->Enabled());
    EXPECT_FALSE(w.form->clbAlarms->Checked(0));
}

TEST(MainWindowScheduler, TestSoundPlaysTheFileWithTheCurrentSettingsAndLeavesTheListAlone) {
    WiredForm w({MondayAlarm("due", kDue)});
    w.form->AudioSettings = {0, 55, true};
    std::string file;
    w.form->SoundPlayer = [&](const TAudioSettings& settings, const TAlarm& alarm) {
        file = alarm.SoundFile;
        w.played.push_back({alarm.Description, settings});
    };
    w.form->TestSound("/music/test.wav");
    ASSERT_EQ(w.played.size(), 1u);
    EXPECT_EQ(file, "/music/test.wav");
    EXPECT_EQ(w.played[0].Settings.Volume, 55);
    EXPECT_EQ(w.form->AlarmList.size(), 1u);
    EXPECT_EQ(w.form->AlarmList[0]->Description, "due");
    EXPECT_EQ(w.form->NextAlarmIndex(), -1);
    EXPECT_EQ(w.form->TimerPlayback->Interval(), 5000);
}

// The real sound layer on a private sound server with two null sinks.
TEST(MainWindowScheduler, TickSoundsTheAlarmOnTheChosenDevice) {
    PulseServer server(2);
    const std::string folder = MakeTempFolder("dormix-mainwindow-sound");
    const std::string tone = folder + "/tone.wav";
    constexpr double kLength = 0.6;
    WriteSine(tone, kLength, 440);

    TempDir dir;
    FixedClock clock(kStart);
    WriteAlarmFile(dir.AlarmFile(), {{"ring", kDue, {1}, true, tone}});
    WriteText(dir.SettingsFile(), "[Options]\nDevice=1\n");
    TForm1 form(nullptr, dir.Path());
    clock.Advance(5);
    emit form.TimerPlayback->OnTimer();
    ASSERT_EQ(form.NextAlarmIndex(), 0);

    MonitorRecorder rec0(server.MonitorName(0)), rec1(server.MonitorName(1));
    clock.Value = kDue;
    clock.Advance(1);
    emit form.TimerPlayback->OnTimer();
    const Recording heard0 = rec0.Stop();
    const Recording heard1 = rec1.Stop();
    std::filesystem::remove_all(folder);

    EXPECT_EQ(heard0.Peak(), 0.0f);
    const auto first = heard1.FirstAudible(1e-5f);
    const auto end = heard1.EndOfAudible(1e-5f);
    ASSERT_TRUE(first && end) << "nothing on device 1";
    EXPECT_NEAR(static_cast<double>(*end - *first) / heard1.Rate, kLength, 0.05);
    EXPECT_DOUBLE_EQ(form.AlarmList[0]->NextTime, kDue + 7);
}

TEST(MainWindowShellTimers, ClockWritesDateAndTimeAndTheMinimizeTimerRunsOnce) {
    WiredForm w({});
    emit w.form->UpdateTimer->OnTimer();
    EXPECT_EQ(w.form->StatusBar1->PanelText(1).toStdString(), DateToStr(kStart));
    EXPECT_EQ(w.form->StatusBar1->PanelText(2).toStdString(), TimeToStr(kStart));
    EXPECT_EQ(w.form->StatusBar1->PanelText(0).toStdString(), "Hints");
    EXPECT_TRUE(w.form->UpdateTimer->Enabled());

    emit w.form->TimerMinimize->OnTimer();
    EXPECT_FALSE(w.form->TimerMinimize->Enabled());
}
