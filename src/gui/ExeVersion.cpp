#include "ExeVersion.h"

#include "AppPaths.h"
#include "VersionInfo.h"

#include <cstdio>
#include <cstring>
#include <vector>

TExeVersion::TExeVersion(QObject* owner) : QObject(owner) {
    // The texts start empty and the numbers 0 (member initialisers).
    GetFieldData();
}

TExeVersion::~TExeVersion() = default;

void TExeVersion::Refresh() {
    GetFieldData();
}

void TExeVersion::GetFieldData() {
    GetFieldDataFrom(dormix::ExeFileName());
}

void TExeVersion::GetFieldDataFrom(const std::string& exePath) {
    const std::uint32_t size = dormix::GetFileVersionInfoSize(exePath);
    if (size == 0)
        return;
    std::vector<unsigned char> buffer(size);
    if (!dormix::GetFileVersionInfo(exePath, size, buffer.data()))
        return;

    const void* value = nullptr;
    std::uint32_t length = 0;
    // A table too short for one entry counts as no table.
    if (!dormix::VerQueryValue(buffer.data(), size, "\\VarFileInfo\\Translation", &value,
                               &length) ||
        length < 4)
        return;
    // First entry only: the words language, then code page (little-endian).
    const auto* words = static_cast<const unsigned char*>(value);
    const unsigned long language = words[0] | static_cast<unsigned>(words[1]) << 8;
    const unsigned long codePage = words[2] | static_cast<unsigned>(words[3]) << 8;
    char prefix[40];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%08lx\\", language * 65536 + codePage);

    struct Key {
        const char* name;
        std::string TExeVersion::*field;
    };
    static constexpr Key keys[] = {
        {"CompanyName", &TExeVersion::CompanyName},
        {"FileDescription", &TExeVersion::FileDescription},
        {"FileVersion", &TExeVersion::FileVersion},
        {"InternalName", &TExeVersion::InternalName},
        {"LegalCopyright", &TExeVersion::LegalCopyright},
        {"LegalTradeMarks", &TExeVersion::LegalTradeMarks},
        {"OriginalFileName", &TExeVersion::OriginalFileName},
        {"ProductName", &TExeVersion::ProductName},
        {"ProductVersion", &TExeVersion::ProductVersion},
        {"Comments", &TExeVersion::Comments},
    };
    for (const Key& key : keys) {
        if (!dormix::VerQueryValue(buffer.data(), size, std::string(prefix) + key.name, &value,
                                   &length))
            continue; // a missing key keeps the field's text
        // Up to the terminating zero, but never past the value's end.
        const auto* text = static_cast<const char*>(value);
        this->*key.field = std::string(text, ::strnlen(text, length));
    }
    ParseFileVersion();
}

void TExeVersion::ParseFileVersion() {
    // Each character counts as a digit (code - '0', the code taken as a signed
    // 8-bit number); the sums wrap at 32 bits, so they are done unsigned.
    std::uint32_t value = 0;
    int dots = 0;
    for (const char ch : FileVersion) {
        if (ch == '.') {
            const auto number = static_cast<std::int32_t>(value);
            if (dots == 0)
                MajorVersion = number;
            else if (dots == 1)
                MinorVersion = number;
            else
                ReleaseNumber = number;
            if (dots < 2)
                ++dots;
            value = 0;
        } else {
            const int digit = static_cast<signed char>(ch) - 48;
            value = value * 10u + static_cast<std::uint32_t>(digit);
        }
    }
    BuildNumber = static_cast<std::int32_t>(value);
}
