// Prints what TExeVersion reads from this program's own version data, one
// "Name=value" line per field, then the main window's caption.
#include "ExeVersion.h"

#include <cstdio>
#include <string>

int main() {
    const TExeVersion v(nullptr);
    const std::pair<const char*, const std::string*> texts[] = {
        {"CompanyName", &v.CompanyName},           {"FileDescription", &v.FileDescription},
        {"FileVersion", &v.FileVersion},           {"InternalName", &v.InternalName},
        {"LegalCopyright", &v.LegalCopyright},     {"LegalTradeMarks", &v.LegalTradeMarks},
        {"OriginalFileName", &v.OriginalFileName}, {"ProductName", &v.ProductName},
        {"ProductVersion", &v.ProductVersion},     {"Comments", &v.Comments},
    };
    for (const auto& [name, text] : texts)
        std::printf("%s=%s\n", name, text->c_str());
    std::printf("Numbers=%d %d %d %d\n", static_cast<int>(v.MajorVersion),
                static_cast<int>(v.MinorVersion), static_cast<int>(v.ReleaseNumber),
                static_cast<int>(v.BuildNumber));
    std::printf("Caption=%s\n", (v.ProductName + " Version " + v.FileVersion).c_str());
    return 0;
}
