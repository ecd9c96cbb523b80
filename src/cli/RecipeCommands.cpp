#include <charconv>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "ingredients/RecipeScaler.h"
#include "lib/JsonWriter.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"

namespace miravel::cli {

namespace {

// The text options of "recipe add", by dictionary key with dashes, and their attribute.
struct TextField {
    const char* option;
    const char* attribute;
    const char* help;
};
constexpr TextField kTextFields[] = {
    {"name", "name", "the title (required)"},
    {"ingredients", "ingredients", "ingredient lines, one per line"},
    {"directions", "directions", "the method"},
    {"servings", "servings", "e.g. 4, or 6 servings"},
    {"prep-time", "prepTime", "e.g. 15 minutes"},
    {"cook-time", "cookTime", "e.g. 1 hour"},
    {"difficulty", "difficulty", "Easy, Medium or Hard"},
    {"source", "source", "a site or book"},
    {"source-url", "sourceUrl", "the web address of the source"},
    {"notes", "notes", "free text"},
    {"nutritional-info", "nutritionalInfo", "free text"},
};

int add(Invocation& invocation) {
    auto name = invocation.option("name");
    if (!name || name->empty()) {
        return invocation.usageError("a recipe needs a name (--name).");
    }
    std::optional<std::int64_t> rating;
    if (auto text = invocation.option("rating")) {
        std::int64_t value = -1;
        auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size() || value < 0 || value > 5) {
            return invocation.usageError("--rating takes a number of stars from 0 to 5.");
        }
        rating = value;
    }
    if (auto difficulty = invocation.option("difficulty");
        difficulty && !difficulty->empty() && *difficulty != "Easy" && *difficulty != "Medium" &&
        *difficulty != "Hard") {
        return invocation.usageError("--difficulty takes Easy, Medium or Hard.");
    }
    LibrarySession session(invocation.library, invocation.err);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    auto recipe = context->insert<Recipe>();
    for (const auto& field : kTextFields) {
        if (auto value = invocation.option(field.option)) {
            recipe->setValue(field.attribute, *value);
        }
    }
    if (rating) {
        recipe->setRating(rating);
    }
    if (invocation.has("favorite")) {
        recipe->setOnFavorites(true);
    }
    recipe->setCreated(std::chrono::system_clock::now());
    recipe->setModified();
    saveContext(*context, session.hooks());
    invocation.out << recipe->uid() << "\n";
    return kExitOk;
}

void printField(std::ostream& out, const char* label, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
        out << label << ": " << *value << "\n";
    }
}

void printBlock(std::ostream& out, const char* label, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
        out << "\n" << label << ":\n" << *value << "\n";
    }
}

int show(Invocation& invocation) {
    // --scale shows another size for this once; otherwise the recipe's own scale applies, as
    // in the recipe view.
    std::optional<RCRationalNumber> scale;
    if (auto text = invocation.option("scale")) {
        if (invocation.has("json")) {
            return invocation.usageError("--json prints the stored recipe; it takes no --scale.");
        }
        scale = parseScaleFactor(*text);
        if (!scale) {
            const std::string wanted = "a factor greater than zero such as 3/2, 2 or \"1 1/2\"";
            return invocation.usageError("--scale takes " + wanted + ", not \"" + *text + "\".");
        }
    }
    return withNamedRecipe(invocation, [&](LibrarySession&, ManagedObjectContext&,
                                           const std::shared_ptr<Recipe>& recipe) {
        if (invocation.has("json")) {
            invocation.out << JsonWriter::write(JsonValue(recipe->objectDictionaryWithHash()))
                           << "\n";
            return kExitOk;
        }
        std::ostream& out = invocation.out;
        out << recipe->name().value_or("") << "\n";
        out << "Categories: " << RecipeCategory::categoriesToString(recipe->categories()) << "\n";
        const auto factor = invocation.has("scale") ? scale : recipe->scaledFraction();
        if (factor && !factor->isEqualToOne()) {
            out << "Scaled by: " << factor->mixedNumber() << "\n";
        }
        printField(out, "Servings", RecipeScaler::scaleServings(recipe->servings(), factor));
        printField(out, "Preparation time", recipe->prepTime());
        printField(out, "Cooking time", recipe->cookTime());
        printField(out, "Difficulty", recipe->difficulty());
        if (auto rating = recipe->rating(); rating && *rating > 0) {
            out << "Rating: "
                << std::string(static_cast<std::size_t>(std::min<std::int64_t>(*rating, 5)), '*')
                << "\n";
        }
        printField(out, "Source", recipe->source());
        printField(out, "Source address", recipe->sourceUrl());
        if (recipe->onFavorites().value_or(false)) {
            out << "In favourites\n";
        }
        printBlock(out, "Ingredients",
                   RecipeScaler::scaleIngredients(recipe->ingredients(), factor));
        printBlock(out, "Directions", recipe->directions());
        printBlock(out, "Notes", recipe->notes());
        printBlock(out, "Nutrition", recipe->nutritionalInfo());
        out << "\nUid: " << recipe->uid() << "\n";
        return kExitOk;
    });
}

}  // namespace

void addRecipeVerbs(CommandLine& commandLine) {
    std::vector<OptionSpec> addOptions;
    for (const auto& field : kTextFields) {
        addOptions.push_back({field.option, "TEXT", field.help});
    }
    addOptions.push_back({"rating", "STARS", "0 to 5"});
    addOptions.push_back({"favorite", "", "put it in the favourites"});
    commandLine.add({"recipe", "add", "", "Add a recipe to the library; prints its uid.",
                     addOptions, 0, 0, add});
    commandLine.add({"recipe",
                     "show",
                     "NAME|UID",
                     "Show one recipe; --json prints its dictionary form with its hash.",
                     {{"json", "", "the dictionary form as JSON"},
                      {"scale", "FACTOR", "ingredients and servings at 3/2, 2, \"1 1/2\"..."}},
                     1,
                     1,
                     show});
}

}  // namespace miravel::cli
