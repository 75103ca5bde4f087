// The test side's own small libpulse client: a connection driven on the
// calling thread with bounded waits. Kept apart from the code under test.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <string>

namespace dormix::test {

class PulseLoop {
public:
    // Throws std::runtime_error when no server answers within timeoutMs.
    explicit PulseLoop(const char* name, int timeoutMs = 5000);
    ~PulseLoop();
    PulseLoop(const PulseLoop&) = delete;
    PulseLoop& operator=(const PulseLoop&) = delete;

    pa_context* Context() const { return Context_; }
    pa_mainloop* Mainloop() const { return Mainloop_; }
    // Iterates until done() or the timeout; false on timeout or failure.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    // Runs one iteration, waiting at most timeoutMs; false on failure.
    bool Iterate(int timeoutMs);
    // Waits for and releases an operation; throws on failure or timeout.
    void Wait(pa_operation* operation, const std::string& what, int timeoutMs = 5000);

private:
    pa_mainloop* Mainloop_ = nullptr;
    pa_context* Context_ = nullptr;
};

} // namespace dormix::test
