// The grocery verbs that name rows: list, new, check, uncheck, move-aisle, edit, delete.

#include <algorithm>
#include <cctype>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "cli/GroceryPane.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "model/GroceryListItem.h"

namespace miravel::cli {

void addGroceryAddVerb(CommandLine& commandLine);
void addGroceryOutputVerbs(CommandLine& commandLine);

namespace {

int list(Invocation& invocation) {
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    if (pane.list->showsEmptyLabel()) {
        invocation.out << tr(kNoItems) << "\n";
        return kExitOk;
    }
    std::size_t number = 0;
    for (const auto& entry : pane.list->items()) {
        if (const auto* title = std::get_if<std::string>(&entry)) {
            invocation.out << *title << "\n";
            continue;
        }
        const auto& row = std::get<std::shared_ptr<ConsolidatedItem>>(entry);
        std::string label = std::to_string(++number);
        invocation.out << std::string(label.size() < 4 ? 4 - label.size() : 0, ' ') << label << "  "
                       << (row->purchased() ? "✓ " : "") << row->name() << "\n";
    }
    return kExitOk;
}

int newItem(Invocation& invocation) {
    const std::string& text = invocation.arguments[0];
    if (text.find_first_not_of(" \t") == std::string::npos) {
        return invocation.usageError("an item needs a text.");
    }
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    auto created = pane.list->newItem();
    if (!created) {
        return pane.session.databaseError(created.error());
    }
    const auto& item = *created;
    MainQueue::shared().processPending();  // the new row is put into editing
    if (auto index = pane.indexOf(*item)) {
        if (auto edited = pane.list->groceryListTableCellEdited(*index, text); !edited) {
            return pane.session.databaseError(edited.error());
        }
    }
    invocation.out << "Added " << inQuotes(item->name().value_or("")) << " under "
                   << inQuotes(item->localizedAisle()) << ".\n";
    return kExitOk;
}

int setPurchased(Invocation& invocation, bool purchased) {
    return withRows(invocation, 0, [&](Pane& pane, const std::vector<std::size_t>& rows) -> int {
        std::vector<std::shared_ptr<GroceryListItem>> firsts;
        for (std::size_t index : rows) {
            firsts.push_back(pane.list->rowAt(index)->items().front());
        }
        std::size_t changed = 0;
        for (const auto& item : firsts) {
            // A row's check box sets all its items; a partly bought row takes two presses
            // to end up with none bought.
            for (int press = 0; press < 2; ++press) {
                auto index = pane.indexOf(*item);
                auto row = index ? pane.list->rowAt(*index) : nullptr;
                bool any = row && std::ranges::any_of(row->items(), [](const auto& each) {
                               return each->purchased().value_or(false);
                           });
                if (!row || (purchased ? row->purchased() : !any)) {
                    break;
                }
                if (auto toggled = pane.list->groceryListTableCellCheckboxToggled(*index);
                    !toggled) {
                    return pane.session.databaseError(toggled.error());
                }
                changed += press == 0 ? 1 : 0;
            }
        }
        invocation.out << (purchased ? "Checked off " : "Unchecked ") << changed
                       << (changed == 1 ? " row" : " rows") << ".\n";
        return kExitOk;
    });
}

int moveAisle(Invocation& invocation) {
    const std::string& wanted = invocation.arguments[0];
    const auto& aisles = LocalizedSettingsManager::sharedManager().aisleNames();
    int tag = 0;
    auto equal = [](std::string_view a, std::string_view b) {
        return std::ranges::equal(a, b, [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
        });
    };
    auto found = std::ranges::find_if(aisles, [&](const auto& entry) {
        return equal(entry.first, wanted) || equal(entry.second, wanted);
    });
    if (found == aisles.end()) {
        std::string names;
        for (const auto& entry : aisles) {
            names += "\n  " + entry.second;
        }
        return invocation.usageError("no aisle named " + inQuotes(wanted) +
                                     "; the aisles are:" + names);
    }
    tag = static_cast<int>(found - aisles.begin());
    return withRows(invocation, 1, [&](Pane& pane, const std::vector<std::size_t>& rows) -> int {
        pane.list->selectionDidChange(rows);
        if (auto moved = pane.list->changeAisle(tag, std::nullopt); !moved) {
            return pane.session.databaseError(moved.error());
        }
        invocation.out << "Moved " << rows.size() << (rows.size() == 1 ? " row" : " rows") << " to "
                       << inQuotes(found->second) << ".\n";
        return kExitOk;
    });
}

int edit(Invocation& invocation) {
    std::string text = invocation.arguments[1];
    invocation.arguments.pop_back();
    return withRows(invocation, 0, [&](Pane& pane, const std::vector<std::size_t>& rows) -> int {
        auto row = pane.list->rowAt(rows.front());
        const std::string old = row->name();
        const std::size_t items = row->items().size();
        pane.list->editItem(rows.front());
        if (auto edited = pane.list->groceryListTableCellEdited(rows.front(), text); !edited) {
            return pane.session.databaseError(edited.error());
        }
        invocation.out << "Changed " << inQuotes(old) << " to "
                       << inQuotes(text.empty() ? std::string(" ") : text)
                       << (items > 1 ? " (its " + std::to_string(items) +
                                           " items replaced by one of your own)"
                                     : std::string())
                       << ".\n";
        return kExitOk;
    });
}

int remove(Invocation& invocation) {
    return withRows(invocation, 0, [&](Pane& pane, const std::vector<std::size_t>& rows) -> int {
        std::size_t items = 0;
        for (std::size_t index : rows) {
            items += pane.list->rowAt(index)->items().size();
        }
        pane.list->selectionDidChange(rows);
        if (auto deleted = pane.list->deletePressed(); !deleted) {
            return pane.session.databaseError(deleted.error());
        }
        invocation.out << "Deleted " << rows.size() << (rows.size() == 1 ? " row" : " rows") << " ("
                       << items << (items == 1 ? " item" : " items") << ")"
                       << (pane.session.application().isLoggedIn() ? ", kept for sync" : "")
                       << ".\n";
        return kExitOk;
    });
}

constexpr std::size_t kMany = std::numeric_limits<std::size_t>::max();
const char* const kRowsNote =
    " ROW is the row number \"grocery list\" shows with the same view options.";

}  // namespace

// The grocery verbs: add, list, new, check, uncheck, move-aisle, edit, delete, clear,
// remove-recipe, print, mail.
void addGroceryVerbs(CommandLine& commandLine) {
    addGroceryAddVerb(commandLine);
    const std::string rowsNote = kRowsNote;
    commandLine.add({"grocery", "list", "",
                     "Show the grocery list: section titles, then numbered rows (\"✓ \" before "
                     "purchased ones); like items of one aisle show as one row.",
                     withViewOptions({}), 0, 0, list, LibraryAccess::Reads});
    commandLine.add({"grocery", "new", "TEXT",
                     "Add an item of your own; it is filed in the aisle its text names.",
                     withViewOptions({}), 1, 1, newItem});
    commandLine.add({"grocery", "check", "ROW...",
                     "Check off rows (every item a row shows)." + rowsNote, withViewOptions({}), 1,
                     kMany, [](Invocation& i) { return setPurchased(i, true); }});
    commandLine.add({"grocery", "uncheck", "ROW...", "Uncheck rows." + rowsNote,
                     withViewOptions({}), 1, kMany,
                     [](Invocation& i) { return setPurchased(i, false); }});
    commandLine.add({"grocery", "move-aisle", "AISLE ROW...",
                     "Move rows to another aisle (its English or shown name)." + rowsNote,
                     withViewOptions({}), 2, kMany, moveAisle});
    commandLine.add({"grocery", "edit", "ROW TEXT",
                     "Change a row's text; a row of several items becomes one item of your "
                     "own." +
                         rowsNote,
                     withViewOptions({}), 2, 2, edit});
    commandLine.add(
        {"grocery", "delete", "ROW...",
         "Delete rows and every item they show (kept for sync while signed in)." + rowsNote,
         withViewOptions({}), 1, kMany, remove});
    addGroceryOutputVerbs(commandLine);
}

}  // namespace miravel::cli
