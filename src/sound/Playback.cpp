#include "Playback.h"

#include <optional>

namespace dormix {

std::uint32_t OverrideVolume(std::int16_t volume) noexcept {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(volume)) * 0x01000100u;
}

namespace detail {

namespace {

// Opens the device as the two volume steps do: format all zero, no callback.
// Nothing when the open fails.
std::optional<HWAVEOUT> OpenDevice(const WaveApi& api, std::int32_t device) {
    HWAVEOUT handle;
    const WAVEFORMATEX format{};
    if (api.Open(&handle, device, &format, 0, 0, 0) != MMSYSERR_NOERROR) {
        return std::nullopt;
    }
    return handle;
}

// Saves the device's volume and forces the override. Returns the saved value,
// or nothing when the device could not be opened or its volume not be read:
// then the volume is not touched, so there is nothing to put back.
std::optional<std::uint32_t> ApplyOverride(const WaveApi& api, std::int32_t device,
                                           std::uint32_t override) {
    const auto handle = OpenDevice(api, device);
    if (!handle) {
        return std::nullopt;
    }
    std::uint32_t saved = 0;
    if (api.GetVolume(*handle, &saved) != MMSYSERR_NOERROR) {
        return std::nullopt;
    }
    try {
        api.SetVolume(*handle, override);
    } catch (...) {
        // It may have taken effect: the saved value goes back all the same.
    }
    return saved;
}

// Opens the device a second time and writes back exactly the saved value.
void RestoreVolume(const WaveApi& api, std::int32_t device,
                   const std::optional<std::uint32_t>& saved) noexcept {
    if (!saved) {
        return;
    }
    try {
        const auto handle = OpenDevice(api, device);
        if (handle) {
            api.SetVolume(*handle, *saved);
        }
    } catch (...) {
    }
}

} // namespace

WaveApi SystemWaveApi() {
    return {waveOutOpen, waveOutGetVolume, waveOutSetVolume, PlaySoundOnDevice};
}

void PlayAlarmWith(const WaveApi& api, const TAudioSettings& settings,
                   const TAlarm& alarm) noexcept {
    try {
        const std::int32_t device = settings.Device; // widened with its sign: -1 stays -1
        std::optional<std::uint32_t> saved;
        if (settings.VolumeOverride) {
            saved = ApplyOverride(api, device, OverrideVolume(settings.Volume));
        }
        // Played on the same device whose volume is forced.
        try {
            api.Play(alarm.SoundFile.c_str(), device);
        } catch (...) {
            // Never leave the device at the override volume.
            RestoreVolume(api, device, saved);
            return;
        }
        RestoreVolume(api, device, saved);
    } catch (...) {
        // Playback failures are not reported.
    }
}

} // namespace detail

void PlayAlarm(const TAudioSettings& settings, const TAlarm& alarm) noexcept {
    try {
        detail::PlayAlarmWith(detail::SystemWaveApi(), settings, alarm);
    } catch (...) {
    }
}

void TestSound(const TAudioSettings& settings, const std::string& path) noexcept {
    try {
        TAlarm alarm;
        alarm.SoundFile = path;
        PlayAlarm(settings, alarm);
    } catch (...) {
    }
}

} // namespace dormix
