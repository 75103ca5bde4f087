// Latency of synchronous playback, seen on a null sink's monitor: from the
// call to the first audible sample, and from the last audible sample to the
// call's return. Runs its own private PulseAudio server.
//
// Reported per iteration (manual time = call to first sample) and as median
// and maximum counters in milliseconds. Targets: first sample within 100 ms,
// return within 150 ms of the end.
#include "Probes.h"
#include "PulseServer.h"
#include "WaveOut.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

using namespace dormix;
using namespace dormix::test;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Latency(benchmark::State& state, int device) {
    PulseServer server(2);
    const std::string folder = MakeTempFolder("dormix-bench");
    const std::string file = folder + "/tone.wav";
    WriteSine(file, 0.5, 440);
    std::vector<double> first, end;
    for (auto _ : state) {
        MonitorRecorder monitor(server.MonitorName(device < 0 ? 0 : device));
        // Some idle recording first, to anchor the monitor's frames in time.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::int64_t called = MonotonicNs();
        const bool played = device < 0
                                ? PlaySoundA(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT)
                                : PlaySoundOnDevice(file.c_str(), device);
        const std::int64_t returned = MonotonicNs();
        Recording r = monitor.Stop();
        r.AnchorBefore(called);
        const auto a = r.FirstAudible(0.01f), b = r.EndOfAudible(0.01f);
        if (!played || !a || !b) {
            state.SkipWithError("the sound did not reach the monitor");
            break;
        }
        const double toFirst = (r.TimeOfFrameNs(*a) - called) / 1e9;
        const double afterEnd = (returned - r.TimeOfFrameNs(*b)) / 1e9;
        first.push_back(toFirst * 1e3);
        end.push_back(afterEnd * 1e3);
        state.SetIterationTime(std::max(toFirst, 0.0));
    }
    std::filesystem::remove_all(folder);
    state.counters["first_sample_ms_median"] = Median(first);
    state.counters["first_sample_ms_max"] =
        first.empty() ? 0 : *std::max_element(first.begin(), first.end());
    state.counters["return_after_end_ms_median"] = Median(end);
    state.counters["return_after_end_ms_min"] =
        end.empty() ? 0 : *std::min_element(end.begin(), end.end());
    state.counters["return_after_end_ms_max"] =
        end.empty() ? 0 : *std::max_element(end.begin(), end.end());
}

// Peak memory while a long file streams: 5 s of 8-channel float at 192 kHz,
// about 30 MB once decoded. Manual time = the call's length.
void StreamingMemory(benchmark::State& state) {
    PulseServer server(1);
    const std::string folder = MakeTempFolder("dormix-bench");
    const std::string file = folder + "/big.wav";
    WriteSine(file, 5.0, 440, 192000, 8, 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    long grownKb = 0;
    for (auto _ : state) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        PlaySoundA(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        getrusage(RUSAGE_SELF, &after);
        grownKb = std::max(grownKb, after.ru_maxrss - before.ru_maxrss);
    }
    std::filesystem::remove_all(folder);
    state.counters["decoded_kB"] = 5.0 * 192000 * 8 * 4 / 1024;
    state.counters["peak_rss_growth_kB"] = static_cast<double>(grownKb);
}

} // namespace

BENCHMARK(StreamingMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Latency, default_device, WAVE_MAPPER)
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Latency, device_1, 1)
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
