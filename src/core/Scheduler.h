// The alarm scheduler: picks the enabled alarm nearest to a reference moment,
// arms the playback timer for it, and on each tick plays the armed alarm,
// moves it on and arms again. It owns no widgets: the main window owns the
// alarm list, the timer and the list rows and hands them in through the seams
// below, and delegates its playback timer's tick to TimerPlaybackTimer().
#pragma once

#include "Alarms.h"
#include "DateTime.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dormix {

// The repeating timer that drives playback. Implementations follow the
// toolkit's rules: setting a period that differs from the one in force restarts
// the countdown from that moment; setting the period in force again, or the
// on/off state in force, changes nothing; switching on when off starts the
// countdown; a period of 0 gives no ticks.
class IPlaybackTimer {
public:
    virtual ~IPlaybackTimer() = default;
    virtual int Interval() const = 0;
    virtual void SetInterval(int ms) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool on) = 0;
};

// The rows of the alarm list box; row i shows alarm i.
class IAlarmRows {
public:
    virtual ~IAlarmRows() = default;
    // Replaces the text of row index, keeping its check mark and the list's
    // selected row.
    virtual void SetRowText(int index, const std::string& text) = 0;
    // Sets the check mark of row index without raising the check-box event.
    virtual void SetRowChecked(int index, bool checked) = 0;
};

// Plays the alarm's sound and returns when it has ended. It swallows every
// failure (a missing file returns at once) and must not change the alarm list.
using PlayAlarmFunc = std::function<void(const TAlarm&)>;

using TAlarmList = std::vector<std::unique_ptr<TAlarm>>;

class TAlarmScheduler {
public:
    // The playback timer starts switched on with this period; its first tick
    // only selects and arms.
    static constexpr int kFirstTickMs = 5000;
    // The timer is never armed for less than this.
    static constexpr int kMinPeriodMs = 1000;
    // A tick this much later than the moment it was counted towards (the
    // machine slept, or the program was held up) measures the next distance
    // from now rather than from that stale moment.
    static constexpr std::int64_t kLateTickMs = 60000;
    // Positions in the list are 16-bit; alarms beyond this index take no part
    // in the choice.
    static constexpr std::size_t kMaxIndex = INT16_MAX;

    // Sets NextAlarmIndex to -1 and ReferenceTime to now. The timer is not
    // touched: the main window creates it switched on with kFirstTickMs.
    TAlarmScheduler(TAlarmList& alarmList, IPlaybackTimer& timer, IAlarmRows& rows,
                    PlayAlarmFunc playAlarm);
    TAlarmScheduler(const TAlarmScheduler&) = delete;
    TAlarmScheduler& operator=(const TAlarmScheduler&) = delete;

    // Index of the armed alarm, -1 when none is armed.
    std::int16_t NextAlarmIndex = -1;
    // The moment distances to the alarms are measured from: the start-up
    // moment, then the due time of the alarm played last (or now when the
    // next alarm is due within the same second).
    TDateTime ReferenceTime;

    // Refreshes every alarm's NextTime and its row, then stores the enabled
    // alarm nearest to ReferenceTime (the upper one on equal whole seconds) in
    // NextAlarmIndex, or -1.
    void SelectNextAlarm();
    // Arms the timer for the alarm in NextAlarmIndex, measured from now, for at
    // least kMinPeriodMs; switches it off when none is armed.
    void ArmPlaybackTimer();
    // The playback timer's tick: plays the armed alarm, moves it on, selects
    // and arms again measured from the played alarm's due time. A tick that
    // comes a second or more before the armed alarm is due plays nothing and
    // arms again measured from now.
    void TimerPlaybackTimer();

    // Whole seconds between two local date-time values on the real time line
    // (daylight-saving changes counted), never negative, saturated.
    static std::int32_t Seconds(TDateTime a, TDateTime b);
    // The timer period for a count of whole seconds: at least kMinPeriodMs,
    // at most the largest period the timer can hold.
    static int PeriodMs(std::int32_t seconds);

private:
    TAlarm* ArmedAlarm() const;
    // The alarm's due time lies a whole second or more after now.
    static bool NotYetDue(const TAlarm& alarm);

    TAlarmList& AlarmList;
    IPlaybackTimer& TimerPlayback;
    IAlarmRows& Rows;
    PlayAlarmFunc PlayAlarm;
};

} // namespace dormix
