#include "AlarmFile.h"

#include "IniFile.h"

#include <array>

namespace dormix {

namespace {

// Day keys in the order of the Days flags (Sunday first), which is also the
// order they are written in.
constexpr std::array<const char*, 7> kDayKeys{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

} // namespace

std::string AlarmSectionName(int index) {
    return "Dormi" + std::to_string(index);
}

void ReadAlarm(const TIniFile& ini, const std::string& section, TAlarm& alarm) {
    alarm.Description = ini.ReadString(section, "Description", "Description Read Error");
    alarm.Time = ini.ReadDateTime(section, "Time", 0);
    alarm.Enabled = ini.ReadBool(section, "Enabled", false);
    for (std::size_t i = 0; i < kDayKeys.size(); ++i)
        alarm.Days[i] = ini.ReadBool(section, kDayKeys[i], false);
    alarm.SoundFile = ini.ReadString(section, "SoundFile", "");
}

void WriteAlarm(TIniFile& ini, const std::string& section, const TAlarm& alarm) {
    ini.WriteString(section, "Description", alarm.Description);
    ini.WriteDateTime(section, "Time", alarm.Time);
    ini.WriteBool(section, "Enabled", alarm.Enabled);
    for (std::size_t i = 0; i < kDayKeys.size(); ++i)
        ini.WriteBool(section, kDayKeys[i], alarm.Days[i]);
    ini.WriteString(section, "SoundFile", alarm.SoundFile);
}

std::vector<std::unique_ptr<TAlarm>> LoadAlarmFile(const std::string& path, TDateTime now) {
    const TIniFile ini(path);
    std::vector<std::unique_ptr<TAlarm>> alarms;
    for (int i = 0; i < kMaxAlarmSections; ++i) {
        const std::string section = AlarmSectionName(i);
        if (!ini.SectionExists(section))
            continue;
        auto alarm = std::make_unique<TAlarm>();
        ReadAlarm(ini, section, *alarm);
        alarm->UpdateNextTime(now);
        alarms.push_back(std::move(alarm));
    }
    return alarms;
}

void SaveAlarmFile(const std::string& path, const std::vector<std::unique_ptr<TAlarm>>& alarms) {
    TIniFile ini(path);
    const std::size_t count = alarms.size();
    for (std::size_t i = 0; i < count; ++i)
        WriteAlarm(ini, AlarmSectionName(static_cast<int>(i)), *alarms[i]);
    for (std::size_t i = count; i < static_cast<std::size_t>(kMaxAlarmSections); ++i) {
        const std::string section = AlarmSectionName(static_cast<int>(i));
        // A hand-edited file can hold a section twice. Erasing only the first
        // copy would bring a deleted alarm back from the next one at the next
        // start, so every copy that would be read goes.
        while (ini.SectionExists(section))
            ini.EraseSection(section);
    }
    ini.UpdateFile();
}

} // namespace dormix
