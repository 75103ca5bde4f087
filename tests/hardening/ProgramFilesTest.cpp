// The real main window started in a private folder whose alarm file or
// settings file is hostile: empty, binary garbage, invalid UTF-8, 10 MB,
// 100 000 sections, 1 MB lines, CR LF, a byte-order mark, duplicates, keys
// outside any section. The window starts with what it understands, and its
// close-time save (with changed values) keeps everything else where it was.
//
// A file it cannot read at all (a directory, a FIFO or a file without read
// permission in its place) starts the window as if there were no file; the
// close then cannot save into it, says so, keeps the window open with its
// alarms, and leaves the obstacle exactly as it was.
#include "FileCapabilities.h"
#include "HardeningSupport.h"
#include "ProgramSupport.h"
#include "Unit1.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>

namespace dormix::test {
namespace {

namespace fs = std::filesystem;

// One of the two files and what the window makes of its known content.
struct FileKind {
    const char* name;
    const char* fileName;
    const Ownership& (*own)();
    // The program's own bytes for the known state.
    std::function<std::string()> known;
    // The window shows the known state / the state of no file.
    std::function<void(const TForm1&, bool holdsKnown)> expectLoaded;
    // Changes what the close will write.
    std::function<void(TForm1&)> change;
    // The file holds the changed state.
    std::function<void(const std::string& path, bool holdsKnown)> expectSaved;
};

const TDateTime kKnownTime = EncodeDateTime(2024, 3, 1, 7, 30);

std::string KnownAlarmBytes() {
    TempDir dir;
    AlarmList list;
    list.push_back(MakeAlarm("Known", kKnownTime, {1, 3}, true, "/sounds/known.wav"));
    SaveAlarmFile(dir.File("Dormis.ini"), list);
    return ReadBytes(dir.File("Dormis.ini"));
}

constexpr SettingsValues kKnownSettings{42, 37, 300, 640, 0, 0, 1, 200, 1};

std::string KnownSettingsBytes() {
    TempDir dir;
    WriteSettings(dir.File("Dormix.ini"), kKnownSettings);
    return ReadBytes(dir.File("Dormix.ini"));
}

std::vector<std::string> Descriptions(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& alarm : LoadAlarmFile(path, Now()))
        out.push_back(alarm->Description);
    return out;
}

const FileKind kAlarmFile{
    "AlarmFile",
    "Dormis.ini",
    AlarmFileOwnership,
    KnownAlarmBytes,
    [](const TForm1& form, bool holdsKnown) {
        ASSERT_EQ(form.AlarmList.size(), holdsKnown ? 1u : 0u);
        ASSERT_EQ(form.clbAlarms->count(), holdsKnown ? 1 : 0);
        if (holdsKnown) {
            const TAlarm& a = *form.AlarmList[0];
            EXPECT_EQ(a.Description, "Known");
            EXPECT_EQ(DateTimeToStr(a.Time), DateTimeToStr(kKnownTime));
            EXPECT_TRUE(a.Enabled);
            EXPECT_EQ(a.SoundFile, "/sounds/known.wav");
            EXPECT_TRUE(form.clbAlarms->Checked(0));
        }
    },
    [](TForm1& form) {
        if (!form.AlarmList.empty()) {
            form.AlarmList[0]->Description = "Changed";
            form.clbAlarms->SetRowText(0,
                                       QString::fromStdString(form.AlarmList[0]->GetDisplayText()));
        }
        form.AlarmList.push_back(MakeAlarm("Added", kKnownTime, {0}, false, "/added.wav"));
        form.clbAlarms->AddRow(QString::fromStdString(form.AlarmList.back()->GetDisplayText()),
                               false);
    },
    [](const std::string& path, bool holdsKnown) {
        const std::vector<std::string> expected = holdsKnown
                                                      ? std::vector<std::string>{"Changed", "Added"}
                                                      : std::vector<std::string>{"Added"};
        EXPECT_EQ(Descriptions(path), expected);
    },
};

const FileKind kSettingsFile{
    "SettingsFile",
    "Dormix.ini",
    SettingsFileOwnership,
    KnownSettingsBytes,
    [](const TForm1& form, bool holdsKnown) {
        EXPECT_EQ(form.AudioSettings.Device, holdsKnown ? 1 : 0);
        EXPECT_EQ(form.AudioSettings.Volume, holdsKnown ? 200 : 25);
        EXPECT_EQ(form.AudioSettings.VolumeOverride, holdsKnown);
    },
    [](TForm1& form) {
        form.AudioSettings.Volume = 77;
        form.AudioSettings.Device = 3;
    },
    [](const std::string& path, bool) {
        const SettingsValues v = ReadSettings(path);
        EXPECT_EQ(v[6], 3);
        EXPECT_EQ(v[7], 77);
    },
};

// A hostile file built around the program's own content.
struct Hostile {
    std::string bytes;
    bool holdsKnown;
    std::vector<std::string> kept; // foreign pieces that must survive byte for byte
};

std::string Garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(random));
    return out;
}

std::string ToCrLf(const std::string& lf) {
    std::string out;
    for (const char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct HostileCase {
    const char* name;
    Hostile (*make)(const std::string& known);
};

const HostileCase kHostileCases[] = {
    {"Empty",
     [](const std::string&) {
         return Hostile{"", false, {}};
     }},
    {"BinaryGarbage",
     [](const std::string& known) {
         const std::string before = Garbage(64 * 1024, 11), after = Garbage(64 * 1024, 12);
         return Hostile{before + "\n" + known + after, true, {before, after}};
     }},
    {"OnlyGarbage",
     [](const std::string&) {
         const std::string junk = Garbage(16 * 1024, 13);
         return Hostile{junk, false, {junk}};
     }},
    {"InvalidUtf8",
     [](const std::string& known) {
         const std::string before = "; \xed\xa0\x80 \xc0\xaf\n[Fremd\xff\xfe]\n\xc3\x28=\xa0\xa1\n";
         const std::string after = "[Other]\nKey=\x80\x81\xc3\n";
         return Hostile{before + known + after, true, {before, after}};
     }},
    {"TenMegabytes",
     [](const std::string& known) {
         std::string archive = "[Archive]\n";
         const std::string filler(100, 'x');
         for (int i = 0; archive.size() <= 10 * 1024 * 1024; ++i)
             archive += "Entry" + std::to_string(i) + "=" + filler + "\n";
         return Hostile{known + archive, true, {archive}};
     }},
    {"HundredThousandSections",
     [](const std::string& known) {
         std::string before, after;
         for (int i = 0; i < 100000; ++i)
             (i < 50000 ? before : after) +=
                 "[Section" + std::to_string(i) + "]\nKey=" + std::to_string(i) + "\n";
         return Hostile{before + known + after, true, {before, after}};
     }},
    {"MegabyteLines",
     [](const std::string& known) {
         const std::string mb(1024 * 1024, 'm');
         const std::string before = ";" + mb + "\n[Big]\nHuge=" + mb + "\n" + mb + "\n";
         const std::string inside = "Foreign=" + mb + "\n";
         return Hostile{before + known + inside, true, {before, inside}};
     }},
    {"CrLf",
     [](const std::string& known) {
         const std::string before = ToCrLf("; from Windows\n[Other]\nA=1\n\n");
         const std::string after = ToCrLf("[Tail]\nB=2\n");
         return Hostile{before + ToCrLf(known) + after, true, {before, after}};
     }},
    {"ByteOrderMark",
     [](const std::string& known) {
         return Hostile{
             "\xEF\xBB\xBF" + known + "[Other]\nA=1\n", true, {"\xEF\xBB\xBF[", "[Other]\nA=1\n"}};
     }},
    {"DuplicateSectionsAndKeys",
     [](const std::string& known) {
         // Another copy of the last key and of the first section: the first
         // copies are the program's, the later ones stay untouched.
         const std::string dups = "SoundFile=/second/copy.wav\nVolume=99\n[Other]\nA=1\nA=2\n"
                                  "[Other]\nA=3\n[Dormi0]\nDescription=Shadow\n[Form]\nTop=3\n";
         return Hostile{known + dups, true, {dups}};
     }},
    {"KeysOutsideAnySection",
     [](const std::string& known) {
         const std::string orphans = "Description=Orphan\nEnabled=1\nTop=7\nVolume=1\n";
         return Hostile{orphans + known, true, {orphans}};
     }},
};

class WindowOnHostileFile
    : public ::testing::TestWithParam<std::tuple<const FileKind*, const HostileCase*>> {};

TEST_P(WindowOnHostileFile, StartsWithWhatItUnderstandsAndTheCloseKeepsTheRest) {
    const FileKind& kind = *std::get<0>(GetParam());
    const HostileCase& c = *std::get<1>(GetParam());
    const Hostile h = c.make(kind.known());
    TempDir dir;
    const std::string path = dir.File(kind.fileName);
    WriteBytes(path, h.bytes);
    BoxWatch box;

    TForm1 form(nullptr, dir.Path().string());
    form.show();
    ProcessEventsUntil([] { return false; }, 100);
    kind.expectLoaded(form, h.holdsKnown);
    EXPECT_EQ(ReadBytes(path), h.bytes) << "starting changed the file";

    kind.change(form);
    ASSERT_TRUE(form.close()) << (box.Texts.empty() ? "" : box.Texts[0]);
    EXPECT_TRUE(box.Texts.empty());

    const std::string after = ReadBytes(path);
    EXPECT_TRUE(Residue(h.bytes, kind.own()) == Residue(after, kind.own()))
        << "lines the program does not own changed";
    for (const std::string& piece : h.kept)
        EXPECT_NE(after.find(piece), std::string::npos)
            << "a foreign piece of " << piece.size() << " bytes is gone";
    kind.expectSaved(path, h.holdsKnown);
    for (const std::string& name : dir.Names())
        EXPECT_TRUE(name == "Dormis.ini" || name == "Dormix.ini") << name << " left beside them";
}

INSTANTIATE_TEST_SUITE_P(BothFiles, WindowOnHostileFile,
                         ::testing::Combine(::testing::Values(&kAlarmFile, &kSettingsFile),
                                            ::testing::ValuesIn([] {
                                                std::vector<const HostileCase*> all;
                                                for (const auto& c : kHostileCases)
                                                    all.push_back(&c);
                                                return all;
                                            }())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::get<1>(info.param)->name;
                         });

// Something in the file's place that cannot be read as a file.
struct Obstacle {
    const char* name;
    // Puts it at path; returns how to take a fingerprint of it.
    void (*make)(const std::string& path);
    bool dropFileCapabilities; // root would read it anyway
};

const std::string kObstacleBytes = "[Dormi0]\nDescription=Hidden\nEnabled=1\n[Form]\nTop=9\n"
                                   "[Options]\nVolume=9\n[Foreign]\nKeep=me\n";

const Obstacle kObstacles[] = {
    {"Directory",
     [](const std::string& path) {
         ASSERT_TRUE(fs::create_directory(path));
         WriteBytes(path + "/inside", kObstacleBytes);
     },
     false},
    {"Fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, false},
    {"NoPermissions",
     [](const std::string& path) {
         WriteBytes(path, kObstacleBytes);
         ASSERT_EQ(::chmod(path.c_str(), 0000), 0);
     },
     true},
    {"WriteOnly",
     [](const std::string& path) {
         WriteBytes(path, kObstacleBytes);
         ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
     },
     true},
};

// What is at path, as far as the test can tell (it keeps its permission
// overrides or the file is the test's own).
std::string Fingerprint(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    std::string out = std::to_string(st.st_mode) + " " + std::to_string(st.st_ino) + " ";
    if (S_ISDIR(st.st_mode)) {
        for (const auto& entry : fs::directory_iterator(path))
            out += entry.path().filename().string() + ":" + ReadBytes(entry.path().string()) + " ";
    } else if (S_ISREG(st.st_mode)) {
        out += std::to_string(st.st_size);
    }
    return out;
}

class WindowOnUnreadableFile
    : public ::testing::TestWithParam<std::tuple<const FileKind*, const Obstacle*>> {};

TEST_P(WindowOnUnreadableFile, StartsAsWithoutAFileAndTheCloseLeavesItAlone) {
    const FileKind& kind = *std::get<0>(GetParam());
    const Obstacle& o = *std::get<1>(GetParam());
    TempDir dir;
    const std::string path = dir.File(kind.fileName);
    o.make(path);
    if (o.dropFileCapabilities) {
        ASSERT_TRUE(DropFileCapabilities());
    }
    const std::string before = Fingerprint(path);
    BoxWatch box;

    TForm1 form(nullptr, dir.Path().string());
    form.show();
    ProcessEventsUntil([] { return false; }, 100);
    kind.expectLoaded(form, false);

    kind.change(form);
    const std::size_t alarms = form.AlarmList.size();
    EXPECT_FALSE(form.close()) << "the close saved over a file it could not read";
    ASSERT_EQ(box.Texts.size(), 1u);
    EXPECT_EQ(box.Texts[0], "Unable to write to " + path + ".");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.AlarmList.size(), alarms);
    EXPECT_EQ(Fingerprint(path), before);
    if (o.dropFileCapabilities) {
        // The user gives the file back its permissions: it was never touched.
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        EXPECT_EQ(ReadBytes(path), kObstacleBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(BothFiles, WindowOnUnreadableFile,
                         ::testing::Combine(::testing::Values(&kAlarmFile, &kSettingsFile),
                                            ::testing::ValuesIn([] {
                                                std::vector<const Obstacle*> all;
                                                for (const auto& o : kObstacles)
                                                    all.push_back(&o);
                                                return all;
                                            }())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::get<1>(info.param)->name;
                         });

} // namespace
} // namespace dormix::test
