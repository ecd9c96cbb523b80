#include <random>

#include "ServerFixture.h"
#include "lib/Crypto.h"
#include "server/Entities.h"

namespace miravel::server::testing {
namespace {

constexpr const char* kEmail = "ann@example.org";
constexpr const char* kPassword = "hunter2-secret";

// What the database is made of on each start, over databases made before.
class ServerSchema : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(registerAccount(kEmail, kPassword).ok());
    }

    Answer getAs(const std::string& path) { return get(path, kEmail, kPassword); }
    Answer postAs(const std::string& path, const httplib::MultipartFormDataItems& parts) {
        return postParts(path, kEmail, kPassword, parts);
    }
    std::vector<std::string> sql(const std::string& text) {
        return rowsOf(GetParam(), m_address, text);
    }
    bool sqlite() const { return GetParam() == "sqlite"; }

    // The server stopped and started again over the same database, as after an upgrade.
    void restartOnTheSameDatabase() {
        stopServer();
        m_faulty.reset();
        m_storage.reset();
        auto opened = openStorage(m_address, [this] { return nowSeconds() + m_clockShift.load(); });
        ASSERT_TRUE(opened) << opened.error().description;
        m_storage = std::move(*opened);
        m_faulty = std::make_unique<FaultyStorage>(*m_storage);
        startServer(RegistrationPolicy::Open);
    }

    bool hasListIndex() {
        return !sql(sqlite() ? "SELECT name FROM sqlite_master WHERE type = 'index' AND name = "
                               "'recipes_stubs'"
                             : "SELECT indexname FROM pg_indexes WHERE indexname = "
                               "'recipes_stubs'")
                    .empty();
    }

    // How the database answers the recipe list's query, as its own words for the plan.
    std::string listPlan() {
        const std::string account = sql("SELECT id FROM accounts").at(0);
        const std::string list =
            "SELECT uid, hash, photo_hash FROM recipes WHERE account_id = " + account +
            " ORDER BY uid";
        if (sqlite()) {
            auto rows = sql("EXPLAIN QUERY PLAN " + list);
            return rows.empty() ? std::string() : rows.front();
        }
        // The table's pages are marked all-visible by a vacuum, as autovacuum does over time;
        // the scans that read the table anyway are ruled out to ask whether the index can
        // answer alone.
        sql("VACUUM ANALYZE recipes");
        std::string plan;
        for (const auto& line :
             sql("SET enable_seqscan = off; SET enable_bitmapscan = off; EXPLAIN " + list)) {
            plan += line + "\n";
        }
        return plan;
    }

    void postRecipes(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string uid = "R" + std::to_string(i);
            httplib::MultipartFormDataItems parts{
                dataPart(JsonValue(recipe(uid, "Soup", sha256Hex(uid), i == 0)))};
            if (i == 0) {
                parts.push_back(photoPart(pngBytes('a')));
            }
            ASSERT_TRUE(postAs("/sync/recipe/" + uid + "/", parts).ok());
        }
    }
};

// Text no compressor shortens, so that its length is what an index row holds.
std::string incompressibleText(std::size_t length) {
    static constexpr std::string_view kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    std::mt19937 random(20261210);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += kAlphabet[random() % kAlphabet.size()];
    }
    return text;
}

TEST_P(ServerSchema, aDatabaseFromBeforeTheListIndexGainsItAtStartAndListsTheSame) {
    postRecipes(3);
    const std::string before = getAs("/sync/recipes/").body;
    ASSERT_TRUE(hasListIndex());
    sql("DROP INDEX recipes_stubs");
    ASSERT_FALSE(hasListIndex());

    restartOnTheSameDatabase();
    EXPECT_TRUE(hasListIndex());
    EXPECT_EQ(getAs("/sync/recipes/").body, before);
    // The list is answered from the index, never from the rows that hold the bodies.
    const std::string plan = listPlan();
    EXPECT_NE(plan.find(sqlite() ? "COVERING INDEX recipes_stubs"
                                 : "Index Only Scan using recipes_stubs"),
              std::string::npos)
        << plan;

    // A start that finds it made leaves it, and the writes keep it up to date.
    restartOnTheSameDatabase();
    EXPECT_TRUE(hasListIndex());
    ASSERT_TRUE(postAs("/sync/recipe/R1/",
                       {dataPart(JsonValue(recipe("R1", "Stew", sha256Hex("R1 again"))))})
                    .ok());
    const JsonValue list = getAs("/sync/recipes/").result();
    ASSERT_EQ(list.asArray().size(), 3u);
    EXPECT_EQ(list.asArray()[1].member("hash")->asString(), sha256Hex("R1 again"));
    EXPECT_TRUE(list.asArray()[1].member("photo_hash")->isNull());
    EXPECT_FALSE(list.asArray()[0].member("photo_hash")->isNull());
}

// A row written before hashes were bounded may be too long for an index: the server then
// serves the database without the index rather than not at all.
TEST_P(ServerSchema, aDatabaseTheListIndexCannotBeMadeOnIsStillServed) {
    postRecipes(1);
    sql("DROP INDEX recipes_stubs");
    const std::string account = sql("SELECT id FROM accounts").at(0);
    const std::string longHash = incompressibleText(3000);
    sql("INSERT INTO recipes(account_id, uid, hash, body) VALUES(" + account + ", 'R9', '" +
        longHash + "', '{\"uid\":\"R9\",\"hash\":\"" + longHash + "\"}')");

    restartOnTheSameDatabase();
    // SQLite has no bound on an index row; PostgreSQL's B-tree has.
    EXPECT_EQ(hasListIndex(), sqlite());
    bool logged = false;
    for (const auto& line : logLines()) {
        logged = logged || line.find("index could not be made") != std::string::npos;
    }
    EXPECT_EQ(logged, !sqlite());
    const JsonValue list = getAs("/sync/recipes/").result();
    ASSERT_EQ(list.asArray().size(), 2u);
    EXPECT_EQ(list.asArray()[1].member("hash")->asString(), longHash);
    ASSERT_TRUE(
        postAs("/sync/recipe/R2/", {dataPart(JsonValue(recipe("R2", "Stew", sha256Hex("R2"))))})
            .ok());
    EXPECT_EQ(getAs("/sync/recipes/").result().asArray().size(), 3u);
}

// The hash is stored in the list's index row: the longest one taken fits in it on every back
// end, and a longer one is refused as bad data instead of failing in the database.
TEST_P(ServerSchema, recipeHashesAreBoundedToWhatTheListIndexHolds) {
    const std::string longest = incompressibleText(kMaxHashLength);
    auto taken = postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Soup", longest)))});
    EXPECT_TRUE(taken.ok()) << taken.body;
    auto refused =
        postAs("/sync/recipe/R2/", {dataPart(JsonValue(recipe("R2", "Soup", longest + "x")))});
    EXPECT_EQ(refused.errorCode(), apiErrorCode(ApiErrorKind::BadRequest)) << refused.body;
    EXPECT_NE(refused.errorMessage().find("\"hash\""), std::string::npos);
    const JsonValue list = getAs("/sync/recipes/").result();
    ASSERT_EQ(list.asArray().size(), 1u);
    EXPECT_EQ(list.asArray()[0].member("hash")->asString(), longest);
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerSchema, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
