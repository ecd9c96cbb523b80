// Scores the ingredient parser against hand-labelled ingredient lines, and times it on a file of
// lines so that it can be compared with a peer parser on exactly the same input.
//
//   evaluate_ingredients [CORPUS_DIR] [--misses N] [--top-unknown N]
//   evaluate_ingredients --lines CSV_FILE   the input column, one line per row, to stdout
//   evaluate_ingredients --speed LINES_FILE lines per second of the parser over the file
//
// The labelled files are third-party data read in place; a missing corpus is not an error, so
// the tool can run anywhere the build does.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "LabelledLines.h"
#include "ingredients/IngredientParser.h"

namespace {

using miravel::IngredientInformation;
using miravel::IngredientParser;
namespace fs = std::filesystem;
using miravel::bench::cleanInput;
using miravel::bench::CsvRow;
using miravel::bench::readCsv;
using miravel::bench::readFile;
using miravel::bench::Table;

// ---- text helpers ---------------------------------------------------------------------------

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> splitSpaces(std::string_view text) {
    std::vector<std::string> words;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The forms a plural English name may come from; the labels mix singular and plural freely,
// so two names match when their forms meet. Only the last word inflects ("bay leaves").
std::vector<std::string> singularForms(std::string_view phrase) {
    std::string text = lowerTrimmed(phrase);
    std::size_t space = text.rfind(' ');
    std::string head = space == std::string::npos ? "" : text.substr(0, space + 1);
    std::string word = space == std::string::npos ? text : text.substr(space + 1);
    std::vector<std::string> forms{text};
    auto add = [&](std::size_t drop, std::string_view suffix) {
        forms.push_back(head + word.substr(0, word.size() - drop) + std::string(suffix));
    };
    if (word.size() < 3 || word.ends_with("ss") || word.ends_with("us") || word.ends_with("is"))
        return forms;
    if (word.ends_with("ies")) {
        add(3, "y");  // berries
        add(1, "");   // cookies
        add(2, "");   // chillies
    } else if (word.ends_with("ves")) {
        add(3, "f");   // leaves, halves
        add(3, "fe");  // knives
        add(1, "");    // olives
    } else if (word.ends_with("es")) {
        add(2, "");  // tomatoes, peaches, boxes
        add(1, "");  // slices, cloves
    } else if (word.ends_with('s')) {
        add(1, "");
    }
    return forms;
}

bool sameName(std::string_view ours, std::string_view label) {
    auto a = singularForms(ours);
    auto b = singularForms(label);
    return std::any_of(a.begin(), a.end(), [&](const std::string& form) {
        return std::find(b.begin(), b.end(), form) != b.end();
    });
}

// ---- labels ---------------------------------------------------------------------------------

// "3", "1.5", ".5", "#1$2" (1/2), "10#1$2" (10 1/2), "2-3" (its lower end 2), "2x", "One".
std::optional<double> labelNumber(std::string_view token) {
    std::string text = lowerTrimmed(token);
    if (auto dash = text.find('-'); dash != std::string::npos && dash > 0)
        text.resize(dash);
    if (text.ends_with('x'))
        text.pop_back();
    static const std::map<std::string, double, std::less<>> kWords{
        {"a", 1},       {"an", 1},     {"one", 1},    {"two", 2},       {"three", 3}, {"four", 4},
        {"five", 5},    {"six", 6},    {"seven", 7},  {"eight", 8},     {"nine", 9},  {"ten", 10},
        {"twelve", 12}, {"dozen", 12}, {"half", 0.5}, {"quarter", 0.25}};
    if (auto word = kWords.find(text); word != kWords.end())
        return word->second;
    auto number = [](std::string_view digits) -> std::optional<double> {
        if (digits.empty())
            return 0.0;
        double value = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || end != digits.data() + digits.size())
            return std::nullopt;
        return value;
    };
    auto hash = text.find('#');
    auto dollar = text.find('$');
    if (hash == std::string::npos || dollar == std::string::npos || dollar < hash) {
        return text.empty() ? std::nullopt : number(text);
    }
    auto whole = number(std::string_view(text).substr(0, hash));
    auto top = number(std::string_view(text).substr(hash + 1, dollar - hash - 1));
    auto bottom = number(std::string_view(text).substr(dollar + 1));
    if (!whole || !top || !bottom || *bottom == 0)
        return std::nullopt;
    return *whole + *top / *bottom;
}

// Units written as two words inside the space-separated unit column.
std::vector<std::string> splitUnits(std::string_view column) {
    static const std::vector<std::pair<std::string_view, std::string_view>> kTwoWord{
        {"fl", "oz"}, {"fl.", "oz"}, {"fl", "oz."}, {"fluid", "ounce"}, {"fluid", "ounces"}};
    auto words = splitSpaces(lowerTrimmed(column));
    std::vector<std::string> units;
    for (std::size_t i = 0; i < words.size(); ++i) {
        bool joined =
            i + 1 < words.size() && std::find(kTwoWord.begin(), kTwoWord.end(),
                                              std::pair<std::string_view, std::string_view>(
                                                  words[i], words[i + 1])) != kTwoWord.end();
        units.push_back(joined ? words[i] + " " + words[i + 1] : words[i]);
        if (joined)
            ++i;
    }
    return units;
}

struct Label {
    std::string input;
    std::string name;
    std::string quantityText;        // as labelled, for the miss listing
    std::vector<double> quantities;  // alternatives; empty: the line gives no amount
    bool upperEndAllowed = false;    // NYT labels some ranges by their upper end
    std::string unitText;
    std::vector<std::string> units;  // alternatives; empty: no unit
};

// NYT columns input,name,qty,range_end,unit,comment; strangetom columns
// input,name,quantity,unit,size,preparation,comment,purpose. Unlabelled rows are dropped.
std::optional<std::vector<Label>> loadLabels(const fs::path& file) {
    auto table = Table::load(file);
    if (!table)
        return std::nullopt;
    auto input = table->column("input");
    auto name = table->column("name");
    auto unit = table->column("unit");
    auto nytQuantity = table->column("qty");
    auto quantity = nytQuantity ? nytQuantity : table->column("quantity");
    if (!input || !name || !unit || !quantity)
        return std::nullopt;
    std::vector<Label> labels;
    for (const CsvRow& row : table->rows) {
        if (Table::get(row, input).empty())
            continue;
        bool labelled = false;
        for (std::size_t c = 0; c < row.size(); ++c)
            labelled |= c != *input && !row[c].empty();
        if (!labelled)
            continue;
        Label label{cleanInput(Table::get(row, input)),
                    lowerTrimmed(Table::get(row, name)),
                    std::string(Table::get(row, quantity)),
                    {},
                    nytQuantity.has_value(),
                    std::string(Table::get(row, unit)),
                    splitUnits(Table::get(row, unit))};
        for (const std::string& token : splitSpaces(label.quantityText)) {
            auto value = labelNumber(token);
            if (value && !(nytQuantity && *value == 0))
                label.quantities.push_back(*value);
            // An unreadable label ("few") still says the line has an amount.
            if (!value)
                label.quantities.push_back(NAN);
        }
        labels.push_back(std::move(label));
    }
    return labels;
}

// ---- scoring --------------------------------------------------------------------------------

std::string canonicalUnit(const IngredientParser& parser, std::string_view unit) {
    std::string text = lowerTrimmed(unit);
    const miravel::UnitRow* row = parser.fetchUnit(text);
    return row ? row->canonical : text;
}

bool quantityRight(const Label& label, const IngredientInformation& info) {
    if (label.quantities.empty())
        return !info.quantity;
    if (!info.quantity)
        return false;
    auto near = [&](double ours) {
        return std::any_of(label.quantities.begin(), label.quantities.end(),
                           [&](double labelled) { return std::abs(labelled - ours) < 0.01; });
    };
    return near(info.quantity->number()) ||
           (label.upperEndAllowed && info.quantityRange && near(info.quantityRange->number()));
}

bool unitRight(const IngredientParser& parser, const Label& label,
               const IngredientInformation& info) {
    if (label.units.empty())
        return !info.unit;
    if (!info.unit)
        return false;
    std::string ours = canonicalUnit(parser, *info.unit);
    return std::any_of(label.units.begin(), label.units.end(), [&](const std::string& unit) {
        return canonicalUnit(parser, unit) == ours;
    });
}

enum Category { kQuantity, kUnit, kIngredient, kAll, kMiscellaneous, kCategoryCount };
constexpr const char* kCategoryNames[] = {"quantity", "unit", "ingredient", "all three",
                                          "miscellaneous"};

struct Miss {
    std::string input, label, ours;
};

struct FileScore {
    int lines = 0;
    int right[kCategoryCount] = {};
    std::vector<Miss> misses[kAll];
};

std::string describeQuantity(const IngredientInformation& info) {
    if (!info.quantity)
        return "(none)";
    std::string text = info.quantity->mixedNumber();
    if (info.quantityRange)
        text += " - " + info.quantityRange->mixedNumber();
    return text;
}

FileScore scoreFile(const IngredientParser& parser, const std::vector<Label>& labels,
                    std::unordered_map<std::string, int>& unknownNames) {
    FileScore score;
    for (const Label& label : labels) {
        IngredientInformation info = parser.extractIngredientInformation(label.input);
        std::optional<std::string> name;
        std::string aisle = parser.getAisle(label.input, &name);
        bool right[kCategoryCount] = {quantityRight(label, info), unitRight(parser, label, info),
                                      name ? sameName(*name, label.name) : label.name.empty(),
                                      false, aisle.ends_with("Miscellaneous")};
        right[kAll] = right[kQuantity] && right[kUnit] && right[kIngredient];
        ++score.lines;
        for (int c = 0; c < kCategoryCount; ++c)
            score.right[c] += right[c];
        if (right[kMiscellaneous])
            ++unknownNames[name ? *name : label.name + " *"];
        if (!right[kQuantity])
            score.misses[kQuantity].push_back(
                {label.input, label.quantityText, describeQuantity(info)});
        if (!right[kUnit]) {
            std::string ours =
                info.unit ? *info.unit + " (" + canonicalUnit(parser, *info.unit) + ")" : "(none)";
            score.misses[kUnit].push_back({label.input, label.unitText, ours});
        }
        if (!right[kIngredient])
            score.misses[kIngredient].push_back(
                {label.input, label.name, (name ? *name : "(none)") + " [" + aisle + "]"});
    }
    return score;
}

double percent(int part, int whole) {
    return whole ? 100.0 * part / whole : 0.0;
}

void printScore(std::string_view title, const FileScore& score) {
    std::printf("%-50.*s %6d lines", static_cast<int>(title.size()), title.data(), score.lines);
    for (int c = 0; c < kCategoryCount; ++c)
        std::printf("  %s %.1f%%", kCategoryNames[c], percent(score.right[c], score.lines));
    std::printf("\n");
}

// Misses spread evenly over the file rather than its first rows, which often come from one
// recipe.
void printMisses(const FileScore& score, std::size_t count) {
    for (int c = 0; c < kAll; ++c) {
        const auto& misses = score.misses[c];
        std::size_t shown = std::min(count, misses.size());
        std::printf("  %s misses (%zu, showing %zu): input | label | ours\n", kCategoryNames[c],
                    misses.size(), shown);
        for (std::size_t i = 0; i < shown; ++i) {
            const Miss& miss = misses[i * misses.size() / shown];
            std::printf("    %s | %s | %s\n", miss.input.c_str(), miss.label.c_str(),
                        miss.ours.c_str());
        }
    }
}

int evaluate(const fs::path& corpus, std::size_t missCount, std::size_t unknownCount) {
    fs::path folder = corpus / "ingredients";
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        std::printf("skipped: corpus absent (%s)\n", folder.c_str());
        return 0;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".csv")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    const IngredientParser& parser = IngredientParser::sharedParser();
    std::unordered_map<std::string, int> unknownNames;
    FileScore total;
    for (const fs::path& file : files) {
        auto labels = loadLabels(file);
        if (!labels) {
            std::printf("%s: not a labelled ingredient file, skipped\n", file.filename().c_str());
            continue;
        }
        FileScore score = scoreFile(parser, *labels, unknownNames);
        printScore(file.filename().string(), score);
        if (missCount)
            printMisses(score, missCount);
        total.lines += score.lines;
        for (int c = 0; c < kCategoryCount; ++c)
            total.right[c] += score.right[c];
    }
    printScore("all files", total);

    if (unknownCount) {
        std::vector<std::pair<std::string, int>> names(unknownNames.begin(), unknownNames.end());
        std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        names.resize(std::min(names.size(), unknownCount));
        std::printf("most frequent names in no aisle (* = no name found, labelled name shown):\n");
        for (const auto& [name, count] : names)
            std::printf("  %6d  %s\n", count, name.c_str());
    }
    return 0;
}

// ---- speed ----------------------------------------------------------------------------------

int printLines(const fs::path& csvFile) {
    auto table = Table::load(csvFile);
    auto input = table ? table->column("input") : std::nullopt;
    if (!input) {
        std::fprintf(stderr, "%s: no input column\n", csvFile.c_str());
        return 1;
    }
    for (const CsvRow& row : table->rows) {
        std::string line = cleanInput(Table::get(row, input));
        if (!line.empty())
            std::printf("%s\n", line.c_str());
    }
    return 0;
}

// The median of several timed passes after one untimed pass, the same protocol as the peer's
// script, so both sides run with warm caches.
template <typename Work>
double linesPerSecond(const std::vector<std::string>& lines, Work work) {
    constexpr int kPasses = 7;
    std::size_t sink = 0;
    for (const auto& line : lines)
        sink += work(line);
    std::vector<double> rates;
    for (int pass = 0; pass < kPasses; ++pass) {
        auto start = std::chrono::steady_clock::now();
        for (const auto& line : lines)
            sink += work(line);
        std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        rates.push_back(lines.size() / seconds.count());
    }
    std::sort(rates.begin(), rates.end());
    if (sink == 0)
        std::fprintf(stderr, "(nothing parsed)\n");
    return rates[kPasses / 2];
}

int measureSpeed(const fs::path& linesFile) {
    auto text = readFile(linesFile);
    if (!text) {
        std::fprintf(stderr, "%s: cannot read\n", linesFile.c_str());
        return 1;
    }
    std::vector<std::string> lines;
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    const IngredientParser& parser = IngredientParser::sharedParser();
    double extract = linesPerSecond(lines, [&](const std::string& line) {
        IngredientInformation info = parser.extractIngredientInformation(line);
        return std::size_t{info.quantity.has_value()} + std::size_t{info.unit.has_value()};
    });
    double aisle = linesPerSecond(
        lines, [&](const std::string& line) { return parser.getAisle(line).size(); });
    std::printf("lines %zu\n", lines.size());
    std::printf("extractIngredientInformation %.0f lines/s\n", extract);
    std::printf("getAisle %.0f lines/s\n", aisle);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--lines")
        return printLines(args[1]);
    if (args.size() == 2 && args[0] == "--speed")
        return measureSpeed(args[1]);
    fs::path corpus = MIRAVEL_CORPUS;
    std::size_t misses = 0;
    std::size_t unknown = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool hasValue = i + 1 < args.size();
        if (args[i] == "--misses" && hasValue) {
            misses = std::strtoul(std::string(args[++i]).c_str(), nullptr, 10);
        } else if (args[i] == "--top-unknown" && hasValue) {
            unknown = std::strtoul(std::string(args[++i]).c_str(), nullptr, 10);
        } else if (!args[i].starts_with("--")) {
            corpus = args[i];
        } else {
            std::fprintf(stderr,
                         "usage: evaluate_ingredients [CORPUS_DIR] [--misses N] "
                         "[--top-unknown N]\n"
                         "       evaluate_ingredients --lines CSV_FILE\n"
                         "       evaluate_ingredients --speed LINES_FILE\n");
            return 2;
        }
    }
    return evaluate(corpus, misses, unknown);
}
