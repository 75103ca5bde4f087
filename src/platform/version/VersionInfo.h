// Reading the version data of an executable file (the "dormix_version" ELF
// section, laid out as described in VersionData.h).
//
// Everything here treats the file and the block as untrusted input: a file
// that is missing, not a regular file, not ELF64 or malformed in any way has
// no version data, and a malformed block answers no query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dormix {

// Largest version block that is read; a bigger section counts as malformed.
inline constexpr std::uint32_t kMaxVersionDataSize = 1u << 20;

// Size in bytes of the file's version block, or 0 when it has none.
std::uint32_t GetFileVersionInfoSize(const std::string& path);

// Copies the whole version block into data, which holds size bytes. Fails
// when the file has no block or size is smaller than the block; bytes of data
// beyond the block are zeroed.
bool GetFileVersionInfo(const std::string& path, std::uint32_t size, void* data);

// Looks up the value at a backslash path such as "\VarFileInfo\Translation"
// in a block of blockSize bytes. Names compare without regard to ASCII letter
// case; empty names (leading, doubled or trailing backslashes) are skipped, so
// "\" is the root. On success *value points into the block and *length is the
// value's size in bytes (for texts, the terminating zero included).
bool VerQueryValue(const void* block, std::size_t blockSize, std::string_view subPath,
                   const void** value, std::uint32_t* length);

} // namespace dormix
