// A private X display for tests: Xvfb on a free display number, optionally
// with the openbox window manager and the trayer notification area, all
// stopped again when the fixture goes away.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace dormix::test {

struct XDisplayOptions {
    int width = 1024;
    int height = 768;
    int depth = 24;
    bool windowManager = false; // openbox
    bool trayHost = false;      // trayer, owning _NET_SYSTEM_TRAY_S0
    std::chrono::milliseconds startTimeout{15000};
};

// Throws std::runtime_error when a part cannot be started in time.
class XDisplay {
public:
    explicit XDisplay(XDisplayOptions options = {});
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // The DISPLAY value, e.g. ":12".
    const std::string& Display() const { return display_; }

    // Starts a program on this display (DISPLAY set, extra variables added).
    // The fixture stops it at the latest on destruction.
    pid_t Spawn(const std::vector<std::string>& argv,
                const std::map<std::string, std::string>& env = {});
    // Sends SIGTERM, waits up to the timeout, then SIGKILL. Returns the exit
    // status as from waitpid, or -1 when the process was not ours.
    int Stop(pid_t pid, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // True while a spawned process runs. Once it has ended it is reaped, and
    // its wait status (as from waitpid) is stored in *status when asked.
    bool Running(pid_t pid, int* status = nullptr);

    // Runs a tool on this display to its end; returns its standard output.
    // exitCode receives the exit status (or -1 when it did not exit normally).
    std::string Run(const std::vector<std::string>& argv, int* exitCode = nullptr) const;

    // Owner window of an X selection, 0 for none.
    unsigned long SelectionOwner(const std::string& selection) const;
    // Waits until a top-level window with this exact name is mapped; returns
    // its id, or 0 on timeout.
    unsigned long WaitForWindow(const std::string& name, std::chrono::milliseconds timeout) const;
    // Saves the whole screen as a PNG (ImageMagick's import). True on success.
    bool Screenshot(const std::string& pngPath) const;
    // Saves one window as a PNG.
    bool ScreenshotWindow(unsigned long window, const std::string& pngPath) const;

private:
    std::string display_;
    std::vector<pid_t> children_; // reverse order of start on destruction
    std::map<pid_t, int> ended_;  // reaped by Running: wait status
    pid_t xvfb_ = -1;
    void StopAll();
};

} // namespace dormix::test
