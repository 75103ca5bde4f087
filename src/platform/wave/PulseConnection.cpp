#include "PulseConnection.h"

#include <pulse/proplist.h>

namespace dormix::wave {

PulseConnection::PulseConnection(const char* clientName, Clock::duration timeout)
    : Mainloop_(pa_mainloop_new()) {
    const auto deadline = Clock::now() + timeout;
    if (!Mainloop_) {
        Failed_ = true;
        return;
    }
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, clientName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.dormix.Dormix");
    pa_context* context =
        pa_context_new_with_proplist(pa_mainloop_get_api(Mainloop_.get()), clientName, props);
    pa_proplist_free(props);
    if (!context) {
        Failed_ = true;
        return;
    }
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        pa_context_unref(context);
        Failed_ = true;
        return;
    }
    Context_.reset(context);
    const bool ready = RunUntil(
        [this] {
            const pa_context_state_t state = pa_context_get_state(Context_.get());
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    if (!ready || pa_context_get_state(Context_.get()) != PA_CONTEXT_READY) {
        Failed_ = true;
    }
}

PulseConnection::~PulseConnection() {
    // The context must go before its main loop.
    Context_.reset();
    Mainloop_.reset();
}

bool PulseConnection::Ready() const {
    return !Failed_ && Context_ && pa_context_get_state(Context_.get()) == PA_CONTEXT_READY;
}

bool PulseConnection::RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!done()) {
        if (Failed_ || !Context_) {
            return false;
        }
        const pa_context_state_t state = pa_context_get_state(Context_.get());
        if (!PA_CONTEXT_IS_GOOD(state)) {
            Failed_ = true;
            return false;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        // Wake at the deadline at the latest; each round handles what is ready.
        const auto remaining =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
        pa_mainloop* m = Mainloop_.get();
        if (pa_mainloop_prepare(m, static_cast<int>(std::min<long long>(remaining, 1000000))) < 0 ||
            pa_mainloop_poll(m) < 0 || pa_mainloop_dispatch(m) < 0) {
            Failed_ = true;
            return false;
        }
    }
    return true;
}

bool PulseConnection::Wait(pa_operation* operation, Clock::time_point deadline) {
    if (!operation) {
        return false;
    }
    const bool done =
        RunUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
                 deadline);
    if (!done) {
        pa_operation_cancel(operation);
    }
    const bool ok = done && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return ok;
}

} // namespace dormix::wave
