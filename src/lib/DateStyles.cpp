#include "lib/DateStyles.h"

#include <unicode/datefmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <array>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>

namespace miravel {

namespace {

std::string dateText(Timestamp moment, icu::DateFormat::EStyle style,
                     std::optional<icu::DateFormat::EStyle> timeStyle = std::nullopt) {
    // ICU keeps its own idea of the local zone, read once; the C library follows TZ on every
    // call. So the day is taken from the C library and shown as the same wall-clock day in
    // UTC, where ICU has nothing to get wrong.
    const std::time_t seconds = timeTOf(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    if (!timeStyle) {
        local.tm_hour = 12;  // midday: the day cannot slip whatever the formatter does with it
        local.tm_min = 0;
        local.tm_sec = 0;
    }
    const std::time_t wallClockAsUtc = ::timegm(&local);

    std::unique_ptr<icu::DateFormat> format(
        timeStyle
            ? icu::DateFormat::createDateTimeInstance(style, *timeStyle, icu::Locale::getDefault())
            : icu::DateFormat::createDateInstance(style, icu::Locale::getDefault()));
    if (!format) {
        return timeStyle ? formatDateText(moment) : formatDateText(moment).substr(0, 10);
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

std::string mediumDateTimeText(Timestamp moment) {
    return dateText(moment, icu::DateFormat::kMedium, icu::DateFormat::kMedium);
}

std::vector<std::string> weekdayNames() {
    static constexpr std::array kEnglish{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
    std::vector<std::string> names(kEnglish.begin(), kEnglish.end());
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(icu::Locale::getDefault(), status);
    if (U_FAILURE(status)) {
        return names;
    }
    int32_t count = 0;
    // Indexed by ICU's weekday numbers: 1 = Sunday ... 7 = Saturday, 0 unused.
    const icu::UnicodeString* weekdays = symbols.getWeekdays(count);
    if (weekdays == nullptr || count < 8) {
        return names;
    }
    for (int day = 1; day <= 7; ++day) {
        std::string utf8;
        weekdays[day].toUTF8String(utf8);
        if (!utf8.empty()) {
            names[static_cast<std::size_t>(day - 1)] = std::move(utf8);
        }
    }
    return names;
}

}  // namespace miravel
