#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "lib/StringTable.h"
#include "lib/TextFolding.h"
#include "lib/TextPieces.h"
#include "library/CategoriesController.h"
#include "model/UserSettings.h"

namespace miravel::cli {

namespace {

// The command itself is the user's answer to every question the column would ask.
class CommandLineColumn : public CategoriesControllerDelegate, public CategorySelectionListener {
public:
    bool confirmDeletion(const std::string&) override { return true; }
    void setCategory(const CategorySelection&) override {}
};

// The category column over the library of one invocation.
struct Column {
    explicit Column(Invocation& invocation) : session(invocation), context(session.context()) {
        if (context != nullptr) {
            controller.emplace(*context, commandLineSettings(), ui, ui);
            controller->fetchCategories();
        }
    }

    LibrarySession session;
    ManagedObjectContext* context;
    CommandLineColumn ui;
    std::optional<CategoriesController> controller;
};

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string nameOf(const RecipeCategory& category) {
    return category.name().value_or("");
}

// The one listed category with this uid or name; a name spelled otherwise than stored (case,
// accents) is taken when it matches one category only. Reports why not.
std::shared_ptr<RecipeCategory> oneCategory(Invocation& invocation, const Column& column,
                                            const std::string& nameOrUid, int& code) {
    const auto& categories = column.controller->categories();
    std::vector<std::shared_ptr<RecipeCategory>> found;
    std::ranges::copy_if(categories, std::back_inserter(found), [&](const auto& category) {
        return category->uid() == nameOrUid || category->name() == nameOrUid;
    });
    if (found.empty()) {
        const std::string folded = foldCaseAndDiacritics(trimCharacters(nameOrUid, kNameSpace));
        std::ranges::copy_if(categories, std::back_inserter(found), [&](const auto& category) {
            return foldCaseAndDiacritics(nameOf(*category)) == folded;
        });
    }
    if (found.empty()) {
        code = invocation.failure("no category named " + quoted(nameOrUid) + ".");
        return nullptr;
    }
    if (found.size() > 1) {
        std::vector<NamedCandidate> candidates;
        for (const auto& category : found) {
            candidates.push_back({category->uid(), nameOf(*category)});
        }
        code = ambiguousName(invocation, "categories", nameOrUid, candidates);
        return nullptr;
    }
    return found.front();
}

// Opens the column and runs `use` on the category the first argument names.
int withNamedCategory(
    Invocation& invocation,
    const std::function<int(Column&, const std::shared_ptr<RecipeCategory>&)>& use) {
    Column column(invocation);
    if (column.context == nullptr) {
        return kExitFailure;
    }
    int code = kExitOk;
    auto category = oneCategory(invocation, column, invocation.arguments[0], code);
    return category ? use(column, category) : code;
}

int list(Invocation& invocation) {
    Column column(invocation);
    if (column.context == nullptr) {
        return kExitFailure;
    }
    if (invocation.has("presets")) {
        for (const char* preset : kCategoryPresets) {
            invocation.out << "preset\t" << escapedField(tr(preset)) << "\n";
        }
    }
    std::size_t position = 1;
    for (const auto& category : column.controller->categories()) {
        invocation.out << position++ << "\t" << escapedField(nameOf(*category)) << "\t"
                       << category->uid() << "\n";
    }
    return kExitOk;
}

int add(Invocation& invocation) {
    if (!trimmedName(invocation.arguments[0])) {
        return invocation.usageError("a category needs a name.");
    }
    Column column(invocation);
    if (column.context == nullptr) {
        return kExitFailure;
    }
    auto category = column.controller->newCategoryNamed(invocation.arguments[0]);
    if (!category) {
        return column.session.failure(category.error());
    }
    invocation.out << "Added category " << quoted(nameOf(**category)) << " (" << (*category)->uid()
                   << ").\n";
    return kExitOk;
}

int rename(Invocation& invocation) {
    if (!trimmedName(invocation.arguments[1])) {
        return invocation.usageError("a category needs a name.");
    }
    return withNamedCategory(invocation, [&](Column& column, const auto& category) -> int {
        std::string old = nameOf(*category);
        if (auto renamed = column.controller->rename(category, invocation.arguments[1]); !renamed) {
            return column.session.failure(renamed.error());
        }
        invocation.out << "Renamed " << quoted(old) << " to " << quoted(nameOf(*category)) << ".\n";
        return kExitOk;
    });
}

int remove(Invocation& invocation) {
    return withNamedCategory(invocation, [&](Column& column, const auto& category) -> int {
        std::string name = nameOf(*category);
        std::size_t recipes = category->recipes().size();
        const bool kept = isLoggedIn(*category->managedObjectContext());
        if (auto deleted = column.controller->deleteItem(category); !deleted) {
            return column.session.databaseError(deleted.error());
        }
        invocation.out << "Deleted category " << quoted(name) << (kept ? " (kept for sync)" : "")
                       << "; its " << recipes << (recipes == 1 ? " recipe stays" : " recipes stay")
                       << " in the library.\n";
        return kExitOk;
    });
}

int move(Invocation& invocation) {
    const std::string& text = invocation.arguments[1];
    std::size_t position = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), position);
    if (error != std::errc() || end != text.data() + text.size() || position == 0) {
        return invocation.usageError("POSITION is a number counted from 1, not " + quoted(text) +
                                     ".");
    }
    return withNamedCategory(invocation, [&](Column& column, const auto& category) -> int {
        auto& controller = *column.controller;
        const std::size_t count = controller.categories().size();
        if (position > count) {
            return invocation.usageError("there are only " + std::to_string(count) +
                                         " categories.");
        }
        // Turn the wanted place into the drop point a drag would use, then drop there.
        const std::size_t source = *controller.writeItem(category);
        const std::size_t wanted = position - 1;
        const std::size_t point = wanted <= source ? wanted : wanted + 1;
        const int childIndex = static_cast<int>(point + CategoriesController::kPresetCount);
        auto moved =
            controller.acceptDrop(CategoryDrag{source}, CategoryGroupHeading{}, childIndex);
        if (!moved) {
            return column.session.databaseError(moved.error());
        }
        if (!*moved) {
            return invocation.failure(quoted(nameOf(*category)) + " is already at position " +
                                      std::to_string(position) + ".");
        }
        invocation.out << "Moved " << quoted(nameOf(*category)) << " to position " << position
                       << ".\n";
        if (controller.alphabetizeCategories()) {
            invocation.out << "Categories are listed alphabetically; this order shows when "
                              "\"AlphabetizeCategories\" is off.\n";
        }
        return kExitOk;
    });
}

int file(Invocation& invocation) {
    return withNamedCategory(invocation, [&](Column& column, const auto& category) -> int {
        RecipesDrag drag;
        for (std::size_t i = 1; i < invocation.arguments.size(); ++i) {
            int code = kExitOk;
            auto recipe = oneRecipe(invocation, *column.context, invocation.arguments[i], code);
            if (!recipe) {
                return code;
            }
            drag.recipes.push_back(recipe);
        }
        std::size_t lacking = 0;
        for (const auto& recipe : drag.recipes) {
            auto held = recipe->categories();
            lacking += std::find(held.begin(), held.end(), category) == held.end() ? 1 : 0;
        }
        auto filed = column.controller->acceptDrop(drag, category, -1);
        if (!filed) {
            return column.session.databaseError(filed.error());
        }
        if (!*filed) {
            return invocation.failure(
                (drag.recipes.size() == 1 ? "the recipe is" : "every recipe is") +
                std::string(" already in ") + quoted(nameOf(*category)) + ".");
        }
        invocation.out << "Filed " << lacking << (lacking == 1 ? " recipe" : " recipes") << " in "
                       << quoted(nameOf(*category)) << ".\n";
        return kExitOk;
    });
}

}  // namespace

// The category verbs: list, add, rename, delete, move, file.
void addCategoryVerbs(CommandLine& commandLine) {
    commandLine.add({"category",
                     "list",
                     "",
                     "List the categories in the order of the category column: position (from "
                     "1), tab, name, tab, uid.",
                     {{"presets", "", "list the presets first, each as \"preset\", tab, name"}},
                     0,
                     0,
                     list,
                     LibraryAccess::Reads});
    commandLine.add(
        {"category", "add", "NAME", "Add a category at the end of the order.", {}, 1, 1, add});
    commandLine.add({"category",
                     "rename",
                     "OLD NEW",
                     "Rename a category (OLD: name or uid).",
                     {},
                     2,
                     2,
                     rename});
    commandLine.add({"category",
                     "delete",
                     "NAME|UID",
                     "Delete a category (kept as a tombstone for sync while signed in); its "
                     "recipes stay.",
                     {},
                     1,
                     1,
                     remove});
    commandLine.add({"category",
                     "move",
                     "NAME|UID POSITION",
                     "Move a category to POSITION, counted from 1 as \"category list\" shows "
                     "them; every category's stored order is rewritten.",
                     {},
                     2,
                     2,
                     move});
    commandLine.add({"category",
                     "file",
                     "NAME|UID RECIPE...",
                     "File recipes (by name or uid) in a category; refused when every one of "
                     "them is in it already.",
                     {},
                     2,
                     std::numeric_limits<std::size_t>::max(),
                     file});
}

}  // namespace miravel::cli
