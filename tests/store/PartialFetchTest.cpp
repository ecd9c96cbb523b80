#include <string>
#include <vector>

#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "store/QVArrayController.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::ChangeRecorder;
using testing::StoreTest;

const std::vector<std::string> kListProperties{"name", "rating", "status", "uid"};

// Recipes saved by another context, then fetched in the main context with only the short
// properties of a list, so every long text starts out unloaded.
class PartialFetchTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        auto writer = freshContext();
        for (int i = 0; i < 3; ++i) {
            auto recipe = writer->insert<Recipe>();
            recipe->setName("Recipe " + std::to_string(i));
            recipe->setIngredients("ingredients " + std::to_string(i));
            recipe->setDirections("directions " + std::to_string(i));
            recipe->setNotes("notes " + std::to_string(2 - i));
            recipe->setCookTime(std::to_string(30 - i) + " minutes");
            recipe->setRating(i);
            recipe->setOnFavorites(i == 1);
        }
        ASSERT_TRUE(writer->save());
    }

    std::vector<std::shared_ptr<Recipe>> fetchList(const std::string& format = "TRUEPREDICATE",
                                                   ValueList arguments = {},
                                                   std::vector<SortDescriptor> sort = {
                                                       SortDescriptor("name")}) {
        FetchRequest request{Recipe::kEntityName,
                             *Predicate::parse(format, std::move(arguments)),
                             std::move(sort),
                             0,
                             true,
                             kListProperties};
        auto objects = m_main->executeFetchRequest(request);
        EXPECT_TRUE(objects) << (objects ? "" : objects.error().description);
        std::vector<std::shared_ptr<Recipe>> recipes;
        if (objects) {
            for (const auto& object : *objects) {
                recipes.push_back(std::static_pointer_cast<Recipe>(object));
            }
        }
        return recipes;
    }

    // Saves in a background context and merges that save into the main context.
    template <typename Change>
    void saveElsewhereAndMerge(Change change) {
        auto background = backgroundContext();
        ContextDidSave saved;
        auto observation = m_center.addObserver(
            kContextDidSaveNotification, background.get(), [&](const Notification& note) {
                saved = std::any_cast<ContextDidSave>(note.userInfo);
            });
        auto recipes = background->fetch<Recipe>(std::nullopt, {SortDescriptor("name")});
        ASSERT_TRUE(recipes);
        change(*background, *recipes);
        ASSERT_TRUE(background->save());
        m_main->mergeChangesFromContextDidSave(saved);
    }
};

std::vector<std::string> names(const std::vector<std::shared_ptr<Recipe>>& recipes) {
    std::vector<std::string> result;
    for (const auto& recipe : recipes) {
        result.push_back(recipe->name().value_or("(none)"));
    }
    return result;
}

TEST_F(PartialFetchTest, leftOutAttributesLoadOnFirstReadWithTheirTypes) {
    auto recipes = fetchList();
    ASSERT_EQ(recipes.size(), 3u);
    const auto& recipe = recipes[1];
    EXPECT_TRUE(recipe->hasLoaded("name"));
    EXPECT_FALSE(recipe->hasLoaded("directions"));
    EXPECT_FALSE(recipe->hasLoaded("onFavorites"));

    EXPECT_EQ(recipe->directions(), "directions 1");
    // One read brings the whole rest of the row, and only of this row.
    EXPECT_FALSE(recipe->isPartlyLoaded());
    EXPECT_EQ(recipe->ingredients(), "ingredients 1");
    EXPECT_EQ(recipe->notes(), "notes 1");
    EXPECT_EQ(recipe->onFavorites(), true);
    EXPECT_EQ(recipe->cookTime(), "29 minutes");
    EXPECT_EQ(recipe->nutritionalInfo(), std::nullopt);
    EXPECT_TRUE(recipes[0]->isPartlyLoaded());
    EXPECT_FALSE(recipe->hasChanges());  // loading is not an edit
    EXPECT_EQ(recipes[0]->valueForKeyPath("directions"), Value("directions 0"));
}

TEST_F(PartialFetchTest, fetchNamingAnUnknownPropertyFails) {
    FetchRequest request{Recipe::kEntityName, std::nullopt, {}, 0, true, {"name", "flavour"}};
    auto objects = m_main->executeFetchRequest(request);
    ASSERT_FALSE(objects);
    EXPECT_EQ(objects.error().description, "The entity Recipe has no property flavour.");
    request.propertiesToFetch = {"name", "categories"};  // relationships may be named
    EXPECT_TRUE(m_main->executeFetchRequest(request));
}

TEST_F(PartialFetchTest, savingAnEditKeepsTheColumnsNeverLoaded) {
    auto recipe = fetchList()[0];
    recipe->setName("Renamed");
    recipe->setRating(5);
    ASSERT_TRUE(recipe->isPartlyLoaded());
    ASSERT_TRUE(m_main->save());

    auto fresh = freshContext();
    auto stored = all<Recipe>(*fresh, "name == 'Renamed'");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->directions(), "directions 0");
    EXPECT_EQ(stored[0]->ingredients(), "ingredients 0");
    EXPECT_EQ(stored[0]->rating(), 5);
    // Still unread here after the save, and still right when read.
    EXPECT_EQ(recipe->notes(), "notes 2");
}

TEST_F(PartialFetchTest, editingAnUnloadedAttributeKnowsItsSavedValue) {
    auto recipe = fetchList()[0];
    recipe->setName("Renamed");  // the saved values are copied before this change
    recipe->setDirections("edited directions");
    m_main->rollback();
    EXPECT_EQ(recipe->name(), "Recipe 0");
    EXPECT_EQ(recipe->directions(), "directions 0");
    EXPECT_EQ(recipe->ingredients(), "ingredients 0");

    recipe->setDirections("edited directions");
    ASSERT_TRUE(m_main->save());
    auto fresh = freshContext();
    auto stored = all<Recipe>(*fresh, "name == 'Recipe 0'");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->directions(), "edited directions");
    EXPECT_EQ(stored[0]->notes(), "notes 2");
}

TEST_F(PartialFetchTest, mergedSaveOfAnUnloadedColumnIsReadAndReported) {
    auto recipe = fetchList()[0];
    ChangeRecorder recorder(m_center, *m_main);
    saveElsewhereAndMerge([](ManagedObjectContext&, const auto& recipes) {
        recipes[0]->setDirections("new directions");
    });
    EXPECT_EQ(recipe->directions(), "new directions");
    EXPECT_EQ(recipe->notes(), "notes 2");
    ASSERT_EQ(recorder.changes().size(), 1u);
    const auto& merged = recorder.changes()[0];
    ASSERT_EQ(merged.refreshed.size(), 1u);
    EXPECT_EQ(merged.refreshed[0], recipe);
    // Only what the other save wrote, though nothing here knew the old value.
    EXPECT_EQ(merged.changedKeys.at(recipe->objectID()), std::set<std::string>{"directions"});
}

TEST_F(PartialFetchTest, mergeKeepsALocalEditAndLeavesNoStaleOrHalfValues) {
    auto recipe = fetchList()[0];
    recipe->setName("Local name");  // copies the saved values while the texts are unloaded
    saveElsewhereAndMerge([](ManagedObjectContext&, const auto& recipes) {
        recipes[0]->setName("Their name");
        recipes[0]->setNotes("their notes");
    });
    EXPECT_EQ(recipe->name(), "Local name");  // the main context's edit wins
    EXPECT_EQ(recipe->notes(), "their notes");
    EXPECT_EQ(recipe->directions(), "directions 0");
    m_main->rollback();
    EXPECT_EQ(recipe->name(), "Their name");
    EXPECT_EQ(recipe->notes(), "their notes");
}

TEST_F(PartialFetchTest, readingARowDeletedSinceGivesNoValueInsteadOfFailing) {
    auto recipes = fetchList();
    // Another program removes the first row; this context never hears of it.
    auto other = freshContext();
    other->deleteObject(all<Recipe>(*other, "name == 'Recipe 0'")[0]);
    ASSERT_TRUE(other->save());
    EXPECT_EQ(recipes[0]->directions(), std::nullopt);
    EXPECT_EQ(recipes[0]->name(), "Recipe 0");   // what was loaded stays
    EXPECT_FALSE(recipes[0]->isPartlyLoaded());  // and the store is not asked again

    // Removed by a save merged here: the object leaves the context unread.
    saveElsewhereAndMerge(
        [](ManagedObjectContext& context, const auto& rest) { context.deleteObject(rest[0]); });
    EXPECT_EQ(recipes[1]->managedObjectContext(), nullptr);
    EXPECT_EQ(recipes[1]->directions(), std::nullopt);
}

TEST_F(PartialFetchTest, objectDeletedHereKeepsItsValuesAfterTheSave) {
    auto recipes = fetchList();
    m_main->deleteObject(recipes[0]);
    m_main->deleteObject(recipes[2]);
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(recipes[0]->directions(), "directions 0");
    EXPECT_EQ(recipes[2]->notes(), "notes 0");
    EXPECT_TRUE(recipes[1]->isPartlyLoaded());
}

TEST_F(PartialFetchTest, fullFetchCompletesThePartlyLoadedObject) {
    struct Case {
        const char* name;
        bool pendingChanges;  // answered from ids and registered objects instead of rows
        const char* directions;
    };
    for (const Case& test :
         {Case{"Recipe 2", false, "directions 2"}, Case{"Recipe 1", true, "directions 1"}}) {
        SCOPED_TRACE(test.name);
        auto predicate = *Predicate::parse("name == %@", {Value(test.name)});
        auto partial = fetchList("name == %@", {Value(test.name)});
        ASSERT_EQ(partial.size(), 1u);
        if (test.pendingChanges) {
            m_main->insert<Recipe>()->setName("Unsaved");
        }
        auto full = m_main->fetch<Recipe>(predicate);
        ASSERT_TRUE(full);
        ASSERT_EQ(full->size(), 1u);
        EXPECT_EQ((*full)[0], partial[0]);  // one object per row
        EXPECT_FALSE(partial[0]->isPartlyLoaded());
        EXPECT_EQ(partial[0]->directions(), test.directions);
    }
}

TEST_F(PartialFetchTest, predicatesAndSortKeysMayNameUnloadedAttributes) {
    EXPECT_EQ(names(fetchList("directions contains[cd] %@", {Value("DIRECTIONS 1")})),
              std::vector<std::string>{"Recipe 1"});
    auto byNotes = fetchList("TRUEPREDICATE", {}, {SortDescriptor("notes")});
    EXPECT_EQ(names(byNotes), (std::vector<std::string>{"Recipe 2", "Recipe 1", "Recipe 0"}));
    // A key sorted in memory is read with the rows rather than one row at a time.
    auto byMinutes = [](const Value& a, const Value& b) {
        return a.asText() < b.asText() ? -1 : (a.asText() > b.asText() ? 1 : 0);
    };
    auto byCookTime = fetchList(
        "TRUEPREDICATE", {},
        {SortDescriptor("cookTime", true, SortDescriptor::Comparison::Default, byMinutes)});
    EXPECT_EQ(names(byCookTime), (std::vector<std::string>{"Recipe 2", "Recipe 1", "Recipe 0"}));
    EXPECT_TRUE(byCookTime[0]->hasLoaded("cookTime"));
    EXPECT_FALSE(byCookTime[0]->hasLoaded("directions"));

    // Pending edits are tested in memory, reading what they need.
    auto recipes = fetchList();
    recipes[0]->setRating(4);
    EXPECT_EQ(names(fetchList("ingredients endswith %@", {Value("0")})),
              std::vector<std::string>{"Recipe 0"});
}

TEST_F(PartialFetchTest, categoriesOfAPartlyLoadedRecipeWork) {
    auto soup = m_main->insert<RecipeCategory>();
    soup->setName("Soup");
    auto recipe = fetchList()[0];
    recipe->addCategory(soup);
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(names(fetchList("%@ in categories", {Value(soup->objectID())})),
              std::vector<std::string>{"Recipe 0"});
    auto fresh = freshContext();
    auto stored = all<Recipe>(*fresh, "name == 'Recipe 0'");
    ASSERT_EQ(stored[0]->categories().size(), 1u);
    EXPECT_EQ(stored[0]->categories()[0]->name(), "Soup");
    EXPECT_EQ(stored[0]->directions(), "directions 0");
}

// A live list searching a text it never loaded follows another context's edit of that text.
TEST_F(PartialFetchTest, liveListFollowsMergedEditsOfUnloadedText) {
    QVArrayController list(FetchRequest{Recipe::kEntityName,
                                        *Predicate::parse("ingredients contains %@", {Value("1")}),
                                        {SortDescriptor("name")},
                                        0,
                                        true,
                                        kListProperties},
                           m_main.get());
    ASSERT_TRUE(list.performFetch());
    ASSERT_EQ(list.arrangedObjects().size(), 1u);
    auto registered = fetchList();  // a merge reports only objects the context holds
    saveElsewhereAndMerge([](ManagedObjectContext&, const auto& recipes) {
        recipes[1]->setIngredients("nothing here");
        recipes[2]->setIngredients("now 1 matches");
    });
    ASSERT_EQ(list.arrangedObjects().size(), 1u);
    EXPECT_EQ(std::static_pointer_cast<Recipe>(list.arrangedObjects()[0])->name(), "Recipe 2");
}

// A long list sorted by name in the user's language is ordered in memory, a limited fetch by
// the store; both must give one order, missing names and ties included.
TEST_F(PartialFetchTest, nameOrderInMemoryMatchesTheStoreOrder) {
    auto writer = freshContext();
    for (const char* name : {"éclair", "Eclair", "apple", "", "Zest", "apple", "Äpfel", "b"}) {
        writer->insert<Recipe>()->setName(std::string(name));
    }
    writer->insert<Recipe>();  // no name
    ASSERT_TRUE(writer->save());
    for (bool ascending : {true, false}) {
        SCOPED_TRACE(ascending ? "ascending" : "descending");
        std::vector<SortDescriptor> sort{SortDescriptor::localized("name", ascending)};
        auto inMemory = fetchList("TRUEPREDICATE", {}, sort);
        ASSERT_EQ(inMemory.size(), 12u);
        FetchRequest limited{Recipe::kEntityName, std::nullopt, sort, 100, true, kListProperties};
        auto byStore = m_main->executeFetchRequest(limited);
        ASSERT_TRUE(byStore);
        std::vector<std::shared_ptr<ManagedObject>> expected(inMemory.begin(), inMemory.end());
        EXPECT_EQ(*byStore, expected);
    }
}

}  // namespace
}  // namespace miravel
