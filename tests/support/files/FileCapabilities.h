// Running code where file permissions apply, even as root.
//
// Root ignores read-only files and folders through its capabilities
// (CAP_DAC_OVERRIDE and friends). A test that wants to see a permission
// failure runs the code in a forked child that has dropped them; the child
// reports a text back through a pipe.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace dormix::test {

// Drops the capabilities that let root ignore file permissions from the
// calling process (effective and permitted, so access() honours them too).
inline bool DropFileCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

struct ChildResult {
    bool ok = false;     // the child dropped its capabilities and ran body to the end
    std::string output;  // what body returned
    std::string failure; // why ok is false
};

// Runs body in a forked child without the file capabilities and returns the
// text it returned. Exceptions escaping body count as a failure.
inline ChildResult RunWithoutFileCapabilities(const std::function<std::string()>& body) {
    ChildResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.failure = "pipe failed";
        return result;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        result.failure = "fork failed";
        return result;
    }
    if (pid == 0) {
        close(fds[0]);
        if (!DropFileCapabilities())
            _exit(10);
        std::string text;
        try {
            text = body();
        } catch (...) {
            _exit(11);
        }
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                _exit(12);
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        result.failure = "waitpid failed";
        return result;
    }
    if (!WIFEXITED(status)) {
        result.failure = "child ended by signal " + std::to_string(WTERMSIG(status));
        return result;
    }
    switch (WEXITSTATUS(status)) {
    case 0:
        result.ok = true;
        break;
    case 10:
        result.failure = "capset failed";
        break;
    case 11:
        result.failure = "the child's code threw";
        break;
    default:
        result.failure = "child exit status " + std::to_string(WEXITSTATUS(status));
    }
    return result;
}

} // namespace dormix::test
