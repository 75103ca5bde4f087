#include "VersionInfo.h"

#include "VersionData.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dormix {
namespace {

// ---- ELF64 ----------------------------------------------------------------

constexpr std::size_t kEhdrSize = 64;
constexpr std::size_t kShdrSize = 64;
constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint16_t kShnXindex = 0xFFFF;
// Bounds on tables read in one piece; real executables are far below them.
constexpr std::uint64_t kMaxTableBytes = 8u << 20;

class File {
public:
    explicit File(const std::string& path) {
        if (path.empty())
            return;
        // O_NONBLOCK so that naming a FIFO cannot hang the caller.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0)
            return;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~File() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Ok() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }

    // Reads exactly n bytes at off, all of which must lie inside the file.
    bool Read(std::uint64_t off, void* dst, std::uint64_t n) const {
        if (fd_ < 0 || off > size_ || n > size_ - off)
            return false;
        auto* p = static_cast<unsigned char*>(dst);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(off));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false; // error, or the file shrank under us
            p += got;
            off += static_cast<std::uint64_t>(got);
            n -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

struct Endian {
    bool big = false;
    std::uint64_t Get(const unsigned char* p, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const int at = big ? i : bytes - 1 - i;
            v = (v << 8) | p[at];
        }
        return v;
    }
    std::uint16_t U16(const unsigned char* p) const {
        return static_cast<std::uint16_t>(Get(p, 2));
    }
    std::uint32_t U32(const unsigned char* p) const {
        return static_cast<std::uint32_t>(Get(p, 4));
    }
    std::uint64_t U64(const unsigned char* p) const { return Get(p, 8); }
};

struct Range {
    std::uint64_t offset;
    std::uint64_t size;
};

bool InFile(const File& f, std::uint64_t off, std::uint64_t n) {
    return off <= f.Size() && n <= f.Size() - off;
}

// Locates the version section's bytes in the file.
std::optional<Range> FindVersionSection(const File& f) {
    unsigned char eh[kEhdrSize];
    if (!f.Read(0, eh, sizeof eh))
        return std::nullopt;
    if (eh[0] != 0x7F || eh[1] != 'E' || eh[2] != 'L' || eh[3] != 'F' || eh[4] != 2 /*64-bit*/ ||
        eh[6] != 1 /*current version*/)
        return std::nullopt;
    Endian e;
    if (eh[5] == 2)
        e.big = true;
    else if (eh[5] != 1)
        return std::nullopt;

    const std::uint64_t shoff = e.U64(eh + 0x28);
    const std::uint16_t shentsize = e.U16(eh + 0x3A);
    std::uint64_t shnum = e.U16(eh + 0x3C);
    std::uint64_t shstrndx = e.U16(eh + 0x3E);
    if (shoff == 0 || shentsize < kShdrSize)
        return std::nullopt;

    unsigned char sh0[kShdrSize];
    if (!f.Read(shoff, sh0, sizeof sh0))
        return std::nullopt;
    // Extended numbering: the real counts live in section 0.
    if (shnum == 0)
        shnum = e.U64(sh0 + 0x20);
    if (shstrndx == kShnXindex)
        shstrndx = e.U32(sh0 + 0x28);
    if (shnum == 0 || shstrndx >= shnum || shnum > kMaxTableBytes / shentsize)
        return std::nullopt;
    const std::uint64_t tableBytes = shnum * shentsize;
    if (!InFile(f, shoff, tableBytes))
        return std::nullopt;
    std::vector<unsigned char> table(static_cast<std::size_t>(tableBytes));
    if (!f.Read(shoff, table.data(), tableBytes))
        return std::nullopt;
    auto header = [&](std::uint64_t i) { return table.data() + i * shentsize; };

    const unsigned char* strHdr = header(shstrndx);
    const std::uint64_t strOff = e.U64(strHdr + 0x18);
    const std::uint64_t strSize = e.U64(strHdr + 0x20);
    if (e.U32(strHdr + 4) == kShtNobits || strSize > kMaxTableBytes || !InFile(f, strOff, strSize))
        return std::nullopt;
    std::vector<unsigned char> names(static_cast<std::size_t>(strSize));
    if (!f.Read(strOff, names.data(), strSize))
        return std::nullopt;

    constexpr std::size_t wantLen = sizeof kVersionSectionName; // with its '\0'
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const unsigned char* sh = header(i);
        const std::uint32_t name = e.U32(sh);
        if (name >= strSize || strSize - name < wantLen ||
            std::memcmp(names.data() + name, kVersionSectionName, wantLen) != 0)
            continue;
        // The first section of that name decides.
        const Range r{e.U64(sh + 0x18), e.U64(sh + 0x20)};
        if (e.U32(sh + 4) == kShtNobits || r.size == 0 || r.size > kMaxVersionDataSize ||
            !InFile(f, r.offset, r.size))
            return std::nullopt;
        return r;
    }
    return std::nullopt;
}

// ---- the version block ------------------------------------------------------

std::uint32_t LoadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::size_t Align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

struct Node {
    std::size_t end;       // one past the node's last byte
    std::string_view name; // without its '\0'
    std::size_t valueBegin;
    std::size_t valueLength;
    std::size_t childrenBegin;
};

// Parses the node at begin, which must lie within [begin, limit).
std::optional<Node> ParseNode(const unsigned char* b, std::size_t begin, std::size_t limit) {
    if (begin > limit || limit - begin < 8)
        return std::nullopt;
    const std::size_t length = LoadU32(b + begin);
    const std::size_t valueLength = LoadU32(b + begin + 4);
    if (length < 8 || length > limit - begin)
        return std::nullopt;
    Node n{};
    n.end = begin + length;
    const unsigned char* nameStart = b + begin + 8;
    const void* zero = std::memchr(nameStart, 0, n.end - (begin + 8));
    if (zero == nullptr)
        return std::nullopt;
    const auto nameLength =
        static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - nameStart);
    n.name = std::string_view(reinterpret_cast<const char*>(nameStart), nameLength);
    n.valueBegin = begin + Align4(8 + nameLength + 1);
    if (n.valueBegin > n.end || valueLength > n.end - n.valueBegin)
        return std::nullopt;
    n.valueLength = valueLength;
    const std::size_t after = n.valueBegin + Align4(valueLength);
    n.childrenBegin = after < n.end ? after : n.end;
    return n;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::optional<Node> FindChild(const unsigned char* b, const Node& parent, std::string_view name) {
    std::size_t pos = parent.childrenBegin;
    while (pos < parent.end && parent.end - pos >= 8) {
        const std::optional<Node> child = ParseNode(b, pos, parent.end);
        if (!child)
            return std::nullopt;
        if (SameName(child->name, name))
            return child;
        pos = Align4(child->end - pos) + pos;
    }
    return std::nullopt;
}

} // namespace

std::uint32_t GetFileVersionInfoSize(const std::string& path) {
    const File f(path);
    if (!f.Ok())
        return 0;
    const std::optional<Range> r = FindVersionSection(f);
    return r ? static_cast<std::uint32_t>(r->size) : 0;
}

bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data) {
    if (data == nullptr || size == 0)
        return false;
    const File f(path);
    if (!f.Ok())
        return false;
    const std::optional<Range> r = FindVersionSection(f);
    if (!r || r->size > size || !f.Read(r->offset, data, r->size))
        return false;
    std::memset(static_cast<unsigned char*>(data) + r->size, 0, size - r->size);
    return true;
}

bool VerQueryValue(const void* block, std::size_t blockSize, std::string_view subPath,
                   const void** value, std::uint32_t* length) {
    if (block == nullptr || value == nullptr)
        return false;
    const auto* b = static_cast<const unsigned char*>(block);
    std::optional<Node> node = ParseNode(b, 0, blockSize);
    if (!node || node->name != kVersionRootName)
        return false;
    std::size_t pos = 0;
    while (pos <= subPath.size()) {
        std::size_t slash = subPath.find('\\', pos);
        if (slash == std::string_view::npos)
            slash = subPath.size();
        const std::string_view name = subPath.substr(pos, slash - pos);
        pos = slash + 1;
        if (name.empty())
            continue;
        node = FindChild(b, *node, name);
        if (!node)
            return false;
    }
    *value = b + node->valueBegin;
    if (length != nullptr)
        *length = static_cast<std::uint32_t>(node->valueLength);
    return true;
}

} // namespace dormix
