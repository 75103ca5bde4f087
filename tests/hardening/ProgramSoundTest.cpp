// Alarms whose sound cannot be played as it should, driven through the main
// window's real playback tick and the real sound layer on a private PulseAudio
// server: a missing file, a directory, a FIFO, truncated and lying wave files,
// a file that is not audio, and paths full of shell syntax. Each tick returns
// promptly, the alarm moves on to its next day and the next alarm is armed;
// nothing runs a shell or starts a process. Then the sound server itself goes
// away: ticks still return at once, and once it is back the next alarm sounds.
#include "HardeningSupport.h"
#include "Probes.h"
#include "ProgramSupport.h"
#include "PulseServer.h"
#include "Unit1.h"

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>

namespace dormix::test {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

// 4 March 2024 was a Monday.
const TDateTime kStart = EncodeDateTime(2024, 3, 4, 10, 0, 0);
const TDateTime kDue = EncodeDateTime(2024, 3, 4, 10, 0, 30);
const TDateTime kNextDue = EncodeDateTime(2024, 3, 4, 10, 1, 30);

// Children that ended while the counter runs: a shell or any other process
// started (and waited for) by the code under test raises SIGCHLD here.
volatile sig_atomic_t gChildSignals = 0;

class ChildWatch {
public:
    ChildWatch() {
        struct sigaction action {};
        action.sa_handler = [](int) { gChildSignals = gChildSignals + 1; };
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGCHLD, &action, &old_);
        gChildSignals = 0;
    }
    ~ChildWatch() { sigaction(SIGCHLD, &old_, nullptr); }
    ChildWatch(const ChildWatch&) = delete;
    ChildWatch& operator=(const ChildWatch&) = delete;
    int Count() const { return gChildSignals; }

private:
    struct sigaction old_ {};
};

std::size_t ThreadCount() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Appends a Monday alarm to the window's list as the list commands do.
void AddMondayAlarm(TForm1& form, const std::string& description, TDateTime due,
                    const std::string& sound) {
    form.AlarmList.push_back(MakeAlarm(description, due, {1}, true, sound));
    form.AlarmList.back()->UpdateNextTime(Now());
    form.clbAlarms->AddRow(QString::fromStdString(form.AlarmList.back()->GetDisplayText()), true);
}

// A 16-bit mono wave header whose data chunk claims `claimedBytes`.
std::string WaveHeader(std::uint32_t claimedBytes) {
    std::string h;
    const auto u32 = [&h](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto u16 = [&h](std::uint16_t v) {
        h += static_cast<char>(v & 0xFF);
        h += static_cast<char>(v >> 8);
    };
    h += "RIFF";
    u32(36 + claimedBytes);
    h += "WAVEfmt ";
    u32(16);
    u16(1);         // PCM
    u16(1);         // mono
    u32(44100);     // rate
    u32(44100 * 2); // bytes per second
    u16(2);         // block align
    u16(16);        // bits
    h += "data";
    u32(claimedBytes);
    return h;
}

struct SoundCase {
    const char* name;
    // Makes the sound in `folder`; `marker` must never come to exist.
    std::string (*make)(const std::string& folder, const std::string& marker);
    // Seconds of sound the file really holds (0: nothing is heard).
    double audibleSeconds;
};

const SoundCase kSoundCases[] = {
    {"MissingFile",
     [](const std::string& folder, const std::string&) { return folder + "/missing.wav"; }, 0},
    {"EmptyPath", [](const std::string&, const std::string&) { return std::string(); }, 0},
    {"Directory",
     [](const std::string& folder, const std::string&) {
         fs::create_directory(folder + "/dir.wav");
         return folder + "/dir.wav";
     },
     0},
    {"Fifo",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/fifo.wav";
         ::mkfifo(path.c_str(), 0600);
         return path;
     },
     0},
    {"EmptyFile",
     [](const std::string& folder, const std::string&) {
         WriteBytes(folder + "/empty.wav", "");
         return folder + "/empty.wav";
     },
     0},
    {"TruncatedHeader",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/cut.wav";
         WriteSine(path, 1.0, 440);
         fs::resize_file(path, 30);
         return path;
     },
     0},
    // The data stops after 0.3 s of the 2 s the header announces.
    {"TruncatedData",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/short.wav";
         WriteSine(path, 2.0, 440);
         fs::resize_file(path, 44 + 44100 * 2 * 3 / 10);
         return path;
     },
     0.3},
    // A header announcing 30 minutes in front of 0.3 s of sound.
    {"HeaderClaimsHalfAnHour",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/huge.wav";
         WriteSine(folder + "/tone.wav", 0.3, 440);
         const std::string tone = ReadBytes(folder + "/tone.wav");
         WriteBytes(path, WaveHeader(30u * 60u * 44100u * 2u) + tone.substr(44));
         return path;
     },
     0.3},
    {"NotAudio",
     [](const std::string& folder, const std::string&) {
         WriteBytes(folder + "/text.wav", "RIFF this is a shopping list, not a sound\n");
         return folder + "/text.wav";
     },
     0},
    // A real sound in a folder named with blanks, quotes, ";", "$(...)",
    // backquotes, a pipe and a line break: it plays, and no shell sees the
    // name (a shell would create the marker in the working folder).
    {"ShellSyntaxInPath",
     [](const std::string& folder, const std::string& marker) {
         const std::string odd = folder + "/a b 'q' \"d\"; $(touch " + marker + ") `touch " +
                                 marker + "` |touch " + marker + "\nline two";
         fs::create_directory(odd);
         WriteSine(odd + "/tone & co.wav", 0.3, 440);
         return odd + "/tone & co.wav";
     },
     0.3},
    {"ShellSyntaxMissingFile",
     [](const std::string& folder, const std::string& marker) {
         return folder + "/$(touch " + marker + ");touch " + marker + "\n.wav";
     },
     0},
};

class HostileSound : public ::testing::TestWithParam<const SoundCase*> {};

TEST_P(HostileSound, TickReturnsPromptlyMovesTheAlarmOnAndArmsTheNext) {
    const SoundCase& c = *GetParam();
    PulseServer server(1);
    TempDir dir;
    TempDir sounds;
    // The marker is named relative to the working folder, the sounds' folder.
    const std::string marker = "shell-ran";
    const fs::path oldFolder = fs::current_path();
    fs::current_path(sounds.Path());
    struct BackTo {
        fs::path folder;
        ~BackTo() { fs::current_path(folder); }
    } backTo{oldFolder};
    FixedClock clock(kStart);
    TForm1 form(nullptr, dir.Path().string());
    // The volume steps run around the sound too (at full volume, to hear it).
    form.AudioSettings = {0, 255, true};
    AddMondayAlarm(form, "hostile", kDue, c.make(sounds.Path().string(), marker));
    AddMondayAlarm(form, "next", kNextDue, sounds.File("next.wav"));
    clock.Advance(5);
    emit form.TimerPlayback->OnTimer();
    ASSERT_EQ(form.NextAlarmIndex(), 0);

    MonitorRecorder recorder(server.MonitorName(0));
    clock.Value = kDue;
    clock.Advance(1);
    const std::size_t threads = ThreadCount();
    ChildWatch children;
    const auto started = Steady::now();
    emit form.TimerPlayback->OnTimer();
    const double seconds = std::chrono::duration<double>(Steady::now() - started).count();
    const int childSignals = children.Count();
    const std::size_t threadsAfter = ThreadCount();
    const Recording heard = recorder.Stop();

    // Promptly: as long as the sound it really holds, and some slack.
    EXPECT_LT(seconds, c.audibleSeconds + 1.0);
    if (c.audibleSeconds > 0) {
        const auto first = heard.FirstAudible(1e-3f), end = heard.EndOfAudible(1e-3f);
        ASSERT_TRUE(first && end) << "the sound was not heard";
        EXPECT_NEAR(static_cast<double>(*end - *first) / heard.Rate, c.audibleSeconds, 0.1);
    } else {
        EXPECT_EQ(heard.Peak(), 0.0f) << "something was heard";
    }
    // Counted as played: moved on a week, the next alarm armed from its due time.
    EXPECT_DOUBLE_EQ(form.AlarmList[0]->NextTime, kDue + 7);
    EXPECT_EQ(form.clbAlarms->item(0)->text().toStdString(), form.AlarmList[0]->GetDisplayText());
    EXPECT_EQ(form.NextAlarmIndex(), 1);
    EXPECT_EQ(form.TimerPlayback->Interval(), 60000);
    EXPECT_TRUE(form.TimerPlayback->Enabled());
    // No shell, no process, no thread left behind.
    EXPECT_FALSE(fs::exists(sounds.File(marker))) << "a shell ran the sound file's name";
    EXPECT_EQ(childSignals, 0) << "a child process was started and ended";
    EXPECT_EQ(threadsAfter, threads);
}

INSTANTIATE_TEST_SUITE_P(Sounds, HostileSound, ::testing::ValuesIn([] {
                             std::vector<const SoundCase*> all;
                             for (const auto& c : kSoundCases)
                                 all.push_back(&c);
                             return all;
                         }()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(NoSoundServer, TicksReturnWithinASecondAndTheAlarmsMoveOn) {
    PulseServer server(1);
    TempDir dir;
    TempDir sounds;
    WriteSine(sounds.File("tone.wav"), 0.3, 440);
    FixedClock clock(kStart);
    TForm1 form(nullptr, dir.Path().string());
    form.AudioSettings.VolumeOverride = true;
    AddMondayAlarm(form, "first", kDue, sounds.File("tone.wav"));
    AddMondayAlarm(form, "second", kNextDue, sounds.File("tone.wav"));
    clock.Advance(5);
    emit form.TimerPlayback->OnTimer();
    ASSERT_EQ(form.NextAlarmIndex(), 0);
    server.Stop();

    for (const TDateTime due : {kDue, kNextDue}) {
        SCOPED_TRACE(DateTimeToStr(due));
        clock.Value = due;
        clock.Advance(1);
        const auto started = Steady::now();
        emit form.TimerPlayback->OnTimer();
        EXPECT_LT(std::chrono::duration<double>(Steady::now() - started).count(), 1.2);
    }
    EXPECT_DOUBLE_EQ(form.AlarmList[0]->NextTime, kDue + 7);
    EXPECT_DOUBLE_EQ(form.AlarmList[1]->NextTime, kNextDue + 7);
    // Next is "first" a week on, measured from "second"'s due time.
    EXPECT_EQ(form.NextAlarmIndex(), 0);
    EXPECT_EQ(form.TimerPlayback->Interval(), (7 * 86400 - 60) * 1000);
}

std::int64_t WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::unique_ptr<TAlarm> AlarmAt(const std::string& description, std::int64_t epochMs,
                                const std::string& sound) {
    const TDateTime due = EpochMsToLocal(epochMs);
    return MakeAlarm(description, due, {DayOfTheWeek(due) % 7}, true, sound);
}

// The window runs on its own timers and the real clock; between two alarms
// the sound server is stopped and started again in the same place.
TEST(SoundServerRestart, TheAlarmAfterTheRestartIsHeard) {
    PulseServer server(1);
    TempDir dir;
    TempDir sounds;
    const std::string tone = sounds.File("tone.wav");
    WriteSine(tone, 0.3, 660);
    const std::int64_t firstDue = (WallMs() / 1000 + 7) * 1000;
    const std::int64_t secondDue = firstDue + 10000;
    AlarmList alarms;
    alarms.push_back(AlarmAt("before", firstDue, tone));
    alarms.push_back(AlarmAt("after", secondDue, tone));
    SaveAlarmFile(dir.File("Dormis.ini"), alarms);

    TForm1 form(nullptr, dir.Path().string());
    ASSERT_EQ(form.AlarmList.size(), 2u);
    const TDateTime firstNext = form.AlarmList[0]->NextTime;
    const TDateTime secondNext = form.AlarmList[1]->NextTime;
    form.show();

    // The first alarm after start-up comes four to five seconds late.
    MonitorRecorder before(server.MonitorName(0));
    ASSERT_TRUE(ProcessEventsUntil([&] { return form.AlarmList[0]->NextTime != firstNext; }, 15000))
        << "the first alarm did not play";
    const Recording heardBefore = before.Stop();
    EXPECT_GT(heardBefore.Peak(), 0.1f) << "the first alarm was not heard";

    server.Stop();
    ProcessEventsUntil([] { return false; }, 500);
    server.Start();

    MonitorRecorder after(server.MonitorName(0));
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return form.AlarmList[1]->NextTime != secondNext; }, 20000))
        << "the second alarm did not play";
    const Recording heardAfter = after.Stop();
    const auto first = heardAfter.FirstAudible(1e-3f), end = heardAfter.EndOfAudible(1e-3f);
    ASSERT_TRUE(first && end) << "the alarm after the restart was not heard";
    EXPECT_NEAR(static_cast<double>(*end - *first) / heardAfter.Rate, 0.3, 0.1);
    EXPECT_NEAR(heardAfter.Frequency(*first, *end), 660, 20);
    EXPECT_TRUE(form.close());
}

} // namespace
} // namespace dormix::test
