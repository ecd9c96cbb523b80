#include "import/RecipeMLImporter.h"

#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

std::string lineOf(const APElement& ingredient) {
    const APElement* amount = ingredient.firstChildElementNamed("amt");
    std::vector<std::string> alternatives;
    for (const APElement* alternative : ingredient.childElements("alt-ing")) {
        alternatives.push_back(lineOf(*alternative));
    }
    return ingredientLine(RecipeMLImporter::quantityText(firstChildElementNamed(amount, "qty")),
                          trimmedText(firstChildElementNamed(amount, "unit")),
                          trimmedText(ingredient.firstChildElementNamed("item")),
                          trimmedText(ingredient.firstChildElementNamed("prep")), alternatives);
}

void appendIngredients(const APElement& list, std::vector<std::string>& lines) {
    for (const auto& child : list.children()) {
        if (child->name() == "ing") {
            lines.push_back(lineOf(*child));
        } else if (child->name() == "ing-div") {
            appendIngredientHeading(lines, trimmedText(child->firstChildElementNamed("title")));
            appendIngredients(*child, lines);
        } else if (child->name() == "note") {
            if (std::string note = trimmedText(child.get()); !note.empty()) {
                lines.push_back(std::move(note));
            }
        }
    }
}

// "30 minutes", "1 hours 15 minutes" from a time element's parts.
std::string timeText(const APElement* time) {
    std::vector<std::string> parts;
    for (const APElement* part : childElements(time, "time")) {
        const std::string text =
            ingredientLine(RecipeMLImporter::quantityText(part->firstChildElementNamed("qty")),
                           trimmedText(part->firstChildElementNamed("timeunit")), "", "");
        if (!text.empty()) {
            parts.push_back(text);
        }
    }
    if (parts.empty()) {
        return trimmedText(time);
    }
    return joined(parts, " ");
}

bool isCookingTime(std::string_view type) {
    std::string lower(type);
    for (char& ch : lower) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return lower.find("cook") != std::string::npos || lower.find("bak") != std::string::npos;
}

}  // namespace

std::string RecipeMLImporter::quantityText(const APElement* quantity) {
    if (quantity == nullptr) {
        return "";
    }
    if (const APElement* range = quantity->firstChildElementNamed("range")) {
        return rangeText(trimmedText(range->firstChildElementNamed("q1")),
                         trimmedText(range->firstChildElementNamed("q2")));
    }
    return trimmedText(quantity);
}

Result<void> RecipeMLImporter::importRecipe(const APElement& element) {
    const APElement* head = element.firstChildElementNamed("head");
    auto recipe = insertRecipe();
    recipe->setName(childText(head, "title"));
    std::vector<std::string> sources;
    for (const APElement* item : childElements(firstChildElementNamed(head, "source"), "srcitem")) {
        if (std::string text = trimmedText(item); !text.empty()) {
            sources.push_back(std::move(text));
        }
    }
    if (sources.empty()) {
        recipe->setSource(childText(head, "source"));
    } else {
        recipe->setSource(joined(sources, ", "));
    }
    if (const APElement* yield = firstChildElementNamed(head, "yield")) {
        std::string quantity = quantityText(yield->firstChildElementNamed("qty"));
        if (quantity.empty()) {
            quantity = quantityText(yield);
        }
        const std::string text =
            ingredientLine(quantity, trimmedText(yield->firstChildElementNamed("unit")), "", "");
        if (!text.empty()) {
            recipe->setServings(text);
        }
    }
    for (const APElement* time : childElements(head, "preptime")) {
        const std::string text = timeText(time);
        if (text.empty()) {
            continue;
        }
        if (isCookingTime(time->valueForAttributeNamed("type").value_or(""))) {
            recipe->setCookTime(text);
        } else if (!recipe->prepTime()) {
            recipe->setPrepTime(text);
        }
    }
    std::vector<std::string> lines;
    if (const APElement* list = element.firstChildElementNamed("ingredients")) {
        appendIngredients(*list, lines);
    }
    recipe->setIngredients(joined(lines, "\n"));
    const APElement* directions = element.firstChildElementNamed("directions");
    std::vector<std::string> steps;
    for (const APElement* step : childElements(directions, "step")) {
        if (std::string text = trimmedText(step); !text.empty()) {
            steps.push_back(std::move(text));
        }
    }
    if (steps.empty()) {
        recipe->setDirections(childText(&element, "directions"));
    } else {
        recipe->setDirections(joined(steps, "\n\n"));
    }
    std::vector<std::string> notes;
    for (std::string_view name : {"description", "note"}) {
        for (const APElement* note : element.childElements(name)) {
            if (std::string text = trimmedText(note); !text.empty()) {
                notes.push_back(std::move(text));
            }
        }
    }
    if (!notes.empty()) {
        recipe->setNotes(joined(notes, "\n\n"));
    }
    for (const APElement* category :
         childElements(firstChildElementNamed(head, "categories"), "cat")) {
        addCategoryToRecipe(trimmedText(category), *recipe);
    }
    return recipeFinished(*recipe, {}, element.line());
}

ImportOutcome RecipeMLImporter::parseFile(const std::filesystem::path& path) {
    auto document = readDocument(path, {"recipeml"});
    if (!document) {
        return outcome(document.error());
    }
    std::vector<const APElement*> recipes = document->root()->childElements("recipe");
    for (const APElement* menu : document->root()->childElements("menu")) {
        for (const APElement* recipe : menu->childElements("recipe")) {
            recipes.push_back(recipe);
        }
    }
    return importRecipes(recipes);
}

}  // namespace miravel
