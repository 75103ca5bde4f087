// Adding an alarm as a user does: the installed program on a display with a
// window manager and a tray, the list's menu opened with a right click, "Add"
// chosen, the alarm editor filled with the keyboard and the mouse, OK, the
// window closed; the alarm file then holds the new alarm.
#include "Probes.h"
#include "PulseServer.h"
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace dormix::test;

namespace {

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

// xdotool on the display; fails the test when it fails.
void Xdo(const XDisplay& x, std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    int code = -1;
    x.Run(args, &code);
    EXPECT_EQ(code, 0) << "xdotool " << args.at(1);
    std::this_thread::sleep_for(150ms);
}

// A left click at a point of a window's client area.
void ClickAt(const XDisplay& x, unsigned long window, int left, int top, int button = 1) {
    Xdo(x, {"mousemove", "--window", std::to_string(window), std::to_string(left),
            std::to_string(top), "click", std::to_string(button)});
}

} // namespace

TEST(CommandsEndToEnd, AnAlarmAddedThroughTheMenuAndTheEditorIsInTheAlarmFile) {
    const std::string prefix = MakeTempFolder("dormix-e2e-cmd");
    XDisplay x({.windowManager = true, .trayHost = true});
    int installed = -1;
    x.Run({DORMIX_CMAKE, "--install", DORMIX_BUILD_DIR, "--prefix", prefix}, &installed);
    ASSERT_EQ(installed, 0);
    const std::string exe = prefix + "/dormix";
    ASSERT_TRUE(fs::exists(exe));

    PulseServer server(1);
    std::map<std::string, std::string> env = {{"LC_ALL", "en_GB.UTF-8"}};
    for (const auto& [name, value] : server.Environment())
        env[name] = value;
    const pid_t pid = x.Spawn({exe}, env);
    const unsigned long window = x.WaitForWindow(kCaption, 15s);
    ASSERT_NE(window, 0u) << "no window named " << kCaption;

    // A right click in the middle of the (empty) list opens its menu; with no
    // row selected, "Add" is the last item that can be chosen.
    ClickAt(x, window, 250, 200, 3);
    Xdo(x, {"key", "Up", "Return"});
    const unsigned long editor = x.WaitForWindow("AlarmOptions", 10s);
    ASSERT_NE(editor, 0u) << "the alarm editor did not come up";

    // Places in the editor's client area from its window definition.
    ClickAt(x, editor, 180, 34); // the description
    Xdo(x, {"key", "ctrl+a"});
    Xdo(x, {"type", "--delay", "30", "Morning tea"});
    ClickAt(x, editor, 200, 62); // the time picker: the hour, then on section by section
    Xdo(x, {"key", "Home", "shift+Right", "shift+Right"});
    Xdo(x, {"type", "--delay", "50", "070000"});
    ClickAt(x, editor, 160, 112); // Monday
    ClickAt(x, editor, 160, 144); // Wednesday
    ClickAt(x, editor, 269, 291); // OK

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

    // The editor's day is 1 March 2003, written in the program's locale.
    const std::vector<std::string> expected = {
        "[Dormi0]",
        "Description=Morning tea",
        "Time=01/03/03 07:00:00",
        "Enabled=1",
        "Sunday=0",
        "Monday=1",
        "Tuesday=0",
        "Wednesday=1",
        "Thursday=0",
        "Friday=0",
        "Saturday=0",
        "SoundFile=" + prefix + "/Sounds/ding.wav",
    };
    EXPECT_EQ(Lines(prefix + "/Dormis.ini"), expected);
    fs::remove_all(prefix);
}
