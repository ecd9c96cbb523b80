#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <iostream>
#include <iterator>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"
#include "lib/Log.h"

namespace miravel::cli {

namespace {

int scale(Invocation& invocation) {
    if (!invocation.has("by")) {
        return invocation.usageError(
            "say how much to scale by (--by 3/2, --by 2, --by \"1 1/2\").");
    }
    const auto factor = scaleFactorOption(invocation, "by");
    if (!factor) {
        return factor.error();
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
    const auto scaled = RecipeScaler::scaleIngredientLines(text, **factor);
    invocation.out << scaled.text << "\n";
    for (const auto& kept : scaled.kept) {
        invocation.failure(fmt::format("line {} kept unscaled: {}.", kept.line,
                                       describeAmountProblem(kept.problem)));
    }
    return scaled.kept.empty() ? kExitOk : kExitFailure;
}

}  // namespace

std::expected<RCRationalNumber, std::string> parseScaleFactor(std::string_view text) {
    // "1 1/2" may be typed with several spaces.
    std::string squeezed(text);
    while (squeezed.find("  ") != std::string::npos) {
        squeezed.erase(squeezed.find("  "), 1);
    }
    const auto amount = RecipeScaler::readAmount(squeezed);
    if (!amount) {
        switch (amount.error()) {
            case AmountProblem::TooLarge:
                return std::unexpected("is too large");
            case AmountProblem::TooPrecise:
                return std::unexpected("has too many decimal places");
            default:
                break;
        }
    } else if (amount->value.numerator() > 0) {
        return amount->value;
    }
    return std::unexpected("is not a factor greater than zero such as 3/2, 2, 1.5 or \"1 1/2\"");
}

std::expected<std::optional<RCRationalNumber>, int> scaleFactorOption(const Invocation& invocation,
                                                                      const std::string& option) {
    const auto text = invocation.option(option);
    if (!text) {
        return std::nullopt;
    }
    auto factor = parseScaleFactor(*text);
    if (!factor) {
        return std::unexpected(
            invocation.usageError("--" + option + " \"" + *text + "\" " + factor.error() + "."));
    }
    return *factor;
}

void addScaleVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "scale",
                     "[FILE|-]",
                     "Scale ingredient lines (from FILE, or standard input) by a factor.",
                     {{"by", "FACTOR", "3/2, 2, 1.5 or \"1 1/2\" (required)"}},
                     0,
                     1,
                     scale});
}

}  // namespace miravel::cli
