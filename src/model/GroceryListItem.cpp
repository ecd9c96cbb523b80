#include "model/GroceryListItem.h"

#include "lib/StringTable.h"

namespace miravel {

std::string GroceryListItem::recipeTitle() const {
    auto recipe = recipeName();
    return recipe && !recipe->empty() ? *recipe : tr("My Items");
}

std::optional<JsonObject> GroceryListItem::objectDictionary() const {
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("name", textMember("name"));
    dictionary.set("purchased", booleanMember("purchased"));
    dictionary.set("order_flag", integerMember("orderFlag"));
    dictionary.set("recipe", textMember("recipeName"));
    dictionary.set("aisle", textMember("aisle"));
    dictionary.set("ingredient", textMember("ingredient"));
    dictionary.set("deleted", deletedMember());
    return dictionary;
}

}  // namespace miravel
