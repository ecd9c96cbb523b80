#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"

#include "model/SyncedObject.h"

namespace miravel {

class ManagedObjectContext;
class Recipe;

inline constexpr const char* kCategoryErrorDomain = "miravel.category";

// A category the user files recipes in.
class RecipeCategory : public SyncedObject {
public:
    static constexpr const char* kEntityName = "RecipeCategory";
    using SyncedObject::SyncedObject;

    std::optional<std::string> name() const { return text("name"); }
    void setName(std::optional<std::string> value) { setText("name", std::move(value)); }
    std::vector<std::shared_ptr<Recipe>> recipes() const;

    std::optional<JsonObject> objectDictionary() const override;
    // Removed while signed out (no tombstone is kept): its recipes' category lists change, so
    // they become modified with new hashes and the next sync sends them.
    void prepareForDeletion() override;

    // Why `name` cannot name a category, or the name without white space at its ends. A name
    // is refused when it is blank or when another live category (not `renamed`) has it, apart
    // from case: two rows reading "Desserts" and "desserts" cannot be told apart by a person
    // picking one, nor by an import filing recipes by name.
    [[nodiscard]] static Result<std::string> checkedName(ManagedObjectContext& context,
                                                         std::string_view name,
                                                         const RecipeCategory* renamed = nullptr);
    // The live category of that name, the exact spelling first, else one apart from case.
    static std::shared_ptr<RecipeCategory> named(ManagedObjectContext& context,
                                                 std::string_view name);
    // A new category at the end of the user's order, unsaved; refused as checkedName refuses.
    [[nodiscard]] static Result<std::shared_ptr<RecipeCategory>> insertNamed(
        ManagedObjectContext& context, std::string_view name);

    // The categories as one line: "Uncategorized" for none, otherwise the names joined with
    // ", ", by name then position when alphabetizing, by position then name otherwise.
    static std::string categoriesToString(
        const std::vector<std::shared_ptr<RecipeCategory>>& categories, bool alphabetize);
};

}  // namespace miravel
