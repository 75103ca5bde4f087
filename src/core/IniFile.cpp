#include "IniFile.h"

#include "Exception.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <unordered_map>
#include <vector>

namespace dormix {

namespace {

constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct Line {
    std::string raw;                // the line's bytes without "\n"; may end in "\r"
    std::size_t valuePos = kNoLine; // key lines: offset just after the "="
};

bool EndsInCr(const std::string& raw) {
    return !raw.empty() && raw.back() == '\r';
}

std::string_view ContentOf(const std::string& raw) {
    std::string_view s = raw;
    if (!s.empty() && s.back() == '\r')
        s.remove_suffix(1);
    return s;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string NameKey(std::string_view name) {
    return Lower(Trim(name));
}

// A written value stays on its line: every CR LF, CR or LF becomes one space.
std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r') {
            out += ' ';
            if (i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// Cuts a text to the longest prefix of at most max bytes that does not end
// inside a UTF-8 character.
std::string CutText(std::string_view text, std::size_t max) {
    if (text.size() <= max)
        return std::string(text);
    std::size_t n = max;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if ((byte(n) & 0xC0) == 0x80) {
        // The first byte left out continues a character: find its lead byte.
        std::size_t start = n;
        for (int back = 0; start > 0 && back < 3 && (byte(start) & 0xC0) == 0x80; ++back)
            --start;
        const unsigned char lead = byte(start);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length > 0 && start + length > n)
            n = start;
    }
    return std::string(text.substr(0, n));
}

struct Section {
    bool hasHeader = false;
    std::string header;                                // raw header line
    std::vector<Line> lines;                           // body lines up to the next header
    std::unordered_map<std::string, std::size_t> keys; // lower-cased key -> first line
    std::size_t lastKey = kNoLine;
    bool erased = false;
};

// fsync, where the file system supports it.
bool SyncedToDisk(int fd) {
    if (fd < 0)
        return false;
    if (::fsync(fd) == 0)
        return true;
    return errno == EINVAL || errno == ENOTSUP;
}

// Reads a regular file whole. A missing file reads as empty. False when
// something is there that cannot be read as a file; opening never blocks (a
// FIFO in the file's place would otherwise wait for a writer).
bool ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok)
        data.clear();
    return ok;
}

} // namespace

struct TIniFile::Impl {
    std::string fileName;
    std::string fullPath;
    bool bom = false;
    bool crlf = false;
    bool finalEol = true;
    bool modified = false;
    // Something is at the path that could not be read as a file (a directory,
    // a FIFO, a file without read permission): it is never replaced.
    bool unreadable = false;
    std::vector<std::unique_ptr<Section>> sections;               // [0]: lines before any section
    std::unordered_map<std::string, std::vector<Section*>> index; // in file order

    void Parse(std::string_view data);
    std::string Serialize() const;
    const Section* Find(const std::string& name) const;
    Section& FindOrAdd(const std::string& name);
    const Line* FindKey(const std::string& section, const std::string& key) const;
    std::string NewLineEnd() const { return crlf ? "\r" : ""; }
};

void TIniFile::Impl::Parse(std::string_view data) {
    sections.clear();
    index.clear();
    sections.push_back(std::make_unique<Section>());
    if (data.substr(0, kBom.size()) == kBom) {
        bom = true;
        data.remove_prefix(kBom.size());
    }
    finalEol = data.empty() || data.back() == '\n';
    Section* current = sections.back().get();
    bool first = true;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t eol = data.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = data.size();
        std::string raw(data.substr(pos, eol - pos));
        pos = eol + 1;
        if (first) {
            crlf = EndsInCr(raw);
            first = false;
        }
        const std::string_view content = ContentOf(raw);
        std::string_view t = content;
        while (!t.empty() && IsBlank(t.front()))
            t.remove_prefix(1);
        if (!t.empty() && t.front() == '[') {
            std::string_view name = t.substr(1);
            const std::size_t close = name.find(']');
            if (close != std::string_view::npos)
                name = name.substr(0, close);
            std::string nameKey = NameKey(name); // before raw is moved away
            auto section = std::make_unique<Section>();
            section->hasHeader = true;
            section->header = std::move(raw);
            current = section.get();
            index[std::move(nameKey)].push_back(current);
            sections.push_back(std::move(section));
            continue;
        }
        std::size_t valuePos = kNoLine;
        const bool comment = !t.empty() && (t.front() == ';' || t.front() == '#');
        if (!comment) {
            const std::size_t eq = content.find('=');
            if (eq != std::string_view::npos) {
                const std::string_view key = Trim(content.substr(0, eq));
                if (!key.empty()) {
                    valuePos = eq + 1;
                    const std::size_t at = current->lines.size();
                    if (current->hasHeader)
                        current->keys.emplace(Lower(key), at);
                    current->lastKey = at;
                }
            }
        }
        Line line{std::move(raw), valuePos};
        current->lines.push_back(std::move(line));
    }
}

std::string TIniFile::Impl::Serialize() const {
    std::size_t size = kBom.size();
    for (const auto& s : sections)
        if (!s->erased) {
            size += s->header.size() + 1;
            for (const Line& l : s->lines)
                size += l.raw.size() + 1;
        }
    std::string out;
    out.reserve(size);
    if (bom)
        out += kBom;
    bool any = false;
    auto add = [&](const std::string& raw) {
        out += raw;
        out += '\n';
        any = true;
    };
    for (const auto& s : sections) {
        if (s->erased)
            continue;
        if (s->hasHeader)
            add(s->header);
        for (const Line& l : s->lines)
            add(l.raw);
    }
    if (any && !finalEol)
        out.pop_back();
    return out;
}

const Section* TIniFile::Impl::Find(const std::string& name) const {
    const auto it = index.find(NameKey(name));
    if (it == index.end() || it->second.empty())
        return nullptr;
    return it->second.front();
}

Section& TIniFile::Impl::FindOrAdd(const std::string& name) {
    auto& list = index[NameKey(name)];
    if (!list.empty())
        return *list.front();
    auto section = std::make_unique<Section>();
    section->hasHeader = true;
    section->header = "[" + OneLine(name) + "]" + NewLineEnd();
    list.push_back(section.get());
    sections.push_back(std::move(section));
    finalEol = true;
    modified = true;
    return *sections.back();
}

const Line* TIniFile::Impl::FindKey(const std::string& section, const std::string& key) const {
    const Section* s = Find(section);
    if (s == nullptr)
        return nullptr;
    const auto it = s->keys.find(NameKey(key));
    if (it == s->keys.end())
        return nullptr;
    return &s->lines[it->second];
}

TIniFile::TIniFile(const std::string& fileName) : d(std::make_unique<Impl>()) {
    d->fileName = fileName;
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(fileName, ec);
    d->fullPath = ec ? fileName : absolute.string();
    std::string data;
    d->unreadable = !ReadWholeFile(fileName, data);
    d->Parse(data);
}

TIniFile::~TIniFile() = default;

const std::string& TIniFile::FileName() const {
    return d->fileName;
}
const std::string& TIniFile::FullPath() const {
    return d->fullPath;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const Line* line = d->FindKey(section, key);
    if (line == nullptr)
        return defaultValue;
    const std::string_view content = ContentOf(line->raw);
    return CutText(content.substr(line->valuePos), kMaxTextLength);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const {
    const Line* line = d->FindKey(section, key);
    if (line == nullptr)
        return defaultValue;
    std::int32_t value = 0;
    if (!TryParseProfileInteger(ContentOf(line->raw).substr(line->valuePos), value))
        return defaultValue;
    return value;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

TDateTime TIniFile::ReadDateTime(const std::string& section, const std::string& key,
                                 TDateTime defaultValue) const {
    const Line* line = d->FindKey(section, key);
    if (line == nullptr)
        return defaultValue;
    TDateTime value = 0;
    if (!TryStrToDateTime(ReadString(section, key, {}), value))
        return defaultValue;
    return value;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    Section& s = d->FindOrAdd(section);
    const std::string text = OneLine(value);
    const std::string lowerKey = NameKey(key);
    const auto it = s.keys.find(lowerKey);
    if (it != s.keys.end()) {
        Line& line = s.lines[it->second];
        const bool cr = EndsInCr(line.raw);
        const std::string_view old = ContentOf(line.raw).substr(line.valuePos);
        if (old == text)
            return;
        line.raw.resize(line.valuePos);
        line.raw += text;
        if (cr)
            line.raw += '\r';
        d->modified = true;
        return;
    }
    // A new key goes below the section's last key (before trailing comments
    // and blank lines), so no existing key line moves.
    const std::string name = OneLine(std::string(Trim(key)));
    const std::size_t at = s.lastKey == kNoLine ? 0 : s.lastKey + 1;
    Line line{name + "=" + text + d->NewLineEnd(), name.size() + 1};
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    s.keys.emplace(lowerKey, at);
    s.lastKey = at;
    d->finalEol = true;
    d->modified = true;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteDateTime(const std::string& section, const std::string& key, TDateTime value) {
    WriteString(section, key, DateTimeToStr(value));
}

bool TIniFile::SectionExists(const std::string& section) const {
    const Section* s = d->Find(section);
    return s != nullptr && !s->keys.empty();
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return d->FindKey(section, key) != nullptr;
}

void TIniFile::EraseSection(const std::string& section) {
    const auto it = d->index.find(NameKey(section));
    if (it == d->index.end() || it->second.empty())
        return;
    it->second.front()->erased = true;
    it->second.erase(it->second.begin());
    d->modified = true;
}

bool TIniFile::Modified() const {
    return d->modified;
}

void TIniFile::UpdateFile() {
    if (!d->modified)
        return;
    const std::string data = d->Serialize();
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(d->fileName)));
    const auto fail = [this]() { return Exception("Unable to write to " + d->fullPath); };
    // What could not be read cannot be kept: saving would replace it.
    if (d->unreadable)
        throw fail();
    if (!file.open(QIODevice::WriteOnly))
        throw fail();
    // QSaveFile buffers small writes and, when the buffer cannot be written at
    // commit (a full disk), still renames the short temporary file over the
    // old one. So flush and sync here, where a failure can still cancel.
    if (file.write(data.data(), static_cast<qint64>(data.size())) !=
            static_cast<qint64>(data.size()) ||
        !file.flush() || !SyncedToDisk(file.handle())) {
        file.cancelWriting();
        throw fail();
    }
    if (!file.commit())
        throw fail();
    d->modified = false;
}

bool TryParseProfileInteger(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    text.remove_prefix(i);
    bool hex = false;
    if (!text.empty() && text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (hex) {
        if (text.empty())
            return false;
        std::uint64_t v = 0;
        for (const char c : text) {
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return false;
            v = v * 16 + static_cast<std::uint64_t>(digit);
            if (v > 0xFFFFFFFFull)
                return false;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    std::int64_t v = 0;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > limit)
            return false;
    }
    value = static_cast<std::int32_t>(negative ? -v : v);
    return true;
}

} // namespace dormix
