// TExeVersion: reads the string part of the running executable's version data
// into ten texts and splits the file version into four numbers.
#pragma once

#include <QObject>

#include <cstdint>
#include <string>

class TExeVersion : public QObject {
    Q_OBJECT

public:
    // Clears every field, then reads the version data (GetFieldData).
    explicit TExeVersion(QObject* owner);
    ~TExeVersion() override;

    // Reads the version data again; fields whose key is gone keep their text.
    void Refresh();
    // Reads the running executable's own version data.
    void GetFieldData();
    // The same read from the named executable file (GetFieldData passes the
    // running executable's path).
    void GetFieldDataFrom(const std::string& exePath);
    // Splits FileVersion into the four numbers.
    void ParseFileVersion();

    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTradeMarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::int32_t MajorVersion = 0;
    std::int32_t MinorVersion = 0;
    std::int32_t ReleaseNumber = 0;
    std::int32_t BuildNumber = 0;
};
