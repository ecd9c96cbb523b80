#include "lib/DateText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::ScopedTimeZone;
using testing::utc;

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kSydney = "AEST-10AEDT,M10.1.0,M4.1.0/3";

TEST(DateText, formatsLocalWallClockAcrossDaylightSavingChanges) {
    ScopedTimeZone zone(kNewYork);
    const std::pair<Timestamp, std::string> cases[] = {
        {utc(2026, 3, 8, 6, 59, 59), "2026-03-08 01:59:59"},  // last second of standard time
        {utc(2026, 3, 8, 7, 0, 0), "2026-03-08 03:00:00"},    // clocks jump to 3
        {utc(2026, 11, 1, 5, 30), "2026-11-01 01:30:00"},     // first 1:30 (daylight)
        {utc(2026, 11, 1, 6, 30), "2026-11-01 01:30:00"},     // second 1:30 (standard)
        {utc(2026, 12, 31, 23, 0) + minutes(59) + seconds(59), "2026-12-31 18:59:59"},
        {utc(1999, 1, 1, 5, 0) + std::chrono::milliseconds(999), "1999-01-01 00:00:00"},
    };
    for (const auto& [moment, text] : cases) {
        EXPECT_EQ(formatDateText(moment), text);
    }
}

TEST(DateText, readsRepeatedHourAsEarlierAndSkippedHourAsAfterTheJump) {
    ScopedTimeZone zone(kNewYork);
    EXPECT_EQ(parseDateText("2026-11-01 01:30:00"), utc(2026, 11, 1, 5, 30));
    EXPECT_EQ(parseDateText("2026-03-08 02:30:00"), utc(2026, 3, 8, 7, 30));
    EXPECT_EQ(formatDateText(*parseDateText("2026-03-08 02:30:00")), "2026-03-08 03:30:00");
    EXPECT_EQ(parseDateText("2026-07-04 12:00:00"), utc(2026, 7, 4, 16, 0));
}

TEST(DateText, roundTripsEveryQuarterHourAroundTransitionsInBothHemispheres) {
    for (const char* rule : {kNewYork, kSydney, "UTC0"}) {
        ScopedTimeZone zone(rule);
        for (Timestamp start : {utc(2026, 3, 7, 0, 0), utc(2026, 10, 3, 0, 0),
                                utc(2026, 10, 31, 0, 0), utc(2026, 4, 4, 0, 0)}) {
            for (Timestamp moment = start; moment < start + hours(72); moment += minutes(15)) {
                std::string text = formatDateText(moment);
                std::optional<Timestamp> back = parseDateText(text);
                ASSERT_TRUE(back.has_value()) << rule << " " << text;
                // The repeated hour reads back as its first occurrence, an hour earlier.
                EXPECT_TRUE(*back == moment || *back == moment - hours(1)) << rule << " " << text;
                EXPECT_EQ(formatDateText(*back), text) << rule;
            }
        }
    }
}

TEST(DateText, refusesAnythingButTheExactForm) {
    ScopedTimeZone zone("UTC0");
    EXPECT_TRUE(parseDateText("2024-02-29 23:59:59").has_value());
    for (const char* text :
         {"", "2026-02-29 10:00:00", "2026-13-01 10:00:00", "2026-00-10 10:00:00",
          "2026-04-31 10:00:00", "2026-1-01 10:00:00", "2026-01-01T10:00:00",
          "2026-01-01 10:00:00 ", " 2026-01-01 10:00:00", "2026-01-01 24:00:00",
          "2026-01-01 10:60:00", "2026-01-01 10:00:60", "2026-01-01 10:00", "2026/01/01 10:00:00",
          "2026-01-01 1a:00:00", "\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa6-01-01 10:00:00"}) {
        EXPECT_FALSE(parseDateText(text).has_value()) << text;
    }
}

// Nanoseconds since 1970 end in 1677 and 2262; a moment must hold every year a person types,
// and come back as the same text rather than wrapped round to another century.
TEST(DateText, holdsEveryYearFromOneTo9999) {
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        ScopedTimeZone scoped(zone);
        for (const char* text :
             {"0001-01-01 00:00:00", "1677-09-21 12:00:00", "1677-09-22 00:00:00",
              "2262-04-11 23:59:59", "2262-04-12 12:00:00", "9999-12-31 23:59:59",
              "5000-07-14 03:30:00"}) {
            auto moment = parseDateText(text);
            ASSERT_TRUE(moment.has_value()) << text << " in " << zone;
            EXPECT_EQ(formatDateText(*moment), text) << zone;
        }
    }
    ScopedTimeZone utc("UTC0");
    EXPECT_LT(*parseDateText("2262-04-11 23:59:59"), *parseDateText("2262-04-12 00:00:00"));
    EXPECT_LT(*parseDateText("0001-01-01 00:00:00"), *parseDateText("1677-09-22 00:00:00"));
    EXPECT_EQ(timeTOf(*parseDateText("9999-12-31 23:59:59")), 253402300799);
    EXPECT_EQ(timeTOf(momentOfTimeT(-62135596800)), -62135596800);  // 0001-01-01 UTC
}

}  // namespace
}  // namespace miravel
