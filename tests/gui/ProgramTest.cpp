// The real program on a private X display with a window manager and a tray.
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A folder holding the program as it is installed: dormix and Sounds/ding.wav.
class InstalledCopy {
public:
    InstalledCopy() {
        dir_ = fs::temp_directory_path() / ("dormix-gui-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "Sounds");
        fs::copy_file(DORMIX_EXE, dir_ / "dormix");
        fs::copy_file(DORMIX_SOUND, dir_ / "Sounds" / "ding.wav");
    }
    ~InstalledCopy() { fs::remove_all(dir_); }
    fs::path Exe() const { return dir_ / "dormix"; }
    fs::path Dir() const { return dir_; }

private:
    fs::path dir_;
};

} // namespace

TEST(Program, ShowsItsMainWindowAndEndsWithZeroWhenItIsClosed) {
    dormix::test::XDisplay x({.windowManager = true, .trayHost = true});
    InstalledCopy copy;
    const pid_t pid = x.Spawn({copy.Exe().string()});

    // The main window maps, once (the program's other visible window is its
    // icon in the tray).
    std::string found;
    for (int i = 0; i < 100 && found.empty(); ++i) {
        found = x.Run({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid),
                       "--name", "^Dormix Version"});
        if (found.empty())
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_FALSE(found.empty()) << "no window on " << x.Display();
    const unsigned long window = std::stoul(found);
    EXPECT_EQ(found.find('\n'), found.size() - 1) << found;

    // A look at the screen for the developer (not part of the verdict).
    if (const char* shot = std::getenv("DORMIX_TEST_SCREENSHOT")) {
        EXPECT_TRUE(x.Screenshot(shot));
    }

    // Closing the main window ends the program, with 0.
    x.Run({"wmctrl", "-i", "-c", std::to_string(window)});
    bool ended = false;
    int status = -1;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = !x.Running(pid, &status);
        if (!ended)
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(ended) << "dormix still runs after its window was closed";
    ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
