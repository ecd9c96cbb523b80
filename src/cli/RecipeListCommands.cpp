#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "model/Recipe.h"

namespace miravel::cli {

namespace {

int list(Invocation& invocation) {
    LibrarySession session(invocation.library, invocation.err);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    std::string format = std::string("(") + kLiveStatusPredicate + ")";
    ValueList arguments;
    if (auto search = invocation.option("search")) {
        format += " AND name contains[cd] %@";
        arguments.emplace_back(*search);
    }
    if (invocation.has("favorites")) {
        format += " AND onFavorites == YES";
    }
    auto predicate = Predicate::parse(format, arguments);
    if (!predicate) {
        return invocation.failure(predicate.error().description);
    }
    auto recipes = context->fetch<Recipe>(*predicate, {SortDescriptor::localized("name")});
    if (!recipes) {
        return invocation.failure(recipes.error().description);
    }
    for (const auto& recipe : *recipes) {
        invocation.out << recipe->uid() << "\t" << recipe->name().value_or("") << "\n";
    }
    return kExitOk;
}

int remove(Invocation& invocation) {
    return withNamedRecipe(invocation, [&](LibrarySession& session, ManagedObjectContext& context,
                                           const std::shared_ptr<Recipe>& recipe) {
        std::string name = recipe->name().value_or("");
        if (auto deleted = Recipe::deleteRecipes(context, {recipe}); !deleted) {
            session.hooks().presentFatalDatabaseError(deleted.error());
        }
        invocation.out << "Deleted \"" << name << "\"" << (isLoggedIn() ? " (kept for sync)" : "")
                       << ".\n";
        return kExitOk;
    });
}

}  // namespace

// The verbs on the listed recipes: which are listed, and what is done to them.
void addRecipeListVerbs(CommandLine& commandLine) {
    commandLine.add({"recipe",
                     "list",
                     "",
                     "List the recipes by name (uid, tab, name).",
                     {{"search", "TEXT", "only names containing TEXT (any case or accents)"},
                      {"favorites", "", "only favourite recipes"}},
                     0,
                     0,
                     list});
    commandLine.add({"recipe",
                     "delete",
                     "NAME|UID",
                     "Delete one recipe (kept as a tombstone for sync while signed in).",
                     {},
                     1,
                     1,
                     remove});
}

}  // namespace miravel::cli
