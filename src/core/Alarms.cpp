#include "Alarms.h"

#include "AppPaths.h"

#include <cmath>

namespace dormix {

namespace {

// Days flags are stored Sunday first; weekday numbers run Monday = 1 .. Sunday = 7.
std::size_t DayIndex(int weekday) {
    return static_cast<std::size_t>(weekday % 7);
}

// The file-name part of a path: everything after the last "/".
std::string FileNamePart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TAlarm::TAlarm()
    : Description("Description"), Time(Now()), NextTime(0), Enabled(true), Days{},
      SoundFile(DefaultSoundFile()) {}

std::string TAlarm::GetDisplayText() const {
    static constexpr char kSet[] = "SMTWTFS";
    static constexpr char kUnset[] = "smtwtfs";
    std::string letters;
    bool anyDay = false;
    for (std::size_t i = 0; i < Days.size(); ++i) {
        letters += Days[i] ? kSet[i] : kUnset[i];
        anyDay = anyDay || Days[i];
    }
    std::string text = Description + ";   due " + TimeToStr(Time) + " on " + letters +
                       ";   sound = " + FileNamePart(SoundFile);
    if (!anyDay)
        text += ";   not scheduled";
    else if (Enabled)
        text += ";   next time = " + DateTimeToStr(NextTime);
    else
        text += ";   disabled ";
    return text;
}

bool TAlarm::UpdateNextTime(TDateTime now) {
    if (!Enabled) {
        NextTime = 0;
        return true;
    }
    const double alarmTime = TimeOf(Time);
    const double nowTime = TimeOf(now);
    const bool todayEligible =
        std::fabs(alarmTime - nowTime) < 1.0 / kMsPerDay || alarmTime > nowTime;
    const int weekday = DayOfTheWeek(now);
    int offset = 7;
    for (int k = 1; k <= 6; ++k) {
        if (Days[DayIndex(weekday + k)]) {
            offset = k;
            break;
        }
    }
    if (Days[DayIndex(weekday)] && todayEligible)
        offset = 0;
    const TDateTime candidate = (DateOf(now) + offset) + alarmTime;
    if (candidate != NextTime) {
        NextTime = candidate;
        return true;
    }
    return false;
}

void TAlarm::CopyFrom(const TAlarm& source) {
    Description = source.Description;
    Time = source.Time;
    NextTime = source.NextTime;
    Enabled = source.Enabled;
    Days = source.Days;
    SoundFile = source.SoundFile;
}

} // namespace dormix
