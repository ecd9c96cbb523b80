#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"

namespace miravel::cli {

namespace {

std::optional<std::int32_t> plainNumber(std::string_view text) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        text.front() == '-') {
        return std::nullopt;
    }
    return value;
}

int scale(Invocation& invocation) {
    const auto byText = invocation.option("by");
    if (!byText) {
        return invocation.usageError(
            "say how much to scale by (--by 3/2, --by 2, --by \"1 1/2\").");
    }
    const auto factor = parseScaleFactor(*byText);
    if (!factor) {
        const std::string wanted = "a factor greater than zero such as 3/2, 2 or \"1 1/2\"";
        return invocation.usageError("--by takes " + wanted + ", not \"" + *byText + "\".");
    }
    const bool fromInput = invocation.arguments.empty() || invocation.arguments[0] == "-";
    auto read = fromInput ? readFileDescriptor(STDIN_FILENO, "standard input")
                          : readFile(invocation.arguments[0]);
    if (!read) {
        return invocation.failure(read.error().description);
    }
    std::string text = std::move(*read);
    // The final line ending belongs to the file, not to the list: kept, it would come back
    // as an empty last line followed by the newline written below.
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    } else if (text.ends_with('\n')) {
        text.pop_back();
    }
    invocation.out << RecipeScaler::scaleIngredients(text, factor).value_or("") << "\n";
    return kExitOk;
}

}  // namespace

std::optional<RCRationalNumber> parseScaleFactor(std::string_view text) {
    std::int32_t whole = 0;
    std::string_view fraction = text;
    if (const auto space = text.find(' '); space != std::string_view::npos) {
        const auto number = plainNumber(text.substr(0, space));
        fraction = text.substr(space + 1);
        fraction.remove_prefix(std::min(fraction.find_first_not_of(' '), fraction.size()));
        // "1 1/2"; a whole number needs a fraction after it ("1 2" is no factor).
        if (!number || fraction.find('/') == std::string_view::npos) {
            return std::nullopt;
        }
        whole = *number;
    }
    std::optional<RCRationalNumber> value;
    if (const auto slash = fraction.find('/'); slash != std::string_view::npos) {
        const auto numerator = plainNumber(fraction.substr(0, slash));
        const auto denominator = plainNumber(fraction.substr(slash + 1));
        if (numerator && denominator) {
            value = RCRationalNumber::valueWithWholeNumber(whole, *numerator, *denominator);
        }
    } else if (const auto number = plainNumber(fraction)) {
        value = RCRationalNumber(*number);
    }
    if (!value || value->numerator() <= 0) {
        return std::nullopt;
    }
    return value;
}

void addScaleVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "scale",
                     "[FILE|-]",
                     "Scale ingredient lines (from FILE, or standard input) by a factor.",
                     {{"by", "FACTOR", "3/2, 2 or \"1 1/2\" (required)"}},
                     0,
                     1,
                     scale});
}

}  // namespace miravel::cli
