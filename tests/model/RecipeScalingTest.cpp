#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "model/Recipe.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

class RecipeScalingTest : public testing::StoreTest {};

TEST_F(RecipeScalingTest, readsTheStoredScaleText) {
    struct Case {
        std::optional<std::string> scale;
        std::optional<std::pair<int, int>> expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"3/2", std::pair{3, 2}},
        {"6/4", std::pair{3, 2}},
        {"2/1", std::pair{2, 1}},
        {" 3/ 2", std::pair{3, 2}},
        {"3 cups/2x", std::pair{3, 2}},
        {"-3/2", std::pair{-3, 2}},
        {"/2", std::pair{0, 1}},
        {"99999999999/1", std::pair{2147483647, 1}},
        {"2", std::nullopt},
        {"1/2/3", std::nullopt},
        {"1/0", std::nullopt},
        {"1/x", std::nullopt},
    };
    auto recipe = m_main->insert<Recipe>();
    for (const Case& c : cases) {
        recipe->setScale(c.scale);
        const auto fraction = recipe->scaledFraction();
        ASSERT_EQ(fraction.has_value(), c.expected.has_value()) << c.scale.value_or("(none)");
        if (fraction) {
            EXPECT_EQ(fraction->numerator(), c.expected->first) << *c.scale;
            EXPECT_EQ(fraction->denominator(), c.expected->second) << *c.scale;
        }
    }
}

TEST_F(RecipeScalingTest, storesTheReducedFraction) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setScaleFraction(*RCRationalNumber::valueWithNumerator(6, 4));
    EXPECT_EQ(recipe->scale(), "3/2");
    recipe->setScaleFraction(RCRationalNumber(2));
    EXPECT_EQ(recipe->scale(), "2/1");
    recipe->setScaleFraction(RCRationalNumber(1));
    EXPECT_EQ(recipe->scale(), "1/1");
}

TEST_F(RecipeScalingTest, showsIngredientsAndServingsAtItsScale) {
    auto recipe = m_main->insert<Recipe>();
    const std::string ingredients = "For the dough:\r\n 2 cups flour \n1 egg";
    recipe->setIngredients(ingredients);
    recipe->setServings("4 to 6");
    EXPECT_EQ(recipe->scaledIngredients(), ingredients);
    EXPECT_EQ(recipe->scaledServings(), "4 to 6");

    for (const char* unscaled : {"1/1", "2", "1/2/3", "3/0"}) {
        recipe->setScale(std::string(unscaled));
        EXPECT_EQ(recipe->scaledIngredients(), ingredients) << unscaled;
        EXPECT_EQ(recipe->scaledServings(), "4 to 6") << unscaled;
    }

    recipe->setScale(std::string("1/2"));
    EXPECT_EQ(recipe->scaledIngredients(), "For the dough:\n\n1 cup flour\n1/2 egg");
    EXPECT_EQ(recipe->scaledServings(), "2 to 3 (Scaled)");
    EXPECT_EQ(recipe->ingredients(), ingredients);
    EXPECT_EQ(recipe->servings(), "4 to 6");

    recipe->setIngredients(std::nullopt);
    recipe->setServings(std::nullopt);
    EXPECT_EQ(recipe->scaledIngredients(), std::nullopt);
    EXPECT_EQ(recipe->scaledServings(), std::nullopt);
}

TEST_F(RecipeScalingTest, listsTheLinesToBuy) {
    auto recipe = m_main->insert<Recipe>();
    EXPECT_TRUE(recipe->ingredientsArray().empty());
    recipe->setIngredients(
        "For the dough:\n 2 cups flour \r\n\n1 egg\u00A0\n\u3000Salt\u2028Topping :\n  \n");
    EXPECT_EQ(recipe->ingredientsArray(),
              (std::vector<std::string>{"2 cups flour", "1 egg", "Salt"}));
    recipe->setScale(std::string("2/1"));
    EXPECT_EQ(recipe->ingredientsArray(),
              (std::vector<std::string>{"4 cups flour", "2 egg", "Salt"}));
}

}  // namespace
}  // namespace miravel
