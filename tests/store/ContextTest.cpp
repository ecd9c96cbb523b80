#include <algorithm>
#include <fstream>
#include <thread>

#include "lib/MainQueue.h"
#include "model/Meal.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "store/Database.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::ChangeRecorder;
using testing::StoreTest;

class ContextTest : public StoreTest {};

std::vector<std::string> names(const std::vector<std::shared_ptr<Recipe>>& recipes) {
    std::vector<std::string> result;
    for (const auto& recipe : recipes) {
        result.push_back(recipe->name().value_or("(none)"));
    }
    return result;
}

TEST_F(ContextTest, savedObjectsComeBackWithValuesAndRelationships) {
    auto soup = m_main->insert<RecipeCategory>();
    soup->setName("Soup");
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Leek soup");
    recipe->setRating(4);
    recipe->setOnFavorites(false);
    recipe->addCategory(soup);
    auto meal = m_main->insert<Meal>();
    meal->setRecipe(recipe);
    EXPECT_EQ(soup->recipes().size(), 1u);  // the other side follows at once
    EXPECT_EQ(recipe->meals().size(), 1u);
    ASSERT_TRUE(m_main->save());
    EXPECT_FALSE(m_main->hasChanges());

    auto fresh = freshContext();
    auto recipes = all<Recipe>(*fresh);
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0]->name(), "Leek soup");
    EXPECT_EQ(recipes[0]->rating(), 4);
    EXPECT_EQ(recipes[0]->onFavorites(), false);
    EXPECT_EQ(recipes[0]->notes(), std::nullopt);
    ASSERT_EQ(recipes[0]->categories().size(), 1u);
    EXPECT_EQ(recipes[0]->categories()[0]->name(), "Soup");
    ASSERT_EQ(recipes[0]->meals().size(), 1u);
    EXPECT_EQ(recipes[0]->meals()[0]->recipe(), recipes[0]);  // one object per row

    recipes[0]->removeCategory(recipes[0]->categories()[0]);
    ASSERT_TRUE(fresh->save());
    auto third = freshContext();
    EXPECT_TRUE(all<Recipe>(*third)[0]->categories().empty());
    EXPECT_TRUE(all<RecipeCategory>(*third)[0]->recipes().empty());
}

TEST_F(ContextTest, fetchesSeeUnsavedChangesAsIfSaved) {
    for (const char* name : {"Apple pie", "banana bread", "Cherry tart"}) {
        m_main->insert<Recipe>()->setName(name);
    }
    ASSERT_TRUE(m_main->save());
    auto recipes = all<Recipe>(*m_main, "TRUEPREDICATE");
    auto find = [&](const std::string& name) {
        return *std::find_if(recipes.begin(), recipes.end(),
                             [&](const auto& r) { return r->name() == name; });
    };
    find("Apple pie")->setName("Zucchini pie");  // no longer matches "pie"? still does
    find("Cherry tart")->setName("Cherry pie");  // now matches
    m_main->deleteObject(find("banana bread"));
    m_main->insert<Recipe>()->setName("Plum pie");  // never saved

    const std::vector<SortDescriptor> byName{SortDescriptor::localized("name")};
    auto pies =
        m_main->fetch<Recipe>(*Predicate::parse("name contains[cd] %@", {Value("PIE")}), byName);
    ASSERT_TRUE(pies);
    EXPECT_EQ(names(*pies), (std::vector<std::string>{"Cherry pie", "Plum pie", "Zucchini pie"}));
    auto count = m_main->countForFetchRequest(FetchRequest{"Recipe", std::nullopt, {}, 0, true});
    EXPECT_EQ(count, 3u);

    ASSERT_TRUE(m_main->save());
    auto saved =
        m_main->fetch<Recipe>(*Predicate::parse("name contains[cd] %@", {Value("PIE")}), byName);
    EXPECT_EQ(names(*saved), names(*pies));  // the store now answers the same
}

TEST_F(ContextTest, sortsByNameInTheUsersLanguageIgnoringCase) {
    for (const char* name : {"banana", "Apple", "\xc3\x84pfel", "apple pie", "cherry"}) {
        m_main->insert<Recipe>()->setName(name);
    }
    auto unsaved = m_main->fetch<Recipe>(std::nullopt, {SortDescriptor::localized("name")});
    ASSERT_TRUE(m_main->save());
    auto saved = m_main->fetch<Recipe>(std::nullopt, {SortDescriptor::localized("name")});
    EXPECT_EQ(names(*saved),
              (std::vector<std::string>{"\xc3\x84pfel", "Apple", "apple pie", "banana", "cherry"}));
    EXPECT_EQ(names(*unsaved), names(*saved));  // memory and store sort alike
}

TEST_F(ContextTest, notificationsCarryChangedAttributeNames) {
    ChangeRecorder recorder(m_center, *m_main);
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Draft");  // part of the insertion, not an update
    m_main->processPendingChanges();
    ASSERT_EQ(recorder.changes().size(), 1u);
    EXPECT_EQ(recorder.changes()[0].inserted.size(), 1u);
    EXPECT_TRUE(recorder.changes()[0].updated.empty());
    ASSERT_TRUE(m_main->save());
    recorder.clear();

    recipe->setName("Final");
    recipe->setRating(3);
    recipe->setName("Final");  // the same value again changes nothing more
    m_main->processPendingChanges();
    ASSERT_EQ(recorder.changes().size(), 1u);
    const auto& change = recorder.changes()[0];
    ASSERT_EQ(change.updated.size(), 1u);
    EXPECT_EQ(change.changedKeys.at(recipe->objectID()), (std::set<std::string>{"name", "rating"}));

    recorder.clear();
    m_main->deleteObject(recipe);
    m_main->processPendingChanges();
    ASSERT_EQ(recorder.changes().size(), 1u);
    EXPECT_EQ(recorder.changes()[0].deleted.size(), 1u);

    recorder.clear();
    auto fleeting = m_main->insert<Recipe>();
    m_main->deleteObject(fleeting);  // inserted and deleted before anyone looked
    m_main->processPendingChanges();
    EXPECT_TRUE(recorder.changes().empty());
}

TEST_F(ContextTest, mainContextProcessesChangesAtTheEndOfTheTurn) {
    MainQueue queue;
    m_main->processChangesOnQueue(&queue);
    ChangeRecorder recorder(m_center, *m_main);
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("One");
    m_main->insert<Recipe>();
    EXPECT_TRUE(recorder.changes().empty());
    queue.processPending();
    ASSERT_EQ(recorder.changes().size(), 1u);  // one batch for the whole turn
    EXPECT_EQ(recorder.changes()[0].inserted.size(), 2u);
    m_main->processChangesOnQueue(nullptr);
}

// A save in a background context reaches the main context through a merge, where the
// user's unsaved edits win property by property.
TEST_F(ContextTest, mergeKeepsUnsavedEditsInTheMainContext) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Stew");
    recipe->setNotes("old notes");
    ASSERT_TRUE(m_main->save());
    recipe->setName("My stew");  // unsaved edit
    m_main->processPendingChanges();

    auto background = backgroundContext();
    auto theirs = all<Recipe>(*background)[0];
    theirs->setName("Server stew");
    theirs->setNotes("server notes");
    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, background.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    ASSERT_TRUE(background->save());

    ChangeRecorder recorder(m_center, *m_main);
    m_main->mergeChangesFromContextDidSave(saved);
    EXPECT_EQ(recipe->name(), "My stew");        // ours, unsaved, wins
    EXPECT_EQ(recipe->notes(), "server notes");  // theirs where we had no edit
    ASSERT_EQ(recorder.changes().size(), 1u);
    ASSERT_EQ(recorder.changes()[0].refreshed.size(), 1u);
    EXPECT_EQ(recorder.changes()[0].changedKeys.at(recipe->objectID()),
              std::set<std::string>{"notes"});
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(all<Recipe>(*freshContext())[0]->name(), "My stew");
}

TEST_F(ContextTest, mergeIntoBackgroundContextLetsTheStoreWin) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Stew");
    ASSERT_TRUE(m_main->save());
    auto background = backgroundContext();
    auto theirs = all<Recipe>(*background)[0];
    theirs->setName("Background edit");  // unsaved in the background

    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, m_main.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    recipe->setName("User edit");
    ASSERT_TRUE(m_main->save());
    background->mergeChangesFromContextDidSave(saved);
    EXPECT_EQ(theirs->name(), "User edit");
    EXPECT_FALSE(background->hasChanges());
}

TEST_F(ContextTest, mergedInsertsAndDeletesReachTheMainContext) {
    auto doomed = m_main->insert<Recipe>();
    auto category = m_main->insert<RecipeCategory>();
    doomed->addCategory(category);
    ASSERT_TRUE(m_main->save());
    ASSERT_EQ(category->recipes().size(), 1u);

    auto background = backgroundContext();
    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, background.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    background->deleteObject(all<Recipe>(*background)[0]);
    background->insert<Recipe>()->setName("New from sync");
    ASSERT_TRUE(background->save());

    ChangeRecorder recorder(m_center, *m_main);
    m_main->mergeChangesFromContextDidSave(saved);
    ASSERT_EQ(recorder.changes().size(), 1u);
    EXPECT_EQ(recorder.changes()[0].deleted.size(), 1u);
    ASSERT_EQ(recorder.changes()[0].inserted.size(), 1u);
    EXPECT_EQ(std::static_pointer_cast<Recipe>(recorder.changes()[0].inserted[0])->name(),
              "New from sync");
    EXPECT_TRUE(doomed->isReallyDeleted());
    EXPECT_TRUE(category->recipes().empty());
}

TEST_F(ContextTest, backgroundSavesMergeOnTheMainThreadWhileTheWorkerWaits) {
    MainQueue queue;
    auto observation =
        m_center.addObserver(kContextDidSaveNotification, nullptr, [&](const Notification& note) {
            if (note.object == m_main.get()) {
                return;
            }
            auto changes = std::any_cast<ContextDidSave>(note.userInfo);
            queue.runAndWait([&] { m_main->mergeChangesFromContextDidSave(changes); });
        });
    bool done = false;
    std::thread worker([&] {
        auto background = backgroundContext();
        for (int i = 0; i < 20; ++i) {
            background->insert<Recipe>()->setName("Imported " + std::to_string(i));
            ASSERT_TRUE(background->save());
        }
        queue.post([&] { done = true; });
    });
    EXPECT_TRUE(queue.runUntil([&] { return done; }, std::chrono::seconds(30)));
    worker.join();
    EXPECT_EQ(m_main->registeredCount(), 20u);
    EXPECT_EQ(all<Recipe>(*m_main).size(), 20u);
}

TEST_F(ContextTest, failedSaveWritesNothingAndKeepsTheChanges) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Kept");
    ASSERT_TRUE(m_main->save());
    recipe->setName("Edited");
    m_main->insert<Recipe>()->setName("Refused");
    auto execute = [&](const char* sql) {
        auto other = Database::open(m_coordinator->file(), Database::Access::ReadWrite);
        ASSERT_TRUE(other);
        ASSERT_TRUE(other->execute(sql));
    };
    execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON Recipe WHEN NEW.name = 'Refused' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");

    auto saved = m_main->save();
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().description.find("refused"), std::string::npos);
    EXPECT_TRUE(m_main->hasChanges());
    EXPECT_EQ(all<Recipe>(*freshContext())[0]->name(), "Kept");  // the edit was rolled back too

    execute("DROP TRIGGER refuse");
    ASSERT_TRUE(m_main->save());  // the same changes go through once nothing refuses them
    auto recipes = all<Recipe>(*freshContext());
    ASSERT_EQ(recipes.size(), 2u);
}

TEST_F(ContextTest, rollbackForgetsEveryUnsavedChange) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setName("Kept");
    auto category = m_main->insert<RecipeCategory>();
    ASSERT_TRUE(m_main->save());
    recipe->setName("Edited");
    recipe->addCategory(category);
    m_main->insert<Recipe>()->setName("Draft");
    m_main->deleteObject(category);
    m_main->processPendingChanges();

    m_main->rollback();
    EXPECT_FALSE(m_main->hasChanges());
    EXPECT_EQ(recipe->name(), "Kept");
    EXPECT_TRUE(recipe->categories().empty());
    EXPECT_EQ(all<Recipe>(*m_main).size(), 1u);
    EXPECT_EQ(all<RecipeCategory>(*m_main).size(), 1u);
}

TEST(StoreFile, refusesFilesThatAreNotItsStoreAndLeavesThemAlone) {
    testing::TemporaryFolder folder;
    const std::string text = "these are my notes, not a database\n";
    std::ofstream(folder / "notes.sqlite") << text;
    auto opened = PersistentStoreCoordinator::open(folder / "notes.sqlite", miravelObjectModel());
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().description.find("not a database at all"), std::string::npos);
    std::ifstream in(folder / "notes.sqlite");
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, text);
    EXPECT_FALSE(std::filesystem::exists(folder / "notes.sqlite-wal"));

    // A SQLite file of another program.
    {
        auto other = PersistentStoreCoordinator::open(
            folder / "other.db", ManagedObjectModel("Other", 1, {{"Thing", {}, {}}}));
        ASSERT_TRUE(other);
    }
    EXPECT_EQ(PersistentStoreCoordinator::metadataForStore(folder / "other.db")->modelVersion, 1);
    EXPECT_FALSE(PersistentStoreCoordinator::metadataForStore(folder / "notes.sqlite"));
    EXPECT_FALSE(PersistentStoreCoordinator::metadataForStore(folder / "missing.sqlite"));
}

}  // namespace
}  // namespace miravel
