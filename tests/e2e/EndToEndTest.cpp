// One alarm from the alarm file to the speaker and back to the file: the
// installed program starts, its first tick arms the alarm, the sound comes
// four to five seconds after the due time, and closing the window writes both
// files.
#include "AlarmFile.h"
#include "Alarms.h"
#include "DateTime.h"
#include "Probes.h"
#include "PulseServer.h"
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <time.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace dormix;
using namespace dormix::test;

namespace {

constexpr const char* kLocale = "en_GB.UTF-8";
constexpr const char* kCaption = "Dormix Version 1.1.0.0";

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::int64_t WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// The date-time texts of the locale the program runs in.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

} // namespace

TEST(EndToEnd, InstalledProgramSoundsItsAlarmAndWritesBothFilesWhenClosed) {
    // Installed as a user installs it.
    const std::string prefix = MakeTempFolder("dormix-e2e");
    XDisplay x({.windowManager = true, .trayHost = true});
    int installed = -1;
    x.Run({DORMIX_CMAKE, "--install", DORMIX_BUILD_DIR, "--prefix", prefix}, &installed);
    ASSERT_EQ(installed, 0);
    const std::string exe = prefix + "/dormix";
    const std::string ding = prefix + "/Sounds/ding.wav";
    ASSERT_TRUE(fs::exists(exe));
    ASSERT_TRUE(fs::exists(ding));

    // One alarm, due a few seconds after the start, written in the program's
    // locale; no settings file yet.
    ScopedLocale locale(kLocale);
    ASSERT_TRUE(locale.Ok()) << kLocale << " is not installed";
    const std::int64_t dueEpochMs = (WallMs() / 1000 + 8) * 1000;
    const TDateTime due = EpochMsToLocal(dueEpochMs);
    std::vector<std::unique_ptr<TAlarm>> alarms;
    alarms.push_back(std::make_unique<TAlarm>());
    TAlarm& alarm = *alarms.back();
    alarm.Description = "End to end";
    alarm.Time = due;
    alarm.Enabled = true;
    alarm.Days = {};
    alarm.Days[static_cast<std::size_t>(DayOfTheWeek(due) % 7)] = true;
    alarm.SoundFile = ding;
    SaveAlarmFile(prefix + "/Dormis.ini", alarms);
    const std::string timeText = DateTimeToStr(due);

    PulseServer server(2);
    MonitorRecorder recorder(server.MonitorName(0));
    ASSERT_NE(x.SelectionOwner("_NET_SYSTEM_TRAY_S0"), 0u);
    std::map<std::string, std::string> env = {{"LC_ALL", kLocale}};
    for (const auto& [name, value] : server.Environment())
        env[name] = value;
    const std::int64_t monoAtWall = MonotonicNs();
    const std::int64_t wallAtMono = WallMs();
    const pid_t pid = x.Spawn({exe}, env);

    const unsigned long window = x.WaitForWindow(kCaption, 15s);
    ASSERT_NE(window, 0u) << "no window named " << kCaption;

    // The sound: four to five seconds after the due time, and 0.5 s long.
    const std::int64_t dueMono = monoAtWall + (dueEpochMs - wallAtMono) * 1000000LL;
    while (MonotonicNs() < dueMono + 7'000'000'000LL)
        std::this_thread::sleep_for(100ms);
    Recording heard = recorder.Stop();
    heard.AnchorBefore(dueMono + 3'500'000'000LL);
    const auto first = heard.FirstAudible(1e-4f);
    const auto end = heard.EndOfAudible(1e-4f);
    ASSERT_TRUE(first && end) << "no sound on the default device";
    const double late = static_cast<double>(heard.TimeOfFrameNs(*first) - dueMono) / 1e9;
    RecordProperty("SoundLateMs", static_cast<int>(late * 1000));
    EXPECT_GE(late, 3.8);
    EXPECT_LE(late, 5.3);
    EXPECT_NEAR(static_cast<double>(*end - *first) / heard.Rate, 0.5, 0.1);

    // Closed the way a user does: the window manager's close.
    x.Run({"wmctrl", "-c", kCaption});
    int status = -1;
    bool running = true;
    for (int i = 0; i < 100 && running; ++i) {
        running = x.Running(pid, &status);
        if (running)
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_FALSE(running) << "the program still runs after its window was closed";
    ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::vector<std::string> alarmFile = {
        "[Dormi0]",
        "Description=End to end",
        "Time=" + timeText,
        "Enabled=1",
        std::string("Sunday=") + (alarm.Days[0] ? "1" : "0"),
        std::string("Monday=") + (alarm.Days[1] ? "1" : "0"),
        std::string("Tuesday=") + (alarm.Days[2] ? "1" : "0"),
        std::string("Wednesday=") + (alarm.Days[3] ? "1" : "0"),
        std::string("Thursday=") + (alarm.Days[4] ? "1" : "0"),
        std::string("Friday=") + (alarm.Days[5] ? "1" : "0"),
        std::string("Saturday=") + (alarm.Days[6] ? "1" : "0"),
        "SoundFile=" + ding,
    };
    EXPECT_EQ(Lines(prefix + "/Dormis.ini"), alarmFile);
    // The window came up at the default place and size, frame included, and
    // is written back so.
    const std::vector<std::string> settingsFile = {
        "[Form]",      "Top=100",   "Left=100", "Height=400", "Width=500",       "Maximized=0",
        "Minimized=0", "[Options]", "Device=0", "Volume=25",  "VolumeOverride=0"};
    EXPECT_EQ(Lines(prefix + "/Dormix.ini"), settingsFile);
    fs::remove_all(prefix);
}
