#include "lib/DateStyles.h"

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <ctime>
#include <memory>
#include <string_view>

namespace miravel {

namespace {

std::string dateText(Timestamp moment, icu::DateFormat::EStyle style) {
    // ICU keeps its own idea of the local zone, read once; the C library follows TZ on every
    // call. So the day is taken from the C library and shown as the same wall-clock day in
    // UTC, where ICU has nothing to get wrong.
    const std::time_t seconds = timeTOf(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    local.tm_hour = 12;  // midday: the day cannot slip whatever the formatter does with it
    local.tm_min = 0;
    local.tm_sec = 0;
    const std::time_t wallClockAsUtc = ::timegm(&local);

    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(style, icu::Locale::getDefault()));
    if (!format) {
        return formatDateText(moment).substr(0, 10);
    }
    // The C library counts every day by the Gregorian rules, however early; ICU's calendar
    // names days before October 1582 by the Julian one, two days off in year 1. (A locale
    // of another calendar keeps it.)
    if (std::string_view(format->getCalendar()->getType()) == "gregorian") {
        UErrorCode status = U_ZERO_ERROR;
        auto calendar = std::make_unique<icu::GregorianCalendar>(icu::TimeZone::getGMT()->clone(),
                                                                 icu::Locale::getDefault(), status);
        calendar->setGregorianChange(U_DATE_MIN, status);
        if (U_SUCCESS(status)) {
            format->adoptCalendar(calendar.release());
        }
    }
    format->adoptTimeZone(icu::TimeZone::getGMT()->clone());
    icu::UnicodeString text;
    format->format(static_cast<UDate>(wallClockAsUtc) * 1000.0, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

}  // namespace

std::string shortDateText(Timestamp moment) {
    return dateText(moment, icu::DateFormat::kShort);
}

std::string fullDateText(Timestamp moment) {
    return dateText(moment, icu::DateFormat::kFull);
}

}  // namespace miravel
