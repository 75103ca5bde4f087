#include "PulseLoop.h"

#include <stdexcept>

namespace dormix::test {

PulseLoop::PulseLoop(const char* name, int timeoutMs) : Mainloop_(pa_mainloop_new()) {
    Context_ = pa_context_new(pa_mainloop_get_api(Mainloop_), name);
    if (pa_context_connect(Context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !RunUntil([this] { return pa_context_get_state(Context_) == PA_CONTEXT_READY; },
                  timeoutMs)) {
        pa_context_unref(Context_);
        pa_mainloop_free(Mainloop_);
        throw std::runtime_error("no sound server answers");
    }
}

PulseLoop::~PulseLoop() {
    pa_context_disconnect(Context_);
    pa_context_unref(Context_);
    pa_mainloop_free(Mainloop_);
}

bool PulseLoop::Iterate(int timeoutMs) {
    return pa_mainloop_prepare(Mainloop_, timeoutMs * 1000) >= 0 &&
           pa_mainloop_poll(Mainloop_) >= 0 && pa_mainloop_dispatch(Mainloop_) >= 0;
}

bool PulseLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(Context_))) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !Iterate(static_cast<int>(left))) {
            return false;
        }
    }
    return true;
}

void PulseLoop::Wait(pa_operation* operation, const std::string& what, int timeoutMs) {
    if (!operation) {
        throw std::runtime_error(what + ": request refused");
    }
    const bool done =
        RunUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
                 timeoutMs);
    if (!done) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    if (!done) {
        throw std::runtime_error(what + ": no answer");
    }
}

} // namespace dormix::test
