#include "store/PredicateOperators.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "lib/TextFolding.h"
#include "store/EntityDescription.h"

namespace miravel {
namespace {

enum class Kind { Nil, Number, Text, Date, Object, List };

Kind kindOf(const Value& value) {
    if (value.isNull()) {
        return Kind::Nil;
    }
    if (value.isNumber()) {
        return Kind::Number;
    }
    if (value.isText()) {
        return Kind::Text;
    }
    if (value.isDate()) {
        return Kind::Date;
    }
    if (value.isObject()) {
        return Kind::Object;
    }
    return Kind::List;
}

bool needsNormalizing(const Value& value) {
    if (value.isList()) {
        const ValueList& items = value.asList();
        return std::any_of(items.begin(), items.end(), needsNormalizing);
    }
    return (value.isDouble() && std::isnan(value.numeric())) ||
           (value.isObject() && value.asObject().isNull());
}

bool isIntegral(const Value& value) {
    return value.isBoolean() || value.isInteger();
}

std::int64_t integralOf(const Value& value) {
    return value.isBoolean() ? (value.asBoolean() ? 1 : 0) : value.asInteger();
}

// Exact, as SQLite compares an INTEGER with a REAL: no rounding of the integer to a double.
std::partial_ordering compareIntegerWithDouble(std::int64_t integer, double real) {
    if (std::isnan(real)) {
        return std::partial_ordering::unordered;
    }
    if (real >= 9223372036854775808.0) {
        return std::partial_ordering::less;
    }
    if (real < -9223372036854775808.0) {
        return std::partial_ordering::greater;
    }
    const double whole = std::trunc(real);
    const auto truncated = static_cast<std::int64_t>(whole);
    if (integer != truncated) {
        return integer <=> truncated;
    }
    return whole <=> real;
}

std::partial_ordering compareNumbers(const Value& a, const Value& b) {
    if (isIntegral(a) && isIntegral(b)) {
        return integralOf(a) <=> integralOf(b);
    }
    if (isIntegral(a)) {
        return compareIntegerWithDouble(integralOf(a), b.numeric());
    }
    if (isIntegral(b)) {
        return 0 <=> compareIntegerWithDouble(integralOf(b), a.numeric());
    }
    return a.numeric() <=> b.numeric();
}

bool sameEntity(const EntityDescription* a, const EntityDescription* b) {
    return a == b || (a != nullptr && b != nullptr && a->name == b->name);
}

class RegexCache {
public:
    // Null for an expression that does not compile.
    const icu::RegexPattern* pattern(std::string_view source, bool caseInsensitive) {
        std::string key(1, caseInsensitive ? 'i' : '-');
        key.append(source);
        if (auto found = m_patterns.find(key); found != m_patterns.end()) {
            return found->second.get();
        }
        // Patterns come from what the user types; a small bound keeps a long session's
        // searches from piling up.
        if (m_patterns.size() >= kCapacity) {
            m_patterns.clear();
        }
        std::unique_ptr<icu::RegexPattern> compiled;
        if (source.size() <= static_cast<std::size_t>(INT32_MAX)) {
            UParseError parseError{};
            UErrorCode status = U_ZERO_ERROR;
            compiled.reset(icu::RegexPattern::compile(
                icu::UnicodeString::fromUTF8(
                    icu::StringPiece(source.data(), static_cast<int32_t>(source.size()))),
                caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, parseError, status));
            if (U_FAILURE(status)) {
                compiled.reset();
            }
        }
        return m_patterns.emplace(std::move(key), std::move(compiled)).first->second.get();
    }

private:
    static constexpr std::size_t kCapacity = 64;
    std::unordered_map<std::string, std::unique_ptr<icu::RegexPattern>> m_patterns;
};

// In ICU's units of about ten thousand steps of its matching engine; enough for any sensible
// expression over a long recipe, and a bound on one that backtracks without end.
constexpr int32_t kRegexTimeLimit = 200;

}  // namespace

std::string PredicateOperators::foldText(std::string_view text, unsigned options) {
    switch (options & (kCaseInsensitive | kDiacriticInsensitive)) {
        case kCaseInsensitive:
            return foldCase(text);
        case kDiacriticInsensitive:
            return foldDiacritics(text);
        case kCaseInsensitive | kDiacriticInsensitive:
            return foldCaseAndDiacritics(text);
        default:
            return std::string(text);
    }
}

Value PredicateOperators::folded(Value value, unsigned options) {
    if ((options & (kCaseInsensitive | kDiacriticInsensitive)) == 0) {
        return value;
    }
    if (value.isText()) {
        return Value(foldText(value.asText(), options));
    }
    if (value.isList()) {
        ValueList items;
        items.reserve(value.asList().size());
        for (const Value& item : value.asList()) {
            items.push_back(folded(item, options));
        }
        return Value(std::move(items));
    }
    return value;
}

Value PredicateOperators::normalized(Value value) {
    if (!needsNormalizing(value)) {
        return value;
    }
    if (!value.isList()) {
        return Value();
    }
    ValueList items;
    items.reserve(value.asList().size());
    for (const Value& item : value.asList()) {
        items.push_back(normalized(item));
    }
    return Value(std::move(items));
}

bool PredicateOperators::equal(const Value& a, const Value& b) {
    const Kind kind = kindOf(a);
    if (kind != kindOf(b)) {
        return false;
    }
    switch (kind) {
        case Kind::Nil:
            return true;
        case Kind::Number:
            return compareNumbers(a, b) == std::partial_ordering::equivalent;
        case Kind::Text:
            return a.asText() == b.asText();
        case Kind::Date:
            return Value::secondsOf(a.asDate()) == Value::secondsOf(b.asDate());
        case Kind::Object:
            return a.asObject().row == b.asObject().row &&
                   sameEntity(a.asObject().entity, b.asObject().entity);
        case Kind::List: {
            const ValueList& left = a.asList();
            const ValueList& right = b.asList();
            if (left.size() != right.size()) {
                return false;
            }
            for (std::size_t i = 0; i < left.size(); ++i) {
                if (!equal(left[i], right[i])) {
                    return false;
                }
            }
            return true;
        }
    }
    return false;
}

std::partial_ordering PredicateOperators::compare(const Value& a, const Value& b) {
    const Kind kind = kindOf(a);
    if (kind != kindOf(b)) {
        return std::partial_ordering::unordered;
    }
    switch (kind) {
        case Kind::Number:
            return compareNumbers(a, b);
        case Kind::Text:
            return std::string_view(a.asText()) <=> std::string_view(b.asText());
        case Kind::Date:
            return Value::secondsOf(a.asDate()) <=> Value::secondsOf(b.asDate());
        default:
            return std::partial_ordering::unordered;
    }
}

bool PredicateOperators::contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

bool PredicateOperators::beginsWith(std::string_view text, std::string_view prefix) {
    return text.starts_with(prefix);
}

bool PredicateOperators::endsWith(std::string_view text, std::string_view suffix) {
    return text.ends_with(suffix);
}

std::size_t PredicateOperators::characterLength(std::string_view text, std::size_t index) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(index);
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, c = lead & 0x07;
    } else {
        return 1;
    }
    if (index + length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(index + i) & 0xC0) != 0x80) {
            return 1;
        }
        c = (c << 6) | (byte(index + i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return 1;
    }
    return length;
}

bool PredicateOperators::like(std::string_view text, std::string_view pattern) {
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t t = 0;
    std::size_t p = 0;
    // Where the last "*" seen resumes in the pattern, and the text position it absorbed up to.
    // Each segment between stars matches deterministically, so retrying only the last star
    // one character further on is enough.
    std::size_t starPattern = kNone;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size()) {
            const char c = pattern[p];
            if (c == '*') {
                starPattern = ++p;
                starText = t;
                continue;
            }
            if (c == '?') {
                t += characterLength(text, t);
                ++p;
                continue;
            }
            const std::size_t literal = c == '\\' && p + 1 < pattern.size() ? p + 1 : p;
            if (pattern[literal] == text[t]) {
                ++t;
                p = literal + 1;
                continue;
            }
        }
        if (starPattern == kNone) {
            return false;
        }
        starText += characterLength(text, starText);
        t = starText;
        p = starPattern;
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool PredicateOperators::matches(std::string_view text, std::string_view pattern,
                                 bool caseInsensitive) {
    thread_local RegexCache cache;
    const icu::RegexPattern* compiled = cache.pattern(pattern, caseInsensitive);
    if (compiled == nullptr || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return false;
    }
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    if (U_FAILURE(status) || matcher == nullptr) {
        return false;
    }
    matcher->setTimeLimit(kRegexTimeLimit, status);
    const bool matched = matcher->matches(status);
    return U_SUCCESS(status) && matched;
}

}  // namespace miravel
