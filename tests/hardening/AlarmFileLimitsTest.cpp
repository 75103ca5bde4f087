// Limits of the alarm file that only the alarm layer gives meaning to: text
// values at and beyond the 2047-byte limit, duplicated alarm sections when
// alarms are deleted, and a hundred thousand alarm sections.
#include "HardeningSupport.h"

namespace dormix::test {
namespace {

const TDateTime kNow = EncodeDateTime(2024, 1, 17, 12);

// Description and SoundFile values of a given length: read back whole up to
// 2047 bytes, cut to their first 2047 bytes beyond. The program writes back
// what it read, so a save keeps a value of up to 2047 bytes byte for byte and
// stores the cut text for a longer one; the foreign key of the same length
// beside them is never touched.
TEST(AlarmFileLimits, TextValuesAreReadUpTo2047Bytes) {
    const std::size_t lengths[] = {0, 1, 2046, 2047, 2048, 4096, 1024 * 1024};
    for (const std::size_t n : lengths) {
        SCOPED_TRACE("value of " + std::to_string(n) + " bytes");
        TempDir dir;
        const std::string path = dir.File("Dormis.ini");
        const std::string description(n, 'd');
        const std::string sound = "/" + std::string(n == 0 ? 0 : n - 1, 's');
        const std::string foreign = "Note=" + std::string(n, 'n') + "\n";
        WriteBytes(path, "[Dormi0]\nDescription=" + description + "\nTime=07:00:00\nEnabled=1\n" +
                             foreign + "SoundFile=" + sound + "\n");
        const std::size_t kept = std::min<std::size_t>(n, 2047);
        AlarmList list = LoadAlarmFile(path, kNow);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0]->Description, description.substr(0, kept));
        EXPECT_EQ(list[0]->SoundFile, sound.substr(0, std::min<std::size_t>(sound.size(), 2047)));

        SaveAlarmFile(path, list);
        const std::string saved = ReadBytes(path);
        EXPECT_NE(saved.find("\nDescription=" + description.substr(0, kept) + "\n"),
                  std::string::npos);
        EXPECT_NE(saved.find("\n" + foreign), std::string::npos) << "the foreign key changed";
        const AlarmList again = LoadAlarmFile(path, kNow);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(Summary(*again[0]), Summary(*list[0]));
    }
}

// A value of exactly 2047 bytes written by the program reads back whole; one
// of 2048 reads back as its first 2047. Multi-byte characters are never split.
TEST(AlarmFileLimits, WrittenTextsAtTheLimit) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {std::string(2047, 'a'), std::string(2047, 'a')},
        {std::string(2048, 'b'), std::string(2047, 'b')},
        // "é" is two bytes: 2046 + 2 = 2048 bytes, the cut keeps 2046.
        {std::string(2046, 'c') + "\xc3\xa9", std::string(2046, 'c')},
        {std::string(2045, 'c') + "\xc3\xa9", std::string(2045, 'c') + "\xc3\xa9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        TempDir dir;
        const std::string path = dir.File("Dormis.ini");
        AlarmList list;
        list.push_back(MakeAlarm(c.text, 0.25, {2}, true, c.text));
        SaveAlarmFile(path, list);
        EXPECT_NE(ReadBytes(path).find("Description=" + c.text + "\n"), std::string::npos)
            << "the whole text is written";
        const AlarmList loaded = LoadAlarmFile(path, kNow);
        ASSERT_EQ(loaded.size(), 1u);
        EXPECT_EQ(loaded[0]->Description, c.expected);
        EXPECT_EQ(loaded[0]->SoundFile, c.expected);
    }
}

// A file with an alarm section twice (and a key twice): the first copy is the
// alarm. Deleting alarms erases every copy of their sections, so a deleted
// alarm never comes back from a later copy at the next start.
TEST(AlarmFileLimits, DuplicatedSectionsOfDeletedAlarmsDoNotComeBack) {
    const std::string file = "[Dormi0]\nDescription=First\nDescription=Second\nEnabled=1\n"
                             "[Dormi1]\nDescription=One\n"
                             "[Dormi0]\nDescription=Shadow of 0\n"
                             "[Other]\nKeep=me\n"
                             "[Dormi1]\nDescription=Shadow of 1\n"
                             "[Dormi1]\n"; // a header without keys
    const struct {
        std::size_t keep; // alarms left after the user deleted the rest
        std::string expected;
    } cases[] = {{2, "First\nOne\n"}, {1, "First\n"}, {0, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE("alarms kept: " + std::to_string(c.keep));
        TempDir dir;
        const std::string path = dir.File("Dormis.ini");
        WriteBytes(path, file);
        AlarmList list = LoadAlarmFile(path, kNow);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0]->Description, "First");
        EXPECT_EQ(list[1]->Description, "One");
        list.resize(c.keep);
        SaveAlarmFile(path, list);
        std::string loaded;
        for (const auto& a : LoadAlarmFile(path, kNow))
            loaded += a->Description + "\n";
        EXPECT_EQ(loaded, c.expected);
        const std::string saved = ReadBytes(path);
        EXPECT_NE(saved.find("[Other]\nKeep=me\n"), std::string::npos);
        if (c.keep == 2) { // nothing erased: every later copy stays as it was
            EXPECT_EQ(Residue(saved, AlarmFileOwnership()), Residue(file, AlarmFileOwnership()));
        }
    }
}

// 100 000 sections Dormi0..Dormi99999: only Dormi0..Dormi999 are alarms. A
// save of three erases Dormi3..Dormi999 and keeps every section from
// Dormi1000 on byte for byte.
TEST(AlarmFileLimits, HundredThousandAlarmSections) {
    TempDir dir;
    const std::string path = dir.File("Dormis.ini");
    std::string file;
    for (int i = 0; i < 100000; ++i)
        file += "[Dormi" + std::to_string(i) + "]\nDescription=a" + std::to_string(i) +
                "\nEnabled=1\nMonday=1\nTime=07:00:00\n";
    WriteBytes(path, file);
    AlarmList list = LoadAlarmFile(path, kNow);
    ASSERT_EQ(list.size(), 1000u);
    EXPECT_EQ(list.front()->Description, "a0");
    EXPECT_EQ(list.back()->Description, "a999");

    list.resize(3);
    SaveAlarmFile(path, list);
    const std::string saved = ReadBytes(path);
    const std::size_t tail = file.find("[Dormi1000]\n");
    ASSERT_NE(tail, std::string::npos);
    EXPECT_NE(saved.find(file.substr(tail)), std::string::npos)
        << "sections from Dormi1000 on changed";
    EXPECT_EQ(saved.find("[Dormi3]"), std::string::npos);
    EXPECT_EQ(saved.find("[Dormi999]"), std::string::npos);
    const AlarmList again = LoadAlarmFile(path, kNow);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(Summaries(again), Summaries(list));
}

} // namespace
} // namespace dormix::test
