#include "ingredients/IngredientParser.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <limits>
#include <ranges>

#include "ingredients/AmountText.h"
#include "ingredients/TokenScanner.h"
#include "ingredients/VulgarFraction.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/Log.h"
#include "lib/ResourceFolder.h"
#include "lib/TextPieces.h"
#include "lib/Utf8.h"

namespace miravel {

namespace {

constexpr const char* kReferenceStoreFileName = "Ingredients.sqlite";

enum CharacterClass : int {
    kNoClass = 0,
    kDigitClass = 1,
    kLetterClass = 2,
    kSpaceClass = 3,
    kPunctuationClass = 4,
    kFractionClass = 5,
    kDashClass = 6,
    kOtherClass = 7,
};

constexpr char32_t kEnDash = 0x2013;

bool isDigitCharacter(char32_t c) {
    if (c < 0x80) {
        return c >= '0' && c <= '9';
    }
    return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

// Letters and marks: a combining accent belongs to the word it sits on.
bool isAlphaCharacter(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    const std::uint32_t mask = U_GC_L_MASK | U_GC_M_MASK;
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & mask) != 0;
}

bool isSpaceCharacter(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85) {
        return true;
    }
    return c >= 0x80 && (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_Z_MASK) != 0;
}

// Text outside the Basic Multilingual Plane is two UTF-16 halves, neither of which is a
// digit, letter or space: the whole character is of the "other" class.
bool isSupplementary(char32_t c) {
    return c > 0xFFFF;
}

template <typename Test>
bool everyCharacter(std::string_view text, Test test) {
    if (text.empty()) {
        return false;
    }
    std::size_t position = 0;
    while (position < text.size()) {
        char32_t c = nextUtf8(text, position);
        if (isSupplementary(c) || !test(c)) {
            return false;
        }
    }
    return true;
}

void lowerInPlace(std::string& text, bool ascii) {
    if (ascii) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return;
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    unicode.toLower(icu::Locale::getRoot());
    text.clear();
    unicode.toUTF8String(text);
}

// A decimal text ("1.5", ".25") as an exact amount; one it cannot hold exactly is none.
std::optional<RCRationalNumber> decimalAmount(std::string_view text) {
    auto value = readDecimal(text);
    return value ? std::optional(*value) : std::nullopt;
}

// A number token's count; none when it is beyond 32 bits (or a fraction character), never a
// clipped 2147483647 that the line does not say.
std::optional<RCRationalNumber> countOf(std::string_view digits) {
    auto value = readWholeNumber(digits);
    return value ? std::optional(RCRationalNumber(*value)) : std::nullopt;
}

std::optional<RCRationalNumber> fractionOf(std::string_view numerator, std::string_view denominator,
                                           std::optional<std::string_view> whole = std::nullopt) {
    auto w = readWholeNumber(whole.value_or("0"));
    auto n = readWholeNumber(numerator);
    auto d = readWholeNumber(denominator);
    if (!w || !n || !d || *d == 0) {
        return std::nullopt;
    }
    return RCRationalNumber::valueWithWholeNumber(*w, *n, *d);
}

bool isLoneDash(const std::string& buffer) {
    return buffer == "-" || buffer == "\u2013";
}

using Scanner = BasicTokenScanner<IngredientParser::ScannedToken>;

// Joins the following tokens onto a multi-word key ("finely" "chopped"); returns whether
// anything was merged into `merged`.
bool mergeMultiWord(const WordLists& lists, Scanner& scanner, const std::string& value,
                    std::string& merged) {
    const auto* sequences = lists.multiWordSequences(value);
    if (sequences == nullptr) {
        return false;
    }
    bool didMerge = false;
    for (const std::vector<std::string>& sequence : *sequences) {
        if (scanner.matchSuffix(sequence)) {
            scanner.skip(sequence.size());
            if (!didMerge) {
                merged = value;
                didMerge = true;
            }
            for (const std::string& word : sequence) {
                merged += ' ';
                merged += word;
            }
        }
    }
    return didMerge;
}

// The steps every rule loop over a line shares: take the next token, pass over what stands
// in parentheses (package sizes, remarks; the closing parenthesis itself goes on), and join
// multi-word entries, whose lists are then those of the joined words.
class RuleLoop {
public:
    RuleLoop(const WordLists& lists, std::span<const IngredientParser::ScannedToken> tokens)
        : m_lists(lists), m_scanner(tokens) {}

    // Moves to the next token outside parentheses; false at the end of the line.
    bool next() {
        while (m_scanner.hasTokens()) {
            m_token = m_scanner.next();
            if (m_token->type == kTokenPunctuation) {
                if (m_token->value == "(") {
                    m_inParentheses = true;
                } else if (m_token->value == ")") {
                    m_inParentheses = false;
                }
            }
            if (m_inParentheses) {
                continue;
            }
            m_value = &m_token->value;
            m_valueLists = m_token->lists;
            if ((m_valueLists & WordLists::kMultiWordKey) &&
                mergeMultiWord(m_lists, m_scanner, m_token->value, m_merged)) {
                m_value = &m_merged;
                m_valueLists = m_lists.lists(m_merged);
            }
            return true;
        }
        return false;
    }

    // The token's own type, also when words were joined onto it.
    std::int32_t type() const { return m_token->type; }
    const std::string& value() const { return *m_value; }
    std::uint32_t lists() const { return m_valueLists; }
    Scanner& scanner() { return m_scanner; }

private:
    const WordLists& m_lists;
    Scanner m_scanner;
    const IngredientParser::ScannedToken* m_token = nullptr;
    const std::string* m_value = nullptr;
    std::uint32_t m_valueLists = 0;
    bool m_inParentheses = false;
    std::string m_merged;
};

struct AmountRead {
    bool matched = false;  // a form applied (its amount may still be unusable)
    std::optional<RCRationalNumber> amount;
    AmountNotation notation = AmountNotation::Whole;
};

bool typesAhead(const Scanner& scanner, std::initializer_list<std::int32_t> types) {
    std::ptrdiff_t n = 0;
    for (std::int32_t expected : types) {
        if (scanner.typeAt(n++) != expected) {
            return false;
        }
    }
    return true;
}

// The amount that starts at a number token `value`, by the shape of the tokens after it;
// the tokens that belong to the amount are consumed.
AmountRead readNumber(const WordLists& lists, Scanner& scanner, const std::string& value,
                      std::uint32_t valueLists) {
    const auto valueAt = [&](std::ptrdiff_t n) { return std::string_view(*scanner.valueAt(n)); };
    const std::int32_t next = scanner.typeAt(0);
    const bool isFraction = (valueLists & WordLists::kFractions) != 0;
    if (next == kTokenNumber && !isFraction && lists.contains(WordLists::kFractions, valueAt(0))) {
        // "1½" and "1 ½" are one and a half; dropping the whole number would read a third
        // of the amount.
        auto fraction = IngredientParser::convertFraction(valueAt(0));
        auto count = countOf(value);
        scanner.skip(1);
        return {true, fraction && count ? fraction->add(*count) : std::nullopt,
                AmountNotation::Fraction};
    }
    if (next != kTokenNumber && next != kTokenPeriod && next != kTokenSlash) {
        if (isFraction) {
            return {true, IngredientParser::convertFraction(value), AmountNotation::Fraction};
        }
        return {true, countOf(value)};
    }
    if (typesAhead(scanner, {kTokenSlash, kTokenNumber})) {
        auto amount = fractionOf(value, valueAt(1));
        scanner.skip(2);
        return {true, amount, AmountNotation::Fraction};
    }
    if (typesAhead(scanner, {kTokenNumber, kTokenSlash, kTokenNumber})) {
        auto amount = fractionOf(valueAt(0), valueAt(2), value);
        scanner.skip(3);
        return {true, amount, AmountNotation::Fraction};
    }
    if (typesAhead(scanner, {kTokenPeriod, kTokenNumber})) {
        auto amount = decimalAmount(value + "." + *scanner.valueAt(1));
        scanner.skip(2);
        return {true, amount, AmountNotation::Decimal};
    }
    // A count followed by the size of each: "2 14.5-ounce cans", "1 6 1/2-ounce can",
    // "2 28-ounce cans", "1 10-pound watermelon", "2 16 oz. cans". The size is consumed, so
    // the next token read is the container or the name.
    if (typesAhead(scanner, {kTokenNumber, kTokenPeriod, kTokenNumber, kTokenDash, kTokenUnit,
                             kTokenUnit})) {
        scanner.skip(5);
        return {true, countOf(value)};
    }
    if (typesAhead(scanner, {kTokenNumber, kTokenNumber, kTokenSlash, kTokenNumber, kTokenDash,
                             kTokenUnit})) {
        scanner.skip(6);
        return {true, countOf(value)};
    }
    if (typesAhead(scanner, {kTokenNumber, kTokenDash, kTokenUnit}) ||
        typesAhead(scanner, {kTokenNumber, kTokenUnit, kTokenPeriod, kTokenUnit})) {
        scanner.skip(3);
        return {true, countOf(value)};
    }
    return {};
}

// The aisle that a unit, adjective, preparation or word of the line imposes on a recognised
// ingredient, whatever the reference row says.
std::optional<std::string> overrideAisle(std::span<const IngredientParser::ScannedToken> used) {
    for (const auto& token : used) {
        const std::string& v = token.value;
        switch (token.type) {
            case kTokenUnit:
                if (v == "can" || v == "cans") {
                    return "Canned and Jar Goods";
                }
                if (v == "sprig" || v == "sprigs") {
                    return "Produce";
                }
                break;
            case kTokenAdjective:
                if (v == "frozen") {
                    return "Frozen Foods";
                }
                break;
            case kTokenWord:
                if (v == "pasta") {
                    return "Pasta, Rice and Beans";
                }
                if (v == "deli") {
                    return "Deli";
                }
                break;
            case kTokenPreparation:
                if (v == "canned") {
                    return "Canned and Jar Goods";
                }
                break;
            default:
                break;
        }
    }
    return std::nullopt;
}

}  // namespace

const IngredientParser& IngredientParser::sharedParser() {
    static const IngredientParser* parser =
        new IngredientParser(WordLists::fromResources(), UnitConverter::fromResources());
    return *parser;
}

IngredientParser::IngredientParser(WordLists lists, UnitConverter converter)
    : IngredientParser(std::move(lists), nullptr, std::move(converter)) {
    m_opensSharedStore = true;
}

IngredientParser::IngredientParser(WordLists lists,
                                   std::shared_ptr<const IngredientReferenceStore> store,
                                   UnitConverter converter)
    : m_lists(std::move(lists)),
      m_store(std::move(store)),
      m_converter(std::move(converter)),
      m_aisles(LocalizedSettingsManager::sharedManager().aisleNames().keys()) {
    for (char32_t c = 0; c < 0x80; ++c) {
        m_asciiClasses[c] = static_cast<std::uint8_t>(characterClass(c));
    }
}

Result<void> IngredientParser::checkReferenceStore() const {
    (void)store();
    if (m_storeError) {
        return std::unexpected(*m_storeError);
    }
    return {};
}

const IngredientReferenceStore& IngredientParser::store() const {
    if (m_opensSharedStore) {
        std::call_once(m_storeOpened, [this] {
            auto path = resourcePath(kReferenceStoreFileName);
            auto store = path ? IngredientReferenceStore::open(*path)
                              : Result<std::shared_ptr<const IngredientReferenceStore>>(
                                    std::unexpected(path.error()));
            if (!store) {
                logUnresolvedError(store.error());
                m_storeError = store.error();
                return;
            }
            m_store = std::move(*store);
        });
    }
    static const IngredientReferenceStore kEmpty({}, {});
    return m_store ? *m_store : kEmpty;
}

int IngredientParser::characterClass(char32_t c) const {
    if (isSupplementary(c)) {
        return kOtherClass;
    }
    if (isDigitCharacter(c)) {
        return kDigitClass;
    }
    if (m_lists.isFractionCharacter(c)) {
        return kFractionClass;
    }
    if (isAlphaCharacter(c)) {
        return kLetterClass;
    }
    if (isSpaceCharacter(c)) {
        return kSpaceClass;
    }
    if (m_lists.isPunctuationCharacter(c)) {
        return kPunctuationClass;
    }
    if (c == '-' || c == kEnDash) {
        return kDashClass;
    }
    return kOtherClass;
}

IngredientToken IngredientParser::generateToken(std::string_view group, int characterClass) const {
    bool ascii = std::ranges::all_of(group, [](char c) { return (c & 0x80) == 0; });
    std::string value(group);
    if (ascii) {
        lowerInPlace(value, true);
    }
    ScannedToken token = scanToken(std::move(value), characterClass, ascii);
    return IngredientToken{token.type, std::move(token.value)};
}

// `value` is already lower case when it is ASCII.
IngredientParser::ScannedToken IngredientParser::scanToken(std::string value, int characterClass,
                                                           bool ascii) const {
    if (!ascii) {
        lowerInPlace(value, false);
    }
    std::uint32_t lists = m_lists.lists(value);
    std::int32_t type = kTokenNone;
    switch (characterClass) {
        case kDigitClass:
        case kFractionClass:
            type = kTokenNumber;
            break;
        case kLetterClass: {
            // The first list that holds the word decides its type.
            static constexpr std::pair<WordLists::List, IngredientTokenType> kOrder[] = {
                {WordLists::kUnits, kTokenUnit},
                {WordLists::kPreparations, kTokenPreparation},
                {WordLists::kAdjectives, kTokenAdjective},
                {WordLists::kSizes, kTokenSize},
                {WordLists::kPrepositions, kTokenPreposition},
                {WordLists::kConjunctions, kTokenConjunction},
                {WordLists::kRanges, kTokenRange},
                {WordLists::kNumerics, kTokenNumeric},
                {WordLists::kColors, kTokenColor},
            };
            type = kTokenWord;
            for (const auto& [list, listType] : kOrder) {
                if (lists & list) {
                    type = listType;
                    break;
                }
            }
            break;
        }
        case kPunctuationClass:
            if (value == ".") {
                type = kTokenPeriod;
            } else if (value == "/" || value == "\u2044") {
                type = kTokenSlash;
            } else if (lists & WordLists::kConjunctions) {
                type = kTokenConjunction;
            } else {
                type = kTokenPunctuation;
            }
            break;
        case kDashClass:
            type = kTokenDash;
            break;
        default:
            break;
    }
    ScannedToken token;
    token.type = type;
    token.value = std::move(value);
    token.lists = lists;
    return token;
}

void IngredientParser::tokenize(std::string_view line, std::vector<ScannedToken>& tokens) const {
    tokens.clear();
    std::string buffer;
    bool bufferIsAscii = true;
    int previous = kNoClass;
    auto emit = [&](int characterClass) {
        tokens.push_back(scanToken(std::move(buffer), characterClass, bufferIsAscii));
        buffer.clear();  // moved from: make it empty again
        bufferIsAscii = true;
    };
    // ASCII is lower-cased as it is collected; only groups with other letters need ICU.
    auto append = [&](char32_t c) {
        if (c < 0x80) {
            buffer.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        } else {
            appendUtf8(buffer, c);
            bufferIsAscii = false;
        }
    };
    std::size_t position = 0;
    while (position < line.size()) {
        char32_t c = nextUtf8(line, position);
        int current = c < 0x80 ? m_asciiClasses[c] : characterClass(c);
        if (current == kPunctuationClass && previous == kPunctuationClass) {
            emit(previous);  // every punctuation character is a token of its own
        }
        if (current == kDashClass) {
            // A dash after a number ends it ("1-2"); after letters it stays in the word
            // ("all-purpose").
            if (previous == kDigitClass || previous == kFractionClass) {
                emit(previous);
            }
            append(c);
            previous = kDashClass;
            continue;
        }
        if (previous == kNoClass || previous == kSpaceClass || previous == kDashClass ||
            current == previous) {
            if (isLoneDash(buffer)) {
                emit(previous);
            }
        } else {
            emit(previous);
        }
        if (current != kSpaceClass) {
            append(c);
        }
        previous = current;
    }
    emit(previous);
}

std::vector<IngredientToken> IngredientParser::tokenizeString(std::string_view line) const {
    std::vector<ScannedToken> scanned;
    tokenize(line, scanned);
    std::vector<IngredientToken> tokens;
    tokens.reserve(scanned.size());
    for (ScannedToken& token : scanned) {
        tokens.push_back(IngredientToken{token.type, std::move(token.value)});
    }
    return tokens;
}

IngredientInformation IngredientParser::extractIngredientInformation(std::string_view line) const {
    thread_local std::vector<ScannedToken> tokens;
    tokenize(line, tokens);
    RuleLoop loop(m_lists, tokens);
    Scanner& scanner = loop.scanner();
    IngredientInformation information;
    bool inRange = false;
    bool sawNameWord = false;
    // Set once an amount has been followed by its unit. The first measure of a line is its
    // measure: "1 1/2 cups, plus 2 teaspoons" is not two teaspoons, and in "2 teaspoons/10
    // milliliters" the alternative must not replace the amount and leave it half-changed.
    bool measured = false;
    AmountNotation quantityNotation = AmountNotation::Whole;
    AmountNotation rangeNotation = AmountNotation::Whole;
    auto store = [&](std::optional<RCRationalNumber> amount, AmountNotation notation) {
        if (!amount || measured) {
            return;
        }
        if (!information.quantity || !inRange) {
            information.quantity = amount;
            quantityNotation = notation;
        } else {
            information.quantityRange = amount;
            rangeNotation = notation;
        }
    };
    while (loop.next()) {
        const std::int32_t type = loop.type();
        const std::string* value = &loop.value();
        const std::uint32_t lists = loop.lists();
        if ((lists & WordLists::kTerminators) && sawNameWord) {
            break;
        }
        if (lists & (WordLists::kAdjectives | WordLists::kPreparations)) {
            continue;
        }
        if (lists & WordLists::kSizes) {
            if (!measured || !information.size) {  // not the alternative's size
                information.size = *value;
            }
            continue;
        }
        if (type == kTokenNumber) {
            const bool hadQuantity = information.quantity.has_value();
            AmountRead read = readNumber(m_lists, scanner, *value, lists);
            if (read.matched) {
                if (hadQuantity && !inRange && scanner.typeAt(0) == kTokenDash &&
                    scanner.typeAt(1) == kTokenUnit) {
                    // "One 14-ounce box": the size of each, not the amount.
                    scanner.skip(2);
                } else {
                    store(read.amount, read.notation);
                }
            }
            continue;
        }
        if (type == kTokenPeriod && scanner.typeAt(0) == kTokenNumber) {
            auto amount = decimalAmount("." + *scanner.valueAt(0));
            scanner.skip(1);
            store(amount, AmountNotation::Decimal);
            continue;
        }
        switch (type) {
            case kTokenUnit:
                if (!measured) {
                    information.unit = *value;
                    measured = information.quantity.has_value();
                }
                break;
            case kTokenConjunction:
                // "1 or 2 cloves" is a range; "1 small or 1/2 medium onion" names an
                // alternative, and the first amount stands.
                if (information.quantity &&
                    (scanner.typeAt(-2) != kTokenNumber || scanner.typeAt(0) != kTokenNumber)) {
                    measured = true;
                    break;
                }
                [[fallthrough]];
            case kTokenDash:
                if (scanner.typeAt(-2) != kTokenNumber || scanner.typeAt(0) != kTokenNumber) {
                    break;
                }
                [[fallthrough]];
            case kTokenRange:
                if (information.quantity && !information.quantityRange) {
                    information.range = *value;
                    inRange = true;
                }
                break;
            case kTokenNumeric:
                if (!information.quantity && !information.quantityRange) {
                    if (auto amount = convertNumeric(*value)) {
                        // "half" and "quarter" are fractions, "one" and "dozen" whole numbers.
                        store(amount, amount->denominator() == 1 ? AmountNotation::Whole
                                                                 : AmountNotation::Fraction);
                    }
                }
                break;
            case kTokenColor:
                information.color = *value;
                break;
            case kTokenWord:
                sawNameWord = true;
                break;
            default:
                break;
        }
    }
    information.notation = combinedNotation(quantityNotation, rangeNotation);
    return information;
}

std::string IngredientParser::getAisle(std::string_view text,
                                       std::optional<std::string>* ingredient) const {
    thread_local std::vector<ScannedToken> tokens;
    tokenize(text, tokens);
    RuleLoop loop(m_lists, tokens);
    Scanner& scanner = loop.scanner();
    std::vector<std::string> candidates;
    std::vector<std::string> nameWords;
    while (loop.next()) {
        const std::int32_t type = loop.type();
        const std::string* value = &loop.value();
        const std::uint32_t lists = loop.lists();
        if (lists & WordLists::kPhrases) {
            candidates.push_back(*value);
            break;
        }
        if (type == kTokenPreposition) {
            continue;
        }
        if ((lists & WordLists::kTerminators) && (!nameWords.empty() || !candidates.empty())) {
            break;
        }
        if (lists & (WordLists::kAdjectives | WordLists::kPreparations | WordLists::kSizes)) {
            continue;
        }
        if (type == kTokenConjunction) {
            // An empty name ("and" first) cannot be looked up and would name nothing.
            if (!nameWords.empty()) {
                candidates.push_back(joined(nameWords, " "));
            }
        } else if (type == kTokenWord) {
            nameWords.push_back(*value);
        }
    }
    if (!nameWords.empty()) {
        candidates.push_back(joined(nameWords, " "));
    }
    if (candidates.empty()) {
        // "3 whole cloves", "a few sprigs": no name word is left, but the unit word may itself
        // be something sold (cloves, sprigs of a herb are not). Only a known name is taken.
        for (const auto& token : std::views::reverse(scanner.usedTokens())) {
            if (token.type == kTokenUnit && !fetchIngredients(token.value).empty()) {
                candidates.push_back(token.value);
                break;
            }
        }
    }

    for (const std::string& candidate : candidates) {
        auto rows = fetchIngredients(candidate);
        if (!rows.empty()) {
            if (ingredient != nullptr) {
                *ingredient = rows.front()->name;
            }
            if (auto aisle = overrideAisle(scanner.usedTokens())) {
                return *aisle;
            }
            return rows.front()->aisle;
        }
    }
    if (ingredient != nullptr) {
        *ingredient = candidates.empty() ? std::nullopt : std::optional(candidates.front());
    }
    return kMiscellaneousAisle;
}

std::optional<RCRationalNumber> IngredientParser::convertNumeric(std::string_view word) {
    static constexpr std::string_view kDigits[] = {"one", "two",   "three", "four", "five",
                                                   "six", "seven", "eight", "nine", "ten"};
    static constexpr std::string_view kDoubleDigits[] = {"eleven",    "twelve",   "thirteen",
                                                         "fourteen",  "fifteen",  "sixteen",
                                                         "seventeen", "eighteen", "nineteen"};
    std::string lower(word);
    lowerInPlace(lower, std::ranges::all_of(lower, [](char c) { return (c & 0x80) == 0; }));
    for (std::size_t i = 0; i < std::size(kDigits); ++i) {
        if (lower == kDigits[i]) {
            return RCRationalNumber(static_cast<std::int32_t>(i + 1));
        }
    }
    for (std::size_t i = 0; i < std::size(kDoubleDigits); ++i) {
        if (lower == kDoubleDigits[i]) {
            return RCRationalNumber(static_cast<std::int32_t>(i + 11));
        }
    }
    if (lower == "half" || lower == "halves" || lower == "one-half") {
        return RCRationalNumber::valueWithNumerator(1, 2);
    }
    if (lower == "quarter" || lower == "one-quarter" || lower == "quarters") {
        return RCRationalNumber::valueWithNumerator(1, 4);
    }
    if (lower == "a" || lower == "an" || lower == "single") {
        return RCRationalNumber(1);
    }
    if (lower == "dozen" || lower == "a dozen") {
        return RCRationalNumber(12);
    }
    if (lower == "two dozen") {
        return RCRationalNumber(24);
    }
    return std::nullopt;
}

std::optional<RCRationalNumber> IngredientParser::convertFraction(std::string_view character) {
    return vulgarFractionValue(character);
}

std::string IngredientParser::printFraction(const RCRationalNumber& amount) {
    return printAmount(amount, AmountNotation::Fraction);
}

bool IngredientParser::isDigit(std::string_view text) {
    return everyCharacter(text, isDigitCharacter);
}
bool IngredientParser::isAlpha(std::string_view text) {
    return everyCharacter(text, isAlphaCharacter);
}
bool IngredientParser::isSpace(std::string_view text) {
    return everyCharacter(text, isSpaceCharacter);
}

std::span<const IngredientRow* const> IngredientParser::fetchIngredients(
    std::string_view word) const {
    return store().fetchIngredients(word);
}

const UnitRow* IngredientParser::fetchUnit(std::string_view word) const {
    return store().fetchUnit(word);
}

}  // namespace miravel
