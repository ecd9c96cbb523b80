#include "ingredients/TimeParser.h"

#include "lib/Log.h"
#include "lib/StringTable.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <climits>
#include <cstdint>
#include <memory>
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

// The first number followed by one of the unit words. A number may carry a fraction or a
// decimal part before the word ("1 1/2 hours", "1.5 hours", "1½ hours"); it is skipped so
// that its digits are not read as the count ("2 hours"). The look-behinds keep a count from
// starting inside another number or right after a fraction slash or decimal separator, which
// would read "1/2 hour" as 2 hours.
std::unique_ptr<icu::RegexPattern> compileUnitPattern(const char* const (&english)[4],
                                                      const char* singleLetter) {
    const std::string source = fmt::format(
        "(?i)(?<!\\d)(?<!\\d[./,])(\\d+)"
        "(?:\\s*[\\u00BC-\\u00BE\\u2150-\\u215E]|\\s+\\d+\\s*/\\s*\\d+|[.,]\\d+)?"
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

std::int32_t firstCount(const icu::RegexPattern* pattern, std::string_view text) {
    if (pattern == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return 0;
    }
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    // The compiled pattern is shared between threads; a matcher is not.
    const std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status)) {
        return 0;
    }
    const icu::UnicodeString digits = matcher->group(1, status);
    if (U_FAILURE(status)) {
        return 0;
    }
    std::int64_t value = 0;
    for (int32_t i = 0; i < digits.length();) {
        const UChar32 c = digits.char32At(i);
        i += U16_LENGTH(c);
        // \d matches the decimal digits of every script ("٣٠ min"); each counts by its value.
        value = value * 10 + u_charDigitValue(c);
        if (value >= INT32_MAX) {
            return INT32_MAX;
        }
    }
    return static_cast<std::int32_t>(value);
}

std::int64_t totalMinutes(std::string_view text) {
    return static_cast<std::int64_t>(TimeParser::parseHours(text)) * 60 +
           TimeParser::parseMinutes(text);
}

}  // namespace

std::int32_t TimeParser::parseHours(std::string_view text) {
    return firstCount(hoursPattern(), text);
}

std::int32_t TimeParser::parseMinutes(std::string_view text) {
    return firstCount(minutesPattern(), text);
}

int cookTimeCompare(std::string_view text, std::string_view other) {
    const std::int64_t left = totalMinutes(text);
    const std::int64_t right = totalMinutes(other);
    return left < right ? -1 : (left > right ? 1 : 0);
}

}  // namespace miravel
