#include "XDisplay.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace dormix::test {

namespace {

using Clock = std::chrono::steady_clock;

// Everything the child needs is prepared before fork(): between fork() and
// exec() only async-signal-safe calls are made.
pid_t SpawnProcess(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& env, int stdoutFd = -1,
                   int keepFd = -1) {
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (env.count(key) == 0)
            envText.push_back(entry);
    }
    for (const auto& [key, value] : env)
        envText.push_back(key + "=" + value);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const bool quiet = std::getenv("DORMIX_TEST_XDISPLAY_VERBOSE") == nullptr;
    const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        // A process group of its own, so a test's Ctrl-C does not reach it first.
        ::setpgid(0, 0);
        ::dup2(devnull, 0);
        ::dup2(stdoutFd >= 0 ? stdoutFd : devnull, 1);
        if (quiet)
            ::dup2(devnull, 2);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepFd)
                ::close(fd);
        ::execvpe(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    if (devnull >= 0)
        ::close(devnull);
    return pid;
}

int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (true) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0)
            return -1;
        if (Clock::now() >= deadline)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

XDisplay::XDisplay(XDisplayOptions options) {
    // Xvfb picks a free display number and writes it to the pipe.
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const std::string screen = std::to_string(options.width) + "x" +
                               std::to_string(options.height) + "x" + std::to_string(options.depth);
    xvfb_ = SpawnProcess({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                          "-nolisten", "tcp", "-noreset"},
                         {}, -1, fds[1]);
    ::close(fds[1]);
    std::string number;
    const auto deadline = Clock::now() + options.startTimeout;
    while (Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char c;
            const ssize_t n = ::read(fds[0], &c, 1);
            if (n <= 0 || c == '\n')
                break;
            number += c;
        }
    }
    ::close(fds[0]);
    if (number.empty()) {
        StopAll();
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;

    if (options.windowManager) {
        children_.push_back(SpawnProcess({"openbox", "--sm-disable"}, {{"DISPLAY", display_}}));
        // A running window manager owns the screen's WM selection.
        while (SelectionOwner("WM_S0") == 0) {
            if (Clock::now() >= deadline) {
                StopAll();
                throw std::runtime_error("openbox did not start");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (options.trayHost) {
        children_.push_back(SpawnProcess({"trayer", "--edge", "bottom", "--align", "right",
                                          "--widthtype", "pixel", "--width", "120", "--height",
                                          "28", "--SetDockType", "true", "--transparent", "false"},
                                         {{"DISPLAY", display_}}));
        while (SelectionOwner("_NET_SYSTEM_TRAY_S0") == 0) {
            if (Clock::now() >= deadline) {
                StopAll();
                throw std::runtime_error("trayer did not take the tray selection");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

XDisplay::~XDisplay() {
    StopAll();
}

void XDisplay::StopAll() {
    while (!children_.empty())
        Stop(children_.back());
    if (xvfb_ > 0) {
        ::kill(xvfb_, SIGTERM);
        if (WaitExit(xvfb_, std::chrono::milliseconds(5000)) == -2) {
            ::kill(xvfb_, SIGKILL);
            WaitExit(xvfb_, std::chrono::milliseconds(5000));
        }
        xvfb_ = -1;
    }
}

pid_t XDisplay::Spawn(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env) {
    auto all = env;
    all["DISPLAY"] = display_;
    const pid_t pid = SpawnProcess(argv, all);
    children_.push_back(pid);
    return pid;
}

int XDisplay::Stop(pid_t pid, std::chrono::milliseconds timeout) {
    const auto it = std::find(children_.begin(), children_.end(), pid);
    if (it == children_.end())
        return -1;
    children_.erase(it);
    ::kill(pid, SIGTERM);
    int status = WaitExit(pid, timeout);
    if (status == -2) {
        ::kill(pid, SIGKILL);
        status = WaitExit(pid, std::chrono::milliseconds(5000));
    }
    return status;
}

bool XDisplay::Running(pid_t pid, int* status) {
    if (const auto ended = ended_.find(pid); ended != ended_.end()) {
        if (status != nullptr)
            *status = ended->second;
        return false;
    }
    const auto it = std::find(children_.begin(), children_.end(), pid);
    if (it == children_.end())
        return false;
    int wstatus = 0;
    if (::waitpid(pid, &wstatus, WNOHANG) != pid)
        return true;
    children_.erase(it);
    ended_[pid] = wstatus;
    if (status != nullptr)
        *status = wstatus;
    return false;
}

std::string XDisplay::Run(const std::vector<std::string>& argv, int* exitCode) const {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = SpawnProcess(argv, {{"DISPLAY", display_}}, fds[1]);
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (exitCode != nullptr)
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

unsigned long XDisplay::SelectionOwner(const std::string& selection) const {
    ::Display* dpy = XOpenDisplay(display_.c_str());
    if (dpy == nullptr)
        return 0;
    const Atom atom = XInternAtom(dpy, selection.c_str(), False);
    const Window owner = XGetSelectionOwner(dpy, atom);
    XCloseDisplay(dpy);
    return owner;
}

unsigned long XDisplay::WaitForWindow(const std::string& name,
                                      std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    do {
        int code = 0;
        const std::string out =
            Run({"xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"}, &code);
        if (code == 0 && !out.empty())
            return std::strtoul(out.c_str(), nullptr, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (Clock::now() < deadline);
    return 0;
}

bool XDisplay::Screenshot(const std::string& pngPath) const {
    int code = 0;
    Run({"import", "-window", "root", pngPath}, &code);
    return code == 0;
}

bool XDisplay::ScreenshotWindow(unsigned long window, const std::string& pngPath) const {
    int code = 0;
    Run({"import", "-window", std::to_string(window), pngPath}, &code);
    return code == 0;
}

} // namespace dormix::test
