// Arbitrary bytes as an executable file (read through the file calls) and as
// a version block (queried directly).
#include "VersionInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kPaths[] = {
    "\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo\\0c0904e4\\FileVersion",
    "\\stringfileinfo\\0C0904E4\\ProductName\\",
    "\\StringFileInfo\\04090000\\Comments",
    "StringFileInfo\\\\0c0904e4",
};

void QueryAll(const unsigned char* block, std::size_t size) {
    for (const char* path : kPaths) {
        const void* value = nullptr;
        std::uint32_t length = 0;
        if (!dormix::VerQueryValue(block, size, path, &value, &length))
            continue;
        const auto* p = static_cast<const unsigned char*>(value);
        if (p < block || p > block + size || length > static_cast<std::size_t>(block + size - p))
            std::abort(); // an answer outside the block
        // Touch the whole value so the sanitizer sees any bad range.
        unsigned sum = 0;
        for (std::uint32_t i = 0; i < length; ++i)
            sum += p[i];
        (void)sum;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As a block: an exact-size copy, so reading past it is caught.
    const std::vector<unsigned char> block(data, data + size);
    QueryAll(block.data(), block.size());

    // As an executable file, in memory.
    static const int fd = ::memfd_create("fuzz_version", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::uint32_t versionSize = dormix::GetFileVersionInfoSize(path);
    if (versionSize == 0)
        return 0;
    if (versionSize > dormix::kMaxVersionDataSize || versionSize > size)
        std::abort(); // a block cannot be bigger than the file
    std::vector<unsigned char> read(versionSize);
    if (dormix::GetFileVersionInfo(path, versionSize, read.data()))
        QueryAll(read.data(), read.size());
    return 0;
}
