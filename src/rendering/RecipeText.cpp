#include "rendering/RecipeText.h"

#include <cstdint>
#include <optional>

#include "lib/StringTable.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"

namespace miravel {

namespace {

// "---" stands for a value the recipe does not have; an empty text stays empty.
std::string orDashes(const std::optional<std::string>& value) {
    return value.value_or("---");
}

std::string labelled(std::string_view label, std::string_view value) {
    return tr(label) + ": " + std::string(value);
}

}  // namespace

std::string emailSignatureText() {
    return tr("Sent from Miravel Recipe Manager.") + " " + std::string(kVendorWebAddress);
}

std::string recipeEmailSubject(const Recipe& recipe) {
    return labelled("Recipe", recipe.name().value_or(""));
}

std::string recipeEmailBody(const Recipe& recipe) {
    std::string body = recipe.name().value_or("") + "\n\n";
    if (const auto rating = recipe.rating().value_or(0); rating > 0) {
        for (std::int64_t i = 0; i < rating; ++i) {
            body += "\u2605";
        }
        body += "\n\n";
    }
    // The stored difficulty, not its display name: the text goes to people whose program may
    // be in another language.
    body += labelled("Prep Time", orDashes(recipe.prepTime())) + " | " +
            labelled("Cook Time", orDashes(recipe.cookTime())) + " | " +
            labelled("Servings", orDashes(recipe.scaledServings())) + " | " +
            labelled("Difficulty", orDashes(recipe.difficulty())) + "\n\n";
    body += tr("Ingredients") + ":\n\n" + recipe.scaledIngredients().value_or("") + "\n\n";
    body += tr("Directions") + ":\n\n" + recipe.directions().value_or("") + "\n\n";
    if (const auto notes = recipe.notes(); notes && !notes->empty()) {
        body += labelled("Notes", *notes) + "\n\n";
    }
    if (const auto info = recipe.nutritionalInfo(); info && !info->empty()) {
        body += labelled("Nutritional Info", *info) + "\n\n";
    }
    auto source = recipe.sourceUrl();
    if (!source) {
        source = recipe.source();
    }
    if (source) {
        body += labelled("Source", *source) + "\n\n";
    }
    body += emailSignatureText();
    return body;
}

std::string recipeFilenameForName(std::string_view name) {
    return recipeFileName(name);
}

std::string recipeEmailFilename(const Recipe& recipe) {
    return recipe.emailFilename();
}

}  // namespace miravel
