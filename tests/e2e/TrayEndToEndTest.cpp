// The installed program in a desktop with a notification area (trayer),
// driven as a user drives it: minimising hides it to the tray, a double click
// on the icon and the icon's menu bring it back, the menu's Options and Exit
// work, Exit saves both files as the close box does, and a program closed
// while hidden hides itself again about a second after the next start.
// Without a notification area the start-up ends with an error box.
#include "AlarmFile.h"
#include "Alarms.h"
#include "DateTime.h"
#include "Probes.h"
#include "PulseServer.h"
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace dormix;
using namespace dormix::test;

namespace {

constexpr const char* kCaption = "Dormix Version 1.1.0.0";
constexpr const char* kTitle = "Dormix - The Alarm Scheduler";

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<unsigned long> Ids(const std::string& out) {
    std::vector<unsigned long> ids;
    std::istringstream in(out);
    for (unsigned long id; in >> id;)
        ids.push_back(id);
    return ids;
}

struct Geometry {
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// The installed program on a private display (openbox, optionally trayer)
// with a private sound server, in a folder of its own.
class Desktop {
public:
    explicit Desktop(bool tray)
        : prefix_(MakeTempFolder("dormix-tray-e2e")),
          x_({.windowManager = true, .trayHost = tray}) {
        int installed = -1;
        x_.Run({DORMIX_CMAKE, "--install", DORMIX_BUILD_DIR, "--prefix", prefix_}, &installed);
        if (installed != 0)
            throw std::runtime_error("cmake --install failed");
        env_ = {{"LC_ALL", "en_GB.UTF-8"}};
        for (const auto& [name, value] : pulse_.Environment())
            env_[name] = value;
    }
    ~Desktop() {
        if (pid_ > 0)
            x_.Stop(pid_);
        fs::remove_all(prefix_);
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    XDisplay& X() { return x_; }
    std::string File(const std::string& name) const { return prefix_ + "/" + name; }

    // Two alarms, with a sound file that never gets played in these tests.
    void WriteAlarms() const {
        std::vector<std::unique_ptr<TAlarm>> alarms;
        for (const char* description : {"Wake up", "Tea"}) {
            auto alarm = std::make_unique<TAlarm>();
            alarm->Description = description;
            alarm->Time = EncodeDateTime(2003, 3, 1, 7, 30, 0);
            alarm->Enabled = false;
            alarm->Days = {false, true, false, true, false, true, false};
            alarm->SoundFile = "/nonexistent/alarm.wav";
            alarms.push_back(std::move(alarm));
        }
        SaveAlarmFile(File("Dormis.ini"), alarms);
    }

    void Start() {
        // The icon is added at start-up: the tray host must own the tray.
        pid_ = x_.Spawn({File("dormix")}, env_);
    }
    pid_t Pid() const { return pid_; }

    // Waits for the program to end; its exit status, or -1.
    int WaitForExit(std::chrono::milliseconds timeout = 10s) {
        int status = 0;
        if (!WaitUntil([&] { return !x_.Running(pid_, &status); }, timeout))
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    unsigned long MainWindow(std::chrono::milliseconds timeout = 15s) const {
        return x_.WaitForWindow(kCaption, timeout);
    }
    bool Visible(const std::string& name) const {
        int code = 0;
        const std::string out =
            x_.Run({"xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"}, &code);
        return code == 0 && !Ids(out).empty();
    }
    bool Mapped(unsigned long window) const {
        const std::string out = x_.Run({"xwininfo", "-id", std::to_string(window)});
        return out.find("IsViewable") != std::string::npos;
    }
    // The program's mapped windows (those carrying its process id).
    std::vector<unsigned long> ProgramWindows() const {
        return Ids(x_.Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid_)}));
    }

    // The icon's window: the program's window named after it, embedded in
    // trayer's panel (deeper in the window tree than the top-level windows,
    // which the window manager frames one level down) and mapped.
    unsigned long TrayIcon() const {
        unsigned long icon = 0;
        WaitUntil([&] {
            std::istringstream tree(x_.Run({"xwininfo", "-root", "-tree"}));
            for (std::string line; std::getline(tree, line);) {
                const auto id = line.find("0x");
                if (id == std::string::npos || id <= 8 ||
                    line.find("\"dormix\": (\"dormix\" \"dormix\")") == std::string::npos)
                    continue;
                const unsigned long window = std::strtoul(line.c_str() + id, nullptr, 16);
                if (Mapped(window)) {
                    icon = window;
                    return true;
                }
            }
            return false;
        });
        return icon;
    }
    Geometry GeometryOf(unsigned long window) const {
        Geometry g;
        std::istringstream in(
            x_.Run({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)}));
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X")
                g.X = value;
            else if (key == "Y")
                g.Y = value;
            else if (key == "WIDTH")
                g.Width = value;
            else if (key == "HEIGHT")
                g.Height = value;
        }
        return g;
    }

    // Mouse on the tray icon's centre.
    void ClickIcon(const char* button, int count) const {
        const Geometry g = GeometryOf(TrayIcon());
        // (Without --sync: xdotool waits in vain when the pointer is there.)
        x_.Run({"xdotool", "mousemove", std::to_string(g.X + g.Width / 2),
                std::to_string(g.Y + g.Height / 2)});
        std::this_thread::sleep_for(100ms);
        x_.Run({"xdotool", "click", "--repeat", std::to_string(count), "--delay", "80", button});
    }
    // Opens the icon's menu with the right button and picks an item with the
    // keyboard: Restore, Options, Exit.
    void TrayMenu(const std::string& item) const {
        const auto before = ProgramWindows();
        ClickIcon("3", 1);
        // The menu is a new mapped window of the program.
        WaitUntil([&] { return ProgramWindows().size() > before.size(); }, 5s);
        std::this_thread::sleep_for(200ms);
        const int downs = item == "Restore" ? 1 : item == "Options" ? 2 : 3;
        for (int i = 0; i < downs; ++i)
            x_.Run({"xdotool", "key", "Down"});
        x_.Run({"xdotool", "key", "Return"});
    }

    // Minimises the main window through the window manager.
    void Minimize(unsigned long window) const {
        x_.Run({"xdotool", "windowminimize", std::to_string(window)});
    }

    // Hidden to the tray: the main window unmapped, nothing of the program
    // mapped but its icon.
    bool HiddenToTray(unsigned long window) const {
        if (Mapped(window))
            return false;
        const unsigned long icon = TrayIcon();
        for (const unsigned long id : ProgramWindows())
            if (id != icon)
                return false;
        return icon != 0;
    }

private:
    std::string prefix_;
    XDisplay x_;
    PulseServer pulse_{2};
    std::map<std::string, std::string> env_;
    pid_t pid_ = -1;
};

} // namespace

TEST(TrayEndToEnd, MinimiseHidesToTheTrayAndTheIconBringsItBack) {
    Desktop desktop(true);
    desktop.WriteAlarms();
    desktop.Start();
    const unsigned long window = desktop.MainWindow();
    ASSERT_NE(window, 0u);
    ASSERT_NE(desktop.TrayIcon(), 0u) << "no icon in the notification area";

    // Minimise, then a left double click on the icon.
    desktop.Minimize(window);
    ASSERT_TRUE(WaitUntil([&] { return desktop.HiddenToTray(window); }))
        << "a window of the program is still mapped";
    // A single left click does nothing.
    desktop.ClickIcon("1", 1);
    std::this_thread::sleep_for(700ms);
    EXPECT_FALSE(desktop.Mapped(window));
    desktop.ClickIcon("1", 2);
    EXPECT_TRUE(WaitUntil([&] { return desktop.Mapped(window); }))
        << "double click did not restore";

    // Minimise again; the menu's Restore.
    desktop.Minimize(window);
    ASSERT_TRUE(WaitUntil([&] { return desktop.HiddenToTray(window); }));
    desktop.TrayMenu("Restore");
    EXPECT_TRUE(WaitUntil([&] { return desktop.Mapped(window); })) << "Restore did not restore";

    // The menu's Options opens the options dialog; Escape closes it.
    desktop.TrayMenu("Options");
    EXPECT_TRUE(WaitUntil([&] { return desktop.Visible("Dormix Options"); }))
        << "Options did not open the options dialog";
    desktop.X().Run({"xdotool", "key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return !desktop.Visible("Dormix Options"); }));

    desktop.TrayMenu("Exit");
    EXPECT_EQ(desktop.WaitForExit(), 0);
}

TEST(TrayEndToEnd, ExitSavesBothFilesExactlyAsTheCloseBox) {
    std::map<std::string, std::string> files[2];
    for (const bool byExit : {false, true}) {
        SCOPED_TRACE(byExit ? "Exit" : "close box");
        Desktop desktop(true);
        desktop.WriteAlarms();
        desktop.Start();
        ASSERT_NE(desktop.MainWindow(), 0u);
        ASSERT_NE(desktop.TrayIcon(), 0u);
        if (byExit)
            desktop.TrayMenu("Exit");
        else
            desktop.X().Run({"wmctrl", "-c", kCaption});
        ASSERT_EQ(desktop.WaitForExit(), 0);
        for (const char* name : {"Dormis.ini", "Dormix.ini"})
            files[byExit][name] = ReadText(desktop.File(name));
    }
    EXPECT_NE(files[0]["Dormis.ini"].find("Description=Tea"), std::string::npos);
    EXPECT_NE(files[0]["Dormix.ini"].find("Minimized=0"), std::string::npos);
    EXPECT_EQ(files[1]["Dormis.ini"], files[0]["Dormis.ini"]);
    EXPECT_EQ(files[1]["Dormix.ini"], files[0]["Dormix.ini"]);
}

TEST(TrayEndToEnd, ClosedWhileHiddenItStartsShownAndHidesAboutASecondLater) {
    Desktop desktop(true);
    desktop.WriteAlarms();
    desktop.Start();
    unsigned long window = desktop.MainWindow();
    ASSERT_NE(window, 0u);
    desktop.Minimize(window);
    ASSERT_TRUE(WaitUntil([&] { return desktop.HiddenToTray(window); }));
    desktop.TrayMenu("Exit");
    ASSERT_EQ(desktop.WaitForExit(), 0);
    EXPECT_NE(ReadText(desktop.File("Dormix.ini")).find("Minimized=1"), std::string::npos);

    desktop.Start();
    window = desktop.MainWindow(15s);
    ASSERT_NE(window, 0u) << "the window was not shown at start";
    const auto shown = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return desktop.HiddenToTray(window); }, 5s))
        << "it did not hide itself";
    const auto shownMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - shown).count();
    RecordProperty("ShownMs", static_cast<int>(shownMs));
    EXPECT_LE(shownMs, 2500);

    // Once only: brought back, it stays.
    desktop.ClickIcon("1", 2);
    ASSERT_TRUE(WaitUntil([&] { return desktop.Mapped(window); }));
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(desktop.Mapped(window));
    desktop.X().Run({"wmctrl", "-c", kCaption});
    ASSERT_EQ(desktop.WaitForExit(), 0);
    EXPECT_NE(ReadText(desktop.File("Dormix.ini")).find("Minimized=0"), std::string::npos);
}

TEST(TrayEndToEnd, WithoutANotificationAreaStartUpEndsWithTheErrorBox) {
    Desktop desktop(false);
    ASSERT_EQ(desktop.X().SelectionOwner("_NET_SYSTEM_TRAY_S0"), 0u);
    desktop.Start();
    const unsigned long box = desktop.X().WaitForWindow(kTitle, 15s);
    ASSERT_NE(box, 0u) << "no message box captioned " << kTitle;
    // No main window came up.
    EXPECT_FALSE(desktop.Visible(kCaption));
    desktop.X().Run({"xdotool", "windowactivate", "--sync", std::to_string(box)});
    desktop.X().Run({"xdotool", "key", "Return"});
    EXPECT_EQ(desktop.WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(desktop.File("Dormix.ini")));
}
