#include "library/RecipeTrash.h"

#include <chrono>
#include <fstream>

#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "model/Meal.h"
#include "model/RecipeCategory.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

class RecipeTrashTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        m_soups = m_main->insert<RecipeCategory>();
        m_soups->setName("Soups");
        m_soup = m_main->insert<Recipe>();
        m_soup->setName("Leek soup");
        m_soup->setIngredients("2 leeks\n1 l stock");
        m_soup->setRating(4);
        m_soup->setOnFavorites(true);
        m_soup->addCategory(m_soups);
        std::ofstream(m_folder / "leek.jpg", std::ios::binary) << m_photoBytes;
        m_soup->setPhoto("leek.jpg");
        for (int day = 1; day <= 3; ++day) {
            auto meal = m_main->insert<Meal>();
            meal->setType(Meal::Dinner);
            meal->setDate(currentMoment() + std::chrono::days(day));
            meal->setRecipe(m_soup);
        }
        ASSERT_TRUE(m_main->save());
        m_uid = m_soup->uid();
    }

    std::shared_ptr<Recipe> findRecipe(const std::string& name) {
        auto found = all<Recipe>(*m_main, "name == %@", {Value(name)});
        return found.size() == 1 ? found.front() : nullptr;
    }

    static constexpr char kPhoto[] = "\xFF\xD8\xFF photo\0bytes";
    const std::string m_photoBytes = std::string(kPhoto, sizeof kPhoto - 1);
    std::shared_ptr<RecipeCategory> m_soups;
    std::shared_ptr<Recipe> m_soup;
    std::string m_uid;
};

TEST_F(RecipeTrashTest, theQuestionNamesTheMealsThatGoWithTheRecipe) {
    EXPECT_EQ(plannedMealCount({m_soup}), 3u);
    EXPECT_EQ(recipeDeletionQuestion({m_soup}),
              "Are you sure you want to delete this recipe? It also removes 3 planned meals.");
    auto bread = m_main->insert<Recipe>();
    EXPECT_EQ(recipeDeletionQuestion({bread}), "Are you sure you want to delete this recipe?");
    m_soup->meals().front()->setStatus(kStatusDeleted);
    EXPECT_EQ(recipeDeletionQuestion({m_soup, bread}),
              "Are you sure you want to delete these recipes? It also removes 2 planned meals.");
}

TEST_F(RecipeTrashTest, aDeletedRecipeComesBackWithItsPhotoCategoriesAndUid) {
    RecipeTrash trash(*m_main);
    ASSERT_TRUE(trash.deleteRecipes({m_soup}));
    EXPECT_EQ(findRecipe("Leek soup"), nullptr);
    EXPECT_TRUE(all<Meal>(*m_main).empty());
    EXPECT_FALSE(std::filesystem::exists(m_folder / "leek.jpg"));

    auto entries = trash.find("Leek soup");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ(entries->front().uid, m_uid);
    EXPECT_EQ(trash.find(m_uid)->size(), 1u);
    EXPECT_EQ(entries->front().file.parent_path(), m_folder / kTrashFolderName);

    auto restored = trash.restore(entries->front());
    ASSERT_TRUE(restored) << restored.error().description;
    auto soup = freshContext();
    auto back = all<Recipe>(*soup, "name == 'Leek soup'");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->uid(), m_uid);
    EXPECT_EQ(back[0]->ingredients(), "2 leeks\n1 l stock");
    EXPECT_EQ(back[0]->rating(), 4);
    EXPECT_EQ(back[0]->onFavorites(), true);
    ASSERT_EQ(back[0]->categories().size(), 1u);
    EXPECT_EQ(back[0]->categories()[0]->name(), "Soups");
    ASSERT_TRUE(back[0]->photoPath());
    EXPECT_EQ(readFile(*back[0]->photoPath()).value_or(""), m_photoBytes);
    EXPECT_EQ(back[0]->meals().size(), 0u);
    EXPECT_TRUE(trash.entries()->empty());
}

TEST_F(RecipeTrashTest, aTakenUidIsReplacedAndAGoneCategoryDropped) {
    setLoggedIn(true);  // the tombstone keeps the uid in the store
    RecipeTrash trash(*m_main);
    ASSERT_TRUE(trash.deleteRecipes({m_soup}));
    EXPECT_EQ(m_soup->status(), kStatusDeleted);
    SyncedObject::deleteObjects(*m_main, {m_soups});
    ASSERT_TRUE(m_main->save());

    auto restored = trash.restore(trash.entries()->front());
    ASSERT_TRUE(restored) << restored.error().description;
    EXPECT_NE((*restored)->uid(), m_uid);
    EXPECT_TRUE((*restored)->categories().empty());
    EXPECT_EQ((*restored)->status(), kStatusModified);
}

TEST_F(RecipeTrashTest, oldEntriesArePurgedAndEmptyingRemovesTheRest) {
    auto bread = m_main->insert<Recipe>();
    bread->setName("Bread");
    ASSERT_TRUE(m_main->save());
    RecipeTrash trash(*m_main);
    ASSERT_TRUE(trash.deleteRecipes({m_soup}));
    ASSERT_TRUE(trash.deleteRecipes({bread}));
    auto old = trash.find("Leek soup")->front().file;
    std::filesystem::last_write_time(
        old, std::filesystem::file_time_type::clock::now() - std::chrono::days(31));
    std::ofstream(m_folder / kTrashFolderName / "notes.txt") << "mine";

    auto kept = trash.entries();
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 1u);
    EXPECT_EQ(kept->front().name, "Bread");
    EXPECT_FALSE(std::filesystem::exists(old));

    EXPECT_EQ(trash.empty().value_or(0), 1u);
    EXPECT_TRUE(trash.entries()->empty());
    EXPECT_TRUE(std::filesystem::exists(m_folder / kTrashFolderName / "notes.txt"));
}

TEST_F(RecipeTrashTest, anEntryGoneMeanwhileIsTheTrashsErrorNotTheStores) {
    RecipeTrash trash(*m_main);
    ASSERT_TRUE(trash.deleteRecipes({m_soup}));
    auto entry = trash.entries()->front();
    std::filesystem::remove(entry.file);
    auto restored = trash.restore(entry);
    ASSERT_FALSE(restored);
    EXPECT_EQ(restored.error().domain, kTrashErrorDomain);
    EXPECT_TRUE(all<Recipe>(*m_main).empty());
}

TEST_F(RecipeTrashTest, nothingIsDeletedWhenTheTrashCannotBeWritten) {
    std::ofstream(m_folder / kTrashFolderName) << "a file where the folder goes";
    auto deleted = RecipeTrash(*m_main).deleteRecipes({m_soup});
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().domain, kTrashErrorDomain);
    EXPECT_NE(findRecipe("Leek soup"), nullptr);
    EXPECT_TRUE(std::filesystem::exists(m_folder / "leek.jpg"));
    EXPECT_EQ(all<Meal>(*m_main).size(), 3u);
}

}  // namespace
}  // namespace miravel
