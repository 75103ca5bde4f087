#include "AppPaths.h"

#include <climits>
#include <unistd.h>

namespace dormix {

// The executable does not move while it runs: resolve it once (every new
// alarm asks for the default sound, and the alarm file makes 1000 of them).
std::string ExeFileName() {
    static const std::string exe = [] {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return std::string();
        return std::string(buf, static_cast<size_t>(n));
    }();
    return exe;
}

std::string ExeDirectory() {
    const std::string exe = ExeFileName();
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos)
        return {};
    return exe.substr(0, slash);
}

std::string DefaultSoundFile() {
    return ExeDirectory() + "/Sounds/ding.wav";
}
std::string AlarmFilePath() {
    return ExeDirectory() + "/Dormis.ini";
}
std::string SettingsFilePath() {
    return ExeDirectory() + "/Dormix.ini";
}

} // namespace dormix
