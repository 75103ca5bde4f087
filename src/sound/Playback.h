// Alarm sound playback: plays an alarm's sound file on the chosen output
// device and, when the override is on, holds that device at the override
// volume for the length of the sound. The main window calls these from its
// PlayAlarm and TestSound members with its AudioSettings.
//
// Both block the calling (user-interface) thread until the sound has ended,
// and neither ever throws: a sound that cannot be played is simply not heard.
#pragma once

#include "Alarms.h"
#include "AudioSettings.h"
#include "WaveOut.h"

#include <cstdint>
#include <functional>
#include <string>

namespace dormix {

// The wave-out volume for the override: Volume x 0x01000100 in 32-bit
// arithmetic on Volume widened with its sign; for 0..255 that is Volume x 256
// on both channels (25 -> 6400, 255 -> 65280).
std::uint32_t OverrideVolume(std::int16_t volume) noexcept;

// Plays alarm.SoundFile on settings.Device (WAVE_MAPPER -1, or a number that
// names no device: the default device). With VolumeOverride on, the device's
// volume is read, set to OverrideVolume(Volume) for the sound and then
// written back exactly as read, through a second opening of the device. When
// the volume cannot be read, it is left alone altogether.
void PlayAlarm(const TAudioSettings& settings, const TAlarm& alarm) noexcept;

// Plays any file the same way, through a temporary default alarm whose
// SoundFile is `path`.
void TestSound(const TAudioSettings& settings, const std::string& path) noexcept;

namespace detail {

// The wave-audio operations PlayAlarm uses, replaceable to test its order
// of steps when the device misbehaves.
struct WaveApi {
    std::function<MMRESULT(HWAVEOUT*, std::int32_t, const WAVEFORMATEX*, std::uintptr_t,
                           std::uintptr_t, std::uint32_t)>
        Open;
    std::function<MMRESULT(const HWAVEOUT&, std::uint32_t*)> GetVolume;
    std::function<MMRESULT(const HWAVEOUT&, std::uint32_t)> SetVolume;
    std::function<bool(const char*, std::int32_t)> Play;
};

// The real operations of WaveOut.h.
WaveApi SystemWaveApi();

void PlayAlarmWith(const WaveApi& api, const TAudioSettings& settings,
                   const TAlarm& alarm) noexcept;

} // namespace detail

} // namespace dormix
