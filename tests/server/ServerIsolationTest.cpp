#include "ServerFixture.h"

namespace miravel::server::testing {
namespace {

class ServerIsolation : public ServerTest {};

TEST_P(ServerIsolation, twoAccountsWithTheSameUidsNeverMeet) {
    ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    ASSERT_TRUE(registerAccount("bob@example.org", "bob-password").ok());
    const auto as = [&](const std::string& who) {
        return std::make_pair(who + "@example.org", who + "-password");
    };
    for (const std::string who : {"ann", "bob"}) {
        auto [email, password] = as(who);
        JsonObject category{
            {"uid", "C1"}, {"name", who + "'s"}, {"order_flag", 0}, {"deleted", false}};
        ASSERT_TRUE(postParts("/sync/categories/", email, password,
                              {dataPart(JsonValue(JsonArray{category}))})
                        .ok());
        ASSERT_TRUE(postParts("/sync/recipe/R1/", email, password,
                              {dataPart(JsonValue(recipe("R1", who + "'s soup", "h-" + who, true))),
                               photoPart(pngBytes(who[0]))})
                        .ok());
    }
    auto [annEmail, annPassword] = as("ann");
    auto [bobEmail, bobPassword] = as("bob");
    EXPECT_EQ(get("/sync/categories/", annEmail, annPassword)
                  .result()
                  .asArray()[0]
                  .member("name")
                  ->asString(),
              "ann's");
    EXPECT_EQ(get("/sync/categories/", bobEmail, bobPassword)
                  .result()
                  .asArray()[0]
                  .member("name")
                  ->asString(),
              "bob's");
    auto annRecipe = get("/sync/recipe/R1/", annEmail, annPassword).result();
    auto bobRecipe = get("/sync/recipe/R1/", bobEmail, bobPassword).result();
    EXPECT_EQ(annRecipe.member("name")->asString(), "ann's soup");
    EXPECT_EQ(bobRecipe.member("name")->asString(), "bob's soup");
    EXPECT_NE(annRecipe.member("photo_url")->asString(), bobRecipe.member("photo_url")->asString());

    // Bob deletes his R1 and C1; Ann's stay as they were, photo included.
    JsonObject deleted = recipe("R1", "x", "h");
    deleted.set("deleted", JsonValue(true));
    ASSERT_TRUE(
        postParts("/sync/recipe/R1/", bobEmail, bobPassword, {dataPart(JsonValue(deleted))}).ok());
    JsonObject gone{{"uid", "C1"}, {"deleted", true}};
    ASSERT_TRUE(postParts("/sync/categories/", bobEmail, bobPassword,
                          {dataPart(JsonValue(JsonArray{gone}))})
                    .ok());
    EXPECT_TRUE(get("/sync/recipes/", bobEmail, bobPassword).result().asArray().empty());
    EXPECT_EQ(get("/sync/recipes/", annEmail, annPassword).result().asArray().size(), 1u);
    EXPECT_EQ(get("/sync/categories/", annEmail, annPassword).result().asArray().size(), 1u);
    const std::string annPhoto = annRecipe.member("photo_url")->asString();
    auto photo = client()->Get(annPhoto.substr(annPhoto.find("/photos/")).c_str());
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->body, pngBytes('a'));

    // Each account's history holds its own versions only.
    auto ann = m_storage->findAccount(annEmail);
    auto bob = m_storage->findAccount(bobEmail);
    auto annHistory = m_storage->history((*ann)->id, "");
    auto bobHistory = m_storage->history((*bob)->id, "");
    ASSERT_TRUE(annHistory && bobHistory);
    EXPECT_TRUE(annHistory->empty());
    ASSERT_EQ(bobHistory->size(), 1u);
    EXPECT_NE((*bobHistory)[0].body.find("bob's soup"), std::string::npos);
    // Restoring Bob's version by its number from Ann's account finds nothing.
    auto crossed =
        m_storage->restore((*ann)->id, (*bobHistory)[0].id, "0123456789abcdef0123456789abcdef");
    ASSERT_FALSE(crossed);
    EXPECT_EQ(crossed.error().code, kStorageNotFound);
    EXPECT_EQ(get("/sync/recipe/R1/", annEmail, annPassword).result().member("name")->asString(),
              "ann's soup");
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerIsolation, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
