#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class RecipeFromJsonTest : public ::testing::Test {
protected:
    CommandOutput run(std::vector<std::string> arguments,
                      const std::optional<std::string>& input = std::nullopt) {
        arguments.insert(arguments.begin(), {"--library", m_library.string()});
        return runMiravel(m_home.path(), arguments, input);
    }
    std::string uidOf(const CommandOutput& output) {
        EXPECT_EQ(output.exitCode, 0) << output.err;
        return output.out.substr(0, output.out.find('\n'));
    }
    JsonObject shown(const std::string& recipe) {
        auto json = run({"recipe", "show", recipe, "--json"});
        auto parsed = JsonParser::parse(json.out, {.maxDepth = JsonParser::kDefaultMaxDepth,
                                                   .allowRawControlCharacters = true});
        EXPECT_TRUE(parsed && parsed->isObject()) << json.out << json.err;
        return parsed && parsed->isObject() ? parsed->asObject() : JsonObject();
    }
    std::filesystem::path write(const std::string& name, const std::string& text) {
        auto path = m_home / name;
        EXPECT_TRUE(writeFileAtomically(path, text));
        return path;
    }

    TemporaryFolder m_home;
    std::filesystem::path m_library = m_home / "Kitchen";
};

// What "show --json" prints comes back as the same recipe: every member a person set, with a
// new identity and a photo file of its own.
TEST_F(RecipeFromJsonTest, addRoundTripsWhatShowPrints) {
    Image image = Image::blank(40, 30);
    std::ranges::fill(image.pixels, 120);
    const auto picture = m_home / "tart.jpg";
    ASSERT_TRUE(writeFileAtomically(picture, *encodeJpeg(image)));
    ASSERT_EQ(run({"category", "add", "Desserts"}).exitCode, 0);
    ASSERT_EQ(run({"category", "add", "Baking"}).exitCode, 0);
    const std::string original =
        uidOf(run({"recipe", "add", "--name", "Tart", "--rating", "4", "--difficulty", "Medium",
                   "--favorite", "--categories", "Desserts,Baking", "--photo", picture.string(),
                   "--ingredients", "1 cup flour\n2 eggs", "--source-url", "https://example.org/t",
                   "--notes", "bell\x07 and form feed\f"}));
    const auto json = run({"recipe", "show", original, "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;

    const std::string copy = uidOf(run({"recipe", "add", "--from-json", "-"}, json.out));
    ASSERT_NE(copy, original);
    JsonObject before = shown(original);
    JsonObject after = shown(copy);
    for (const char* key : {"name", "rating", "difficulty", "ingredients", "on_favorites",
                            "source_url", "notes", "categories"}) {
        ASSERT_NE(after.find(key), nullptr) << key;
        EXPECT_EQ(*after.find(key), *before.find(key)) << key;
    }
    // The photo is read again as a chosen picture is, into a file of the copy's own, so that
    // deleting either recipe leaves the other its photo.
    EXPECT_TRUE(after.find("photo_hash")->isString());
    EXPECT_NE(after.find("photo")->asString(), before.find("photo")->asString());
    EXPECT_TRUE(std::filesystem::exists(m_library / before.find("photo")->asString()));
    EXPECT_TRUE(std::filesystem::exists(m_library / after.find("photo")->asString()));
}

TEST_F(RecipeFromJsonTest, eachMemberIsCheckedAndNamedWhenWrong) {
    ASSERT_EQ(run({"category", "add", "Desserts"}).exitCode, 0);
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"name": 5})", "\"name\" must be text or null, not 5"},
        {R"({"name": "  "})", "\"name\" must be a name that is not blank"},
        {R"({"name": "Pie", "difficulty": "Insane"})", "\"difficulty\" must be \"Easy\""},
        {R"({"name": "Pie", "rating": 99})", "\"rating\" must be a number of stars from 0 to 5"},
        {R"({"name": "Pie", "rating": "5"})", "\"rating\" must be a whole number or null"},
        {R"({"name": "Pie", "on_favorites": 1})", "\"on_favorites\" must be true or false"},
        {R"({"name": "Pie", "categories": "Desserts"})", "\"categories\" must be an array"},
        {R"({"name": "Pie", "categories": ["Starters"]})", "\"categories\" names \"Starters\""},
        {R"({"name": "Pie", "photo": "../../secret.jpg"})", "\"photo\" must be the file name"},
        {R"({"name": "Pie", "raitng": 3})", "\"raitng\" is not a member"},
        {"[1, 2]", "holds no recipe dictionary"},
        {"{\n  \"name\": \"Pie\",\n  \"rating\": 3,\n}", "line 4, column 1"},
    };
    for (const auto& c : cases) {
        auto refused = run({"recipe", "add", "--from-json", write("r.json", c.json).string()});
        EXPECT_NE(refused.exitCode, 0) << c.json;
        EXPECT_EQ(refused.out, "") << c.json;
        EXPECT_TRUE(contains(refused.err, c.message)) << c.json << "\n" << refused.err;
    }
    EXPECT_EQ(run({"recipe", "list"}).out, "");

    // A dictionary written by hand may name categories by name; options still win.
    const std::string uid =
        uidOf(run({"recipe", "add", "--from-json", "-", "--rating", "2"},
                  R"({"name": "Pie", "categories": ["desserts"], "rating": 5, "photo": null})"));
    auto dictionary = shown(uid);
    EXPECT_EQ(dictionary.find("rating")->asInteger(), 2);
    EXPECT_EQ(dictionary.find("categories")->asArray().size(), 1u);
    EXPECT_TRUE(contains(run({"recipe", "show", uid}).out, "Categories: Desserts\n"));
}

// Filing a recipe in a category that does not exist yet makes it, as an import does, and
// says so on standard error; standard output keeps only the uid.
TEST_F(RecipeFromJsonTest, missingCategoriesAreCreatedAndReported) {
    ASSERT_EQ(run({"category", "add", "Desserts"}).exitCode, 0);
    auto added =
        run({"recipe", "add", "--name", "Pie", "--categories", "desserts, Quick ,Baking,baking"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out.find('\n'), added.out.size() - 1) << added.out;
    EXPECT_EQ(added.err, "Created category \"Quick\".\nCreated category \"Baking\".\n");
    EXPECT_TRUE(
        contains(run({"recipe", "show", "Pie"}).out, "Categories: Baking, Desserts, Quick\n"));
    const std::string categories = run({"category", "list"}).out;
    EXPECT_EQ(std::ranges::count(categories, '\n'), 3) << categories;

    auto edited = run({"recipe", "edit", "Pie", "--categories", "Soups"});
    ASSERT_EQ(edited.exitCode, 0) << edited.err;
    EXPECT_EQ(edited.err, "Created category \"Soups\".\n");
    EXPECT_TRUE(contains(run({"recipe", "show", "Pie"}).out, "Categories: Soups\n"));
}

// A name spelled otherwise than stored is taken when it matches one recipe only; when it
// matches several, each is listed with its uid.
TEST_F(RecipeFromJsonTest, namesMatchApartFromCaseAndAccentsWhenUnambiguous) {
    const std::string brulee = uidOf(run({"recipe", "add", "--name", "Crème brûlée"}));
    auto found = run({"recipe", "show", "creme brulee"});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_TRUE(found.out.starts_with("Crème brûlée\n")) << found.out;
    EXPECT_EQ(run({"recipe", "show", "  CRÈME BRÛLÉE "}).exitCode, 0);

    const std::string other = uidOf(run({"recipe", "add", "--name", "Creme Brulee"}));
    auto ambiguous = run({"recipe", "show", "creme brulee"});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_TRUE(contains(ambiguous.err, "several recipes match \"creme brulee\"")) << ambiguous.err;
    EXPECT_TRUE(contains(ambiguous.err, brulee + "  Crème brûlée")) << ambiguous.err;
    EXPECT_TRUE(contains(ambiguous.err, other + "  Creme Brulee")) << ambiguous.err;
    // The exact spelling still names one.
    EXPECT_EQ(run({"recipe", "show", "Creme Brulee"}).exitCode, 0);
}

}  // namespace
}  // namespace miravel
