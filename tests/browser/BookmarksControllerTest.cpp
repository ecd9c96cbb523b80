#include <gtest/gtest.h>

#include "browser/BookmarksController.h"
#include "model/Bookmark.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

class BookmarksControllerTest : public testing::StoreTest {
protected:
    std::shared_ptr<Bookmark> add(const std::string& title, std::int64_t orderFlag) {
        auto bookmark = m_main->insert<Bookmark>();
        bookmark->setTitle(title);
        bookmark->setUrl("https://" + title + ".example/");
        bookmark->setOrderFlag(orderFlag);
        bookmark->setStatus(kStatusUnmodified);
        return bookmark;
    }
    void save() { ASSERT_TRUE(m_main->save()); }
    std::vector<std::string> titles(const EditBookmarksController& editor) {
        std::vector<std::string> result;
        for (const auto& bookmark : editor.rows()) {
            result.push_back(bookmark->title().value_or(""));
        }
        return result;
    }
};

TEST_F(BookmarksControllerTest, TheMenuListsLiveBookmarksByOrderThenTitle) {
    add("beta", 1);
    add("Alpha", 1);
    add("zed", 0);
    add("gone", 0)->setStatus(kStatusDeleted);
    save();
    using Kind = BookmarkMenuItem::Kind;
    auto menu = bookmarksMenu(*m_main, true);
    ASSERT_EQ(menu.size(), 3u + 5u);
    EXPECT_EQ(menu[0].title, "Add Bookmark...");
    EXPECT_EQ(menu[1].title, "Edit Bookmarks...");
    EXPECT_EQ(menu[2].kind, Kind::Separator);
    EXPECT_EQ(menu[3].kind, Kind::SupportedSites);
    EXPECT_EQ(menu[4].kind, Kind::Separator);
    EXPECT_EQ(menu[5].title, "zed");
    EXPECT_EQ(menu[6].title, "Alpha");
    EXPECT_EQ(menu[7].title, "beta");
    EXPECT_EQ(menu[7].url, "https://beta.example/");

    auto plain = bookmarksMenu(*m_main, false);
    ASSERT_EQ(plain.size(), 3u + 3u);
    EXPECT_EQ(plain[3].title, "zed");
}

TEST_F(BookmarksControllerTest, AddingNeedsANameAndAnAddress) {
    AddBookmarkController popover(*m_main, "", "https://example.com/");
    auto none = popover.savePressed();
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, nullptr);
    popover.title = "Soups";
    auto made = popover.savePressed();
    ASSERT_TRUE(made && *made);
    EXPECT_EQ((*made)->status(), kStatusModified);
    EXPECT_EQ((*made)->orderFlag(), 0);
    EXPECT_EQ(all<Bookmark>(*freshContext()).size(), 1u);
}

TEST_F(BookmarksControllerTest, NewBookmarksFollowTheLargestFlagEvenOfATombstone) {
    add("a", 3);
    add("b", 7)->setStatus(kStatusDeleted);
    save();
    EditBookmarksController editor(*m_main);
    ASSERT_TRUE(editor.reload());
    auto row = editor.newBookmark();
    ASSERT_TRUE(row);
    EXPECT_EQ(editor.rows()[*row]->orderFlag(), 8);
    EXPECT_EQ(editor.rows()[*row]->title(), kNewBookmarkTitle);
    ASSERT_TRUE(
        editor.setValue(*row, EditBookmarksController::Column::Url, "https://new.example/"));
    EXPECT_EQ(editor.rows()[*row]->url(), "https://new.example/");
    EXPECT_EQ(editor.rows()[*row]->title(), kNewBookmarkTitle);
}

TEST_F(BookmarksControllerTest, DraggingRenumbersEveryRow) {
    add("one", 0);
    add("two", 5);
    add("three", 9);
    save();
    EditBookmarksController editor(*m_main);
    ASSERT_TRUE(editor.reload());
    ASSERT_TRUE(editor.moveRow(0, 3));
    EXPECT_EQ(titles(editor), (std::vector<std::string>{"two", "three", "one"}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(editor.rows()[i]->orderFlag(), static_cast<std::int64_t>(i));
        EXPECT_EQ(editor.rows()[i]->status(), kStatusModified);
    }
    ASSERT_TRUE(editor.moveRow(2, 0));
    EXPECT_EQ(titles(editor), (std::vector<std::string>{"one", "two", "three"}));
    ASSERT_TRUE(editor.reload());
    EXPECT_EQ(titles(editor), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(BookmarksControllerTest, DeletingKeepsTombstonesOnlyWhileSignedIn) {
    EXPECT_FALSE(EditBookmarksController::deleteQuestion(0));
    EXPECT_EQ(EditBookmarksController::deleteQuestion(1), kDeleteOneBookmarkText);
    EXPECT_EQ(EditBookmarksController::deleteQuestion(2), kDeleteBookmarksText);

    add("a", 0);
    add("b", 1);
    add("c", 2);
    save();
    EditBookmarksController editor(*m_main);
    ASSERT_TRUE(editor.reload());
    ASSERT_TRUE(editor.deleteRows({0, 1}));
    EXPECT_EQ(titles(editor), (std::vector<std::string>{"c"}));
    EXPECT_EQ(all<Bookmark>(*freshContext()).size(), 1u);

    add("d", 3);
    save();
    setLoggedIn(true);
    ASSERT_TRUE(editor.reload());
    ASSERT_TRUE(editor.deleteRows({0, 1}));
    EXPECT_TRUE(editor.rows().empty());
    auto stored = all<Bookmark>(*freshContext());
    ASSERT_EQ(stored.size(), 2u);
    for (const auto& bookmark : stored) {
        EXPECT_EQ(bookmark->status(), kStatusDeleted);
    }
}

}  // namespace
}  // namespace miravel
