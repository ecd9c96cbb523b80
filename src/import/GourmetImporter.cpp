#include "import/GourmetImporter.h"

#include <cmath>

#include "import/YamlImporter.h"
#include "lib/Crypto.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

void appendIngredients(const APElement& list, std::vector<std::string>& lines) {
    for (const auto& child : list.children()) {
        if (child->name() == "ingredient") {
            const APElement* part = child.get();
            lines.push_back(ingredientLine(trimmedText(part->firstChildElementNamed("amount")),
                                           trimmedText(part->firstChildElementNamed("unit")),
                                           trimmedText(part->firstChildElementNamed("item")),
                                           trimmedText(part->firstChildElementNamed("prep"))));
        } else if (child->name() == "ingref") {
            // A reference to another recipe of the file, by its title.
            lines.push_back(ingredientLine(child->valueForAttributeNamed("amount").value_or(""),
                                           child->valueForAttributeNamed("unit").value_or(""),
                                           trimmedText(child.get()), ""));
        } else if (child->name() == "inggroup") {
            appendIngredientHeading(lines, trimmedText(child->firstChildElementNamed("groupname")));
            appendIngredients(*child, lines);
        }
    }
}

std::optional<std::string> markupText(const APElement* element) {
    std::string text(trimCharacters(textOfMarkup(trimmedText(element)), kWhiteSpace));
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::int64_t> GourmetImporter::parseRating(std::string_view text) {
    text = trimCharacters(text, kWhiteSpace);
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    const std::int64_t stars = leadingInteger(text);
    std::int64_t scale = 5;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        scale = leadingInteger(text.substr(slash + 1));
    }
    if (scale <= 0) {
        return std::nullopt;
    }
    const double rating = std::round(static_cast<double>(stars) * 5.0 / static_cast<double>(scale));
    return static_cast<std::int64_t>(std::clamp(rating, 0.0, 5.0));
}

Result<void> GourmetImporter::importRecipe(const APElement& element) {
    auto recipe = insertRecipe();
    recipe->setName(childText(&element, "title"));
    recipe->setSource(childText(&element, "source"));
    recipe->setSourceUrl(childText(&element, "link"));
    recipe->setServings(childText(&element, "yields"));
    recipe->setPrepTime(childText(&element, "preptime"));
    recipe->setCookTime(childText(&element, "cooktime"));
    if (auto rating = parseRating(trimmedText(element.firstChildElementNamed("rating")))) {
        recipe->setRating(*rating);
    }
    std::vector<std::string> lines;
    if (const APElement* list = element.firstChildElementNamed("ingredient-list")) {
        appendIngredients(*list, lines);
    }
    recipe->setIngredients(joined(lines, "\n"));
    recipe->setDirections(markupText(element.firstChildElementNamed("instructions")));
    recipe->setNotes(markupText(element.firstChildElementNamed("modifications")));
    if (auto picture = childText(&element, "image")) {
        if (auto bytes = decodeLenientBase64(*picture)) {
            if (auto name = savePhoto(*bytes)) {
                recipe->setPhoto(*name);
            }
        }
    }
    // Gourmet's categories are a comma-separated text; its cuisine is one more category.
    addCategoriesToRecipe(trimmedText(element.firstChildElementNamed("category")), *recipe);
    addCategoryToRecipe(trimmedText(element.firstChildElementNamed("cuisine")), *recipe);
    return recipeFinished(*recipe, {}, element.line());
}

ImportOutcome GourmetImporter::parseFile(const std::filesystem::path& path) {
    auto document = readDocument(path, {"gourmetDoc"});
    if (!document) {
        return outcome(document.error());
    }
    return importRecipes(document->root()->childElements("recipe"));
}

}  // namespace miravel
