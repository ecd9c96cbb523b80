#include "import/KRecipesImporter.h"

#include "import/YamlImporter.h"
#include "lib/Crypto.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

// The line of an ingredient, whose substitutes follow as alternatives.
std::string lineOf(const APElement& ingredient, bool withSubstitutes = true) {
    std::vector<std::string> substitutes;
    if (withSubstitutes) {
        for (const APElement* substitute :
             childElements(ingredient.firstChildElementNamed("substitutes"), "ingredient")) {
            substitutes.push_back(lineOf(*substitute, false));
        }
    }
    return ingredientLine(KRecipesImporter::amountText(ingredient.firstChildElementNamed("amount")),
                          trimmedText(ingredient.firstChildElementNamed("unit")),
                          trimmedText(ingredient.firstChildElementNamed("name")),
                          trimmedText(ingredient.firstChildElementNamed("prep")), substitutes);
}

}  // namespace

std::string KRecipesImporter::parsePrepTime(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::string(text);
    }
    const std::int64_t hours = leadingInteger(text.substr(0, colon));
    const std::int64_t minutes = leadingInteger(text.substr(colon + 1));
    std::string result = hours > 0 ? std::to_string(hours) + " hr" : "";
    if (minutes > 0 || hours == 0) {
        result += (result.empty() ? "" : " ") + std::to_string(minutes) + " min";
    }
    return result;
}

std::string KRecipesImporter::amountText(const APElement* amount) {
    if (amount == nullptr) {
        return "";
    }
    if (const APElement* least = amount->firstChildElementNamed("min")) {
        return rangeText(trimmedText(least), trimmedText(amount->firstChildElementNamed("max")));
    }
    return trimmedText(amount);
}

Result<void> KRecipesImporter::importRecipe(const APElement& element) {
    const APElement* description = element.firstChildElementNamed("krecipes-description");
    auto recipe = insertRecipe();
    recipe->setName(childText(description, "title"));
    std::vector<std::string> authors;
    for (const APElement* author : childElements(description, "author")) {
        if (std::string name = trimmedText(author); !name.empty()) {
            authors.push_back(std::move(name));
        }
    }
    if (!authors.empty()) {
        recipe->setSource(joined(authors, ", "));
    }
    if (auto servings = childText(description, "serving")) {
        recipe->setServings(servings);
    } else if (const APElement* yield = firstChildElementNamed(description, "yield")) {
        const std::string text =
            ingredientLine(amountText(yield->firstChildElementNamed("amount")),
                           trimmedText(yield->firstChildElementNamed("type")), "", "");
        if (!text.empty()) {
            recipe->setServings(text);
        }
    }
    if (auto time = childText(description, "preparation-time")) {
        recipe->setPrepTime(parsePrepTime(*time));
    }
    for (const APElement* picture :
         childElements(firstChildElementNamed(description, "pictures"), "pic")) {
        if (auto bytes = decodeLenientBase64(trimmedText(picture))) {
            if (auto name = savePhoto(*bytes)) {
                recipe->setPhoto(*name);
                break;
            }
        }
    }
    std::vector<std::string> lines;
    if (const APElement* list = element.firstChildElementNamed("krecipes-ingredients")) {
        for (const auto& child : list->children()) {
            if (child->name() == "ingredient") {
                lines.push_back(lineOf(*child));
            } else if (child->name() == "ingredient-group") {
                appendIngredientHeading(lines, child->valueForAttributeNamed("name").value_or(""));
                for (const APElement* ingredient : child->childElements("ingredient")) {
                    lines.push_back(lineOf(*ingredient));
                }
            }
        }
    }
    recipe->setIngredients(joined(lines, "\n"));
    recipe->setDirections(childText(&element, "krecipes-instructions"));
    std::vector<std::string> comments;
    for (const APElement* rating :
         childElements(element.firstChildElementNamed("krecipes-ratings"), "rating")) {
        const std::string comment = trimmedText(rating->firstChildElementNamed("comment"));
        if (comment.empty()) {
            continue;
        }
        const std::string rater = trimmedText(rating->firstChildElementNamed("rater"));
        comments.push_back(rater.empty() ? comment : rater + ": " + comment);
    }
    if (!comments.empty()) {
        recipe->setNotes(joined(comments, "\n\n"));
    }
    for (const APElement* category :
         childElements(firstChildElementNamed(description, "category"), "cat")) {
        addCategoryToRecipe(trimmedText(category), *recipe);
    }
    return recipeFinished(*recipe, {}, element.line());
}

ImportOutcome KRecipesImporter::parseFile(const std::filesystem::path& path) {
    auto document = readDocument(path, {"krecipes"});
    if (!document) {
        return outcome(document.error());
    }
    return importRecipes(document->root()->childElements("krecipes-recipe"));
}

}  // namespace miravel
