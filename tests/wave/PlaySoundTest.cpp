// Synchronous sound-file playback on a private PulseAudio, proven by what the
// null sinks' monitors recorded.
#include "Probes.h"
#include "PulseServer.h"
#include "WaveOut.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace dormix;
using namespace dormix::test;

namespace {

constexpr std::uint32_t kFlags = SND_FILENAME | SND_NODEFAULT;
// Well above the noise floor of silence (exactly 0 on a null sink) and well
// below a 0.5-amplitude sine.
constexpr float kAudible = 0.01f;

class PlaySoundTest : public ::testing::Test {
protected:
    void SetUp() override { Folder_ = MakeTempFolder("dormix-wave"); }
    void TearDown() override { std::filesystem::remove_all(Folder_); }
    std::string Sine(const std::string& name, double seconds, double frequency = 440,
                     int rate = 44100, int channels = 1, int format = 0) {
        const std::string path = Folder_ + "/" + name;
        WriteSine(path, seconds, frequency, rate, channels, 0.5, format);
        return path;
    }
    std::string Folder_;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Plays and returns how long the call blocked.
template <typename Play> double Timed(Play play, bool expected) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(play(), expected);
    return Seconds(std::chrono::steady_clock::now() - start);
}

void ExpectTone(const Recording& r, double seconds, double frequency) {
    const auto first = r.FirstAudible(kAudible);
    const auto end = r.EndOfAudible(kAudible);
    ASSERT_TRUE(first && end) << "nothing audible, peak " << r.Peak();
    EXPECT_NEAR(static_cast<double>(*end - *first) / r.Rate, seconds, 0.02);
    EXPECT_NEAR(r.Frequency(*first, *end), frequency, frequency * 0.02);
}

} // namespace

TEST_F(PlaySoundTest, BlocksForTheSoundAndPlaysItOnTheDefaultSink) {
    PulseServer server(2);
    const std::string file = Sine("one-second.wav", 1.0, 440);
    MonitorRecorder s0(server.MonitorName(0)), s1(server.MonitorName(1));
    const double blocked = Timed([&] { return PlaySoundA(file.c_str(), nullptr, kFlags); }, true);
    const Recording r0 = s0.Stop(), r1 = s1.Stop();
    EXPECT_GE(blocked, 1.0);
    EXPECT_LE(blocked, 1.3);
    ExpectTone(r0, 1.0, 440);
    EXPECT_EQ(r1.Peak(), 0.0f);
}

TEST_F(PlaySoundTest, PlaysOnTheSinkTheDeviceNumberNames) {
    PulseServer server(2);
    PulseClient client;
    const std::string file = Sine("tone.wav", 0.4, 660);
    struct Case {
        std::int32_t Device;
        std::size_t Sink;
        std::string DefaultSink;
    };
    const Case cases[] = {
        {1, 1, "s0"}, {0, 0, "s0"},           {WAVE_MAPPER, 0, "s0"}, {2, 0, "s0"},
        {0, 0, "s1"}, {WAVE_MAPPER, 1, "s1"}, {9, 1, "s1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("device " + std::to_string(c.Device) + ", default " + c.DefaultSink);
        client.SetDefaultSink(c.DefaultSink);
        MonitorRecorder s0(server.MonitorName(0)), s1(server.MonitorName(1));
        const double blocked =
            Timed([&] { return PlaySoundOnDevice(file.c_str(), c.Device); }, true);
        const Recording recorded[] = {s0.Stop(), s1.Stop()};
        EXPECT_GE(blocked, 0.4);
        ExpectTone(recorded[c.Sink], 0.4, 660);
        EXPECT_EQ(recorded[1 - c.Sink].Peak(), 0.0f);
    }
    // PlaySoundA is the default device.
    client.SetDefaultSink("s1");
    MonitorRecorder s0(server.MonitorName(0)), s1(server.MonitorName(1));
    EXPECT_TRUE(PlaySoundA(file.c_str(), nullptr, kFlags));
    const Recording r0 = s0.Stop(), r1 = s1.Stop();
    ExpectTone(r1, 0.4, 660);
    EXPECT_EQ(r0.Peak(), 0.0f);
}

TEST_F(PlaySoundTest, DecodesTheFormatsTheSoundLibraryReads) {
    PulseServer server(1);
    struct Case {
        std::string Name;
        int Rate, Channels, Format;
    };
    const Case cases[] = {
        {"pcm8.wav", 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"float.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm24.flac", 96000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"vorbis.ogg", 44100, 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"pcm16.aiff", 22050, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Sine(c.Name, 0.5, 500, c.Rate, c.Channels, c.Format);
        MonitorRecorder monitor(server.MonitorName(0));
        const double blocked =
            Timed([&] { return PlaySoundA(file.c_str(), nullptr, kFlags); }, true);
        const Recording r = monitor.Stop();
        EXPECT_GE(blocked, 0.5);
        EXPECT_LE(blocked, 0.8);
        ExpectTone(r, 0.5, 500);
    }
}

TEST_F(PlaySoundTest, PlaysTheShippedDefaultSound) {
    PulseServer server(1);
    const std::string file = std::string(DORMIX_DATA_DIR) + "/Sounds/ding.wav";
    SF_INFO info{};
    SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_TRUE(f);
    sf_close(f);
    const double length = static_cast<double>(info.frames) / info.samplerate;
    MonitorRecorder monitor(server.MonitorName(0));
    const double blocked = Timed([&] { return PlaySoundA(file.c_str(), nullptr, kFlags); }, true);
    const Recording r = monitor.Stop();
    EXPECT_GE(blocked, length - 0.005);
    EXPECT_LE(blocked, length + 0.3);
    EXPECT_GT(r.Peak(), kAudible);
}

TEST_F(PlaySoundTest, WhatCannotBePlayedReturnsAtOnceInSilence) {
    PulseServer server(1);
    const std::string text = Folder_ + "/notes.wav";
    std::ofstream(text) << "This is a text file, not a sound.\n";
    const std::string empty = Folder_ + "/empty.wav";
    std::ofstream(empty).flush();
    const std::string good = Sine("good.wav", 0.5);
    const std::string pipe = Folder_ + "/pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        std::string What;
        const char* Path;
        std::uint32_t Flags;
    };
    const std::string missing = Folder_ + "/missing.wav";
    const Case cases[] = {
        {"missing file", missing.c_str(), kFlags},
        {"empty path", "", kFlags},
        {"null path", nullptr, kFlags},
        {"text file named .wav", text.c_str(), kFlags},
        {"empty file", empty.c_str(), kFlags},
        {"a folder", Folder_.c_str(), kFlags},
        {"a named pipe nobody writes to", pipe.c_str(), kFlags},
        {"no SND_FILENAME", good.c_str(), SND_NODEFAULT},
        {"asynchronous", good.c_str(), kFlags | SND_ASYNC},
    };
    MonitorRecorder monitor(server.MonitorName(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_LT(Timed([&] { return PlaySoundA(c.Path, nullptr, c.Flags); }, false), 0.2);
        EXPECT_LT(Timed([&] { return PlaySoundOnDevice(c.Flags == kFlags ? c.Path : nullptr, 0); },
                        false),
                  0.2);
    }
    EXPECT_EQ(monitor.Stop().Peak(), 0.0f);
}

TEST_F(PlaySoundTest, WithoutAServerReturnsAtOnce) {
    PulseServer server(1);
    const std::string file = Sine("tone.wav", 1.0);
    server.Stop();
    EXPECT_LT(Timed([&] { return PlaySoundA(file.c_str(), nullptr, kFlags); }, false), 1.0);
    EXPECT_LT(Timed([&] { return PlaySoundOnDevice(file.c_str(), 1); }, false), 1.0);
}

TEST_F(PlaySoundTest, AServerThatDiesMidSoundEndsThePlayback) {
    PulseServer server(1);
    const std::string file = Sine("long.wav", 5.0);
    ChildProcess killer = SignalLater(server.Pid(), SIGKILL, 500);
    const double blocked = Timed([&] { return PlaySoundA(file.c_str(), nullptr, kFlags); }, false);
    EXPECT_GE(blocked, 0.4);
    EXPECT_LT(blocked, 2.0);
    server.Stop();
}

TEST_F(PlaySoundTest, StreamsInsteadOfLoadingTheWholeFile) {
    PulseServer server(1);
    // 3 s of 8-channel float at 192 kHz: about 18 MB once decoded.
    const std::string file = Sine("big.wav", 3.0, 440, 192000, 8, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_TRUE(PlaySoundA(file.c_str(), nullptr, kFlags));
    getrusage(RUSAGE_SELF, &after);
    const long grownKb = after.ru_maxrss - before.ru_maxrss;
    EXPECT_LT(grownKb, 6 * 1024) << "peak memory grew by " << grownKb << " kB";
}
