#include "WaveOut.h"

#include "PulseConnection.h"

#include <pulse/channelmap.h>
#include <pulse/introspect.h>
#include <pulse/sample.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace dormix {

using wave::Clock;
using wave::PulseConnection;

struct WaveOutDevice {
    std::unique_ptr<PulseConnection> Connection;
    std::string Sink;
};

void WaveOutDeviceClose::operator()(WaveOutDevice* device) const noexcept {
    delete device;
}

namespace {

constexpr const char* kClientName = "Dormix";
// A local server answers in milliseconds; these only bound a server that
// stopped answering.
constexpr auto kConnectTimeout = std::chrono::milliseconds(1000);
constexpr auto kRequestTimeout = std::chrono::milliseconds(1000);
// Slack beyond a sound's own length before playback is given up.
constexpr auto kPlaybackSlack = std::chrono::seconds(5);
// The server-side buffer a playing sound keeps filled, and the size of one
// read from the file.
constexpr double kBufferSeconds = 0.25;
constexpr sf_count_t kChunkFrames = 4096;

std::unique_ptr<PulseConnection> Connect() {
    auto connection = std::make_unique<PulseConnection>(kClientName, kConnectTimeout);
    if (!connection->Ready()) {
        return nullptr;
    }
    return connection;
}

Clock::time_point RequestDeadline() {
    return Clock::now() + kRequestTimeout;
}

struct SinkEntry {
    std::uint32_t Index;
    std::string Name;
};

// The server's sinks in ascending index: device i is entry i.
std::optional<std::vector<SinkEntry>> ListSinks(PulseConnection& connection) {
    struct Result {
        std::vector<SinkEntry> Sinks;
        bool Failed = false;
    } result;
    pa_operation* op = pa_context_get_sink_info_list(
        connection.Context(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto* r = static_cast<Result*>(userdata);
            if (eol < 0) {
                r->Failed = true;
            } else if (eol == 0 && info) {
                r->Sinks.push_back({info->index, info->name ? info->name : ""});
            }
        },
        &result);
    if (!connection.Wait(op, RequestDeadline()) || result.Failed) {
        return std::nullopt;
    }
    std::sort(result.Sinks.begin(), result.Sinks.end(),
              [](const SinkEntry& a, const SinkEntry& b) { return a.Index < b.Index; });
    return result.Sinks;
}

std::optional<std::string> DefaultSinkName(PulseConnection& connection) {
    std::optional<std::string> name;
    pa_operation* op = pa_context_get_server_info(
        connection.Context(),
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* n = static_cast<std::optional<std::string>*>(userdata);
            if (info && info->default_sink_name && *info->default_sink_name) {
                *n = info->default_sink_name;
            }
        },
        &name);
    if (!connection.Wait(op, RequestDeadline())) {
        return std::nullopt;
    }
    return name;
}

// The sink a device number stands for: entry `device` of the sink list, or
// the default sink for WAVE_MAPPER and numbers that name no sink.
std::optional<std::string> ResolveSink(PulseConnection& connection, std::int32_t device) {
    if (device >= 0) {
        const auto sinks = ListSinks(connection);
        if (!sinks) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(device) < sinks->size()) {
            return (*sinks)[static_cast<std::size_t>(device)].Name;
        }
    }
    return DefaultSinkName(connection);
}

struct SinkVolume {
    pa_cvolume Volume;
    pa_channel_map Map;
};

std::optional<SinkVolume> ReadSinkVolume(PulseConnection& connection, const std::string& sink) {
    struct Result {
        std::optional<SinkVolume> Value;
    } result;
    pa_operation* op = pa_context_get_sink_info_by_name(
        connection.Context(), sink.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            if (eol == 0 && info) {
                static_cast<Result*>(userdata)->Value = SinkVolume{info->volume, info->channel_map};
            }
        },
        &result);
    if (!connection.Wait(op, RequestDeadline())) {
        return std::nullopt;
    }
    return result.Value;
}

enum class Side { Left, Right, Other };

Side SideOf(pa_channel_position_t position) {
    switch (position) {
    case PA_CHANNEL_POSITION_FRONT_LEFT:
    case PA_CHANNEL_POSITION_REAR_LEFT:
    case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
    case PA_CHANNEL_POSITION_SIDE_LEFT:
    case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
    case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
        return Side::Left;
    case PA_CHANNEL_POSITION_FRONT_RIGHT:
    case PA_CHANNEL_POSITION_REAR_RIGHT:
    case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
    case PA_CHANNEL_POSITION_SIDE_RIGHT:
    case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
    case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
        return Side::Right;
    default:
        return Side::Other;
    }
}

// Left level: the loudest left channel; a sink without one reports its
// loudest channel on that side. Likewise for the right.
std::uint32_t WaveVolumeOf(const SinkVolume& sink) {
    pa_volume_t left = PA_VOLUME_MUTED, right = PA_VOLUME_MUTED, all = PA_VOLUME_MUTED;
    bool hasLeft = false, hasRight = false;
    for (unsigned i = 0; i < sink.Volume.channels; ++i) {
        const pa_volume_t v = sink.Volume.values[i];
        all = std::max(all, v);
        const Side side = i < sink.Map.channels ? SideOf(sink.Map.map[i]) : Side::Other;
        if (side == Side::Left) {
            left = std::max(left, v);
            hasLeft = true;
        } else if (side == Side::Right) {
            right = std::max(right, v);
            hasRight = true;
        }
    }
    const std::uint32_t l = WaveLevelFromPulseVolume(hasLeft ? left : all);
    const std::uint32_t r = WaveLevelFromPulseVolume(hasRight ? right : all);
    return l | (r << 16);
}

pa_cvolume PulseVolumeOf(std::uint32_t volume, const pa_channel_map& map) {
    const pa_volume_t left = PulseVolumeFromWaveLevel(static_cast<std::uint16_t>(volume & 0xFFFF));
    const pa_volume_t right = PulseVolumeFromWaveLevel(static_cast<std::uint16_t>(volume >> 16));
    pa_cvolume result;
    pa_cvolume_init(&result);
    result.channels = map.channels;
    for (unsigned i = 0; i < map.channels; ++i) {
        switch (SideOf(map.map[i])) {
        case Side::Left:
            result.values[i] = left;
            break;
        case Side::Right:
            result.values[i] = right;
            break;
        case Side::Other:
            result.values[i] = std::max(left, right);
            break;
        }
    }
    return result;
}

} // namespace

std::uint32_t PulseVolumeFromWaveLevel(std::uint16_t level) noexcept {
    // floor(level * NORM / 65535): every level but 65535 maps onto itself.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(level) * PA_VOLUME_NORM / 65535);
}

std::uint16_t WaveLevelFromPulseVolume(std::uint32_t volume) noexcept {
    if (volume >= PA_VOLUME_NORM) {
        return 65535;
    }
    // ceil(volume * 65535 / NORM), the inverse of the map above.
    return static_cast<std::uint16_t>(
        (static_cast<std::uint64_t>(volume) * 65535 + PA_VOLUME_NORM - 1) / PA_VOLUME_NORM);
}

std::uint32_t waveOutGetNumDevs() noexcept {
    try {
        const auto connection = Connect();
        if (!connection) {
            return 0;
        }
        const auto sinks = ListSinks(*connection);
        return sinks ? static_cast<std::uint32_t>(sinks->size()) : 0;
    } catch (...) {
        return 0;
    }
}

MMRESULT waveOutOpen(HWAVEOUT* handle, std::int32_t device, const WAVEFORMATEX* /*format*/,
                     std::uintptr_t callback, std::uintptr_t instance,
                     std::uint32_t flags) noexcept {
    if (!handle) {
        return MMSYSERR_INVALPARAM;
    }
    handle->reset();
    if (callback != 0 || instance != 0 || flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    try {
        auto connection = Connect();
        if (!connection) {
            return MMSYSERR_NODRIVER;
        }
        auto sink = ResolveSink(*connection, device);
        if (!sink) {
            return MMSYSERR_BADDEVICEID;
        }
        handle->reset(new WaveOutDevice{std::move(connection), std::move(*sink)});
        return MMSYSERR_NOERROR;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT waveOutClose(HWAVEOUT& handle) noexcept {
    if (!handle) {
        return MMSYSERR_INVALHANDLE;
    }
    handle.reset();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(const HWAVEOUT& handle, std::uint32_t* volume) noexcept {
    if (!handle) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!volume) {
        return MMSYSERR_INVALPARAM;
    }
    try {
        const auto sink = ReadSinkVolume(*handle->Connection, handle->Sink);
        if (!sink) {
            return MMSYSERR_NODRIVER;
        }
        *volume = WaveVolumeOf(*sink);
        return MMSYSERR_NOERROR;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT waveOutSetVolume(const HWAVEOUT& handle, std::uint32_t volume) noexcept {
    if (!handle) {
        return MMSYSERR_INVALHANDLE;
    }
    try {
        PulseConnection& connection = *handle->Connection;
        const auto sink = ReadSinkVolume(connection, handle->Sink);
        if (!sink) {
            return MMSYSERR_NODRIVER;
        }
        const pa_cvolume target = PulseVolumeOf(volume, sink->Map);
        bool succeeded = false;
        pa_operation* op = pa_context_set_sink_volume_by_name(
            connection.Context(), handle->Sink.c_str(), &target,
            [](pa_context*, int success, void* userdata) {
                *static_cast<bool*>(userdata) = success != 0;
            },
            &succeeded);
        if (!connection.Wait(op, RequestDeadline()) || !succeeded) {
            return MMSYSERR_NODRIVER;
        }
        return MMSYSERR_NOERROR;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

namespace {

struct SndfileClose {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

struct StreamRelease {
    void operator()(pa_stream* stream) const {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};

bool StreamGood(pa_stream* stream) {
    return PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
}

// Decodes the file in chunks and streams it to the sink (nullptr: the default
// sink), then waits until the server has played the last sample.
bool PlayFile(const char* path, std::optional<std::int32_t> device) {
    if (!path || !*path) {
        return false;
    }
    // Only regular files: opening a named pipe or a device could block.
    struct stat status {};
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileClose> file(sf_open(path, SFM_READ, &info));
    if (!file) {
        return false;
    }
    if (info.channels < 1 || info.channels > static_cast<int>(PA_CHANNELS_MAX) ||
        info.samplerate <= 0) {
        return false;
    }
    pa_sample_spec format{};
    format.format = PA_SAMPLE_FLOAT32NE;
    format.rate = static_cast<std::uint32_t>(info.samplerate);
    format.channels = static_cast<std::uint8_t>(info.channels);
    if (!pa_sample_spec_valid(&format)) {
        return false;
    }
    if (info.frames <= 0) {
        return true; // nothing to play
    }
    pa_channel_map map;
    if (!pa_channel_map_init_auto(&map, format.channels, PA_CHANNEL_MAP_DEFAULT)) {
        pa_channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);
    }

    const auto connection = Connect();
    if (!connection) {
        return false;
    }
    std::optional<std::string> sink;
    if (device && *device != WAVE_MAPPER) {
        sink = ResolveSink(*connection, *device);
        if (!sink) {
            return false;
        }
    }

    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    pa_proplist_sets(props, PA_PROP_MEDIA_FILENAME, path);
    std::unique_ptr<pa_stream, StreamRelease> stream(
        pa_stream_new_with_proplist(connection->Context(), "Alarm", &format, &map, props));
    pa_proplist_free(props);
    if (!stream) {
        return false;
    }
    const std::size_t frameBytes = pa_frame_size(&format);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(kBufferSeconds * PA_USEC_PER_SEC), &format));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(stream.get(), sink ? sink->c_str() : nullptr, &attr,
                                   PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
        return false;
    }
    pa_stream* s = stream.get();
    if (!connection->RunUntil([s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; },
                              Clock::now() + kConnectTimeout) ||
        pa_stream_get_state(s) != PA_STREAM_READY) {
        return false;
    }

    // The sound's own length bounds the whole playback, with some slack.
    const double seconds = static_cast<double>(info.frames) / info.samplerate;
    const auto deadline = Clock::now() +
                          std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(std::min(seconds, 7.0 * 24 * 3600))) +
                          kPlaybackSlack;

    std::vector<float> buffer(static_cast<std::size_t>(kChunkFrames) * format.channels);
    for (bool end = false; !end;) {
        const bool writable = connection->RunUntil(
            [s, frameBytes] {
                if (!StreamGood(s)) {
                    return true;
                }
                const std::size_t n = pa_stream_writable_size(s);
                return n != static_cast<std::size_t>(-1) && n >= frameBytes;
            },
            deadline);
        if (!writable || pa_stream_get_state(s) != PA_STREAM_READY) {
            return false;
        }
        const sf_count_t wanted =
            std::min<sf_count_t>(kChunkFrames, pa_stream_writable_size(s) / frameBytes);
        const sf_count_t got = sf_readf_float(file.get(), buffer.data(), wanted);
        if (got > 0 && pa_stream_write(s, buffer.data(), static_cast<std::size_t>(got) * frameBytes,
                                       nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return false;
        }
        end = got < wanted;
    }

    bool drained = false;
    pa_operation* op = pa_stream_drain(
        s, [](pa_stream*, int success, void* userdata) { *static_cast<bool*>(userdata) = success; },
        &drained);
    if (!connection->Wait(op, deadline) || !drained) {
        return false;
    }
    // Drained means the server has handed the last sample to the device; the
    // device still holds its own latency's worth before that sample is heard.
    op = pa_stream_update_timing_info(s, nullptr, nullptr);
    if (connection->Wait(op, deadline)) {
        const pa_timing_info* timing = pa_stream_get_timing_info(s);
        if (timing) {
            const auto rest = std::chrono::microseconds(
                std::min<pa_usec_t>(timing->sink_usec, 2 * PA_USEC_PER_SEC));
            connection->RunUntil([] { return false; }, std::min(Clock::now() + rest, deadline));
        }
    }
    return true;
}

} // namespace

bool PlaySoundA(const char* path, void* /*module*/, std::uint32_t flags) noexcept {
    if ((flags & SND_FILENAME) == 0 || (flags & SND_ASYNC) != 0) {
        return false;
    }
    try {
        return PlayFile(path, std::nullopt);
    } catch (...) {
        return false;
    }
}

bool PlaySoundOnDevice(const char* path, std::int32_t device) noexcept {
    try {
        return PlayFile(path, device);
    } catch (...) {
        return false;
    }
}

} // namespace dormix
