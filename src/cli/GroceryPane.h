#pragma once

// The Groceries pane as the grocery verbs open it: the list and its sidebar over one
// invocation's library, showing what the view options ask, with rows named by number.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"
#include "lib/MainQueue.h"

namespace miravel::cli {

// Running the command is the user's answer to the sheets it would show.
class CommandLineGroceryPane : public GroceryListControllerDelegate,
                               public GroceryListSidebarDelegate {
public:
    bool confirmDeletion(const std::string&) override { return true; }
    ClearChoice confirmClear(const std::string&) override { return clearChoice; }
    ClearChoice clearChoice = ClearChoice::Cancel;
};

// The Groceries pane over the library of one invocation, showing what the view options ask.
struct Pane {
    explicit Pane(Invocation& invocation) : session(invocation), context(session.context()) {}

    // Applies the view options; false (with `code` set) when they are wrong.
    bool open(Invocation& invocation, int& code);
    // The items() index of each 1-based row number, in the order given.
    std::optional<std::vector<std::size_t>> rows(Invocation& invocation,
                                                 const std::vector<std::string>& numbers,
                                                 int& code) const;
    // Where the row wrapping `item` is now, after the list was rebuilt.
    std::optional<std::size_t> indexOf(const GroceryListItem& item) const {
        auto row = list->consolidatedItemForGroceryListItem(item);
        return row ? list->indexOfRow(*row) : std::nullopt;
    }

    LibrarySession session;
    ManagedObjectContext* context;
    CommandLineGroceryPane ui;
    std::optional<GroceryListController> list;
    std::optional<GroceryListCategoriesController> sidebar;
};

// --by, --no-consolidate, --bought, --to-buy, --recipe, --my-items, before `options`.
std::vector<OptionSpec> withViewOptions(std::vector<OptionSpec> options);
std::string inQuotes(const std::string& text);

// Opens the pane with the view options and runs `act` on it, with the rows the arguments
// from `first` on name.
template <typename Act>
int withRows(Invocation& invocation, std::size_t first, Act act) {
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    std::vector<std::string> numbers(invocation.arguments.begin() + static_cast<long>(first),
                                     invocation.arguments.end());
    auto rows = pane.rows(invocation, numbers, code);
    if (!rows) {
        return code;
    }
    code = act(pane, *rows);
    MainQueue::shared().processPending();
    return code;
}

}  // namespace miravel::cli
