#include "ingredients/TimeParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace miravel {
namespace {

constexpr std::int32_t kMax = 2147483647;

struct ParseCase {
    std::string name;
    std::string text;
    std::int32_t hours;
    std::int32_t minutes;
};

class TimeParserParses : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TimeParserParses, hoursAndMinutes) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(TimeParser::parseHours(c.text), c.hours);
    EXPECT_EQ(TimeParser::parseMinutes(c.text), c.minutes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(TimeParser, TimeParserParses, ::testing::Values(
    ParseCase{"empty", "", 0, 0},
    ParseCase{"noDigits", "overnight", 0, 0},
    ParseCase{"wordsWithoutNumber", "a few minutes", 0, 0},
    ParseCase{"numberWithoutUnit", "45", 0, 0},
    ParseCase{"editorPlaceholder", "0 hr 0 min", 0, 0},
    ParseCase{"hoursAndMinutes", "1 hr 30 min", 1, 30},
    ParseCase{"compact", "1h30m", 1, 30},
    ParseCase{"minutesOnly", "45 minutes", 0, 45},
    ParseCase{"hoursOnly", "2 hours", 2, 0},
    ParseCase{"singularWords", "1 hour 1 minute", 1, 1},
    ParseCase{"abbreviations", "2hrs 5mins", 2, 5},
    ParseCase{"letterCase", "30 Minutes", 0, 30},
    ParseCase{"upperCase", "2 HOURS 10 MIN", 2, 10},
    // The digit of "1 hour" is followed by an h, which begins no minute word.
    ParseCase{"minuteAfterHour", "1 hour 20 mins", 1, 20},
    ParseCase{"firstMatchCounts", "10 min prep, 25 min cook", 0, 10},
    ParseCase{"unitFirstElsewhere", "Cook 1 hr, rest 15 min", 1, 15},
    ParseCase{"range", "10 - 15 min", 0, 15},
    // A fraction or decimal before the word is ignored; its own digits never count.
    ParseCase{"mixedFractionHours", "1 1/2 hours", 1, 0},
    ParseCase{"decimalHours", "1.5 hours", 1, 0},
    ParseCase{"decimalCommaHours", "1,5 hours", 1, 0},
    ParseCase{"fractionOnly", "1/2 hour", 0, 0},
    ParseCase{"vulgarFraction", "1\u00BD hours", 1, 0},
    ParseCase{"decimalMinutes", "2.5 min", 0, 2},
    // Counts beyond 32 bits stop at the largest one instead of wrapping.
    ParseCase{"largestCount", "2147483647 min", 0, kMax},
    ParseCase{"justBeyondLargest", "2147483648 min", 0, kMax},
    ParseCase{"farBeyondLargest", "99999999999999999999 hours 5 min", kMax, 5},
    ParseCase{"leadingZeros", "0000000000000000000045 min", 0, 45},
    // Decimal digits of other scripts count by their value.
    ParseCase{"arabicIndicDigits", "\u0661\u0662 min", 0, 12},
    ParseCase{"fullwidthDigits", "\uFF13\uFF10 min", 0, 30},
    ParseCase{"invalidUtf8", "\xFF\xFE 20 min", 0, 20}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct CompareCase {
    std::string name;
    std::string text;
    std::string other;
    int expected;
};

class TimeParserCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(TimeParserCompare, byTotalMinutes) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(cookTimeCompare(c.text, c.other), c.expected);
    EXPECT_EQ(cookTimeCompare(c.other, c.text), -c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(TimeParser, TimeParserCompare, ::testing::Values(
    CompareCase{"emptyTexts", "", "", 0},
    CompareCase{"noTimes", "overnight", "a few minutes", 0},
    CompareCase{"emptyBelowAnything", "", "1 min", -1},
    CompareCase{"ninetyMinutesAboveHourAndQuarter", "90 min", "1 hr 15 min", 1},
    CompareCase{"sameTotalDifferentWords", "1 hr", "60 min", 0},
    CompareCase{"hourAndTwentyAboveSeventy", "1 hour 20 mins", "70 minutes", 1},
    CompareCase{"fractionCounts", "1 1/2 hours", "1 hr 15 min", 1},
    CompareCase{"bareNumberIsMinutes", "90", "1 hr 15 min", 1},
    CompareCase{"halfHourAboveNothing", "\u00BD hour", "", 1},
    // 2147483647 hours is beyond 32 bits in minutes; the order must survive.
    CompareCase{"hugeHoursDoNotWrap", "2147483647 hours", "1 min", 1},
    CompareCase{"hugeHoursPlusMinute", "2147483647 hours", "2147483647 hours 1 min", -1}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// Sorting by time must see "1 1/2 hours" as the 90 minutes it says, not 60 or 0.
TEST(TimeParserTotal, countsFractionsOfHoursAndBareMinutes) {
    struct Case {
        const char* text;
        std::int64_t minutes;
    };
    const Case cases[] = {
        {"1 1/2 hours", 90},
        {"1.5 hours", 90},
        {"1,5 hours", 90},
        {"1\u00BD hours", 90},
        {"1 \u00BD hours", 90},
        {"\u00BD hour", 30},
        {"1/2 hour", 30},
        {"\u00BC hr 5 min", 20},
        {"90", 90},
        {" 45 ", 45},
        {"1 hr 30 min", 90},
        {"2.5 min", 3},
        {"1 30", 0},
        {"overnight", 0},
        {"", 0},
        {"1/0 hour", 0},
        {"2147483647 hours", 2147483647LL * 60},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeParser::totalMinutes(c.text), c.minutes) << c.text;
    }
}

TEST(TimeParserThreads, concurrentCallsAgree) {
    // Sorting may run on any thread, and the first call compiles the shared patterns.
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 200; ++i) {
                if (TimeParser::parseHours("3 hr 7 min") != 3 ||
                    TimeParser::parseMinutes("3 hr 7 min") != 7 ||
                    cookTimeCompare("90 min", "1 hr 15 min") != 1) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace miravel
