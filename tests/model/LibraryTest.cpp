#include "model/Library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/GroceryListItem.h"
#include "model/Recipe.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/BackgroundContext.h"
#include "store/Predicate.h"
#include "store/QVArrayController.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;
using namespace std::chrono_literals;

// One library as a program holds it: its own folder, settings, centre and main queue. The
// queue's main thread is the test's.
struct OpenLibrary {
    explicit OpenLibrary(const std::string& name)
        : settings(folder / (name + ".json"), &center),
          library(folder / name, settings, IngredientParser::sharedParser(), center, queue) {
        auto opened = library.open();
        EXPECT_TRUE(opened) << (opened ? "" : opened.error().description);
    }
    ManagedObjectContext& main() { return *library.mainContext(); }
    std::vector<std::shared_ptr<Recipe>> recipes(ManagedObjectContext& context) {
        auto fetched = context.fetch<Recipe>(livePredicate(), {SortDescriptor{"name"}});
        EXPECT_TRUE(fetched);
        return fetched ? *fetched : std::vector<std::shared_ptr<Recipe>>{};
    }

    TemporaryFolder folder;
    NotificationCenter center;
    MainQueue queue;
    UserSettings settings;
    Library library;
};

std::vector<std::string> namesOf(const std::vector<std::shared_ptr<ManagedObject>>& objects) {
    std::vector<std::string> names;
    for (const auto& object : objects) {
        names.push_back(std::static_pointer_cast<Recipe>(object)->name().value_or(""));
    }
    return names;
}

TEST(LibraryTest, twoLibrariesInOneProcessNeverSeeEachOthersChanges) {
    OpenLibrary home("Home");
    OpenLibrary work("Work");
    std::vector<std::string> heard;
    Observation workChanges = work.center.addObserver(
        kObjectsDidChangeNotification, nullptr, [&](const Notification&) { heard.push_back("x"); });

    auto soup = home.main().insert<Recipe>();
    soup->setName("Soup");
    ASSERT_TRUE(home.main().save());
    home.queue.processPending();
    EXPECT_EQ(home.recipes(home.main()).size(), 1u);
    EXPECT_TRUE(work.recipes(work.main()).empty());
    EXPECT_TRUE(heard.empty());

    // Signed in at home only: a deletion there keeps its tombstone, at work it removes.
    home.library.setLoggedIn(true);
    auto pie = work.main().insert<Recipe>();
    pie->setName("Pie");
    ASSERT_TRUE(work.main().save());
    EXPECT_TRUE(isLoggedIn(home.main()));
    EXPECT_FALSE(isLoggedIn(work.main()));
    ASSERT_TRUE(Recipe::deleteRecipes(home.main(), {soup}));
    ASSERT_TRUE(Recipe::deleteRecipes(work.main(), {pie}));
    EXPECT_EQ(soup->status(), kStatusDeleted);
    EXPECT_EQ(*home.main().countForFetchRequest(FetchRequest{"Recipe", std::nullopt, {}, 0, true}),
              1u);
    EXPECT_EQ(*work.main().countForFetchRequest(FetchRequest{"Recipe", std::nullopt, {}, 0, true}),
              0u);

    EXPECT_EQ(Library::of(*soup), &home.library);
    EXPECT_EQ(Library::of(work.main()), &work.library);
    auto item = work.main().insert<GroceryListItem>();
    item->setName("2 carrots");
    EXPECT_EQ(item->aisle(), "Produce");
}

TEST(LibraryTest, twoThreadsEachSaveThroughTheirOwnContext) {
    OpenLibrary home("Home");
    constexpr int kEach = 200;
    std::atomic<int> finished = 0;
    auto work = [&](const std::string& prefix) {
        auto context = home.library.newBackgroundContext();
        for (int i = 0; i < kEach; ++i) {
            context->insert<Recipe>()->setName(prefix + std::to_string(i));
            if (i % 50 == 49) {
                EXPECT_TRUE(context->save());
            }
        }
        ++finished;
        home.queue.post([] {});  // lets the waiting main thread look at the count again
    };
    std::thread first(work, "a");
    std::thread second(work, "b");
    EXPECT_TRUE(home.queue.runUntil([&] { return finished == 2; }, 60s));
    first.join();
    second.join();
    home.queue.processPending();
    EXPECT_EQ(home.recipes(home.main()).size(), 2u * kEach);
}

class RecordingList : public QVArrayControllerDelegate {
public:
    void controllerDidChangeContent(QVArrayController&) override { ++changes; }
    int changes = 0;
};

// A background job saves in batches while the main thread keeps a live list on the main
// context: each save is in the list by the time save() returns, and the list ends equal to a
// fresh fetch. The main thread waits for the job by running its queue, as the screens do.
TEST(LibraryTest, backgroundSavesReachALiveListOnTheMainContext) {
    OpenLibrary home("Home");
    QVArrayController list(
        FetchRequest{"Recipe", livePredicate(), {SortDescriptor{"name"}}, 0, true}, &home.main());
    ASSERT_TRUE(list.performFetch());
    RecordingList delegate;
    list.setDelegate(&delegate);

    constexpr int kRecipes = 1000;
    constexpr int kBatch = 100;
    std::atomic<bool> done = false;
    std::atomic<int> shortfalls = 0;
    std::thread job([&] {
        auto context = home.library.newBackgroundContext();
        for (int i = 0; i < kRecipes; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "Recipe %04d", i);
            context->insert<Recipe>()->setName(std::string(name));
            if ((i + 1) % kBatch == 0) {
                EXPECT_TRUE(context->save());
                // The merge ran on the main thread before save() returned.
                std::size_t shown = 0;
                home.queue.runAndWait([&] { shown = list.arrangedObjects().size(); });
                if (shown != static_cast<std::size_t>(i + 1)) {
                    ++shortfalls;
                }
            }
        }
        done = true;
        home.queue.post([] {});
    });
    EXPECT_TRUE(home.queue.runUntil([&] { return done.load(); }, 120s));
    job.join();
    home.queue.processPending();

    EXPECT_EQ(shortfalls, 0);
    EXPECT_GE(delegate.changes, kRecipes / kBatch);
    auto fresh = std::make_unique<ManagedObjectContext>(home.main().coordinator(),
                                                        MergePolicy::StoreWins, &home.center);
    auto fetched = fresh->fetch<Recipe>(livePredicate(), {SortDescriptor{"name"}});
    ASSERT_TRUE(fetched);
    std::vector<std::shared_ptr<ManagedObject>> expected(fetched->begin(), fetched->end());
    ASSERT_EQ(list.arrangedObjects().size(), static_cast<std::size_t>(kRecipes));
    EXPECT_EQ(namesOf(list.arrangedObjects()), namesOf(expected));
}

// Saved on the main thread itself (a sheet's private context), the merge runs at once
// instead of waiting for a queue that this very thread would have to run.
TEST(LibraryTest, aBackgroundContextSavedOnTheMainThreadMergesAtOnce) {
    OpenLibrary home("Home");
    QVArrayController list(
        FetchRequest{"Recipe", livePredicate(), {SortDescriptor{"name"}}, 0, true}, &home.main());
    ASSERT_TRUE(list.performFetch());
    auto context = home.library.newBackgroundContext();
    context->insert<Recipe>()->setName("Toast");
    ASSERT_TRUE(context->save());
    EXPECT_EQ(namesOf(list.arrangedObjects()), std::vector<std::string>{"Toast"});
}

}  // namespace
}  // namespace miravel
