#include "ingredients/TimeParser.h"

#include "lib/Log.h"
#include "lib/StringTable.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace miravel {
namespace {

// A translated unit word may contain characters that mean something to the regex engine
// ("std." or "min(s)"), so everything but letters and marks is spelled as a code point escape.
// An empty translation is dropped: as an empty alternative it would make every bare number
// a time.
std::string quoteWord(const std::string& utf8) {
    const icu::UnicodeString word = icu::UnicodeString::fromUTF8(utf8);
    std::string quoted;
    for (int32_t i = 0; i < word.length();) {
        const UChar32 c = word.char32At(i);
        i += U16_LENGTH(c);
        if (u_isalpha(c) || (u_getCombiningClass(c) != 0)) {
            icu::UnicodeString(c).toUTF8String(quoted);
        } else {
            quoted += fmt::format("\\x{{{:x}}}", static_cast<std::uint32_t>(c));
        }
    }
    return quoted;
}

std::string wordAlternatives(const char* const (&english)[4]) {
    std::string alternatives;
    for (const char* word : english) {
        alternatives += word;
        alternatives += '|';
    }
    for (const char* word : english) {
        const std::string translated = tr(word);
        if (!translated.empty()) {
            alternatives += quoteWord(translated);
            alternatives += '|';
        }
    }
    alternatives.pop_back();
    return alternatives;
}

// The first number followed by one of the unit words. The number is a whole count with an
// optional fraction or decimal part ("1 1/2 hours", "1½ hours", "1.5 hours"), or a fraction
// alone ("1/2 hour", "½ hour"). The look-behinds keep a count from starting inside another
// number or right after a fraction slash or decimal separator, which would read the "2" of
// "1/2 hour" as 2 hours.
//
// Groups: 1 the whole count; 2 a vulgar fraction after it; 3 and 4 a slash fraction after it;
// 5 decimal digits after it; 6 and 7 a slash fraction alone; 8 a vulgar fraction alone.
std::unique_ptr<icu::RegexPattern> compileUnitPattern(const char* const (&english)[4],
                                                      const char* singleLetter) {
    const std::string source = fmt::format(
        "(?i)(?<!\\d)(?<!\\d[./,])"
        "(?:(\\d+)(?:\\s*([\\u00BC-\\u00BE\\u2150-\\u215E])|\\s+(\\d+)\\s*/\\s*(\\d+)|[.,](\\d+))?"
        "|(\\d+)\\s*/\\s*(\\d+)|([\\u00BC-\\u00BE\\u2150-\\u215E]))"
        "\\s*(?:{}|{})",
        wordAlternatives(english), singleLetter);
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(source), 0, parseError, status));
    if (U_FAILURE(status)) {
        logLine("Could not compile time pattern {}: {}", source, u_errorName(status));
        return nullptr;
    }
    return pattern;
}

const icu::RegexPattern* hoursPattern() {
    static const char* const kWords[4] = {"hours", "hour", "hrs", "hr"};
    static const std::unique_ptr<icu::RegexPattern> pattern = compileUnitPattern(kWords, "h");
    return pattern.get();
}

const icu::RegexPattern* minutesPattern() {
    static const char* const kWords[4] = {"minutes", "minute", "mins", "min"};
    static const std::unique_ptr<icu::RegexPattern> pattern = compileUnitPattern(kWords, "m");
    return pattern.get();
}

icu::UnicodeString unicodeOf(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// \d matches the decimal digits of every script ("٣٠ min"); each counts by its value. Counts
// stop growing at 2^31 - 1, and so do their digits' share of a decimal part.
double digitsValue(const icu::UnicodeString& digits, double* scale = nullptr) {
    double value = 0;
    double power = 1;
    for (int32_t i = 0; i < digits.length();) {
        const UChar32 c = digits.char32At(i);
        i += U16_LENGTH(c);
        if (value < INT32_MAX) {
            value = std::min<double>(value * 10 + u_charDigitValue(c), INT32_MAX);
            power *= 10;
        }
    }
    if (scale != nullptr) {
        *scale = power;
    }
    return value;
}

double fractionValue(const icu::UnicodeString& numerator, const icu::UnicodeString& denominator) {
    const double d = digitsValue(denominator);
    return d == 0 ? 0 : digitsValue(numerator) / d;
}

// The count of the first match, fraction included; 0 when there is none.
double firstCount(const icu::RegexPattern* pattern, std::string_view text) {
    if (pattern == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return 0;
    }
    const icu::UnicodeString input = unicodeOf(text);
    UErrorCode status = U_ZERO_ERROR;
    // The compiled pattern is shared between threads; a matcher is not.
    const std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) {
        return 0;
    }
    const auto group = [&](int32_t index) {
        UErrorCode groupStatus = U_ZERO_ERROR;
        icu::UnicodeString captured = matcher->group(index, groupStatus);
        return U_FAILURE(groupStatus) ? icu::UnicodeString() : captured;
    };
    const auto vulgar = [](const icu::UnicodeString& character) {
        return character.isEmpty() ? 0.0 : u_getNumericValue(character.char32At(0));
    };
    if (const icu::UnicodeString whole = group(1); !whole.isEmpty()) {
        double value = digitsValue(whole) + vulgar(group(2)) + fractionValue(group(3), group(4));
        if (const icu::UnicodeString decimals = group(5); !decimals.isEmpty()) {
            double scale = 1;
            const double digits = digitsValue(decimals, &scale);
            value += digits / scale;
        }
        return value;
    }
    return fractionValue(group(6), group(7)) + vulgar(group(8));
}

std::int32_t wholeCount(double count) {
    return count >= INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(count);
}

// A time text that is only a number ("90") means minutes: that is how the time fields are
// filled in when no word is typed.
std::optional<double> bareNumber(std::string_view text) {
    const icu::UnicodeString input = unicodeOf(text);
    icu::UnicodeString digits;
    for (int32_t i = 0; i < input.length();) {
        const UChar32 c = input.char32At(i);
        i += U16_LENGTH(c);
        if (u_charDigitValue(c) >= 0) {
            digits.append(c);
        } else if (!u_isUWhiteSpace(c)) {
            return std::nullopt;
        }
    }
    icu::UnicodeString trimmed(input);
    if (digits.isEmpty() || digits.length() != trimmed.trim().length()) {
        return std::nullopt;  // "1 30" is no number of minutes
    }
    return digitsValue(digits);
}

}  // namespace

std::int32_t TimeParser::parseHours(std::string_view text) {
    return wholeCount(firstCount(hoursPattern(), text));
}

std::int32_t TimeParser::parseMinutes(std::string_view text) {
    return wholeCount(firstCount(minutesPattern(), text));
}

std::int64_t TimeParser::totalMinutes(std::string_view text) {
    const double hours = firstCount(hoursPattern(), text);
    double minutes = firstCount(minutesPattern(), text);
    if (hours == 0 && minutes == 0) {
        minutes = bareNumber(text).value_or(0);
    }
    return std::llround(hours * 60 + minutes);
}

int cookTimeCompare(std::string_view text, std::string_view other) {
    const std::int64_t left = TimeParser::totalMinutes(text);
    const std::int64_t right = TimeParser::totalMinutes(other);
    return left < right ? -1 : (left > right ? 1 : 0);
}

}  // namespace miravel
