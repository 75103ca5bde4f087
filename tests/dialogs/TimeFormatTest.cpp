// The time picker's display format from the locale's long time format.
#include "Aoptions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale.h>
#include <string>
#include <vector>

namespace {

// Makes a locale's LC_TIME current on this thread for the scope.
class ScopedTimeLocale {
public:
    explicit ScopedTimeLocale(const char* name)
        : Locale_(newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr))) {
        if (Locale_ != static_cast<locale_t>(nullptr))
            Old_ = uselocale(Locale_);
    }
    ~ScopedTimeLocale() {
        if (Locale_ != static_cast<locale_t>(nullptr)) {
            uselocale(Old_);
            freelocale(Locale_);
        }
    }
    bool Ok() const { return Locale_ != static_cast<locale_t>(nullptr); }

private:
    locale_t Locale_;
    locale_t Old_ = LC_GLOBAL_LOCALE;
};

} // namespace

TEST(TimeFormat, StrftimeFieldsBecomeQtFields) {
    struct Case {
        const char* strftime;
        const char* qt;
    };
    const std::vector<Case> cases = {
        {"%H:%M:%S", "HH:mm:ss"},
        {"%T", "HH:mm:ss"},
        {"%r", "hh:mm:ss AP"},
        {"%I:%M:%S %p", "hh:mm:ss AP"},
        {"%l:%M:%S %P", "h:mm:ss ap"},
        {"%k.%M.%S", "H.mm.ss"},
        {"%R", "HH:mm"},
        {"%OH:%OM:%OS", "HH:mm:ss"},
        {"%Hh%M", "HH'h'mm"},
        {"%H:%M:%S %Z", "HH:mm:ss "},
        {"%p %I時%M分%S秒", "AP hh'時'mm'分'ss'秒'"},
        {"%H o'clock", "HH' o''clock'"},
        {"100%%", "100%"},
        {"", "HH:mm:ss"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QtTimeFormat(c.strftime).toStdString(), c.qt) << c.strftime;
    // %r follows the locale's own 12-hour format.
    EXPECT_EQ(QtTimeFormat("%r", "%I.%M.%S %p").toStdString(), "hh.mm.ss AP");
    // A 12-hour format that names %r again does not loop.
    EXPECT_EQ(QtTimeFormat("%r", "%r").toStdString(), "hh:mm:ss AP");
}

TEST(TimeFormat, ThePickerShowsTheLocalesLongTimeFormat) {
    struct Case {
        const char* locale;
        const char* format;
        const char* text; // 15:52:32 in the C locale's AM/PM words
    };
    const std::vector<Case> cases = {
        {"C", "HH:mm:ss", "15:52:32"},
        {"en_GB.UTF-8", "HH:mm:ss", "15:52:32"},
        {"en_US.UTF-8", "hh:mm:ss AP", "03:52:32 PM"},
        {"de_DE.UTF-8", "HH:mm:ss", "15:52:32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        ScopedTimeLocale scoped(c.locale);
        ASSERT_TRUE(scoped.Ok()) << "locale not installed";
        TAlarmOptions dialog;
        EXPECT_EQ(dialog.DTPTime->displayFormat().toStdString(), c.format);
        dialog.DTPTime->setLocale(QLocale::c());
        EXPECT_EQ(dialog.DTPTime->text().toStdString(), c.text);
    }
}
