// The alarm file and the settings file as the user's disk may hand them over:
// empty, binary garbage, invalid UTF-8, 10 MB, 100 000 sections, 1 MB lines,
// CR LF, a byte-order mark, duplicates, keys before any section. Every case,
// for both files, through the real layers:
//   - reading never crashes, never writes, and finds exactly the program's
//     own content that the file holds (or nothing);
//   - a save of the same values, and then a save of changed values, leaves
//     everything the program does not own byte for byte where it was;
//   - the changed values read back.
#include "HardeningSupport.h"

#include <functional>
#include <random>

namespace dormix::test {
namespace {

// The program's own content of one of the two files, and how to read, save
// and change it through the real layers.
struct FileKind {
    std::string name;
    std::string fileName;
    const Ownership* own;
    std::string known;       // the program's bytes for its known state
    std::string knownRead;   // Read() of a file holding only `known`
    std::string nothingRead; // Read() of an empty file
    std::string dupKeyLine;  // another copy of a key of known's last section
    std::string dupSection;  // another copy of one of known's sections, other values
    std::function<std::string(const std::string& path)> read;
    std::function<void(const std::string& path)> saveSame;    // read, save unchanged
    std::function<void(const std::string& path)> saveChanged; // read, change, save
    std::string changedFromKnown;
    std::string changedFromNothing;
};

AlarmList KnownAlarms() {
    AlarmList list;
    // Invalid UTF-8 and Latin-1 bytes in the texts: stored and read back as bytes.
    list.push_back(MakeAlarm("K\xc3\xbc"
                             "che \xff\xfe\xc3\x28 wake",
                             EncodeDateTime(2024, 3, 1, 7, 30), {1, 3}, true,
                             "/home/u/Kl\xe4nge/ding.wav"));
    return list;
}

void ChangeAlarms(AlarmList& list) {
    if (!list.empty())
        list.front()->Description = "Changed";
    list.push_back(
        MakeAlarm("Added", EncodeDateTime(2024, 5, 2, 6, 15, 30), {0, 6}, false, "/added.wav"));
}

std::string ReadAlarms(const std::string& path) {
    return Summaries(LoadAlarmFile(path, EncodeDateTime(2024, 1, 17, 12)));
}

const FileKind& AlarmFileKind() {
    static const FileKind kind = [] {
        FileKind k;
        k.name = "AlarmFile";
        k.fileName = "Dormis.ini";
        k.own = &AlarmFileOwnership();
        TempDir dir;
        const std::string path = dir.File("Dormis.ini");
        SaveAlarmFile(path, KnownAlarms());
        k.known = ReadBytes(path);
        k.knownRead = Summaries(KnownAlarms());
        k.nothingRead = "";
        k.dupKeyLine = "Description=Second copy\n";
        k.dupSection = "[Dormi0]\nDescription=Shadow\nEnabled=1\n";
        k.read = ReadAlarms;
        k.saveSame = [](const std::string& p) {
            SaveAlarmFile(p, LoadAlarmFile(p, EncodeDateTime(2024, 1, 17, 12)));
        };
        k.saveChanged = [](const std::string& p) {
            AlarmList list = LoadAlarmFile(p, EncodeDateTime(2024, 1, 17, 12));
            ChangeAlarms(list);
            SaveAlarmFile(p, list);
        };
        AlarmList fromKnown = KnownAlarms();
        ChangeAlarms(fromKnown);
        k.changedFromKnown = Summaries(fromKnown);
        AlarmList fromNothing;
        ChangeAlarms(fromNothing);
        k.changedFromNothing = Summaries(fromNothing);
        return k;
    }();
    return kind;
}

std::string SettingsText(const SettingsValues& v) {
    std::string out;
    for (const auto x : v)
        out += std::to_string(x) + " ";
    return out;
}

constexpr SettingsValues kKnownSettings{42, -7, 300, 640, 1, 0, -1, 200, 1};
constexpr SettingsValues kDefaultSettings{100, 100, 400, 500, 0, 0, 0, 25, 0};
constexpr SettingsValues kChangedSettings{5, 6, 700, 800, 0, 1, 3, 0, 0};

const FileKind& SettingsFileKind() {
    static const FileKind kind = [] {
        FileKind k;
        k.name = "SettingsFile";
        k.fileName = "Dormix.ini";
        k.own = &SettingsFileOwnership();
        TempDir dir;
        const std::string path = dir.File("Dormix.ini");
        WriteSettings(path, kKnownSettings);
        k.known = ReadBytes(path);
        k.knownRead = SettingsText(kKnownSettings);
        k.nothingRead = SettingsText(kDefaultSettings);
        k.dupKeyLine = "Volume=99\n"; // known ends in [Options]
        k.dupSection = "[Form]\nTop=3\nLeft=4\n";
        k.read = [](const std::string& p) { return SettingsText(ReadSettings(p)); };
        k.saveSame = [](const std::string& p) { WriteSettings(p, ReadSettings(p)); };
        k.saveChanged = [](const std::string& p) { WriteSettings(p, kChangedSettings); };
        k.changedFromKnown = SettingsText(kChangedSettings);
        k.changedFromNothing = SettingsText(kChangedSettings);
        return k;
    }();
    return kind;
}

// One hostile file built around the program's own content.
struct Fixture {
    std::string bytes;
    bool holdsKnown = true;        // the program's own content is in it
    std::vector<std::string> kept; // must still be in the file, byte for byte, after saves
    bool crlf = false;             // every line must end in CR LF after saves
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
    std::function<Fixture(const FileKind&)> make;
};

const HostileCase kCases[] = {
    // An empty file reads as nothing; the save creates the program's content.
    {"Empty",
     [](const FileKind&) {
         return Fixture{"", false, {}, false};
     }},
    // 64 KB of random bytes (NULs, CRs, "=", "[" included) before and after.
    {"BinaryGarbage",
     [](const FileKind& k) {
         const std::string before = Garbage(64 * 1024, 1);
         const std::string after = Garbage(64 * 1024, 2);
         return Fixture{before + "\n" + k.known + after, true, {before, after}, false};
     }},
    // Only garbage: nothing is read, the save appends its content behind it.
    {"OnlyGarbage",
     [](const FileKind&) {
         const std::string junk = Garbage(16 * 1024, 3);
         return Fixture{junk, false, {junk}, false};
     }},
    // Invalid UTF-8 (lone continuation bytes, overlong forms, surrogates,
    // Latin-1) in section names, keys, values and comments.
    {"InvalidUtf8",
     [](const FileKind& k) {
         const std::string before =
             "; \xed\xa0\x80 surrogate \xc0\xaf overlong\n"
             "[Fremd\xff\xfe]\n\xc3\x28=\xa0\xa1\nK\xe4se=\xf8\x88\x80\x80\x80\n";
         const std::string after = "[Other]\nKey=\x80\x81\x82\xc3\n";
         return Fixture{before + k.known + after, true, {before, after}, false};
     }},
    // More than 10 MB: a huge foreign section after the program's content.
    {"TenMegabytes",
     [](const FileKind& k) {
         std::string archive = "[Archive]\n";
         const std::string filler(100, 'x');
         for (int i = 0; archive.size() < 10 * 1024 * 1024 + 1; ++i)
             archive += "Entry" + std::to_string(i) + "=" + filler + "\n";
         return Fixture{k.known + archive, true, {archive}, false};
     }},
    // 100 000 foreign sections, half before and half after.
    {"HundredThousandSections",
     [](const FileKind& k) {
         std::string before;
         std::string after;
         for (int i = 0; i < 100000; ++i)
             (i < 50000 ? before : after) +=
                 "[Section" + std::to_string(i) + "]\nKey=" + std::to_string(i) + "\n";
         return Fixture{before + k.known + after, true, {}, false};
     }},
    // Lines of 1 MB: a comment, a foreign value, a line that is neither, and a
    // foreign key inside the program's own section.
    {"MegabyteLines",
     [](const FileKind& k) {
         const std::string mb(1024 * 1024, 'm');
         const std::string before = ";" + mb + "\n[Big]\nHuge=" + mb + "\n" + mb + "\n";
         const std::string inside = "Foreign=" + mb + "\n";
         return Fixture{before + k.known + inside, true, {before, inside}, false};
     }},
    // CR LF line ends everywhere: values read without the CR, and every line
    // the save adds ends in CR LF too.
    {"CrLf",
     [](const FileKind& k) {
         const std::string before = ToCrLf("; written on Windows\n[Other]\nA=1\n\n");
         const std::string after = ToCrLf("[Tail]\nB=2\n");
         return Fixture{before + ToCrLf(k.known) + after, true, {before, after}, true};
     }},
    // A UTF-8 byte-order mark directly before the program's first section:
    // the section is still found, and the mark stays first (and only once).
    {"ByteOrderMark",
     [](const FileKind& k) {
         return Fixture{
             "\xEF\xBB\xBF" + k.known + "[Other]\nA=1\n", true, {"\xEF\xBB\xBF["}, false};
     }},
    // A key twice in one section and one of the program's sections twice:
    // the first copy is read and written, the later copies stay as they are.
    {"DuplicateSectionsAndKeys",
     [](const FileKind& k) {
         const std::string dups = k.dupKeyLine + "[Other]\nA=1\nA=2\n[Other]\nA=3\n" + k.dupSection;
         return Fixture{k.known + dups, true, {dups}, false};
     }},
    // Keys (named like the program's own) before any section are not read
    // and stay where they are.
    {"KeysOutsideAnySection",
     [](const FileKind& k) {
         const std::string orphans = "Description=Orphan\nEnabled=1\nTop=7\nVolume=1\n";
         return Fixture{orphans + k.known, true, {orphans}, false};
     }},
    // Only orphan keys: nothing is read.
    {"OnlyKeysOutsideAnySection",
     [](const FileKind&) {
         const std::string orphans = "Description=Orphan\nTime=07:00:00\nEnabled=1\nTop=7\n";
         return Fixture{orphans, false, {orphans}, false};
     }},
};

void ExpectNothingLost(const std::string& before, const std::string& after, const Fixture& fx,
                       const FileKind& kind, const char* step) {
    SCOPED_TRACE(step);
    // Compared as a whole first (cheap), line lists only to report a difference.
    const auto residueBefore = Residue(before, *kind.own);
    const auto residueAfter = Residue(after, *kind.own);
    if (residueBefore != residueAfter) {
        std::size_t i = 0;
        while (i < residueBefore.size() && i < residueAfter.size() &&
               residueBefore[i] == residueAfter[i])
            ++i;
        ADD_FAILURE() << "foreign lines changed: " << residueBefore.size() << " before, "
                      << residueAfter.size() << " after, first difference at line " << i;
    }
    for (const std::string& piece : fx.kept)
        EXPECT_NE(after.find(piece), std::string::npos)
            << "a foreign piece of " << piece.size() << " bytes was changed or lost";
    if (fx.crlf) {
        for (std::size_t p = after.find('\n'); p != std::string::npos; p = after.find('\n', p + 1))
            ASSERT_TRUE(p > 0 && after[p - 1] == '\r') << "a bare LF at byte " << p;
    }
    const bool bomBefore = before.rfind("\xEF\xBB\xBF", 0) == 0;
    EXPECT_EQ(after.rfind("\xEF\xBB\xBF", 0) == 0, bomBefore) << "byte-order mark";
    if (bomBefore) {
        EXPECT_EQ(after.find("\xEF\xBB\xBF", 3), std::string::npos) << "a second byte-order mark";
    }
}

class HostileFile
    : public ::testing::TestWithParam<std::tuple<const FileKind* (*)(), const HostileCase*>> {};

TEST_P(HostileFile, ReadsWithoutHarmAndSavesKeepWhatIsForeign) {
    const FileKind& kind = *std::get<0>(GetParam())();
    const HostileCase& c = *std::get<1>(GetParam());
    const Fixture fx = c.make(kind);
    TempDir dir;
    const std::string path = dir.File(kind.fileName);
    WriteBytes(path, fx.bytes);

    EXPECT_EQ(kind.read(path), fx.holdsKnown ? kind.knownRead : kind.nothingRead);
    ASSERT_EQ(ReadBytes(path), fx.bytes) << "reading changed the file";

    kind.saveSame(path);
    const std::string afterSame = ReadBytes(path);
    ExpectNothingLost(fx.bytes, afterSame, fx, kind, "save of the values read");
    if (fx.holdsKnown) {
        EXPECT_EQ(afterSame, fx.bytes) << "saving the values read changed the file";
    }
    EXPECT_EQ(kind.read(path), fx.holdsKnown ? kind.knownRead : kind.nothingRead);

    kind.saveChanged(path);
    const std::string afterChange = ReadBytes(path);
    ExpectNothingLost(fx.bytes, afterChange, fx, kind, "save of changed values");
    EXPECT_EQ(kind.read(path), fx.holdsKnown ? kind.changedFromKnown : kind.changedFromNothing);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{kind.fileName}) << "files left beside it";
}

const FileKind* AlarmKindPtr() {
    return &AlarmFileKind();
}
const FileKind* SettingsKindPtr() {
    return &SettingsFileKind();
}

std::vector<const HostileCase*> AllCases() {
    std::vector<const HostileCase*> out;
    for (const auto& c : kCases)
        out.push_back(&c);
    return out;
}

INSTANTIATE_TEST_SUITE_P(BothFiles, HostileFile,
                         ::testing::Combine(::testing::Values(&AlarmKindPtr, &SettingsKindPtr),
                                            ::testing::ValuesIn(AllCases())),
                         [](const auto& info) {
                             const bool alarms = std::get<0>(info.param) == &AlarmKindPtr;
                             return std::string(alarms ? "AlarmFile_" : "SettingsFile_") +
                                    std::get<1>(info.param)->name;
                         });

} // namespace
} // namespace dormix::test
