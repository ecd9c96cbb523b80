#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "import/SousChefImporter.h"

namespace miravel {
namespace {

using testing::LibraryTest;

const std::filesystem::path kData = std::filesystem::path(MIRAVEL_TEST_DATA) / "import";

class SousChefImporterTest : public LibraryTest {};

TEST_F(SousChefImporterTest, ReadsNumberedLinesInTheirOrder) {
    auto run = importFile(kData / "two_kitchens.vrc");
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 3u);

    auto potatoes = recipeNamed("Baked Potatoes");
    ASSERT_TRUE(potatoes);
    EXPECT_EQ(potatoes->servings(), "4");
    EXPECT_FALSE(potatoes->prepTime());
    EXPECT_EQ(potatoes->cookTime(), "1 hour");
    EXPECT_EQ(potatoes->source(), "Potato-club.org");
    EXPECT_EQ(potatoes->sourceUrl(), "http://www.potato-club.org/recipes/7");
    EXPECT_EQ(categoryNames(*potatoes), std::vector<std::string>{"Sides"});
    // Only the text after the last ";" of an ingredient line is the ingredient.
    EXPECT_EQ(potatoes->ingredients(), "2 tbsp butter\n4 large potatoes");
    EXPECT_EQ(potatoes->directions(), "1. Mix\n\n2. Bake");
    EXPECT_EQ(potatoes->notes(), "Crisp outside.\n\nUse russets.");

    // A recipe without its END line is finished by the next BEGIN, or by the end of the file,
    // with everything it read.
    auto toast = recipeNamed("Toast");
    ASSERT_TRUE(toast);
    EXPECT_EQ(toast->source(), "https://bread.example");
    EXPECT_FALSE(toast->sourceUrl());
    EXPECT_EQ(toast->directions(), "1. Toast the bread");
    auto jam = recipeNamed("Jam");
    ASSERT_TRUE(jam);
    EXPECT_EQ(jam->ingredients(), "jam");
    const auto noEnd = std::count_if(run.records.begin(), run.records.end(), [](const auto& r) {
        return r.reason.starts_with("no END line");
    });
    EXPECT_EQ(noEnd, 2);
}

TEST_F(SousChefImporterTest, LinesOutsideRecipesAndFilesWithoutAny) {
    auto run = importText("after.vrc", "BEGIN:\nNAME:A\nEND:\nCATEGORY:Late\nNAME:B\n");
    EXPECT_EQ(run.outcome.count, 1u);
    auto a = recipeNamed("A");
    ASSERT_TRUE(a);
    // Lines after END change no saved recipe.
    EXPECT_TRUE(a->categories().empty());
    EXPECT_EQ(std::count_if(run.records.begin(), run.records.end(),
                            [](const auto& r) { return r.kind == ImportRecord::Kind::PassedOver; }),
              2);

    // A value after BEGIN or END changes nothing.
    run = importText("marked.vrc", "BEGIN:RECIPE\nNAME:Marked\nEND:RECIPE\n");
    EXPECT_EQ(run.outcome.count, 1u);
    EXPECT_TRUE(recipeNamed("Marked"));

    run = importText("letter.vrc", "Dear friend:\nhere is nothing\n");
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "File not recognized.");
    run = importText("empty.vrc", "");
    EXPECT_FALSE(run.outcome.error);
}

TEST(SousChefText, SplitsJoinsAndSources) {
    auto split = SousChefImporter::find("a:b:c", ":");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->before, "a");
    EXPECT_EQ(split->after, "b:c");
    split = SousChefImporter::rfind("a:b:c", ":");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->before, "a:b");
    EXPECT_FALSE(SousChefImporter::find("abc", ":"));
    EXPECT_EQ(SousChefImporter::sortAndJoin({{10, "ten"}, {2, "two"}, {-1, "minus"}}, "|"),
              "minus|two|ten");
    EXPECT_EQ(SousChefImporter::sortAndJoin({}, "|"), "");
    EXPECT_EQ(SousChefImporter::getUrlSource("http://www.example.org/a?b"), "Example.org");
    EXPECT_EQ(SousChefImporter::getUrlSource("http://host:8080"), "Host");
    EXPECT_EQ(SousChefImporter::getUrlSource("http://"), "");
}

}  // namespace
}  // namespace miravel
