#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/SyncedObject.h"

namespace miravel {

class Recipe;

// A category the user files recipes in.
class RecipeCategory : public SyncedObject {
public:
    static constexpr const char* kEntityName = "RecipeCategory";
    using SyncedObject::SyncedObject;

    std::optional<std::string> name() const { return text("name"); }
    void setName(std::optional<std::string> value) { setText("name", std::move(value)); }
    std::vector<std::shared_ptr<Recipe>> recipes() const;

    std::optional<JsonObject> objectDictionary() const override;

    // The categories as one line: "Uncategorized" for none, otherwise the names joined with
    // ", ", by name then position when alphabetizing, by position then name otherwise.
    static std::string categoriesToString(
        const std::vector<std::shared_ptr<RecipeCategory>>& categories, bool alphabetize);
};

}  // namespace miravel
