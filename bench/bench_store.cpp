// The library store at the sizes a long-time user reaches, each beside the same work done
// with SQLite directly (the baseline), so the cost of the store layer shows as a ratio.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <unistd.h>
#include <filesystem>
#include <random>
#include <string>

#include "RecipeLibrary.h"
#include "lib/Crypto.h"
#include "model/Recipe.h"
#include "store/ManagedObjectContext.h"

using namespace miravel;

using namespace miravel::bench;

namespace {

void BM_SaveNewRecipes(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    std::mt19937 random(7);
    std::vector<RecipeText> texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(makeRecipe(random, i));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = scratchFolder("save");
        auto coordinator = openStore(folder);
        state.ResumeTiming();
        ManagedObjectContext context(coordinator, MergePolicy::StoreWins);
        for (const auto& text : texts) {
            fillRecipe(*context.insert<Recipe>(), text);
        }
        if (!context.save()) {
            state.SkipWithError("save failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SaveNewRecipes)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BaselineSqliteInsert(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    std::mt19937 random(7);
    std::vector<RecipeText> texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(makeRecipe(random, i));
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = scratchFolder("baseline-save");
        state.ResumeTiming();
        sqlite3* db = nullptr;
        sqlite3_open((folder / "raw.sqlite").c_str(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE r (id INTEGER "
                     "PRIMARY KEY, uid TEXT, name TEXT, ingredients TEXT, directions TEXT, notes "
                     "TEXT, servings TEXT, prepTime TEXT, cookTime TEXT, source TEXT, status "
                     "TEXT); BEGIN",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO r VALUES (?,?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr);
        int id = 0;
        for (const auto& text : texts) {
            std::string uid = newUid();
            sqlite3_bind_int(insert, 1, ++id);
            sqlite3_bind_text(insert, 2, uid.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, text.name.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 4, text.ingredients.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 5, text.directions.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, text.notes.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 7, "4", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 8, "20 minutes", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 9, "1 hour", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 10, "Family cookbook", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 11, "modified", -1, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_BaselineSqliteInsert)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SearchNameContainsIgnoringCaseAndAccents(benchmark::State& state) {
    auto coordinator = openStore(libraryOf(50000));
    auto predicate = *Predicate::parse("name contains[cd] %@", {Value("CREME BRULEE 4")});
    std::size_t found = 0;
    for (auto _ : state) {
        ManagedObjectContext context(coordinator, MergePolicy::StoreWins);
        auto recipes = context.executeFetchRequest(FetchRequest{"Recipe", predicate, {}, 0, true});
        found = recipes ? recipes->size() : 0;
    }
    state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchNameContainsIgnoringCaseAndAccents)->Unit(benchmark::kMillisecond);

void BM_BaselineSqliteLike(benchmark::State& state) {
    auto file = libraryOf(50000) / "Miravel.sqlite";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);  // as the store
    sqlite3_stmt* query = nullptr;
    // LIKE folds ASCII case only: less than the store promises, the cheapest comparable scan.
    sqlite3_prepare_v2(db, "SELECT id, name FROM Recipe WHERE name LIKE '%creme brulee 4%'", -1,
                       &query, nullptr);
    for (auto _ : state) {
        int rows = 0;
        while (sqlite3_step(query) == SQLITE_ROW) {
            ++rows;
        }
        sqlite3_reset(query);
        benchmark::DoNotOptimize(rows);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
}
BENCHMARK(BM_BaselineSqliteLike)->Unit(benchmark::kMillisecond);

void BM_HashRecipes(benchmark::State& state) {
    auto coordinator = openStore(libraryOf(10000));
    ManagedObjectContext context(coordinator, MergePolicy::StoreWins);
    auto recipes = *context.fetch<Recipe>();
    for (auto _ : state) {
        for (const auto& recipe : recipes) {
            benchmark::DoNotOptimize(recipe->generateHash());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(recipes.size()));
}
BENCHMARK(BM_HashRecipes)->Unit(benchmark::kMillisecond);

void BM_BaselineSha256OfSameBytes(benchmark::State& state) {
    auto coordinator = openStore(libraryOf(10000));
    ManagedObjectContext context(coordinator, MergePolicy::StoreWins);
    std::vector<std::string> texts;
    auto recipes = context.fetch<Recipe>();
    for (const auto& recipe : *recipes) {
        texts.push_back(recipe->objectData());
    }
    for (auto _ : state) {
        for (const auto& text : texts) {
            benchmark::DoNotOptimize(sha256Hex(text));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}
BENCHMARK(BM_BaselineSha256OfSameBytes)->Unit(benchmark::kMillisecond);

void BM_OpenStoreAndCount(benchmark::State& state) {
    auto folder = libraryOf(50000);
    for (auto _ : state) {
        auto coordinator = openStore(folder);
        ManagedObjectContext context(coordinator, MergePolicy::InMemoryWins);
        auto count = context.countForFetchRequest(
            FetchRequest{"Recipe",
                         Predicate::parse("status != 'deleted' || status == nil").value(),
                         {},
                         0,
                         true});
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_OpenStoreAndCount)->Unit(benchmark::kMillisecond);

void BM_BaselineSqliteOpenAndCount(benchmark::State& state) {
    auto file = libraryOf(50000) / "Miravel.sqlite";
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM Recipe WHERE status IS NOT 'deleted'", -1,
                           &query, nullptr);
        sqlite3_step(query);
        benchmark::DoNotOptimize(sqlite3_column_int(query, 0));
        sqlite3_finalize(query);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_BaselineSqliteOpenAndCount)->Unit(benchmark::kMillisecond);

}  // namespace
