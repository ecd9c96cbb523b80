#include "import/MacGourmetImporter.h"

#include <algorithm>
#include <initializer_list>

#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

std::string timeOfTypes(const JsonValue* records, std::initializer_list<std::int64_t> types) {
    std::string text;
    for (const JsonValue& record : plistArray(records)) {
        const std::int64_t type = plistInteger(plistMember(&record, "TIME_TYPE_ID"));
        if (std::find(types.begin(), types.end(), type) == types.end()) {
            continue;
        }
        const auto amount = plistText(plistMember(&record, "AMOUNT"));
        const auto unit =
            MacGourmetImporter::getUnit(plistInteger(plistMember(&record, "TIME_UNIT_ID")));
        const auto amount2 = plistText(plistMember(&record, "AMOUNT_2"));
        const auto unit2 =
            MacGourmetImporter::getUnit(plistInteger(plistMember(&record, "TIME_UNIT_2_ID")));
        if (amount && *amount != "0" && unit) {
            text += *amount + " " + *unit;
        }
        if (amount2 && *amount2 != "0" && unit2) {
            text += " " + *amount2 + " " + *unit2;
        }
    }
    return text;
}

}  // namespace

std::optional<std::string> MacGourmetImporter::getUnit(std::int64_t unitId) {
    switch (unitId) {
        case 0:
            return "days";
        case 1:
            return "hours";
        case 2:
            return "minutes";
        default:
            return std::nullopt;
    }
}

std::string MacGourmetImporter::parseIngredient(const JsonValue& record) {
    std::string line;
    for (std::string_view key : {"QUANTITY", "MEASUREMENT", "DESCRIPTION", "DIRECTION"}) {
        if (auto part = plistNonEmptyText(plistMember(&record, key))) {
            line += *part + " ";
        }
    }
    return line;
}

std::string MacGourmetImporter::parseIngredients(const JsonValue* records) {
    std::vector<std::string> lines;
    for (const JsonValue& record : plistArray(records)) {
        const JsonValue* divider = plistMember(&record, "DIVIDER_INGREDIENT");
        if (divider == nullptr) {
            lines.push_back(parseIngredient(record));
            continue;
        }
        if (!lines.empty()) {
            lines.emplace_back();
        }
        std::string heading = plistText(plistMember(divider, "DESCRIPTION")).value_or("");
        if (!heading.ends_with(':')) {
            heading += ":";
        }
        lines.push_back(std::move(heading));
        for (const JsonValue& member : plistArray(plistMember(&record, "INGREDIENTS"))) {
            lines.push_back(parseIngredient(member));
        }
    }
    return joined(lines, "\n");
}

std::string MacGourmetImporter::parseDirections(const JsonValue* entries) {
    std::string text;
    for (const JsonValue& entry : plistArray(entries)) {
        text += plistText(plistMember(&entry, "DIRECTION_TEXT")).value_or("") + "\n\n";
    }
    return text;
}

std::string MacGourmetImporter::parseDifficulty(const JsonValue* number) {
    const std::int64_t value = plistInteger(number);
    if (value <= 2) {
        return "Easy";
    }
    return value <= 4 ? "Medium" : "Hard";
}

std::vector<std::string> MacGourmetImporter::parseCategories(const JsonValue* entries) {
    std::vector<std::string> names;
    for (const JsonValue& entry : plistArray(entries)) {
        if (auto name = plistNonEmptyText(plistMember(&entry, "NAME"))) {
            names.push_back(std::move(*name));
        }
    }
    return names;
}

std::string MacGourmetImporter::parsePrepTime(const JsonValue* records) {
    return timeOfTypes(records, {8, 9});
}

std::string MacGourmetImporter::parseCookTime(const JsonValue* records) {
    return timeOfTypes(records, {5, 12});
}

Result<void> MacGourmetImporter::importRecipe(const JsonValue& dictionary) {
    const auto member = [&](std::string_view key) { return plistMember(&dictionary, key); };
    auto recipe = insertRecipe();
    std::string directions = plistText(member("DIRECTIONS")).value_or("");
    if (directions.empty()) {
        directions = parseDirections(member("DIRECTIONS_LIST"));
    }
    std::string ingredients = parseIngredients(member("INGREDIENTS"));
    if (ingredients.empty()) {
        ingredients = parseIngredients(member("INGREDIENTS_TREE"));
    }
    recipe->setName(plistText(member("NAME")));
    recipe->setDifficulty(parseDifficulty(member("DIFFICULTY")));
    recipe->setServings(plistText(member("SERVINGS")));
    recipe->setPrepTime(parsePrepTime(member("PREP_TIMES")));
    recipe->setCookTime(parseCookTime(member("PREP_TIMES")));
    recipe->setSource(plistText(member("SOURCE")));
    recipe->setSourceUrl(plistText(member("URL")));
    recipe->setIngredients(std::move(ingredients));
    recipe->setDirections(std::move(directions));
    recipe->setNotes(plistText(member("NOTE")));
    recipe->setNutritionalInfo(plistText(member("NUTRITION")));
    setPhotoFrom(*recipe, member("IMAGE"));
    for (const std::string& name : parseCategories(member("CATEGORIES"))) {
        addCategoryToRecipe(name, *recipe);
    }
    return recipeFinished(*recipe);
}

ImportOutcome MacGourmetImporter::parseFile(const std::filesystem::path& path) {
    auto recipes = readRecipeArray(path);
    if (!recipes) {
        return outcome(recipes.error());
    }
    return importEach(*recipes,
                      [this](const JsonValue& dictionary) { return importRecipe(dictionary); });
}

}  // namespace miravel
