// Adding a 40-line recipe to the grocery list through the ingredient chooser: every line
// recognised into an item, the preview rows merged, the items saved and merged into the main
// context. The user waits for this between pressing "Add to Grocery List" and the sheet.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "RecipeLibrary.h"
#include "grocery/ChooseIngredientsController.h"
#include "ingredients/IngredientParser.h"
#include "lib/ResourceFolder.h"
#include "model/GroceryListItem.h"
#include "model/UserSettings.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

// Lines as recipes write them, some asking for the same thing twice so the preview merges.
const char* const kLines[] = {
    "2 1/2 cups all-purpose flour",
    "1 cup sugar",
    "1/2 cup packed brown sugar",
    "1 teaspoon baking soda",
    "1/2 teaspoon salt",
    "1 cup butter, softened",
    "2 large eggs",
    "1 teaspoon vanilla extract",
    "2 cups chocolate chips",
    "1 cup chopped walnuts",
    "3 cloves garlic, minced",
    "1 large onion, diced",
    "2 tablespoons olive oil",
    "1 (14.5 ounce) can diced tomatoes",
    "2 cups chicken stock",
    "1 pound ground beef",
    "1 red bell pepper, chopped",
    "1 green bell pepper, chopped",
    "2 carrots, peeled and sliced",
    "2 stalks celery, sliced",
    "1 teaspoon dried oregano",
    "1/2 teaspoon ground black pepper",
    "1 bay leaf",
    "1 cup milk",
    "1/4 cup grated Parmesan cheese",
    "2 tablespoons chopped fresh parsley",
    "1 lemon, juiced",
    "1 tablespoon butter",
    "1/2 cup sour cream",
    "8 ounces spaghetti",
    "1 cup frozen peas",
    "2 potatoes, cubed",
    "1 (15 ounce) can black beans, drained",
    "1 teaspoon ground cumin",
    "1 tablespoon chili powder",
    "salt and pepper to taste",
    "1 cup sugar",
    "1 cup milk",
    "2 tablespoons olive oil",
    "1/2 teaspoon salt",
};
static_assert(std::size(kLines) == 40);

struct GroceryLibrary {
    GroceryLibrary()
        : folder(scratchFolder("grocery-chooser")),
          context(openStore(folder), MergePolicy::InMemoryWins),
          settings(folder / "Settings.json") {
        // The parser loads its lists and reference store once per process, not per sheet.
        IngredientParser::sharedParser().getAisle("1 cup flour");
        std::string ingredients;
        for (const char* line : kLines) {
            ingredients += std::string(line) + "\n";
        }
        recipe = context.insert<Recipe>();
        recipe->setName("Weeknight Dinner and Cookies");
        recipe->setIngredients(ingredients);
        // A list already in use: items from earlier recipes stay in the store.
        for (int i = 0; i < 200; ++i) {
            auto item = context.insert<GroceryListItem>();
            item->setNameAndUpdateAisle(kLines[i % std::size(kLines)]);
            item->setRecipeName("Earlier recipe " + std::to_string(i / 20));
        }
        if (!context.save()) {
            std::abort();
        }
    }

    // Removes what one press added, so every iteration meets the same list.
    void removeAddedItems() {
        auto added = context.fetch<GroceryListItem>(*Predicate::parse(
            "recipeName == %@", {Value(std::string("Weeknight Dinner and Cookies"))}));
        for (const auto& item : *added) {
            context.deleteObject(item);
        }
        if (!context.save()) {
            std::abort();
        }
    }

    std::filesystem::path folder;
    ManagedObjectContext context;
    UserSettings settings;
    std::shared_ptr<Recipe> recipe;
};

void BM_ChooserAddsFortyLineRecipe(benchmark::State& state) {
    // Recognition needs the reference store (target miravel_reference_store).
    if (!resourcePath("Ingredients.sqlite")) {
        state.SkipWithError("no reference store in the build tree");
        return;
    }
    GroceryLibrary library;
    std::size_t rows = 0;
    for (auto _ : state) {
        ChooseIngredientsController chooser(library.context, {library.recipe}, library.settings);
        rows = chooser.consolidatedItems().size();
        if (auto done = chooser.donePressed(); !done) {
            state.SkipWithError(done.error().description.c_str());
            break;
        }
        state.PauseTiming();
        library.removeAddedItems();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// Baseline: the same 40 items recognised, inserted straight into the main context and saved,
// without the private context, the preview rows and the merge (what the chooser adds).
void BM_PlainInsertOfFortyItems(benchmark::State& state) {
    if (!resourcePath("Ingredients.sqlite")) {
        state.SkipWithError("no reference store in the build tree");
        return;
    }
    GroceryLibrary library;
    for (auto _ : state) {
        const auto lines = library.recipe->ingredientsArray();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            auto item = library.context.insert<GroceryListItem>();
            item->setRecipeName(library.recipe->name());
            item->setNameAndUpdateAisle(lines[i]);
            item->setOrderFlag(static_cast<std::int64_t>(i));
        }
        if (auto saved = library.context.save(); !saved) {
            state.SkipWithError(saved.error().description.c_str());
            break;
        }
        state.PauseTiming();
        library.removeAddedItems();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_ChooserAddsFortyLineRecipe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainInsertOfFortyItems)->Unit(benchmark::kMillisecond);

}  // namespace
