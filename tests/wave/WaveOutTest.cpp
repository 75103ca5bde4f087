// Devices and volumes of the wave-audio layer against a private PulseAudio.
#include "WaveOut.h"
#include "PulseServer.h"

#include <gtest/gtest.h>
#include <pulse/volume.h>

#include <chrono>

using namespace dormix;
using namespace dormix::test;

namespace {

constexpr std::uint32_t Stereo(std::uint16_t left, std::uint16_t right) {
    return left | (static_cast<std::uint32_t>(right) << 16);
}

HWAVEOUT Open(std::int32_t device) {
    HWAVEOUT handle;
    WAVEFORMATEX format{};
    EXPECT_EQ(waveOutOpen(&handle, device, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(handle);
    return handle;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(WaveVolumeMap, EveryLevelSurvivesTheTripThroughTheServerScale) {
    EXPECT_EQ(PulseVolumeFromWaveLevel(0), PA_VOLUME_MUTED);
    EXPECT_EQ(PulseVolumeFromWaveLevel(65535), PA_VOLUME_NORM);
    for (std::uint32_t level = 0; level <= 65535; ++level) {
        const auto volume = PulseVolumeFromWaveLevel(static_cast<std::uint16_t>(level));
        ASSERT_EQ(WaveLevelFromPulseVolume(volume), level) << "volume " << volume;
        // Linear within one step of rounding.
        ASSERT_LE(std::abs(static_cast<double>(volume) - level * 65536.0 / 65535.0), 1.0);
    }
}

TEST(WaveVolumeMap, ServerVolumesComeBackExceptTheStepBelowFull) {
    for (std::uint32_t volume = 0; volume <= PA_VOLUME_NORM; ++volume) {
        if (volume == PA_VOLUME_NORM - 1) {
            continue; // shares level 65535 with 100 %
        }
        ASSERT_EQ(PulseVolumeFromWaveLevel(WaveLevelFromPulseVolume(volume)), volume);
    }
    // Above 100 % reads as full.
    EXPECT_EQ(WaveLevelFromPulseVolume(PA_VOLUME_NORM * 3 / 2), 65535);
}

TEST(WaveDevices, DeviceNumbersFollowTheSinkIndexAndOthersMeanTheDefaultSink) {
    // Names out of alphabetical order: the order is the sinks' index order.
    PulseServer server({{"zeta", ""}, {"alpha", ""}, {"mid", ""}});
    PulseClient client;
    EXPECT_EQ(waveOutGetNumDevs(), 3u);

    struct Case {
        std::int32_t Device;
        std::string Sink;
    };
    const Case cases[] = {{0, "zeta"}, {1, "alpha"},   {2, "mid"},  {WAVE_MAPPER, "zeta"},
                          {3, "zeta"}, {1000, "zeta"}, {-7, "zeta"}};
    std::uint16_t level = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE("device " + std::to_string(c.Device));
        for (const char* sink : {"zeta", "alpha", "mid"}) {
            client.SetSinkVolume(sink, {PA_VOLUME_NORM, PA_VOLUME_NORM});
        }
        HWAVEOUT handle = Open(c.Device);
        level += 1000;
        ASSERT_EQ(waveOutSetVolume(handle, Stereo(level, level)), MMSYSERR_NOERROR);
        for (const char* sink : {"zeta", "alpha", "mid"}) {
            const auto expected = sink == c.Sink ? PulseVolumeFromWaveLevel(level) : PA_VOLUME_NORM;
            EXPECT_EQ(client.SinkVolume(sink), (std::vector<std::uint32_t>{expected, expected}))
                << sink;
        }
        EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
        EXPECT_FALSE(handle);
    }

    // The default sink is the server's current one, looked up at open time.
    client.SetDefaultSink("mid");
    HWAVEOUT mapper = Open(WAVE_MAPPER);
    client.SetDefaultSink("alpha");
    ASSERT_EQ(waveOutSetVolume(mapper, Stereo(777, 777)), MMSYSERR_NOERROR);
    EXPECT_EQ(client.SinkVolume("mid")[0], PulseVolumeFromWaveLevel(777));
    EXPECT_EQ(client.SinkVolume("alpha")[0], PA_VOLUME_NORM);
}

TEST(WaveDevices, VolumeWrittenIsReadBackAndReachesTheChannels) {
    PulseServer server(2);
    PulseClient client;
    const std::uint32_t values[] = {0,
                                    Stereo(6400, 6400),
                                    Stereo(65280, 65280),
                                    Stereo(65535, 65535),
                                    Stereo(65535, 0),
                                    Stereo(0, 65535),
                                    Stereo(1, 2),
                                    Stereo(0x1234, 0xBEEF)};
    HWAVEOUT handle = Open(1);
    for (std::uint32_t value : values) {
        SCOPED_TRACE(value);
        ASSERT_EQ(waveOutSetVolume(handle, value), MMSYSERR_NOERROR);
        // Low half left (channel 0 of a front-left/front-right sink).
        EXPECT_EQ(client.SinkVolume("s1"),
                  (std::vector<std::uint32_t>{PulseVolumeFromWaveLevel(value & 0xFFFF),
                                              PulseVolumeFromWaveLevel(value >> 16)}));
        std::uint32_t read = 0xDEADBEEF;
        ASSERT_EQ(waveOutGetVolume(handle, &read), MMSYSERR_NOERROR);
        EXPECT_EQ(read, value);
    }
    // Device 0 never moved.
    EXPECT_EQ(client.SinkVolume("s0"),
              (std::vector<std::uint32_t>{PA_VOLUME_NORM, PA_VOLUME_NORM}));
}

TEST(WaveDevices, AVolumeSetByAnotherProgramIsWrittenBackUnchanged) {
    PulseServer server(1);
    PulseClient client;
    const std::vector<std::uint32_t> volumes[] = {
        {32768, 32768}, {12345, 54321}, {PA_VOLUME_NORM, 0}, {0, 0}, {1, PA_VOLUME_NORM}};
    for (const auto& volume : volumes) {
        client.SetSinkVolume("s0", volume);
        std::uint32_t saved = 0;
        {
            HWAVEOUT first = Open(0);
            ASSERT_EQ(waveOutGetVolume(first, &saved), MMSYSERR_NOERROR);
            ASSERT_EQ(waveOutSetVolume(first, Stereo(6400, 6400)), MMSYSERR_NOERROR);
        }
        HWAVEOUT second = Open(0);
        ASSERT_EQ(waveOutSetVolume(second, saved), MMSYSERR_NOERROR);
        EXPECT_EQ(client.SinkVolume("s0"), volume);
    }
}

TEST(WaveDevices, SinksWithOtherChannelLayouts) {
    PulseServer server(
        {{"mono", "channels=1 channel_map=mono"},
         {"three", "channels=3 channel_map=front-left,front-right,lfe"},
         {"quad", "channels=4 channel_map=front-left,front-right,rear-left,rear-right"}});
    PulseClient client;
    const std::uint16_t left = 0x4000, right = 0x9000;
    const std::uint32_t l = PulseVolumeFromWaveLevel(left), r = PulseVolumeFromWaveLevel(right);
    struct Case {
        std::int32_t Device;
        std::string Sink;
        std::vector<std::uint32_t> Channels;
        std::uint32_t ReadBack;
    };
    const Case cases[] = {
        {0, "mono", {r}, Stereo(right, right)},
        {1, "three", {l, r, r}, Stereo(left, right)},
        {2, "quad", {l, r, l, r}, Stereo(left, right)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Sink);
        HWAVEOUT handle = Open(c.Device);
        ASSERT_EQ(waveOutSetVolume(handle, Stereo(left, right)), MMSYSERR_NOERROR);
        EXPECT_EQ(client.SinkVolume(c.Sink), c.Channels);
        std::uint32_t read = 0;
        ASSERT_EQ(waveOutGetVolume(handle, &read), MMSYSERR_NOERROR);
        EXPECT_EQ(read, c.ReadBack);
    }
}

TEST(WaveDevices, WithoutAServerNothingOpensAndNothingIsMadeUp) {
    PulseServer server(2);
    server.Stop();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    HWAVEOUT handle;
    WAVEFORMATEX format{};
    EXPECT_NE(waveOutOpen(&handle, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(handle);
    EXPECT_NE(waveOutOpen(&handle, WAVE_MAPPER, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(handle);
    EXPECT_LT(SecondsSince(start), 1.0);

    std::uint32_t volume = 0xDEADBEEF;
    EXPECT_EQ(waveOutGetVolume(handle, &volume), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(volume, 0xDEADBEEFu);
    EXPECT_EQ(waveOutSetVolume(handle, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_INVALHANDLE);
}

TEST(WaveDevices, AServerThatGoesAwayAfterOpenFailsTheVolumeCalls) {
    PulseServer server(1);
    HWAVEOUT handle = Open(0);
    server.Stop();
    std::uint32_t volume = 0xDEADBEEF;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(waveOutGetVolume(handle, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xDEADBEEFu);
    EXPECT_NE(waveOutSetVolume(handle, 0), MMSYSERR_NOERROR);
    EXPECT_LT(SecondsSince(start), 2.5);
}
