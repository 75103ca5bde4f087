// Version data: the query layer on real executables and on damaged files and
// blocks, TExeVersion's reading rules, and the build's embedding (including
// after strip), using the probe programs built beside this test.
#include "ExeVersion.h"
#include "VersionData.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

const char* const kFileVersionPath = "\\StringFileInfo\\0c0904e4\\FileVersion";

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The version block of a file through the public calls; empty when it has none.
Bytes BlockOf(const std::string& path) {
    const std::uint32_t size = dormix::GetFileVersionInfoSize(path);
    if (size == 0)
        return {};
    Bytes block(size);
    if (!dormix::GetFileVersionInfo(path, size, block.data()))
        return {};
    return block;
}

// The value at path as bytes, or nullopt when absent.
std::optional<std::string> Query(const Bytes& block, std::string_view path) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!dormix::VerQueryValue(block.data(), block.size(), path, &value, &length))
        return std::nullopt;
    return std::string(static_cast<const char*>(value), length);
}

std::string RunProgram(const std::string& program) {
    std::string out;
    FILE* p = ::popen(("'" + program + "'").c_str(), "r");
    if (p == nullptr)
        return "<popen failed>";
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = ::pclose(p);
    if (status != 0)
        out += "<exit status " + std::to_string(status) + ">";
    return out;
}

// What a probe prints: the given texts (others empty) and numbers.
std::string ProbeOutput(const std::map<std::string, std::string>& texts,
                        const std::string& numbers) {
    static const char* const names[] = {
        "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
        "LegalTradeMarks", "OriginalFileName", "ProductName", "ProductVersion", "Comments"};
    auto text = [&](const std::string& name) {
        const auto it = texts.find(name);
        return it == texts.end() ? std::string() : it->second;
    };
    std::string out;
    for (const char* name : names)
        out += std::string(name) + "=" + text(name) + "\n";
    out += "Numbers=" + numbers + "\n";
    out += "Caption=" + text("ProductName") + " Version " + text("FileVersion") + "\n";
    return out;
}

const std::string& ProgramOutput() {
    static const std::string out =
        ProbeOutput({{"CompanyName", "Tarnby Software"},
                     {"FileDescription", "The Alarm Scheduler"},
                     {"FileVersion", "1.1.0.0"},
                     {"LegalCopyright", "Copyright (C) 2026 Tarnby Software. All rights reserved."},
                     {"ProductName", "Dormix"},
                     {"ProductVersion", "1.0.0.0"}},
                    "1 1 0 0");
    return out;
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "dormix-version-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) != nullptr)
            path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// ---- the query layer ---------------------------------------------------------

TEST(VersionQuery, FindsValuesWhateverTheLetterCase) {
    const Bytes block = BlockOf(VERSION_PROBE_PROGRAM);
    ASSERT_FALSE(block.empty());
    const std::string copyright = "Copyright (C) 2026 Tarnby Software. All rights reserved.";
    const struct {
        const char* path;
        std::string value;
    } cases[] = {
        {"\\StringFileInfo\\0C0904E4\\FileVersion", std::string("1.1.0.0\0", 8)},
        {kFileVersionPath, std::string("1.1.0.0\0", 8)},
        {"\\STRINGFILEINFO\\0c0904E4\\productNAME", std::string("Dormix\0", 7)},
        {"\\StringFileInfo\\0c0904e4\\ProductVersion", std::string("1.0.0.0\0", 8)},
        {"\\StringFileInfo\\0c0904e4\\LegalCopyright", copyright + '\0'},
        // The reader's spellings of the keys stored as LegalTrademarks / OriginalFilename.
        {"\\StringFileInfo\\0c0904e4\\LegalTradeMarks", std::string(1, '\0')},
        {"\\StringFileInfo\\0c0904e4\\OriginalFileName", std::string(1, '\0')},
        {"\\StringFileInfo\\0c0904e4\\Comments", std::string(1, '\0')},
        // Leading, doubled and trailing backslashes name nothing extra.
        {"StringFileInfo\\\\0c0904e4\\CompanyName\\", std::string("Tarnby Software\0", 16)},
        {"\\VarFileInfo\\Translation", std::string("\x09\x0C\xE4\x04", 4)},
        {"\\varfileinfo\\TRANSLATION", std::string("\x09\x0C\xE4\x04", 4)},
        {"\\", std::string()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Query(block, c.path), c.value) << c.path;
}

TEST(VersionQuery, AbsentPathsAreNotFound) {
    const Bytes block = BlockOf(VERSION_PROBE_PROGRAM);
    ASSERT_FALSE(block.empty());
    for (const char* path : {
             "\\StringFileInfo\\0c0904e4\\Missing",
             "\\StringFileInfo\\0c0904e4\\FileVersio",
             "\\StringFileInfo\\0c0904e4\\FileVersionX",
             "\\StringFileInfo\\04090000\\FileVersion",
             "\\StringFileInfo\\0c0904e4\\FileVersion\\More",
             "\\StringFileInfo\\FileVersion",
             "\\VarFileInfo\\Translation\\0",
             "\\DormixVersionInfo",
             "\\Nothing",
         })
        EXPECT_EQ(Query(block, path), std::nullopt) << path;

    const void* value = nullptr;
    EXPECT_FALSE(dormix::VerQueryValue(nullptr, block.size(), kFileVersionPath, &value, nullptr));
    EXPECT_FALSE(
        dormix::VerQueryValue(block.data(), block.size(), kFileVersionPath, nullptr, nullptr));
}

TEST(VersionQuery, DataWithoutTranslationHasNoVarFileInfo) {
    const Bytes block = BlockOf(VERSION_PROBE_NOTRANS);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Query(block, "\\VarFileInfo"), std::nullopt);
    EXPECT_EQ(Query(block, kFileVersionPath), std::string("4.0\0", 4));
}

TEST(VersionQuery, TruncatedBlockAnswersNothing) {
    const Bytes full = BlockOf(VERSION_PROBE_PROGRAM);
    ASSERT_FALSE(full.empty());
    for (std::size_t n = 0; n < full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const void* value = nullptr;
        std::uint32_t length = 0;
        // Only the bytes given may be looked at: the copy is exactly n long.
        EXPECT_FALSE(dormix::VerQueryValue(cut.data(), n, kFileVersionPath, &value, &length)) << n;
        EXPECT_FALSE(dormix::VerQueryValue(cut.data(), n, "\\", &value, &length)) << n;
    }
}

TEST(VersionQuery, DamagedBlockNeverAnswersOutsideItself) {
    const Bytes good = BlockOf(VERSION_PROBE_PROGRAM);
    ASSERT_FALSE(good.empty());
    const char* const paths[] = {kFileVersionPath, "\\VarFileInfo\\Translation",
                                 "\\StringFileInfo\\0c0904e4\\Comments", "\\"};
    int found = 0, lost = 0;
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (const unsigned char b : {0x00, 0x03, 0x7F, 0xFF}) {
            Bytes bad = good;
            bad[i] = b;
            for (const char* path : paths) {
                const void* value = nullptr;
                std::uint32_t length = 0;
                if (!dormix::VerQueryValue(bad.data(), bad.size(), path, &value, &length)) {
                    ++lost;
                    continue;
                }
                ++found;
                const auto* p = static_cast<const unsigned char*>(value);
                ASSERT_TRUE(p >= bad.data() && p <= bad.data() + bad.size()) << i;
                ASSERT_LE(length, static_cast<std::size_t>(bad.data() + bad.size() - p)) << i;
            }
        }
    }
    // Damage to lengths and names loses values; damage inside texts does not.
    EXPECT_GT(found, 0);
    EXPECT_GT(lost, 0);
    // A broken root name (the format's mark) answers nothing.
    Bytes bad = good;
    bad[8] = 'd';
    EXPECT_EQ(Query(bad, "\\"), std::nullopt);
}

// ---- files --------------------------------------------------------------------

// Offsets of the ELF64 header fields the damage cases change.
constexpr std::size_t kClass = 4, kData = 5, kVersion = 6, kShoff = 0x28, kShentsize = 0x3A,
                      kShnum = 0x3C, kShstrndx = 0x3E;

void Put(Bytes& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(v >> (8 * i));
}
std::uint64_t Get(const Bytes& b, std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// Offset of the version section's header in a (little-endian ELF64) file.
std::size_t VersionSectionHeader(const Bytes& elf) {
    const std::uint64_t shoff = Get(elf, kShoff, 8), shnum = Get(elf, kShnum, 2);
    const std::uint64_t strndx = Get(elf, kShstrndx, 2);
    const std::uint64_t strtab = Get(elf, shoff + strndx * 64 + 0x18, 8);
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::size_t sh = shoff + i * 64;
        const char* name = reinterpret_cast<const char*>(elf.data() + strtab + Get(elf, sh, 4));
        if (std::strcmp(name, dormix::kVersionSectionName) == 0)
            return sh;
    }
    return 0;
}

TEST(VersionFile, UnreadableOrDamagedFilesHaveNoVersionData) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const Bytes good = ReadAll(VERSION_PROBE_PROGRAM);
    ASSERT_GT(good.size(), 4096u);
    const std::size_t vsh = VersionSectionHeader(good);
    ASSERT_NE(vsh, 0u);
    ASSERT_GT(dormix::GetFileVersionInfoSize(VERSION_PROBE_PROGRAM), 0u);

    using Damage = std::function<void(Bytes&)>;
    auto set = [](std::size_t at, std::uint64_t v, int n) -> Damage {
        return [=](Bytes& b) { Put(b, at, v, n); };
    };
    auto cut = [](std::size_t n) -> Damage { return [=](Bytes& b) { b.resize(n); }; };
    const struct {
        const char* name;
        Damage damage;
    } cases[] = {
        {"empty", cut(0)},
        {"magic only", cut(4)},
        {"header cut", cut(63)},
        {"header only", cut(64)},
        {"half", cut(good.size() / 2)},
        {"last byte gone", cut(good.size() - 1)},
        {"not ELF", [](Bytes& b) { b[1] = 'X'; }},
        {"32-bit class", set(kClass, 1, 1)},
        {"unknown byte order", set(kData, 3, 1)},
        {"unknown version", set(kVersion, 0, 1)},
        {"no section table", set(kShoff, 0, 8)},
        {"table past the end", set(kShoff, good.size() - 8, 8)},
        {"table offset overflows", set(kShoff, ~std::uint64_t{0} - 16, 8)},
        {"header entries too small", set(kShentsize, 16, 2)},
        {"too many sections", set(kShnum, 0xFFFE, 2)},
        {"names index out of range", set(kShstrndx, Get(good, kShnum, 2), 2)},
        {"section past the end", set(vsh + 0x18, good.size() - 4, 8)},
        {"section size overflows", set(vsh + 0x20, ~std::uint64_t{0}, 8)},
        {"section too big", set(vsh + 0x20, std::uint64_t{1} << 32, 8)},
        {"section without bytes", set(vsh + 4, 8 /*SHT_NOBITS*/, 4)},
        {"section name out of range", set(vsh, 0xFFFFFFF0u, 4)},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        c.damage(bad);
        const std::string path = dir.File("damaged");
        WriteAll(path, bad);
        EXPECT_EQ(dormix::GetFileVersionInfoSize(path), 0u) << c.name;
        unsigned char buf[4096];
        EXPECT_FALSE(dormix::GetFileVersionInfo(path, sizeof buf, buf)) << c.name;
    }

    // Things that are not executables at all.
    WriteAll(dir.File("text"), Bytes{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'});
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0); // must not block
    for (const std::string& path :
         {dir.File("text"), dir.File("fifo"), dir.Path().string(), dir.File("missing"),
          std::string(), std::string(VERSION_PROBE_NONE)}) {
        EXPECT_EQ(dormix::GetFileVersionInfoSize(path), 0u) << path;
        unsigned char buf[64];
        EXPECT_FALSE(dormix::GetFileVersionInfo(path, sizeof buf, buf)) << path;
    }
}

TEST(VersionFile, ReadNeedsRoomForTheWholeBlock) {
    const std::string path = VERSION_PROBE_PROGRAM;
    const std::uint32_t size = dormix::GetFileVersionInfoSize(path);
    ASSERT_GT(size, 0u);
    Bytes buf(size + 16, 0xAA);
    EXPECT_FALSE(dormix::GetFileVersionInfo(path, size - 1, buf.data()));
    EXPECT_FALSE(dormix::GetFileVersionInfo(path, size, nullptr));
    ASSERT_TRUE(dormix::GetFileVersionInfo(path, size + 16, buf.data()));
    EXPECT_EQ(Bytes(buf.begin() + size, buf.end()), Bytes(16, 0));
    buf.resize(size);
    EXPECT_EQ(buf, BlockOf(path));
}

TEST(VersionFile, SectionSurvivesStrip) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string copy = dir.File("dormix-stripped");
    fs::copy_file(VERSION_PROBE_PROGRAM, copy);
    const std::string strip = DORMIX_STRIP[0] != '\0' ? DORMIX_STRIP : "strip";
    ASSERT_EQ(std::system(("'" + strip + "' --strip-all '" + copy + "'").c_str()), 0);
    ASSERT_LT(fs::file_size(copy), fs::file_size(VERSION_PROBE_PROGRAM)); // strip did strip
    EXPECT_EQ(BlockOf(copy), BlockOf(VERSION_PROBE_PROGRAM));
    EXPECT_EQ(RunProgram(copy), ProgramOutput());
}

// ---- TExeVersion ----------------------------------------------------------------

TEST(ExeVersion, ProgramsReadTheirOwnData) {
    const std::string nothing = ProbeOutput({}, "0 0 0 0");
    const struct {
        const char* program;
        std::string output;
    } cases[] = {
        {VERSION_PROBE_PROGRAM, ProgramOutput()},
        {VERSION_PROBE_OTHER, ProbeOutput({{"FileVersion", "2.5"},
                                           {"ProductName", "Probe \"Other\""},
                                           {"LegalTradeMarks", "TM"},
                                           {"OriginalFileName", "probe\\other.exe"}},
                                          "2 0 0 5")},
        {VERSION_PROBE_UPPER,
         ProbeOutput({{"FileVersion", "1.2.3.4.5"}, {"ProductName", "Upper"}}, "1 2 4 5")},
        {VERSION_PROBE_MISMATCH, nothing},
        {VERSION_PROBE_NOTRANS, nothing},
        {VERSION_PROBE_NONE, nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunProgram(c.program), c.output) << c.program;
    // With nothing read, the main window's caption is " Version ".
    EXPECT_NE(nothing.find("\nCaption= Version \n"), std::string::npos);
}

TEST(ExeVersion, ReadKeepsWhatItDoesNotFind) {
    TExeVersion v(nullptr); // this test program has no version data
    EXPECT_EQ(v.ProductName, "");
    EXPECT_EQ(v.FileVersion, "");
    EXPECT_EQ(v.MajorVersion + v.MinorVersion + v.ReleaseNumber + v.BuildNumber, 0);

    v.GetFieldDataFrom(VERSION_PROBE_PROGRAM);
    EXPECT_EQ(v.CompanyName, "Tarnby Software");
    EXPECT_EQ(v.FileVersion, "1.1.0.0");

    // Only some keys: the others keep their texts, and "2.5" reaches no second
    // or third number, which keep theirs.
    v.GetFieldDataFrom(VERSION_PROBE_OTHER);
    EXPECT_EQ(v.FileVersion, "2.5");
    EXPECT_EQ(v.ProductName, "Probe \"Other\"");
    EXPECT_EQ(v.LegalTradeMarks, "TM");
    EXPECT_EQ(v.CompanyName, "Tarnby Software");
    EXPECT_EQ(v.FileDescription, "The Alarm Scheduler");
    EXPECT_EQ(v.ProductVersion, "1.0.0.0");
    const auto numbers = [&] {
        return std::vector<int>{v.MajorVersion, v.MinorVersion, v.ReleaseNumber, v.BuildNumber};
    };
    EXPECT_EQ(numbers(), (std::vector<int>{2, 1, 0, 5}));

    // No translation, no data, no file, and Refresh on this program: the read
    // stops early, nothing changes and the numbers are not split again.
    v.FileVersion = "9.9";
    for (const char* path : {VERSION_PROBE_NOTRANS, VERSION_PROBE_NONE, "/nonexistent/dormix", ""})
        v.GetFieldDataFrom(path);
    v.Refresh();
    EXPECT_EQ(v.FileVersion, "9.9");
    EXPECT_EQ(v.ProductName, "Probe \"Other\"");
    EXPECT_EQ(numbers(), (std::vector<int>{2, 1, 0, 5}));

    // A translation naming no block: no text is found, but the split runs on
    // the text in hand.
    v.GetFieldDataFrom(VERSION_PROBE_MISMATCH);
    EXPECT_EQ(v.FileVersion, "9.9");
    EXPECT_EQ(v.ProductName, "Probe \"Other\"");
    EXPECT_EQ(numbers(), (std::vector<int>{9, 1, 0, 9}));
}

TEST(ExeVersion, ParseFileVersionSplitsAtDots) {
    constexpr int K = 77; // a number no dot reaches keeps this
    const struct {
        std::string text;
        int major, minor, release, build;
    } cases[] = {
        {"1.1.0.0", 1, 1, 0, 0},
        {"2.5", 2, K, K, 5},
        {"1.2.3.4.5", 1, 2, 4, 5},
        {".7", 0, K, K, 7},
        {"", K, K, K, 0},
        {"1a", K, K, K, 59},
        {"1,2", K, K, K, 62},     // ',' counts as -4
        {" 1.x", -159, K, K, 72}, // ' ' counts as -16, 'x' as 72
        {"\x80", K, K, K, -176},  // code 0x80 is -128
        {"2147483647", K, K, K, 2147483647},
        {"2147483648", K, K, K, -2147483647 - 1}, // wraps at 32 bits
        {"4294967296.4294967297", 0, K, K, 1},
        {"99999999999", K, K, K, 1215752191},
    };
    TExeVersion v(nullptr);
    for (const auto& c : cases) {
        v.MajorVersion = v.MinorVersion = v.ReleaseNumber = v.BuildNumber = K;
        v.FileVersion = c.text;
        v.ParseFileVersion();
        EXPECT_EQ(v.MajorVersion, c.major) << c.text;
        EXPECT_EQ(v.MinorVersion, c.minor) << c.text;
        EXPECT_EQ(v.ReleaseNumber, c.release) << c.text;
        EXPECT_EQ(v.BuildNumber, c.build) << c.text;
    }
}

} // namespace
