#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>

#include "browser/RecipePageParser.h"

namespace miravel {
namespace {

using Clock = std::chrono::steady_clock;

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A page's text size and its nesting must not decide whether the parser returns: these end
// in seconds, with a stack of the usual size, and with memory a few times the page.
TEST(PageLimitsTest, DeepNestingEndsWithoutOverflowingTheStack) {
    std::string page = "<html><body><h2>Ingredients</h2><ul><li>1 egg</li><li>salt</li></ul>";
    for (int i = 0; i < 100000; ++i) {
        page += "<span>";
    }
    page += "deep";
    const auto start = Clock::now();
    auto recipe = RecipePageParser::parse(page, "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    ASSERT_TRUE(recipe);
    EXPECT_EQ(recipe->ingredientLines(), (std::vector<std::string>{"1 egg", "salt"}));
}

// Lines marked by their class are read one by one: nested or countless, they must not cost
// the square of the page.
TEST(PageLimitsTest, NestedAndCountlessClassedLinesEndInBoundedTime) {
    std::string nested = "<html><body><h1>Rows</h1>";
    for (int i = 0; i < 100000; ++i) {
        nested += "<span class=\"ingredient\">1 egg ";
    }
    std::string countless = "<html><body><h1>Rows</h1><p class=\"instructions\">Stir well.</p>";
    for (int i = 0; i < 50000; ++i) {
        countless += "<p class=\"ingredient\">1 egg</p><p class=\"instructions\">Stir it.</p>";
    }
    for (const std::string& page : {nested, countless}) {
        const auto start = Clock::now();
        auto recipe = RecipePageParser::parse(page, "");
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    }
}

TEST(PageLimitsTest, DeeplyNestedJsonLdIsRefusedNotRecursedInto) {
    std::string page = "<script type=\"application/ld+json\">";
    page += std::string(100000, '[') + std::string(100000, ']') + "</script>";
    auto recipe = RecipePageParser::parse(page, "");
    EXPECT_FALSE(recipe);
}

TEST(PageLimitsTest, HugePageEndsInBoundedTimeAndMemory) {
    const std::string recipe =
        "<script type=\"application/ld+json\">{\"@type\":\"Recipe\",\"name\":\"Big\","
        "\"recipeIngredient\":[\"1 egg\"]}</script>";
    std::string page = "<html><body>" + recipe;
    const std::string filler = "<div class=\"c\"><p>Words and more words &amp; text.</p></div>\n";
    while (page.size() < (std::size_t{50} << 20)) {
        page += filler;
    }
    const long before = peakMegabytes();
    const auto start = Clock::now();
    auto parsed = RecipePageParser::parse(page, "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, "Big");
    // The page, its decoded copy and a tree of the parsed part at most.
    EXPECT_LT(peakMegabytes() - before, 1500);
}

}  // namespace
}  // namespace miravel
