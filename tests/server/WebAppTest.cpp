#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "ServerFixture.h"
#include "ingredients/IngredientParser.h"
#include "server/Controllers.h"

namespace miravel::server::testing {
namespace {

// A phone's browser: keeps the session cookie the server sets and sends it back.
struct Browser {
    std::string cookie;
    std::string csrf;
};

class WebApp : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(registerAccount("ann@example.org", "ann-password").ok());
    }

    httplib::Result signInRaw(const std::string& email, const std::string& password) {
        return client()->Post("/app/session",
                              httplib::Params{{"email", email}, {"password", password}});
    }

    Browser signIn(const std::string& email, const std::string& password) {
        auto answer = signInRaw(email, password);
        Browser browser;
        if (!answer || answer->status != 200) {
            ADD_FAILURE() << "sign-in failed";
            return browser;
        }
        const std::string header = answer->get_header_value("Set-Cookie");
        browser.cookie = header.substr(0, header.find(';'));
        auto parsed = answerOf(answer);
        if (const JsonValue* csrf = parsed.result().member("csrf"); csrf && csrf->isString()) {
            browser.csrf = csrf->asString();
        }
        return browser;
    }

    Answer browserGet(const Browser& browser, const std::string& path) {
        return answerOf(client()->Get(path.c_str(), {{"Cookie", browser.cookie}}));
    }

    Answer browserPost(const Browser& browser, const std::string& path, const JsonValue& body,
                       bool withToken = true) {
        httplib::Headers headers{{"Cookie", browser.cookie}};
        if (withToken) {
            headers.emplace("X-CSRF-Token", browser.csrf);
        }
        return answerOf(
            client()->Post(path.c_str(), headers, JsonWriter::write(body), "application/json"));
    }

    static JsonObject item(const std::string& uid, const std::string& name,
                           const std::string& aisle, const std::string& ingredient,
                           const JsonValue& recipe = JsonValue(), bool purchased = false) {
        return JsonObject{{"uid", JsonValue(uid)},
                          {"name", JsonValue(name)},
                          {"purchased", JsonValue(purchased)},
                          {"order_flag", JsonValue()},
                          {"recipe", recipe},
                          {"aisle", JsonValue(aisle)},
                          {"ingredient", JsonValue(ingredient)},
                          {"deleted", JsonValue(false)}};
    }

    void uploadGroceries(const std::string& email, const std::string& password,
                         const JsonArray& items) {
        ASSERT_TRUE(
            postParts("/sync/groceries/", email, password, {dataPart(JsonValue(items))}).ok());
    }

    JsonObject storedItem(const std::string& email, const std::string& uid) {
        auto account = m_storage->findAccount(email);
        auto texts = m_storage->entities((*account)->id, EntityKind::Groceries);
        for (const auto& text : *texts) {
            auto parsed = JsonParser::parse(text);
            if (parsed && parsed->member("uid")->asString() == uid) {
                return parsed->asObject();
            }
        }
        return {};
    }
};

TEST_P(WebApp, signingInSetsAStrictHttpOnlyCookieAndWrongPasswordsAreThrottled) {
    auto page = client()->Get("/app/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<html"), std::string::npos);
    EXPECT_LT(page->body.size(), 100u * 1024u);

    auto answer = signInRaw("Ann@Example.org", "ann-password");
    ASSERT_TRUE(answer);
    const std::string cookie = answer->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    EXPECT_NE(cookie.find("Path=/app/"), std::string::npos);
    // Plain HTTP on loopback: a Secure cookie would never come back.
    EXPECT_EQ(cookie.find("Secure"), std::string::npos);

    auto wrong = answerOf(signInRaw("ann@example.org", "not-it"));
    EXPECT_EQ(wrong.errorCode(), apiErrorCode(ApiErrorKind::LoginFailed));
    EXPECT_TRUE(wrong.json.member("error"));
    int throttledStatus = 0;
    for (int attempt = 0; attempt < 6 && throttledStatus != 429; ++attempt) {
        auto again = signInRaw("ann@example.org", "not-it");
        ASSERT_TRUE(again);
        throttledStatus = again->status;
    }
    EXPECT_EQ(throttledStatus, 429);
}

// The page, its worker and the sites page go gzip-compressed to whoever takes gzip, and as
// they are to everyone else; a cache between keeps the two apart by Accept-Encoding.
TEST_P(WebApp, thePagesAreCompressedForClientsThatTakeGzip) {
    for (const std::string path : {"/app/", "/app/worker.js", "/sites/"}) {
        auto raw = client();
        raw->set_decompress(false);
        auto plain = raw->Get(path.c_str());
        ASSERT_TRUE(plain);
        ASSERT_EQ(plain->status, 200);
        EXPECT_FALSE(plain->has_header("Content-Encoding")) << path;
        EXPECT_EQ(plain->get_header_value("Vary"), "Accept-Encoding") << path;
        for (const char* accepted : {"gzip", "deflate, gzip;q=0.5", "br, x-gzip"}) {
            auto compressed = raw->Get(path.c_str(), {{"Accept-Encoding", accepted}});
            ASSERT_TRUE(compressed);
            EXPECT_EQ(compressed->status, 200);
            EXPECT_EQ(compressed->get_header_value("Content-Encoding"), "gzip")
                << path << " " << accepted;
            EXPECT_EQ(compressed->get_header_value("Vary"), "Accept-Encoding");
            EXPECT_EQ(compressed->get_header_value("Content-Type"),
                      plain->get_header_value("Content-Type"));
            EXPECT_EQ(compressed->get_header_value("Content-Security-Policy"),
                      plain->get_header_value("Content-Security-Policy"));
            EXPECT_LT(compressed->body.size(), plain->body.size() / 2) << path;
            auto inflated = inflateGzipOrZlib(compressed->body);
            ASSERT_TRUE(inflated);
            EXPECT_EQ(*inflated, plain->body) << path;
        }
        // Refused or not offered: plain.
        for (const char* refused : {"gzip;q=0", "br", "identity"}) {
            auto answer = raw->Get(path.c_str(), {{"Accept-Encoding", refused}});
            ASSERT_TRUE(answer);
            EXPECT_FALSE(answer->has_header("Content-Encoding")) << path << " " << refused;
            EXPECT_EQ(answer->body, plain->body);
        }
    }
}

TEST_P(WebApp, secureCookieBehindHttps) {
    stopServer();
    ServerOptions options;
    options.baseUrl = "https://recipes.example.org";
    options.passwordCost = {1, 8192};
    m_server = std::make_unique<MiravelServer>(options, *m_faulty, *m_photos);
    auto port = m_server->bind("127.0.0.1", 0);
    ASSERT_TRUE(port);
    m_port = *port;
    m_thread = std::thread([this] { m_server->run(); });
    auto answer = signInRaw("ann@example.org", "ann-password");
    ASSERT_TRUE(answer);
    EXPECT_NE(answer->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
}

TEST_P(WebApp, dataNeedsASessionAndChangesNeedItsToken) {
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "2 eggs", "Dairy", "eggs"))});
    for (const char* path : {"/app/groceries", "/app/meals", "/app/session"}) {
        auto refused = client()->Get(path);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 401) << path;
        // A Basic challenge would open the browser's own password dialog over the page.
        EXPECT_FALSE(refused->has_header("WWW-Authenticate")) << path;
        EXPECT_EQ(
            answerOf(client()->Get(path, {{"Cookie", "miravel_session=" + std::string(64, 'a')}}))
                .status,
            401)
            << path;
    }
    Browser browser = signIn("ann@example.org", "ann-password");
    ASSERT_FALSE(browser.csrf.empty());
    EXPECT_TRUE(browserGet(browser, "/app/groceries").ok());
    EXPECT_EQ(browserGet(browser, "/app/session").result().member("csrf")->asString(),
              browser.csrf);

    const JsonValue check(JsonObject{{"uids", JsonValue(JsonArray{JsonValue("G1")})},
                                     {"purchased", JsonValue(true)}});
    auto refused = browserPost(browser, "/app/groceries/purchased", check, false);
    EXPECT_EQ(refused.status, 403);
    Browser forged = browser;
    forged.csrf = std::string(32, '0');
    EXPECT_EQ(browserPost(forged, "/app/groceries/purchased", check).status, 403);
    EXPECT_EQ(browserPost(browser, "/app/groceries/new",
                          JsonValue(JsonObject{{"name", JsonValue("milk")}}), false)
                  .status,
              403);
    EXPECT_FALSE(storedItem("ann@example.org", "G1").find("purchased")->asBoolean());

    // A password reset ends the sessions signed in with the old one.
    ASSERT_TRUE(m_server->accounts().resetPassword("ann@example.org", "new-password"));
    EXPECT_EQ(browserGet(browser, "/app/groceries").status, 401);

    // So does signing out, for that session only.
    Browser first = signIn("ann@example.org", "new-password");
    Browser second = signIn("ann@example.org", "new-password");
    EXPECT_TRUE(browserPost(first, "/app/session/end", JsonValue(JsonObject{})).ok());
    EXPECT_EQ(browserGet(first, "/app/groceries").status, 401);
    EXPECT_TRUE(browserGet(second, "/app/groceries").ok());
}

TEST_P(WebApp, aSessionSeesOnlyItsOwnAccount) {
    ASSERT_TRUE(registerAccount("bob@example.org", "bob-password").ok());
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "ann's bread", "Bakery", "bread"))});
    uploadGroceries("bob@example.org", "bob-password",
                    {JsonValue(item("G1", "bob's bread", "Bakery", "bread"))});
    Browser bob = signIn("bob@example.org", "bob-password");
    auto list = browserGet(bob, "/app/groceries").result();
    ASSERT_EQ(list.member("sections")->asArray().size(), 1u);
    const auto& row = list.member("sections")->asArray()[0].member("rows")->asArray()[0];
    EXPECT_EQ(row.member("name")->asString(), "bob's bread");

    // Bob checking "G1" checks his own G1, never Ann's.
    ASSERT_TRUE(browserPost(bob, "/app/groceries/purchased",
                            JsonValue(JsonObject{{"uids", JsonValue(JsonArray{JsonValue("G1")})},
                                                 {"purchased", JsonValue(true)}}))
                    .ok());
    EXPECT_TRUE(storedItem("bob@example.org", "G1").find("purchased")->asBoolean());
    EXPECT_FALSE(storedItem("ann@example.org", "G1").find("purchased")->asBoolean());
}

TEST_P(WebApp, theListIsSortedByAisleConsolidatedAndFiltered) {
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "1 cup flour", "Baking", "flour", JsonValue("Bread"))),
                     JsonValue(item("G2", "2 cups flour", "Baking", "flour", JsonValue("Cake"))),
                     JsonValue(item("G3", "milk", "Dairy", "milk", JsonValue(), true)),
                     JsonValue(item("G4", "butter", "Dairy", "butter")),
                     JsonValue(item("G5", "1 cup sugar", "Baking", "sugar", JsonValue("Cake")))});
    Browser browser = signIn("ann@example.org", "ann-password");
    auto list = browserGet(browser, "/app/groceries").result();
    const auto& sections = list.member("sections")->asArray();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].member("title")->asString(), "Baking");
    const auto& baking = sections[0].member("rows")->asArray();
    ASSERT_EQ(baking.size(), 2u);
    EXPECT_EQ(baking[0].member("name")->asString(), "3 cups flour");
    EXPECT_EQ(baking[0].member("uids")->asArray().size(), 2u);
    // Purchased rows come after the ones still to find, whatever their names.
    const auto& dairy = sections[1].member("rows")->asArray();
    ASSERT_EQ(dairy.size(), 2u);
    EXPECT_EQ(dairy[0].member("name")->asString(), "butter");
    EXPECT_TRUE(dairy[1].member("purchased")->asBoolean());
    ASSERT_EQ(list.member("recipes")->asArray().size(), 2u);
    EXPECT_EQ(list.member("recipes")->asArray()[0].asString(), "Bread");

    auto mine = browserGet(browser, "/app/groceries?show=mine").result();
    ASSERT_EQ(mine.member("sections")->asArray().size(), 1u);
    EXPECT_EQ(mine.member("sections")->asArray()[0].member("rows")->asArray().size(), 2u);
    // A recipe's own items are not merged with anything.
    auto cake = browserGet(browser, "/app/groceries?show=recipe&recipe=Cake").result();
    const auto& cakeRows = cake.member("sections")->asArray()[0].member("rows")->asArray();
    ASSERT_EQ(cakeRows.size(), 2u);
    EXPECT_EQ(cakeRows[0].member("name")->asString(), "2 cups flour");
    EXPECT_EQ(browserGet(browser, "/app/groceries?show=nonsense").errorCode(),
              apiErrorCode(ApiErrorKind::BadRequest));
}

TEST_P(WebApp, checkingARowChangesEachOfItsItemsAndNothingElse) {
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "1 cup flour", "Baking", "flour", JsonValue("Bread"))),
                     JsonValue(item("G2", "2 cups flour", "Baking", "flour", JsonValue("Cake"))),
                     JsonValue(item("G3", "milk", "Dairy", "milk"))});
    Browser phone = signIn("ann@example.org", "ann-password");
    Browser otherPhone = signIn("ann@example.org", "ann-password");
    const JsonObject milkBefore = storedItem("ann@example.org", "G3");
    ASSERT_TRUE(browserPost(phone, "/app/groceries/purchased",
                            JsonValue(JsonObject{
                                {"uids", JsonValue(JsonArray{JsonValue("G1"), JsonValue("G2")})},
                                {"purchased", JsonValue(true)}}))
                    .ok());
    // The other phone checks milk from a list loaded before: flour stays checked.
    ASSERT_TRUE(browserPost(otherPhone, "/app/groceries/purchased",
                            JsonValue(JsonObject{{"uids", JsonValue(JsonArray{JsonValue("G3")})},
                                                 {"purchased", JsonValue(true)}}))
                    .ok());
    for (const char* uid : {"G1", "G2", "G3"}) {
        EXPECT_TRUE(storedItem("ann@example.org", uid).find("purchased")->asBoolean()) << uid;
    }
    // The desktop downloads the same dictionary with only "purchased" changed, in its order.
    JsonObject milkAfter = storedItem("ann@example.org", "G3");
    milkAfter.set("purchased", JsonValue(false));
    EXPECT_EQ(JsonWriter::write(JsonValue(milkAfter)), JsonWriter::write(JsonValue(milkBefore)));
    auto synced = get("/sync/groceries/", "ann@example.org", "ann-password").result();
    EXPECT_EQ(synced.asArray().size(), 3u);

    // Unchecking, and items the desktop deleted meanwhile are skipped.
    auto unchecked = browserPost(
        phone, "/app/groceries/purchased",
        JsonValue(JsonObject{{"uids", JsonValue(JsonArray{JsonValue("G1"), JsonValue("GONE")})},
                             {"purchased", JsonValue(false)}}));
    EXPECT_EQ(unchecked.result().member("changed")->asInteger(), 1);
    EXPECT_FALSE(storedItem("ann@example.org", "G1").find("purchased")->asBoolean());
    EXPECT_EQ(browserPost(phone, "/app/groceries/purchased",
                          JsonValue(JsonObject{{"uids", JsonValue(JsonArray{JsonValue("a/b")})},
                                               {"purchased", JsonValue(true)}}))
                  .errorCode(),
              apiErrorCode(ApiErrorKind::BadRequest));
}

TEST_P(WebApp, anAddedItemGetsItsAisleFromTheIngredientParser) {
    Browser browser = signIn("ann@example.org", "ann-password");
    auto added = browserPost(browser, "/app/groceries/new",
                             JsonValue(JsonObject{{"name", JsonValue("  2 cups milk ")}}));
    ASSERT_TRUE(added.ok()) << added.body;
    const std::string uid = added.result().member("uid")->asString();
    EXPECT_TRUE(isValidUid(uid));
    JsonObject stored = storedItem("ann@example.org", uid);
    EXPECT_EQ(stored.find("name")->asString(), "2 cups milk");
    EXPECT_EQ(stored.find("aisle")->asString(),
              IngredientParser::sharedParser().getAisle("2 cups milk"));
    EXPECT_NE(stored.find("aisle")->asString(), "");
    EXPECT_TRUE(stored.find("recipe")->isNull());
    EXPECT_FALSE(stored.find("purchased")->asBoolean());
    EXPECT_EQ(browserPost(browser, "/app/groceries/new",
                          JsonValue(JsonObject{{"name", JsonValue("   ")}}))
                  .errorCode(),
              apiErrorCode(ApiErrorKind::BadRequest));
}

TEST_P(WebApp, theWeekShowsMealsByDayAndTypeWithTheirRecipesNames) {
    ASSERT_TRUE(postParts("/sync/recipe/R1/", "ann@example.org", "ann-password",
                          {dataPart(JsonValue(recipe("R1", "Soup", "h1")))})
                    .ok());
    const auto meal = [](const std::string& uid, int type, const std::string& date,
                         const JsonValue& name, const JsonValue& recipeUid) {
        return JsonValue(JsonObject{{"uid", JsonValue(uid)},
                                    {"type", JsonValue(type)},
                                    {"date", JsonValue(date)},
                                    {"deleted", JsonValue(false)},
                                    {"order_flag", JsonValue(0)},
                                    {"name", name},
                                    {"recipe_uid", recipeUid}});
    };
    ASSERT_TRUE(
        postParts("/sync/meals/", "ann@example.org", "ann-password",
                  {dataPart(JsonValue(JsonArray{
                      meal("M1", 2, "2026-03-03 00:00:00", JsonValue(), JsonValue("R1")),
                      meal("M2", 0, "2026-03-03 00:00:00", JsonValue("Toast"), JsonValue()),
                      meal("M3", 1, "2026-03-10 00:00:00", JsonValue("Later"), JsonValue()),
                      meal("M4", 1, "2026-03-01 00:00:00", JsonValue("Before"), JsonValue())}))})
            .ok());
    Browser browser = signIn("ann@example.org", "ann-password");
    auto week = browserGet(browser, "/app/meals?from=2026-03-02").result();
    const auto& days = week.member("days")->asArray();
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(days[0].member("date")->asString(), "2026-03-02");
    EXPECT_EQ(days[6].member("date")->asString(), "2026-03-08");
    EXPECT_TRUE(days[0].member("meals")->asArray().empty());
    const auto& tuesday = days[1].member("meals")->asArray();
    ASSERT_EQ(tuesday.size(), 2u);
    EXPECT_EQ(tuesday[0].member("type")->asString(), "Breakfast");
    EXPECT_EQ(tuesday[0].member("name")->asString(), "Toast");
    EXPECT_EQ(tuesday[1].member("type")->asString(), "Dinner");
    EXPECT_EQ(tuesday[1].member("name")->asString(), "Soup");
    EXPECT_EQ(tuesday[1].member("recipe_uid")->asString(), "R1");
    EXPECT_EQ(browserGet(browser, "/app/recipe/R1").result().member("name")->asString(), "Soup");
    EXPECT_EQ(browserGet(browser, "/app/meals?from=2026-02-30").errorCode(),
              apiErrorCode(ApiErrorKind::BadRequest));
}

INSTANTIATE_TEST_SUITE_P(Storage, WebApp, ::testing::Values("sqlite", "postgresql"));

// The page itself, in headless chromium driven by tests/server/phone_page.mjs: what a phone
// does in a store, signal lost halfway through.
class WebAppInBrowser : public WebApp {
protected:
    static std::string onPath(const char* program) {
        const char* path = std::getenv("PATH");
        std::stringstream folders(path ? path : "");
        for (std::string folder; std::getline(folders, folder, ':');) {
            const auto candidate = std::filesystem::path(folder) / program;
            std::error_code error;
            if (!folder.empty() && std::filesystem::is_regular_file(candidate, error)) {
                return candidate.string();
            }
        }
        return {};
    }

    // The script's last line of output, its report; empty when it failed. onLine sees each
    // line as it comes, while the script still runs.
    static std::string runScript(const std::string& arguments, std::string& output,
                                 const std::function<void(const std::string&)>& onLine = {}) {
        const std::string command = "node --no-warnings --experimental-websocket '" +
                                    std::string(MIRAVEL_PHONE_PAGE_SCRIPT) + "' " + arguments +
                                    " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return {};
        }
        std::string last;
        char* line = nullptr;
        size_t capacity = 0;
        for (ssize_t length = 0; (length = getline(&line, &capacity, pipe)) > 0;) {
            output.append(line, static_cast<size_t>(length));
            last.assign(line, static_cast<size_t>(length));
            if (!last.empty() && last.back() == '\n') {
                last.pop_back();
            }
            if (onLine) {
                onLine(last);
            }
        }
        free(line);
        return pclose(pipe) == 0 ? last : std::string();
    }
};

TEST_P(WebAppInBrowser, checkOffsMadeOfflineReachTheServerOnceOnline) {
    if (onPath("chromium").empty() || onPath("node").empty()) {
        GTEST_SKIP() << "needs chromium and node (scripts/install-deps.sh screenshots)";
    }
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "1 cup flour", "Baking", "flour", JsonValue("Bread"))),
                     JsonValue(item("G2", "2 cups flour", "Baking", "flour", JsonValue("Cake"))),
                     JsonValue(item("G3", "milk", "Dairy", "milk")),
                     JsonValue(item("G4", "butter", "Dairy", "butter")),
                     JsonValue(item("G5", "1 cup sugar", "Baking", "sugar", JsonValue("Cake")))});
    std::string output;
    const std::string last =
        runScript(fmt::format("shop http://127.0.0.1:{} ann@example.org ann-password "
                              "'3 cups flour' butter milk",
                              m_port),
                  output);
    auto parsed = JsonParser::parse(last);
    ASSERT_TRUE(parsed && parsed->isObject()) << output;
    const JsonValue& report = *parsed;

    std::vector<std::string> rows;
    for (const auto& row : report.member("rows")->asArray()) {
        rows.push_back(row.asString());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"3 cups flour", "1 cup sugar", "butter", "milk"}));
    // Two check-offs and the change the server will refuse wait, shown as already made.
    EXPECT_EQ(report.member("waitingOffline")->asString(), "3 changes wait to be sent.");
    EXPECT_EQ(report.member("queuedOffline")->asInteger(), 3);
    for (const auto& shown : report.member("pressedOffline")->asArray()) {
        EXPECT_TRUE(shown.asBoolean());
    }
    // The refused change is dropped and the user told why, not only the console.
    EXPECT_EQ(report.member("notice")->asString(),
              "1 change could not be saved: A uid of the change is not valid.");
    EXPECT_EQ(report.member("waitingOnline")->asString(), "");

    // The first check-off went with a stale token, was refused with 403, and went again
    // with the session's token.
    const auto log = logLines();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.find("POST /app/groceries/purchased 403") !=
                                       std::string::npos;
                            }),
              1);
    for (const char* uid : {"G1", "G2", "G3", "G4"}) {
        EXPECT_TRUE(storedItem("ann@example.org", uid).find("purchased")->asBoolean()) << uid;
    }
    EXPECT_FALSE(storedItem("ann@example.org", "G5").find("purchased")->asBoolean());
}

TEST_P(WebAppInBrowser, aCheckOffTheServerFailsToStoreWaitsAndIsSentLater) {
    if (onPath("chromium").empty() || onPath("node").empty()) {
        GTEST_SKIP() << "needs chromium and node (scripts/install-deps.sh screenshots)";
    }
    uploadGroceries("ann@example.org", "ann-password",
                    {JsonValue(item("G1", "milk", "Dairy", "milk"))});
    m_faulty->failEntityWrites = true;
    const auto mended = m_folder / "mended";
    std::string output;
    std::string held;
    const std::string last =
        runScript(fmt::format("outage http://127.0.0.1:{} ann@example.org ann-password milk '{}'",
                              m_port, mended.string()),
                  output, [&](const std::string& line) {
                      if (line.starts_with("held ")) {
                          held = line.substr(5);
                          m_faulty->failEntityWrites = false;
                          std::ofstream(mended) << "mended";
                      }
                  });
    auto during = JsonParser::parse(held);
    ASSERT_TRUE(during && during->isObject()) << output;
    // A server error is no refusal: the change stays queued and nothing is reported lost.
    EXPECT_EQ(during->member("queuedDuringOutage")->asInteger(), 1);
    EXPECT_EQ(during->member("waitingDuringOutage")->asString(), "1 change waits to be sent.");
    EXPECT_EQ(during->member("noticeDuringOutage")->asString(), "");
    auto after = JsonParser::parse(last);
    ASSERT_TRUE(after && after->isObject()) << output;
    EXPECT_EQ(after->member("waitingAfter")->asString(), "");
    EXPECT_TRUE(storedItem("ann@example.org", "G1").find("purchased")->asBoolean());
}

INSTANTIATE_TEST_SUITE_P(Storage, WebAppInBrowser, ::testing::Values("sqlite"));

}  // namespace
}  // namespace miravel::server::testing
