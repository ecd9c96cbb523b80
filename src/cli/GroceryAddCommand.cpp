// "grocery add": a recipe's ingredients through the ingredient chooser.

#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "grocery/ChooseIngredientsController.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"
#include "store/ManagedObjectContext.h"

namespace miravel::cli {

namespace {

// "1,3,4" as row numbers counted from 1; absent when it is not such a list.
std::optional<std::vector<std::size_t>> parseRowNumbers(const std::string& text) {
    std::vector<std::size_t> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string_view piece(text.data() + start,
                               (comma == std::string::npos ? text.size() : comma) - start);
        std::size_t number = 0;
        auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), number);
        if (piece.empty() || error != std::errc() || end != piece.data() + piece.size() ||
            number == 0) {
            return std::nullopt;
        }
        numbers.push_back(number);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return numbers;
}

int add(Invocation& invocation) {
    const auto chosenScale = scaleFactorOption(invocation, "scale");
    if (!chosenScale) {
        return chosenScale.error();
    }
    const std::optional<RCRationalNumber> scale = *chosenScale;
    std::optional<std::vector<std::size_t>> only;
    if (auto text = invocation.option("only")) {
        only = parseRowNumbers(*text);
        if (!only) {
            return invocation.usageError("--only takes row numbers such as 1,3,4.");
        }
    }
    return withNamedRecipe(
        invocation,
        [&](LibrarySession& session, ManagedObjectContext& context,
            const std::shared_ptr<Recipe>& recipe) -> int {
            // At another scale the chooser reads a copy that is never saved, so the stored
            // recipe keeps the scale the user last chose for it.
            ManagedObjectContext scratch(context.coordinator(), MergePolicy::StoreWins,
                                         &context.notificationCenter());
            std::shared_ptr<Recipe> source = recipe;
            if (scale) {
                source = scratch.insert<Recipe>();
                source->setName(recipe->name());
                source->setIngredients(recipe->ingredients());
                source->setScaleFraction(*scale);
            }
            ChooseIngredientsController chooser(context, {source},
                                                session.application().settings());
            const auto& rows = chooser.consolidatedItems();
            if (only) {
                for (std::size_t number : *only) {
                    if (number > rows.size()) {
                        chooser.cancelPressed();
                        return invocation.failure(
                            "there is no row " + std::to_string(number) + "; the recipe gives " +
                            std::to_string(rows.size()) + (rows.size() == 1 ? " row" : " rows") +
                            " (see --preview).");
                    }
                }
                chooser.selectAllCheckboxClicked(false);
                for (std::size_t number : *only) {
                    chooser.setSelected(number - 1, true);
                }
            }
            // The preview shows what this same command without --preview would add.
            if (invocation.has("preview")) {
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    if (chooser.isSelected(i)) {
                        invocation.out << i + 1 << "\t" << escapedField(rows[i]->name()) << "\n";
                    }
                }
                chooser.cancelPressed();
                return kExitOk;
            }
            std::vector<std::string> added;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (chooser.isSelected(i)) {
                    added.push_back(rows[i]->name());
                }
            }
            if (auto done = chooser.donePressed(); !done) {
                return invocation.failure(done.error().description);
            }
            if (added.empty()) {
                invocation.out << "The recipe has no ingredients to add.\n";
                return kExitOk;
            }
            invocation.out << "Added to the grocery list from \"" << recipe->name().value_or("")
                           << "\":\n";
            for (const auto& name : added) {
                invocation.out << "  " << name << "\n";
            }
            return kExitOk;
        });
}

}  // namespace

void addGroceryAddVerb(CommandLine& commandLine) {
    commandLine.add({"grocery",
                     "add",
                     "NAME|UID",
                     "Add a recipe's ingredients (at its scale) to the grocery list, like ones "
                     "merged into one row, and print what was added.",
                     {{"scale", "N/D", "add at this scale; the recipe's own scale is kept"},
                      {"only", "1,3,4", "keep only these rows of the preview"},
                      {"preview", "", "show the numbered rows that would be added; add nothing"}},
                     1,
                     1,
                     add});
}

}  // namespace miravel::cli
