#include <set>

#include "ServerFixture.h"
#include "server/Controllers.h"
#include "server/Entities.h"
#include "server/JsonText.h"
#include "server/ListCache.h"

namespace miravel::server::testing {
namespace {

// The sync lists are answered from memory while the account's revision stands: whatever
// changes the account's data, by whichever process, must show in the next list, and only in
// that account's.
class ServerListCache : public ServerTest {
protected:
    struct Listed {
        std::string encoding;  // the answer's Content-Encoding
        std::string body;      // as inflated by the client
    };

    Listed list(const std::string& who, const std::string& path, bool gzip) {
        auto made = client();
        made->set_basic_auth((who + "@example.org").c_str(), (who + "-password").c_str());
        httplib::Headers headers;
        if (gzip) {
            headers.emplace("Accept-Encoding", "gzip");
        }
        auto result = made->Get(path.c_str(), headers);
        if (!result || result->status != 200) {
            ADD_FAILURE() << path << " for " << who << ": "
                          << (result ? std::to_string(result->status) : "no answer");
            return {};
        }
        return {result->get_header_value("Content-Encoding"), result->body};
    }

    // The list's result as both encodings give it; a failure when they differ.
    JsonValue listed(const std::string& who, const std::string& path) {
        const Listed plain = list(who, path, false);
        const Listed gzipped = list(who, path, true);
        EXPECT_EQ(plain.encoding, "");
        EXPECT_EQ(plain.body, gzipped.body) << path << " for " << who;
        auto parsed = JsonParser::parse(plain.body);
        EXPECT_TRUE(parsed && parsed->member("result")) << plain.body;
        return parsed && parsed->member("result") ? *parsed->member("result") : JsonValue();
    }

    std::vector<std::string> names(const std::string& who, const std::string& path) {
        std::vector<std::string> found;
        const JsonValue result = listed(who, path);
        if (!result.isArray()) {
            return found;
        }
        for (const auto& item : result.asArray()) {
            const JsonValue* name = item.member(path == "/sync/recipes/" ? "hash" : "name");
            found.push_back(name && name->isString() ? name->asString() : "?");
        }
        return found;
    }

    void postCategories(const std::string& who, const JsonArray& categories) {
        ASSERT_TRUE(postParts("/sync/categories/", who + "@example.org", who + "-password",
                              {dataPart(JsonValue(categories))})
                        .ok());
    }

    void postRecipe(const std::string& who, const std::string& uid, const std::string& hash) {
        ASSERT_TRUE(postParts("/sync/recipe/" + uid + "/", who + "@example.org", who + "-password",
                              {dataPart(JsonValue(recipe(uid, "Soup", hash)))})
                        .ok());
    }

    static JsonObject category(const std::string& uid, const std::string& name) {
        return JsonObject{{"uid", uid}, {"name", name}, {"order_flag", 0}, {"deleted", false}};
    }

    std::int64_t revisionOf(const std::string& who) {
        auto account = m_storage->findAccount(who + "@example.org");
        EXPECT_TRUE(account && *account);
        return account && *account ? (*account)->revision : -1;
    }

    std::int64_t idOf(const std::string& who) {
        auto account = m_storage->findAccount(who + "@example.org");
        EXPECT_TRUE(account && *account);
        return account && *account ? (*account)->id : -1;
    }
};

// Long enough that the gzip answer is made (answers under a kilobyte go plain).
std::string longName(const std::string& who, int index) {
    return who + "'s " + std::to_string(index) + std::string(1200, 'x');
}

TEST_P(ServerListCache, eachWriteIsInTheNextListOfItsAccountAndNoOther) {
    for (const std::string who : {"ann", "bob"}) {
        ASSERT_TRUE(registerAccount(who + "@example.org", who + "-password").ok());
        postCategories(who, {category("C1", longName(who, 1))});
        postRecipe(who, "R1", "h-" + who + "-1");
    }
    // Both lists answered, and so cached, for both accounts in both encodings.
    EXPECT_EQ(names("ann", "/sync/categories/"), std::vector<std::string>{longName("ann", 1)});
    EXPECT_EQ(names("bob", "/sync/categories/"), std::vector<std::string>{longName("bob", 1)});
    EXPECT_EQ(names("ann", "/sync/recipes/"), std::vector<std::string>{"h-ann-1"});
    EXPECT_EQ(list("ann", "/sync/categories/", true).encoding, "gzip");

    for (int round = 2; round <= 4; ++round) {
        postCategories("ann", {category("C" + std::to_string(round), longName("ann", round))});
        postRecipe("ann", "R1", "h-ann-" + std::to_string(round));
        // The writer's next list has the write, in either encoding, however the last was asked.
        EXPECT_EQ(names("ann", "/sync/categories/").size(), static_cast<std::size_t>(round));
        EXPECT_EQ(names("ann", "/sync/recipes/"),
                  std::vector<std::string>{"h-ann-" + std::to_string(round)});
        // The other account's lists are its own, as they were.
        EXPECT_EQ(names("bob", "/sync/categories/"), std::vector<std::string>{longName("bob", 1)});
        EXPECT_EQ(names("bob", "/sync/recipes/"), std::vector<std::string>{"h-bob-1"});
    }
    // A deletion shows as well, and an empty list is answered as one.
    JsonArray gone;
    for (int uid = 1; uid <= 4; ++uid) {
        gone.push_back(
            JsonValue(JsonObject{{"uid", "C" + std::to_string(uid)}, {"deleted", true}}));
    }
    postCategories("ann", gone);
    EXPECT_TRUE(names("ann", "/sync/categories/").empty());
    EXPECT_EQ(names("bob", "/sync/categories/"), std::vector<std::string>{longName("bob", 1)});
    // The other lists of the account are read again too, and are still right.
    EXPECT_TRUE(names("ann", "/sync/groceries/").empty());
}

// The command line's "account restore" and other server processes write to the same
// database with a storage of their own: this process learns of it from the revision alone.
TEST_P(ServerListCache, aWriteByAnotherProcessIsInTheNextList) {
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    postRecipe("ann", "R1", "h-1");
    postCategories("ann", {category("C1", "Soups")});
    ASSERT_EQ(names("ann", "/sync/recipes/"), std::vector<std::string>{"h-1"});
    ASSERT_EQ(names("ann", "/sync/categories/"), std::vector<std::string>{"Soups"});

    auto other = openStorage(m_address);
    ASSERT_TRUE(other) << other.error().description;
    const std::int64_t id = idOf("ann");
    RecipeWrite write;
    write.uid = "R1";
    write.hash = "h-2";
    write.body = strictJson(JsonValue(recipe("R1", "Stew", "h-2")));
    ASSERT_TRUE((*other)->writeRecipe(id, write));
    EXPECT_EQ(names("ann", "/sync/recipes/"), std::vector<std::string>{"h-2"});

    auto records = readEntityList(EntityKind::Categories,
                                  strictJson(JsonValue(JsonArray{category("C1", "Stews")})));
    ASSERT_TRUE(records);
    ASSERT_TRUE((*other)->applyEntities(id, EntityKind::Categories, *records));
    EXPECT_EQ(names("ann", "/sync/categories/"), std::vector<std::string>{"Stews"});

    // The operator puts the first version back.
    auto history = (*other)->history(id, "R1");
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 1u);
    ASSERT_TRUE((*other)->restore(id, (*history)[0].id, newPhotoToken()));
    EXPECT_EQ(names("ann", "/sync/recipes/"), std::vector<std::string>{"h-1"});
}

// SQLite gives a new account the id of the last one when that was deleted: what was kept
// for the deleted account is not the new one's.
TEST_P(ServerListCache, anAccountMadeAgainUnderTheSameIdStartsEmpty) {
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    postRecipe("ann", "R1", "h-1");
    postCategories("ann", {category("C1", "Soups")});
    ASSERT_EQ(names("ann", "/sync/recipes/").size(), 1u);
    ASSERT_EQ(names("ann", "/sync/categories/").size(), 1u);
    const std::int64_t firstId = idOf("ann");

    ASSERT_TRUE(m_storage->deleteAccount("ann@example.org"));
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    if (GetParam() == "sqlite") {
        EXPECT_EQ(idOf("ann"), firstId);  // what makes the case: the id is the same
    }
    EXPECT_TRUE(names("ann", "/sync/recipes/").empty());
    EXPECT_TRUE(names("ann", "/sync/categories/").empty());
}

TEST_P(ServerListCache, everyWriteAdvancesTheRevisionAndNoTwoAccountsShareOne) {
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    ASSERT_TRUE(registerAccount("bob@example.org", "bob-password").ok());
    std::set<std::int64_t> seen{revisionOf("ann"), revisionOf("bob")};
    EXPECT_EQ(seen.size(), 2u);
    const auto advanced = [&](const std::string& who) {
        const std::int64_t revision = revisionOf(who);
        return seen.insert(revision).second;
    };
    postRecipe("ann", "R1", "h-1");
    EXPECT_TRUE(advanced("ann"));
    postRecipe("bob", "R1", "h-1");
    EXPECT_TRUE(advanced("bob"));
    postCategories("ann", {category("C1", "Soups")});
    EXPECT_TRUE(advanced("ann"));
    postRecipe("ann", "R1", "h-2");
    EXPECT_TRUE(advanced("ann"));
    auto history = m_storage->history(idOf("ann"), "R1");
    ASSERT_TRUE(history && history->size() == 1u);
    ASSERT_TRUE(m_storage->restore(idOf("ann"), (*history)[0].id, newPhotoToken()));
    EXPECT_TRUE(advanced("ann"));

    // Reading, and what does not touch the lists, leaves it.
    const std::int64_t before = revisionOf("ann");
    (void)names("ann", "/sync/recipes/");
    ASSERT_TRUE(m_server->accounts().resetPassword("ann@example.org", "ann-password"));
    EXPECT_EQ(revisionOf("ann"), before);
    // A write the storage refuses inside its transaction (a photo for a recipe it does not
    // have) changes nothing, the revision included.
    EXPECT_EQ(
        postParts("/sync/recipe/R9/", "ann@example.org", "ann-password", {photoPart(pngBytes('a'))})
            .status,
        404);
    EXPECT_EQ(revisionOf("ann"), before);
}

// A database made before revisions gains them at start and is served the same.
TEST_P(ServerListCache, aDatabaseFromBeforeRevisionsGainsThemAtStart) {
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    ASSERT_TRUE(registerAccount("bob@example.org", "bob-password").ok());
    postRecipe("ann", "R1", "h-1");
    const std::string before = list("ann", "/sync/recipes/", false).body;
    stopServer();
    m_faulty.reset();
    m_storage.reset();
    if (GetParam() == "sqlite") {
        rowsOf(GetParam(), m_address, "ALTER TABLE accounts DROP COLUMN revision");
        rowsOf(GetParam(), m_address, "DROP TABLE revision_counter");
    } else {
        rowsOf(GetParam(), m_address,
               "ALTER TABLE accounts DROP COLUMN revision; DROP SEQUENCE account_revisions");
    }
    auto opened = openStorage(m_address);
    ASSERT_TRUE(opened) << opened.error().description;
    m_storage = std::move(*opened);
    m_faulty = std::make_unique<FaultyStorage>(*m_storage);
    startServer(RegistrationPolicy::Open);

    EXPECT_EQ(list("ann", "/sync/recipes/", false).body, before);
    const std::int64_t first = revisionOf("ann");
    postRecipe("ann", "R1", "h-2");
    EXPECT_NE(revisionOf("ann"), first);
    EXPECT_NE(revisionOf("ann"), revisionOf("bob"));
    EXPECT_EQ(names("ann", "/sync/recipes/"), std::vector<std::string>{"h-2"});
    EXPECT_TRUE(names("bob", "/sync/recipes/").empty());
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerListCache, ::testing::Values("sqlite", "postgresql"));

std::shared_ptr<const ListCache::Answer> answerOfSize(std::size_t size, char fill) {
    return std::make_shared<const ListCache::Answer>(
        ListCache::Answer{std::string(size, fill), std::string()});
}

TEST(ListCache, answersOnlyForTheRevisionAndTheListStored) {
    ListCache cache(1 << 20);
    cache.store(1, EntityKind::Recipes, 7, answerOfSize(10, 'a'));
    ASSERT_TRUE(cache.find(1, EntityKind::Recipes, 7));
    EXPECT_EQ(cache.find(1, EntityKind::Recipes, 7)->plain, std::string(10, 'a'));
    EXPECT_FALSE(cache.find(1, EntityKind::Recipes, 8));
    EXPECT_FALSE(cache.find(1, EntityKind::Categories, 7));
    EXPECT_FALSE(cache.find(2, EntityKind::Recipes, 7));
    // A slower request that read an older revision does not put its answer over a newer one.
    cache.store(1, EntityKind::Recipes, 9, answerOfSize(10, 'b'));
    cache.store(1, EntityKind::Recipes, 8, answerOfSize(10, 'c'));
    EXPECT_FALSE(cache.find(1, EntityKind::Recipes, 8));
    EXPECT_EQ(cache.find(1, EntityKind::Recipes, 9)->plain, std::string(10, 'b'));
    EXPECT_EQ(cache.entries(), 1u);
}

TEST(ListCache, staysWithinItsBytesDroppingTheLeastRecentlyUsed) {
    ListCache cache(3 * 1000 + 3 * 128);
    cache.store(1, EntityKind::Recipes, 1, answerOfSize(1000, 'a'));
    cache.store(2, EntityKind::Recipes, 1, answerOfSize(1000, 'b'));
    cache.store(3, EntityKind::Recipes, 1, answerOfSize(1000, 'c'));
    ASSERT_TRUE(cache.find(1, EntityKind::Recipes, 1));  // now the most recent
    cache.store(4, EntityKind::Recipes, 1, answerOfSize(1000, 'd'));
    EXPECT_TRUE(cache.find(1, EntityKind::Recipes, 1));
    EXPECT_FALSE(cache.find(2, EntityKind::Recipes, 1));
    EXPECT_TRUE(cache.find(4, EntityKind::Recipes, 1));
    EXPECT_LE(cache.bytes(), 3u * 1000 + 3 * 128);
    // An answer larger than the whole cache is not kept, and pushes nothing out.
    cache.store(5, EntityKind::Recipes, 1, answerOfSize(10000, 'e'));
    EXPECT_FALSE(cache.find(5, EntityKind::Recipes, 1));
    EXPECT_EQ(cache.entries(), 3u);
    // Nothing is kept at all with no room.
    ListCache none(0);
    none.store(1, EntityKind::Recipes, 1, answerOfSize(1, 'a'));
    EXPECT_EQ(none.entries(), 0u);
}

}  // namespace
}  // namespace miravel::server::testing
