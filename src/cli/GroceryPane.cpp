#include "cli/GroceryPane.h"

#include <algorithm>
#include <charconv>

namespace miravel::cli {

namespace {

const std::vector<OptionSpec> kViewOptions = {
    {"by", "recipe|aisle",
     "group by recipe or by aisle (default: the \"GroceryListAisles\" setting)"},
    {"no-consolidate", "", "one row per item, like items not merged"},
    {"bought", "", "only purchased items"},
    {"to-buy", "", "only items still to buy"},
    {"recipe", "NAME", "only the items of one recipe"},
    {"my-items", "", "only your own items (those of no recipe)"},
};

}  // namespace

std::vector<OptionSpec> withViewOptions(std::vector<OptionSpec> options) {
    options.insert(options.begin(), kViewOptions.begin(), kViewOptions.end());
    return options;
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

bool Pane::open(Invocation& invocation, int& code) {
    auto by = invocation.option("by");
    if (by && *by != "recipe" && *by != "aisle") {
        code = invocation.usageError("--by takes recipe or aisle.");
        return false;
    }
    if (invocation.has("bought") && invocation.has("to-buy")) {
        code = invocation.usageError("choose one of --bought and --to-buy.");
        return false;
    }
    if (invocation.has("recipe") && invocation.has("my-items")) {
        code = invocation.usageError("choose one of --recipe and --my-items.");
        return false;
    }
    if (context == nullptr) {
        code = kExitFailure;
        return false;
    }
    list.emplace(*context, session.application().settings(), &ui);
    if (by) {
        list->setSortGroceryListByAisles(*by == "aisle");
    }
    if (invocation.has("no-consolidate")) {
        list->setConsolidateGroceryList(false);
    }
    sidebar.emplace(*context, *list, &ui);
    sidebar->start();
    std::optional<GroceryListChoice> choice;
    if (auto recipe = invocation.option("recipe")) {
        choice = GroceryListChoice::recipe(*recipe);
        if (!sidebar->rowForEntry(*choice)) {
            code = invocation.failure("no grocery items come from a recipe named " +
                                      inQuotes(*recipe) + ".");
            return false;
        }
    } else if (invocation.has("my-items")) {
        choice = GroceryListChoice::myItems();
    }
    if (choice) {
        sidebar->selectionDidChange(*sidebar->rowForEntry(*choice));
    }
    if (invocation.has("bought")) {
        list->segmentChanged(static_cast<int>(GroceryFilter::Bought));
    } else if (invocation.has("to-buy")) {
        list->segmentChanged(static_cast<int>(GroceryFilter::ToBuy));
    }
    return true;
}

std::optional<std::vector<std::size_t>> Pane::rows(Invocation& invocation,
                                                   const std::vector<std::string>& numbers,
                                                   int& code) const {
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < list->items().size(); ++i) {
        if (list->rowAt(i)) {
            indexes.push_back(i);
        }
    }
    std::vector<std::size_t> chosen;
    for (const auto& text : numbers) {
        std::size_t number = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc() || end != text.data() + text.size() || number == 0) {
            code = invocation.usageError("ROW is a row number counted from 1, not " +
                                         inQuotes(text) + ".");
            return std::nullopt;
        }
        if (number > indexes.size()) {
            code = invocation.failure("there is no row " + text +
                                      "; \"grocery list\" with the "
                                      "same options shows " +
                                      std::to_string(indexes.size()) +
                                      (indexes.size() == 1 ? " row." : " rows."));
            return std::nullopt;
        }
        if (std::ranges::find(chosen, indexes[number - 1]) == chosen.end()) {
            chosen.push_back(indexes[number - 1]);
        }
    }
    return chosen;
}

}  // namespace miravel::cli
