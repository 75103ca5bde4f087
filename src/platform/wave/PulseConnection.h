// A connection to the sound server, driven on the calling thread.
//
// The main loop is only iterated inside the calls below and every wait has a
// deadline, so no call can hang when the server stops answering.
#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <chrono>
#include <functional>
#include <memory>

namespace dormix::wave {

using Clock = std::chrono::steady_clock;

class PulseConnection {
public:
    // Connects to the server named by the environment (PULSE_SERVER, or the
    // user's runtime folder), never starting one. Check Ready() afterwards.
    PulseConnection(const char* clientName, Clock::duration timeout);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool Ready() const;
    pa_context* Context() const { return Context_.get(); }

    // Iterates the main loop until done() holds, the connection fails or the
    // deadline passes. Returns done().
    bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline);
    // Waits for an operation to finish and releases it; false on timeout or
    // when the connection failed (the operation is then cancelled).
    bool Wait(pa_operation* operation, Clock::time_point deadline);

private:
    struct MainloopFree {
        void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
    };
    struct ContextUnref {
        void operator()(pa_context* c) const {
            pa_context_disconnect(c);
            pa_context_unref(c);
        }
    };
    std::unique_ptr<pa_mainloop, MainloopFree> Mainloop_;
    std::unique_ptr<pa_context, ContextUnref> Context_;
    bool Failed_ = false;
};

} // namespace dormix::wave
