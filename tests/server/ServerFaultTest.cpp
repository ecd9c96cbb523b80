#include "ServerFixture.h"
#include "lib/Crypto.h"

namespace miravel::server::testing {
namespace {

constexpr const char* kEmail = "ann@example.org";
constexpr const char* kPassword = "secret1";

class ServerFaults : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(registerAccount(kEmail, kPassword).ok());
        auto account = m_storage->findAccount(kEmail);
        ASSERT_TRUE(account && *account);
        m_account = (*account)->id;
    }
    Answer upload(char photoVariant, const std::string& hash) {
        return postParts("/sync/recipe/R1/", kEmail, kPassword,
                         {dataPart(JsonValue(recipe("R1", "Soup", hash, true))),
                          photoPart(pngBytes(photoVariant))});
    }
    std::size_t photoFiles() {
        std::error_code ignored;
        std::size_t count = 0;
        for (auto it = std::filesystem::recursive_directory_iterator(m_folder / "photos", ignored);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            count += it->is_regular_file() ? 1 : 0;
        }
        return count;
    }
    std::int64_t m_account = 0;
};

TEST_P(ServerFaults, aFailedDatabaseWriteLeavesNoPhotoBehindAndTheNextUploadRepairs) {
    m_faulty->failRecipeWrites = true;
    auto failed = upload('a', "h1");
    EXPECT_EQ(failed.status, 500);
    EXPECT_EQ(failed.errorCode(), apiErrorCode(ApiErrorKind::Internal));
    // The client is told nothing of the cause.
    EXPECT_EQ(failed.errorMessage().find("injected"), std::string::npos);
    EXPECT_EQ(photoFiles(), 0u);
    EXPECT_TRUE(get("/sync/recipes/", kEmail, kPassword).result().asArray().empty());

    m_faulty->failRecipeWrites = false;
    ASSERT_TRUE(upload('a', "h1").ok());
    EXPECT_EQ(photoFiles(), 1u);

    // A failed replacement keeps the old photo and the row that names it.
    m_faulty->failRecipeWrites = true;
    EXPECT_EQ(upload('b', "h2").status, 500);
    EXPECT_EQ(photoFiles(), 1u);
    EXPECT_TRUE(m_photos->exists(m_account, sha256Hex(pngBytes('a'))));
    auto stubs = get("/sync/recipes/", kEmail, kPassword).result().asArray();
    ASSERT_EQ(stubs.size(), 1u);
    EXPECT_EQ(stubs[0].member("photo_hash")->asString(), sha256Hex(pngBytes('a')));
    EXPECT_EQ(stubs[0].member("hash")->asString(), "h1");
}

TEST_P(ServerFaults, aFailedPhotoWriteLeavesNoRowWithoutItsPhoto) {
    m_photos->setWriteFault([] {
        return std::optional<Error>(Error{"test", 28, "No space left", ""});
    });
    EXPECT_EQ(upload('a', "h1").status, 500);
    EXPECT_TRUE(get("/sync/recipes/", kEmail, kPassword).result().asArray().empty());
    m_photos->setWriteFault({});
    ASSERT_TRUE(upload('a', "h1").ok());
    auto full = get("/sync/recipe/R1/", kEmail, kPassword).result();
    const std::string url = full.member("photo_url")->asString();
    EXPECT_EQ(client()->Get(url.substr(url.find("/photos/")).c_str())->body, pngBytes('a'));
}

TEST_P(ServerFaults, aFailedListWriteChangesNothing) {
    JsonObject category{{"uid", "C1"}, {"name", "Soup"}, {"order_flag", 0}, {"deleted", false}};
    m_faulty->failEntityWrites = true;
    auto failed = postParts("/sync/categories/", kEmail, kPassword,
                            {dataPart(JsonValue(JsonArray{category}))});
    EXPECT_EQ(failed.status, 500);
    m_faulty->failEntityWrites = false;
    EXPECT_TRUE(get("/sync/categories/", kEmail, kPassword).result().asArray().empty());
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerFaults, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
