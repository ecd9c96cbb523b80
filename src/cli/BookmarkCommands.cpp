#include <charconv>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "browser/BookmarksController.h"
#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "model/Bookmark.h"

namespace miravel::cli {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A row as "bookmark list" numbers them, from 1.
std::optional<std::size_t> rowNumber(const std::string& text, std::size_t count) {
    std::size_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number == 0 || number > count) {
        return std::nullopt;
    }
    return number - 1;
}

// The bookmark editor over the library of one invocation.
struct Editor {
    explicit Editor(Invocation& invocation) : session(invocation) {
        if (session.context() != nullptr) {
            editor.emplace(*session.context());
            if (auto loaded = editor->reload(); !loaded) {
                code = session.databaseError(loaded.error());
            }
        } else {
            code = kExitFailure;
        }
    }
    bool ready() const { return !code; }
    int badRow(Invocation& invocation, const std::string& text) const {
        return invocation.usageError(quoted(text) + " is no bookmark: there are " +
                                     std::to_string(editor->rows().size()) + ".");
    }

    LibrarySession session;
    std::optional<EditBookmarksController> editor;
    std::optional<int> code;
};

int list(Invocation& invocation) {
    Editor bookmarks(invocation);
    if (!bookmarks.ready()) {
        return *bookmarks.code;
    }
    std::size_t number = 1;
    for (const auto& bookmark : bookmarks.editor->rows()) {
        invocation.out << number++ << "\t" << bookmark->title().value_or("") << "\t"
                       << bookmark->url().value_or("") << "\n";
    }
    return kExitOk;
}

int add(Invocation& invocation) {
    LibrarySession session(invocation);
    if (session.context() == nullptr) {
        return kExitFailure;
    }
    AddBookmarkController popover(*session.context(), invocation.arguments[0],
                                  invocation.arguments[1]);
    auto made = popover.savePressed();
    if (!made) {
        return session.databaseError(made.error());
    }
    if (!*made) {
        return invocation.usageError("a bookmark needs a title and an address.");
    }
    invocation.out << "Added " << quoted(popover.title) << ".\n";
    return kExitOk;
}

int edit(Invocation& invocation) {
    const auto title = invocation.option("title");
    const auto url = invocation.option("url");
    if (!title && !url) {
        return invocation.usageError("nothing to change (--title, --url).");
    }
    Editor bookmarks(invocation);
    if (!bookmarks.ready()) {
        return *bookmarks.code;
    }
    auto& editor = *bookmarks.editor;
    const auto row = rowNumber(invocation.arguments[0], editor.rows().size());
    if (!row) {
        return bookmarks.badRow(invocation, invocation.arguments[0]);
    }
    using Column = EditBookmarksController::Column;
    for (const auto& [column, value] :
         {std::pair{Column::Name, title}, std::pair{Column::Url, url}}) {
        if (value) {
            if (auto set = editor.setValue(*row, column, *value); !set) {
                return bookmarks.session.databaseError(set.error());
            }
        }
    }
    invocation.out << "Changed bookmark " << *row + 1 << ".\n";
    return kExitOk;
}

int remove(Invocation& invocation) {
    Editor bookmarks(invocation);
    if (!bookmarks.ready()) {
        return *bookmarks.code;
    }
    auto& editor = *bookmarks.editor;
    std::vector<std::size_t> rows;
    for (const std::string& text : invocation.arguments) {
        const auto row = rowNumber(text, editor.rows().size());
        if (!row) {
            return bookmarks.badRow(invocation, text);
        }
        rows.push_back(*row);
    }
    const std::size_t before = editor.rows().size();
    if (auto deleted = editor.deleteRows(rows); !deleted) {
        return bookmarks.session.databaseError(deleted.error());
    }
    const std::size_t count = before - editor.rows().size();
    invocation.out << "Deleted " << count << (count == 1 ? " bookmark" : " bookmarks")
                   << (bookmarks.session.application().isLoggedIn() ? " (kept for sync)" : "")
                   << ".\n";
    return kExitOk;
}

int move(Invocation& invocation) {
    Editor bookmarks(invocation);
    if (!bookmarks.ready()) {
        return *bookmarks.code;
    }
    auto& editor = *bookmarks.editor;
    const std::size_t count = editor.rows().size();
    const auto from = rowNumber(invocation.arguments[0], count);
    const auto to = rowNumber(invocation.arguments[1], count);
    if (!from) {
        return bookmarks.badRow(invocation, invocation.arguments[0]);
    }
    if (!to) {
        return bookmarks.badRow(invocation, invocation.arguments[1]);
    }
    // The wanted place as the gap a drag would drop into.
    const std::size_t drop = *to <= *from ? *to : *to + 1;
    if (auto moved = editor.moveRow(*from, drop); !moved) {
        return bookmarks.session.databaseError(moved.error());
    }
    invocation.out << "Moved bookmark " << *from + 1 << " to " << *to + 1 << ".\n";
    return kExitOk;
}

}  // namespace

// The bookmark verbs: the browser's bookmark editor on the command line.
void addBookmarkVerbs(CommandLine& commandLine) {
    commandLine.add({"bookmark",
                     "list",
                     "",
                     "List the bookmarks in the menu's order: number (from 1), tab, title, tab, "
                     "address.",
                     {},
                     0,
                     0,
                     list,
                     LibraryAccess::Reads});
    commandLine.add({"bookmark",
                     "add",
                     "TITLE URL",
                     "Add a bookmark; it is listed among the first.",
                     {},
                     2,
                     2,
                     add});
    commandLine.add({"bookmark",
                     "edit",
                     "N",
                     "Change bookmark N's title or address.",
                     {{"title", "TITLE", "the new title"}, {"url", "URL", "the new address"}},
                     1,
                     1,
                     edit});
    commandLine.add({"bookmark",
                     "delete",
                     "N...",
                     "Delete bookmarks (kept as tombstones for sync while signed in).",
                     {},
                     1,
                     std::numeric_limits<std::size_t>::max(),
                     remove});
    commandLine.add({"bookmark",
                     "move",
                     "N TO",
                     "Move bookmark N to position TO; every bookmark is renumbered.",
                     {},
                     2,
                     2,
                     move});
}

}  // namespace miravel::cli
