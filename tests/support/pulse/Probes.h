// Watching a sound server from outside the test process. A call under test
// blocks the test's only thread for the length of a sound, so the recording
// of a sink's monitor and the watch on a sink's volume run in a helper
// process (dormix_pulse_probe) that uses the server from the environment.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dormix::test {

// Monotonic clock (CLOCK_MONOTONIC) in nanoseconds, shared by all processes.
std::int64_t MonotonicNs();

// A running child process; stopped with SIGTERM (SIGKILL after a grace
// period) and reaped when Stop() is called or the object goes.
class ChildProcess {
public:
    // Starts argv[0] (searched in PATH) with the current environment. When
    // readyLine is set, waits up to 10 s for the child to print that line on
    // its standard output; throws std::runtime_error otherwise.
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const std::optional<std::string>& readyLine = std::nullopt);
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return Pid_; }
    // Sends SIGTERM, waits, returns the exit status as waitpid reports it.
    int Stop();
    // Waits for the child to end by itself (up to timeoutMs); its status, or
    // nothing on timeout.
    std::optional<int> Wait(int timeoutMs);

private:
    pid_t Pid_ = -1;
    int Stdout_ = -1;
};

// What a sink played, as its monitor recorded it: 32-bit float, interleaved.
struct Recording {
    int Rate = 0;
    int Channels = 0;
    std::vector<float> Samples;
    // Arrival of each recorded chunk: monotonic ns, frames recorded so far.
    std::vector<std::pair<std::int64_t, std::int64_t>> Chunks;
    // Estimated monotonic time (ns) of frame 0: the earliest arrival less the
    // length of what came before it.
    std::int64_t StartNs = 0;
    // Re-estimates StartNs from the chunks that arrived before `ns` only. A
    // sink renders ahead of time while a stream plays; anchored on the idle
    // time before a sound, frame times are the times the frames are due.
    void AnchorBefore(std::int64_t ns);

    std::size_t Frames() const { return Channels ? Samples.size() / Channels : 0; }
    float Peak() const;
    // First frame / one past the last frame with a sample above threshold.
    std::optional<std::size_t> FirstAudible(float threshold) const;
    std::optional<std::size_t> EndOfAudible(float threshold) const;
    // Frequency of channel 0 between two frames, from its zero crossings.
    double Frequency(std::size_t from, std::size_t to) const;
    std::int64_t TimeOfFrameNs(std::size_t frame) const;
};

// Records a source (a sink's monitor, "<sink>.monitor") from construction
// until Stop(), at 44100 Hz stereo.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const std::string& source);
    Recording Stop();

private:
    std::string Folder_;
    std::string DataFile_;
    ChildProcess Child_;
};

// One observed state of a sink's volume.
struct VolumeSample {
    std::int64_t TimeNs;
    std::vector<std::uint32_t> Channels; // raw, PA_VOLUME_NORM = 100 %
};

// Watches a sink's volume from construction until Stop(): the value at the
// start, then the value after every change the server announces.
class VolumeWatcher {
public:
    explicit VolumeWatcher(const std::string& sink);
    std::vector<VolumeSample> Stop();

private:
    std::string Folder_;
    std::string DataFile_;
    ChildProcess Child_;
};

// Sets a sink's channel volumes from a helper process after delayMs: stands
// for another program changing the volume while a sound plays.
ChildProcess SetSinkVolumeLater(const std::string& sink, int delayMs,
                                const std::vector<std::uint32_t>& volume);

// Sends `signal` to `pid` after delayMs, from a helper process.
ChildProcess SignalLater(pid_t pid, int signal, int delayMs);

// Writes a sine-wave sound file with libsndfile (format: SF_FORMAT_* major |
// subtype; default 16-bit PCM WAV).
void WriteSine(const std::string& path, double seconds, double frequency, int rate = 44100,
               int channels = 1, double amplitude = 0.5, int format = 0);

// A fresh private temporary folder (0700) under TMPDIR or /tmp.
std::string MakeTempFolder(const std::string& prefix);

} // namespace dormix::test
