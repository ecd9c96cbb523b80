#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/DateText.h"
#include "library/RecipeTrash.h"

namespace miravel::cli {

namespace {

// Opens the library and runs `use` on its trash.
int withTrash(Invocation& invocation,
              const std::function<int(LibrarySession&, RecipeTrash&)>& use) {
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    RecipeTrash trash(*context);
    return use(session, trash);
}

int list(Invocation& invocation) {
    return withTrash(invocation, [&](LibrarySession&, RecipeTrash& trash) -> int {
        auto entries = trash.entries();
        if (!entries) {
            return invocation.failure(entries.error().description);
        }
        const auto now = currentMoment();
        for (const auto& entry : *entries) {
            const auto left =
                std::chrono::ceil<std::chrono::days>(entry.trashed + RecipeTrash::kKeepFor - now);
            invocation.out << entry.uid << '\t' << entry.name << "\tdeleted "
                           << formatDateText(entry.trashed).substr(0, 10) << ", kept "
                           << left.count() << (left.count() == 1 ? " more day" : " more days")
                           << '\n';
        }
        if (entries->empty()) {
            invocation.out << "The trash is empty.\n";
        }
        return kExitOk;
    });
}

int restore(Invocation& invocation) {
    const std::string& nameOrUid = invocation.arguments[0];
    return withTrash(invocation, [&](LibrarySession& session, RecipeTrash& trash) -> int {
        auto found = trash.find(nameOrUid);
        if (!found) {
            return invocation.failure(found.error().description);
        }
        if (found->empty()) {
            return invocation.failure("no recipe \"" + nameOrUid + "\" in the trash.");
        }
        if (found->size() > 1) {
            return invocation.failure("the trash holds " + std::to_string(found->size()) +
                                      " recipes named \"" + nameOrUid +
                                      "\"; name one by its uid (miravel trash list).");
        }
        const TrashedRecipe& entry = found->front();
        auto restored = trash.restore(entry);
        if (!restored) {
            if (restored.error().domain != kTrashErrorDomain) {
                return session.databaseError(restored.error());
            }
            return invocation.failure(restored.error().description);
        }
        const std::string uid = (*restored)->uid();
        invocation.out << "Restored \"" << entry.name << "\" (" << uid
                       << (uid == entry.uid ? "" : ", a new uid: its own is taken") << ").\n";
        return kExitOk;
    });
}

std::string recipeCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " recipe" : " recipes");
}

int empty(Invocation& invocation) {
    return withTrash(invocation, [&](LibrarySession&, RecipeTrash& trash) -> int {
        auto entries = trash.entries();
        if (!entries) {
            return invocation.failure(entries.error().description);
        }
        if (entries->empty()) {
            invocation.out << "The trash is empty.\n";
            return kExitOk;
        }
        const std::string question =
            "Remove the " + std::to_string(entries->size()) + " recipes in the trash for good?";
        if (auto answer = confirm(invocation, question); answer != Confirmation::Yes) {
            return answer == Confirmation::Refused ? kExitUsage : kExitFailure;
        }
        auto removed = trash.empty();
        if (!removed) {
            return invocation.failure(removed.error().description);
        }
        invocation.out << "Removed " << recipeCount(*removed) << " from the trash.\n";
        return kExitOk;
    });
}

}  // namespace

void addTrashVerbs(CommandLine& commandLine) {
    commandLine.add({"trash",
                     "list",
                     "",
                     "List the deleted recipes kept in the trash (uid, name, when deleted), "
                     "newest first. Each is kept 30 days.",
                     {},
                     0,
                     0,
                     list,
                     LibraryAccess::Reads});
    commandLine.add({"trash",
                     "restore",
                     "NAME|UID",
                     "Bring a deleted recipe back into the library, with its photo and "
                     "categories (not its meals).",
                     {},
                     1,
                     1,
                     restore});
    commandLine.add({"trash",
                     "empty",
                     "",
                     "Remove every recipe in the trash for good, after asking.",
                     {kYesOption},
                     0,
                     0,
                     empty});
}

}  // namespace miravel::cli
