#include "lib/DateText.h"

#include <ctime>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace miravel {

namespace {

bool readDigits(std::string_view text, std::size_t offset, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        char ch = text[i];
        if (ch < '0' || ch > '9') {
            return false;
        }
        value = value * 10 + (ch - '0');
    }
    return true;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

bool sameWallClock(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

}  // namespace

Timestamp currentMoment() {
    return std::chrono::time_point_cast<Timestamp::duration>(std::chrono::system_clock::now());
}

Timestamp momentOfTimeT(std::time_t seconds) {
    constexpr auto kMostSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(Timestamp::duration::max()).count() - 1;
    const auto clamped = std::clamp<std::int64_t>(seconds, -kMostSeconds, kMostSeconds);
    return Timestamp(std::chrono::seconds(clamped));
}

std::time_t timeTOf(Timestamp moment) {
    return static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(moment).time_since_epoch().count());
}

std::string formatDateText(Timestamp moment) {
    std::time_t seconds = timeTOf(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::optional<Timestamp> parseDateText(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) ||
        !readDigits(text, 8, 2, day) || !readDigits(text, 11, 2, hour) ||
        !readDigits(text, 14, 2, minute) || !readDigits(text, 17, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::tm wanted{};
    wanted.tm_year = year - 1900;
    wanted.tm_mon = month - 1;
    wanted.tm_mday = day;
    wanted.tm_hour = hour;
    wanted.tm_min = minute;
    wanted.tm_sec = second;

    // Try the time as daylight-saving and as standard time and keep the readings that show
    // the same wall clock again: two in the repeated hour (take the earlier), none in the
    // skipped hour (read it with the offset in force before the jump, which carries it
    // forward by the size of the jump).
    std::optional<std::time_t> best;
    for (int isDst : {1, 0}) {
        std::tm attempt = wanted;
        attempt.tm_isdst = isDst;
        std::time_t seconds = ::mktime(&attempt);
        std::tm back{};
        if (seconds == static_cast<std::time_t>(-1) || !::localtime_r(&seconds, &back) ||
            !sameWallClock(back, wanted)) {
            continue;
        }
        if (!best || seconds < *best) {
            best = seconds;
        }
    }
    if (!best) {
        std::tm attempt = wanted;
        attempt.tm_isdst = 0;
        std::time_t seconds = ::mktime(&attempt);
        if (seconds == static_cast<std::time_t>(-1)) {
            return std::nullopt;
        }
        best = seconds;
    }
    return momentOfTimeT(*best);
}

}  // namespace miravel
