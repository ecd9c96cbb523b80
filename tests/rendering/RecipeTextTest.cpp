#include "rendering/RecipeText.h"

#include <string>

#include "model/Recipe.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

const std::string kSignature = "Sent from Miravel Recipe Manager. https://www.miravel.app";

class RecipeEmailText : public StoreTest {
protected:
    std::shared_ptr<Recipe> recipe(std::optional<std::string> name) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName(std::move(name));
        return recipe;
    }
};

TEST_F(RecipeEmailText, subjectNamesTheRecipe) {
    EXPECT_EQ(recipeEmailSubject(*recipe("Fish & chips")), "Recipe: Fish & chips");
    EXPECT_EQ(recipeEmailSubject(*recipe(std::nullopt)), "Recipe: ");
}

TEST_F(RecipeEmailText, aBareRecipeShowsDashesForAbsentFacts) {
    EXPECT_EQ(recipeEmailBody(*recipe("Toast")),
              "Toast\n\nPrep Time: --- | Cook Time: --- | Servings: --- | Difficulty: ---\n\n"
              "Ingredients:\n\n\n\nDirections:\n\n\n\n" +
                  kSignature);
}

TEST_F(RecipeEmailText, aFullRecipeInOrder) {
    auto pie = recipe("Apple pie");
    pie->setRating(3);
    pie->setPrepTime("20 min");
    pie->setCookTime("");  // present but empty: stays empty
    pie->setServings("6");
    pie->setDifficulty("Medium");
    pie->setIngredients("For the filling:\n3 apples");
    pie->setDirections("Bake.");
    pie->setNotes("Serve warm.");
    pie->setNutritionalInfo("300 kcal");
    pie->setSource("A book");
    pie->setSourceUrl("https://example.org/pie?x=1&y=2");
    EXPECT_EQ(recipeEmailBody(*pie),
              "Apple pie\n\n\u2605\u2605\u2605\n\n"
              "Prep Time: 20 min | Cook Time:  | Servings: 6 | Difficulty: Medium\n\n"
              "Ingredients:\n\nFor the filling:\n3 apples\n\nDirections:\n\nBake.\n\n"
              "Notes: Serve warm.\n\nNutritional Info: 300 kcal\n\n"
              "Source: https://example.org/pie?x=1&y=2\n\n" +
                  kSignature);
}

TEST_F(RecipeEmailText, emptyNotesAreLeftOutAndTheSourceStandsInForItsAddress) {
    auto soup = recipe("Soup");
    soup->setNotes("");
    soup->setNutritionalInfo("");
    soup->setSource("Aunt May");
    soup->setDifficulty("---");
    EXPECT_EQ(recipeEmailBody(*soup),
              "Soup\n\nPrep Time: --- | Cook Time: --- | Servings: --- | Difficulty: ---\n\n"
              "Ingredients:\n\n\n\nDirections:\n\n\n\nSource: Aunt May\n\n" +
                  kSignature);
}

TEST_F(RecipeEmailText, mailsTheScaledQuantitiesAndServings) {
    auto bread = recipe("Bread");
    bread->setIngredients("2 cups flour\n3 eggs");
    bread->setServings("4");
    bread->setScale("2/1");
    EXPECT_EQ(recipeEmailBody(*bread),
              "Bread\n\nPrep Time: --- | Cook Time: --- | Servings: 8 (Scaled) | Difficulty: "
              "---\n\nIngredients:\n\n4 cups flour\n6 eggs\n\nDirections:\n\n\n\n" +
                  kSignature);
}

TEST_F(RecipeEmailText, fileNameDropsUnsafeCharacters) {
    EXPECT_EQ(recipeEmailFilename(*recipe("A/B: C?")), "AB: C.miravelrecipe");
    EXPECT_EQ(recipeEmailFilename(*recipe(std::nullopt)), "Untitled Recipe.miravelrecipe");
    EXPECT_EQ(recipeEmailFilename(*recipe("")), "Untitled Recipe.miravelrecipe");
}

TEST(RecipeFilename, keepsAtMost235CharactersAndNeverSplitsOne) {
    const std::string e = "\xC3\xA9";             // é, two bytes
    const std::string cake = "\xF0\x9F\x8E\x82";  // 🎂, four bytes
    auto times = [](const std::string& piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += piece;
        }
        return text;
    };
    struct Case {
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        {"/?*|\\%\"<>\n\r\t", "Untitled Recipe.miravelrecipe"},
        {"a\tb\nc\rd\\e%f|g\"h<i>j*k?l/m", "abcdefghijklm.miravelrecipe"},
        {"Cr" + e + "me: br" + e + "e", "Cr" + e + "me: br" + e + "e.miravelrecipe"},
        {times("x", 235), times("x", 235) + ".miravelrecipe"},
        {times("x", 236), times("x", 235) + ".miravelrecipe"},
        {times(e, 240), times(e, 235) + ".miravelrecipe"},
        // The limit counts UTF-16 units: the cake takes two, and is never split.
        {times("x", 233) + cake + cake, times("x", 233) + cake + ".miravelrecipe"},
        {times("x", 234) + cake, times("x", 234) + ".miravelrecipe"},
        // Dropped characters do not count towards the limit.
        {times("/", 10) + times("y", 235), times("y", 235) + ".miravelrecipe"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recipeFilenameForName(c.name), c.file) << c.name;
    }
}

}  // namespace
}  // namespace miravel
