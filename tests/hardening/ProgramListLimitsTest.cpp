// The longest list positions can number: 32 767 alarms (more than the alarm
// file's Dormi0..Dormi999 can hand over, so the list is built as the list
// commands build it). The alarm in the last position is found, armed, played
// and moved on through the real tick, the one before it is armed next, and
// the close writes every alarm.
#include "HardeningSupport.h"
#include "ProgramSupport.h"
#include "Unit1.h"

#include <cstdint>

namespace dormix::test {
namespace {

// 4 March 2024 was a Monday.
const TDateTime kStart = EncodeDateTime(2024, 3, 4, 10, 0, 0);
const TDateTime kLastDue = EncodeDateTime(2024, 3, 4, 10, 0, 30);
const TDateTime kSecondLastDue = EncodeDateTime(2024, 3, 4, 10, 1, 0);

TEST(FullList, ThePositionsUpTo32766SelectPlayAndSaveWithoutOverflow) {
    constexpr int kCount = INT16_MAX; // 32767: positions 0..32766
    TempDir dir;
    FixedClock clock(kStart);
    TForm1 form(nullptr, dir.Path().string());
    std::vector<std::string> played;
    form.SoundPlayer = [&](const TAudioSettings&, const TAlarm& alarm) {
        played.push_back(alarm.Description);
    };
    // Every alarm on Sunday but the last two, on Monday (today) just ahead.
    for (int i = 0; i < kCount; ++i) {
        const bool last = i == kCount - 1, secondLast = i == kCount - 2;
        form.AlarmList.push_back(MakeAlarm("Alarm " + std::to_string(i),
                                           last         ? kLastDue
                                           : secondLast ? kSecondLastDue
                                                        : EncodeDateTime(2003, 3, 1, 9, i % 60),
                                           {last || secondLast ? 1 : 0},
                                           i % 5 != 0 || last || secondLast, ""));
        form.AlarmList.back()->UpdateNextTime(Now());
        form.clbAlarms->AddRow(QString::fromStdString(form.AlarmList.back()->GetDisplayText()),
                               form.AlarmList.back()->Enabled);
    }
    ASSERT_EQ(form.clbAlarms->count(), kCount);

    clock.Advance(5);
    emit form.TimerPlayback->OnTimer();
    EXPECT_EQ(form.NextAlarmIndex(), kCount - 1);
    EXPECT_EQ(form.TimerPlayback->Interval(), 30000);

    clock.Value = kLastDue;
    clock.Advance(1);
    emit form.TimerPlayback->OnTimer();
    EXPECT_EQ(played, std::vector<std::string>{"Alarm 32766"});
    const TAlarm& last = *form.AlarmList[kCount - 1];
    EXPECT_DOUBLE_EQ(last.NextTime, kLastDue + 7);
    EXPECT_EQ(form.clbAlarms->item(kCount - 1)->text().toStdString(), last.GetDisplayText());
    EXPECT_EQ(form.NextAlarmIndex(), kCount - 2);
    EXPECT_EQ(form.TimerPlayback->Interval(), 30000);

    // A list change re-selects over the whole list the same way.
    form.AlarmList[kCount - 2]->Enabled = false;
    form.SelectNextAlarm();
    form.ArmPlaybackTimer();
    EXPECT_GE(form.NextAlarmIndex(), 0);
    EXPECT_NE(form.NextAlarmIndex(), kCount - 2);
    EXPECT_FALSE(form.clbAlarms->Checked(kCount - 2));

    ASSERT_TRUE(form.close());
    const TIniFile saved(dir.File("Dormis.ini"));
    EXPECT_EQ(saved.ReadString("Dormi32766", "Description", "?"), "Alarm 32766");
    EXPECT_EQ(saved.ReadString("Dormi32765", "Enabled", "?"), "0");
    EXPECT_EQ(saved.ReadString("Dormi0", "Description", "?"), "Alarm 0");
    EXPECT_FALSE(saved.SectionExists("Dormi32767"));
    EXPECT_FALSE(saved.SectionExists("Dormi-32768"));
}

} // namespace
} // namespace dormix::test
