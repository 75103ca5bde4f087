// Arbitrary bytes as a profile file: read, write, save and read back.
#include "Exception.h"
#include "IniFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& WorkFolder() {
    static const std::string folder = [] {
        // A memory file system when there is one: every run commits a file.
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "dormix-fuzz-profile-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        // Removed at exit; the name is kept in a plain array, which outlives
        // the string's destructor.
        static char name[4096];
        std::snprintf(name, sizeof name, "%s", pattern.c_str());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(name, ec);
        });
        return pattern;
    }();
    return folder;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = WorkFolder() + "/fuzz.ini";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // Names and a value taken from the input itself, so they hit its sections.
    const std::size_t cut = size / 3;
    const std::string section = bytes.substr(0, std::min<std::size_t>(cut, 12));
    const std::string value = bytes.substr(cut, std::min<std::size_t>(size - cut, 40));

    dormix::TIniFile ini(path);
    (void)ini.ReadString(section, "k", "d");
    (void)ini.ReadInteger(section, "k", 7);
    (void)ini.ReadDateTime(section, "Time", 0);
    (void)ini.SectionExists(section);
    (void)ini.SectionExists("Dormi0");
    ini.UpdateFile();
    Check(Slurp(path) == bytes); // nothing changed, nothing written

    ini.WriteString("Dormi0", "Description", value);
    ini.WriteString("Fuzz", "k", value);
    ini.WriteInteger("Fuzz", "n", static_cast<std::int32_t>(size));
    ini.WriteBool("Dormi0", "Enabled", (size & 1) != 0);
    while (ini.SectionExists("Dormi1"))
        ini.EraseSection("Dormi1");
    ini.UpdateFile();

    // What was written reads back, and the value stayed on one line.
    const dormix::TIniFile back(path);
    std::string expected;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
            ++i;
        expected += (value[i] == '\r' || value[i] == '\n') ? ' ' : value[i];
    }
    Check(back.ReadString("Fuzz", "k", "<missing>") == expected);
    Check(back.ReadString("Dormi0", "Description", "<missing>") == expected);
    Check(back.ReadInteger("Fuzz", "n", -1) == static_cast<std::int32_t>(size));
    Check(back.ReadBool("Dormi0", "Enabled", (size & 1) == 0) == ((size & 1) != 0));
    Check(!back.SectionExists("Dormi1"));
    return 0;
}
