// The profile-file layer on real files: value grammar, what is kept byte for
// byte, line ends, byte-order mark, line breaks in values and commit failures.
#include "IniFile.h"
#include "CoreTestSupport.h"
#include "Exception.h"

#include <sys/stat.h>

#include <optional>

namespace dormix {
namespace {

using test::ReadBytes;
using test::ScopedLocale;
using test::TempDir;
using test::WriteBytes;

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_ino;
}

TEST(IniFile, IntegerAndFlagGrammar) {
    const struct {
        const char* text;
        std::optional<std::int32_t> value; // nullopt: the default
    } cases[] = {
        {"0x20", 32},
        {"0X20", 32},
        {"$20", 32},
        {"$ff", 255},
        {"$FFFFFFFF", -1},
        {"0xFFFFFFFF", -1},
        {"0x80000000", INT32_MIN},
        {"0x000000001", 1},
        {"+5", 5},
        {"-5", -5},
        {" 7", 7},
        {"\t 8", 8},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"7 ", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"0x100000000", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"-0x10", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"0x1G", std::nullopt},
        {"1.0", std::nullopt},
        {"yes", std::nullopt},
    };
    TempDir dir;
    const std::string path = dir.File("grammar.ini");
    std::string file = "[s]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        file += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
    WriteBytes(path, file);
    const TIniFile ini(path);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string key = "k" + std::to_string(i);
        const auto& c = cases[i];
        EXPECT_EQ(ini.ReadInteger("s", key, 4242), c.value.value_or(4242)) << "'" << c.text << "'";
        // Flags: the integer with default 1 or 0; non-zero is on.
        EXPECT_EQ(ini.ReadBool("s", key, false), c.value.value_or(0) != 0) << c.text;
        EXPECT_EQ(ini.ReadBool("s", key, true), c.value.value_or(1) != 0) << c.text;
    }
    EXPECT_EQ(ini.ReadInteger("s", "missing", -3), -3);
    EXPECT_TRUE(ini.ReadBool("s", "missing", true));
}

TEST(IniFile, WritesAndReadsBackValuesExactly) {
    ScopedLocale locale("de_DE.UTF-8");
    TempDir dir;
    const std::string path = dir.File("values.ini");
    {
        TIniFile ini(path);
        ini.WriteString("Main", "Text", "  spaced = value ; not a comment  ");
        ini.WriteString("Main", "Empty", "");
        ini.WriteString("Main", "Quoted", "\"quoted\"");
        ini.WriteInteger("Main", "Negative", -42);
        ini.WriteInteger("Main", "Min", INT32_MIN);
        ini.WriteBool("Main", "On", true);
        ini.WriteBool("Main", "Off", false);
        ini.WriteDateTime("Main", "When", EncodeDateTime(2024, 1, 15, 7, 30));
        ini.WriteDateTime("Main", "Day", EncodeDateTime(2024, 1, 15));
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadBytes(path), "[Main]\n"
                               "Text=  spaced = value ; not a comment  \n"
                               "Empty=\n"
                               "Quoted=\"quoted\"\n"
                               "Negative=-42\n"
                               "Min=-2147483648\n"
                               "On=1\n"
                               "Off=0\n"
                               "When=15.01.2024 07:30:00\n"
                               "Day=15.01.2024\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("main", "TEXT", "?"), "  spaced = value ; not a comment  ");
    EXPECT_EQ(ini.ReadString("Main", "Empty", "?"), "");
    EXPECT_EQ(ini.ReadString("Main", "Quoted", "?"), "\"quoted\"");
    EXPECT_EQ(ini.ReadInteger("Main", "Negative", 0), -42);
    EXPECT_EQ(ini.ReadInteger("Main", "Min", 0), INT32_MIN);
    EXPECT_TRUE(ini.ReadBool("Main", "On", false));
    EXPECT_FALSE(ini.ReadBool("Main", "Off", true));
    EXPECT_EQ(ini.ReadDateTime("Main", "When", -1), EncodeDateTime(2024, 1, 15, 7, 30));
    EXPECT_EQ(ini.ReadDateTime("Main", "Day", -1), EncodeDateTime(2024, 1, 15));
    EXPECT_EQ(ini.ReadDateTime("Main", "Text", -1), -1.0);
    EXPECT_EQ(ini.ReadDateTime("Main", "Empty", -1), -1.0);
    EXPECT_EQ(ini.ReadDateTime("Main", "Missing", -1), -1.0);
    EXPECT_EQ(ini.ReadString("Other", "Text", "default"), "default");
}

TEST(IniFile, KeepsWhatItDoesNotTouch) {
    TempDir dir;
    const std::string path = dir.File("keep.ini");
    WriteBytes(path, "loose=before any section\n"
                     "; a comment\n"
                     "\n"
                     "[First]\n"
                     "  Key = spaced  \n"
                     "key=duplicate key\n"
                     "# another comment\n"
                     "\n"
                     "[Unknown]\n"
                     "weird line without equals\n"
                     "x=1\n"
                     "[FIRST]\n"
                     "Key=duplicate section\n"
                     "[Gone]\n"
                     "a=1\n"
                     "; goes with its section\n"
                     "[Empty]\n"
                     "\n");
    TIniFile ini(path);
    // Names match whatever their case and blanks; values are not trimmed.
    EXPECT_EQ(ini.ReadString("first", "KEY", "?"), " spaced  ");
    EXPECT_EQ(ini.ReadString(" First ", "key", "?"), " spaced  ");
    // Keys before any section never match.
    EXPECT_EQ(ini.ReadString("", "loose", "?"), "?");
    EXPECT_TRUE(ini.SectionExists("Unknown"));
    EXPECT_TRUE(ini.SectionExists("gone"));
    EXPECT_FALSE(ini.SectionExists("Empty"));
    EXPECT_FALSE(ini.SectionExists("Missing"));

    ini.WriteString("First", "KEY", "new");     // first occurrence only
    ini.WriteString("First", "Added", "value"); // below the last key
    ini.WriteInteger("Empty", "n", 3);          // under a key-less header
    ini.WriteString("New Section", "k", "v");   // at the end
    ini.EraseSection("GONE");
    ini.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "loose=before any section\n"
                               "; a comment\n"
                               "\n"
                               "[First]\n"
                               "  Key =new\n"
                               "key=duplicate key\n"
                               "Added=value\n"
                               "# another comment\n"
                               "\n"
                               "[Unknown]\n"
                               "weird line without equals\n"
                               "x=1\n"
                               "[FIRST]\n"
                               "Key=duplicate section\n"
                               "[Empty]\n"
                               "n=3\n"
                               "\n"
                               "[New Section]\n"
                               "k=v\n");
    const TIniFile again(path);
    EXPECT_EQ(again.ReadString("First", "key", "?"), "new");
    EXPECT_FALSE(again.SectionExists("Gone"));
    // Erasing the first of two same-named sections uncovers the second.
    TIniFile dup(path);
    dup.EraseSection("first");
    EXPECT_EQ(dup.ReadString("First", "Key", "?"), "duplicate section");
}

TEST(IniFile, WritesNothingUnlessSomethingChanged) {
    TempDir dir;
    const std::string path = dir.File("same.ini");
    WriteBytes(path, "[s]\nk=v\r\n");
    const ino_t before = InodeOf(path);
    {
        TIniFile ini(path);
        ini.WriteString("S", "K", "v");
        ini.EraseSection("absent");
        EXPECT_FALSE(ini.Modified());
        ini.UpdateFile();
    }
    EXPECT_EQ(InodeOf(path), before);
    EXPECT_EQ(ReadBytes(path), "[s]\nk=v\r\n");
    {
        TIniFile ini(path);
        ini.WriteString("s", "k", "w");
        EXPECT_TRUE(ini.Modified());
        ini.UpdateFile();
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_NE(InodeOf(path), before); // replaced by rename, not rewritten in place
    EXPECT_EQ(ReadBytes(path), "[s]\nk=w\r\n");
    // A missing file with nothing written stays missing.
    const std::string absent = dir.File("absent.ini");
    {
        TIniFile ini(absent);
        EXPECT_EQ(ini.ReadString("s", "k", "d"), "d");
        ini.UpdateFile();
    }
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST(IniFile, LineBreaksInValuesBecomeSpaces) {
    TempDir dir;
    const std::string path = dir.File("breaks.ini");
    {
        TIniFile ini(path);
        ini.WriteString("s", "k", "one\r\ntwo\nthree\rfour\n\n");
        ini.WriteString("s", "evil", "x\n[Injected]\nk=1\r\nz=2");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadBytes(path), "[s]\nk=one two three four  \nevil=x [Injected] k=1 z=2\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("s", "k", "?"), "one two three four  ");
    EXPECT_FALSE(ini.SectionExists("Injected"));
    EXPECT_EQ(ini.ReadString("s", "z", "?"), "?");
}

TEST(IniFile, CrLfLineEnds) {
    TempDir dir;
    const std::string path = dir.File("crlf.ini");
    WriteBytes(path, "; c\r\n[s]\r\nk=v\r\nn=0x10\r\n\r\n[t]\r\nx=1\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("s", "k", "?"), "v");
    EXPECT_EQ(ini.ReadInteger("s", "n", 0), 16);
    ini.WriteString("s", "k", "w");
    ini.WriteString("s", "new", "1");
    ini.WriteString("u", "a", "b");
    ini.UpdateFile();
    EXPECT_EQ(ReadBytes(path),
              "; c\r\n[s]\r\nk=w\r\nn=0x10\r\nnew=1\r\n\r\n[t]\r\nx=1\r\n[u]\r\na=b\r\n");
}

TEST(IniFile, ByteOrderMarkAndMissingFinalLineEnd) {
    TempDir dir;
    const std::string path = dir.File("bom.ini");
    WriteBytes(path, "\xEF\xBB\xBF[s]\nk=v");
    {
        TIniFile ini(path);
        EXPECT_TRUE(ini.SectionExists("s"));
        EXPECT_EQ(ini.ReadString("s", "k", "?"), "v");
        ini.WriteString("s", "k", "w");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[s]\nk=w");
    {
        TIniFile ini(path);
        ini.WriteString("s", "j", "1");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[s]\nk=w\nj=1\n");
}

TEST(IniFile, TextsAreCutTo2047Bytes) {
    const std::string euro = "\xE2\x82\xAC"; // three bytes
    const struct {
        std::string stored;
        std::string read;
    } cases[] = {
        {std::string(3000, 'a'), std::string(2047, 'a')},
        {std::string(2047, 'a'), std::string(2047, 'a')},
        {std::string(2047, 'a') + "\xC3\xA9", std::string(2047, 'a')},
        {std::string(2046, 'a') + "\xC3\xA9", std::string(2046, 'a')}, // no half character
        {std::string(2045, 'a') + euro + "z", std::string(2045, 'a')},
        {std::string(2044, 'a') + euro + "z", std::string(2044, 'a') + euro},
    };
    TempDir dir;
    const std::string path = dir.File("long.ini");
    {
        TIniFile ini(path);
        for (std::size_t i = 0; i < std::size(cases); ++i)
            ini.WriteString("s", "k" + std::to_string(i), cases[i].stored);
        ini.UpdateFile();
    }
    const TIniFile ini(path);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.ReadString("s", "k" + std::to_string(i), "?"), cases[i].read) << i;
}

TEST(IniFile, FailedCommitThrowsAndKeepsChanges) {
    TempDir dir;
    const std::string blocker = dir.File("a-file");
    WriteBytes(blocker, "x");
    // The parent "folder" is a regular file: fails for root as well.
    const std::string path = blocker + "/settings.ini";
    TIniFile ini(path);
    ini.WriteString("s", "k", "v");
    try {
        ini.UpdateFile();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + path);
    }
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ReadBytes(blocker), "x");
}

} // namespace
} // namespace dormix
