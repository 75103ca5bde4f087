#include "Probes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace dormix::test {

namespace {
constexpr int kRecordRate = 44100;
constexpr int kRecordChannels = 2;
} // namespace

std::int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string MakeTempFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    chmod(pattern.c_str(), 0700);
    return pattern;
}

// ---- child processes ----

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::optional<std::string>& readyLine) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargv;
    for (auto& a : args) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv.at(0));
    }
    Pid_ = pid;
    Stdout_ = pipeFds[0];
    if (!readyLine) {
        return;
    }
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.find(*readyLine + "\n") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{Stdout_, POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 ||
            (n = read(Stdout_, buffer, sizeof buffer)) <= 0) {
            Stop();
            throw std::runtime_error(argv.at(0) + " did not become ready");
        }
        seen.append(buffer, static_cast<std::size_t>(n));
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : Pid_(other.Pid_), Stdout_(other.Stdout_) {
    other.Pid_ = -1;
    other.Stdout_ = -1;
}

ChildProcess::~ChildProcess() {
    Stop();
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
    if (Pid_ <= 0) {
        return std::nullopt;
    }
    for (int waited = 0;; waited += 5) {
        int status = 0;
        if (waitpid(Pid_, &status, WNOHANG) == Pid_) {
            Pid_ = -1;
            if (Stdout_ >= 0) {
                close(Stdout_);
                Stdout_ = -1;
            }
            return status;
        }
        if (waited >= timeoutMs) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int ChildProcess::Stop() {
    if (Pid_ <= 0) {
        return -1;
    }
    kill(Pid_, SIGTERM);
    auto status = Wait(5000);
    if (!status) {
        kill(Pid_, SIGKILL);
        status = Wait(5000);
    }
    return status.value_or(-1);
}

// ---- recordings ----

float Recording::Peak() const {
    float peak = 0;
    for (float s : Samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

std::optional<std::size_t> Recording::FirstAudible(float threshold) const {
    for (std::size_t i = 0; i < Samples.size(); ++i) {
        if (std::fabs(Samples[i]) > threshold) {
            return i / static_cast<std::size_t>(Channels);
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> Recording::EndOfAudible(float threshold) const {
    for (std::size_t i = Samples.size(); i-- > 0;) {
        if (std::fabs(Samples[i]) > threshold) {
            return i / static_cast<std::size_t>(Channels) + 1;
        }
    }
    return std::nullopt;
}

double Recording::Frequency(std::size_t from, std::size_t to) const {
    to = std::min(to, Frames());
    if (to <= from + 1) {
        return 0;
    }
    std::size_t crossings = 0;
    for (std::size_t f = from + 1; f < to; ++f) {
        const float a = Samples[(f - 1) * Channels];
        const float b = Samples[f * Channels];
        if ((a < 0 && b >= 0) || (a >= 0 && b < 0)) {
            ++crossings;
        }
    }
    return crossings / 2.0 * Rate / static_cast<double>(to - from);
}

void Recording::AnchorBefore(std::int64_t ns) {
    std::int64_t start = std::numeric_limits<std::int64_t>::max();
    for (const auto& [arrival, frames] : Chunks) {
        if (arrival < ns) {
            start = std::min(start, arrival - frames * 1000000000 / Rate);
        }
    }
    if (start != std::numeric_limits<std::int64_t>::max()) {
        StartNs = start;
    }
}

std::int64_t Recording::TimeOfFrameNs(std::size_t frame) const {
    return StartNs + static_cast<std::int64_t>(static_cast<double>(frame) * 1e9 / Rate);
}

MonitorRecorder::MonitorRecorder(const std::string& source)
    : Folder_(MakeTempFolder("dormix-rec")), DataFile_(Folder_ + "/data.raw"),
      Child_({DORMIX_PULSE_PROBE, "record", source, DataFile_}, "ready") {}

Recording MonitorRecorder::Stop() {
    Child_.Stop();
    Recording r;
    r.Rate = kRecordRate;
    r.Channels = kRecordChannels;
    {
        std::ifstream data(DataFile_, std::ios::binary);
        data.seekg(0, std::ios::end);
        const auto bytes = static_cast<std::size_t>(data.tellg());
        data.seekg(0);
        r.Samples.resize(bytes / sizeof(float));
        data.read(reinterpret_cast<char*>(r.Samples.data()),
                  static_cast<std::streamsize>(r.Samples.size() * sizeof(float)));
    }
    // Each chunk arrived after it was rendered: the earliest arrival less the
    // length of what came before it is the best estimate of frame 0's time.
    std::ifstream times(DataFile_ + ".t");
    std::int64_t arrival = 0, frames = 0;
    while (times >> arrival >> frames) {
        r.Chunks.emplace_back(arrival, frames);
    }
    r.AnchorBefore(std::numeric_limits<std::int64_t>::max());
    std::filesystem::remove_all(Folder_);
    return r;
}

VolumeWatcher::VolumeWatcher(const std::string& sink)
    : Folder_(MakeTempFolder("dormix-vol")), DataFile_(Folder_ + "/volume.txt"),
      Child_({DORMIX_PULSE_PROBE, "watch", sink, DataFile_}, "ready") {}

std::vector<VolumeSample> VolumeWatcher::Stop() {
    Child_.Stop();
    std::vector<VolumeSample> samples;
    std::ifstream in(DataFile_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        VolumeSample s{};
        fields >> s.TimeNs;
        std::uint32_t v = 0;
        while (fields >> v) {
            s.Channels.push_back(v);
        }
        samples.push_back(std::move(s));
    }
    std::filesystem::remove_all(Folder_);
    return samples;
}

ChildProcess SetSinkVolumeLater(const std::string& sink, int delayMs,
                                const std::vector<std::uint32_t>& volume) {
    std::vector<std::string> argv = {DORMIX_PULSE_PROBE, "set-volume", sink,
                                     std::to_string(delayMs)};
    for (auto v : volume) {
        argv.push_back(std::to_string(v));
    }
    return ChildProcess(argv, "ready");
}

ChildProcess SignalLater(pid_t pid, int signal, int delayMs) {
    return ChildProcess({DORMIX_PULSE_PROBE, "signal", std::to_string(pid), std::to_string(signal),
                         std::to_string(delayMs)},
                        "ready");
}

// ---- sound files ----

void WriteSine(const std::string& path, double seconds, double frequency, int rate, int channels,
               double amplitude, int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format ? format : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    }
    const auto frames = static_cast<sf_count_t>(std::llround(seconds * rate));
    std::vector<float> chunk;
    constexpr sf_count_t kChunk = 8192;
    for (sf_count_t start = 0; start < frames; start += kChunk) {
        const sf_count_t n = std::min(kChunk, frames - start);
        chunk.assign(static_cast<std::size_t>(n * channels), 0.0f);
        for (sf_count_t f = 0; f < n; ++f) {
            const double t = static_cast<double>(start + f) / rate;
            const auto v = static_cast<float>(amplitude * std::sin(2 * M_PI * frequency * t));
            for (int c = 0; c < channels; ++c) {
                chunk[static_cast<std::size_t>(f * channels + c)] = v;
            }
        }
        sf_writef_float(file, chunk.data(), n);
    }
    sf_close(file);
}

} // namespace dormix::test
