#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "lib/MainQueue.h"

int main(int argc, char** argv) {
    using namespace miravel;
    MainQueue::shared().adoptCurrentThreadAsMain();
    cli::CommandLine commandLine(std::cout, std::cerr);
    cli::addInfoVerbs(commandLine);
    cli::addSettingsVerbs(commandLine);
    cli::addRecipeVerbs(commandLine);
    cli::addRecipeEditVerbs(commandLine);
    cli::addClipVerb(commandLine);
    cli::addBookmarkVerbs(commandLine);
    cli::addRecipeListVerbs(commandLine);
    cli::addCategoryVerbs(commandLine);
    cli::addScaleVerbs(commandLine);
    cli::addIngredientVerbs(commandLine);
    cli::addPlanVerbs(commandLine);
    cli::addPlanEditVerbs(commandLine);
    cli::addGroceryVerbs(commandLine);
    cli::addImportVerbs(commandLine);
    cli::addRepairVerbs(commandLine);
    cli::addBackupVerbs(commandLine);
    cli::addTrashVerbs(commandLine);
    cli::addSyncVerbs(commandLine);
    // The verbs report failures as values; anything that still escapes (a library throwing
    // where it should not, memory running out) ends the program with a message and the
    // failure status rather than an abort and a core file.
    try {
        return commandLine.run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& exception) {
        std::cerr << "miravel: " << exception.what() << "\n";
    } catch (...) {
        std::cerr << "miravel: an unexpected failure ended the command.\n";
    }
    return cli::kExitFailure;
}
