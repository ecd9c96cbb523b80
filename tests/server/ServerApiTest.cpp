#include "ServerFixture.h"

#include "lib/Crypto.h"
#include "server/RecipePageParsing.h"

namespace miravel::server::testing {
namespace {

constexpr const char* kEmail = "ann@example.org";
constexpr const char* kPassword = "secret1";

class ServerApi : public ServerTest {
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
};

TEST_P(ServerApi, accountsAreNormalisedCheckedAndRefusedWithTheEnvelopesMessage) {
    // The e-mail as typed, with other case and blanks, reaches the same account.
    auto login =
        postForm("/account/login/", {{"email", " Ann@Example.ORG"}, {"password", kPassword}});
    EXPECT_TRUE(login.ok()) << login.body;
    EXPECT_EQ(login.result().member("email")->asString(), kEmail);

    // Wrong password and unknown account read the same, so neither tells who has an account.
    auto wrong = postForm("/account/login/", {{"email", kEmail}, {"password", "secret2"}});
    auto unknown =
        postForm("/account/login/", {{"email", "bob@example.org"}, {"password", kPassword}});
    EXPECT_EQ(wrong.status, 200);
    EXPECT_EQ(wrong.errorCode(), apiErrorCode(ApiErrorKind::LoginFailed));
    EXPECT_EQ(wrong.errorMessage(), unknown.errorMessage());
    EXPECT_EQ(wrong.errorCode(), unknown.errorCode());

    EXPECT_EQ(registerAccount("bob@example.org", "12345").errorMessage(),
              "Passwords must be at least six characters.");
    EXPECT_EQ(registerAccount("", "123456").errorMessage(), "Please enter an email address.");
    EXPECT_EQ(registerAccount("bob@example.org", "").errorMessage(), "Please enter a password.");
    EXPECT_EQ(registerAccount("not an address", "123456").errorCode(),
              apiErrorCode(ApiErrorKind::BadRequest));
    EXPECT_EQ(registerAccount("ANN@example.org", "another1").errorCode(),
              apiErrorCode(ApiErrorKind::AccountExists));
    // Six characters count, not six bytes.
    EXPECT_TRUE(registerAccount("eve@example.org", "ééééé€").ok());
}

TEST_P(ServerApi, registrationFollowsTheOperatorsPolicy) {
    restartServer(RegistrationPolicy::First);
    // One account exists already: "first" takes no more.
    EXPECT_EQ(registerAccount("bob@example.org", "123456").errorCode(),
              apiErrorCode(ApiErrorKind::RegistrationClosed));
    restartServer(RegistrationPolicy::Closed);
    EXPECT_EQ(registerAccount("bob@example.org", "123456").errorCode(),
              apiErrorCode(ApiErrorKind::RegistrationClosed));
    EXPECT_TRUE(postForm("/account/login/", {{"email", kEmail}, {"password", kPassword}}).ok());
}

TEST_P(ServerApi, firstRegistrationIsOpenOnAnEmptyServerOnly) {
    ASSERT_TRUE(m_storage->deleteAccount(kEmail));
    restartServer(RegistrationPolicy::First);
    EXPECT_TRUE(registerAccount("bob@example.org", "123456").ok());
    EXPECT_EQ(registerAccount("eve@example.org", "123456").errorCode(),
              apiErrorCode(ApiErrorKind::RegistrationClosed));
}

TEST_P(ServerApi, syncNeedsTheAccountsCredentials) {
    auto none = answerOf(client()->Get("/sync/categories/"));
    EXPECT_EQ(none.status, 401);
    EXPECT_EQ(none.errorCode(), apiErrorCode(ApiErrorKind::Unauthorized));
    EXPECT_EQ(get("/sync/recipes/", kEmail, "wrong-password").status, 401);
    EXPECT_EQ(get("/sync/recipes/", "bob@example.org", kPassword).status, 401);
    auto made = client();
    auto result = made->Get("/sync/meals/");
    ASSERT_TRUE(result);
    EXPECT_NE(result->get_header_value("WWW-Authenticate").find("Basic"), std::string::npos);
    // A password changed by the operator stops the cached one at once.
    EXPECT_TRUE(getAs("/sync/meals/").ok());
    ASSERT_TRUE(m_server->accounts().resetPassword(kEmail, "changed1"));
    EXPECT_EQ(getAs("/sync/meals/").status, 401);
    EXPECT_TRUE(get("/sync/meals/", kEmail, "changed1").ok());
}

TEST_P(ServerApi, listsUpsertApplyDeletionsAndReturnLiveObjectsAsSent) {
    struct Case {
        std::string path;
        JsonObject first;
        JsonObject second;
    };
    const std::vector<Case> cases{
        {"/sync/categories/",
         {{"uid", "C1"}, {"name", "Soup"}, {"order_flag", 1}, {"deleted", false}},
         {{"uid", "C2"}, {"name", "Cake/Tarts"}, {"order_flag", 2}, {"deleted", false}}},
        {"/sync/groceries/",
         {{"uid", "G1"},
          {"name", "2 eggs"},
          {"purchased", false},
          {"order_flag", 0},
          {"recipe", nullptr},
          {"aisle", "Dairy"},
          {"ingredient", "egg"},
          {"deleted", false}},
         {{"uid", "G2"},
          {"name", "milk"},
          {"purchased", true},
          {"order_flag", 1},
          {"recipe", "Soup"},
          {"aisle", nullptr},
          {"ingredient", nullptr},
          {"deleted", false}}},
        {"/sync/meals/",
         {{"uid", "M1"},
          {"type", 2},
          {"date", "2014-03-09 00:00:00"},
          {"deleted", false},
          {"order_flag", 0},
          {"name", nullptr},
          {"recipe_uid", "R1"}},
         {{"uid", "M2"},
          {"type", 0},
          {"date", "2014-03-10 00:00:00"},
          {"deleted", false},
          {"order_flag", 1},
          {"name", "Toast"},
          {"recipe_uid", nullptr}}},
        {"/sync/bookmarks/",
         {{"uid", "B1"},
          {"url", "https://example.org/"},
          {"title", "Example"},
          {"order_flag", 0},
          {"deleted", false}},
         {{"uid", "B2"},
          {"url", "https://example.com/"},
          {"title", "Other"},
          {"order_flag", 1},
          {"deleted", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(getAs(c.path).result(), JsonValue(JsonArray{}));
        auto upload = postAs(c.path, {dataPart(JsonValue(JsonArray{c.first, c.second}))});
        ASSERT_TRUE(upload.ok()) << upload.body;
        EXPECT_EQ(getAs(c.path).result(), JsonValue(JsonArray{c.first, c.second}));

        // The client sends its changes and its deletions; absence is not deletion on upload.
        JsonObject changed = c.first;
        changed.set("order_flag", JsonValue(7));
        JsonObject gone = c.second;
        gone.set("deleted", JsonValue(true));
        ASSERT_TRUE(postAs(c.path, {dataPart(JsonValue(JsonArray{changed, gone}))}).ok());
        EXPECT_EQ(getAs(c.path).result(), JsonValue(JsonArray{changed}));
        // Deleting what the server does not have is no error.
        ASSERT_TRUE(postAs(c.path, {dataPart(JsonValue(JsonArray{gone}))}).ok());
        EXPECT_EQ(getAs(c.path).result(), JsonValue(JsonArray{changed}));
    }
}

// Long answers go out gzip-encoded to a client that takes gzip, whatever else it lists; never
// with Brotli, which the HTTP library would pick first and make at its slowest quality.
TEST_P(ServerApi, longAnswersAreGzippedOnlyWhenAskedAndNeverWithBrotli) {
    for (int i = 0; i < 30; ++i) {
        const std::string uid = "R" + std::to_string(i);
        ASSERT_TRUE(postAs("/sync/recipe/" + uid + "/",
                           {dataPart(JsonValue(recipe(uid, "Soup", sha256Hex(uid))))})
                        .ok());
    }
    const std::string plain = getAs("/sync/recipes/").body;
    ASSERT_GT(plain.size(), 1024u);
    auto fetch = [&](const std::string& path, const std::string& accept) {
        auto made = client();
        made->set_basic_auth(kEmail, kPassword);
        made->set_decompress(false);
        httplib::Headers headers;
        if (!accept.empty()) {
            headers.emplace("Accept-Encoding", accept);
        }
        auto result = made->Get(path.c_str(), headers);
        EXPECT_TRUE(result);
        return result ? std::make_pair(result->get_header_value("Content-Encoding"), result->body)
                      : std::make_pair(std::string("no answer"), std::string());
    };
    for (const char* accept : {"gzip", "deflate, gzip, br, zstd", "br;q=1.0, GZIP;q=0.5"}) {
        auto [encoding, body] = fetch("/sync/recipes/", accept);
        EXPECT_EQ(encoding, "gzip") << accept;
        auto inflated = inflateGzipOrZlib(body);
        ASSERT_TRUE(inflated) << accept;
        EXPECT_EQ(*inflated, plain) << accept;
    }
    for (const char* accept : {"", "br", "gzip;q=0", "deflate, gzip;q=0.0"}) {
        auto [encoding, body] = fetch("/sync/recipes/", accept);
        EXPECT_EQ(encoding, "") << accept;
        EXPECT_EQ(body, plain) << accept;
    }
    // A short answer is not worth compressing.
    auto [encoding, body] = fetch("/sync/categories/", "gzip");
    EXPECT_EQ(encoding, "");
    EXPECT_EQ(body, "{\"result\":[]}");
}

TEST_P(ServerApi, textTravelsBackAsStrictJson) {
    // A control character other than the named escapes comes back escaped, never raw.
    JsonObject category{{"uid", "C1"},
                        {"name", std::string("Bell\x07 & \"Soup\"")},
                        {"order_flag", 0},
                        {"deleted", false}};
    ASSERT_TRUE(postAs("/sync/categories/", {dataPart(JsonValue(JsonArray{category}))}).ok());
    auto answer = getAs("/sync/categories/");
    EXPECT_NE(answer.body.find("\\u0007"), std::string::npos);
    EXPECT_EQ(answer.result(), JsonValue(JsonArray{category}));
}

TEST_P(ServerApi, recipesListStubsAndServeTheirPhotoAtAnUnguessableAddress) {
    const std::string photo = pngBytes('a');
    auto upload = postAs("/sync/recipe/R1/",
                         {dataPart(JsonValue(recipe("R1", "Soup", "h1", true))), photoPart(photo)});
    ASSERT_TRUE(upload.ok()) << upload.body;
    ASSERT_TRUE(postAs("/sync/recipe/R2/", {dataPart(JsonValue(recipe("R2", "Cake", "h2")))}).ok());

    const JsonArray expectedStubs{
        JsonObject{{"uid", "R1"}, {"hash", "h1"}, {"photo_hash", sha256Hex(photo)}},
        JsonObject{{"uid", "R2"}, {"hash", "h2"}, {"photo_hash", nullptr}}};
    EXPECT_EQ(getAs("/sync/recipes/").result(), JsonValue(expectedStubs));

    auto full = getAs("/sync/recipe/R1/");
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(full.result().member("name")->asString(), "Soup");
    EXPECT_EQ(full.result().member("photo_hash")->asString(), sha256Hex(photo));
    const std::string photoUrl = full.result().member("photo_url")->asString();
    const std::string prefix = "http://127.0.0.1:" + std::to_string(m_port) + "/photos/";
    ASSERT_TRUE(photoUrl.starts_with(prefix)) << photoUrl;
    const std::string photoPath = photoUrl.substr(prefix.size() - 8);
    EXPECT_EQ(photoPath.size(), 8 + 32u);  // 128 bits as hex
    EXPECT_TRUE(getAs("/sync/recipe/R2/").result().member("photo_url")->isNull());

    // The client downloads it without credentials.
    auto fetched = client()->Get(photoPath.c_str());
    ASSERT_TRUE(fetched);
    EXPECT_EQ(fetched->status, 200);
    EXPECT_EQ(fetched->body, photo);
    EXPECT_EQ(fetched->get_header_value("Content-Type"), "image/png");

    // A change without a photo part keeps the photo and its address.
    ASSERT_TRUE(
        postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Soup 2", "h1b", true)))})
            .ok());
    EXPECT_EQ(getAs("/sync/recipe/R1/").result().member("photo_url")->asString(), photoUrl);

    // A new photo gets a new address; the old one leads nowhere.
    const std::string second = pngBytes('b');
    ASSERT_TRUE(
        postAs("/sync/recipe/R1/",
               {dataPart(JsonValue(recipe("R1", "Soup 3", "h1c", true))), photoPart(second)})
            .ok());
    const std::string secondUrl =
        getAs("/sync/recipe/R1/").result().member("photo_url")->asString();
    EXPECT_NE(secondUrl, photoUrl);
    EXPECT_EQ(client()->Get(photoPath.c_str())->status, 404);
    EXPECT_EQ(client()->Get(secondUrl.substr(prefix.size() - 8).c_str())->body, second);

    // Removing the photo in the recipe removes it on the server.
    ASSERT_TRUE(
        postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Soup 4", "h1d")))}).ok());
    auto without = getAs("/sync/recipe/R1/");
    EXPECT_TRUE(without.result().member("photo_url")->isNull());
    EXPECT_EQ(client()->Get(secondUrl.substr(prefix.size() - 8).c_str())->status, 404);

    // A deletion takes it off the list; asking for it then is a 404.
    JsonObject deleted = recipe("R2", "Cake", "h2");
    deleted.set("deleted", JsonValue(true));
    ASSERT_TRUE(postAs("/sync/recipe/R2/", {dataPart(JsonValue(deleted))}).ok());
    const auto stubs = getAs("/sync/recipes/").result().asArray();
    ASSERT_EQ(stubs.size(), 1u);
    EXPECT_EQ(stubs[0].member("uid")->asString(), "R1");
    auto missing = getAs("/sync/recipe/R2/");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.errorCode(), apiErrorCode(ApiErrorKind::NotFound));
}

TEST_P(ServerApi, aPhotoAloneNeedsAKnownRecipe) {
    auto orphan = postAs("/sync/recipe/R9/", {photoPart(pngBytes('z'))});
    EXPECT_EQ(orphan.status, 404);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "photos" / "1" / sha256Hex(pngBytes('z'))));
    ASSERT_TRUE(
        postAs("/sync/recipe/R9/", {dataPart(JsonValue(recipe("R9", "Pie", "h9", true)))}).ok());
    ASSERT_TRUE(postAs("/sync/recipe/R9/", {photoPart(pngBytes('z'))}).ok());
    EXPECT_EQ(getAs("/sync/recipes/").result().asArray()[0].member("photo_hash")->asString(),
              sha256Hex(pngBytes('z')));
}

TEST_P(ServerApi, unknownAddressesAndThePageParserAnswerWithTheEnvelope) {
    auto nowhere = answerOf(client()->Get("/sync/nothing/"));
    EXPECT_EQ(nowhere.status, 404);
    EXPECT_EQ(nowhere.errorCode(), apiErrorCode(ApiErrorKind::NotFound));

    const httplib::MultipartFormDataItems page{
        {"url", "https://example.org/soup", "", ""},
        {"html", gzipCompress("<html><h1>Soup</h1></html>"), "file", "application/octet-stream"}};
    auto unavailable = answerOf(client()->Post("/recipe/", page));
    EXPECT_EQ(unavailable.status, 503);
    EXPECT_EQ(unavailable.errorCode(), apiErrorCode(ApiErrorKind::ParserUnavailable));

    restartServer(RegistrationPolicy::Open,
                  [](std::string_view html, std::string_view url) -> ApiResult<JsonObject> {
                      if (html.find("<h1>") == std::string_view::npos) {
                          return apiError(ApiErrorKind::ParseFailed, "No recipe on this page.");
                      }
                      return JsonObject{{"name", "Soup"}, {"source_url", JsonValue(url)}};
                  });
    auto parsed = answerOf(client()->Post("/recipe/", page));
    ASSERT_TRUE(parsed.ok()) << parsed.body;
    EXPECT_EQ(parsed.result(),
              JsonValue(JsonObject{{"name", "Soup"}, {"source_url", "https://example.org/soup"}}));
    auto nothing = answerOf(client()->Post(
        "/recipe/", httplib::MultipartFormDataItems{
                        {"url", "https://example.org/", "", ""},
                        {"html", gzipCompress("<p>no</p>"), "file", "application/octet-stream"}}));
    EXPECT_EQ(nothing.status, 200);
    EXPECT_EQ(nothing.errorMessage(), "No recipe on this page.");
    // The program's own parser behind the endpoint: a schema.org recipe in the page's head.
    restartServer(RegistrationPolicy::Open, recipePageParser());
    const std::string jsonLd =
        "<html><head><script type=\"application/ld+json\">{\"@type\": \"Recipe\", \"name\": "
        "\"Leek soup\", \"recipeIngredient\": [\"2 leeks\", \"1 l stock\"], "
        "\"recipeInstructions\": \"Simmer.\", \"totalTime\": \"PT1H30M\"}</script></head>"
        "<body><p>A soup.</p></body></html>";
    auto real = answerOf(client()->Post(
        "/recipe/", httplib::MultipartFormDataItems{
                        {"url", "https://example.org/leek-soup", "", ""},
                        {"html", gzipCompress(jsonLd), "file", "application/octet-stream"}}));
    ASSERT_TRUE(real.ok()) << real.body;
    EXPECT_EQ(real.result().member("name")->asString(), "Leek soup");
    EXPECT_EQ(real.result().member("source_url")->asString(), "https://example.org/leek-soup");
    auto none = answerOf(client()->Post(
        "/recipe/", httplib::MultipartFormDataItems{
                        {"url", "https://example.org/", "", ""},
                        {"html", gzipCompress("<p>no</p>"), "file", "application/octet-stream"}}));
    EXPECT_EQ(none.errorMessage(), "No recipe found on this page.");

    auto plain = answerOf(client()->Post(
        "/recipe/", httplib::MultipartFormDataItems{{"url", "https://example.org/", "", ""},
                                                    {"html", "<h1>not gzip</h1>", "file", ""}}));
    EXPECT_EQ(plain.errorCode(), apiErrorCode(ApiErrorKind::BadRequest));
}

// The Browser's "Supported Sites" item opens /sites/ of the configured service: a page for
// anyone, without credentials, that says which pages the page parser reads.
TEST_P(ServerApi, supportedSitesPageSaysWhatTheParserReads) {
    auto page = client()->Get("/sites/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
    for (const char* named :
         {"<title>Supported Sites", "JSON-LD", "microdata", "recipe plugins", "Ingredients"}) {
        EXPECT_NE(page->body.find(named), std::string::npos) << named;
    }
    auto bare = client()->Get("/sites");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->status, 302);
    EXPECT_EQ(bare->get_header_value("Location"), "/sites/");
}

TEST_P(ServerApi, overwrittenAndDeletedRecipesAreKeptAndComeBack) {
    ASSERT_TRUE(postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "First", "h1", true))),
                                            photoPart(pngBytes('a'))})
                    .ok());
    ASSERT_TRUE(
        postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Second", "h2")))}).ok());
    // Sent again unchanged (a retry): no new version.
    ASSERT_TRUE(
        postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Second", "h2")))}).ok());
    JsonObject deleted = recipe("R1", "Second", "h2");
    deleted.set("deleted", JsonValue(true));
    ASSERT_TRUE(postAs("/sync/recipe/R1/", {dataPart(JsonValue(deleted))}).ok());
    EXPECT_TRUE(getAs("/sync/recipes/").result().asArray().empty());

    auto account = m_storage->findAccount(kEmail);
    ASSERT_TRUE(account && *account);
    auto entries = m_storage->history((*account)->id, "R1");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);  // newest first: "Second", then "First" with its photo
    EXPECT_NE((*entries)[1].body.find("\"First\""), std::string::npos);
    ASSERT_TRUE((*entries)[1].photoHash);

    // The photo of a kept version stays on disk, so a restore brings it back too.
    ASSERT_TRUE(
        m_storage->restore((*account)->id, (*entries)[1].id, "0123456789abcdef0123456789abcdef"));
    auto restored = getAs("/sync/recipe/R1/");
    EXPECT_EQ(restored.result().member("name")->asString(), "First");
    EXPECT_EQ(restored.result().member("hash")->asString(), "h1");
    auto photo = client()->Get("/photos/0123456789abcdef0123456789abcdef");
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->body, pngBytes('a'));
}

TEST_P(ServerApi, historyKeepsTwentyVersionsOfEachRecipe) {
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(
            postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "v" + std::to_string(i),
                                                                  "h" + std::to_string(i))))})
                .ok());
    }
    auto account = m_storage->findAccount(kEmail);
    auto entries = m_storage->history((*account)->id, "R1");
    ASSERT_TRUE(entries);
    // Younger than 30 days, all 24 earlier versions are still kept.
    EXPECT_EQ(entries->size(), 24u);
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerApi, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
