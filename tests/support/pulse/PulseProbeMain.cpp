// dormix_pulse_probe: watches the sound server from its own process while the
// test process is busy playing a sound.
//
//   record <source> <file>        raw float32 stereo 44100 Hz into <file>, and
//                                 "<arrival ns> <frames so far>" per chunk into <file>.t
//   watch <sink> <file>           "<ns> <channel volumes...>" at start and per change
//   set-volume <sink> <ms> <v...> sets the sink's channel volumes after <ms>
//   signal <pid> <signal> <ms>    sends a signal after <ms>
//
// Each prints "ready" once it is in place and runs until done or SIGTERM.
#include "Probes.h"
#include "PulseLoop.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

using namespace dormix::test;

namespace {

volatile sig_atomic_t gStop = 0;

void OnTerm(int) {
    gStop = 1;
}

void Ready() {
    std::printf("ready\n");
    std::fflush(stdout);
}

int Record(const char* source, const std::string& path) {
    PulseLoop loop("dormix-probe-record");
    FILE* data = std::fopen(path.c_str(), "wb");
    FILE* times = std::fopen((path + ".t").c_str(), "w");
    if (!data || !times) {
        return 2;
    }
    pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, 44100, 2};
    pa_stream* stream = pa_stream_new(loop.Context(), "probe", &sampleFormat, nullptr);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(5000, &sampleFormat));
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_record(stream, source, &attr, PA_STREAM_ADJUST_LATENCY) < 0 ||
        !loop.RunUntil([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
                       5000) ||
        pa_stream_get_state(stream) != PA_STREAM_READY) {
        return 3;
    }
    long long frames = 0;
    bool announced = false;
    while (!gStop) {
        if (!loop.Iterate(20)) {
            break;
        }
        const void* chunk = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &chunk, &bytes) == 0 &&
               bytes > 0) {
            const long long now = MonotonicNs();
            if (chunk) {
                std::fwrite(chunk, 1, bytes, data);
            } else {
                std::vector<char> zeros(bytes, 0);
                std::fwrite(zeros.data(), 1, bytes, data);
            }
            frames += static_cast<long long>(bytes / pa_frame_size(&sampleFormat));
            std::fprintf(times, "%lld %lld\n", now, frames);
            pa_stream_drop(stream);
        }
        // Ready once data flows, so nothing played after "ready" is missed.
        if (!announced && frames > 0) {
            announced = true;
            Ready();
        }
    }
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    std::fclose(data);
    std::fclose(times);
    return 0;
}

struct Watch {
    PulseLoop* Loop;
    std::string Sink;
    FILE* Out;
    uint32_t Index = PA_INVALID_INDEX;
    int Pending = 0;
    std::optional<pa_cvolume> Last;
};

void QueryVolume(Watch& w) {
    ++w.Pending;
    pa_operation* op = pa_context_get_sink_info_by_name(
        w.Loop->Context(), w.Sink.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto* w = static_cast<Watch*>(userdata);
            if (eol != 0 || !info) {
                if (eol != 0) {
                    --w->Pending;
                }
                return;
            }
            w->Index = info->index;
            // Sinks announce other changes too (state, latency): only a new
            // volume is a line.
            if (w->Last && pa_cvolume_equal(&*w->Last, &info->volume)) {
                return;
            }
            w->Last = info->volume;
            std::fprintf(w->Out, "%lld", static_cast<long long>(MonotonicNs()));
            for (unsigned i = 0; i < info->volume.channels; ++i) {
                std::fprintf(w->Out, " %u", info->volume.values[i]);
            }
            std::fprintf(w->Out, "\n");
            std::fflush(w->Out);
        },
        &w);
    if (op) {
        pa_operation_unref(op);
    }
}

int WatchVolume(const char* sink, const std::string& path) {
    PulseLoop loop("dormix-probe-watch");
    Watch w{&loop, sink, std::fopen(path.c_str(), "w"), PA_INVALID_INDEX, 0, std::nullopt};
    if (!w.Out) {
        return 2;
    }
    pa_context_set_subscribe_callback(
        loop.Context(),
        [](pa_context*, pa_subscription_event_type_t type, uint32_t index, void* userdata) {
            auto* w = static_cast<Watch*>(userdata);
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK &&
                index == w->Index) {
                QueryVolume(*w);
            }
        },
        &w);
    loop.Wait(pa_context_subscribe(loop.Context(), PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr),
              "subscribe");
    QueryVolume(w);
    if (!loop.RunUntil([&w] { return w.Pending == 0; }, 5000) || w.Index == PA_INVALID_INDEX) {
        return 3;
    }
    Ready();
    while (!gStop && loop.Iterate(20)) {
    }
    // Let answers already asked for arrive.
    loop.RunUntil([&w] { return w.Pending == 0; }, 500);
    std::fclose(w.Out);
    return 0;
}

int SetVolume(const char* sink, int delayMs, char** values, int count) {
    PulseLoop loop("dormix-probe-set");
    pa_cvolume cv;
    pa_cvolume_init(&cv);
    cv.channels = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        cv.values[i] = static_cast<pa_volume_t>(std::strtoul(values[i], nullptr, 10));
    }
    Ready();
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (gStop) {
        return 1;
    }
    loop.Wait(pa_context_set_sink_volume_by_name(loop.Context(), sink, &cv, nullptr, nullptr),
              "set volume");
    return 0;
}

int Signal(pid_t pid, int sig, int delayMs) {
    Ready();
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (gStop) {
        return 1;
    }
    return kill(pid, sig) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "record" && argc == 4) {
            return Record(argv[2], argv[3]);
        }
        if (command == "watch" && argc == 4) {
            return WatchVolume(argv[2], argv[3]);
        }
        if (command == "set-volume" && argc >= 5) {
            return SetVolume(argv[2], std::atoi(argv[3]), argv + 4, argc - 4);
        }
        if (command == "signal" && argc == 5) {
            return Signal(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dormix_pulse_probe: %s\n", e.what());
        return 4;
    }
    std::fprintf(stderr, "usage: dormix_pulse_probe record|watch|set-volume|signal ...\n");
    return 1;
}
