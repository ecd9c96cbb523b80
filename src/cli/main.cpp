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
    cli::addRecipeListVerbs(commandLine);
    cli::addCategoryVerbs(commandLine);
    cli::addScaleVerbs(commandLine);
    cli::addIngredientVerbs(commandLine);
    cli::addPlanVerbs(commandLine);
    cli::addPlanEditVerbs(commandLine);
    cli::addGroceryVerbs(commandLine);
    cli::addRepairVerbs(commandLine);
    return commandLine.run(std::vector<std::string>(argv + 1, argv + argc));
}
