#include "Scheduler.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace dormix {

TAlarmScheduler::TAlarmScheduler(TAlarmList& alarmList, IPlaybackTimer& timer, IAlarmRows& rows,
                                 PlayAlarmFunc playAlarm)
    : ReferenceTime(Now()), AlarmList(alarmList), TimerPlayback(timer), Rows(rows),
      PlayAlarm(std::move(playAlarm)) {
    if (!PlayAlarm) {
        throw std::invalid_argument("TAlarmScheduler needs a play-alarm function");
    }
}

std::int32_t TAlarmScheduler::Seconds(TDateTime a, TDateTime b) {
    // Counted between instants, so an alarm armed across a daylight-saving
    // change rings at its local time.
    const std::int32_t s = RealSecondsBetween(a, b);
    if (s >= 0) {
        return s;
    }
    return s == INT32_MIN ? INT32_MAX : -s;
}

int TAlarmScheduler::PeriodMs(std::int32_t seconds) {
    if (seconds < 1) {
        return kMinPeriodMs;
    }
    const std::int64_t ms = static_cast<std::int64_t>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

TAlarm* TAlarmScheduler::ArmedAlarm() const {
    // A stale index (the list changed without a new selection) counts as none
    // rather than reaching outside the list.
    if (NextAlarmIndex < 0 || static_cast<std::size_t>(NextAlarmIndex) >= AlarmList.size()) {
        return nullptr;
    }
    return AlarmList[static_cast<std::size_t>(NextAlarmIndex)].get();
}

void TAlarmScheduler::SelectNextAlarm() {
    // Refresh pass: now is read afresh for each alarm. A disabled alarm always
    // reports a change, so its row is rewritten at every pass.
    for (std::size_t i = 0; i < AlarmList.size(); ++i) {
        TAlarm& alarm = *AlarmList[i];
        if (alarm.UpdateNextTime(Now())) {
            const int row = static_cast<int>(i);
            Rows.SetRowText(row, alarm.GetDisplayText());
            Rows.SetRowChecked(row, alarm.Enabled);
        }
    }

    // Choice on whole seconds from ReferenceTime; the upper alarm wins a tie.
    std::int32_t best = INT32_MAX;
    std::int16_t candidate = -1;
    const std::size_t count = std::min(AlarmList.size(), kMaxIndex + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const TAlarm& alarm = *AlarmList[i];
        if (!alarm.Enabled) {
            continue;
        }
        const std::int32_t s = Seconds(ReferenceTime, alarm.NextTime);
        if (s < best) {
            best = s;
            candidate = static_cast<std::int16_t>(i);
        }
    }
    NextAlarmIndex = candidate;
}

void TAlarmScheduler::ArmPlaybackTimer() {
    const TAlarm* alarm = ArmedAlarm();
    if (alarm == nullptr) {
        TimerPlayback.SetEnabled(false);
        return;
    }
    TimerPlayback.SetInterval(PeriodMs(Seconds(Now(), alarm->NextTime)));
    TimerPlayback.SetEnabled(true);
}

bool TAlarmScheduler::NotYetDue(const TAlarm& alarm) {
    return LocalToEpochMs(alarm.NextTime) - LocalToEpochMs(Now()) >= 1000;
}

void TAlarmScheduler::TimerPlaybackTimer() {
    TAlarm* played = ArmedAlarm();
    // The moment this tick was counted towards: the armed alarm's due time, or
    // for the first tick the end of its first period.
    const std::int64_t expectedMs = played != nullptr
                                        ? LocalToEpochMs(played->NextTime)
                                        : LocalToEpochMs(ReferenceTime) + kFirstTickMs;
    const bool lateTick = LocalToEpochMs(Now()) - expectedMs > kLateTickMs;
    if (played != nullptr && NotYetDue(*played)) {
        // The tick came a second or more before the armed alarm is due: the
        // timer kept its running countdown when it was re-armed with the period
        // in force, or the clock was set back. Nothing plays; the timer is armed
        // again measured from now.
        played = nullptr;
        ReferenceTime = Now();
    }
    if (played != nullptr) {
        PlayAlarm(*played);
        // The due time it was armed for, taken before it is moved on.
        ReferenceTime = played->NextTime;
        if (played->UpdateNextTime(Now())) {
            // Text only: the check mark of the played alarm stays as it is.
            Rows.SetRowText(NextAlarmIndex, played->GetDisplayText());
        }
    }

    if (lateTick) {
        // Measuring from a due time long past would put every later alarm
        // late by the same amount (days, after a suspend).
        ReferenceTime = Now();
    }

    SelectNextAlarm();
    const TAlarm* next = ArmedAlarm();
    if (next == nullptr) {
        TimerPlayback.SetEnabled(false);
        return;
    }

    std::int32_t s = Seconds(ReferenceTime, next->NextTime);
    if (s < 1) {
        // Due within the same second as the reference (a second alarm at the
        // same time, or a sound that ended before its own due time): measure
        // from now and tick again in one second.
        s = 1;
        ReferenceTime = Now();
        SelectNextAlarm();
    }
    // The timer is on, since it ticked; a period equal to the one in force
    // keeps the running countdown.
    TimerPlayback.SetInterval(PeriodMs(s));
}

} // namespace dormix
