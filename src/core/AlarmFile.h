// The alarm file: one section "Dormi<i>" per alarm, in list order.
#pragma once

#include "Alarms.h"
#include "DateTime.h"

#include <memory>
#include <string>
#include <vector>

namespace dormix {

class TIniFile;

// Only sections "Dormi0" to "Dormi999" are ever read or erased.
constexpr int kMaxAlarmSections = 1000;

// Reads every existing section "Dormi0".."Dormi999" in ascending order (gaps
// skipped) into a new alarm, then runs UpdateNextTime(now) on it. A missing
// file gives an empty list. Never throws for bad content.
std::vector<std::unique_ptr<TAlarm>> LoadAlarmFile(const std::string& path, TDateTime now);

// Writes alarm i into "Dormi<i>" (eleven keys, existing sections not cleared),
// erases the sections "Dormi<count>".."Dormi999" that exist, and commits.
// Throws dormix::Exception("Unable to write to <path>") when the file cannot be
// written; the old file is then left as it was.
void SaveAlarmFile(const std::string& path, const std::vector<std::unique_ptr<TAlarm>>& alarms);

// The same on an open profile file, for callers that manage it themselves.
// ReadAlarm overwrites every field but NextTime; WriteAlarm sets the eleven keys.
void ReadAlarm(const TIniFile& ini, const std::string& section, TAlarm& alarm);
void WriteAlarm(TIniFile& ini, const std::string& section, const TAlarm& alarm);
std::string AlarmSectionName(int index);

} // namespace dormix
