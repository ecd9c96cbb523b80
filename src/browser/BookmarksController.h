#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"

namespace miravel {

class Bookmark;
class ManagedObjectContext;

inline constexpr const char* kNewBookmarkTitle = "New Bookmark";
inline constexpr const char* kNewBookmarkUrl = "https://www.example.com/recipes";
inline constexpr const char* kDeleteOneBookmarkText =
    "Are you sure you want to delete this bookmark?";
inline constexpr const char* kDeleteBookmarksText =
    "Are you sure you want to delete these bookmarks?";

// The live bookmarks in the menu's order: order flag, then title ignoring case.
[[nodiscard]] Result<std::vector<std::shared_ptr<Bookmark>>> listedBookmarks(
    ManagedObjectContext& context);
// The largest order flag over every bookmark, tombstones included, so a new one never shares
// a flag with one still waiting to be uploaded as deleted; 0 when there are none.
std::int64_t lastBookmarkOrderFlag(ManagedObjectContext& context);

// One item of the bookmarks menu.
struct BookmarkMenuItem {
    enum class Kind { AddBookmark, EditBookmarks, Separator, SupportedSites, Bookmark };
    Kind kind;
    std::string title;
    std::string url;  // a bookmark's address
};
// Rebuilt each time the menu opens. "Supported Sites" lists the parse service's sites, so it
// is left out when no service is configured.
std::vector<BookmarkMenuItem> bookmarksMenu(ManagedObjectContext& context, bool serviceConfigured);
std::string supportedSitesUrl(const std::string& serviceBaseUrl);

// The "Add Bookmark" popover, opened with the page's title and address.
class AddBookmarkController {
public:
    AddBookmarkController(ManagedObjectContext& context, std::string title, std::string url)
        : m_context(context), title(std::move(title)), url(std::move(url)) {}

    // "Done": the new bookmark, or nothing (and the popover stays open) while a field is empty.
    [[nodiscard]] Result<std::shared_ptr<Bookmark>> savePressed();

private:
    ManagedObjectContext& m_context;

public:
    std::string title;
    std::string url;
};

// The "Bookmarks" window: its rows are the listed bookmarks.
class EditBookmarksController {
public:
    explicit EditBookmarksController(ManagedObjectContext& context) : m_context(context) {}

    [[nodiscard]] Result<void> reload();
    const std::vector<std::shared_ptr<Bookmark>>& rows() const { return m_rows; }

    // The new row, selected, its name about to be edited.
    [[nodiscard]] Result<std::size_t> newBookmark();
    enum class Column { Name, Url };
    [[nodiscard]] Result<void> setValue(std::size_t row, Column column, std::string value);

    // The confirmation to ask before deleting these rows; nothing for an empty selection.
    static std::optional<std::string> deleteQuestion(std::size_t rowCount);
    // After "Delete": tombstones while signed in, removal otherwise; saved after each.
    [[nodiscard]] Result<void> deleteRows(std::vector<std::size_t> rows);

    // A drop between rows: `dropRow` is the gap before that row (rows().size() is the end).
    [[nodiscard]] Result<void> moveRow(std::size_t from, std::size_t dropRow);

private:
    ManagedObjectContext& m_context;
    std::vector<std::shared_ptr<Bookmark>> m_rows;
};

}  // namespace miravel
