#include "ingredients/RecipeScaler.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "ingredients/IngredientParser.h"
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
//
// Digits grouped in thousands ("1,000,000") are one number; a comma anywhere else is not read
// as part of one.
#define MIRAVEL_GROUPED "\\d{1,3}(?:,\\d{3})+(?![\\d,])(?:\\.\\d+)?"
constexpr const char* kLinePattern =
    "^((?:\\d+(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:\\d+/\\d+|" MIRAVEL_GROUPED
    "|[\\d\\.]+|[½¼¾⅓⅔⅛]))"
    "(?: *(?:to|-) *((?:\\d+(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:\\d+/\\d+|" MIRAVEL_GROUPED
    "|[\\d\\.]+|[½¼¾⅓⅔⅛]))?)?";
// One amount: 1 a whole number before a fraction, 2 and 3 a slash fraction, 4 a decimal,
// 5 a vulgar-fraction character.
constexpr const char* kQuantityPattern =
    "^(?:(\\d+)(?:[ -]|(?=[½¼¾⅓⅔⅛])))?(?:(\\d+)/(\\d+)|(" MIRAVEL_GROUPED "|[\\d\\.]+)|([½¼¾⅓⅔⅛]))";
#undef MIRAVEL_GROUPED
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

using Amount = RecipeScaler::Amount;

// The product that has no exact 32-bit fraction is either very large or very fine.
AmountProblem productProblem(const RCRationalNumber& amount, const RCRationalNumber& factor) {
    return amount.number() * factor.number() >= 1 ? AmountProblem::TooLarge
                                                  : AmountProblem::TooPrecise;
}

std::expected<Amount, AmountProblem> amountOf(const Match& match) {
    if (auto decimal = match.group(4)) {
        auto value = readDecimal(*decimal);
        if (!value) {
            return std::unexpected(value.error());
        }
        const bool point = decimal->find('.') != std::string_view::npos;
        return Amount{*value, point ? AmountNotation::Decimal : AmountNotation::Whole};
    }
    std::optional<std::int32_t> whole;
    if (auto digits = match.group(1)) {
        auto number = readWholeNumber(*digits);
        if (!number) {
            return std::unexpected(number.error());
        }
        whole = *number;
    }
    if (auto vulgar = match.group(5)) {
        auto fraction = vulgarFractionValue(*vulgar);
        auto sum = fraction && whole ? fraction->add(RCRationalNumber(*whole)) : fraction;
        if (!sum) {
            return std::unexpected(AmountProblem::TooLarge);
        }
        return Amount{*sum, AmountNotation::Fraction};
    }
    const auto numerator = match.group(2);
    const auto denominator = match.group(3);
    if (!numerator || !denominator) {
        if (!whole) {
            return std::unexpected(AmountProblem::NotANumber);
        }
        return Amount{RCRationalNumber(*whole), AmountNotation::Whole};
    }
    const auto n = readWholeNumber(*numerator);
    const auto d = readWholeNumber(*denominator);
    if (!n || !d) {
        return std::unexpected(!n ? n.error() : d.error());
    }
    if (*d == 0) {
        return std::unexpected(AmountProblem::DividesByZero);
    }
    auto value = RCRationalNumber::valueWithWholeNumber(whole.value_or(0), *n, *d);
    if (!value) {
        return std::unexpected(AmountProblem::TooLarge);
    }
    return Amount{*value, AmountNotation::Fraction};
}

struct ScaledAmount {
    std::string text;
    RCRationalNumber value;  // the last end of a range
};

std::expected<ScaledAmount, AmountProblem> scaleOne(std::string_view amount,
                                                    const RCRationalNumber& factor) {
    const auto match = matchStart(quantityPattern(), amount);
    if (!match) {
        return std::unexpected(AmountProblem::NotANumber);
    }
    const auto read = amountOf(*match);
    if (!read) {
        return std::unexpected(read.error());
    }
    const auto product = read->value.multiply(factor);
    if (!product) {
        return std::unexpected(productProblem(read->value, factor));
    }
    return ScaledAmount{printAmount(*product, read->notation), *product};
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

// Two plain whole numbers joined by a hyphen without spaces ("2-3 cups") are a range the way
// cooks write it, so both ends are scaled; read as one amount, the hyphen would make the 2 a
// whole-number prefix and the lower end would be lost. "1-1/2" stays one and a half.
std::expected<ScaledAmount, AmountProblem> scaleAmount(std::string_view amount,
                                                       const RCRationalNumber& factor) {
    const auto hyphen = amount.find('-');
    if (hyphen != std::string_view::npos && isDigits(amount.substr(0, hyphen)) &&
        isDigits(amount.substr(hyphen + 1))) {
        auto low = scaleOne(amount.substr(0, hyphen), factor);
        auto high = scaleOne(amount.substr(hyphen + 1), factor);
        if (!low || !high) {
            return std::unexpected(!low ? low.error() : high.error());
        }
        return ScaledAmount{low->text + "-" + high->text, high->value};
    }
    return scaleOne(amount, factor);
}

// Digits the line pattern stopped short of: a decimal comma ("1,5") or an exponent ("1e3").
// Scaling the digits before them would print a wrong number.
bool continuesTheNumber(std::string_view rest) {
    const auto digitAt = [&](std::size_t i) {
        return i < rest.size() && rest[i] >= '0' && rest[i] <= '9';
    };
    if (rest.starts_with(',')) {
        return digitAt(1);
    }
    if (rest.starts_with('e') || rest.starts_with('E')) {
        return digitAt(1) ||
               ((rest.size() > 1 && (rest[1] == '+' || rest[1] == '-')) && digitAt(2));
    }
    return false;
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string asciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

// `form` (lower case) written the way `written` was: "Cups" for "Cup", "CUPS" for "CUP".
std::string inCaseOf(std::string_view written, std::string form) {
    const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    const bool allUpper = written.size() > 1 && std::ranges::all_of(written, upper);
    for (std::size_t i = 0; i < form.size(); ++i) {
        if ((allUpper || (i == 0 && upper(written.front()))) && form[i] >= 'a' && form[i] <= 'z') {
            form[i] = static_cast<char>(form[i] - 'a' + 'A');
        }
    }
    return form;
}

std::string formFor(const std::string& name, const std::optional<std::string>& plural, bool many) {
    return many && plural && !plural->empty() ? *plural : name;
}

// Whether the ingredient word ending at `end` ends the name: "egg" in "1 egg, beaten" does,
// "egg" in "1 egg white" does not, and must stay as written.
bool endsTheName(const WordLists& lists, std::string_view rest, std::size_t end) {
    const std::size_t next = rest.find_first_not_of(" \t", end);
    if (next == std::string_view::npos || !isAsciiLetter(rest[next])) {
        return true;
    }
    std::size_t wordEnd = next;
    while (wordEnd < rest.size() && isAsciiLetter(rest[wordEnd])) {
        ++wordEnd;
    }
    // A word that begins a longer entry ("white" of "white or red") may still be a name word.
    constexpr std::uint32_t kNotNameWords = WordLists::kPreparations | WordLists::kAdjectives |
                                            WordLists::kPrepositions | WordLists::kConjunctions |
                                            WordLists::kTerminators | WordLists::kRanges;
    return lists.contains(kNotNameWords, asciiLower(rest.substr(next, wordEnd - next)));
}

// The unit word right after a scaled amount, or failing one the ingredient word (past a size
// word: "1 large egg"), in the singular or the plural the amount now asks for. Only words of
// the reference data change; anything else is the cook's and stays.
std::string fitWordToAmount(std::string_view rest, const RCRationalNumber& amount) {
    const IngredientParser& parser = IngredientParser::sharedParser();
    const bool many = amount.compare(RCRationalNumber(1)) > 0;
    std::size_t position = 0;
    for (int word = 0; word < 3; ++word) {
        position = rest.find_first_not_of(" \t", position);
        if (position == std::string_view::npos) {
            break;
        }
        std::size_t end = position;
        while (end < rest.size() && isAsciiLetter(rest[end])) {
            ++end;
        }
        if (end == position || (end < rest.size() && (rest[end] & 0x80) != 0)) {
            break;
        }
        const std::string_view written = rest.substr(position, end - position);
        const std::string lower = asciiLower(written);
        std::string form;
        if (const UnitRow* unit = parser.fetchUnit(lower)) {
            form = formFor(unit->name, unit->pluralized, many);
        } else if (parser.wordLists().contains(WordLists::kSizes, lower)) {
            position = end;
            continue;
        } else if (auto rows = parser.fetchIngredients(lower);
                   !rows.empty() && endsTheName(parser.wordLists(), rest, end)) {
            form = formFor(rows.front()->name, rows.front()->pluralized, many);
        }
        if (form.empty() || form == lower) {
            break;
        }
        return std::string(rest.substr(0, position)) + inCaseOf(written, form) +
               std::string(rest.substr(end));
    }
    return std::string(rest);
}

struct ScaledLine {
    std::string text;
    std::optional<AmountProblem> problem;
};

ScaledLine scaleLine(std::string_view line, const RCRationalNumber& factor) {
    const auto match = matchStart(linePattern(), line);
    const auto lower = match ? match->span(1) : std::nullopt;
    // A run of points ("... and more") is the cook's ellipsis, not an amount.
    if (!lower ||
        line.substr(lower->first, lower->second).find_first_not_of('.') == std::string_view::npos) {
        return {std::string(line), std::nullopt};
    }
    const auto kept = [&](AmountProblem problem) { return ScaledLine{std::string(line), problem}; };
    std::size_t end = lower->first + lower->second;
    if (continuesTheNumber(line.substr(end))) {
        return kept(AmountProblem::NotANumber);
    }
    auto first = scaleAmount(line.substr(lower->first, lower->second), factor);
    if (!first) {
        return kept(first.error());
    }
    std::string text = std::string(line.substr(0, lower->first)) + first->text;
    RCRationalNumber last = first->value;
    if (const auto upper = match->span(2)) {
        const std::size_t upperEnd = upper->first + upper->second;
        if (continuesTheNumber(line.substr(upperEnd))) {
            return kept(AmountProblem::NotANumber);
        }
        auto second = scaleAmount(line.substr(upper->first, upper->second), factor);
        if (!second) {
            return kept(second.error());
        }
        text += line.substr(end, upper->first - end);
        text += second->text;
        last = second->value;
        end = upperEnd;
    }
    return {text + fitWordToAmount(line.substr(end), last), std::nullopt};
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

RecipeScaler::ScaledIngredients RecipeScaler::scaleIngredientLines(std::string_view text,
                                                                   const RCRationalNumber& factor) {
    if (factor.isEqualToOne()) {
        return {std::string(text), {}};
    }
    ScaledIngredients result;
    std::size_t number = 0;
    for (const std::string& line : splitAtLineBreaks(text)) {
        if (number++ > 0) {
            result.text += '\n';
        }
        const std::string_view trimmed = trimCharacters(line, " \t");
        if (trimmed.empty() || trimmed.back() == ':') {
            result.text += trimmed;
            continue;
        }
        ScaledLine scaled = scaleLine(trimmed, factor);
        result.text += scaled.text;
        if (scaled.problem) {
            result.kept.push_back({number, *scaled.problem});
        }
    }
    return result;
}

std::optional<std::string> RecipeScaler::scaleIngredients(
    const std::optional<std::string>& text, const std::optional<RCRationalNumber>& factor) {
    if (!text || !factor) {
        return text;
    }
    return scaleIngredientLines(*text, *factor).text;
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
            const auto count = readWholeNumber(digits.value_or(""));
            const auto scaled = count ? RCRationalNumber(*count).multiply(*factor) : std::nullopt;
            if (span && scaled) {
                result.replace(span->first, span->second, scaled->mixedNumber());
            }
        }
    }
    return result + " (" + tr("Scaled") + ")";
}

std::string RecipeScaler::scaleQuantity(std::string_view amount, const RCRationalNumber& factor) {
    auto scaled = scaleOne(amount, factor);
    return scaled ? scaled->text : std::string(amount);
}

std::expected<RecipeScaler::Amount, AmountProblem> RecipeScaler::readAmount(std::string_view text) {
    const auto match = matchStart(quantityPattern(), text);
    const auto span = match ? match->span(0) : std::nullopt;
    // A whole number before a decimal ("1 2", "1 1.5") is two numbers; in a line the first is
    // passed over, a factor must not be.
    if (!span || span->second != text.size() || (match->group(1) && match->group(4))) {
        return std::unexpected(AmountProblem::NotANumber);
    }
    return amountOf(*match);
}

}  // namespace miravel
