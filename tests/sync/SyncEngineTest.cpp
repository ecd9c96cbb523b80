#include "sync/SyncTestSupport.h"

#include "lib/Gzip.h"

namespace miravel::testing {
namespace {

class SyncEngineTest : public SyncTest {};

TEST_F(SyncEngineTest, EveryEntityTravelsToTheOtherDeviceWithItsPhoto) {
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Soups");
    auto recipe = m_a->addRecipe("Leek soup");
    recipe->addCategory(category);
    m_a->setPhoto(*recipe, "1");
    auto meal = m_a->main().insert<Meal>();
    meal->setRecipe(recipe);
    meal->setType(2);
    meal->setDate(parseDateText("2014-03-09 07:05:00"));
    auto named = m_a->main().insert<Meal>();
    named->setName("Leftovers");
    named->setDate(parseDateText("2014-03-10 00:00:00"));
    auto item = m_a->main().insert<GroceryListItem>();
    item->setName("leeks");
    item->setAisle("Produce");
    item->setPurchased(false);
    item->setOrderFlag(1);
    auto bookmark = m_a->main().insert<Bookmark>();
    bookmark->setTitle("Soups");
    bookmark->setUrl("https://example.org/soups");
    bookmark->setOrderFlag(1);
    m_a->save();

    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
    auto copy = m_b->byUid<Recipe>(recipe->uid());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->status(), kStatusUnmodified);
    EXPECT_EQ(copy->hashValue(), recipe->hashValue());
    ASSERT_EQ(copy->categories().size(), 1u);
    EXPECT_EQ(copy->categories().front()->name(), "Soups");
    auto copiedMeal = m_b->byUid<Meal>(meal->uid());
    ASSERT_TRUE(copiedMeal && copiedMeal->recipe());
    EXPECT_EQ(copiedMeal->recipe()->uid(), recipe->uid());
    for (auto& object : m_a->all<Meal>()) {
        EXPECT_EQ(object->status(), kStatusUnmodified);
    }
    EXPECT_TRUE(m_a->m_settings->string(kLastSyncedDateKey));
    EXPECT_FALSE(m_a->m_settings->string(kSyncErrorKey));
}

TEST_F(SyncEngineTest, ANoChangeSyncSendsFiveListRequestsAndNothingElse) {
    for (int i = 0; i < 20; ++i) {
        m_a->addRecipe("Recipe " + std::to_string(i));
    }
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    auto gets = m_a->m_service->getCount();
    auto posts = m_a->m_service->postCount();
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->m_service->getCount() - gets, 5u);
    EXPECT_EQ(m_a->m_service->postCount() - posts, 0u);
}

// The screens read a new object's status while the sync confirms it; the main context's own
// changes win over a merged save, so the status must not be one its getter filled in there.
TEST_F(SyncEngineTest, ANewObjectSentOnceStaysUnmodifiedWhereTheScreensHoldIt) {
    auto meal = m_a->main().insert<Meal>();
    meal->setName("Picnic");
    meal->setDate(parseDateText("2014-03-09 12:00:00"));
    auto item = m_a->main().insert<GroceryListItem>();
    item->setName("bread");
    item->setAisle("Bakery");
    m_a->save();
    EXPECT_EQ(meal->status(), kStatusModified);
    EXPECT_EQ(item->status(), kStatusModified);
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(meal->status(), kStatusUnmodified);
    EXPECT_EQ(item->status(), kStatusUnmodified);
    m_a->save();
    auto posts = m_a->m_service->postCount();
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->m_service->postCount(), posts) << "nothing goes up twice";
}

TEST_F(SyncEngineTest, RecipeConflictsAndHashes) {
    auto recipe = m_a->addRecipe("Bread");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    // Both edit: the one that syncs last keeps its own version, and the other one follows.
    auto onB = m_b->byUid<Recipe>(recipe->uid());
    onB->setNotes("from b");
    onB->setModified();
    m_b->save();
    ASSERT_EQ(m_b->sync(), "");
    recipe->setNotes("from a");
    recipe->setModified();
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(recipe->notes(), "from a");
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_b->byUid<Recipe>(recipe->uid())->notes(), "from a");

    // Modified, but with the server's hash: nothing to send.
    recipe->setModified();
    m_a->save();
    auto posts = m_a->m_service->postCount();
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->m_service->postCount(), posts);
    EXPECT_EQ(recipe->status(), kStatusUnmodified);
}

TEST_F(SyncEngineTest, DeletionsOnEitherSide) {
    auto recipe = m_a->addRecipe("Stew");
    auto meal = m_a->main().insert<Meal>();
    meal->setRecipe(recipe);
    meal->setDate(parseDateText("2014-03-09 12:00:00"));
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Old");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    // Deleted on a: tombstones until the server is told, then gone.
    ASSERT_TRUE(Recipe::deleteRecipes(m_a->main(), {recipe}));
    SyncedObject::deleteObjects(m_a->main(), {category});
    m_a->save();
    EXPECT_EQ(m_a->all<Meal>().front()->status(), kStatusDeleted);
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_TRUE(m_a->all<Recipe>().empty());
    EXPECT_TRUE(m_a->all<Meal>().empty());
    EXPECT_TRUE(m_a->all<RecipeCategory>().empty());

    // Missing from the server on b: the unmodified recipe goes, and its meals with it.
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_TRUE(m_b->all<Recipe>().empty());
    EXPECT_TRUE(m_b->all<Meal>().empty());
    EXPECT_TRUE(m_b->all<RecipeCategory>().empty());
}

TEST_F(SyncEngineTest, ServerValuesAreReadAsTheServerMeansThem) {
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Kept");
    auto recipe = m_a->addRecipe("Salad");
    recipe->addCategory(category);
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    MiravelService& service = *m_a->m_service;
    // A grocery item without an aisle, a meal of a recipe nobody has, and a bookmark equal
    // to one b made itself.
    ASSERT_TRUE(service.updateGroceries(JsonArray{JsonValue(JsonObject{{"uid", "g1"},
                                                                       {"name", "salt"},
                                                                       {"purchased", false},
                                                                       {"order_flag", 1},
                                                                       {"recipe", JsonValue()},
                                                                       {"aisle", JsonValue()},
                                                                       {"ingredient", JsonValue()},
                                                                       {"deleted", false}})}));
    ASSERT_TRUE(
        service.updateMeals(JsonArray{JsonValue(JsonObject{{"uid", "m1"},
                                                           {"type", 1},
                                                           {"date", "2014-03-09 07:05:00"},
                                                           {"deleted", false},
                                                           {"order_flag", 0},
                                                           {"name", JsonValue()},
                                                           {"recipe_uid", "nobody-has-it"}})}));
    ASSERT_TRUE(
        service.updateBookmarks(JsonArray{JsonValue(JsonObject{{"uid", "server-bookmark"},
                                                               {"url", "https://example.org/"},
                                                               {"title", "Example"},
                                                               {"order_flag", 7},
                                                               {"deleted", false}})}));
    // The recipe names only categories b has never heard of.
    auto dictionary = recipe->objectDictionaryWithHash();
    dictionary.set("categories", JsonValue(JsonArray{JsonValue("unknown-category")}));
    dictionary.set("hash", JsonValue("changed-on-server"));
    ASSERT_TRUE(service.updateRecipe(recipe->uid(), dictionary, std::nullopt));

    auto own = m_b->main().insert<Bookmark>();
    own->setTitle("Example");
    own->setUrl("https://example.org/");
    m_b->save();
    ASSERT_EQ(m_b->sync(), "");

    auto item = m_b->byUid<GroceryListItem>("g1");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->storedAisle(), "Miscellaneous");
    auto meal = m_b->byUid<Meal>("m1");
    ASSERT_TRUE(meal);
    EXPECT_FALSE(meal->recipe());
    auto bookmarks = m_b->live<Bookmark>();
    ASSERT_EQ(bookmarks.size(), 1u);
    EXPECT_EQ(bookmarks.front()->uid(), "server-bookmark");
    EXPECT_EQ(bookmarks.front()->orderFlag(), 7);
    // Categories the server's lists no longer hold are gone everywhere: b drops its own
    // link as a device that never had one ends with none, so both agree under one hash.
    auto copy = m_b->byUid<Recipe>(recipe->uid());
    EXPECT_TRUE(copy->categories().empty());
    Device fresh(m_folder.path(), "fresh");
    fresh.signIn("cook@example.org", m_server->url());
    ASSERT_EQ(fresh.sync(), "");
    EXPECT_EQ(fresh.snapshot()["Recipe"], m_b->snapshot()["Recipe"]);

    // Known ones are taken, unknown ones dropped; an empty array clears them.
    auto kept = m_b->live<RecipeCategory>().front();
    dictionary.set("categories",
                   JsonValue(JsonArray{JsonValue("unknown-category"), JsonValue(kept->uid())}));
    dictionary.set("hash", JsonValue("changed-again"));
    ASSERT_TRUE(service.updateRecipe(recipe->uid(), dictionary, std::nullopt));
    ASSERT_EQ(m_b->sync(), "");
    ASSERT_EQ(m_b->byUid<Recipe>(recipe->uid())->categories().size(), 1u);
    EXPECT_EQ(m_b->byUid<Recipe>(recipe->uid())->categories().front()->name(), "Kept");
    dictionary.set("categories", JsonValue(JsonArray{}));
    dictionary.set("hash", JsonValue("changed-once-more"));
    ASSERT_TRUE(service.updateRecipe(recipe->uid(), dictionary, std::nullopt));
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_TRUE(m_b->byUid<Recipe>(recipe->uid())->categories().empty());
}

// A category deleted on one device: the other drops it from its recipes without taking that
// for an edit of its own, which would send its older copies over the newer ones (or bring a
// deleted recipe back).
TEST_F(SyncEngineTest, ACategoryDeletedElsewhereLeavesNewerRecipesAlone) {
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Winter");
    auto renamed = m_a->addRecipe("Stew");
    auto removed = m_a->addRecipe("Chowder");
    renamed->addCategory(category);
    removed->addCategory(category);
    renamed->setModified();
    removed->setModified();
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    renamed->setName("Beef stew");
    renamed->setModified();
    ASSERT_TRUE(Recipe::deleteRecipes(m_a->main(), {removed}));
    SyncedObject::deleteObjects(m_a->main(), {category});
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    ASSERT_EQ(m_a->sync(), "");

    auto onB = m_b->live<Recipe>();
    ASSERT_EQ(onB.size(), 1u) << "the deleted recipe stays deleted";
    EXPECT_EQ(onB.front()->name(), "Beef stew");
    EXPECT_TRUE(onB.front()->categories().empty());
    EXPECT_EQ(onB.front()->status(), kStatusUnmodified);
    EXPECT_EQ(m_a->live<Recipe>().front()->name(), "Beef stew");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

// The device that deleted a category sends the recipes it took it from: a device that
// renamed the category meanwhile keeps the category, and takes the recipes without it.
TEST_F(SyncEngineTest, ACategoryDeletedHereAndRenamedThereConverges) {
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Summer");
    auto recipe = m_a->addRecipe("Gazpacho");
    recipe->addCategory(category);
    recipe->setModified();
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    SyncedObject::deleteObjects(m_a->main(), {category});
    m_a->save();
    auto onB = m_b->byUid<RecipeCategory>(category->uid());
    onB->setName("Hot days");
    onB->setStatus(kStatusModified);
    m_b->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
    EXPECT_TRUE(m_b->byUid<Recipe>(recipe->uid())->categories().empty());
}

// Signed out, a deleted category leaves the store at once; its recipes changed, and the next
// sync sends them rather than keeping a hash that still names the category.
TEST_F(SyncEngineTest, ACategoryDeletedWhileSignedOutChangesItsRecipes) {
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Brunch");
    auto recipe = m_a->addRecipe("Pancakes");
    recipe->addCategory(category);
    recipe->setModified();
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");

    m_a->m_library->setLoggedIn(false);
    SyncedObject::deleteObjects(m_a->main(), {category});
    m_a->save();
    EXPECT_TRUE(m_a->all<RecipeCategory>().empty());
    EXPECT_EQ(recipe->status(), kStatusModified);
    EXPECT_TRUE(recipe->categories().empty());

    m_a->m_library->setLoggedIn(true);
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_TRUE(m_b->byUid<Recipe>(recipe->uid())->categories().empty());
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

TEST_F(SyncEngineTest, PhotosFollowTheirHash) {
    auto recipe = m_a->addRecipe("Pie");
    m_a->setPhoto(*recipe, "first");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    m_a->setPhoto(*recipe, "second");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    auto copy = m_b->byUid<Recipe>(recipe->uid());
    ASSERT_TRUE(copy->photoPath());
    EXPECT_EQ(readFile(*copy->photoPath()).value_or(""), readFile(*recipe->photoPath()).value());
    EXPECT_EQ(copy->photoHash(), recipe->photoHash());

    recipe->setPhoto(std::nullopt);
    recipe->setModified();
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    copy = m_b->byUid<Recipe>(recipe->uid());
    EXPECT_FALSE(copy->photo());
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

// Another account or another server knows nothing of this library: statuses that said "the
// server has it" must not make the first sync there delete it.
TEST_F(SyncEngineTest, SwitchingAccountOrServerNeverDeletesTheLibrary) {
    auto kept = m_a->addRecipe("Kept recipe");
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Kept category");
    auto gone = m_a->addRecipe("Deleted for the old account");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_TRUE(Recipe::deleteRecipes(m_a->main(), {gone}));

    m_server->createAccount("other@example.org");
    m_a->signIn("other@example.org", m_server->url());
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_a->live<Recipe>().size(), 1u);
    EXPECT_EQ(m_a->all<Recipe>().size(), 1u) << "the old account's tombstone is dropped";
    EXPECT_EQ(m_a->live<RecipeCategory>().size(), 1u);

    // The other account now holds the library.
    Device fresh(m_folder.path(), "fresh");
    fresh.signIn("other@example.org", m_server->url());
    ASSERT_EQ(fresh.sync(), "");
    EXPECT_EQ(fresh.snapshot(), m_a->snapshot());

    // A new, empty server for the same account: the same.
    SyncServer second(m_folder / "second");
    second.createAccount("other@example.org");
    m_a->signIn("other@example.org", second.url());
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->live<Recipe>().size(), 1u);
    EXPECT_EQ(m_a->live<RecipeCategory>().size(), 1u);
}

TEST_F(SyncEngineTest, CancellingStopsAtTheNextEntity) {
    m_a->addRecipe("Not yet");
    m_a->save();
    m_a->m_engine->setProgressHandler([this](std::string_view entity) {
        if (entity == "categories") {
            m_a->m_engine->cancelSync = true;
        }
    });
    EXPECT_EQ(m_a->sync(), "");
    EXPECT_TRUE(m_a->m_settings->string(kLastSyncedDateKey))
        << "a cancelled run ends as a good one";
    EXPECT_EQ(m_a->live<Recipe>().front()->status(), kStatusModified);
    m_a->m_engine->setProgressHandler({});
    EXPECT_EQ(m_a->sync(), "");
    EXPECT_EQ(m_a->live<Recipe>().front()->status(), kStatusUnmodified);
}

TEST_F(SyncEngineTest, NotificationsFrameEveryRun) {
    std::vector<std::string> seen;
    auto started =
        m_a->m_center.addObserver(kSyncStartedNotification, nullptr, [&](const Notification&) {
            EXPECT_TRUE(m_a->m_queue.isMainThread());
            seen.push_back("started");
        });
    auto finished =
        m_a->m_center.addObserver(kSyncFinishedNotification, nullptr, [&](const Notification&) {
            EXPECT_TRUE(m_a->m_queue.isMainThread());
            seen.push_back("finished");
        });
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"started", "finished"}));
}

}  // namespace
}  // namespace miravel::testing

namespace miravel::testing {
namespace {

// By hand: SYNC_BENCH_RECIPES=n build/bin/tests_sync --gtest_also_run_disabled_tests
// --gtest_filter='*Timings*' prints the first upload, the download to a new library and a
// sync with nothing to do.
TEST_F(SyncEngineTest, DISABLED_Timings) {
    int count = 2000;
    if (const char* text = std::getenv("SYNC_BENCH_RECIPES")) {
        count = std::atoi(text);
    }
    for (int i = 0; i < count; ++i) {
        auto recipe = m_a->addRecipe("Recipe " + std::to_string(i));
        if (i % 2 == 0) {
            m_a->setPhoto(*recipe, std::to_string(i));
        }
    }
    m_a->save();
    auto time = [](const char* what, const std::function<void()>& work) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << what << ": " << took.count() << " s\n";
    };
    time("first upload", [&] { ASSERT_EQ(m_a->sync(), ""); });
    time("download to a new library", [&] { ASSERT_EQ(m_b->sync(), ""); });
    auto gets = m_a->m_service->getCount();
    time("no-change sync", [&] { ASSERT_EQ(m_a->sync(), ""); });
    std::cout << "GET requests: " << m_a->m_service->getCount() - gets << "\n";
}

}  // namespace
}  // namespace miravel::testing
