// A private PulseAudio server with null sinks for tests, plus a second client
// to look at it and helpers that record what its sinks played.
//
// Each server lives in its own fresh folder (HOME and XDG_RUNTIME_DIR, both
// 0700), so tests running in parallel never share one. While a PulseServer
// exists, the test process's environment points every libpulse client at it
// (PULSE_SERVER and friends); Environment() gives the same settings for a
// child process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dormix::test {

struct NullSink {
    std::string Name;
    // Extra module-null-sink arguments, e.g. "channels=1" or
    // "channel_map=front-left,front-right,lfe channels=3".
    std::string Options;
};

class PulseServer {
public:
    // `sinks` null sinks named s0, s1, ...; s0 is the default sink.
    explicit PulseServer(int sinks = 2);
    // The given null sinks, loaded in this order (ascending sink index); the
    // first is the default sink.
    explicit PulseServer(std::vector<NullSink> sinks);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Stops the server by its PID and waits for it (the folder is kept).
    void Stop();
    // Starts it again in the same folder with the same sinks; throws
    // std::runtime_error when it does not answer within a few seconds.
    void Start();
    bool Running() const { return Pid_ > 0; }
    pid_t Pid() const { return Pid_; }

    const std::string& Folder() const { return Folder_; }
    const std::string& RuntimeDir() const { return RuntimeDir_; }
    // "unix:<runtime dir>/pulse/native"
    std::string Address() const;
    // Variables a child process needs to use this server.
    std::vector<std::pair<std::string, std::string>> Environment() const;

    const std::string& SinkName(std::size_t i) const { return Sinks_.at(i).Name; }
    std::string MonitorName(std::size_t i) const { return SinkName(i) + ".monitor"; }

private:
    void SetEnvironment();
    void RestoreEnvironment();

    std::vector<NullSink> Sinks_;
    std::string Folder_, HomeDir_, RuntimeDir_;
    pid_t Pid_ = -1;
    std::vector<std::pair<std::string, std::optional<std::string>>> SavedEnv_;
};

// A second client for the test process: reads and changes sinks directly.
// Every call throws std::runtime_error when the server does not answer.
class PulseClient {
public:
    PulseClient();
    ~PulseClient();
    PulseClient(const PulseClient&) = delete;
    PulseClient& operator=(const PulseClient&) = delete;

    // Raw channel volumes (PA_VOLUME_NORM = 65536 is 100 %).
    std::vector<std::uint32_t> SinkVolume(const std::string& sink);
    void SetSinkVolume(const std::string& sink, const std::vector<std::uint32_t>& volume);
    std::string DefaultSink();
    void SetDefaultSink(const std::string& sink);
    // Sink names in ascending sink index.
    std::vector<std::string> Sinks();

    struct Impl;

private:
    std::unique_ptr<Impl> Impl_;
};

} // namespace dormix::test
