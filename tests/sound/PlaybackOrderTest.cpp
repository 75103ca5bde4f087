// The order of PlayAlarm's steps when the device misbehaves: failures that a
// working sound server cannot be made to produce on cue.
#include "Playback.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace dormix;

namespace {

enum class Fault { None, OpenFails, ReadFails, SetThrows, PlayThrows, SecondOpenFails };

struct Journal {
    std::vector<std::string> Calls;
    int Opens = 0;
};

detail::WaveApi FakeApi(Journal& journal, Fault fault) {
    detail::WaveApi api;
    api.Open = [&journal, fault](HWAVEOUT*, std::int32_t device, const WAVEFORMATEX* format,
                                 std::uintptr_t callback, std::uintptr_t instance,
                                 std::uint32_t flags) -> MMRESULT {
        ++journal.Opens;
        const bool zero = format && format->wFormatTag == 0 && format->nChannels == 0 &&
                          format->nSamplesPerSec == 0 && format->nAvgBytesPerSec == 0 &&
                          format->nBlockAlign == 0 && format->wBitsPerSample == 0 &&
                          format->cbSize == 0 && callback == 0 && instance == 0 && flags == 0;
        journal.Calls.push_back("open " + std::to_string(device) + (zero ? "" : " (not zero)"));
        const bool fails =
            fault == Fault::OpenFails || (fault == Fault::SecondOpenFails && journal.Opens == 2);
        return fails ? MMSYSERR_BADDEVICEID : MMSYSERR_NOERROR;
    };
    api.GetVolume = [&journal, fault](const HWAVEOUT&, std::uint32_t* volume) -> MMRESULT {
        journal.Calls.push_back("get");
        if (fault == Fault::ReadFails) {
            return MMSYSERR_NODRIVER;
        }
        *volume = 0x12345678;
        return MMSYSERR_NOERROR;
    };
    api.SetVolume = [&journal, fault](const HWAVEOUT&, std::uint32_t volume) -> MMRESULT {
        char text[32];
        std::snprintf(text, sizeof text, "set %08X", volume);
        journal.Calls.push_back(text);
        if (fault == Fault::SetThrows && volume != 0x12345678) {
            throw std::runtime_error("volume");
        }
        return MMSYSERR_NOERROR;
    };
    api.Play = [&journal, fault](const char* path, std::int32_t device) -> bool {
        journal.Calls.push_back("play " + std::string(path) + " on " + std::to_string(device));
        if (fault == Fault::PlayThrows) {
            throw std::runtime_error("play");
        }
        return true;
    };
    return api;
}

} // namespace

TEST(PlayAlarmOrder, StepsAndWhatIsLeftWhenADeviceStepFails) {
    struct Case {
        const char* What;
        TAudioSettings Settings;
        Fault Injected;
        std::vector<std::string> Calls;
    };
    const Case cases[] = {
        {"override off: the volume is not touched",
         {1, 25, false},
         Fault::None,
         {"play a.wav on 1"}},
        {"override on",
         {1, 25, true},
         Fault::None,
         {"open 1", "get", "set 19001900", "play a.wav on 1", "open 1", "set 12345678"}},
        {"wave mapper passed on as -1",
         {-1, 255, true},
         Fault::None,
         {"open -1", "get", "set FF00FF00", "play a.wav on -1", "open -1", "set 12345678"}},
        {"device cannot be opened: nothing made up is written",
         {0, 25, true},
         Fault::OpenFails,
         {"open 0", "play a.wav on 0"}},
        {"volume cannot be read: neither forced nor written back",
         {0, 25, true},
         Fault::ReadFails,
         {"open 0", "get", "play a.wav on 0"}},
        {"the override call fails: the alarm still sounds and the volume goes back",
         {0, 25, true},
         Fault::SetThrows,
         {"open 0", "get", "set 19001900", "play a.wav on 0", "open 0", "set 12345678"}},
        {"playback fails: the volume is put back",
         {0, 0, true},
         Fault::PlayThrows,
         {"open 0", "get", "set 00000000", "play a.wav on 0", "open 0", "set 12345678"}},
        {"second open fails: nothing written",
         {0, 25, true},
         Fault::SecondOpenFails,
         {"open 0", "get", "set 19001900", "play a.wav on 0", "open 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Journal journal;
        TAlarm alarm;
        alarm.SoundFile = "a.wav";
        detail::PlayAlarmWith(FakeApi(journal, c.Injected), c.Settings, alarm);
        EXPECT_EQ(journal.Calls, c.Calls);
    }
}

TEST(PlayAlarmOrder, OverrideVolumeIsVolumeTimes0x01000100In32Bits) {
    struct Case {
        std::int16_t Volume;
        std::uint32_t Expected;
    };
    const Case cases[] = {{0, 0x00000000},   {1, 0x01000100},  {25, 0x19001900}, {128, 0x80008000},
                          {255, 0xFF00FF00}, {-1, 0xFEFFFF00}, {256, 0x00010000}};
    for (const Case& c : cases) {
        EXPECT_EQ(OverrideVolume(c.Volume), c.Expected) << c.Volume;
    }
    // Per channel: 25 -> 6400, 255 -> 65280.
    EXPECT_EQ(OverrideVolume(25) & 0xFFFF, 6400u);
    EXPECT_EQ(OverrideVolume(25) >> 16, 6400u);
    EXPECT_EQ(OverrideVolume(255) & 0xFFFF, 65280u);
    EXPECT_EQ(OverrideVolume(255) >> 16, 65280u);
}
