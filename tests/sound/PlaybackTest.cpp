// PlayAlarm and TestSound on a real private PulseAudio with two null sinks:
// which sink sounds, at what volume, and what the volume is afterwards.
#include "Playback.h"
#include "Probes.h"
#include "PulseServer.h"

#include <gtest/gtest.h>
#include <pulse/volume.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace dormix;
using namespace dormix::test;

namespace {

// Silence on a null sink is exactly zero; the quietest override (25, about
// -60 dB) still leaves a 0.5 sine well above this.
constexpr float kAudible = 1e-5f;
constexpr double kLength = 0.6;

// Distinct starting volumes, left and right different, so that a restore
// that is off by anything shows.
const std::vector<std::uint32_t> kBefore[] = {{45000, 30000}, {52000, 20000}};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The peak a 0.5 sine reaches through a sink at `volume` (software volume).
float ExpectedPeak(std::uint32_t volume) {
    return static_cast<float>(0.5 * pa_sw_volume_to_linear(volume));
}

// The sink's volume at a moment, from the watcher's record.
std::vector<std::uint32_t> VolumeAt(const std::vector<VolumeSample>& samples, std::int64_t ns) {
    std::vector<std::uint32_t> value;
    for (const auto& s : samples) {
        if (s.TimeNs <= ns) {
            value = s.Channels;
        }
    }
    return value;
}

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        Folder_ = MakeTempFolder("dormix-sound");
        Tone_ = Folder_ + "/tone.wav";
        WriteSine(Tone_, kLength, 440);
        for (std::size_t i = 0; i < 2; ++i) {
            Client_.SetSinkVolume(Server_.SinkName(i), kBefore[i]);
        }
    }
    void TearDown() override { std::filesystem::remove_all(Folder_); }

    PulseServer Server_{2};
    PulseClient Client_;
    std::string Folder_, Tone_;
};

} // namespace

TEST_F(PlaybackTest, SoundsOnTheChosenDeviceWhoseVolumeIsForcedAndThenPutBack) {
    struct Case {
        const char* What;
        TAudioSettings Settings;
        std::size_t Sink; // where it must sound
    };
    const Case cases[] = {
        {"device 1, override 128", {1, 128, true}, 1},
        {"wave mapper, default override 25", {-1, 25, true}, 0},
        {"device that does not exist, override 255", {5, 255, true}, 0},
        {"device 0, override 0: silence", {0, 0, true}, 0},
        {"device 1, override 0: silence", {1, 0, true}, 1},
        {"device 1, override off", {1, 25, false}, 1},
        {"wave mapper, override off", {-1, 200, false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        VolumeWatcher watch0(Server_.SinkName(0)), watch1(Server_.SinkName(1));
        MonitorRecorder rec0(Server_.MonitorName(0)), rec1(Server_.MonitorName(1));
        TAlarm alarm;
        alarm.SoundFile = Tone_;
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t called = MonotonicNs();
        PlayAlarm(c.Settings, alarm);
        const double blocked = Seconds(start);
        const Recording recorded[] = {rec0.Stop(), rec1.Stop()};
        const std::vector<VolumeSample> watched[] = {watch0.Stop(), watch1.Stop()};

        EXPECT_GE(blocked, kLength);
        EXPECT_LE(blocked, kLength + 0.5);
        const std::size_t other = 1 - c.Sink;
        const std::uint32_t level =
            PulseVolumeFromWaveLevel(static_cast<std::uint16_t>(c.Settings.Volume * 256));
        const std::vector<std::uint32_t> forced = {level, level};

        // Heard on the chosen sink only, at the volume in force there.
        EXPECT_EQ(recorded[other].Peak(), 0.0f);
        const float expected = c.Settings.VolumeOverride
                                   ? ExpectedPeak(level)
                                   : ExpectedPeak(std::max(kBefore[c.Sink][0], kBefore[c.Sink][1]));
        if (expected == 0.0f) {
            EXPECT_EQ(recorded[c.Sink].Peak(), 0.0f);
        } else {
            EXPECT_NEAR(recorded[c.Sink].Peak(), expected, expected * 0.1);
            const auto first = recorded[c.Sink].FirstAudible(kAudible);
            const auto end = recorded[c.Sink].EndOfAudible(kAudible);
            ASSERT_TRUE(first && end);
            EXPECT_NEAR(static_cast<double>(*end - *first) / 44100, kLength, 0.02);
        }

        // While it plays (half-way), a second client sees the override.
        const std::int64_t halfway = called + static_cast<std::int64_t>(kLength / 2 * 1e9);
        if (c.Settings.VolumeOverride) {
            EXPECT_EQ(VolumeAt(watched[c.Sink], halfway), forced);
        } else {
            EXPECT_EQ(watched[c.Sink].size(), 1u) << "the volume was touched";
        }
        // The other sink is never touched; afterwards both are exactly as before.
        EXPECT_EQ(watched[other].size(), 1u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(Client_.SinkVolume(Server_.SinkName(i)), kBefore[i]) << "sink " << i;
        }
    }
}

TEST_F(PlaybackTest, AVolumeChangedByAnotherProgramDuringTheSoundIsUndone) {
    ChildProcess other = SetSinkVolumeLater(Server_.SinkName(1), 200, {9000, 9000});
    TAlarm alarm;
    alarm.SoundFile = Tone_;
    PlayAlarm({1, 128, true}, alarm);
    EXPECT_EQ(other.Wait(1000).value_or(-1), 0);
    EXPECT_EQ(Client_.SinkVolume(Server_.SinkName(1)), kBefore[1]);
}

TEST_F(PlaybackTest, FilesThatCannotPlayReturnAtOnceAndLeaveTheVolumeAsItWas) {
    const std::string text = Folder_ + "/readme.wav";
    std::ofstream(text) << "not a sound\n";
    const std::string cases[] = {Folder_ + "/missing.wav", "", text};
    MonitorRecorder rec1(Server_.MonitorName(1));
    for (const std::string& file : cases) {
        SCOPED_TRACE("file '" + file + "'");
        TAlarm alarm;
        alarm.SoundFile = file;
        const auto start = std::chrono::steady_clock::now();
        PlayAlarm({1, 128, true}, alarm);
        EXPECT_LT(Seconds(start), 0.5);
        EXPECT_EQ(Client_.SinkVolume(Server_.SinkName(1)), kBefore[1]);
    }
    EXPECT_EQ(rec1.Stop().Peak(), 0.0f);
}

TEST_F(PlaybackTest, WithoutAServerOrWhenItDiesMidSoundItReturnsQuietly) {
    TAlarm alarm;
    alarm.SoundFile = Folder_ + "/long.wav";
    WriteSine(alarm.SoundFile, 5.0, 440);

    ChildProcess killer = SignalLater(Server_.Pid(), SIGKILL, 300);
    auto start = std::chrono::steady_clock::now();
    PlayAlarm({1, 128, true}, alarm);
    EXPECT_LT(Seconds(start), 2.0);
    Server_.Stop();

    start = std::chrono::steady_clock::now();
    PlayAlarm({1, 128, true}, alarm);
    TestSound({-1, 25, true}, alarm.SoundFile);
    EXPECT_LT(Seconds(start), 1.0);
}

TEST_F(PlaybackTest, TestSoundPlaysTheGivenFileUnderTheCurrentSettings) {
    const std::string other = Folder_ + "/other.wav";
    WriteSine(other, 0.3, 880);
    VolumeWatcher watch1(Server_.SinkName(1));
    MonitorRecorder rec0(Server_.MonitorName(0)), rec1(Server_.MonitorName(1));
    const std::int64_t called = MonotonicNs();
    const auto start = std::chrono::steady_clock::now();
    TestSound({1, 128, true}, other);
    const double blocked = Seconds(start);
    const Recording r0 = rec0.Stop(), r1 = rec1.Stop();
    const auto watched = watch1.Stop();

    EXPECT_GE(blocked, 0.3);
    EXPECT_EQ(r0.Peak(), 0.0f);
    const auto first = r1.FirstAudible(kAudible), end = r1.EndOfAudible(kAudible);
    ASSERT_TRUE(first && end);
    EXPECT_NEAR(r1.Frequency(*first, *end), 880, 20);
    const std::uint32_t level = PulseVolumeFromWaveLevel(128 * 256);
    EXPECT_NEAR(r1.Peak(), ExpectedPeak(level), ExpectedPeak(level) * 0.1);
    EXPECT_EQ(VolumeAt(watched, called + 150000000), (std::vector<std::uint32_t>{level, level}));
    EXPECT_EQ(Client_.SinkVolume(Server_.SinkName(1)), kBefore[1]);

    const auto quick = std::chrono::steady_clock::now();
    TestSound({1, 128, true}, "");
    EXPECT_LT(Seconds(quick), 0.5);
    EXPECT_EQ(Client_.SinkVolume(Server_.SinkName(1)), kBefore[1]);
}
