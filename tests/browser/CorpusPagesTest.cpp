#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "browser/HtmlText.h"
#include "browser/RecipePageParser.h"
#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"

namespace miravel {
namespace {

namespace fs = std::filesystem;

const fs::path kWebPages = fs::path(MIRAVEL_CORPUS) / "webpages";

struct CorpusPage {
    std::string name;
    std::string bytes;
    JsonValue expected;
};

std::vector<CorpusPage> corpusPages() {
    std::vector<CorpusPage> pages;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kWebPages, error)) {
        if (entry.path().extension() != ".testhtml") {
            continue;
        }
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".json");
        auto bytes = readFile(entry.path());
        auto expectedText = readFile(expectedPath);
        if (!bytes || !expectedText) {
            continue;
        }
        auto expected = JsonParser::parse(*expectedText);
        if (!expected) {
            continue;
        }
        pages.push_back({entry.path().stem().string(), std::move(*bytes), std::move(*expected)});
    }
    return pages;
}

std::string text(const JsonValue* value) {
    return value != nullptr && value->isString() ? value->asString() : std::string();
}

std::string folded(std::string_view value) {
    std::string result = collapsedWhiteSpace(decodeHtmlEntities(value));
    for (char& ch : result) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return result;
}

class CorpusPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kWebPages)) {
            GTEST_SKIP() << "no corpus at " << kWebPages;
        }
        m_pages = corpusPages();
        ASSERT_FALSE(m_pages.empty());
    }
    std::vector<CorpusPage> m_pages;
};

// The pages' expected names and ingredient lists, compared as the shared scorer does. The
// floors sit a little under what the parser reaches, so that a change that costs pages fails.
TEST_F(CorpusPagesTest, NamesAndIngredientsAsExpected) {
    std::size_t names = 0;
    std::size_t ingredients = 0;
    std::size_t found = 0;
    for (const CorpusPage& page : m_pages) {
        auto recipe =
            RecipePageParser::parse(page.bytes, text(page.expected.member("canonical_url")));
        if (!recipe) {
            continue;
        }
        ++found;
        names += folded(recipe->name) == folded(text(page.expected.member("title"))) ? 1 : 0;
        std::vector<std::string> expectedLines;
        if (const JsonValue* lines = page.expected.member("ingredients");
            lines && lines->isArray()) {
            for (const JsonValue& line : lines->asArray()) {
                expectedLines.push_back(folded(text(&line)));
            }
        }
        std::vector<std::string> gotLines;
        for (const std::string& line : recipe->ingredientLines()) {
            gotLines.push_back(folded(line));
        }
        ingredients += gotLines == expectedLines ? 1 : 0;
    }
    const double count = static_cast<double>(m_pages.size());
    EXPECT_GE(found / count, 0.95);
    EXPECT_GE(names / count, 0.93);
    EXPECT_GE(ingredients / count, 0.87);
}

// The fast path skips the tree only when the full parse would end on the same JSON-LD recipe.
TEST_F(CorpusPagesTest, FastPathAgreesWithTheFullParse) {
    RecipePageParser::Options full;
    full.fastPath = false;
    for (const CorpusPage& page : m_pages) {
        SCOPED_TRACE(page.name);
        const std::string url = text(page.expected.member("canonical_url"));
        auto fast = RecipePageParser::parse(page.bytes, url);
        auto slow = RecipePageParser::parse(page.bytes, url, full);
        ASSERT_EQ(fast.has_value(), slow.has_value());
        if (!fast) {
            continue;
        }
        EXPECT_EQ(fast->origin, slow->origin);
        EXPECT_EQ(fast->name, slow->name);
        EXPECT_EQ(fast->ingredientsText(), slow->ingredientsText());
        EXPECT_EQ(fast->directions, slow->directions);
        EXPECT_EQ(fast->servings, slow->servings);
        EXPECT_EQ(fast->imageUrl, slow->imageUrl);
        EXPECT_EQ(fast->notes, slow->notes);
    }
}

}  // namespace
}  // namespace miravel
