// Helpers for the main-window tests: a private folder for the two files, a
// fixed clock, a watch on the exception box, and alarm files written through
// the program's own profile access.
#pragma once

#include "AlarmFile.h"
#include "Alarms.h"
#include "Application.h"
#include "DateTime.h"
#include "IniFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace dormix::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dormix-mainwindow-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string AlarmFile() const { return File("Dormis.ini"); }
    std::string SettingsFile() const { return File("Dormix.ini"); }

private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The file's non-blank lines, line ends removed.
inline std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

// Now() reads `Value` while this lives.
class FixedClock {
public:
    explicit FixedClock(TDateTime start) : Value(start) {
        SetClockForTesting([this] { return Value; });
    }
    ~FixedClock() { SetClockForTesting({}); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void Advance(double seconds) { Value += seconds / kSecondsPerDay; }
    TDateTime Value;
};

// Records what the exception box would show instead of showing it.
class BoxWatch {
public:
    struct Shown {
        QString Caption, Text;
    };
    BoxWatch() {
        SetExceptionBoxForTesting([this](const QString& caption, const QString& text) {
            Boxes.push_back({caption, text});
        });
    }
    ~BoxWatch() { SetExceptionBoxForTesting({}); }
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;

    std::vector<Shown> Boxes;
};

struct AlarmEntry {
    std::string Description;
    TDateTime Time;
    std::vector<int> Days; // 0 = Sunday
    bool Enabled = true;
    std::string SoundFile;
};

inline std::unique_ptr<TAlarm> MakeAlarm(const AlarmEntry& entry) {
    auto alarm = std::make_unique<TAlarm>();
    alarm->Description = entry.Description;
    alarm->Time = entry.Time;
    alarm->Enabled = entry.Enabled;
    alarm->Days = {};
    for (const int day : entry.Days)
        alarm->Days[static_cast<std::size_t>(day)] = true;
    alarm->SoundFile = entry.SoundFile;
    return alarm;
}

// An alarm file holding these alarms, written by the program's own writer.
inline void WriteAlarmFile(const std::string& path, const std::vector<AlarmEntry>& entries) {
    std::vector<std::unique_ptr<TAlarm>> alarms;
    for (const auto& entry : entries)
        alarms.push_back(MakeAlarm(entry));
    SaveAlarmFile(path, alarms);
}

// Runs the event loop until `done` holds or the time is up.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace dormix::test
