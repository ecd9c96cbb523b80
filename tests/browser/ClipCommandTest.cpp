#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

#include "browser/PageFetch.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Image.h"
#include "lib/JsonParser.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

const char* const kPage =
    R"(<html><head><script type="application/ld+json">{"@type":"Recipe","name":"Pear Tart",)"
    R"("image":"/tart.jpg","recipeIngredient":["2 pears","1 sheet pastry"],)"
    R"("recipeInstructions":"Bake for 30 minutes."}</script></head><body></body></html>)";

// A small web site on 127.0.0.1: a page behind a redirect, its picture, and a page too large.
class LocalSite : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.Get("/pie", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/recipes/pie.html");
        });
        m_server.Get("/recipes/pie.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kPage, "text/html");
        });
        m_server.Get("/tart.jpg",
                     [this](const httplib::Request& request, httplib::Response& response) {
                         ++pictureRequests;
                         sawCredentials = sawCredentials || request.has_header("Authorization");
                         response.set_content(*encodeJpeg(Image::blank(500, 500)), "image/jpeg");
                     });
        m_server.Get("/no-picture.html", [](const httplib::Request&, httplib::Response& response) {
            std::string page = kPage;
            page.replace(page.find("/tart.jpg"), 9, "/notes.txt");
            response.set_content(page, "text/html");
        });
        m_server.Get("/notes.txt", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("not a picture", "text/plain");
        });
        m_server.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(64 * 1024, 'x'), "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    void TearDown() override {
        m_server.stop();
        m_thread.join();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    testing::TemporaryFolder home;
    std::atomic<int> pictureRequests = 0;
    std::atomic<bool> sawCredentials = false;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

TEST_F(LocalSite, ClipFollowsRedirectsAndSavesThePicture) {
    auto shown = testing::runMiravel(home.path(), {"clip", url("/pie"), "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    auto dictionary = JsonParser::parse(shown.out);
    ASSERT_TRUE(dictionary && dictionary->isObject());
    EXPECT_EQ(dictionary->asObject().find("name")->asString(), "Pear Tart");
    EXPECT_EQ(dictionary->asObject().find("source_url")->asString(), url("/recipes/pie.html"));
    EXPECT_EQ(dictionary->asObject().find("image_url")->asString(), url("/tart.jpg"));
    EXPECT_EQ(pictureRequests, 0);

    auto saved = testing::runMiravel(home.path(), {"clip", url("/pie"), "--save"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(pictureRequests, 1);
    EXPECT_FALSE(sawCredentials);

    // The picture is the recipe's photo as the editor stores it: the 280 thumbnail (a larger
    // picture cropped to fit), its hash beside it, and the address it came from.
    const std::string uid = saved.out.substr(0, saved.out.find('\n'));
    auto stored = testing::runMiravel(home.path(), {"recipe", "show", uid, "--json"});
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    auto recipe = JsonParser::parse(stored.out);
    ASSERT_TRUE(recipe && recipe->isObject());
    EXPECT_EQ(recipe->asObject().find("image_url")->asString(), url("/tart.jpg"));
    const JsonValue* photo = recipe->asObject().find("photo");
    ASSERT_TRUE(photo != nullptr && photo->isString());
    auto bytes = readFile(home.path() / "data" / "Miravel" / photo->asString());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(recipe->asObject().find("photo_hash")->asString(), sha256Hex(*bytes));
    auto thumbnail = decodeImage(*bytes);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width, 280);
    EXPECT_EQ(thumbnail->height, 280);

    // A picture address whose body is no image: saved without a photo, the address kept.
    auto unpictured = testing::runMiravel(home.path(), {"clip", url("/no-picture.html"), "--save"});
    ASSERT_EQ(unpictured.exitCode, 0) << unpictured.err;
    EXPECT_NE(unpictured.err.find("Image download failed"), std::string::npos);
    auto plain = testing::runMiravel(
        home.path(),
        {"recipe", "show", unpictured.out.substr(0, unpictured.out.find('\n')), "--json"});
    auto plainRecipe = JsonParser::parse(plain.out);
    ASSERT_TRUE(plainRecipe && plainRecipe->isObject());
    EXPECT_TRUE(plainRecipe->asObject().find("photo")->isNull());
    EXPECT_EQ(plainRecipe->asObject().find("image_url")->asString(), url("/notes.txt"));

    auto refused = testing::runMiravel(home.path(), {"clip", "file:///etc/passwd"});
    EXPECT_EQ(refused.exitCode, 2);
}

TEST_F(LocalSite, FetchesAreBounded) {
    FetchLimits limits;
    limits.maxBytes = 1024;
    auto big = fetchPage(url("/big"), limits);
    ASSERT_FALSE(big);
    EXPECT_EQ(big.error().code, static_cast<int>(FetchErrorCode::TooLarge));
    auto missing = fetchPage(url("/nothing"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, static_cast<int>(FetchErrorCode::Status));
}

TEST(BookmarkCommandTest, TheVerbsEditTheListTheMenuShows) {
    testing::TemporaryFolder home;
    auto run = [&](std::vector<std::string> arguments) {
        auto output = testing::runMiravel(home.path(), arguments);
        EXPECT_EQ(output.exitCode, 0) << output.err;
        return output.out;
    };
    run({"bookmark", "add", "Aaa", "https://aaa.example/"});
    const std::string before = run({"bookmark", "list"});
    ASSERT_EQ(before.rfind("1\tAaa\thttps://aaa.example/\n", 0), 0u) << before;
    run({"bookmark", "move", "1", "2"});
    run({"bookmark", "edit", "2", "--title", "Bbb", "--url", "https://bbb.example/"});
    const std::string after = run({"bookmark", "list"});
    EXPECT_NE(after.find("2\tBbb\thttps://bbb.example/\n"), std::string::npos) << after;
    run({"bookmark", "delete", "2"});
    EXPECT_EQ(run({"bookmark", "list"}).find("Bbb"), std::string::npos);
    EXPECT_EQ(testing::runMiravel(home.path(), {"bookmark", "delete", "99"}).exitCode, 2);
    EXPECT_EQ(
        testing::runMiravel(home.path(), {"bookmark", "add", "", "https://x.example/"}).exitCode,
        2);
}

}  // namespace
}  // namespace miravel
