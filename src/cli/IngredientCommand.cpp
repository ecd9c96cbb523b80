#include <unistd.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/JsonValue.h"
#include "lib/JsonWriter.h"

namespace miravel::cli {

namespace {

std::string orNull(const std::optional<std::string>& text) {
    return text.value_or("null");
}

std::string orNull(const std::optional<RCRationalNumber>& amount, AmountNotation notation) {
    return amount ? printAmount(*amount, notation) : "null";
}

JsonValue jsonText(const std::optional<std::string>& text) {
    return text ? JsonValue(*text) : JsonValue();
}

JsonValue jsonNumber(const std::optional<RCRationalNumber>& amount) {
    return amount ? JsonValue(amount->number()) : JsonValue();
}

void describe(std::ostream& out, const IngredientParser& parser, const std::string& line) {
    IngredientInformation information = parser.extractIngredientInformation(line);
    std::optional<std::string> ingredient;
    std::string aisle = parser.getAisle(line, &ingredient);
    out << "line:          " << line << "\n"
        << "quantity:      " << orNull(information.quantity, information.notation) << "\n"
        << "range:         " << orNull(information.range) << "\n"
        << "quantityRange: " << orNull(information.quantityRange, information.notation) << "\n"
        << "unit:          " << orNull(information.unit) << "\n"
        << "size:          " << orNull(information.size) << "\n"
        << "color:         " << orNull(information.color) << "\n"
        << "ingredient:    " << orNull(ingredient) << "\n"
        << "aisle:         " << aisle << "\n";
}

// One JSON object per input line, so that any evaluation script can read the results.
void describeAsJson(std::ostream& out, const IngredientParser& parser, const std::string& line) {
    IngredientInformation information = parser.extractIngredientInformation(line);
    std::optional<std::string> ingredient;
    std::string aisle = parser.getAisle(line, &ingredient);
    JsonObject record;
    record.set("quantity", jsonNumber(information.quantity));
    record.set("quantityRange", jsonNumber(information.quantityRange));
    record.set("range", jsonText(information.range));
    record.set("unit", jsonText(information.unit));
    record.set("size", jsonText(information.size));
    record.set("color", jsonText(information.color));
    record.set("ingredient", jsonText(ingredient));
    record.set("aisle", JsonValue(aisle));
    out << JsonWriter::write(JsonValue(std::move(record))) << "\n";
}

int ingredient(Invocation& invocation) {
    const IngredientParser& parser = IngredientParser::sharedParser();
    if (auto installed = parser.checkReferenceStore(); !installed) {
        return invocation.failure(installed.error().description);
    }
    if (!invocation.has("jsonl")) {
        if (invocation.arguments.empty()) {
            return invocation.usageError("give one or more ingredient lines, or --jsonl FILE");
        }
        bool first = true;
        for (const std::string& line : invocation.arguments) {
            if (!first) {
                invocation.out << "\n";
            }
            first = false;
            describe(invocation.out, parser, line);
        }
        return kExitOk;
    }
    if (invocation.arguments.size() > 1) {
        return invocation.usageError("--jsonl reads one file (or - for standard input)");
    }
    const bool fromInput = invocation.arguments.empty() || invocation.arguments.front() == "-";
    const auto read = fromInput ? readFileDescriptor(STDIN_FILENO, "standard input")
                                : readFile(invocation.arguments.front());
    if (!read) {
        return invocation.failure(read.error().description);
    }
    std::string_view rest = *read;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        describeAsJson(invocation.out, parser, std::string(line));
    }
    return kExitOk;
}

}  // namespace

void addIngredientVerbs(CommandLine& commandLine) {
    commandLine.add(
        {"",
         "ingredient",
         "LINE... | --jsonl [FILE|-]",
         "Read ingredient lines: amount, range, unit, size, colour, ingredient and aisle.",
         {{"jsonl", "", "read one line per input line and write one JSON object per line"}},
         0,
         std::numeric_limits<std::size_t>::max(),
         ingredient});
}

}  // namespace miravel::cli
