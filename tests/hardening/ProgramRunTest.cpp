// The installed program on a private X display with a window manager and a
// tray, started on an alarm file and a settings file full of garbage around
// what it understands: it starts, shows its window, closes on the window
// manager's close, exits with 0, and both files still hold the garbage.
#include "HardeningSupport.h"
#include "XDisplay.h"

#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

namespace dormix::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kCaption = "Dormix Version 1.1.0.0";

std::string Garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(random));
    return out;
}

TEST(InstalledProgram, StartsAndClosesOnGarbageFilesAndKeepsTheGarbage) {
    TempDir prefix;
    XDisplay x({.windowManager = true, .trayHost = true});
    int installed = -1;
    x.Run({DORMIX_CMAKE, "--install", DORMIX_BUILD_DIR, "--prefix", prefix.Path().string()},
          &installed);
    ASSERT_EQ(installed, 0);
    const std::string exe = prefix.File("dormix");
    ASSERT_TRUE(fs::exists(exe));

    // Garbage (NULs, CRs, brackets, "=" among it) around content the program
    // understands; the alarm is switched off, so nothing sounds. (Garbage
    // inside the program's own sections is kept line for line, but the keys
    // the save adds go in among it.)
    const std::string g1 = Garbage(32 * 1024, 21), g2 = Garbage(32 * 1024, 22);
    const std::string g3 = Garbage(32 * 1024, 23), g4 = Garbage(32 * 1024, 24);
    const std::string alarms =
        g1 + "\n[Dormi0]\nDescription=Among garbage\nEnabled=0\n[Foreign]\n" + g2;
    const std::string settings = g3 + "\n[Options]\nVolume=99\n[Foreign]\n" + g4;
    WriteBytes(prefix.File("Dormis.ini"), alarms);
    WriteBytes(prefix.File("Dormix.ini"), settings);

    // No sound server: the address leads nowhere.
    const pid_t pid = x.Spawn({exe}, {{"LC_ALL", "en_GB.UTF-8"},
                                      {"PULSE_SERVER", "unix:" + prefix.File("no-server")},
                                      {"XDG_RUNTIME_DIR", prefix.Path().string()}});
    ASSERT_NE(x.WaitForWindow(kCaption, 15s), 0u) << "no window named " << kCaption;
    ASSERT_TRUE(x.Running(pid));

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

    const std::string alarmsAfter = ReadBytes(prefix.File("Dormis.ini"));
    const std::string settingsAfter = ReadBytes(prefix.File("Dormix.ini"));
    for (const std::string* piece : {&g1, &g2})
        EXPECT_NE(alarmsAfter.find(*piece), std::string::npos) << "garbage lost from Dormis.ini";
    for (const std::string* piece : {&g3, &g4})
        EXPECT_NE(settingsAfter.find(*piece), std::string::npos) << "garbage lost from Dormix.ini";
    EXPECT_TRUE(Residue(alarms, AlarmFileOwnership()) ==
                Residue(alarmsAfter, AlarmFileOwnership()));
    EXPECT_TRUE(Residue(settings, SettingsFileOwnership()) ==
                Residue(settingsAfter, SettingsFileOwnership()));
    // What it understood went back in.
    const auto loaded = LoadAlarmFile(prefix.File("Dormis.ini"), Now());
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]->Description, "Among garbage");
    EXPECT_EQ(ReadSettings(prefix.File("Dormix.ini"))[7], 99);
}

} // namespace
} // namespace dormix::test
