// Soak: the installed program runs for ten minutes (DORMIX_SOAK_SECONDS, 600
// by default) on a private X display with a window manager and a tray, with
// an alarm due every eight seconds, sounding on a private PulseAudio server.
// The sink's monitor is recorded for the whole run and the sound bursts are
// counted:
//   - every alarm sounds, once, and nothing else does;
//   - the first alarm comes four to five seconds after its due time (its
//     distance is counted from the start-up moment, the countdown from the
//     first tick five seconds later); the second comes eight seconds after
//     the first sound ended (the period changed, so the countdown restarted
//     then); every later one eight seconds after the previous one (the period
//     stayed the same, so the timer kept its rhythm);
// So every alarm of the run sounds about five and a half seconds late; an
// alarm due while the previous one has not yet sounded would be moved on
// unplayed, hence eight seconds between alarms rather than five.
//   - the resident memory, sampled every 30 s, does not grow.
// Each alarm's lateness is printed as "SOAK alarm <n> due_late_ms=<ms>".
#include "AlarmFile.h"
#include "Alarms.h"
#include "DateTime.h"
#include "Probes.h"
#include "PulseServer.h"
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace dormix;
using namespace dormix::test;

namespace {

constexpr const char* kLocale = "en_GB.UTF-8";
constexpr const char* kCaption = "Dormix Version 1.1.0.0";
constexpr int kSpacingSeconds = 8;
constexpr int kFirstAlarmAfterSeconds = 15;
constexpr double kToneSeconds = 0.3;
constexpr int kRate = 44100; // the probe records 44100 Hz stereo float
constexpr int kChannels = 2;
constexpr float kThreshold = 0.01f;

int SoakSeconds() {
    const char* text = std::getenv("DORMIX_SOAK_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 600;
    return std::max(seconds, kFirstAlarmAfterSeconds + 4 * kSpacingSeconds);
}

std::int64_t WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

// VmRSS of a process in kB, 0 when it cannot be read.
long RssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

struct Burst {
    std::int64_t firstFrame;
    std::int64_t endFrame;
    std::int64_t startNs = 0; // monotonic
    std::int64_t endNs = 0;
};

// The bursts in a raw recording (float32 stereo), found by streaming through
// it: a burst starts at a loud sample after at least half a second of silence.
std::vector<Burst> FindBursts(const std::string& dataFile) {
    std::ifstream in(dataFile, std::ios::binary);
    std::vector<float> block(static_cast<std::size_t>(kRate * kChannels));
    std::vector<Burst> bursts;
    std::int64_t frame = 0;
    std::int64_t lastLoud = std::numeric_limits<std::int64_t>::min() / 2;
    while (in) {
        in.read(reinterpret_cast<char*>(block.data()),
                static_cast<std::streamsize>(block.size() * sizeof(float)));
        const auto frames = static_cast<std::int64_t>(in.gcount()) /
                            static_cast<std::int64_t>(sizeof(float) * kChannels);
        for (std::int64_t f = 0; f < frames; ++f, ++frame) {
            const float left = block[static_cast<std::size_t>(f * kChannels)];
            const float right = block[static_cast<std::size_t>(f * kChannels + 1)];
            if (std::fabs(left) <= kThreshold && std::fabs(right) <= kThreshold)
                continue;
            if (frame - lastLoud > kRate / 2)
                bursts.push_back({frame, frame + 1});
            bursts.back().endFrame = frame + 1;
            lastLoud = frame;
        }
    }
    return bursts;
}

// Monotonic time of a frame, anchored on the chunks that arrived in the three
// seconds before it: while a stream plays, a sink renders ahead of time, so
// the idle stretch before a sound tells when its frames are due.
std::int64_t FrameTimeNs(const std::vector<std::pair<std::int64_t, std::int64_t>>& chunks,
                         std::int64_t frame) {
    std::int64_t start = std::numeric_limits<std::int64_t>::max();
    for (const auto& [arrival, framesSoFar] : chunks) {
        if (framesSoFar > frame)
            break;
        if (framesSoFar >= frame - 3 * kRate)
            start = std::min(start, arrival - framesSoFar * 1000000000 / kRate);
    }
    if (start == std::numeric_limits<std::int64_t>::max())
        return 0;
    return start + frame * 1000000000 / kRate;
}

} // namespace

TEST(Soak, EveryAlarmSoundsOnTimeAndMemoryStaysFlat) {
    const int soakSeconds = SoakSeconds();
    const std::string prefix = MakeTempFolder("dormix-soak");
    XDisplay x({.windowManager = true, .trayHost = true});
    int installed = -1;
    x.Run({DORMIX_CMAKE, "--install", DORMIX_BUILD_DIR, "--prefix", prefix}, &installed);
    ASSERT_EQ(installed, 0);
    const std::string exe = prefix + "/dormix";
    ASSERT_TRUE(fs::exists(exe));
    const std::string tone = prefix + "/tone.wav";
    WriteSine(tone, kToneSeconds, 880);

    PulseServer server(1);
    const std::string recordFolder = MakeTempFolder("dormix-soak-rec");
    const std::string dataFile = recordFolder + "/monitor.raw";
    ChildProcess recorder({DORMIX_PULSE_PROBE, "record", server.MonitorName(0), dataFile}, "ready");

    // An alarm every eight seconds, each on its own second and weekday, in the
    // locale the program runs in.
    ScopedLocale locale(kLocale);
    ASSERT_TRUE(locale.Ok()) << kLocale << " is not installed";
    const std::int64_t startMs = (WallMs() / 1000 + 1) * 1000;
    std::vector<std::int64_t> dueMs;
    for (int at = kFirstAlarmAfterSeconds; at <= soakSeconds; at += kSpacingSeconds)
        dueMs.push_back(startMs + at * 1000LL);
    std::vector<std::unique_ptr<TAlarm>> alarms;
    for (std::size_t i = 0; i < dueMs.size(); ++i) {
        const TDateTime due = EpochMsToLocal(dueMs[i]);
        auto alarm = std::make_unique<TAlarm>();
        alarm->Description = "Soak " + std::to_string(i);
        alarm->Time = due;
        alarm->Enabled = true;
        alarm->Days = {};
        alarm->Days[static_cast<std::size_t>(DayOfTheWeek(due) % 7)] = true;
        alarm->SoundFile = tone;
        alarms.push_back(std::move(alarm));
    }
    SaveAlarmFile(prefix + "/Dormis.ini", alarms);

    std::map<std::string, std::string> env = {{"LC_ALL", kLocale}};
    for (const auto& [name, value] : server.Environment())
        env[name] = value;
    const std::int64_t monoAtWall = MonotonicNs();
    const std::int64_t wallAtMono = WallMs();
    const auto toMono = [&](std::int64_t wallMs) {
        return monoAtWall + (wallMs - wallAtMono) * 1000000LL;
    };
    const pid_t pid = x.Spawn({exe}, env);
    ASSERT_NE(x.WaitForWindow(kCaption, 15s), 0u) << "no window named " << kCaption;

    // Runs until a few seconds after the last sound is expected, sampling the
    // resident memory every 30 s.
    const std::int64_t endMono = toMono(dueMs.back()) + 10'000'000'000LL;
    std::vector<std::pair<double, long>> rss; // seconds since start, kB
    std::int64_t nextSample = toMono(startMs) + 30'000'000'000LL;
    while (MonotonicNs() < endMono) {
        ASSERT_TRUE(x.Running(pid)) << "the program ended during the soak";
        if (MonotonicNs() >= nextSample) {
            rss.emplace_back((MonotonicNs() - toMono(startMs)) / 1e9, RssKb(pid));
            std::printf("SOAK rss t=%.0fs rss_kb=%ld\n", rss.back().first, rss.back().second);
            std::fflush(stdout);
            nextSample += 30'000'000'000LL;
        }
        std::this_thread::sleep_for(200ms);
    }

    x.Run({"wmctrl", "-c", kCaption});
    int status = -1;
    bool running = true;
    for (int i = 0; i < 100 && running; ++i) {
        running = x.Running(pid, &status);
        if (running)
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_FALSE(running) << "the program still runs after its window was closed";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;

    recorder.Stop();
    std::vector<std::pair<std::int64_t, std::int64_t>> chunks;
    {
        std::ifstream times(dataFile + ".t");
        std::int64_t arrival = 0, frames = 0;
        while (times >> arrival >> frames)
            chunks.emplace_back(arrival, frames);
    }
    std::vector<Burst> bursts = FindBursts(dataFile);
    fs::remove_all(recordFolder);
    fs::remove_all(prefix);
    for (Burst& b : bursts) {
        b.startNs = FrameTimeNs(chunks, b.firstFrame);
        b.endNs = b.startNs + (b.endFrame - b.firstFrame) * 1000000000 / kRate;
    }

    for (std::size_t i = 0; i < bursts.size(); ++i)
        std::printf("SOAK sound %zu at %+.3f s from the first due time, %.3f s long\n", i,
                    (bursts[i].startNs - toMono(dueMs.front())) / 1e9,
                    (bursts[i].endNs - bursts[i].startNs) / 1e9);
    // Every alarm once, and nothing else.
    ASSERT_EQ(bursts.size(), dueMs.size()) << "sounds heard vs alarms due";
    std::vector<double> lateMs;
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        const Burst& b = bursts[i];
        SCOPED_TRACE("alarm " + std::to_string(i));
        const double late = (b.startNs - toMono(dueMs[i])) / 1e6;
        lateMs.push_back(late);
        std::printf("SOAK alarm %zu due_late_ms=%.0f length_ms=%.0f\n", i, late,
                    (b.endNs - b.startNs) / 1e6);
        EXPECT_NEAR((b.endNs - b.startNs) / 1e9, kToneSeconds, 0.1) << "sound length";
        if (i == 0) {
            EXPECT_GE(late, 3800);
            EXPECT_LE(late, 5500);
            continue;
        }
        // When it should come by the timer's rules: eight seconds after the end
        // of the first sound, then eight seconds after each previous sound.
        const std::int64_t expected =
            (i == 1 ? bursts[0].endNs : bursts[i - 1].startNs) + kSpacingSeconds * 1000000000LL;
        EXPECT_NEAR((b.startNs - expected) / 1e9, 0.0, 1.0) << "late by " << late << " ms";
    }
    std::fflush(stdout);

    // Memory: after a minute of warm-up, the last samples stay within 2 MB of
    // the first one.
    std::vector<long> settled;
    for (const auto& [t, kb] : rss)
        if (t >= 60)
            settled.push_back(kb);
    if (settled.size() >= 4) {
        const long first = settled.front();
        for (std::size_t i = settled.size() - 3; i < settled.size(); ++i)
            EXPECT_LE(settled[i], first + 2048)
                << "resident memory grew from " << first << " kB to " << settled[i] << " kB";
    } else {
        std::printf("SOAK rss: run too short for the memory check (%zu samples after warm-up)\n",
                    settled.size());
    }
}
