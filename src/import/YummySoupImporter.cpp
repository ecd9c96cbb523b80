#include "import/YummySoupImporter.h"

#include "lib/PropertyList.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

void replaceAll(std::string& text, std::string_view what, std::string_view by) {
    if (what.empty()) {
        return;
    }
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size())) {
        text.replace(at, what.size(), by);
    }
}

}  // namespace

std::string YummySoupImporter::parseIngredients(const JsonValue* text) {
    const auto source = plistText(text);
    if (!source) {
        return "";
    }
    auto records = readTextPropertyList(*source);
    if (!records) {
        return "";
    }
    std::string lines;
    for (const JsonValue& record : plistArray(&*records)) {
        std::optional<std::string> quantity;
        std::optional<std::string> measurement;
        std::optional<std::string> name;
        std::optional<std::string> method;
        if (record.isObject()) {
            quantity = plistNonEmptyText(plistMember(&record, "quantity"));
            measurement = plistNonEmptyText(plistMember(&record, "measurement"));
            name = plistNonEmptyText(plistMember(&record, "name"));
            method = plistNonEmptyText(plistMember(&record, "method"));
        } else if (record.isArray() && record.asArray().size() >= 3) {
            const JsonArray& parts = record.asArray();
            quantity = plistNonEmptyText(&parts[0]);
            measurement = plistNonEmptyText(&parts[1]);
            name = plistNonEmptyText(&parts[2]);
        }
        for (const auto& part : {quantity, measurement, name}) {
            if (part) {
                lines += *part + " ";
            }
        }
        if (method) {
            lines += ", " + *method + " ";
        }
        lines += "\n";
    }
    return lines;
}

std::string YummySoupImporter::parseDifficulty(const JsonValue* number) {
    switch (plistInteger(number)) {
        case 2:
            return "Medium";
        case 3:
            return "Hard";
        default:
            return "Easy";
    }
}

std::string YummySoupImporter::flattenHTML(std::string_view html) {
    // One pass from tag to tag: replacing each tag's text all over the text again, once per
    // tag, gives the same result and takes quadratic time on a long text of many tags.
    std::string text;
    text.reserve(html.size());
    std::size_t at = 0;
    while (at < html.size()) {
        const auto open = html.find('<', at);
        const auto close = open == std::string_view::npos ? open : html.find('>', open);
        if (close == std::string_view::npos) {
            text.append(html.substr(at));
            break;
        }
        text.append(html.substr(at, open - at));
        text.push_back(' ');
        at = close + 1;
    }
    return text;
}

std::string YummySoupImporter::parseDirections(std::string_view html) {
    std::string text = flattenHTML(html);
    for (std::string_view marker : {"SecondImage", "ThirdImage", "FourthImage", "FifthImage"}) {
        replaceAll(text, marker, "");
    }
    return text;
}

Result<void> YummySoupImporter::importRecipe(const JsonValue& dictionary) {
    const auto member = [&](std::string_view key) { return plistMember(&dictionary, key); };
    auto recipe = insertRecipe();
    recipe->setName(plistText(member("name")));
    recipe->setSource(plistText(member("attribution")));
    recipe->setSourceUrl(plistText(member("importedFromURL")));
    recipe->setServings(plistText(member("yield")));
    recipe->setPrepTime(plistText(member("inactivePrepTime")));
    recipe->setCookTime(plistText(member("cookingTime")));
    if (member("rating") != nullptr) {
        recipe->setRating(plistInteger(member("rating")));
    }
    recipe->setNotes(plistText(member("notes")));
    recipe->setDifficulty(parseDifficulty(member("difficulty")));
    if (auto directions = plistText(member("directions"))) {
        recipe->setDirections(parseDirections(*directions));
    }
    recipe->setIngredients(parseIngredients(member("ingredientsArray")));
    setPhotoFrom(*recipe,
                 member("firstImage") != nullptr ? member("firstImage") : member("image1"));
    addCategoriesToRecipe(plistText(member("keywords")).value_or(""), *recipe);
    return recipeFinished(*recipe);
}

ImportOutcome YummySoupImporter::parseFile(const std::filesystem::path& path) {
    auto recipes = readRecipeArray(path);
    if (!recipes) {
        return outcome(recipes.error());
    }
    return importEach(*recipes,
                      [this](const JsonValue& dictionary) { return importRecipe(dictionary); });
}

}  // namespace miravel
