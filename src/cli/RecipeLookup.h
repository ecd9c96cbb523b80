#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "model/Recipe.h"

namespace miravel::cli {

// Recipes named by uid or by exact name, tombstones left out; when there are none, those whose
// name matches apart from case and accents ("creme brulee" finds "Crème brûlée").
[[nodiscard]] Result<std::vector<std::shared_ptr<Recipe>>> findRecipes(
    ManagedObjectContext& context, const std::string& nameOrUid);

// One of several objects a name matched, for the user to choose from by uid.
struct NamedCandidate {
    std::string uid;
    std::string name;
};
// Reports that `nameOrUid` matches several of `what` ("recipes"), listing each candidate's
// uid and name; returns kExitFailure.
int ambiguousName(Invocation& invocation, const std::string& what, const std::string& nameOrUid,
                  const std::vector<NamedCandidate>& candidates);

// Exactly one recipe, or the reason why not (exit code set in `code`).
std::shared_ptr<Recipe> oneRecipe(Invocation& invocation, ManagedObjectContext& context,
                                  const std::string& nameOrUid, int& code);

// Opens the library and runs `use` on the one recipe the first argument names (by uid or
// exact name); reports why not when there is none or several.
// The recipe as `recipe show` prints it, at `factor` when one is given.
void printRecipe(std::ostream& out, const Recipe& recipe, bool alphabetizeCategories,
                 const std::optional<RCRationalNumber>& factor);

int withNamedRecipe(Invocation& invocation,
                    const std::function<int(LibrarySession&, ManagedObjectContext&,
                                            const std::shared_ptr<Recipe>&)>& use);

}  // namespace miravel::cli
