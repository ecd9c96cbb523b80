#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/RecipePageParser.h"

namespace miravel {
namespace {

// Pages without structured data, each a rule of the fallbacks in a few lines of HTML.
struct FallbackCase {
    const char* what;
    std::string page;
    const char* name;
    std::string ingredients;
    std::vector<std::string> directions;
    const char* servings = "";
};

const FallbackCase kCases[] = {
    {"a menu's link named like the part is no heading",
     "<title>Stew | Site</title><div class=nav><a href=/i>Ingredients</a></div>"
     "<h1><a href=/>Site</a></h1><h1>Stew</h1>"
     "<p><strong>Ingredients:</strong></p><ul><li>1 kg beef</li><li>2 onions</li></ul>"
     "<p><b>Instructions:</b></p><ol><li>Brown the beef.</li><li>Stew it for 2 hours.</li></ol>",
     "Stew",
     "1 kg beef\n2 onions",
     {"Brown the beef.", "Stew it for 2 hours."}},
    {"paragraph lines, a bold paragraph heading a group, notes ending the part",
     "<h1>Rice</h1><h3>Ingredients</h3><p>280g rice</p><p>&nbsp;</p>"
     "<p><strong>The Marinade</strong></p><p>2 tsp soy sauce</p>"
     "<p>Note: any rice will do.</p><h3>Method</h3><p>Rinse the rice.</p><p>Cook it.</p>"
     "<h3>Notes</h3><p>Keeps for a day.</p>",
     "Rice",
     "280g rice\nThe Marinade:\n2 tsp soy sauce",
     {"Rinse the rice.", "Cook it."}},
    {"a list of amounts on a page that names neither part, steps after it",
     "<h1>Carrots</h1><ul><li><a href=/a>Home</a></li><li><a href=/b>Blog</a></li>"
     "<li><a href=/c>Shop</a></li></ul><h3>Recipe: Carrots</h3>"
     "<ul><li>3 carrots</li><li>Orange juice</li><li>1/4 tsp salt</li><li>½ tbsp honey</li></ul>"
     "<p>Slice the carrots.</p><p>Simmer in the juice.</p><h3>Comments</h3><p>Yum</p>",
     "Carrots",
     "3 carrots\nOrange juice\n1/4 tsp salt\n½ tbsp honey",
     {"Slice the carrots.", "Simmer in the juice."}},
    {"step numbers, a link-only item and a closing yield are no steps",
     "<h1>Soup</h1><h2>Ingredients</h2><ul><li>1 leek</li><li>1 l stock</li></ul>"
     "<h2>Directions</h2><ol><li>Step 1</li><li>Slice the leek.</li><li>2.</li>"
     "<li>Simmer in the stock. Serves 4</li><li><a href=/more>More soups "
     "&gt;&gt;&gt;</a></li></ol>",
     "Soup",
     "1 leek\n1 l stock",
     {"Slice the leek.", "Simmer in the stock."},
     "Serves 4"},
    {"one title over all steps is left out, several are kept",
     "<h1>Bread</h1><div class=recipe-ingredients><ul><li>500 g flour</li><li>water</li></ul></div>"
     "<div class=recipe-method><h4>Preparation</h4><ol><li>Mix everything.</li>"
     "<li>Knead for ten minutes.</li></ol></div>",
     "Bread",
     "500 g flour\nwater",
     {"Mix everything.", "Knead for ten minutes."}},
    {"a classed list of times is no list of steps",
     "<h1>Tea</h1><ul class=ingredient-list><li>1 tea bag</li><li>water</li></ul>"
     "<ul class=recipe-steps-info><li>Prep: 1 min</li><li>Total: 5 min</li></ul>"
     "<h2>Method</h2><ol><li>Boil the water.</li><li>Steep for 4 minutes.</li></ol>",
     "Tea",
     "1 tea bag\nwater",
     {"Boil the water.", "Steep for 4 minutes."}},
    {"a heading of links to other recipes ends the steps",
     "<h1>Broth</h1><h2>Ingredients</h2><ul><li>1 chicken</li><li>2 l water</li></ul>"
     "<h2>Method</h2><p>Simmer for 3 hours.</p><p>Strain.</p><p><strong>Links:</strong></p>"
     "<p><a href=/soup>Chicken Noodle Soup</a> here on the blog</p>"
     "<h2>Stock</h2><p>1 chicken carcass</p>",
     "Broth",
     "1 chicken\n2 l water",
     {"Simmer for 3 hours.", "Strain."}},
};

TEST(FallbackRulesTest, PagesWithoutStructuredData) {
    for (const FallbackCase& expected : kCases) {
        SCOPED_TRACE(expected.what);
        auto recipe = RecipePageParser::parse(expected.page, "https://site.example/r");
        ASSERT_TRUE(recipe) << recipe.error().description;
        EXPECT_EQ(recipe->name, expected.name);
        EXPECT_EQ(recipe->ingredientsText(), expected.ingredients);
        EXPECT_EQ(recipe->directions, expected.directions);
        EXPECT_EQ(recipe->servings, expected.servings);
    }
}

// Structured data filled in carelessly gives way to the page; what it has is kept.
TEST(FallbackRulesTest, PlaceholderIngredientsGiveWayToThePagesList) {
    const std::string page =
        "<script type=application/ld+json>{\"@type\":\"Recipe\",\"name\":\"Roast Chicken\","
        "\"recipeIngredient\":\"Chicken\",\"recipeInstructions\":\"Roast it.\"}</script>"
        "<h2>Ingredients</h2><ul><li>1 chicken</li><li>150 ml red wine</li><li>salt</li></ul>";
    auto recipe = RecipePageParser::parse(page, "");
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->origin, PageRecipe::Origin::JsonLd);
    EXPECT_EQ(recipe->ingredientsText(), "1 chicken\n150 ml red wine\nsalt");
    EXPECT_EQ(recipe->directions, (std::vector<std::string>{"Roast it."}));

    // A name the data leaves out comes from the page.
    auto unnamed = RecipePageParser::parse(
        "<title>Dal - Blog</title><h1>Dal</h1><ul><li itemprop=recipeIngredient>1 cup lentils</li>"
        "<li itemprop=recipeIngredient>water</li></ul><p itemprop=recipeInstructions>Simmer.</p>",
        "");
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->origin, PageRecipe::Origin::Microdata);
    EXPECT_EQ(unnamed->name, "Dal");
}

// A method given as one text of paragraphs takes in the label of the links after it and the
// line of links under the label: neither is a step.
TEST(FallbackRulesTest, LinksUnderTheStructuredMethodAreNoSteps) {
    const std::string page =
        "<script type=application/ld+json>{\"@type\":\"Recipe\",\"name\":\"Broth\","
        "\"recipeIngredient\":[\"1 chicken\",\"2 l water\"],\"recipeInstructions\":"
        "\"<p>Simmer for 3 hours.</p><p>Strain.</p><p><strong>Links:</strong></p>"
        "<p><a href=/soup>Chicken Noodle Soup</a> here on the blog</p>\"}</script>";
    for (bool fastPath : {true, false}) {
        RecipePageParser::Options options;
        options.fastPath = fastPath;
        auto recipe = RecipePageParser::parse(page, "", options);
        ASSERT_TRUE(recipe);
        EXPECT_EQ(recipe->directions, (std::vector<std::string>{"Simmer for 3 hours.", "Strain."}));
    }
}

}  // namespace
}  // namespace miravel
