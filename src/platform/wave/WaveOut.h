// Wave audio: output devices, their volume, and synchronous playback of a
// sound file, on the desktop's sound server (PulseAudio, or PipeWire through
// its PulseAudio service). Files are decoded with libsndfile.
//
// Devices: device i is the i-th sink of the server, in ascending sink index.
// Device -1 (WAVE_MAPPER), and any number that names no sink, stands for the
// server's default sink.
//
// Volume: a 32-bit value, low 16 bits the left channel and high 16 bits the
// right, each 0..65535, mapped linearly onto the sink's channel volumes
// (0 = muted, 65535 = 100 %). Channels other than left and right take the
// louder of the two.
//
// Every call returns in bounded time: with no server reachable the calls fail
// at once, and a server that stops answering is given up after a timeout.
#pragma once

#include <cstdint>
#include <memory>

namespace dormix {

using MMRESULT = std::uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

inline constexpr std::int32_t WAVE_MAPPER = -1;

inline constexpr std::uint32_t SND_SYNC = 0x0000;
inline constexpr std::uint32_t SND_ASYNC = 0x0001;
inline constexpr std::uint32_t SND_NODEFAULT = 0x0002;
inline constexpr std::uint32_t SND_FILENAME = 0x00020000;

// The format record of the open call. A handle here serves the volume calls
// only, so its contents are not used (an all-zero record is fine).
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

// An open output device: a connection to the server pinned to one sink, the
// one the device number named when it was opened.
struct WaveOutDevice;
struct WaveOutDeviceClose {
    void operator()(WaveOutDevice* device) const noexcept;
};
using HWAVEOUT = std::unique_ptr<WaveOutDevice, WaveOutDeviceClose>;

// Number of output devices (sinks); 0 when no server can be reached.
std::uint32_t waveOutGetNumDevs() noexcept;

// Opens device `device` (WAVE_MAPPER or an unknown number: the default sink).
// On failure *handle is left empty. Callback, instance and flags must be 0.
MMRESULT waveOutOpen(HWAVEOUT* handle, std::int32_t device, const WAVEFORMATEX* format,
                     std::uintptr_t callback, std::uintptr_t instance,
                     std::uint32_t flags) noexcept;
// Releases the device; the handle is empty afterwards.
MMRESULT waveOutClose(HWAVEOUT& handle) noexcept;

// Reads the device's volume; *volume is written only on success.
MMRESULT waveOutGetVolume(const HWAVEOUT& handle, std::uint32_t* volume) noexcept;
// Sets the device's volume (low 16 bits left, high 16 bits right).
MMRESULT waveOutSetVolume(const HWAVEOUT& handle, std::uint32_t volume) noexcept;

// Plays a sound file on the default device and returns when its last sample
// has been played. Only synchronous file playback is offered: flags must hold
// SND_FILENAME and not SND_ASYNC; module is not used. Returns false at once,
// without sound, when the file cannot be decoded or no server is reachable.
// There is no default sound, so SND_NODEFAULT changes nothing.
bool PlaySoundA(const char* path, void* module, std::uint32_t flags) noexcept;

// Plays a sound file like PlaySoundA, on output device `device` (the default
// sink for WAVE_MAPPER or a number that names no sink).
bool PlaySoundOnDevice(const char* path, std::int32_t device) noexcept;

// The linear map between a 16-bit channel level and a sink channel volume.
// Level -> volume -> level gives the same level for every level.
std::uint32_t PulseVolumeFromWaveLevel(std::uint16_t level) noexcept;
std::uint16_t WaveLevelFromPulseVolume(std::uint32_t volume) noexcept;

} // namespace dormix
