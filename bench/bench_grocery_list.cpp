// Rebuilding the grocery list's rows: 1,000 items from 40 recipes that share many of their
// ingredients, grouped by aisle with like items merged. Goal: under 50 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "RecipeLibrary.h"
#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"
#include "model/GroceryListItem.h"
#include "model/UserSettings.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

// An ingredient as recipes ask for it: the unit it is measured in (none for counted things
// and for seasonings) and how it is sometimes prepared.
struct Asked {
    const char* name;
    const char* unit;
    const char* preparation;
};

const Asked kPantry[] = {
    {"all-purpose flour", "cups", ", sifted"},
    {"sugar", "cups", ""},
    {"butter", "tablespoons", ", melted"},
    {"milk", "cups", ""},
    {"eggs", "", ", beaten"},
    {"onion", "", ", chopped"},
    {"garlic", "cloves", ", minced"},
    {"olive oil", "tablespoons", ""},
    {"salt", "", " to taste"},
    {"black pepper", "teaspoons", ""},
    {"chicken stock", "cups", ""},
    {"tomatoes", "", ", diced"},
    {"carrots", "", ", peeled"},
    {"lemon juice", "tablespoons", ""},
    {"baking powder", "teaspoons", ""},
    {"vanilla extract", "teaspoons", ""},
    {"heavy cream", "cups", ""},
    {"parmesan cheese", "cups", ", grated"},
    {"rice", "cups", ""},
    {"ground beef", "pounds", ""},
    {"celery", "stalks", ", sliced"},
    {"potatoes", "pounds", ", cubed"},
    {"brown sugar", "cups", ", packed"},
    {"cinnamon", "teaspoons", ""},
    {"fresh parsley", "tablespoons", ", chopped"},
    {"soy sauce", "tablespoons", ""},
    {"honey", "tablespoons", ""},
    {"mushrooms", "ounces", ", sliced"},
    {"spinach", "cups", ""},
    {"cheddar cheese", "cups", ", shredded"},
    {"red bell pepper", "", ", diced"},
    {"ginger", "teaspoons", ", grated"},
    {"cumin", "teaspoons", ""},
    {"paprika", "teaspoons", ""},
    {"oregano", "teaspoons", ", dried"},
    {"chicken breasts", "pounds", ""},
    {"bacon", "slices", ""},
    {"walnuts", "cups", ", toasted"},
    {"yogurt", "cups", ""},
    {"limes", "", ""},
};
const char* const kAmounts[] = {"1", "2", "1/2", "3/4", "1 1/2", "3", "1/4"};

// The main context of a library whose grocery list holds `count` items, 25 per recipe.
struct GroceryLibrary {
    explicit GroceryLibrary(int count)
        : folder(scratchFolder("grocery-" + std::to_string(count))),
          context(openStore(folder), MergePolicy::InMemoryWins),
          settings(folder / "Settings.json") {
        settings.configureDefaults();
        std::mt19937 random(8);
        constexpr int kPerRecipe = 25;
        for (int i = 0; i < count; ++i) {
            const Asked& asked = kPantry[random() % std::size(kPantry)];
            std::string line;
            if (std::string(asked.name) != "salt") {
                line = std::string(kAmounts[random() % std::size(kAmounts)]) + " ";
            }
            // Some lines measure differently or name a size, which a merge must refuse.
            if (*asked.unit != '\0') {
                const char* unit = asked.unit;
                if (random() % 6 == 0) {
                    unit = std::string(unit) == "cups" ? "tablespoons" : "ounces";
                }
                line += std::string(unit) + " ";
            } else if (random() % 4 == 0) {
                line += "large ";
            }
            line += std::string(asked.name) + (random() % 3 == 0 ? asked.preparation : "");
            auto item = context.insert<GroceryListItem>();
            item->setRecipeName("Recipe " + std::to_string(i / kPerRecipe));
            item->setNameAndUpdateAisle(line);
            item->setOrderFlag(i % kPerRecipe);
            item->setPurchased(random() % 5 == 0);
            item->setStatus(kStatusUnmodified);
        }
        if (!context.save()) {
            std::abort();
        }
    }

    std::filesystem::path folder;
    ManagedObjectContext context;
    UserSettings settings;
};

// The list fetched and grouped again, as after a change of the sidebar, filter or a setting.
void BM_FetchAndRebuildRows1000(benchmark::State& state) {
    GroceryLibrary library(1000);
    GroceryListController list(library.context, library.settings);
    GroceryListCategoriesController sidebar(library.context, list);
    sidebar.start();
    for (auto _ : state) {
        list.fetchGroceryList();
    }
    state.counters["rows"] = static_cast<double>(list.items().size() - list.sections().size());
    state.counters["sections"] = static_cast<double>(list.sections().size());
}

// Baseline: the same list with merging off, one row per item (what consolidation adds).
void BM_RebuildRowsWithoutConsolidation1000(benchmark::State& state) {
    GroceryLibrary library(1000);
    GroceryListController list(library.context, library.settings);
    GroceryListCategoriesController sidebar(library.context, list);
    sidebar.start();
    list.setConsolidateGroceryList(false);
    for (auto _ : state) {
        list.fetchGroceryList();
    }
    state.counters["rows"] = static_cast<double>(list.items().size() - list.sections().size());
}

// Baseline: the list's query alone on a plain context, same predicate and order (what the
// grouping and rows add).
void BM_PlainFetch1000(benchmark::State& state) {
    GroceryLibrary library(1000);
    auto live = Predicate::parse(kLiveStatusPredicate);
    for (auto _ : state) {
        auto items = library.context.fetch<GroceryListItem>(
            *live, {SortDescriptor("aisle"), SortDescriptor("ingredient"), SortDescriptor("name")});
        benchmark::DoNotOptimize(items);
    }
}

// One row checked off: the live list hears the save and rebuilds every row.
void BM_CheckOffAndRebuildRows1000(benchmark::State& state) {
    GroceryLibrary library(1000);
    GroceryListController list(library.context, library.settings);
    GroceryListCategoriesController sidebar(library.context, list);
    sidebar.start();
    std::size_t index = 1;
    for (auto _ : state) {
        while (!list.rowAt(index % list.items().size())) {
            ++index;
        }
        if (!list.groceryListTableCellCheckboxToggled(index % list.items().size())) {
            std::abort();
        }
        index += 7;
    }
    state.counters["rows"] = static_cast<double>(list.items().size() - list.sections().size());
}

}  // namespace

BENCHMARK(BM_FetchAndRebuildRows1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckOffAndRebuildRows1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildRowsWithoutConsolidation1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFetch1000)->Unit(benchmark::kMillisecond);
