// INI-style profile files: texts, integers, flags and date-times by section
// and key.
//
// The whole file is read once when the object is made (a missing or unreadable
// file reads as empty; only regular files are opened). Writes are kept in
// memory until UpdateFile(), which replaces the file in one step (temporary
// file in the same folder, flushed, renamed over the old one); nothing is
// written when nothing changed. Something at the path that could not be read
// (a file without read permission, a directory, a FIFO) is never replaced:
// UpdateFile() then fails, since its content could not be kept.
//
// Syntax: "[name]" starts a section; "key=value" is a key; lines starting with
// ";" or "#" are comments. Section and key names match without regard to ASCII
// letter case, blanks around them ignored. Values are written unquoted and read
// back exactly as written. Lines the program does not touch (unknown sections
// and keys, comments, blank lines, keys before the first section, later
// duplicates of a section or key) are kept byte for byte. The first occurrence
// of a duplicated section or key is the one read and written. CR LF line ends
// and a UTF-8 byte-order mark are kept. A line break inside a written value is
// written as one space, so a value can never add lines, keys or sections.
#pragma once

#include "DateTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace dormix {

class TIniFile {
public:
    // Longest text ReadString returns (bytes; a UTF-8 character is never split).
    static constexpr std::size_t kMaxTextLength = 2047;

    explicit TIniFile(const std::string& fileName);
    ~TIniFile(); // does not write: call UpdateFile() to keep changes
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // The path as given, and the absolute path used in error messages.
    const std::string& FileName() const;
    const std::string& FullPath() const;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    TDateTime ReadDateTime(const std::string& section, const std::string& key,
                           TDateTime defaultValue) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteDateTime(const std::string& section, const std::string& key, TDateTime value);

    // True only when the section holds at least one key.
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Removes the section's header and every line up to the next section.
    void EraseSection(const std::string& section);

    // True when there are changes not yet written by UpdateFile().
    bool Modified() const;
    // Writes the changes. Throws dormix::Exception("Unable to write to " +
    // FullPath()) on failure, or when the file was there but could not be
    // read, leaving the previous file untouched and the changes pending.
    void UpdateFile();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The profile integer grammar: leading blanks skipped; "$", "0x" or "0X" and
// hexadecimal digits fitting 32 bits (FFFFFFFF = -1); otherwise an optional
// sign and decimal digits in the signed 32-bit range. False for anything else.
bool TryParseProfileInteger(std::string_view text, std::int32_t& value);

} // namespace dormix
