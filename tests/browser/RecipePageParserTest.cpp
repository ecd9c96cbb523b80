#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "browser/PageRecipe.h"
#include "browser/RecipePageParser.h"
#include "lib/AtomicFile.h"

namespace miravel {
namespace {

const std::filesystem::path kPages = std::filesystem::path(MIRAVEL_TEST_DATA) / "browser";

std::string page(const std::string& name) {
    auto bytes = readFile(kPages / name);
    EXPECT_TRUE(bytes) << name;
    return bytes.value_or("");
}

struct PageCase {
    const char* file;
    const char* url;
    PageRecipe::Origin origin;
    const char* name;
    std::string ingredients;  // as the recipe keeps them, headings and all
    std::vector<std::string> directions;
    const char* servings;
    const char* prepTime;
    const char* cookTime;
    const char* imageUrl;
};

const PageCase kCases[] = {
    {"jsonld-graph.html",
     "https://food.example/chili/",
     PageRecipe::Origin::JsonLd,
     "Weeknight Chili",
     "2 lb ground beef\n1 can (15 oz) kidney beans\n2 tbsp chili powder",
     {"Brown the meat", "Brown the beef in a large pot.", "Drain the fat.", "Simmer",
      "Add the beans and chili powder; simmer 1 hour."},
     "6",
     "15 min",
     "1 hr 30 min",
     "https://food.example/images/chili-1200.jpg"},
    {"jsonld-entities.html",
     "https://cook.example/mac",
     PageRecipe::Origin::JsonLd,
     "Mac & Cheese \u2013 Baked",
     "8 oz elbow macaroni\n2 cups sharp cheddar, grated\n1\u00bd cups milk\n1 cup cream (or "
     "half-and-half)",
     {"Boil the macaroni.", "Stir in the cheese & milk."},
     "4",
     "10 min",
     "25 min",
     "https://cook.example/mac.jpg"},
    {"jsonld-broken.html",
     "https://bars.example/lemon/index.html",
     PageRecipe::Origin::JsonLd,
     "Lemon Bars",
     "1 cup flour\n2 lemons, juiced",
     {"Press the crust into the pan.", "Pour over the filling and bake."},
     "",
     "",
     "",
     "https://bars.example/lemon/lemon-bars.jpg"},
    {"microdata.html",
     "http://soup.example/potato",
     PageRecipe::Origin::Microdata,
     "Potato Soup",
     "4 large potatoes, peeled\n1 onion, chopped\n4 cups stock",
     {"Cook the onion until soft.", "Add potatoes and stock; simmer 30 minutes.",
      "Blend until smooth."},
     "4 servings",
     "20 min",
     "40 min",
     "http://soup.example/img/soup.jpg"},
    {"plain-headings.html",
     "http://baking.example/scones",
     PageRecipe::Origin::Headings,
     "Grandma's Scones",
     "For the dough:\n2 cups flour\n1 tbsp baking powder\n\u00bd cup cold butter\nFor the "
     "glaze:\n1 cup icing sugar\n2 tbsp milk",
     {"Rub the butter into the flour.", "Bake at 220\u00b0C for 12 minutes."},
     "",
     "",
     "",
     "http://baking.example/scones.jpg"},
    {"plugin-markup.html",
     "",
     PageRecipe::Origin::RecipeMarkup,
     "Green Salad",
     "Dressing:\n3 tbsp olive oil\n1 tbsp vinegar\nSalad:\n1 head lettuce\n1 cucumber",
     {"Whisk the dressing.", "Toss with the vegetables."},
     "",
     "",
     "",
     ""},
    // Declared Latin-1 reads as Windows-1252: 0x96 is an en dash.
    {"latin1.html",
     "",
     PageRecipe::Origin::Headings,
     "Cr\u00e8me br\u00fbl\u00e9e",
     "500 ml Sahne\n5 Eigelb\n80 g Zucker \u2013 fein",
     {"Den Ofen auf 150 \u00b0C vorheizen.", "Sahne erw\u00e4rmen."},
     "",
     "",
     "",
     ""},
    // The first recipe that has steps, not the teaser before it nor the one after it.
    {"two-recipes.html",
     "",
     PageRecipe::Origin::JsonLd,
     "Pancakes",
     "1 cup flour\n1 egg\n1 cup milk",
     {"Whisk everything.", "Fry in a hot pan."},
     "",
     "",
     "",
     ""},
    // The byte-order mark outranks the declared charset; the stray byte becomes U+FFFD.
    {"bom-utf8.html",
     "",
     PageRecipe::Origin::Headings,
     "Caf\u00e9 au lait \ufffd",
     "1 cup caf\u00e9\n1 cup milk",
     {},
     "",
     "",
     "",
     ""},
    // A name copied from the document title loses the title's suffix to the article's <h1>;
    // the footnote to the asterisks is no ingredient.
    {"jsonld-title-name.html",
     "",
     PageRecipe::Origin::JsonLd,
     "Plum Cake",
     "500 g plums*\n200 g flour\n100 g butter",
     {"Halve the plums.", "Bake for 40 minutes."},
     "",
     "",
     "",
     ""},
    // A name of its own with a dash in it stays whole; starred bullets are bullets.
    {"jsonld-dash-name.html",
     "",
     PageRecipe::Origin::JsonLd,
     "Pancakes - the classic ones",
     "2 eggs\n250 ml milk*",
     {"Whisk.", "Fry."},
     "",
     "",
     "",
     ""},
    // The label of a control repeated on every line is no part of the lines.
    {"control-labels.html",
     "",
     PageRecipe::Origin::RecipeMarkup,
     "Chicken Bake",
     "3 chicken breasts, diced\nsalt, to taste\npepper, to taste\n2 cups broccoli",
     {"Put everything in the slow cooker.", "Cook on high for 3 hours."},
     "",
     "",
     "",
     ""},
    // Paragraphs headed by a paragraph end with the block that holds them, not at the footer.
    {"paragraph-headings.html",
     "",
     PageRecipe::Origin::Headings,
     "Spelt Bread",
     "350 g water\n500 g spelt flour\n1 tsp salt",
     {"1. Mix everything.", "2. Knead and let rise.", "From the club's magazine"},
     "",
     "",
     "",
     ""},
    // Lines marked one by one by their class, wherever the page's headings put them.
    {"classed-lines.html",
     "",
     PageRecipe::Origin::RecipeMarkup,
     "Dumplings",
     "2 onions\n500 g beef\n500 ml yogurt",
     {"Fry the beef with the onions.", "Fill the wrappers and steam them for 40 minutes."},
     "",
     "",
     "",
     ""},
    // A document title with no site's name after a separator names the recipe; the <h1>
    // is the post's headline.
    {"headline-title.html",
     "",
     PageRecipe::Origin::Headings,
     "Pesto Meatballs in Marinara Sauce",
     "500 g chicken mince\n2 tbsp pesto",
     {"Roll the meatballs.", "Simmer them in the sauce."},
     "",
     "",
     "",
     ""},
    // Only the list the page shows: not the other unit system's, hidden until chosen.
    {"hidden-units.html",
     "",
     PageRecipe::Origin::RecipeMarkup,
     "Lemon Cupcakes",
     "For the base:\n125 ml milk\n100 g sugar\nFor the frosting:\n120 g icing sugar",
     {"Mix the milk and sugar.", "Bake for 25 minutes."},
     "",
     "",
     "",
     ""},
    // The smaller headings among the steps of a page without markup are no steps.
    {"step-subheadings.html",
     "",
     PageRecipe::Origin::Headings,
     "Chicken and Rice",
     "400 g chicken thighs\n280 g jasmine rice",
     {"Slice the chicken.", "Rinse the rice.", "Fry the rice for a minute.",
      "Simmer with the chicken for 20 minutes."},
     "",
     "",
     "",
     ""},
    // The parts named in Chinese.
    {"chinese-headings.html",
     "",
     PageRecipe::Origin::Headings,
     "鸡蛋糕",
     "4 个 蛋\n125 克 细砂糖",
     {"1 把烤炉预热至200°C。", "2 把蛋轻轻打散。"},
     "",
     "",
     "",
     ""},
    // The links to other recipes after the method are no steps, as a step of their own or
    // the end of the last one; a label within a sentence, or in an earlier step, stays.
    {"jsonld-trailing-links.html",
     "",
     PageRecipe::Origin::JsonLd,
     "Lemon Rice Soup",
     "1 l chicken stock\n100 g rice\n1 lemon",
     {"Simmer the rice in the stock for 20 minutes. See also: the note on rice.",
      "Stir in the lemon juice (see also: the notes). Keeps for a week."},
     "",
     "",
     "",
     ""},
    // One microdata section over all the steps is the list; its name is no step.
    {"microdata-one-section.html",
     "",
     PageRecipe::Origin::Microdata,
     "Octopus Rice",
     "1 kg octopus\n300 g rice",
     {"Cook the octopus.", "Add the rice."},
     "",
     "",
     "",
     ""},
};

TEST(RecipePageParserTest, ReadsEachKindOfPage) {
    for (const PageCase& expected : kCases) {
        SCOPED_TRACE(expected.file);
        for (bool fastPath : {true, false}) {
            RecipePageParser::Options options;
            options.fastPath = fastPath;
            auto recipe = RecipePageParser::parse(page(expected.file), expected.url, options);
            ASSERT_TRUE(recipe) << recipe.error().description;
            EXPECT_EQ(recipe->origin, expected.origin);
            EXPECT_EQ(recipe->name, expected.name);
            EXPECT_EQ(recipe->ingredientsText(), expected.ingredients);
            EXPECT_EQ(recipe->directions, expected.directions);
            EXPECT_EQ(recipe->servings, expected.servings);
            EXPECT_EQ(recipe->prepTime, expected.prepTime);
            EXPECT_EQ(recipe->cookTime, expected.cookTime);
            EXPECT_EQ(recipe->imageUrl, expected.imageUrl);
        }
    }
}

TEST(RecipePageParserTest, SaysSoWhenAPageHoldsNoRecipe) {
    for (const std::string& bytes :
         {page("no-recipe.html"), std::string(), std::string("\xff\xfe"), std::string("<<<>>>")}) {
        auto recipe = RecipePageParser::parse(bytes, "https://food.example/about");
        ASSERT_FALSE(recipe);
        EXPECT_EQ(recipe.error().description, "No recipe found on this page.");
    }
}

TEST(RecipePageParserTest, DictionaryHasTheEditorsKeysAndNullForWhatIsMissing) {
    auto recipe =
        RecipePageParser::parse(page("jsonld-graph.html"), "https://www.food.example/chili/");
    ASSERT_TRUE(recipe);
    const JsonObject dictionary = recipeDictionary(*recipe, "https://www.food.example/chili/");
    std::vector<std::string> keys;
    for (const auto& [key, value] : dictionary) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"name", "ingredients", "directions", "servings",
                                              "prep_time", "cook_time", "source", "source_url",
                                              "image_url", "nutritional_info", "notes"}));
    EXPECT_EQ(dictionary.find("source")->asString(), "Food.example");
    EXPECT_EQ(dictionary.find("nutritional_info")->asString(), "Calories: 420 kcal\nProtein: 31 g");
    EXPECT_EQ(dictionary.find("notes")->asString(), "A chili for any night of the week.");

    auto bare = RecipePageParser::parse(page("plugin-markup.html"), "");
    ASSERT_TRUE(bare);
    const JsonObject sparse = recipeDictionary(*bare, "");
    EXPECT_TRUE(sparse.find("image_url")->isNull());
    EXPECT_TRUE(sparse.find("servings")->isNull());
    EXPECT_TRUE(sparse.find("source")->isNull());
}

TEST(RecipePageParserTest, IngredientLineEndingInAColonDoesNotBecomeAHeading) {
    PageRecipe recipe;
    recipe.ingredientGroups = {{"For the sauce:", {"salt to taste:", "1 cup cream"}}};
    EXPECT_EQ(recipe.ingredientsText(), "For the sauce:\nsalt to taste\n1 cup cream");
}

TEST(PageRecipeTest, IsoDurationsReadAsPeopleWriteThem) {
    struct Case {
        const char* iso;
        const char* text;
        double minutes;
    };
    const Case cases[] = {
        {"PT1H30M", "1 hr 30 min", 90}, {"PT90M", "1 hr 30 min", 90},      {"PT45M", "45 min", 45},
        {"P1DT2H", "1 day 2 hr", 1560}, {"P2D", "2 days", 2880},           {"PT0.5H", "30 min", 30},
        {"pt20m", "20 min", 20},        {"PT1H0M30S", "1 hr 1 min", 60.5}, {"PT0S", "", 0},
    };
    for (const Case& c : cases) {
        auto duration = readIsoDuration(c.iso);
        ASSERT_TRUE(duration) << c.iso;
        EXPECT_EQ(duration->text, c.text) << c.iso;
        EXPECT_DOUBLE_EQ(duration->minutes, c.minutes) << c.iso;
    }
    for (const char* notIso : {"", "20 minutes", "P", "PT", "PTXM", "PT5", "P1H"}) {
        EXPECT_FALSE(readIsoDuration(notIso)) << notIso;
    }
}

TEST(PageRecipeTest, SourceNamesAndAddresses) {
    EXPECT_EQ(sourceNameForUrl("https://www.example.com/a/b?c"), "Example.com");
    EXPECT_EQ(sourceNameForUrl("http://cooking.example.org"), "Cooking.example.org");
    EXPECT_EQ(sourceNameForUrl("my cookbook"), "My cookbook");
    EXPECT_EQ(resolvedUrl("https://a.example/x/y.html", "img/p.jpg"),
              "https://a.example/x/img/p.jpg");
    EXPECT_EQ(resolvedUrl("https://a.example/x/y.html", "/p.jpg"), "https://a.example/p.jpg");
    EXPECT_EQ(resolvedUrl("https://a.example/x/", "//cdn.example/p.jpg"),
              "https://cdn.example/p.jpg");
    EXPECT_EQ(resolvedUrl("https://a.example", "p.jpg"), "https://a.example/p.jpg");
    EXPECT_EQ(resolvedUrl("https://a.example/x?q=/z", "p.jpg"), "https://a.example/p.jpg");
    EXPECT_EQ(resolvedUrl("", "p.jpg"), "p.jpg");
    EXPECT_EQ(resolvedUrl("https://a.example/", "data:image/png;base64,AA"),
              "data:image/png;base64,AA");
}

}  // namespace
}  // namespace miravel
