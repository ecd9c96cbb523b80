// Ingredient lines come from users, imports, web pages and the sync service, so reading them
// must survive any bytes. The input is one or more lines.
// Checked: every token is typed and valid UTF-8; a range never stands without its lower end;
// the aisle is a known aisle; scaling by one returns the text unchanged, and scaling keeps the
// number of lines; merging two lines of the input as grocery rows gives valid UTF-8.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ingredients/IngredientParser.h"
#include "ingredients/RecipeScaler.h"
#include "lib/Utf8.h"

using namespace miravel;

namespace {

[[noreturn]] void fault(const char* what, std::string_view text) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

bool isValidUtf8(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t start = position;
        if (nextUtf8(text, position) == 0xFFFD && text.substr(start, 3) != "\xEF\xBF\xBD") {
            return false;
        }
    }
    return true;
}

void checkRecord(const IngredientInformation& information, std::string_view line) {
    if (information.quantityRange && !information.quantity) {
        fault("upper end without a lower end", line);
    }
    if (information.quantityRange && !information.range) {
        fault("upper end without a range word", line);
    }
    for (const auto& amount : {information.quantity, information.quantityRange}) {
        if (amount && amount->denominator() <= 0) {
            fault("denominator not positive", line);
        }
    }
}

std::size_t lineCount(std::string_view text) {
    std::size_t count = 1;
    for (char c : text) {
        count += c == '\n';
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const IngredientParser& parser = IngredientParser::sharedParser();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const IngredientToken& token : parser.tokenizeString(text)) {
        if (token.type < 0 || token.type > 15) {
            fault("token type out of range", text);
        }
        if (!isValidUtf8(token.value)) {
            fault("token is not UTF-8", text);
        }
    }
    checkRecord(parser.extractIngredientInformation(text), text);

    std::optional<std::string> ingredient;
    const std::string aisle = parser.getAisle(text, &ingredient);
    bool known = false;
    for (const std::string& name : parser.aisles()) {
        known = known || name == aisle;
    }
    if (!known) {
        fault("aisle outside the presets", text);
    }

    const auto one = RCRationalNumber::valueWithNumerator(1, 1);
    if (RecipeScaler::scaleIngredients(std::string(text), one) != std::string(text)) {
        fault("scaling by one changed the text", text);
    }
    const auto half = RCRationalNumber::valueWithNumerator(1, 2);
    auto scaled = RecipeScaler::scaleIngredients(std::string(text), half);
    if (text.find_first_of("\r\v\f") == std::string_view::npos &&
        text.find("\xE2\x80\xA8") == std::string_view::npos &&
        text.find("\xE2\x80\xA9") == std::string_view::npos &&
        text.find("\xC2\x85") == std::string_view::npos &&
        (!scaled || lineCount(*scaled) != lineCount(text))) {
        fault("scaling changed the number of lines", text);
    }
    (void)RecipeScaler::scaleServings(std::string(text), half);

    // The first line as a grocery row, the rest as the line offered to it (or the line
    // offered to itself).
    const std::size_t newline = text.find('\n');
    const std::string_view row = text.substr(0, newline);
    const std::string_view line =
        newline == std::string_view::npos ? text : text.substr(newline + 1);
    std::optional<std::string> lineIngredient;
    (void)parser.getAisle(line, &lineIngredient);
    if (lineIngredient) {
        auto merged = parser.consolidateItems(row, line, *lineIngredient);
        if (merged && !isValidUtf8(*merged)) {
            fault("merged row is not UTF-8", text);
        }
    }
    return 0;
}
