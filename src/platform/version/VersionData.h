// The layout of Dormix version data and a writer for it.
//
// Linux executables carry no version resource, so the build puts the program's
// version data into the executable as the contents of the ELF section
// "dormix_version" (see cmake/VersionData.cmake). The data is a small tree of
// named nodes, all numbers little-endian:
//
//   node  := u32 length       whole node in bytes, children included
//            u32 valueLength  bytes of value
//            name '\0'        then zero bytes up to a multiple of 4 from the node start
//            value            valueLength bytes, then zero bytes up to a multiple of 4
//            node*            the children, up to length
//
// The root is named "DormixVersionInfo" and has no value. Its children are
//   StringFileInfo\<block>\<key>  value: the text and its terminating zero
//   VarFileInfo\Translation       value: 16-bit words language, code page, ...
// and a value is found by its backslash path from the root, for example
// "\StringFileInfo\0C0904E4\FileVersion".
//
// The writer below is constexpr so that the build can turn the data into a
// byte array at compile time; tests and tools use it at run time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dormix {

#define DORMIX_VERSION_SECTION "dormix_version"
inline constexpr char kVersionSectionName[] = DORMIX_VERSION_SECTION;
inline constexpr char kVersionRootName[] = "DormixVersionInfo";

struct VersionString {
    const char* key;
    const char* value;
};

struct VersionTranslation {
    std::uint16_t language;
    std::uint16_t codePage;
};

struct VersionContents {
    const char* block; // name of the string block, e.g. "0C0904E4"
    const VersionTranslation* translations = nullptr;
    std::size_t translationCount = 0; // 0: no VarFileInfo at all
    const VersionString* strings = nullptr;
    std::size_t stringCount = 0;
};

namespace version_detail {

constexpr std::size_t Length(const char* s) {
    std::size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

// Writes into out, or only counts when out is null.
class Writer {
public:
    constexpr explicit Writer(unsigned char* out) : out_(out) {}
    constexpr std::size_t Pos() const { return pos_; }

    constexpr void Byte(unsigned char b) {
        if (out_ != nullptr)
            out_[pos_] = b;
        ++pos_;
    }
    constexpr void U16(std::uint16_t v) {
        Byte(static_cast<unsigned char>(v & 0xFFu));
        Byte(static_cast<unsigned char>(v >> 8));
    }
    constexpr void U32At(std::size_t at, std::uint32_t v) {
        if (out_ != nullptr)
            for (int i = 0; i < 4; ++i)
                out_[at + static_cast<std::size_t>(i)] =
                    static_cast<unsigned char>((v >> (8 * i)) & 0xFFu);
    }
    constexpr void Pad(std::size_t nodeStart) {
        while ((pos_ - nodeStart) % 4 != 0)
            Byte(0);
    }
    // Writes the node header and name; the caller writes valueLength bytes of
    // value, then children, then calls End.
    constexpr std::size_t Begin(const char* name, std::size_t valueLength) {
        const std::size_t start = pos_;
        for (int i = 0; i < 4; ++i)
            Byte(0); // length, patched by End
        for (int i = 0; i < 4; ++i)
            Byte(0);
        U32At(start + 4, static_cast<std::uint32_t>(valueLength));
        for (std::size_t i = 0, n = Length(name); i < n; ++i)
            Byte(static_cast<unsigned char>(name[i]));
        Byte(0);
        Pad(start);
        return start;
    }
    constexpr void End(std::size_t start) {
        Pad(start);
        U32At(start, static_cast<std::uint32_t>(pos_ - start));
    }

private:
    unsigned char* out_;
    std::size_t pos_ = 0;
};

} // namespace version_detail

// Serializes contents into out (which must hold the returned number of bytes), or
// only measures it when out is null.
constexpr std::size_t WriteVersionData(const VersionContents& contents, unsigned char* out) {
    version_detail::Writer w(out);
    const std::size_t root = w.Begin(kVersionRootName, 0);

    const std::size_t sfi = w.Begin("StringFileInfo", 0);
    const std::size_t block = w.Begin(contents.block, 0);
    for (std::size_t i = 0; i < contents.stringCount; ++i) {
        const VersionString& s = contents.strings[i];
        const std::size_t n = version_detail::Length(s.value);
        const std::size_t node = w.Begin(s.key, n + 1);
        for (std::size_t k = 0; k < n; ++k)
            w.Byte(static_cast<unsigned char>(s.value[k]));
        w.Byte(0);
        w.End(node);
    }
    w.End(block);
    w.End(sfi);

    if (contents.translationCount > 0) {
        const std::size_t vfi = w.Begin("VarFileInfo", 0);
        const std::size_t tr = w.Begin("Translation", 4 * contents.translationCount);
        for (std::size_t i = 0; i < contents.translationCount; ++i) {
            w.U16(contents.translations[i].language);
            w.U16(contents.translations[i].codePage);
        }
        w.End(tr);
        w.End(vfi);
    }
    w.End(root);
    return w.Pos();
}

// Compile-time form: N must be WriteVersionData(contents, nullptr).
template <std::size_t N>
constexpr std::array<unsigned char, N> VersionDataArray(const VersionContents& contents) {
    std::array<unsigned char, N> a{};
    WriteVersionData(contents, a.data());
    return a;
}

inline std::vector<unsigned char> VersionDataBytes(const VersionContents& contents) {
    std::vector<unsigned char> v(WriteVersionData(contents, nullptr));
    WriteVersionData(contents, v.data());
    return v;
}

} // namespace dormix
