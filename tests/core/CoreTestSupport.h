// Helpers for the core tests: a pinned LC_TIME locale, a private temporary
// folder and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <sstream>
#include <string>

namespace dormix::test {

// Makes the named locale the calling thread's locale for the guard's life.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : locale_(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (locale_ == nullptr) {
            ADD_FAILURE() << "locale " << name << " is not installed (scripts/install-deps.sh)";
            return;
        }
        previous_ = uselocale(locale_);
    }
    ~ScopedLocale() {
        if (locale_ == nullptr)
            return;
        uselocale(previous_);
        freelocale(locale_);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

// A fresh folder under the system temporary folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dormix-core-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

} // namespace dormix::test
