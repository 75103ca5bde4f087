// The alarm file on real files: numbering, what is kept, exact layout, and a
// save that cannot write.
#include "AlarmFile.h"
#include "CoreTestSupport.h"
#include "Exception.h"
#include "FileCapabilities.h"
#include "IniFile.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace dormix {
namespace {

using test::DropFileCapabilities;
using test::ReadBytes;
using test::ScopedLocale;
using test::TempDir;
using test::WriteBytes;

using AlarmList = std::vector<std::unique_ptr<TAlarm>>;

const double kNow = EncodeDateTime(2024, 1, 17, 12); // a Wednesday noon

std::unique_ptr<TAlarm> NewAlarm(const std::string& description, double time,
                                 std::initializer_list<int> days, bool enabled,
                                 const std::string& sound) {
    auto a = std::make_unique<TAlarm>();
    a->Description = description;
    a->Time = time;
    for (const int d : days)
        a->Days[static_cast<std::size_t>(d)] = true;
    a->Enabled = enabled;
    a->SoundFile = sound;
    return a;
}

std::string Section(int i, const std::string& description) {
    return "[Dormi" + std::to_string(i) + "]\nDescription=" + description +
           "\nTime=07:30:00\nEnabled=1\nMonday=1\nSoundFile=/s/" + description + ".wav\n";
}

std::vector<std::string> Descriptions(const AlarmList& list) {
    std::vector<std::string> out;
    for (const auto& a : list)
        out.push_back(a->Description);
    return out;
}

TEST(AlarmFile, MissingFileLoadsNothing) {
    TempDir dir;
    EXPECT_TRUE(LoadAlarmFile(dir.File("Dormis.ini"), kNow).empty());
}

TEST(AlarmFile, ExampleSectionIsWrittenExactly) {
    ScopedLocale locale("en_GB.UTF-8");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    AlarmList list;
    list.push_back(NewAlarm("Wake up", EncodeDateTime(2003, 3, 1, 7), {1, 3}, true,
                            "/opt/dormix/Sounds/ding.wav"));
    list.push_back(NewAlarm("", EncodeDateTime(2003, 3, 1), {}, false, ""));
    SaveAlarmFile(path, list);
    EXPECT_EQ(ReadBytes(path), "[Dormi0]\n"
                               "Description=Wake up\n"
                               "Time=01/03/03 07:00:00\n"
                               "Enabled=1\n"
                               "Sunday=0\n"
                               "Monday=1\n"
                               "Tuesday=0\n"
                               "Wednesday=1\n"
                               "Thursday=0\n"
                               "Friday=0\n"
                               "Saturday=0\n"
                               "SoundFile=/opt/dormix/Sounds/ding.wav\n"
                               "[Dormi1]\n"
                               "Description=\n"
                               "Time=01/03/03\n"
                               "Enabled=0\n"
                               "Sunday=0\n"
                               "Monday=0\n"
                               "Tuesday=0\n"
                               "Wednesday=0\n"
                               "Thursday=0\n"
                               "Friday=0\n"
                               "Saturday=0\n"
                               "SoundFile=\n");
    const AlarmList back = LoadAlarmFile(path, kNow);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]->Description, "Wake up");
    EXPECT_EQ(back[0]->Time, EncodeDateTime(2003, 3, 1, 7));
    EXPECT_TRUE(back[0]->Enabled);
    EXPECT_EQ(back[0]->Days, (std::array<bool, 7>{false, true, false, true, false, false, false}));
    EXPECT_EQ(back[0]->SoundFile, "/opt/dormix/Sounds/ding.wav");
    EXPECT_EQ(back[0]->NextTime, EncodeDateTime(2024, 1, 22, 7)); // computed on load
    EXPECT_EQ(back[1]->Description, "");
    EXPECT_EQ(back[1]->Time, EncodeDateTime(2003, 3, 1)); // date alone, 00:00
    EXPECT_FALSE(back[1]->Enabled);
    EXPECT_EQ(back[1]->SoundFile, "");
    EXPECT_EQ(back[1]->NextTime, 0.0);
}

TEST(AlarmFile, GapsAreSkippedAndSaveRenumbers) {
    ScopedLocale locale("C");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    const std::string header = "; my alarms\n[Dormi9]\n\n[Other]\nkeep=me\n";
    const std::string tail = "[Dormi1000]\nDescription=Beyond\n"
                             "[Dormi01]\nDescription=Leading zero\n";
    WriteBytes(path,
               header + Section(7, "C") + Section(0, "A") + "; between\n" + Section(5, "B") + tail);
    AlarmList list = LoadAlarmFile(path, kNow);
    EXPECT_EQ(Descriptions(list), (std::vector<std::string>{"A", "B", "C"}));
    for (const auto& a : list) {
        EXPECT_EQ(a->Time, EncodeDateTime(1899, 12, 30, 7, 30));
        EXPECT_EQ(a->NextTime, EncodeDateTime(2024, 1, 22, 7, 30));
    }
    SaveAlarmFile(path, list);
    // Dormi0 is rewritten in place, 1 and 2 are new at the end; 5 and 7 are
    // gone; the key-less header, 1000, 01, comments and foreign sections stay.
    const std::string expectedSection0 =
        "[Dormi0]\nDescription=A\nTime=12/30/99 07:30:00\nEnabled=1\n"
        "Monday=1\nSoundFile=/s/A.wav\nSunday=0\nTuesday=0\n"
        "Wednesday=0\nThursday=0\nFriday=0\nSaturday=0\n"
        "; between\n";
    const std::string saved = ReadBytes(path);
    EXPECT_EQ(saved.substr(0, header.size() + expectedSection0.size()), header + expectedSection0);
    EXPECT_NE(saved.find(tail), std::string::npos);
    EXPECT_EQ(saved.find("[Dormi5]"), std::string::npos);
    EXPECT_EQ(saved.find("[Dormi7]"), std::string::npos);
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Dormi1", "Description", "?"), "B");
    EXPECT_EQ(ini.ReadString("Dormi2", "Description", "?"), "C");
    EXPECT_EQ(ini.ReadString("Dormi2", "Time", "?"), "12/30/99 07:30:00");
    EXPECT_EQ(Descriptions(LoadAlarmFile(path, kNow)), (std::vector<std::string>{"A", "B", "C"}));

    // Saving an empty list erases every numbered section that has keys.
    SaveAlarmFile(path, {});
    EXPECT_EQ(ReadBytes(path), header + tail);
}

TEST(AlarmFile, ForeignKeysInAReusedSectionStay) {
    ScopedLocale locale("C");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    WriteBytes(path, "[Dormi0]\nColour=red\nDescription=Old\nEnabled=0\n");
    AlarmList list;
    list.push_back(NewAlarm("New", 0.25, {0}, true, "/x.wav"));
    SaveAlarmFile(path, list);
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Dormi0", "Colour", "?"), "red");
    EXPECT_EQ(ini.ReadString("Dormi0", "Description", "?"), "New");
    EXPECT_TRUE(ini.ReadBool("Dormi0", "Enabled", false));
    EXPECT_EQ(ReadBytes(path).rfind("[Dormi0]\nColour=red\nDescription=New\nEnabled=1\n", 0), 0u);
}

TEST(AlarmFile, MissingAndOddValuesFallBack) {
    ScopedLocale locale("C");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    WriteBytes(path, "[Dormi0]\nDescription=Only a name\n"
                     "[Dormi1]\nEnabled=5\nSunday=0x1\nMonday=yes\nTime=31.12.2023 07:00:00\n"
                     "[Dormi2]\nDescription=\nEnabled=\nTime=\nSoundFile=\n");
    const AlarmList list = LoadAlarmFile(path, kNow);
    ASSERT_EQ(list.size(), 3u);
    const TAlarm& only = *list[0];
    EXPECT_EQ(only.Description, "Only a name");
    EXPECT_EQ(only.Time, 0.0);
    EXPECT_FALSE(only.Enabled);
    EXPECT_EQ(only.Days, (std::array<bool, 7>{}));
    EXPECT_EQ(only.SoundFile, "");
    EXPECT_EQ(only.NextTime, 0.0);
    EXPECT_EQ(only.GetDisplayText(),
              "Only a name;   due 00:00:00 on smtwtfs;   sound = ;   not scheduled");
    const TAlarm& odd = *list[1];
    EXPECT_EQ(odd.Description, "Description Read Error");
    EXPECT_TRUE(odd.Enabled);
    EXPECT_TRUE(odd.Days[0]);
    EXPECT_FALSE(odd.Days[1]);
    EXPECT_EQ(odd.Time, 0.0); // written under another locale: does not convert
    EXPECT_EQ(odd.NextTime, EncodeDateTime(2024, 1, 21));
    const TAlarm& empty = *list[2];
    EXPECT_EQ(empty.Description, "");
    EXPECT_FALSE(empty.Enabled);
}

TEST(AlarmFile, MillisecondsDoNotSurviveAndLocaleChangesLoseTheTime) {
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    AlarmList list;
    list.push_back(NewAlarm("x", EncodeDateTime(2003, 3, 1, 7, 0, 0, 800), {3}, true, ""));
    {
        ScopedLocale locale("de_DE.UTF-8");
        SaveAlarmFile(path, list);
        const AlarmList back = LoadAlarmFile(path, kNow);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0]->Time, EncodeDateTime(2003, 3, 1, 7));
    }
    ScopedLocale locale("en_US.UTF-8");
    const AlarmList back = LoadAlarmFile(path, kNow);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Time, 0.0);
}

TEST(AlarmFile, MoreThanAThousandAlarms) {
    ScopedLocale locale("C");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    AlarmList list;
    for (int i = 0; i < 1002; ++i)
        list.push_back(NewAlarm("a" + std::to_string(i), 0.5, {1}, true, ""));
    SaveAlarmFile(path, list);
    const AlarmList back = LoadAlarmFile(path, kNow);
    ASSERT_EQ(back.size(), 1000u);
    EXPECT_EQ(back.back()->Description, "a999");
    list.resize(2);
    SaveAlarmFile(path, list);
    const TIniFile ini(path);
    EXPECT_FALSE(ini.SectionExists("Dormi2"));
    EXPECT_FALSE(ini.SectionExists("Dormi999"));
    EXPECT_EQ(ini.ReadString("Dormi1000", "Description", "?"), "a1000");
    EXPECT_EQ(ini.ReadString("Dormi1001", "Description", "?"), "a1001");
}

TEST(AlarmFile, SaveIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
    ScopedLocale locale("C");
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    const std::string old = "; old file\r\n" + Section(3, "Old");
    WriteBytes(path, old);
    AlarmList list;
    list.push_back(NewAlarm("New", 0.5, {1}, true, "/n.wav"));
    ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);

    // The save runs in a child process without the permission-override
    // capabilities (root in CI has them); the child reports through a pipe.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        if (!DropFileCapabilities())
            _exit(10);
        const std::string probe = dir.File("probe");
        const int fd = open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0)
            _exit(11); // the folder is not read-only for this process
        std::string message;
        try {
            SaveAlarmFile(path, list);
            message = "<no exception>";
        } catch (const Exception& e) {
            message = e.Message();
        } catch (...) {
            message = "<other exception>";
        }
        const ssize_t written = write(fds[1], message.data(), message.size());
        _exit(written == static_cast<ssize_t>(message.size()) ? 0 : 12);
    }
    close(fds[1]);
    std::string message;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    chmod(dir.Path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "10: capset failed, 11: folder still writable";
    EXPECT_EQ(message, "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left behind";
}

TEST(AlarmFile, SaveWhereTheFolderIsAFileFails) {
    TempDir dir;
    const std::string blocker = dir.File("not-a-folder");
    WriteBytes(blocker, "x");
    AlarmList list;
    list.push_back(NewAlarm("New", 0.5, {1}, true, "/n.wav"));
    const std::string path = blocker + "/Dormis.ini";
    try {
        SaveAlarmFile(path, list);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + path);
    }
}

} // namespace
} // namespace dormix
