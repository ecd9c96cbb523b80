#include "lib/DateStyles.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::ScopedLocale;
using testing::ScopedTimeZone;
using testing::utc;

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kSydney = "AEST-10AEDT,M10.1.0,M4.1.0/3";

struct StyleCase {
    const char* locale;
    const char* shortText;
    const char* fullText;
};

TEST(DateStyles, followTheDefaultLocale) {
    ScopedTimeZone zone(kNewYork);
    const Timestamp monday = utc(2026, 12, 7, 17, 0);
    const StyleCase cases[] = {
        {"en_US", "12/7/26", "Monday, December 7, 2026"},
        {"fr_FR", "07/12/2026", "lundi 7 décembre 2026"},
        {"de_DE", "07.12.26", "Montag, 7. Dezember 2026"},
    };
    for (const auto& c : cases) {
        ScopedLocale locale(c.locale);
        EXPECT_EQ(shortDateText(monday), c.shortText) << c.locale;
        EXPECT_EQ(fullDateText(monday), c.fullText) << c.locale;
    }
}

TEST(DateStyles, nameTheLocalDayOfTheTimeZoneAtTheCall) {
    ScopedLocale locale("en_US");
    // 03:30 UTC is still the evening before in New York and already midday in Sydney.
    const Timestamp moment = utc(2026, 12, 7, 3, 30);
    {
        ScopedTimeZone zone(kNewYork);
        EXPECT_EQ(fullDateText(moment), "Sunday, December 6, 2026");
        EXPECT_EQ(shortDateText(moment), "12/6/26");
    }
    {
        ScopedTimeZone zone(kSydney);
        EXPECT_EQ(fullDateText(moment), "Monday, December 7, 2026");
        EXPECT_EQ(shortDateText(moment), "12/7/26");
    }
}

// The day a moment is shown as is the day the rest of the program counts: Gregorian however
// early, and not wrapped round past 2262.
TEST(DateStyles, nameTheSameDayAsTheDateTextInEveryYear) {
    ScopedLocale locale("en_US");
    ScopedTimeZone zone("UTC0");
    const std::pair<Timestamp, const char*> cases[] = {
        {utc(1, 1, 1, 12, 0), "Monday, January 1, 1"},
        {utc(1582, 10, 4, 12, 0), "Monday, October 4, 1582"},
        {utc(1677, 9, 21, 12, 0), "Tuesday, September 21, 1677"},
        {utc(2262, 4, 12, 12, 0), "Saturday, April 12, 2262"},
        {utc(9999, 12, 31, 12, 0), "Friday, December 31, 9999"},
    };
    for (const auto& [moment, text] : cases) {
        EXPECT_EQ(fullDateText(moment), text);
    }
}

TEST(DateStyles, keepTheDayAtItsEdgesAndAcrossDaylightSavingChanges) {
    ScopedLocale locale("en_US");
    ScopedTimeZone zone(kNewYork);
    const std::pair<Timestamp, const char*> cases[] = {
        {utc(2026, 3, 8, 5, 0), "Sunday, March 8, 2026"},           // 00:00, a 23-hour day
        {utc(2026, 3, 9, 3, 59, 59), "Sunday, March 8, 2026"},      // 23:59:59 daylight time
        {utc(2026, 11, 1, 4, 0), "Sunday, November 1, 2026"},       // 00:00, a 25-hour day
        {utc(2026, 11, 2, 4, 59, 59), "Sunday, November 1, 2026"},  // 23:59:59 standard time
        {utc(2026, 11, 2, 5, 0), "Monday, November 2, 2026"},
    };
    for (const auto& [moment, text] : cases) {
        EXPECT_EQ(fullDateText(moment), text);
    }
}

}  // namespace
}  // namespace miravel
