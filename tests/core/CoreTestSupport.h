// Helpers for the core tests: a pinned LC_TIME locale, a private temporary
// folder and whole-file reads and writes.
#pragma once

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <sstream>
#include <string>

namespace dormix::test {

// Makes the named locale the calling thread's locale for the guard's life.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : locale_(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (locale_ == nullptr) {
            ADD_FAILURE() << "locale " << name << " is not installed (scripts/install-deps.sh)";
            return;
        }
        previous_ = uselocale(locale_);
    }
    ~ScopedLocale() {
        if (locale_ == nullptr)
            return;
        uselocale(previous_);
        freelocale(locale_);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

} // namespace dormix::test
