// The alarm record: one weekly alarm, its list line and its next due time.
#pragma once

#include "DateTime.h"

#include <array>
#include <string>

namespace dormix {

class TAlarm {
public:
    std::string Description;
    TDateTime Time;
    TDateTime NextTime;
    bool Enabled;
    std::array<bool, 7> Days; // Sunday, Monday, ..., Saturday
    std::string SoundFile;

    // Defaults: "Description", now, 0, on, no day, <exe dir>/Sounds/ding.wav.
    TAlarm();

    // The alarm's list line.
    std::string GetDisplayText() const;
    // The next-occurrence rule; true when NextTime changed (always for a
    // disabled alarm).
    bool UpdateNextTime(TDateTime now);
    // Makes this record equal to source in every field.
    void CopyFrom(const TAlarm& source);
};

} // namespace dormix
