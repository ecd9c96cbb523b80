#include <algorithm>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "lib/StringTable.h"
#include "lib/TextPieces.h"
#include "library/RecipeTrash.h"
#include "library/RecipesController.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"

namespace miravel::cli {

namespace {

// The command line plays the Recipes pane: the deletion question is asked as every
// irreversible verb asks it, and notices are printed.
class CommandLineRecipesDelegate : public RecipesControllerDelegate {
public:
    explicit CommandLineRecipesDelegate(const Invocation& invocation) : m_invocation(invocation) {}
    bool confirmDeletion(const std::string& question) override {
        answer = confirm(m_invocation, question);
        return answer == Confirmation::Yes;
    }
    void showNotice(const std::string& text) override { m_invocation.out << text << "\n"; }

    std::optional<Confirmation> answer;

private:
    const Invocation& m_invocation;
};

// The category column's selection the options ask for; one of them at most.
std::optional<CategorySelection> selectionFor(Invocation& invocation, ManagedObjectContext& context,
                                              int& code) {
    const std::pair<const char*, const char*> presets[] = {{"favorites", kPresetFavorites},
                                                           {"recent", kPresetMostRecent},
                                                           {"top-rated", kPresetTopRated},
                                                           {"uncategorized", kPresetUncategorized}};
    std::optional<CategorySelection> selection;
    int chosen = invocation.has("category") ? 1 : 0;
    for (const auto& [option, preset] : presets) {
        if (invocation.has(option)) {
            selection = std::string(preset);
            ++chosen;
        }
    }
    if (chosen > 1) {
        code = invocation.usageError(
            "choose one of --category, --favorites, --recent, --top-rated, --uncategorized.");
        return std::nullopt;
    }
    if (auto name = invocation.option("category")) {
        auto categories = context.fetch<RecipeCategory>(
            livePredicateAnd("name ==[c] %@", {Value(*name)}), {SortDescriptor("orderFlag")});
        if (!categories || categories->empty()) {
            code = invocation.failure(categories ? "no category named \"" + *name + "\"."
                                                 : categories.error().description);
            return std::nullopt;
        }
        selection = categories->front();
    }
    return selection.value_or(std::string(kPresetAllRecipes));
}

int list(Invocation& invocation) {
    static const std::pair<const char*, const char*> contexts[] = {
        {"name", kSearchByName}, {"ingredient", kSearchByIngredient}, {"source", kSearchBySource}};
    std::string in = invocation.option("in").value_or("name");
    auto context = std::find_if(std::begin(contexts), std::end(contexts),
                                [&](const auto& entry) { return in == entry.first; });
    if (context == std::end(contexts)) {
        return invocation.usageError("--in takes name, ingredient or source.");
    }
    std::string sort = invocation.option("sort").value_or("");
    static const std::pair<const char*, const char*> columns[] = {{"name", "name"},
                                                                  {"created", "created"},
                                                                  {"rating", "rating"},
                                                                  {"prep", "prep"},
                                                                  {"cook", "cook"}};
    auto column = std::find_if(std::begin(columns), std::end(columns),
                               [&](const auto& entry) { return sort == entry.first; });
    if (!sort.empty() && column == std::end(columns)) {
        return invocation.usageError("--sort takes name, created, rating, prep or cook.");
    }

    LibrarySession session(invocation);
    ManagedObjectContext* store = session.context();
    if (store == nullptr) {
        return kExitFailure;
    }
    int code = kExitOk;
    auto selection = selectionFor(invocation, *store, code);
    if (!selection) {
        return code;
    }
    RecipesController controller(*store);
    controller.setCategory(*selection);
    if (auto text = invocation.option("search")) {
        controller.changeSearchContext(context->second);
        controller.search(*text);
    }
    if (!sort.empty()) {
        controller.sortByColumns({{column->second, !invocation.has("descending")}});
    }
    for (std::size_t row = 0; row < controller.count(); ++row) {
        auto recipe = controller.recipeAt(row);
        invocation.out << recipe->uid() << "\t" << escapedField(recipe->name().value_or(""))
                       << "\n";
    }
    if (invocation.has("count")) {
        invocation.out << controller.countText() << "\n";
    }
    return kExitOk;
}

// The rows of the full list that hold the named recipes, or the reason why not.
std::optional<std::vector<std::size_t>> rowsOf(Invocation& invocation, ManagedObjectContext& store,
                                               RecipesController& controller, int& code) {
    controller.setCategory(std::string(kPresetAllRecipes));
    std::vector<std::size_t> rows;
    for (const auto& nameOrUid : invocation.arguments) {
        auto recipe = oneRecipe(invocation, store, nameOrUid, code);
        if (!recipe) {
            return std::nullopt;
        }
        for (std::size_t row = 0; row < controller.count(); ++row) {
            if (controller.recipeAt(row) == recipe &&
                std::find(rows.begin(), rows.end(), row) == rows.end()) {
                rows.push_back(row);
            }
        }
    }
    return rows;
}

// Opens the library and runs `act` on the full list with the rows of the recipes the
// arguments name; reports why not when one is unknown or ambiguous.
int withNamedRows(
    Invocation& invocation,
    const std::function<int(LibrarySession&, CommandLineRecipesDelegate&, RecipesController&,
                            const std::vector<std::size_t>&)>& act) {
    LibrarySession session(invocation);
    ManagedObjectContext* store = session.context();
    if (store == nullptr) {
        return kExitFailure;
    }
    CommandLineRecipesDelegate delegate(invocation);
    RecipesController controller(*store, &delegate);
    int code = kExitOk;
    auto rows = rowsOf(invocation, *store, controller, code);
    if (!rows) {
        return code;
    }
    return act(session, delegate, controller, *rows);
}

int favorite(Invocation& invocation) {
    const std::string state = invocation.arguments[1];  // a copy: the argument is dropped next
    if (state != "on" && state != "off") {
        return invocation.usageError("say on or off.");
    }
    invocation.arguments.pop_back();
    return withNamedRows(
        invocation,
        [&](LibrarySession& session, CommandLineRecipesDelegate& delegate,
            RecipesController& controller, const std::vector<std::size_t>& rows) -> int {
            controller.setClickedRow(rows.front());
            bool isFavorite =
                controller.validateMenuItem(RecipeMenu::Context, kMenuFavorites).checked;
            if (isFavorite == (state == "on")) {
                // Nothing changes, so nothing is marked for sync; the notice says where it is.
                delegate.showNotice(tr(isFavorite ? "Recipe added to favorites."
                                                  : "Recipe removed from favorites."));
                return kExitOk;
            }
            if (auto toggled = controller.toggleFavorites(isFavorite); !toggled) {
                return session.databaseError(toggled.error());
            }
            return kExitOk;
        });
}

int remove(Invocation& invocation) {
    return withNamedRows(
        invocation,
        [&](LibrarySession& session, CommandLineRecipesDelegate& delegate,
            RecipesController& controller, const std::vector<std::size_t>& rows) -> int {
            std::vector<std::pair<std::string, std::size_t>> deleted;  // name, planned meals
            for (std::size_t row : rows) {
                auto recipe = controller.recipeAt(row);
                deleted.emplace_back(recipe->name().value_or(""), plannedMealCount({recipe}));
            }
            controller.setSelectedRows(rows);
            auto result = controller.deleteRecipe(false);
            if (delegate.answer != Confirmation::Yes) {
                return delegate.answer == Confirmation::Refused ? kExitUsage : kExitFailure;
            }
            if (!result) {
                if (result.error().domain != kTrashErrorDomain) {
                    return session.databaseError(result.error());
                }
                return invocation.failure("nothing was deleted: " + result.error().description);
            }
            for (const auto& [name, meals] : deleted) {
                invocation.out << "Deleted \"" << name << "\""
                               << (session.application().isLoggedIn() ? " (kept for sync)" : "");
                if (meals > 0) {
                    invocation.out << " and its " << meals << " planned meal"
                                   << (meals == 1 ? "" : "s");
                }
                invocation.out << ".\n";
            }
            invocation.out << "Kept in the trash for " << RecipeTrash::kKeepFor.count()
                           << " days: \"miravel trash restore NAME\" brings a recipe back.\n";
            return kExitOk;
        });
}

}  // namespace

// The verbs on the listed recipes: which are listed, and what is done to them.
void addRecipeListVerbs(CommandLine& commandLine) {
    commandLine.add(
        {"recipe",
         "list",
         "",
         "List the recipes as the Recipes pane does (uid, tab, name), by name unless a preset "
         "or --sort orders them.",
         {{"category", "NAME", "only recipes filed in the category NAME (any case)"},
          {"favorites", "", "only favourite recipes"},
          {"recent", "", "newest first"},
          {"top-rated", "", "highest rating first"},
          {"uncategorized", "", "only recipes without a category"},
          {"search", "TEXT", "only recipes whose field contains TEXT (any case or accents)"},
          {"in", "FIELD",
           "the field --search looks in: name (default), ingredient or source; "
           "ingredient takes several words separated by \",\", all required"},
          {"sort", "COLUMN", "order by name, created, rating, prep or cook (times by minutes)"},
          {"descending", "", "with --sort, the reverse order"},
          {"count", "", "end with the count line (\"3 Recipes\", \"No Recipes\")"}},
         0,
         0,
         list,
         LibraryAccess::Reads});
    commandLine.add({"recipe",
                     "favorite",
                     "NAME|UID on|off",
                     "Put a recipe in the favourites or take it out.",
                     {},
                     2,
                     2,
                     favorite});
    commandLine.add({"recipe",
                     "delete",
                     "NAME|UID...",
                     "Delete recipes and their planned meals, after asking (kept as tombstones "
                     "for sync while signed in). They wait in the trash for 30 days.",
                     {kYesOption},
                     1,
                     std::numeric_limits<std::size_t>::max(),
                     remove});
}

}  // namespace miravel::cli
