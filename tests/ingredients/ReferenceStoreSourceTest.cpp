#include "ingredients/ReferenceStoreSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

const std::vector<std::string> kAisles = {"Produce", "Dairy"};

TEST(ReferenceStoreSource, ReadsSectionsNamesAndPlurals) {
    auto rows = readIngredientSource(
        "# a comment\n\n[Produce]\nred onion | red onions\n  leek|leeks  \r\n[Dairy]\nmilk\n",
        kAisles);
    ASSERT_TRUE(rows) << rows.error().description;
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[0].name, "red onion");
    EXPECT_EQ((*rows)[0].pluralized, "red onions");
    EXPECT_EQ((*rows)[1].name, "leek");
    EXPECT_EQ((*rows)[1].pluralized, "leeks");
    EXPECT_EQ((*rows)[2].aisle, "Dairy");
    EXPECT_EQ((*rows)[2].pluralized, std::nullopt);
}

TEST(ReferenceStoreSource, RefusesMistakesWithTheirLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"[Produce]\nleek\nleek | leeks\n", "line 3: \"leek\" is listed twice"},
        {"leek\n", "line 1: an entry comes before any [section]"},
        {"[Produce]\nLeek\n", "line 2: names are written in lower case"},
        {"[Produce]\nleek |\n", "line 2: a plural after \"|\" must be one non-empty form"},
        {"[Produce]\nleek | a | b\n", "line 2: a plural after \"|\" must be one non-empty form"},
        {"[Produce\nleek\n", "line 1: a section header needs a closing \"]\""},
        {"[Snacks]\n\nchips\n", "line 3: \"Snacks\" is not an aisle"},
    };
    for (const Case& c : cases) {
        auto rows = readIngredientSource(c.text, kAisles);
        ASSERT_FALSE(rows) << c.text;
        EXPECT_TRUE(rows.error().description.starts_with(c.message))
            << c.text << " gave " << rows.error().description;
    }
}

TEST(ReferenceStoreSource, UnitsTakeTheirSectionAsCanonical) {
    auto rows = readUnitSource("[teaspoon]\ntsp | tsps\ntsp.\n[pinch]\npinch | pinches\n");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[1].name, "tsp.");
    EXPECT_EQ((*rows)[1].canonical, "teaspoon");
    EXPECT_EQ((*rows)[2].canonical, "pinch");
}

// Every unit form of the shipped source: an abbreviation has no plural ("3 tsp", never
// "3 tsps"), and a plural that is given is the plural of its form.
TEST(ReferenceStoreSource, ShippedUnitsPluralizeOnlyWords) {
    const auto file = std::filesystem::path(MIRAVEL_TEST_DATA).parent_path().parent_path() /
                      "resources/reference/units.txt";
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto rows = readUnitSource(text);
    ASSERT_TRUE(rows) << rows.error().description;
    // Abbreviations that happen to hold a vowel; the others are told by having none.
    const std::set<std::string> voicedAbbreviations = {"oz", "gal", "lt"};
    for (const UnitRow& row : *rows) {
        const bool abbreviation = row.name.find_first_of("aeiouy") == std::string::npos ||
                                  row.name.find('.') != std::string::npos ||
                                  voicedAbbreviations.contains(row.name);
        if (abbreviation || !row.pluralized) {
            EXPECT_FALSE(row.pluralized) << row.name << " | " << *row.pluralized;
            continue;
        }
        const std::string& plural = *row.pluralized;
        const std::string& name = row.name;
        const bool regular =
            plural == name + "s" || plural == name + "es" ||
            (name.ends_with('y') && plural == name.substr(0, name.size() - 1) + "ies") ||
            (name.ends_with('f') && plural == name.substr(0, name.size() - 1) + "ves") ||
            (name.find(' ') != std::string::npos &&
             plural.starts_with(name.substr(0, name.find(' '))));
        EXPECT_TRUE(regular) << name << " | " << plural;
    }
}

TEST(ReferenceStoreSource, ShippedStoreOpensReadOnlyWithEveryAisleKnown) {
    auto path = std::filesystem::path(MIRAVEL_CLI_PATH).parent_path().parent_path() /
                "share/miravel/Ingredients.sqlite";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "no reference store in the build tree";
    }
    auto store = IngredientReferenceStore::open(path);
    ASSERT_TRUE(store) << store.error().description;
    EXPECT_GE((*store)->ingredients().size(), 2000u);
    EXPECT_GE((*store)->units().size(), 150u);
    ASSERT_NE((*store)->fetchUnit("tbsp."), nullptr);
    EXPECT_EQ((*store)->fetchUnit("tbsp.")->canonical, "tablespoon");
    EXPECT_FALSE(IngredientReferenceStore::open(path.parent_path() / "missing.sqlite"));
}

}  // namespace
}  // namespace miravel
