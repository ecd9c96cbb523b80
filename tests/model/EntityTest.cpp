#include <cstdlib>
#include <ctime>
#include <fstream>

#include "lib/Crypto.h"
#include "lib/JsonWriter.h"
#include "lib/ResourceFolder.h"
#include "model/Bookmark.h"
#include "model/GroceryListItem.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "support/StoreTestSupport.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

class EntityTest : public StoreTest {};

TEST_F(EntityTest, recipeTextAndHashAreByteExact) {
    testing::ScopedTimeZone utc("UTC0");
    auto a = m_main->insert<RecipeCategory>();
    a->setUid("B2");
    auto b = m_main->insert<RecipeCategory>();
    b->setUid("A1");
    auto recipe = m_main->insert<Recipe>();
    recipe->setUid("0E6A1F3C-2B4D-4C8E-9F10-123456789ABC");
    recipe->setName("Pan/Oven \"Best\" Cr\xc3\xa8me Br\xc3\xbbl\xc3\xa9\x65");
    recipe->setDirections("Heat.\nBake\tslowly.");
    recipe->setServings("4");
    recipe->setRating(5);
    recipe->setDifficulty("Easy");
    recipe->setIngredients("1 cup cream\n1/2 cup sugar");
    recipe->setCreated(testing::utc(2026, 3, 8, 1, 59, 59));
    recipe->setOnFavorites(true);
    recipe->setCookTime("1 hour");
    recipe->setPrepTime("15 min");
    recipe->setSource("Grandma\\Book");
    recipe->setSourceUrl("https://example.com/r?a=1&b=2");
    recipe->addCategory(a);
    recipe->addCategory(b);

    const std::string expected =
        "{\"uid\":\"0E6A1F3C-2B4D-4C8E-9F10-123456789ABC\",\"name\":\"Pan\\/Oven \\\"Best\\\" "
        "Cr\xc3\xa8me Br\xc3\xbbl\xc3\xa9\x65\",\"directions\":\"Heat.\\nBake\\tslowly.\","
        "\"servings\":\"4\",\"rating\":5,\"difficulty\":\"Easy\",\"ingredients\":\"1 cup "
        "cream\\n1\\/2 cup sugar\",\"notes\":null,\"created\":\"2026-03-08 01:59:59\","
        "\"image_url\":null,\"on_favorites\":true,\"cook_time\":\"1 hour\",\"prep_time\":\"15 "
        "min\",\"source\":\"Grandma\\\\Book\",\"source_url\":\"https:\\/\\/example.com\\/"
        "r?a=1&b=2\",\"photo_hash\":null,\"photo\":null,\"nutritional_info\":null,"
        "\"deleted\":false,\"categories\":[\"A1\",\"B2\"]}";
    EXPECT_EQ(recipe->objectData(), expected);
    // Computed with sha256sum over the same bytes.
    EXPECT_EQ(recipe->generateHash(),
              "7b02e9e7a3ac33d0b18daaeec3f5754515d5aeadebd41fe9ebe754f5bbcc14ec");

    recipe->setModified();
    EXPECT_EQ(recipe->hashValue(), recipe->generateHash());
    EXPECT_EQ(recipe->status(), "modified");
    std::string before = recipe->hashValue();
    recipe->setModified();  // nothing changed: the same hash
    EXPECT_EQ(recipe->hashValue(), before);
    auto withHash = recipe->objectDictionaryWithHash();
    EXPECT_EQ((withHash.end() - 1)->first, "hash");
    EXPECT_EQ((withHash.end() - 1)->second.asString(), before);
}

TEST_F(EntityTest, emptyRecipeHasNullMembersAndNoCategories) {
    auto recipe = m_main->insert<Recipe>();
    recipe->setUid("U");
    EXPECT_EQ(recipe->objectData(),
              "{\"uid\":\"U\",\"name\":null,\"directions\":null,\"servings\":null,\"rating\":null,"
              "\"difficulty\":null,\"ingredients\":null,\"notes\":null,\"created\":null,"
              "\"image_url\":null,\"on_favorites\":null,\"cook_time\":null,\"prep_time\":null,"
              "\"source\":null,\"source_url\":null,\"photo_hash\":null,\"photo\":null,"
              "\"nutritional_info\":null,\"deleted\":false,\"categories\":[]}");

    auto twin = m_main->insert<Recipe>();
    EXPECT_NE(twin->generateHash(), recipe->generateHash());  // only the uid differs
}

TEST_F(EntityTest, everyEntityWritesItsMembersInOrder) {
    testing::ScopedTimeZone utc("UTC0");
    auto recipe = m_main->insert<Recipe>();
    recipe->setUid("R");
    auto category = m_main->insert<RecipeCategory>();
    category->setUid("C");
    category->setName("Soups");
    auto meal = m_main->insert<Meal>();
    meal->setUid("M");
    meal->setDate(testing::utc(2026, 12, 8, 0, 0, 0));
    meal->setType(Meal::Dinner);
    meal->setRecipe(recipe);
    auto item = m_main->insert<GroceryListItem>();
    item->setUid("G");
    item->setName("2 eggs");
    item->setPurchased(false);
    item->setRecipeName("Omelette");
    auto bookmark = m_main->insert<Bookmark>();
    bookmark->setUid("B");
    bookmark->setTitle("Soups");
    bookmark->setUrl("https://soup.example/");
    bookmark->setStatus("deleted");

    EXPECT_EQ(category->objectData(),
              "{\"uid\":\"C\",\"name\":\"Soups\",\"order_flag\":0,\"deleted\":false}");
    EXPECT_EQ(meal->objectData(),
              "{\"uid\":\"M\",\"type\":2,\"date\":\"2026-12-08 00:00:00\",\"deleted\":false,"
              "\"order_flag\":0,\"name\":null,\"recipe_uid\":\"R\"}");
    // An item without an aisle sends the one it is shown under.
    EXPECT_EQ(
        item->objectData(),
        "{\"uid\":\"G\",\"name\":\"2 eggs\",\"purchased\":false,\"order_flag\":null,"
        "\"recipe\":\"Omelette\",\"aisle\":\"Dairy\",\"ingredient\":\"egg\",\"deleted\":false}");
    EXPECT_EQ(bookmark->objectData(),
              "{\"uid\":\"B\",\"url\":\"https:\\/\\/soup.example\\/\",\"title\":\"Soups\","
              "\"order_flag\":null,\"deleted\":true}");
}

TEST_F(EntityTest, gettersFillInMissingIdentityAndDefaults) {
    auto recipe = m_main->insert<Recipe>();
    EXPECT_EQ(recipe->uid().size(), 36u);  // set on insertion
    recipe->setValue("uid", Value());
    std::string made = recipe->uid();
    EXPECT_EQ(made.size(), 36u);
    EXPECT_EQ(recipe->uid(), made);  // stored, not made again
    EXPECT_EQ(recipe->status(), "modified");
    auto category = m_main->insert<RecipeCategory>();
    EXPECT_EQ(category->orderFlag(), 0);
    ASSERT_TRUE(m_main->save());
    auto reread = all<RecipeCategory>(*freshContext());
    ASSERT_EQ(reread.size(), 1u);
    EXPECT_EQ(reread[0]->integer("orderFlag"), 0);  // the default was saved
}

TEST_F(EntityTest, derivedTexts) {
    auto recipe = m_main->insert<Recipe>();
    const std::pair<std::optional<std::string>, std::string> letters[] = {
        {std::nullopt, ""},
        {"", ""},
        {"\xc3\xa9pinards", "\xc3\x89"},
        {"e\xcc\x81tuve", "E\xcc\x81"},
        {"\xf0\x9f\x8d\xb0 cake", "\xf0\x9f\x8d\xb0"},
        {"apple", "A"}};
    for (const auto& [name, letter] : letters) {
        recipe->setName(name);
        EXPECT_EQ(recipe->firstLetter(), letter) << name.value_or("(none)");
    }
    for (const auto& [url, valid] : std::vector<std::pair<std::optional<std::string>, bool>>{
             {std::nullopt, false}, {"", false}, {"---", false}, {"https://a.example", true}}) {
        recipe->setSourceUrl(url);
        EXPECT_EQ(recipe->validSourceUrl(), valid);
    }
    EXPECT_EQ(Meal::typeName(0), "Breakfast");
    EXPECT_EQ(Meal::typeName(3), "Snacks");
    EXPECT_EQ(Meal::typeName(7), "");
    EXPECT_EQ(Meal::typeName(-1), "");

    auto meal = m_main->insert<Meal>();
    meal->setName("Leftovers");
    EXPECT_EQ(meal->mealName(), "Leftovers");
    recipe->setName("Stew");
    meal->setRecipe(recipe);
    EXPECT_EQ(meal->mealName(), "Stew");

    auto item = m_main->insert<GroceryListItem>();
    EXPECT_EQ(item->recipeTitle(), "My Items");
    item->setRecipeName("");
    EXPECT_EQ(item->recipeTitle(), "My Items");
    item->setRecipeName("Stew");
    EXPECT_EQ(item->recipeTitle(), "Stew");
}

TEST_F(EntityTest, groceryItemWithoutAisleGetsOneFromItsNameQuietly) {
    if (!resourcePath("Ingredients.sqlite")) {
        GTEST_SKIP() << "no reference store in the build tree";
    }
    auto item = m_main->insert<GroceryListItem>();
    item->setName("2 cups frozen peas");
    item->setStatus(kStatusUnmodified);
    ASSERT_TRUE(m_main->save());
    testing::ChangeRecorder changes(m_center, *m_main);

    EXPECT_EQ(item->aisle(), "Frozen Foods");
    EXPECT_EQ(item->storedAisle(), "Frozen Foods");
    EXPECT_EQ(item->ingredient(), "pea");
    EXPECT_EQ(item->status(), kStatusModified);
    m_main->processPendingChanges();
    EXPECT_TRUE(changes.changes().empty());
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(item->objectDictionary()->find("aisle")->asString(), "Frozen Foods");

    // A stored aisle (chosen by the user) is kept whatever the name says.
    item->setAisle("Bakery");
    EXPECT_EQ(item->aisle(), "Bakery");
    item->setNameAndUpdateAisle("1 can black beans, drained");
    EXPECT_EQ(item->name(), "1 can black beans, drained");
    EXPECT_EQ(item->aisle(), "Canned and Jar Goods");
    EXPECT_EQ(item->ingredient(), "black bean");
    item->setNameAndUpdateAisle("dish soap refills");
    EXPECT_EQ(item->aisle(), "Miscellaneous");
    EXPECT_EQ(item->ingredient(), "dish soap refills");
}

TEST_F(EntityTest, categoriesToStringFollowsTheAlphabetizeSetting) {
    EXPECT_EQ(RecipeCategory::categoriesToString({}, true), "Uncategorized");
    auto b = m_main->insert<RecipeCategory>();
    b->setName("b");
    b->setOrderFlag(1);
    auto a = m_main->insert<RecipeCategory>();
    a->setName("A");
    a->setOrderFlag(2);
    EXPECT_EQ(RecipeCategory::categoriesToString({b, a}, true), "A, b");
    EXPECT_EQ(RecipeCategory::categoriesToString({b, a}, false), "b, A");
}

TEST_F(EntityTest, photoFollowsItsFile) {
    auto recipe = m_main->insert<Recipe>();
    EXPECT_EQ(recipe->photoHash(), std::nullopt);
    std::ofstream(m_folder / "one.jpg", std::ios::binary) << "jpeg bytes";
    std::ofstream(m_folder / "two.jpg", std::ios::binary) << "other bytes";

    recipe->setPhoto("one.jpg");
    EXPECT_EQ(recipe->photoPath(), m_folder / "one.jpg");
    EXPECT_EQ(recipe->photoHash(), sha256Hex("jpeg bytes"));
    recipe->setPhoto("one.jpg");  // same name: the file stays
    EXPECT_TRUE(std::filesystem::exists(m_folder / "one.jpg"));

    recipe->setPhoto("two.jpg");  // a new photo replaces the old file
    EXPECT_FALSE(std::filesystem::exists(m_folder / "one.jpg"));
    EXPECT_EQ(recipe->photoHash(), sha256Hex("other bytes"));

    recipe->setPhoto(std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "two.jpg"));
    EXPECT_EQ(recipe->photoHash(), std::nullopt);

    // A photo whose file is gone has no path, and hashes as no bytes.
    recipe->setValue("photo", "missing.jpg");
    EXPECT_EQ(recipe->photoPath(), std::nullopt);
    EXPECT_EQ(recipe->photoHash(), sha256Hex(""));
    // A name (from a synced or imported recipe) can never lead outside the library folder,
    // nor to the store's own files, which deleting the photo would then destroy.
    for (const char* name :
         {"../Miravel.sqlite", "Miravel.sqlite", "Miravel.sqlite-wal", ".", ".."}) {
        recipe->setValue("photo", name);
        EXPECT_EQ(recipe->photoPath(), std::nullopt) << name;
    }
    std::ofstream(m_folder / "three.jpg") << "x";
    recipe->setValue("photo", "../elsewhere/three.jpg");
    EXPECT_EQ(recipe->photoPath(), m_folder / "three.jpg");
    recipe->setPhoto(std::nullopt);
    EXPECT_TRUE(std::filesystem::exists(m_folder / "Miravel.sqlite"));
}

TEST_F(EntityTest, deletingSignedOutRemovesRecipeAndItsMeals) {
    auto recipe = m_main->insert<Recipe>();
    auto meal = m_main->insert<Meal>();
    meal->setRecipe(recipe);
    auto other = m_main->insert<Meal>();
    ASSERT_TRUE(m_main->save());

    int announced = 0;
    auto observation = m_center.addObserver(kRecipeWillBeDeletedNotification, nullptr,
                                            [&](const Notification&) { ++announced; });
    ASSERT_TRUE(Recipe::deleteRecipes(*m_main, {recipe}));
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(recipe->isReallyDeleted());
    auto fresh = freshContext();
    EXPECT_TRUE(all<Recipe>(*fresh).empty());
    auto meals = all<Meal>(*fresh);
    ASSERT_EQ(meals.size(), 1u);
    EXPECT_EQ(meals[0]->uid(), other->uid());
}

TEST_F(EntityTest, deletingSignedInKeepsTombstonesWithTheirMeals) {
    setLoggedIn(true);
    auto recipe = m_main->insert<Recipe>();
    std::ofstream(m_folder / "photo.jpg") << "x";
    recipe->setPhoto("photo.jpg");
    auto meal = m_main->insert<Meal>();
    meal->setRecipe(recipe);
    ASSERT_TRUE(m_main->save());

    ASSERT_TRUE(Recipe::deleteRecipes(*m_main, {recipe}));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "photo.jpg"));
    auto fresh = freshContext();
    auto recipes = all<Recipe>(*fresh);
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0]->status(), "deleted");
    EXPECT_TRUE(recipes[0]->isReallyDeleted());
    auto meals = all<Meal>(*fresh);
    ASSERT_EQ(meals.size(), 1u);
    EXPECT_EQ(meals[0]->status(), "deleted");
    EXPECT_EQ(meals[0]->recipe()->uid(), recipe->uid());
    EXPECT_TRUE(all<Recipe>(*fresh, kLiveStatusPredicate).empty());
}

TEST_F(EntityTest, nextOrderFlagCountsLiveAndUnsavedObjects) {
    EXPECT_EQ(SyncedObject::nextOrderFlag(*m_main, "Bookmark"), 1);
    auto first = m_main->insert<Bookmark>();
    first->setOrderFlag(4);
    ASSERT_TRUE(m_main->save());
    EXPECT_EQ(SyncedObject::nextOrderFlag(*m_main, "Bookmark"), 5);
    auto unsaved = m_main->insert<Bookmark>();
    unsaved->setOrderFlag(SyncedObject::nextOrderFlag(*m_main, "Bookmark"));
    EXPECT_EQ(SyncedObject::nextOrderFlag(*m_main, "Bookmark"), 6);
    auto tombstone = m_main->insert<Bookmark>();
    tombstone->setOrderFlag(99);
    tombstone->setStatus("deleted");
    EXPECT_EQ(SyncedObject::nextOrderFlag(*m_main, "Bookmark"), 6);
}

}  // namespace
}  // namespace miravel
