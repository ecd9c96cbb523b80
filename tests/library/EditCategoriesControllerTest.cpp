#include "library/EditCategoriesController.h"

#include <string>
#include <vector>

#include "model/Recipe.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

class EditCategoriesControllerTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        m_soup = add("soup", 2);
        m_bread = add("Bread", 3);
        m_apple = add("Soup", 1);
        add("Gone", 0)->setStatus(kStatusDeleted);
        ASSERT_TRUE(m_main->save());
    }
    std::shared_ptr<RecipeCategory> add(const std::string& name, std::int64_t orderFlag) {
        auto category = m_main->insert<RecipeCategory>();
        category->setName(name);
        category->setOrderFlag(orderFlag);
        return category;
    }
    static std::vector<std::string> names(
        const std::vector<std::shared_ptr<RecipeCategory>>& categories) {
        std::vector<std::string> result;
        for (const auto& category : categories) {
            result.push_back(category->name().value_or(""));
        }
        return result;
    }

    std::shared_ptr<RecipeCategory> m_soup, m_bread, m_apple;
};

TEST_F(EditCategoriesControllerTest, listsLiveCategoriesByEitherRule) {
    struct Case {
        bool alphabetize;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {true, {"Bread", "Soup", "soup"}},  // same name: by position
        {false, {"Soup", "soup", "Bread"}},
    };
    for (const auto& c : cases) {
        EditCategoriesController chooser(*m_main, c.alphabetize);
        chooser.fetchCategories();
        EXPECT_EQ(names(chooser.listed()), c.expected) << c.alphabetize;
        ASSERT_EQ(chooser.numberOfRows(), 3u);
        EXPECT_EQ(chooser.name(0), c.expected[0]);
    }
}

TEST_F(EditCategoriesControllerTest, togglingChangesOnlyTheChosenSet) {
    auto recipe = m_main->insert<Recipe>();
    recipe->addCategory(m_bread);
    EditCategoriesController chooser(*m_main, true);
    chooser.fetchCategories();
    chooser.setCategories(recipe->categories());
    EXPECT_EQ(std::vector<bool>({chooser.isChosen(0), chooser.isChosen(1), chooser.isChosen(2)}),
              std::vector<bool>({true, false, false}));

    chooser.setChosen(2, true);
    chooser.setChosen(2, true);  // a second tick adds nothing
    chooser.setChosen(0, false);
    chooser.setChosen(1, false);  // unticking what is not chosen changes nothing
    EXPECT_EQ(names(chooser.categories()), std::vector<std::string>{"soup"});
    // The recipe keeps its own set until the editor writes the chosen one.
    EXPECT_EQ(names(recipe->categories()), std::vector<std::string>{"Bread"});

    chooser.setCategories(std::nullopt);
    EXPECT_TRUE(chooser.categories().empty());
    EXPECT_FALSE(chooser.isChosen(2));
}

TEST_F(EditCategoriesControllerTest, nameColumnRenamesTheCategoryForTheNextSave) {
    EditCategoriesController chooser(*m_main, true);
    chooser.fetchCategories();
    ASSERT_TRUE(chooser.setName(0, " Loaves "));
    EXPECT_EQ(m_bread->name(), "Loaves");
    EXPECT_EQ(m_bread->status(), kStatusModified);
    EXPECT_TRUE(m_main->hasChanges());
}

// The chooser renames through the same rule as the category column: no blank name, and no
// name another live category has apart from case; a tombstone's name is free again.
TEST_F(EditCategoriesControllerTest, nameColumnRefusesBlankAndTakenNames) {
    EditCategoriesController chooser(*m_main, true);
    chooser.fetchCategories();
    ASSERT_EQ(chooser.name(0), "Bread");
    for (const char* refused : {"", "  \t", "SOUP", "soup"}) {
        auto renamed = chooser.setName(0, refused);
        ASSERT_FALSE(renamed) << refused;
        EXPECT_EQ(renamed.error().domain, kCategoryErrorDomain);
    }
    EXPECT_EQ(m_bread->name(), "Bread");
    EXPECT_FALSE(m_main->hasChanges());
    EXPECT_TRUE(chooser.setName(0, "bread"));
    EXPECT_TRUE(chooser.setName(0, "Gone"));
    EXPECT_EQ(m_bread->name(), "Gone");
}

}  // namespace
}  // namespace miravel
