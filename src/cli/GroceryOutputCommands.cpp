// The grocery verbs that act on the list as a whole: clear, remove-recipe, print, mail.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "cli/GroceryPane.h"
#include "cli/Handoffs.h"
#include "rendering/MailHandoff.h"
#include "rendering/PaneOutput.h"

namespace miravel::cli {

namespace {

int clear(Invocation& invocation) {
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    pane.ui.clearChoice =
        invocation.has("purchased") ? ClearChoice::ClearPurchased : ClearChoice::ClearAllItems;
    if (auto cleared = pane.list->clearGroceryList(); !cleared) {
        return pane.session.databaseError(cleared.error());
    }
    invocation.out << (invocation.has("purchased") ? "Cleared the purchased items."
                                                   : "Cleared the grocery list.")
                   << "\n";
    return kExitOk;
}

int removeRecipe(Invocation& invocation) {
    const std::string& name = invocation.arguments[0];
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    auto row = pane.sidebar->rowForEntry(GroceryListChoice::recipe(name));
    if (!row) {
        return invocation.failure("no grocery items come from a recipe named " + inQuotes(name) +
                                  ".");
    }
    if (auto removed = pane.sidebar->deleteRecipe(*row); !removed) {
        return pane.session.databaseError(removed.error());
    }
    MainQueue::shared().processPending();
    invocation.out << "Removed " << inQuotes(name) << " from the grocery list.\n";
    return kExitOk;
}

int print(Invocation& invocation) {
    std::optional<std::filesystem::path> file;
    if (int code = kExitOk; !outputFileOption(invocation, file, code)) {
        return code;
    }
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    CommandLinePrintHandoff printer(file, invocation.out);
    printGroceryList(*pane.list, printer);
    if (!printer.result()) {
        return invocation.failure(printer.result().error().description);
    }
    return kExitOk;
}

int mail(Invocation& invocation) {
    Pane pane(invocation);
    int code = kExitOk;
    if (!pane.open(invocation, code)) {
        return code;
    }
    std::shared_ptr<UrlOpener> opener = mailUrlOpener(invocation);
    MailHandoff handoff(opener, pane.session.application().settings());
    if (!emailGroceryList(*pane.list, handoff)) {
        return invocation.failure("could not open the mail program (xdg-open failed).");
    }
    return kExitOk;
}

}  // namespace

void addGroceryOutputVerbs(CommandLine& commandLine) {
    commandLine.add({"grocery",
                     "clear",
                     "",
                     "Delete every item of the list, of every recipe, or (--purchased) every "
                     "purchased one.",
                     {{"purchased", "", "only the purchased items"}},
                     0,
                     0,
                     clear});
    commandLine.add({"grocery",
                     "remove-recipe",
                     "NAME",
                     "Delete every grocery item that came from a recipe.",
                     {},
                     1,
                     1,
                     removeRecipe});
    commandLine.add({"grocery", "print", "",
                     "Write the printed grocery list (HTML) to standard output or a file.",
                     withViewOptions({{"output", "FILE", "write the page to FILE"}}), 0, 0, print,
                     LibraryAccess::Reads});
    commandLine.add({"grocery", "mail", "",
                     "Print the mailto: address that e-mails the grocery list.",
                     withViewOptions({{"open", "",
                                       "open the address in the mail program "
                                       "(xdg-open)"}}),
                     0, 0, mail, LibraryAccess::Reads});
}

}  // namespace miravel::cli
