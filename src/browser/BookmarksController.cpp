#include "browser/BookmarksController.h"

#include <algorithm>

#include "lib/Log.h"
#include "model/Bookmark.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

Result<std::vector<std::shared_ptr<Bookmark>>> listedBookmarks(ManagedObjectContext& context) {
    return context.fetch<Bookmark>(
        livePredicate(),
        {SortDescriptor("orderFlag"),
         SortDescriptor("title", true, SortDescriptor::Comparison::LocalizedCaseInsensitive)});
}

std::int64_t lastBookmarkOrderFlag(ManagedObjectContext& context) {
    auto maximum = context.maximum(Bookmark::kEntityName, "orderFlag", std::nullopt);
    if (!maximum) {
        logLine("Error getting last order flag count: {}", maximum.error().description);
        return 0;
    }
    return maximum->isInteger() ? maximum->asInteger() : 0;
}

std::string supportedSitesUrl(const std::string& serviceBaseUrl) {
    std::string base = serviceBaseUrl;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + "/sites/";
}

std::vector<BookmarkMenuItem> bookmarksMenu(ManagedObjectContext& context, bool serviceConfigured) {
    using Kind = BookmarkMenuItem::Kind;
    std::vector<BookmarkMenuItem> items{{Kind::AddBookmark, "Add Bookmark...", {}},
                                        {Kind::EditBookmarks, "Edit Bookmarks...", {}},
                                        {Kind::Separator, {}, {}}};
    if (serviceConfigured) {
        items.push_back({Kind::SupportedSites, "Supported Sites", {}});
        items.push_back({Kind::Separator, {}, {}});
    }
    if (auto bookmarks = listedBookmarks(context)) {
        for (const auto& bookmark : *bookmarks) {
            items.push_back(
                {Kind::Bookmark, bookmark->title().value_or(""), bookmark->url().value_or("")});
        }
    }
    return items;
}

Result<std::shared_ptr<Bookmark>> AddBookmarkController::savePressed() {
    if (title.empty() || url.empty()) {
        return std::shared_ptr<Bookmark>();
    }
    auto bookmark = m_context.insert<Bookmark>();
    bookmark->setTitle(title);
    bookmark->setUrl(url);
    bookmark->setStatus(kStatusModified);
    if (auto saved = m_context.save(); !saved) {
        return std::unexpected(saved.error());
    }
    return bookmark;
}

Result<void> EditBookmarksController::reload() {
    auto rows = listedBookmarks(m_context);
    if (!rows) {
        return std::unexpected(rows.error());
    }
    m_rows = std::move(*rows);
    return {};
}

Result<std::size_t> EditBookmarksController::newBookmark() {
    auto bookmark = m_context.insert<Bookmark>();
    bookmark->setTitle(std::string(kNewBookmarkTitle));
    bookmark->setUrl(std::string(kNewBookmarkUrl));
    bookmark->setOrderFlag(lastBookmarkOrderFlag(m_context) + 1);
    bookmark->setStatus(kStatusModified);
    if (auto saved = m_context.save(); !saved) {
        return std::unexpected(saved.error());
    }
    if (auto reloaded = reload(); !reloaded) {
        return std::unexpected(reloaded.error());
    }
    const auto found = std::ranges::find(m_rows, bookmark);
    return static_cast<std::size_t>(found - m_rows.begin());
}

Result<void> EditBookmarksController::setValue(std::size_t row, Column column, std::string value) {
    if (row >= m_rows.size()) {
        return {};
    }
    const auto& bookmark = m_rows[row];
    if (column == Column::Url) {
        bookmark->setUrl(std::move(value));
    } else {
        bookmark->setTitle(std::move(value));
    }
    bookmark->setStatus(kStatusModified);
    return m_context.save();
}

std::optional<std::string> EditBookmarksController::deleteQuestion(std::size_t rowCount) {
    if (rowCount == 0) {
        return std::nullopt;
    }
    return rowCount == 1 ? kDeleteOneBookmarkText : kDeleteBookmarksText;
}

Result<void> EditBookmarksController::deleteRows(std::vector<std::size_t> rows) {
    std::vector<std::shared_ptr<Bookmark>> chosen;
    for (std::size_t row : rows) {
        if (row < m_rows.size() && std::ranges::find(chosen, m_rows[row]) == chosen.end()) {
            chosen.push_back(m_rows[row]);
        }
    }
    for (const auto& bookmark : chosen) {
        SyncedObject::deleteObjects(m_context, {bookmark});
        if (auto saved = m_context.save(); !saved) {
            return saved;
        }
    }
    return reload();
}

Result<void> EditBookmarksController::moveRow(std::size_t from, std::size_t dropRow) {
    if (from >= m_rows.size()) {
        return {};
    }
    std::vector<std::shared_ptr<Bookmark>> order = m_rows;
    auto dragged = order[from];
    order.erase(order.begin() + static_cast<std::ptrdiff_t>(from));
    std::size_t target = from < dropRow ? dropRow - 1 : dropRow;
    target = std::min(target, order.size());
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(target), dragged);
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i]->setOrderFlag(static_cast<std::int64_t>(i));
        order[i]->setStatus(kStatusModified);
    }
    if (auto saved = m_context.save(); !saved) {
        return saved;
    }
    m_rows = std::move(order);
    return {};
}

}  // namespace miravel
