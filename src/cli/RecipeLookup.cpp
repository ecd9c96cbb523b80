#include "cli/RecipeLookup.h"

#include <string>

namespace miravel::cli {

Result<std::vector<std::shared_ptr<Recipe>>> findRecipes(ManagedObjectContext& context,
                                                         const std::string& nameOrUid) {
    return context.fetch<Recipe>(
        livePredicateAnd("uid == %@ OR name == %@", {Value(nameOrUid), Value(nameOrUid)}),
        {SortDescriptor{"uid"}});
}

std::shared_ptr<Recipe> oneRecipe(Invocation& invocation, ManagedObjectContext& context,
                                  const std::string& nameOrUid, int& code) {
    auto found = findRecipes(context, nameOrUid);
    if (!found) {
        code = invocation.failure(found.error().description);
        return nullptr;
    }
    if (found->empty()) {
        code = invocation.failure("no recipe named \"" + nameOrUid + "\".");
        return nullptr;
    }
    if (found->size() > 1) {
        std::string uids;
        for (const auto& recipe : *found) {
            uids += "\n  " + recipe->uid();
        }
        code = invocation.failure("several recipes are named \"" + nameOrUid +
                                  "\"; name one by its uid:" + uids);
        return nullptr;
    }
    return found->front();
}

int withNamedRecipe(Invocation& invocation,
                    const std::function<int(LibrarySession&, ManagedObjectContext&,
                                            const std::shared_ptr<Recipe>&)>& use) {
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    int code = kExitOk;
    auto recipe = oneRecipe(invocation, *context, invocation.arguments[0], code);
    if (!recipe) {
        return code;
    }
    return use(session, *context, recipe);
}

}  // namespace miravel::cli
