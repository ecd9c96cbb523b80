#include "cli/CommandLine.h"

namespace miravel::cli {

// The category verbs: list, add, rename, delete, move, file.
void addCategoryVerbs(CommandLine& commandLine) {
    (void)commandLine;
}

}  // namespace miravel::cli
