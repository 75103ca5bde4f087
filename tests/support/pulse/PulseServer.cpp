#include "PulseServer.h"

#include "Probes.h"
#include "PulseLoop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace dormix::test {

namespace {

std::vector<NullSink> NumberedSinks(int count) {
    std::vector<NullSink> sinks;
    for (int i = 0; i < count; ++i) {
        sinks.push_back({"s" + std::to_string(i), ""});
    }
    return sinks;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

PulseServer::PulseServer(int sinks) : PulseServer(NumberedSinks(sinks)) {}

PulseServer::PulseServer(std::vector<NullSink> sinks) : Sinks_(std::move(sinks)) {
    Folder_ = MakeTempFolder("dormix-pulse");
    HomeDir_ = Folder_ + "/home";
    RuntimeDir_ = Folder_ + "/run";
    for (const auto& dir : {HomeDir_, RuntimeDir_}) {
        if (mkdir(dir.c_str(), 0700) != 0) {
            throw std::runtime_error("cannot create " + dir);
        }
    }
    // An empty client configuration: nothing from the user's own settings.
    std::ofstream(Folder_ + "/client.conf").flush();
    SetEnvironment();
    try {
        Start();
    } catch (...) {
        Stop();
        RestoreEnvironment();
        std::filesystem::remove_all(Folder_);
        throw;
    }
}

PulseServer::~PulseServer() {
    Stop();
    RestoreEnvironment();
    std::error_code ignored;
    std::filesystem::remove_all(Folder_, ignored);
}

std::string PulseServer::Address() const {
    return "unix:" + RuntimeDir_ + "/pulse/native";
}

std::vector<std::pair<std::string, std::string>> PulseServer::Environment() const {
    return {
        {"PULSE_SERVER", Address()},
        {"XDG_RUNTIME_DIR", RuntimeDir_},
        {"PULSE_CLIENTCONFIG", Folder_ + "/client.conf"},
        {"PULSE_COOKIE", HomeDir_ + "/.config/pulse/cookie"},
    };
}

void PulseServer::SetEnvironment() {
    for (const auto& [name, value] : Environment()) {
        const char* old = std::getenv(name.c_str());
        SavedEnv_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }
}

void PulseServer::RestoreEnvironment() {
    for (const auto& [name, value] : SavedEnv_) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    SavedEnv_.clear();
}

void PulseServer::Start() {
    if (Running()) {
        return;
    }
    std::vector<std::string> args = {
        "pulseaudio",        "-n",
        "--daemonize=no",    "--exit-idle-time=-1",
        "--use-pid-file=no", "--log-target=file:" + Folder_ + "/server.log"};
    for (const auto& sink : Sinks_) {
        args.push_back("--load=module-null-sink sink_name=" + sink.Name + " norewinds=1 " +
                       sink.Options);
    }
    args.push_back("--load=module-native-protocol-unix");

    // The server's own environment: the private folders, nothing else of ours.
    std::vector<std::string> env = {"HOME=" + HomeDir_, "XDG_RUNTIME_DIR=" + RuntimeDir_,
                                    "XDG_CONFIG_HOME=" + HomeDir_ + "/.config",
                                    std::string("PATH=") +
                                        (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin")};
    std::vector<char*> argv, envp;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (Folder_ + "/stderr.log").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start pulseaudio");
    }
    Pid_ = pid;

    // Wait until it answers, then pin the default sink to the first one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        int status = 0;
        if (waitpid(Pid_, &status, WNOHANG) == Pid_) {
            Pid_ = -1;
            throw std::runtime_error("pulseaudio exited at start; see " + Folder_);
        }
        try {
            PulseClient client;
            if (client.Sinks().size() == Sinks_.size()) {
                if (!Sinks_.empty()) {
                    client.SetDefaultSink(Sinks_.front().Name);
                }
                return;
            }
        } catch (const std::runtime_error&) {
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("pulseaudio does not answer; see " + Folder_);
        }
        SleepMs(20);
    }
}

void PulseServer::Stop() {
    if (!Running()) {
        return;
    }
    kill(Pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(Pid_, nullptr, WNOHANG) == Pid_) {
            Pid_ = -1;
            return;
        }
        SleepMs(10);
    }
    kill(Pid_, SIGKILL);
    waitpid(Pid_, nullptr, 0);
    Pid_ = -1;
}

// ---- second client ----

struct PulseClient::Impl {
    PulseLoop Loop{"dormix-test-client", 2000};
};

PulseClient::PulseClient() : Impl_(std::make_unique<Impl>()) {}
PulseClient::~PulseClient() = default;

namespace {

struct SinkQuery {
    bool Found = false;
    pa_cvolume Volume{};
    pa_channel_map Map{};
};

SinkQuery QuerySink(PulseLoop& loop, const std::string& sink) {
    SinkQuery query;
    loop.Wait(pa_context_get_sink_info_by_name(
                  loop.Context(), sink.c_str(),
                  [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                      if (eol == 0 && info) {
                          auto* q = static_cast<SinkQuery*>(userdata);
                          q->Found = true;
                          q->Volume = info->volume;
                          q->Map = info->channel_map;
                      }
                  },
                  &query),
              "sink info");
    if (!query.Found) {
        throw std::runtime_error("no sink " + sink);
    }
    return query;
}

void StoreSuccess(pa_context*, int success, void* userdata) {
    *static_cast<int*>(userdata) = success;
}

} // namespace

std::vector<std::uint32_t> PulseClient::SinkVolume(const std::string& sink) {
    const SinkQuery q = QuerySink(Impl_->Loop, sink);
    return std::vector<std::uint32_t>(q.Volume.values, q.Volume.values + q.Volume.channels);
}

void PulseClient::SetSinkVolume(const std::string& sink, const std::vector<std::uint32_t>& volume) {
    pa_cvolume cv;
    pa_cvolume_init(&cv);
    cv.channels = static_cast<std::uint8_t>(volume.size());
    for (std::size_t i = 0; i < volume.size(); ++i) {
        cv.values[i] = volume[i];
    }
    int success = 0;
    Impl_->Loop.Wait(pa_context_set_sink_volume_by_name(Impl_->Loop.Context(), sink.c_str(), &cv,
                                                        StoreSuccess, &success),
                     "set sink volume");
    if (!success) {
        throw std::runtime_error("cannot set the volume of " + sink);
    }
}

std::string PulseClient::DefaultSink() {
    std::string name;
    Impl_->Loop.Wait(pa_context_get_server_info(
                         Impl_->Loop.Context(),
                         [](pa_context*, const pa_server_info* info, void* userdata) {
                             if (info && info->default_sink_name) {
                                 *static_cast<std::string*>(userdata) = info->default_sink_name;
                             }
                         },
                         &name),
                     "server info");
    return name;
}

void PulseClient::SetDefaultSink(const std::string& sink) {
    int success = 0;
    Impl_->Loop.Wait(
        pa_context_set_default_sink(Impl_->Loop.Context(), sink.c_str(), StoreSuccess, &success),
        "set default sink");
    if (!success) {
        throw std::runtime_error("cannot make " + sink + " the default sink");
    }
}

std::vector<std::string> PulseClient::Sinks() {
    std::vector<std::pair<std::uint32_t, std::string>> found;
    Impl_->Loop.Wait(pa_context_get_sink_info_list(
                         Impl_->Loop.Context(),
                         [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                             if (eol == 0 && info) {
                                 static_cast<decltype(found)*>(userdata)->emplace_back(info->index,
                                                                                       info->name);
                             }
                         },
                         &found),
                     "sink list");
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [index, name] : found) {
        names.push_back(name);
    }
    return names;
}

} // namespace dormix::test
