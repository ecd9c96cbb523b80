#include "cli/RecipeLookup.h"

#include <string>

#include "lib/TextPieces.h"

namespace miravel::cli {

Result<std::vector<std::shared_ptr<Recipe>>> findRecipes(ManagedObjectContext& context,
                                                         const std::string& nameOrUid) {
    auto exact = context.fetch<Recipe>(
        livePredicateAnd("uid == %@ OR name == %@", {Value(nameOrUid), Value(nameOrUid)}),
        {SortDescriptor{"uid"}});
    if (!exact || !exact->empty()) {
        return exact;
    }
    const std::string trimmed(trimCharacters(nameOrUid, kNameSpace));
    return context.fetch<Recipe>(livePredicateAnd("name ==[cd] %@", {Value(trimmed)}),
                                 {SortDescriptor{"uid"}});
}

int ambiguousName(Invocation& invocation, const std::string& what, const std::string& nameOrUid,
                  const std::vector<NamedCandidate>& candidates) {
    std::string list;
    for (const auto& candidate : candidates) {
        list += "\n  " + candidate.uid + "  " + escapedField(candidate.name);
    }
    return invocation.failure("several " + what + " match \"" + nameOrUid +
                              "\"; name one by its uid:" + list);
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
        std::vector<NamedCandidate> candidates;
        for (const auto& recipe : *found) {
            candidates.push_back({recipe->uid(), recipe->name().value_or("")});
        }
        code = ambiguousName(invocation, "recipes", nameOrUid, candidates);
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
