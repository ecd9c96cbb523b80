#include <string>
#include <vector>

#include "model/Recipe.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

// A context that already holds more than a thousand recipes asks the store for ids and reads
// only the rows it lacks. Its answers must be those of a context that holds nothing.
class LargeContextFetchTest : public StoreTest {
protected:
    static constexpr int kRecipes = 1200;

    void SetUp() override {
        StoreTest::SetUp();
        for (int i = 0; i < kRecipes; ++i) {
            auto recipe = m_main->insert<Recipe>();
            recipe->setUid("R" + std::to_string(i));
            // Names repeat, so equal names fall back to the row order.
            recipe->setName((i % 2 == 0 ? "Stew " : "stew ") + std::to_string(i % 400));
            recipe->setIngredients(i % 3 == 0 ? "2 cups chicken stock" : "1 onion");
            recipe->setRating(i % 6);
        }
        ASSERT_TRUE(m_main->save());
        m_main = std::make_unique<ManagedObjectContext>(m_coordinator, MergePolicy::InMemoryWins,
                                                        &m_center);
        ASSERT_EQ(fetch(*m_main, "TRUEPREDICATE", {"name", "rating", "uid"}).size(),
                  std::size_t{kRecipes});
    }

    static std::vector<std::string> fetch(
        ManagedObjectContext& context, const std::string& format,
        std::vector<std::string> properties,
        std::vector<SortDescriptor> sort = {SortDescriptor::localized("name")},
        std::size_t limit = 0) {
        auto objects = context.executeFetchRequest(
            FetchRequest{Recipe::kEntityName, *Predicate::parse(format), std::move(sort), limit,
                         true, std::move(properties)});
        EXPECT_TRUE(objects) << (objects ? "" : objects.error().description);
        std::vector<std::string> uids;
        if (objects) {
            for (const auto& object : *objects) {
                uids.push_back(*object->text("uid"));
            }
        }
        return uids;
    }

    // What a context holding nothing answers.
    std::vector<std::string> fresh(
        const std::string& format, std::vector<std::string> properties,
        std::vector<SortDescriptor> sort = {SortDescriptor::localized("name")},
        std::size_t limit = 0) {
        auto context = freshContext();
        return fetch(*context, format, std::move(properties), std::move(sort), limit);
    }
};

TEST_F(LargeContextFetchTest, answersAsAContextHoldingNothing) {
    const std::vector<std::string> list{"name", "rating", "uid"};
    for (const char* format :
         {"rating >= 2", "ingredients contains[cd] 'CHICKEN'", "name beginswith[c] 'stew 1'"}) {
        auto held = fetch(*m_main, format, list);
        EXPECT_EQ(held, fresh(format, list)) << format;
        EXPECT_FALSE(held.empty()) << format;
    }
    // Ordered and limited by the store.
    const std::vector<SortDescriptor> byRating{SortDescriptor("rating", false)};
    EXPECT_EQ(fetch(*m_main, "rating < 5", list, byRating, 7),
              fresh("rating < 5", list, byRating, 7));
    EXPECT_EQ(fetch(*m_main, "TRUEPREDICATE", list, {}, 10).size(), 10U);
}

TEST_F(LargeContextFetchTest, readsWhatItLacksAndDropsWhatIsGone) {
    // Another run of the program adds and removes recipes.
    auto other = freshContext();
    for (int i = 0; i < 3; ++i) {
        auto recipe = other->insert<Recipe>();
        recipe->setUid("N" + std::to_string(i));
        recipe->setName("Stew 1" + std::to_string(i));
        recipe->setRating(5);
    }
    for (const auto& gone : all<Recipe>(*other, "uid IN {'R0', 'R5', 'R11'}")) {
        other->deleteObject(gone);
    }
    ASSERT_TRUE(other->save());
    const std::vector<std::string> list{"name", "rating", "uid"};
    auto held = fetch(*m_main, "rating == 5", list);
    EXPECT_EQ(held, fresh("rating == 5", list));
    EXPECT_NE(std::find(held.begin(), held.end(), "N2"), held.end());
    EXPECT_EQ(std::find(held.begin(), held.end(), "R5"), held.end());

    // A property the held objects never read comes with the rows, for all of them.
    auto withText = m_main->executeFetchRequest(FetchRequest{
        Recipe::kEntityName, *Predicate::parse("rating == 1"), {}, 0, true, {"ingredients"}});
    ASSERT_TRUE(withText);
    ASSERT_FALSE(withText->empty());
    for (const auto& recipe : *withText) {
        EXPECT_TRUE(recipe->hasLoaded("ingredients"));
    }
}

TEST_F(LargeContextFetchTest, aRenamedRecipeMovesInTheOrder) {
    const std::vector<std::string> list{"name", "rating", "uid"};
    fetch(*m_main, "TRUEPREDICATE", list);  // every name's collation key made once
    auto recipe = all<Recipe>(*m_main, "uid == 'R7'").front();
    recipe->setName("Aardvark stew");
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(fetch(*m_main, "TRUEPREDICATE", list).front(), "R7");
    recipe->setName("Zucchini stew");  // unsaved: ordered in memory
    EXPECT_EQ(fetch(*m_main, "TRUEPREDICATE", list).back(), "R7");
    EXPECT_EQ(fetch(*m_main, "rating == 1", list).back(), "R7");
}

}  // namespace
}  // namespace miravel
