// Rebuilding the grocery list's rows: 1,000 items from 40 recipes that share many of their
// ingredients, grouped by aisle with like items merged. Goal: under 50 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "GroceryItems.h"
#include "RecipeLibrary.h"
#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"
#include "model/GroceryListItem.h"
#include "model/UserSettings.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

// The main context of a library whose grocery list holds `count` items, 25 per recipe.
struct GroceryLibrary {
    explicit GroceryLibrary(int count)
        : folder(scratchFolder("grocery-" + std::to_string(count))),
          context(openStore(folder), MergePolicy::InMemoryWins),
          settings(folder / "Settings.json") {
        settings.configureDefaults();
        fillGroceryList(context, count);
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
