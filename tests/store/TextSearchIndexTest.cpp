#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "store/Database.h"
#include "store/TextSearchIndex.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

class TextSearchIndexTest : public StoreTest {
protected:
    std::shared_ptr<Recipe> addRecipe(const std::string& uid, const std::string& ingredients) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setUid(uid);
        recipe->setIngredients(ingredients);
        return recipe;
    }

    // The uids of the recipes whose ingredients hold `needle`, as a search asks the store.
    std::set<std::string> found(ManagedObjectContext& context, const std::string& needle) {
        std::set<std::string> uids;
        for (const auto& recipe :
             all<Recipe>(context, "ingredients contains[cd] %@", {Value(needle)})) {
            uids.insert(recipe->uid());
        }
        return uids;
    }

    // A connection of its own to the store file, as another program would have.
    Database otherConnection(PersistentStoreCoordinator& coordinator) {
        auto opened = Database::open(coordinator.file(), Database::Access::ReadWrite);
        EXPECT_TRUE(opened) << opened.error().description;
        return std::move(*opened);
    }

    std::int64_t indexedRows(PersistentStoreCoordinator& coordinator) {
        Database database = otherConnection(coordinator);
        auto statement = database.prepare("SELECT count(*) FROM Recipe_ingredients_search");
        if (!statement) {
            return -1;
        }
        auto row = statement->step();
        return row && *row ? statement->columnInt64(0) : -1;
    }

    // Closes the library and opens it again, as the next run of the program would.
    void reopen(bool readOnly = false) {
        m_main.reset();
        m_coordinator.reset();
        auto opened = PersistentStoreCoordinator::open(
            m_folder / "Miravel.sqlite", miravelObjectModel(), {.readOnly = readOnly});
        ASSERT_TRUE(opened);
        m_coordinator = *opened;
        m_main = std::make_unique<ManagedObjectContext>(m_coordinator, MergePolicy::InMemoryWins,
                                                        &m_center);
    }

    void execute(PersistentStoreCoordinator& coordinator, const std::string& sql) {
        auto executed = otherConnection(coordinator).execute(sql);
        EXPECT_TRUE(executed) << executed.error().description;
    }
};

using Uids = std::set<std::string>;

TEST_F(TextSearchIndexTest, foldedSearchesOfIngredientsAskTheIndex) {
    ASSERT_EQ(m_coordinator->searchIndexes().size(), 1U);
    const auto& model = m_coordinator->model();
    const auto& recipe = *model.entity("Recipe");
    auto sql = [&](const std::string& format) {
        auto predicate = Predicate::parse(format);
        return predicate->toSql(model, recipe, "t", &m_coordinator->searchIndexes())->sql;
    };
    EXPECT_NE(sql("ingredients contains[cd] 'sugar'").find("MATCH"), std::string::npos);
    // Too short for trigrams, folded one way only, or another column: read row by row.
    EXPECT_EQ(sql("ingredients contains[cd] 'su'").find("MATCH"), std::string::npos);
    EXPECT_EQ(sql("ingredients contains[c] 'sugar'").find("MATCH"), std::string::npos);
    EXPECT_EQ(sql("directions contains[cd] 'sugar'").find("MATCH"), std::string::npos);
    EXPECT_EQ(sql("ingredients beginswith[cd] 'sugar'").find("MATCH"), std::string::npos);

    // Words searched together are one query of the index.
    auto both = Predicate::parse(
        "ingredients contains[cd] 'chicken' AND rating > 2 AND ingredients contains[cd] 'GARLIC' "
        "AND ingredients contains[cd] 'oi'");
    auto where = both->toSql(model, recipe, "t", &m_coordinator->searchIndexes());
    ASSERT_TRUE(where);
    EXPECT_EQ(where->sql.find("MATCH"), where->sql.rfind("MATCH")) << where->sql;
    ASSERT_FALSE(where->bindings.empty());
    EXPECT_EQ(where->bindings.front(), Value("\"chicken\" AND \"garlic\""));
}

TEST_F(TextSearchIndexTest, savesKeepTheIndexCurrent) {
    auto brulee = addRecipe("R1", "2 cups CRÈME fraîche\n1/2 cup sugar");
    auto bread = addRecipe("R2", "3 cups flour\nsalt");
    auto empty = addRecipe("R3", "");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(found(*m_main, "creme"), (Uids{"R1"}));
    EXPECT_EQ(found(*m_main, "UP SU"), (Uids{"R1"}));
    EXPECT_EQ(indexedRows(*m_coordinator), 3);

    // A new text replaces the old one; saving another attribute leaves the text as it was.
    bread->setIngredients("3 cups rye flour\ncaraway seeds");
    brulee->setName("Crème brûlée");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(found(*m_main, "salt"), Uids{});
    EXPECT_EQ(found(*m_main, "caraway"), (Uids{"R2"}));
    EXPECT_EQ(found(*m_main, "fraiche"), (Uids{"R1"}));
    EXPECT_EQ(found(*m_main, "cups"), (Uids{"R1", "R2"}));

    // No text, and a deleted recipe, leave nothing behind.
    brulee->setIngredients(std::nullopt);
    m_main->deleteObject(bread);
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(found(*m_main, "cups"), Uids{});
    EXPECT_EQ(indexedRows(*m_coordinator), 1);
    (void)empty;

    // Another connection to the file writes through the same triggers.
    auto other = freshContext();
    auto added = other->insert<Recipe>();
    added->setUid("R4");
    added->setIngredients("saffron threads");
    ASSERT_TRUE(other->save());
    EXPECT_EQ(found(*m_main, "SAFFRON"), (Uids{"R4"}));
}

TEST_F(TextSearchIndexTest, unsavedChangesAreSearchedInMemory) {
    auto soup = addRecipe("R1", "leeks");
    ASSERT_TRUE(m_main->save());
    soup->setIngredients("potatoes");
    addRecipe("R2", "more leeks");
    EXPECT_EQ(found(*m_main, "leek"), (Uids{"R2"}));
    EXPECT_EQ(found(*m_main, "potato"), (Uids{"R1"}));
}

TEST_F(TextSearchIndexTest, storesWithoutACurrentIndexGetOneWhenOpened) {
    addRecipe("R1", "Pâte brisée");
    addRecipe("R2", "pate a choux");
    ASSERT_TRUE(m_main->save());
    // A library from before the index, then one folded by an older rule.
    for (const char* damage :
         {"DROP TRIGGER Recipe_ingredients_search_insert; DROP TABLE Recipe_ingredients_search;",
          "UPDATE Z_SEARCHINDEX SET folding = 0; DELETE FROM Recipe_ingredients_search;"}) {
        execute(*m_coordinator, damage);
        reopen();
        EXPECT_EQ(m_coordinator->searchIndexes().size(), 1U);
        EXPECT_EQ(indexedRows(*m_coordinator), 2);
        EXPECT_EQ(found(*m_main, "PATE"), (Uids{"R1", "R2"})) << damage;
    }
}

TEST_F(TextSearchIndexTest, aReadOnlyStoreWithoutTheIndexIsScanned) {
    addRecipe("R1", "Pâte brisée");
    ASSERT_TRUE(m_main->save());
    execute(*m_coordinator, "DROP TABLE Recipe_ingredients_search");
    reopen(true);
    EXPECT_TRUE(m_coordinator->searchIndexes().empty());
    EXPECT_EQ(found(*m_main, "pate bri"), (Uids{"R1"}));
}

TEST_F(TextSearchIndexTest, rowsWrittenOutsideASaveAreIndexedWhenTheStoreOpens) {
    addRecipe("R1", "leeks");
    ASSERT_TRUE(m_main->save());
    execute(*m_coordinator, "UPDATE Recipe SET ingredients = 'Crème fraîche' WHERE uid = 'R1'");
    // Read-only, the index cannot catch up: searches read the rows.
    reopen(true);
    EXPECT_TRUE(m_coordinator->searchIndexes().empty());
    EXPECT_EQ(found(*m_main, "creme"), (Uids{"R1"}));
    reopen();
    ASSERT_EQ(m_coordinator->searchIndexes().size(), 1U);
    EXPECT_EQ(found(*m_main, "creme"), (Uids{"R1"}));
    EXPECT_EQ(found(*m_main, "leek"), Uids{});
}

TEST(TextSearchIndexQuery, isOnePhraseOfAtLeastThreeCharacters) {
    EXPECT_EQ(TextSearchIndex::substringQuery("sugar"), "\"sugar\"");
    EXPECT_EQ(TextSearchIndex::substringQuery("say \"when\""), "\"say \"\"when\"\"\"");
    EXPECT_EQ(TextSearchIndex::substringQuery("ab"), std::nullopt);
    EXPECT_EQ(TextSearchIndex::substringQuery("éé"), std::nullopt);  // four bytes, two letters
    EXPECT_EQ(TextSearchIndex::substringQuery("カレー"), "\"カレー\"");
}

}  // namespace
}  // namespace miravel
