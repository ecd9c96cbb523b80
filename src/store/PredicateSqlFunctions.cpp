#include "store/PredicateSqlFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "store/PredicateOperators.h"

namespace miravel {
namespace {

std::string_view textOf(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text == nullptr
               ? std::string_view()
               : std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

unsigned optionsOf(sqlite3_value* value) {
    return static_cast<unsigned>(sqlite3_value_int(value)) &
           (PredicateOperators::kCaseInsensitive | PredicateOperators::kDiacriticInsensitive);
}

void fold(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, arguments[0]);
        return;
    }
    const std::string folded =
        PredicateOperators::foldText(textOf(arguments[0]), optionsOf(arguments[1]));
    sqlite3_result_text64(context, folded.data(), folded.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

bool isAscii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Searches fold every row they read, and most rows are ASCII, where folding only lowers
// letters: that much is done in a buffer kept between calls instead of a new string per row.
std::string_view folded(std::string_view text, unsigned options, std::string& buffer) {
    if (options == 0) {
        return text;
    }
    if (!isAscii(text)) {
        buffer = PredicateOperators::foldText(text, options);
    } else if ((options & PredicateOperators::kCaseInsensitive) == 0) {
        return text;
    } else {
        buffer.assign(text);
        for (char& c : buffer) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return buffer;
}

using TextTest = bool (*)(std::string_view, std::string_view);

// The first argument folded per the third, then tested against the second as it is.
template <TextTest test>
void textFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT ||
        sqlite3_value_type(arguments[1]) != SQLITE_TEXT) {
        sqlite3_result_int(context, 0);
        return;
    }
    thread_local std::string buffer;
    const bool result =
        test(folded(textOf(arguments[0]), optionsOf(arguments[2]), buffer), textOf(arguments[1]));
    sqlite3_result_int(context, result ? 1 : 0);
}

void matches(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT ||
        sqlite3_value_type(arguments[1]) != SQLITE_TEXT) {
        sqlite3_result_int(context, 0);
        return;
    }
    const std::string text =
        PredicateOperators::foldText(textOf(arguments[0]), optionsOf(arguments[2]));
    const std::string pattern(textOf(arguments[1]));
    const bool caseInsensitive = sqlite3_value_int(arguments[3]) != 0;
    sqlite3_result_int(context,
                       PredicateOperators::matches(text, pattern, caseInsensitive) ? 1 : 0);
}

}  // namespace

void registerPredicateSqlFunctions(sqlite3* database) {
    struct Function {
        const char* name;
        int arguments;
        void (*call)(sqlite3_context*, int, sqlite3_value**);
    };
    static constexpr Function kFunctions[] = {
        {"miravel_fold", 2, fold},
        {"miravel_contains", 3, textFunction<PredicateOperators::contains>},
        {"miravel_beginswith", 3, textFunction<PredicateOperators::beginsWith>},
        {"miravel_endswith", 3, textFunction<PredicateOperators::endsWith>},
        {"miravel_like", 3, textFunction<PredicateOperators::like>},
        {"miravel_matches", 4, matches},
    };
    for (const Function& function : kFunctions) {
        sqlite3_create_function_v2(database, function.name, function.arguments,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   function.call, nullptr, nullptr, nullptr);
    }
}

}  // namespace miravel
