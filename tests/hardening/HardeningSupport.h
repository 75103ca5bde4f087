// Shared by the hardening tests: private folders, whole-file reads and writes,
// the alarms and settings used as "the program's own" content, and the
// residue of a file, i.e. everything in it that the program does not own.
#pragma once

#include "AlarmFile.h"
#include "Alarms.h"
#include "DateTime.h"
#include "IniFile.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace dormix::test {

using AlarmList = std::vector<std::unique_ptr<TAlarm>>;

inline std::unique_ptr<TAlarm> MakeAlarm(const std::string& description, TDateTime time,
                                         std::initializer_list<int> days, bool enabled,
                                         const std::string& sound) {
    auto a = std::make_unique<TAlarm>();
    a->Description = description;
    a->Time = time;
    a->Days.fill(false);
    for (const int d : days)
        a->Days[static_cast<std::size_t>(d)] = true;
    a->Enabled = enabled;
    a->SoundFile = sound;
    return a;
}

// n alarms whose descriptions start with tag, with varied times and days.
inline AlarmList MakeAlarms(int n, const std::string& tag) {
    AlarmList list;
    for (int i = 0; i < n; ++i)
        list.push_back(MakeAlarm(tag + " alarm " + std::to_string(i),
                                 EncodeDateTime(2024, 1 + i % 12, 1 + i % 28, i % 24, i % 60),
                                 {i % 7, (i + 3) % 7}, i % 3 != 0,
                                 "/sounds/" + tag + "/" + std::to_string(i) + ".wav"));
    return list;
}

// Every field that is stored, on one line.
inline std::string Summary(const TAlarm& a) {
    std::string days;
    for (const bool d : a.Days)
        days += d ? '1' : '0';
    return a.Description + "|" + DateTimeToStr(a.Time) + "|" + (a.Enabled ? "on" : "off") + "|" +
           days + "|" + a.SoundFile;
}

inline std::string Summaries(const AlarmList& list) {
    std::string out;
    for (const auto& a : list)
        out += Summary(*a) + "\n";
    return out;
}

// The settings file's nine keys, in the order the main window writes them.
struct SettingsKey {
    const char* section;
    const char* key;
    std::int32_t defaultValue;
};
inline constexpr std::array<SettingsKey, 9> kSettingsKeys{{
    {"Form", "Top", 100},
    {"Form", "Left", 100},
    {"Form", "Height", 400},
    {"Form", "Width", 500},
    {"Form", "Maximized", 0},
    {"Form", "Minimized", 0},
    {"Options", "Device", 0},
    {"Options", "Volume", 25},
    {"Options", "VolumeOverride", 0},
}};
using SettingsValues = std::array<std::int32_t, 9>;

inline SettingsValues ReadSettings(const std::string& path) {
    const TIniFile ini(path);
    SettingsValues v{};
    for (std::size_t i = 0; i < kSettingsKeys.size(); ++i)
        v[i] = ini.ReadInteger(kSettingsKeys[i].section, kSettingsKeys[i].key,
                               kSettingsKeys[i].defaultValue);
    return v;
}

inline void WriteSettings(const std::string& path, const SettingsValues& v) {
    TIniFile ini(path);
    for (std::size_t i = 0; i < kSettingsKeys.size(); ++i)
        ini.WriteInteger(kSettingsKeys[i].section, kSettingsKeys[i].key, v[i]);
    ini.UpdateFile();
}

// What part of an INI-style file the program owns: some sections and, in
// them, some keys.
struct Ownership {
    bool (*ownsSection)(std::string_view lowerName);
    std::set<std::string> keys; // lower case
};

inline bool IsAlarmSection(std::string_view name) {
    // "dormi" + 0..999 without leading zeros
    if (name.substr(0, 5) != "dormi")
        return false;
    const std::string_view n = name.substr(5);
    if (n.empty() || n.size() > 3 || (n.size() > 1 && n[0] == '0'))
        return false;
    for (const char c : n)
        if (c < '0' || c > '9')
            return false;
    return true;
}

inline bool IsSettingsSection(std::string_view name) {
    return name == "form" || name == "options";
}

inline const Ownership& AlarmFileOwnership() {
    static const Ownership o{IsAlarmSection,
                             {"description", "time", "enabled", "sunday", "monday", "tuesday",
                              "wednesday", "thursday", "friday", "saturday", "soundfile"}};
    return o;
}

inline const Ownership& SettingsFileOwnership() {
    static const Ownership o{IsSettingsSection,
                             {"top", "left", "height", "width", "maximized", "minimized", "device",
                              "volume", "volumeoverride"}};
    return o;
}

// The file's lines (CR kept, a leading byte-order mark as a line of its own)
// without the section headers and keys the program owns. A save must leave
// this unchanged unless it erases a section.
inline std::vector<std::string> Residue(std::string_view bytes, const Ownership& own) {
    const auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    };
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    };
    std::vector<std::string> out;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        out.emplace_back("<BOM>");
        bytes.remove_prefix(3);
    }
    bool inOwnSection = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t eol = bytes.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = bytes.size();
        const std::string_view raw = bytes.substr(pos, eol - pos);
        pos = eol + 1;
        std::string_view content = raw;
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
        const std::string_view t = trim(content);
        if (!t.empty() && t.front() == '[') {
            std::string_view name = t.substr(1);
            name = name.substr(0, name.find(']'));
            inOwnSection = own.ownsSection(lower(trim(name)));
            if (inOwnSection)
                continue;
        } else if (inOwnSection && !t.empty() && t.front() != ';' && t.front() != '#') {
            const std::size_t eq = content.find('=');
            if (eq != std::string_view::npos && own.keys.count(lower(trim(content.substr(0, eq)))))
                continue;
        }
        out.emplace_back(raw);
    }
    return out;
}

} // namespace dormix::test
