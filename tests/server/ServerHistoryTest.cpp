#include "ServerFixture.h"

#include "lib/Crypto.h"
#include "server/Controllers.h"

namespace miravel::server::testing {
namespace {

constexpr const char* kEmail = "ann@example.org";
constexpr const char* kPassword = "secret1";
constexpr std::int64_t kDay = 24 * 3600;

// The history of overwritten and deleted recipes over time: the storage's clock is the
// test's, moved on by whole days.
class ServerHistory : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(registerAccount(kEmail, kPassword).ok());
        auto account = m_storage->findAccount(kEmail);
        ASSERT_TRUE(account && *account);
        m_account = (*account)->id;
    }

    // A recipe that names a photo keeps the one it has unless new bytes come with it.
    void upload(const std::string& name, bool withPhoto = false, const std::string& photo = {}) {
        httplib::MultipartFormDataItems parts{
            dataPart(JsonValue(recipe("R1", name, "h-" + name, withPhoto)))};
        if (!photo.empty()) {
            parts.push_back(photoPart(photo));
        }
        ASSERT_TRUE(postParts("/sync/recipe/R1/", kEmail, kPassword, parts).ok()) << name;
    }

    void uploadVersions(int from, int to, bool withPhoto = false) {
        for (int i = from; i < to; ++i) {
            upload("v" + std::to_string(i), withPhoto);
        }
    }

    // The kept versions' names, newest first.
    std::vector<std::string> keptNames() {
        std::vector<std::string> names;
        auto entries = m_storage->history(m_account, "R1");
        EXPECT_TRUE(entries);
        for (const auto& entry : entries ? *entries : std::vector<HistoryEntry>{}) {
            auto parsed = JsonParser::parse(entry.body);
            const JsonValue* name = parsed ? parsed->member("name") : nullptr;
            names.push_back(name && name->isString() ? name->asString() : "?");
        }
        return names;
    }

    void daysLater(int days) { m_clockShift += days * kDay; }

    std::int64_t m_account = 0;
};

TEST_P(ServerHistory, versionsGoOnlyWhenBeyondTheNewestTwentyAndOlderThanThirtyDays) {
    uploadVersions(0, 25);  // v0 … v23 kept, v24 live
    daysLater(29);
    upload("v25");
    // Beyond twenty, but none is thirty days old yet.
    auto names = keptNames();
    ASSERT_EQ(names.size(), 25u);
    EXPECT_EQ(names.front(), "v24");
    EXPECT_EQ(names.back(), "v0");

    daysLater(2);
    upload("v26");
    // v0 … v5 are old and beyond the newest twenty; v24 (kept at day 29) and v25 are young.
    names = keptNames();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.front(), "v25");
    EXPECT_EQ(names.back(), "v6");
}

TEST_P(ServerHistory, everythingYoungerThanThirtyDaysStaysHoweverMany) {
    uploadVersions(0, 25);
    daysLater(31);
    uploadVersions(25, 55);  // thirty young versions replace the old ones
    auto names = keptNames();
    ASSERT_EQ(names.size(), 30u);
    EXPECT_EQ(names.front(), "v53");
    EXPECT_EQ(names.back(), "v24");  // kept at day 31, when v25 replaced it
}

// A recipe deleted long ago is still among its newest versions: it can come back.
TEST_P(ServerHistory, aDeletedRecipeStaysRestorableLongAfter) {
    upload("Soup");
    JsonObject deleted = recipe("R1", "Soup", "h-Soup");
    deleted.set("deleted", JsonValue(true));
    ASSERT_TRUE(
        postParts("/sync/recipe/R1/", kEmail, kPassword, {dataPart(JsonValue(deleted))}).ok());
    daysLater(400);
    auto entries = m_storage->history(m_account, "R1");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    ASSERT_TRUE(m_storage->restore(m_account, (*entries)[0].id, newPhotoToken()));
    EXPECT_EQ(get("/sync/recipe/R1/", kEmail, kPassword).result().member("name")->asString(),
              "Soup");
}

// The photo file of a pruned version goes with it, unless the recipe or a kept version
// still shows it.
TEST_P(ServerHistory, thePhotoOfAPrunedVersionIsRemovedWhenNothingShowsItAnyLonger) {
    const std::string first = pngBytes('a');
    const std::string second = pngBytes('b');
    upload("v0", true, first);
    upload("v1", true, second);
    uploadVersions(2, 23, true);  // v1 … v22 show the second photo; v0 alone the first
    ASSERT_TRUE(m_photos->exists(m_account, sha256Hex(first)));

    daysLater(31);
    upload("v23", true);
    const auto names = keptNames();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.back(), "v3");
    EXPECT_FALSE(m_photos->exists(m_account, sha256Hex(first)));
    auto inUse = m_storage->photoInUse(m_account, sha256Hex(first));
    ASSERT_TRUE(inUse);
    EXPECT_FALSE(*inUse);
    // The live recipe's photo stays, and so does its file.
    EXPECT_TRUE(m_photos->exists(m_account, sha256Hex(second)));
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerHistory, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
