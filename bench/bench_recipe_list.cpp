// The recipe list switching category and searching by ingredient over a large library, beside
// the same query run on a plain context (what the list adds) and straight in SQLite with LIKE
// (what the store adds).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>

#include "LabelledLines.h"
#include "RecipeLibrary.h"
#include "library/RecipesController.h"
#include "model/RecipeCategory.h"
#include "store/QVArrayController.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

constexpr int kRecipes = 50000;
constexpr int kCategories = 20;

// Every recipe filed in one of the categories, a tenth of them favourites, ratings and dates
// spread out. `ingredients`, when given, replaces each recipe's made-up ingredient text.
std::filesystem::path makeLibrary(const std::string& name,
                                  const std::function<std::string(int)>& ingredients) {
    auto made = scratchFolder(name);
    ManagedObjectContext context(openStore(made), MergePolicy::StoreWins);
    std::vector<std::shared_ptr<RecipeCategory>> categories;
    for (int i = 0; i < kCategories; ++i) {
        categories.push_back(context.insert<RecipeCategory>());
        categories.back()->setName("Category " + std::to_string(i));
        categories.back()->setOrderFlag(i + 1);
    }
    std::mt19937 random(7);
    auto start = currentMoment() - std::chrono::hours(24 * 365 * 5);
    for (int i = 0; i < kRecipes; ++i) {
        auto recipe = context.insert<Recipe>();
        fillRecipe(*recipe, makeRecipe(random, i));
        if (ingredients) {
            recipe->setIngredients(ingredients(i));
        }
        recipe->setRating(i % 6);
        recipe->setOnFavorites(i % 10 == 0);
        recipe->setCreated(start + std::chrono::minutes(i * 53));
        recipe->addCategory(categories[static_cast<std::size_t>(i % kCategories)]);
    }
    if (!context.save()) {
        std::abort();
    }
    return made;
}

// Made-up ingredient lines drawn from 21 words: every recipe holds nearly every word, so a
// search for two of them lists half the library and every index list is long. The worst case.
const std::filesystem::path& categorizedLibrary() {
    static const std::filesystem::path folder =
        makeLibrary("recipe-list-" + std::to_string(kRecipes), {});
    return folder;
}

// Ingredient lists as people write them: twelve consecutive lines of the shared corpus's
// labelled files (which list each recipe's lines together), from a different place for each
// recipe. Empty when the corpus is absent.
std::optional<std::filesystem::path> corpusLibrary() {
    static const std::optional<std::filesystem::path> folder =
        []() -> std::optional<std::filesystem::path> {
        std::vector<std::string> lines;
        for (const char* file : {"strangetom-bbc-ingredients-snapshot-2017.csv",
                                 "strangetom-cookstr-ingredients-snapshot-2017.csv",
                                 "nyt-ingredients-2015-testing-labels.csv"}) {
            auto text = readFile(std::filesystem::path(MIRAVEL_CORPUS) / "ingredients" / file);
            if (text) {
                auto more = inputLines(*text);
                lines.insert(lines.end(), more.begin(), more.end());
            }
        }
        if (lines.size() < 1000) {
            return std::nullopt;
        }
        std::mt19937 random(11);
        return makeLibrary("recipe-list-corpus-" + std::to_string(kRecipes), [&](int) {
            const std::size_t first = random() % (lines.size() - 12);
            std::string text;
            for (std::size_t line = first; line < first + 12; ++line) {
                text += lines[line] + "\n";
            }
            return text;
        });
    }();
    return folder;
}

struct Library {
    explicit Library(const std::filesystem::path& folder = categorizedLibrary())
        : context(openStore(folder), MergePolicy::InMemoryWins) {
        categories = *context.fetch<RecipeCategory>(std::nullopt, {SortDescriptor("orderFlag")});
    }
    ManagedObjectContext context;
    std::vector<std::shared_ptr<RecipeCategory>> categories;
};

void BM_ListSwitchCategory(benchmark::State& state) {
    Library library;
    RecipesController controller(library.context);
    std::size_t next = 0;
    for (auto _ : state) {
        controller.setCategory(library.categories[next++ % library.categories.size()]);
        benchmark::DoNotOptimize(controller.count());
    }
    state.counters["listed"] = static_cast<double>(controller.count());
}
BENCHMARK(BM_ListSwitchCategory)->Unit(benchmark::kMillisecond);

void BM_BaselineContextFetchCategory(benchmark::State& state) {
    Library library;
    std::size_t next = 0;
    std::size_t listed = 0;
    for (auto _ : state) {
        const auto& category = library.categories[next++ % library.categories.size()];
        auto predicate =
            Predicate::parse(std::string("(") + kLiveStatusPredicate + ") AND %@ in categories",
                             {Value(category->objectID())});
        auto recipes =
            library.context.fetch<Recipe>(*predicate, {SortDescriptor::localized("name")});
        listed = recipes->size();
    }
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_BaselineContextFetchCategory)->Unit(benchmark::kMillisecond);

void BM_ListSwitchToAllRecipes(benchmark::State& state) {
    Library library;
    RecipesController controller(library.context);
    for (auto _ : state) {
        controller.setCategory(std::string(kPresetAllRecipes));
        benchmark::DoNotOptimize(controller.count());
    }
    state.counters["listed"] = static_cast<double>(controller.count());
}
BENCHMARK(BM_ListSwitchToAllRecipes)->Unit(benchmark::kMillisecond);

// The pane showing every recipe, then searching its ingredients for `text`.
void searchIngredients(benchmark::State& state, const std::filesystem::path& folder,
                       const std::string& text) {
    Library library(folder);
    RecipesController controller(library.context);
    controller.setCategory(std::string(kPresetAllRecipes));
    controller.changeSearchContext(kSearchByIngredient);
    for (auto _ : state) {
        controller.search(text);
        benchmark::DoNotOptimize(controller.count());
    }
    state.counters["listed"] = static_cast<double>(controller.count());
}

void BM_ListSearchIngredients(benchmark::State& state) {
    searchIngredients(state, categorizedLibrary(), "chicken, garlic");
}
BENCHMARK(BM_ListSearchIngredients)->Unit(benchmark::kMillisecond);

// The same search over ingredient lists as people write them.
void BM_ListSearchIngredientsCorpus(benchmark::State& state) {
    auto folder = corpusLibrary();
    if (!folder) {
        state.SkipWithError("the shared corpus is absent");
        return;
    }
    searchIngredients(state, *folder, "chicken, garlic");
}
BENCHMARK(BM_ListSearchIngredientsCorpus)->Unit(benchmark::kMillisecond);

// A word no recipe holds: what a search costs before it lists anything.
void BM_ListSearchIngredientsNoMatch(benchmark::State& state) {
    searchIngredients(state, categorizedLibrary(), "saffron");
}
BENCHMARK(BM_ListSearchIngredientsNoMatch)->Unit(benchmark::kMillisecond);

// The list's search as a live result, loading whole rows (as the list did before naming its
// properties) or only the properties the list names: the two side by side in one run. Each
// search runs on a new context, as the first search of a session does: one that has loaded
// the rows before reads only what its objects lack.
void liveIngredientSearch(benchmark::State& state, std::vector<std::string> properties) {
    auto coordinator = openStore(categorizedLibrary());
    auto predicate = *Predicate::parse(std::string("(") + kLiveStatusPredicate +
                                           ") AND ingredients contains[cd] %@ AND "
                                           "ingredients contains[cd] %@",
                                       {Value("chicken"), Value("garlic")});
    std::size_t listed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto context =
            std::make_unique<ManagedObjectContext>(coordinator, MergePolicy::InMemoryWins);
        auto list =
            std::make_unique<QVArrayController>(FetchRequest{Recipe::kEntityName,
                                                             predicate,
                                                             {SortDescriptor::localized("name")},
                                                             0,
                                                             true,
                                                             properties},
                                                context.get());
        state.ResumeTiming();
        if (!list->performFetch()) {
            std::abort();
        }
        listed = list->arrangedObjects().size();
        state.PauseTiming();
        list.reset();
        context.reset();
        state.ResumeTiming();
    }
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_LiveSearchIngredientsWholeRows(benchmark::State& state) {
    liveIngredientSearch(state, {});
}
BENCHMARK(BM_LiveSearchIngredientsWholeRows)->Unit(benchmark::kMillisecond);

void BM_LiveSearchIngredientsListProperties(benchmark::State& state) {
    liveIngredientSearch(
        state, {"name", "created", "prepTime", "cookTime", "source", "sourceUrl", "difficulty",
                "rating", "photo", "servings", "onFavorites", "status", "uid"});
}
BENCHMARK(BM_LiveSearchIngredientsListProperties)->Unit(benchmark::kMillisecond);

void BM_BaselineContextFetchIngredients(benchmark::State& state) {
    Library library;
    std::size_t listed = 0;
    for (auto _ : state) {
        auto predicate = Predicate::parse(std::string("(") + kLiveStatusPredicate +
                                              ") AND ingredients contains[cd] %@ AND "
                                              "ingredients contains[cd] %@",
                                          {Value("chicken"), Value("garlic")});
        auto recipes =
            library.context.fetch<Recipe>(*predicate, {SortDescriptor::localized("name")});
        listed = recipes->size();
    }
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_BaselineContextFetchIngredients)->Unit(benchmark::kMillisecond);

// SQLite alone, with the store's memory map: LIKE folds ASCII case only and the order is by
// bytes, so this does less than the list promises; it is the floor.
void sqliteBaseline(benchmark::State& state, const char* sql, bool bindCategory,
                    const std::filesystem::path& folder = categorizedLibrary()) {
    auto file = folder / "Miravel.sqlite";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &query, nullptr);
    int next = 0;
    std::size_t listed = 0;
    for (auto _ : state) {
        if (bindCategory) {
            sqlite3_bind_int(query, 1, 1 + next++ % kCategories);
        }
        listed = 0;
        while (sqlite3_step(query) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(query, 1));
            ++listed;
        }
        sqlite3_reset(query);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_BaselineSqliteCategory(benchmark::State& state) {
    sqliteBaseline(state,
                   "SELECT r.id, r.name FROM Recipe r JOIN RecipeCategories c ON c.recipe = r.id "
                   "WHERE c.category = ? AND (r.status != 'deleted' OR r.status IS NULL) "
                   "ORDER BY r.name",
                   true);
}
BENCHMARK(BM_BaselineSqliteCategory)->Unit(benchmark::kMillisecond);

void BM_BaselineSqliteLikeIngredients(benchmark::State& state) {
    sqliteBaseline(state,
                   "SELECT id, name FROM Recipe WHERE (status != 'deleted' OR status IS NULL) "
                   "AND ingredients LIKE '%chicken%' AND ingredients LIKE '%garlic%' "
                   "ORDER BY name",
                   false);
}
BENCHMARK(BM_BaselineSqliteLikeIngredients)->Unit(benchmark::kMillisecond);

void BM_BaselineSqliteLikeIngredientsCorpus(benchmark::State& state) {
    auto folder = corpusLibrary();
    if (!folder) {
        state.SkipWithError("the shared corpus is absent");
        return;
    }
    sqliteBaseline(state,
                   "SELECT id, name FROM Recipe WHERE (status != 'deleted' OR status IS NULL) "
                   "AND ingredients LIKE '%chicken%' AND ingredients LIKE '%garlic%' "
                   "ORDER BY name",
                   false, *folder);
}
BENCHMARK(BM_BaselineSqliteLikeIngredientsCorpus)->Unit(benchmark::kMillisecond);

}  // namespace
