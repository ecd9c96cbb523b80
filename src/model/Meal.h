#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/SyncedObject.h"

namespace miravel {

class Recipe;

// One entry of the meal planner: a recipe or a free-text name, on a day, for a meal type.
class Meal : public SyncedObject {
public:
    static constexpr const char* kEntityName = "Meal";
    using SyncedObject::SyncedObject;

    enum Type : int { Breakfast = 0, Lunch = 1, Dinner = 2, Snacks = 3 };

    using SyncedObject::date;
    std::optional<Timestamp> date() const { return date("date"); }
    void setDate(std::optional<Timestamp> value);
    std::int64_t type() const { return integer("type").value_or(0); }
    void setType(std::int64_t value) { setValue("type", value); }
    std::optional<std::string> name() const { return text("name"); }
    void setName(std::optional<std::string> value) { setText("name", std::move(value)); }
    std::shared_ptr<Recipe> recipe() const;
    void setRecipe(const std::shared_ptr<Recipe>& recipe);

    // "Breakfast", "Lunch", "Dinner", "Snacks" in the user's language; "" for other numbers.
    static std::string typeName(std::int64_t type);
    std::string typeString() const { return typeName(type()); }
    // The recipe's name when there is a recipe, else the meal's own name.
    std::optional<std::string> mealName() const;

    std::optional<JsonObject> objectDictionary() const override;
};

}  // namespace miravel
