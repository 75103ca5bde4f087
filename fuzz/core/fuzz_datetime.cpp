// Date-time texts: reading arbitrary text and writing arbitrary values under a
// few locales; what is written must read back to the same whole second where
// the locale's year has four digits.
#include "DateTime.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

namespace {

locale_t Locale(int i) {
    static const char* const kNames[] = {"C", "en_GB.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"};
    static locale_t locales[4] = {};
    if (locales[i] == nullptr) {
        locales[i] = newlocale(LC_ALL_MASK, kNames[i], nullptr);
        if (locales[i] == nullptr)
            locales[i] = newlocale(LC_ALL_MASK, "C", nullptr);
    }
    return locales[i];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const int which = data[0] % 4;
    const locale_t previous = uselocale(Locale(which));
    ++data;
    --size;

    const std::string text(reinterpret_cast<const char*>(data), size);
    dormix::TDateTime value = 0;
    if (dormix::TryStrToDateTime(text, value)) {
        (void)dormix::DateTimeToStr(value);
        if (!std::isfinite(value))
            std::abort();
    }

    if (size >= sizeof(double)) {
        double d;
        std::memcpy(&d, data, sizeof d);
        const std::string written = dormix::DateTimeToStr(d);
        (void)dormix::TimeToStr(d);
        (void)dormix::DayOfTheWeek(d);
        (void)dormix::SecondsBetween(d, 45306.5);
        (void)dormix::DecodeDateTime(d);
        // Years 1000..9999 round-trip in the four-digit-year locales.
        dormix::TDateTime back = 0;
        const bool fourDigits = which == 2 || which == 3;
        if (fourDigits && std::isfinite(d) && d > -328716 && d < 2958465) {
            const auto f = dormix::DecodeDateTime(d);
            if (f.year >= 1000 && f.year <= 9999) {
                if (!dormix::TryStrToDateTime(written, back))
                    std::abort();
                const auto g = dormix::DecodeDateTime(back);
                if (g.year != f.year || g.month != f.month || g.day != f.day || g.hour != f.hour ||
                    g.minute != f.minute || g.second != f.second)
                    std::abort();
            }
        }
    }
    uselocale(previous);
    return 0;
}
