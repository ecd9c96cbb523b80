#include <gtest/gtest.h>

#include "browser/BrowserController.h"
#include "browser/BrowserDoubles.h"
#include "browser/PageFetch.h"
#include "lib/MainQueue.h"

namespace miravel {
namespace {

using testing::FakeWebView;
using testing::RecordingPresenter;

class BrowserControllerTest : public ::testing::Test {
protected:
    std::string text(const JsonObject& dictionary, std::string_view key) {
        const JsonValue* value = dictionary.find(key);
        return value != nullptr && value->isString() ? value->asString() : "<none>";
    }

    MainQueue queue;
    FakeWebView view;
    RecordingPresenter presenter;
    BrowserController browser{view, presenter, queue};
};

TEST_F(BrowserControllerTest, CapturingCleansTheSelectionAndOnlyAnEmptyFieldTakesItAtOnce) {
    view.selection = "  \xE2\x80\xA2 Best Pasta\t ";
    browser.fieldPressed("name");
    EXPECT_EQ(browser.field("name"), "Best Pasta");
    ASSERT_EQ(presenter.notices.size(), 1u);
    EXPECT_EQ(presenter.notices[0], "Name captured. @Name");
    EXPECT_TRUE(view.selection.empty());
    EXPECT_TRUE(browser.fieldIsOn("name"));
    EXPECT_FALSE(browser.fieldIsOn("ingredients"));

    // A field that holds text opens the editor with the old text, a line break and the new.
    browser.setField("ingredients", "1 cup flour");
    view.selection = "\xE2\x80\xA2\t2 eggs\n";
    browser.fieldPressed("ingredients");
    ASSERT_EQ(presenter.editors.size(), 1u);
    EXPECT_EQ(presenter.editors[0].text, "1 cup flour\n2 eggs");
    EXPECT_EQ(presenter.editors[0].title, "Ingredients");
    EXPECT_EQ(browser.field("ingredients"), "1 cup flour");
    browser.closeFieldEditor("1 cup flour\n3 eggs");
    EXPECT_EQ(browser.field("ingredients"), "1 cup flour\n3 eggs");

    // Nothing selected: the editor shows the field as it is, with the line break after it.
    view.selection = "   ";
    browser.fieldPressed("notes");
    browser.fieldPressed("name");
    ASSERT_EQ(presenter.editors.size(), 3u);
    EXPECT_EQ(presenter.editors[1].text, "");
    EXPECT_EQ(presenter.editors[2].text, "Best Pasta\n");
    EXPECT_EQ(presenter.notices.size(), 1u);
}

TEST_F(BrowserControllerTest, AddressesLoadAsWebAddressesOrNotAtAll) {
    EXPECT_EQ(loadableAddress("example.com/pie"), "http://example.com/pie");
    EXPECT_EQ(loadableAddress("https://example.com/pie"), "https://example.com/pie");
    EXPECT_EQ(loadableAddress("HTTP://example.com"), "HTTP://example.com");
    EXPECT_EQ(loadableAddress("localhost:8080/pie"), "http://localhost:8080/pie");
    EXPECT_EQ(loadableAddress("httpbin.org"), "http://httpbin.org");
    EXPECT_FALSE(loadableAddress("javascript:alert(1)"));
    EXPECT_FALSE(loadableAddress("file:///etc/passwd"));
    EXPECT_FALSE(loadableAddress("data:text/html,<script>x</script>"));
    EXPECT_FALSE(loadableAddress("   "));

    EXPECT_TRUE(browser.loadUrl("example.com/pie"));
    EXPECT_FALSE(browser.loadUrl("javascript:alert(1)"));
    EXPECT_FALSE(browser.loadBookmark("example.com"));
    EXPECT_TRUE(browser.loadBookmark("https://example.org/"));
    EXPECT_EQ(view.loads,
              (std::vector<std::string>{"http://example.com/pie", "https://example.org/"}));
    EXPECT_EQ(browser.addressText(), "https://example.org/");

    // Entering the address already shown does not load it again.
    view.pageAddress = "https://example.org/";
    browser.urlEntered("https://example.org/");
    EXPECT_EQ(view.loads.size(), 2u);
    EXPECT_EQ(view.focused, 1);

    browser.searchEntered("");
    browser.searchEntered("crème brûlée & co/2?");
    ASSERT_EQ(view.loads.size(), 3u);
    EXPECT_EQ(view.loads[2],
              std::string(kSearchAddress) + "cr%C3%A8me%20br%C3%BBl%C3%A9e%20%26%20co%2F2%3F");
}

TEST_F(BrowserControllerTest, OpeningThePaneSetsTheAgentAndPrefersTheInitialAddress) {
    browser.setInitialUrl("https://example.org/soup");
    browser.open("https://home.example/");
    EXPECT_EQ(view.userAgent, "Engine/1.0 Chrome/21.0.1180.89 Safari/537.1");
    EXPECT_FALSE(browser.initialUrl());
    browser.open("https://home.example/");
    EXPECT_EQ(view.loads,
              (std::vector<std::string>{"https://example.org/soup", "https://home.example/"}));
}

TEST_F(BrowserControllerTest, CreateSendsEveryFieldAndResetClearsThem) {
    browser.loadUrl("https://cooking.example.com/pasta");
    browser.setField("name", "Pasta");
    browser.setField("nutrition", "300 kcal");
    browser.setField("prep", "10 min");
    Image image = Image::blank(400, 300);
    browser.contextMenuOpened(image, "https://cooking.example.com/p.jpg");
    browser.copyImage();
    EXPECT_FALSE(browser.currentImage());
    ASSERT_TRUE(browser.wellImage());
    EXPECT_EQ(browser.wellImage()->height, 280);

    browser.createPressed();
    ASSERT_EQ(presenter.recipes.size(), 1u);
    const JsonObject& recipe = presenter.recipes[0];
    EXPECT_EQ(text(recipe, "name"), "Pasta");
    EXPECT_EQ(text(recipe, "nutritional_info"), "300 kcal");
    EXPECT_EQ(text(recipe, "prep_time"), "10 min");
    EXPECT_EQ(text(recipe, "cook_time"), "");
    EXPECT_EQ(text(recipe, "source"), "Cooking.example.com");
    EXPECT_EQ(text(recipe, "source_url"), "https://cooking.example.com/pasta");
    EXPECT_EQ(text(recipe, "image_url"), "https://cooking.example.com/p.jpg");
    EXPECT_TRUE(presenter.images[0]);

    browser.recipeEdited();
    EXPECT_EQ(browser.field("name"), "");
    EXPECT_FALSE(browser.wellImage());
    EXPECT_FALSE(browser.currentImageUrl());
}

TEST_F(BrowserControllerTest, AnImageMenuWaitsForTheEnginesPixelsBeforeCopying) {
    browser.loadUrl("https://cooking.example.com/pasta");
    EXPECT_EQ(browser.contextMenuOverImage("https://cooking.example.com/big.png"),
              (std::vector<std::string>{"Copy Image", "Save Image", "Make Text Larger",
                                        "Make Text Smaller"}));
    // Copy before the pixels arrived leaves the well as it was.
    browser.copyImage();
    EXPECT_FALSE(browser.wellImage());

    browser.setCurrentImage(Image::blank(1000, 500));
    browser.copyImage();
    ASSERT_TRUE(browser.wellImage());
    EXPECT_EQ(browser.wellImage()->width, 280);
    EXPECT_EQ(browser.wellImage()->height, 280);
    EXPECT_FALSE(browser.currentImage());

    // A later menu over another image forgets pixels not taken from the earlier one.
    browser.contextMenuOverImage("https://cooking.example.com/other.png");
    browser.setCurrentImage(Image::blank(20, 20));
    browser.contextMenuOverImage("https://cooking.example.com/third.png");
    EXPECT_FALSE(browser.currentImage());
    browser.createPressed();
    ASSERT_EQ(presenter.recipes.size(), 1u);
    EXPECT_EQ(text(presenter.recipes[0], "image_url"), "https://cooking.example.com/third.png");
}

TEST_F(BrowserControllerTest, SaveReadsTheWholeDocumentHereWithoutAService) {
    browser.loadUrl("https://example.com/soup");
    view.markup =
        R"(<html><head><script type="application/ld+json">{"@context":"https://schema.org",)"
        R"("@type":"Recipe","name":"Leek Soup","recipeIngredient":["2 leeks","1 l stock"],)"
        R"("recipeInstructions":"Simmer."}</script></head><body><p>Hello</p></body></html>)";
    browser.savePressed();
    ASSERT_EQ(view.scripts, (std::vector<std::string>{"document.documentElement.outerHTML"}));
    ASSERT_EQ(presenter.recipes.size(), 1u);
    EXPECT_EQ(text(presenter.recipes[0], "name"), "Leek Soup");
    EXPECT_EQ(text(presenter.recipes[0], "source"), "Example.com");
    EXPECT_FALSE(presenter.images[0]);
    EXPECT_FALSE(browser.downloadedRecipe());
    EXPECT_FALSE(presenter.progress);
    EXPECT_EQ(presenter.saveErrors, 0);

    view.markup = "<html><body>No recipe at all</body></html>";
    browser.savePressed();
    EXPECT_EQ(presenter.saveErrors, 1);
    EXPECT_EQ(presenter.recipes.size(), 1u);
}

TEST(PageFetchTest, RefusesEverythingButTheWeb) {
    for (const char* url :
         {"file:///etc/passwd", "ftp://example.com/x", "javascript:1", "example.com"}) {
        auto page = fetchPage(url);
        ASSERT_FALSE(page) << url;
        EXPECT_EQ(page.error().code, static_cast<int>(FetchErrorCode::NotWeb)) << url;
    }
}

}  // namespace
}  // namespace miravel
