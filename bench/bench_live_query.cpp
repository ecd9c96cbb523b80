// A live list following changes, beside running its query again (the baseline), which is
// what a list without change tracking would have to do after every edit.
#include <benchmark/benchmark.h>

#include "RecipeLibrary.h"
#include "model/SyncedObject.h"
#include "store/QVArrayController.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

// The main context of a library of `count` recipes with a live list of them by name.
struct LiveList {
    explicit LiveList(int count)
        : context(openStore(libraryOf(count)), MergePolicy::InMemoryWins),
          controller(FetchRequest{"Recipe",
                                  *Predicate::parse(kLiveStatusPredicate),
                                  {SortDescriptor::localized("name")},
                                  0,
                                  true},
                     &context) {
        if (!controller.performFetch()) {
            std::abort();
        }
        recipes = *context.fetch<Recipe>();
    }
    // Renames `changes` recipes spread over the list, so each one moves.
    void rename(int changes, int round) {
        std::size_t step = recipes.size() / static_cast<std::size_t>(changes);
        for (int i = 0; i < changes; ++i) {
            auto& recipe = recipes[static_cast<std::size_t>(i) * step];
            recipe->setName((round % 2 ? "aa " : "zz ") + std::to_string(i));
        }
    }

    ManagedObjectContext context;
    QVArrayController controller;
    std::vector<std::shared_ptr<Recipe>> recipes;
};

void followChanges(benchmark::State& state, int count, int changes) {
    LiveList list(count);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        list.rename(changes, ++round);
        state.ResumeTiming();
        list.context.processPendingChanges();
    }
    state.counters["listed"] = static_cast<double>(list.controller.arrangedObjects().size());
}

void fetchAgain(benchmark::State& state, int count, int changes) {
    LiveList list(count);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        list.rename(changes, ++round);
        state.ResumeTiming();
        if (!list.controller.performFetch()) {
            state.SkipWithError("fetch failed");
        }
    }
}

void BM_OneChangeIn10000(benchmark::State& state) {
    followChanges(state, 10000, 1);
}
void BM_BaselineFetchAgain10000(benchmark::State& state) {
    fetchAgain(state, 10000, 1);
}
void BM_ThousandChangesIn50000(benchmark::State& state) {
    followChanges(state, 50000, 1000);
}
void BM_BaselineFetchAgain50000(benchmark::State& state) {
    fetchAgain(state, 50000, 1000);
}

BENCHMARK(BM_OneChangeIn10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineFetchAgain10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandChangesIn50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineFetchAgain50000)->Unit(benchmark::kMillisecond);

}  // namespace
