#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/BrowserController.h"
#include "browser/BrowserDoubles.h"
#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/MainQueue.h"
#include "model/MemoryKeychain.h"
#include "model/UserSettings.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/RecipePageParsing.h"
#include "server/Storage.h"
#include "support/TemporaryFolder.h"
#include "sync/MiravelService.h"

namespace miravel {
namespace {

namespace fs = std::filesystem;
using testing::FakeWebView;
using testing::RecordingPresenter;

// Corpus pages whose recipes sit in JSON-LD, microdata and plugin markup.
const char* const kPages[] = {"15gram.be__fifteengram", "40aprons.com__fortyaprons_1",
                              "750g.com__g750g", "abeautifulmess.com__abeautifulmess_1",
                              "bigoven.com__bigoven_1"};

std::string pageUrl(const std::string& name) {
    return "https://www." + name.substr(0, name.find("__")) + "/recipe";
}

// miravel-server on 127.0.0.1 with its page parser, as an operator runs it.
class ParseServer {
public:
    explicit ParseServer(const fs::path& folder) {
        fs::create_directories(folder);
        auto opened = server::openStorage("sqlite:" + (folder / "server.db").string());
        EXPECT_TRUE(opened) << opened.error().description;
        m_storage = std::move(*opened);
        m_photos = std::make_unique<server::PhotoFiles>(folder / "photos");
        server::ServerOptions options;
        options.threads = 2;
        options.recipePage = server::recipePageParser();
        m_server = std::make_unique<server::MiravelServer>(options, *m_storage, *m_photos);
        auto bound = m_server->bind("127.0.0.1", 0);
        EXPECT_TRUE(bound) << bound.error().description;
        m_port = bound ? *bound : 0;
        m_thread = std::thread([this] { m_server->run(); });
    }
    ~ParseServer() { stop(); }
    void stop() {
        if (m_server) {
            m_server->stop();
            m_thread.join();
            m_server.reset();
        }
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    std::unique_ptr<server::Storage> m_storage;
    std::unique_ptr<server::PhotoFiles> m_photos;
    std::unique_ptr<server::MiravelServer> m_server;
    std::thread m_thread;
    int m_port = 0;
};

// One Browser pane; pictures come from memory, never from the sites.
class Pane {
public:
    explicit Pane(MainQueue& queue) : browser(view, presenter, queue) {
        browser.setPictureFetch([this](const std::string& url, auto done) {
            fetched.push_back(url);
            FetchedPage page;
            page.body = pictureBytes;
            page.finalUrl = url;
            done(std::move(page));
        });
    }
    // Saves the page and waits for the editor to open (or the alert).
    void save(MainQueue& queue, const std::string& url, const std::string& html) {
        view.markup = html;
        browser.loadUrl(url);
        browser.savePressed();
        queue.runUntil([this] { return !browser.isSaving(); }, std::chrono::seconds(30));
    }

    FakeWebView view;
    RecordingPresenter presenter;
    BrowserController browser;
    std::string pictureBytes = "not a picture";
    std::vector<std::string> fetched;
};

class SaveRecipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        queue.adoptCurrentThreadAsMain();
        settings = std::make_unique<UserSettings>(folder.path() / "settings.json");
        service = std::make_unique<MiravelService>(*settings, keychain, queue);
        service->setTimeout(std::chrono::seconds(10));
    }

    testing::TemporaryFolder folder;
    MainQueue queue;
    MemoryKeychain keychain;
    std::unique_ptr<UserSettings> settings;
    std::unique_ptr<MiravelService> service;
};

TEST_F(SaveRecipeTest, TheEditorGetsTheSameRecipeFromTheServiceHereAndWhenTheServiceIsDown) {
    EXPECT_FALSE(parseServiceConfigured(*settings));
    ParseServer server(folder.path() / "server");
    settings->setString(kServiceBaseUrlKey, server.url());
    ASSERT_TRUE(parseServiceConfigured(*settings));

    std::vector<std::pair<std::string, std::string>> pages;
    for (const char* name : kPages) {
        auto html =
            readFile(fs::path(MIRAVEL_CORPUS) / "webpages" / (std::string(name) + ".testhtml"));
        if (html) {
            pages.emplace_back(name, std::move(*html));
        }
    }
    if (pages.empty()) {
        GTEST_SKIP() << "no corpus pages";
    }

    std::vector<JsonObject> here, viaService, serviceDown;
    for (const auto& [name, html] : pages) {
        Pane local(queue);
        local.save(queue, pageUrl(name), html);
        ASSERT_EQ(local.presenter.recipes.size(), 1u) << name;
        here.push_back(local.presenter.recipes[0]);

        Pane remote(queue);
        remote.browser.setService(service.get());
        const std::size_t posts = service->postCount();
        remote.save(queue, pageUrl(name), html);
        EXPECT_EQ(service->postCount(), posts + 1) << name;
        ASSERT_EQ(remote.presenter.recipes.size(), 1u) << name;
        viaService.push_back(remote.presenter.recipes[0]);
        EXPECT_EQ(remote.fetched, local.fetched) << name;
    }
    server.stop();
    for (const auto& [name, html] : pages) {
        Pane remote(queue);
        remote.browser.setService(service.get());
        remote.save(queue, pageUrl(name), html);
        ASSERT_EQ(remote.presenter.recipes.size(), 1u) << name;
        EXPECT_EQ(remote.presenter.saveErrors, 0);
        serviceDown.push_back(remote.presenter.recipes[0]);
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(here[i], viaService[i]) << pages[i].first;
        EXPECT_EQ(here[i], serviceDown[i]) << pages[i].first;
        const JsonValue* source = here[i].find("source");
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->asString().find("www."), std::string::npos);
    }
}

TEST_F(SaveRecipeTest, APictureIsThumbnailedAndABodyThatIsNoPictureStillKeepsItsAddress) {
    const std::string page =
        R"(<html><head><script type="application/ld+json">{"@type":"Recipe","name":"Tart",)"
        R"("image":"https://example.com/tart.jpg","recipeIngredient":["1 pear"],)"
        R"("recipeInstructions":"Bake."}</script></head></html>)";
    Pane pane(queue);
    auto png = encodeJpeg(Image::blank(600, 400));
    ASSERT_TRUE(png);
    pane.pictureBytes = *png;
    pane.save(queue, "https://example.com/tart", page);
    ASSERT_EQ(pane.presenter.recipes.size(), 1u);
    ASSERT_TRUE(pane.presenter.images[0]);
    EXPECT_EQ(pane.presenter.images[0]->width, 280);
    EXPECT_EQ(pane.presenter.images[0]->height, 280);
    EXPECT_EQ(pane.presenter.recipes[0].find("image_url")->asString(),
              "https://example.com/tart.jpg");

    Pane broken(queue);
    broken.save(queue, "https://example.com/tart", page);
    ASSERT_EQ(broken.presenter.recipes.size(), 1u);
    EXPECT_FALSE(broken.presenter.images[0]);
    EXPECT_EQ(broken.presenter.recipes[0].find("image_url")->asString(),
              "https://example.com/tart.jpg");
}

TEST_F(SaveRecipeTest, ThePageWithoutARecipeAlertsOnceWhetherOrNotTheServiceAnswers) {
    ParseServer server(folder.path() / "server");
    settings->setString(kServiceBaseUrlKey, server.url());
    Pane pane(queue);
    pane.browser.setService(service.get());
    pane.save(queue, "https://example.com/about", "<html><body><p>About us</p></body></html>");
    EXPECT_EQ(pane.presenter.saveErrors, 1);
    EXPECT_TRUE(pane.presenter.recipes.empty());
    EXPECT_FALSE(pane.presenter.progress);
    const SiteRequestMail mail = pane.browser.requestSite();
    EXPECT_EQ(mail.subject, "Miravel Site Request");
    EXPECT_EQ(mail.body, "Please add support for this site:\n\nhttps://example.com/about");
}

}  // namespace
}  // namespace miravel
