#include "model/Meal.h"

#include "lib/StringTable.h"
#include "model/Recipe.h"

namespace miravel {

void Meal::setDate(std::optional<Timestamp> value) {
    setValue("date", value ? Value(*value) : Value());
}

std::shared_ptr<Recipe> Meal::recipe() const {
    return std::static_pointer_cast<Recipe>(toOne("recipe"));
}

void Meal::setRecipe(const std::shared_ptr<Recipe>& recipe) {
    setToOne("recipe", recipe);
}

std::string Meal::typeName(std::int64_t type) {
    switch (type) {
        case Breakfast:
            return tr("Breakfast");
        case Lunch:
            return tr("Lunch");
        case Dinner:
            return tr("Dinner");
        case Snacks:
            return tr("Snacks");
        default:
            return "";
    }
}

std::optional<std::string> Meal::mealName() const {
    if (auto planned = recipe()) {
        return planned->name();
    }
    return name();
}

std::optional<JsonObject> Meal::objectDictionary() const {
    auto planned = recipe();
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("type", type());
    dictionary.set("date", dateMember("date"));
    dictionary.set("deleted", deletedMember());
    dictionary.set("order_flag", orderFlag());
    dictionary.set("name", textMember("name"));
    dictionary.set("recipe_uid", planned ? JsonValue(planned->uid()) : JsonValue());
    return dictionary;
}

}  // namespace miravel
