#include <gtest/gtest.h>

#include "import/ImportTestSupport.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/JsonParser.h"
#include "model/RecipeFile.h"

namespace miravel {
namespace {

using testing::LibraryTest;

TEST(RecipeFileNameTest, DropsRefusedCharactersAndKeepsWithinLimits) {
    EXPECT_EQ(recipeFileName("a/b:c"), "ab:c.miravelrecipe");
    EXPECT_EQ(recipeFileName("Pie?%*|\"<>\n\r\t\\"), "Pie.miravelrecipe");
    EXPECT_EQ(recipeFileName(""), "Untitled Recipe.miravelrecipe");
    EXPECT_EQ(recipeFileName("///"), "Untitled Recipe.miravelrecipe");
    EXPECT_EQ(recipeFileName(std::string(300, 'x')), std::string(235, 'x') + ".miravelrecipe");
    // 234 letters and an emoji (two UTF-16 units) do not fit 235 units: the emoji goes whole.
    EXPECT_EQ(recipeFileName(std::string(234, 'x') + "\U0001F967"),
              std::string(234, 'x') + ".miravelrecipe");
    EXPECT_EQ(recipeFileName(std::string(233, 'x') + "\U0001F967"),
              std::string(233, 'x') + "\U0001F967.miravelrecipe");
}

class RecipeFileWriteTest : public LibraryTest {};

TEST_F(RecipeFileWriteTest, HoldsTheMembersInTheirOrder) {
    auto recipe = main().insert<Recipe>();
    recipe->setName("Soup");
    auto object = readRecipeFile(recipe->emailAttachment());
    ASSERT_TRUE(object);
    std::vector<std::string> keys;
    for (const auto& [key, value] : *object) {
        keys.push_back(key);
    }
    const std::vector<std::string> expected = {
        "uid",         "name",       "directions", "servings",  "rating",           "difficulty",
        "ingredients", "notes",      "created",    "image_url", "cook_time",        "prep_time",
        "source",      "source_url", "photo_hash", "photo",     "nutritional_info", "photo_data"};
    EXPECT_EQ(keys, expected);
    EXPECT_TRUE(object->find("photo")->isNull());
    EXPECT_TRUE(object->find("photo_data")->isNull());

    recipe->addCategory(addCategory("b", 1));
    recipe->addCategory(addCategory("A", 2));
    object = readRecipeFile(recipe->emailAttachment());
    ASSERT_TRUE(object);
    ASSERT_EQ(object->size(), 19u);
    const JsonValue& names = *object->find("categories");
    ASSERT_TRUE(names.isArray());
    EXPECT_EQ(names.asArray(), (JsonArray{"A", "b"}));
}

TEST_F(RecipeFileWriteTest, CarriesThePhotoBytesOnlyWhenTheFileExists) {
    auto recipe = main().insert<Recipe>();
    auto photo = savePhoto(m_library->filesFolder(), testing::jpegOfSize(40, 30));
    ASSERT_TRUE(photo);
    recipe->setPhoto(*photo);
    auto object = readRecipeFile(recipe->emailAttachment());
    ASSERT_TRUE(object);
    ASSERT_TRUE(object->find("photo_data")->isString());
    EXPECT_EQ(base64Decode(object->find("photo_data")->asString()),
              readFile(m_library->filesFolder() / *photo).value());

    std::filesystem::remove(m_library->filesFolder() / *photo);
    object = readRecipeFile(recipe->emailAttachment());
    EXPECT_EQ(object->find("photo")->asString(), *photo);
    EXPECT_TRUE(object->find("photo_data")->isNull());
}

TEST(RecipeFileReadTest, RefusesWhatIsNoRecipeFile) {
    for (const std::string& bytes : {std::string("{\"name\":\"plain\"}"), gzipCompress("[1,2]"),
                                     gzipCompress("{\"name\":"), std::string("\x1f\x8b garbage")}) {
        auto object = readRecipeFile(bytes);
        ASSERT_FALSE(object) << bytes;
        EXPECT_EQ(object.error().description, "Unable to parse this file.");
        EXPECT_EQ(object.error().code, 100);
    }
}

}  // namespace
}  // namespace miravel
