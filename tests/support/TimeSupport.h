#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <unicode/locid.h>

#include "lib/DateText.h"

namespace miravel::testing {

// Runs a test in a time zone given by a POSIX rule, so no zone database is needed.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* rule) {
        if (const char* old = std::getenv("TZ")) {
            m_previous = old;
        }
        ::setenv("TZ", rule, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (m_previous) {
            ::setenv("TZ", m_previous->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> m_previous;
};

// Runs a test with ICU's default locale set, for texts in the user's date styles.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : m_previous(icu::Locale::getDefault()) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(name), status);
    }
    ~ScopedLocale() {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(m_previous, status);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    icu::Locale m_previous;
};

// A moment given in UTC.
inline Timestamp utc(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return momentOfTimeT(::timegm(&fields));
}

}  // namespace miravel::testing
