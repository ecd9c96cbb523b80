#include "ingredients/RecipeScaler.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <charconv>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "ingredients/VulgarFraction.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/TextPieces.h"
#include "lib/Utf8.h"

namespace miravel {
namespace {

// The leading amount of an ingredient line (group 1) and the upper end of a range written
// with "to" or "-" (group 2).
//
// A whole number written directly against a vulgar fraction ("1½") is one amount: taking
// only the "1" would scale 1½ cups to 2½ at double instead of 3.
constexpr const char* kLinePattern =
    "^((?:\\d+(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:\\d+/\\d+|[\\d\\.]+|[½¼¾⅓⅔⅛]))"
    "(?: *(?:to|-) *((?:\\d+(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:\\d+/\\d+|[\\d\\.]+|[½¼¾⅓⅔⅛]))?)?";
// One amount: 1 a whole number before a fraction, 2 and 3 a slash fraction, 4 a decimal,
// 5 a vulgar-fraction character.
constexpr const char* kQuantityPattern =
    "^(?:(\\d+)(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:(\\d+)/(\\d+)|([\\d\\.]+)|([½¼¾⅓⅔⅛]))";
// The leading head count of a servings text (group 1) and the upper end of a range (group 2).
constexpr const char* kServingsPattern = "^(\\d+)(?: *(?:to|-) *(\\d+)?)?";

std::unique_ptr<icu::RegexPattern> compile(const char* source) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(source), 0, parseError, status));
    if (U_FAILURE(status)) {
        logLine("Could not compile scaling pattern {}: {}", source, u_errorName(status));
        return nullptr;
    }
    return pattern;
}

const icu::RegexPattern* linePattern() {
    static const std::unique_ptr<icu::RegexPattern> pattern = compile(kLinePattern);
    return pattern.get();
}

const icu::RegexPattern* quantityPattern() {
    static const std::unique_ptr<icu::RegexPattern> pattern = compile(kQuantityPattern);
    return pattern.get();
}

const icu::RegexPattern* servingsPattern() {
    static const std::unique_ptr<icu::RegexPattern> pattern = compile(kServingsPattern);
    return pattern.get();
}

// The captured text of each group of one match, absent for a group that took no part.
class Match {
public:
    Match(std::string_view text,
          std::vector<std::optional<std::pair<std::size_t, std::size_t>>> spans)
        : m_text(text), m_spans(std::move(spans)) {}

    std::optional<std::string_view> group(std::size_t index) const {
        if (index >= m_spans.size()) {
            return std::nullopt;
        }
        const auto& span = m_spans[index];
        if (!span) {
            return std::nullopt;
        }
        return m_text.substr(span->first, span->second);
    }
    // Byte offset and length of a group in the matched text.
    std::optional<std::pair<std::size_t, std::size_t>> span(std::size_t index) const {
        return index < m_spans.size() ? m_spans[index] : std::nullopt;
    }

private:
    std::string_view m_text;
    std::vector<std::optional<std::pair<std::size_t, std::size_t>>> m_spans;
};

// Matches over the UTF-8 bytes themselves, so the offsets are byte offsets and whatever the
// match does not cover is kept exactly as the user typed it. The compiled pattern is shared
// between threads; a matcher is not.
std::optional<Match> matchStart(const icu::RegexPattern* pattern, std::string_view text) {
    if (pattern == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, decltype(&utext_close)> input(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status),
        &utext_close);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(status));
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    matcher->reset(input.get());
    if (!matcher->find(status) || U_FAILURE(status)) {
        return std::nullopt;
    }
    std::vector<std::optional<std::pair<std::size_t, std::size_t>>> spans;
    for (int32_t group = 0; group <= matcher->groupCount(); ++group) {
        const int64_t start = matcher->start64(group, status);
        const int64_t end = matcher->end64(group, status);
        if (U_FAILURE(status) || start < 0) {
            spans.emplace_back(std::nullopt);
        } else {
            spans.emplace_back(
                std::pair{static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)});
        }
    }
    return Match(text, std::move(spans));
}

// \d matches the decimal digits of every script ("٣ أكواب"); each counts by its value.
// Absent when the number has no 32-bit value.
std::optional<std::int32_t> wholeNumber(std::string_view digits) {
    std::int64_t value = 0;
    std::size_t position = 0;
    while (position < digits.size()) {
        const int digit = u_charDigitValue(static_cast<UChar32>(nextUtf8(digits, position)));
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 10 + digit;
        if (value > INT32_MAX) {
            return std::nullopt;
        }
    }
    return static_cast<std::int32_t>(value);
}

bool isDigits(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size()) {
        if (u_charDigitValue(static_cast<UChar32>(nextUtf8(text, position))) < 0) {
            return false;
        }
    }
    return !text.empty();
}

// A run of digits and points read the way a decimal is read: up to the second point, so
// "1.2.3" is 1.2. A run of points alone ("..." before a remark) is not an amount: reading it
// as zero would print "0/1" over the cook's ellipsis.
std::optional<RCRationalNumber> decimalAmount(std::string_view text) {
    std::string ascii;
    bool hasDigit = false;
    std::size_t position = 0;
    while (position < text.size()) {
        const char32_t c = nextUtf8(text, position);
        if (c == U'.') {
            ascii += '.';
            continue;
        }
        const int digit = u_charDigitValue(static_cast<UChar32>(c));
        if (digit < 0) {
            return std::nullopt;
        }
        ascii += static_cast<char>('0' + digit);
        hasDigit = true;
    }
    if (!hasDigit) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return RCRationalNumber::valueWithDouble(value, 4);
}

std::optional<RCRationalNumber> amountOf(const Match& match) {
    const auto whole = match.group(1);
    if (auto decimal = match.group(4)) {
        return decimalAmount(*decimal);
    }
    if (auto vulgar = match.group(5)) {
        auto fraction = vulgarFractionValue(*vulgar);
        if (!fraction || !whole) {
            return fraction;
        }
        auto number = wholeNumber(*whole);
        return number ? fraction->add(RCRationalNumber(*number)) : std::nullopt;
    }
    const auto numerator = match.group(2);
    const auto denominator = match.group(3);
    std::optional<std::int32_t> n = numerator ? wholeNumber(*numerator) : std::nullopt;
    std::optional<std::int32_t> d = denominator ? wholeNumber(*denominator) : std::nullopt;
    if (whole) {
        auto number = wholeNumber(*whole);
        if (!number) {
            return std::nullopt;
        }
        if (!numerator || !denominator) {
            return RCRationalNumber(*number);
        }
        return n && d ? RCRationalNumber::valueWithWholeNumber(*number, *n, *d) : std::nullopt;
    }
    return n && d ? RCRationalNumber::valueWithNumerator(*n, *d) : std::nullopt;
}

// Two plain whole numbers joined by a hyphen without spaces ("2-3 cups") are a range the way
// cooks write it, so both ends are scaled; read as one amount, the hyphen would make the 2 a
// whole-number prefix and the lower end would be lost. "1-1/2" stays one and a half.
std::string scaleAmount(std::string_view amount, const RCRationalNumber& factor) {
    const auto hyphen = amount.find('-');
    if (hyphen != std::string_view::npos && isDigits(amount.substr(0, hyphen)) &&
        isDigits(amount.substr(hyphen + 1))) {
        return RecipeScaler::scaleQuantity(amount.substr(0, hyphen), factor) + "-" +
               RecipeScaler::scaleQuantity(amount.substr(hyphen + 1), factor);
    }
    return RecipeScaler::scaleQuantity(amount, factor);
}

std::string scaleLine(std::string_view line, const RCRationalNumber& factor) {
    const auto match = matchStart(linePattern(), line);
    std::string result(line);
    if (!match) {
        return result;
    }
    // The upper end lies behind the amount, so replacing it first keeps the amount's offsets.
    for (std::size_t group : {2u, 1u}) {
        if (auto span = match->span(group)) {
            result.replace(span->first, span->second,
                           scaleAmount(line.substr(span->first, span->second), factor));
        }
    }
    return result;
}

// Bytes of the line-ending character at `position`, or 0. The lead bytes 0xC2 and 0xE2 never
// occur inside another character's encoding, so a byte scan cannot split one.
std::size_t lineBreakLength(std::string_view text, std::size_t position) {
    const std::string_view rest = text.substr(position);
    const char c = rest.front();
    if (c == '\n' || c == '\v' || c == '\f' || c == '\r') {
        return 1;
    }
    if (rest.starts_with("\xC2\x85")) {
        return 2;
    }
    if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) {
        return 3;
    }
    return 0;
}

}  // namespace

std::vector<std::string> splitAtLineBreaks(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        if (const std::size_t length = lineBreakLength(text, position); length > 0) {
            lines.emplace_back(text.substr(start, position - start));
            position += length;
            start = position;
        } else {
            ++position;
        }
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

std::optional<std::string> RecipeScaler::scaleIngredients(
    const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor) {
    if (!text || !factor || factor->isEqualToOne()) {
        return text;
    }
    std::string result;
    bool first = true;
    for (const std::string& line : splitAtLineBreaks(*text)) {
        if (!first) {
            result += '\n';
        }
        first = false;
        const std::string_view trimmed = trimCharacters(line, " \t");
        if (trimmed.empty() || trimmed.back() == ':') {
            result += trimmed;
        } else {
            result += scaleLine(trimmed, *factor);
        }
    }
    return result;
}

std::optional<std::string> RecipeScaler::scaleServings(
    const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor) {
    if (!text || !factor || factor->isEqualToOne()) {
        return text;
    }
    std::string result = *text;
    if (const auto match = matchStart(servingsPattern(), *text)) {
        for (std::size_t group : {2u, 1u}) {
            const auto span = match->span(group);
            const auto digits = match->group(group);
            const auto count = digits ? wholeNumber(*digits) : std::nullopt;
            const auto scaled = count ? RCRationalNumber(*count).multiply(*factor) : std::nullopt;
            if (span && scaled) {
                result.replace(span->first, span->second, scaled->mixedNumber());
            }
        }
    }
    return result + " (" + tr("Scaled") + ")";
}

std::string RecipeScaler::scaleQuantity(std::string_view amount, const RCRationalNumber& factor) {
    const auto match = matchStart(quantityPattern(), amount);
    const auto value = match ? amountOf(*match) : std::nullopt;
    const auto product = value ? value->multiply(factor) : std::nullopt;
    return product ? product->mixedNumber() : std::string(amount);
}

}  // namespace miravel
