#include "model/GroceryListItem.h"

#include "ingredients/IngredientParser.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "model/Library.h"

namespace miravel {

namespace {

const IngredientParser& ingredientParser(const GroceryListItem& item) {
    const ManagedObjectContext* context = item.managedObjectContext();
    return context != nullptr ? ingredientParserOf(*context) : IngredientParser::sharedParser();
}

}  // namespace

std::string GroceryListItem::recipeTitle() const {
    auto recipe = recipeName();
    return recipe && !recipe->empty() ? *recipe : tr("My Items");
}

std::string GroceryListItem::aisle() const {
    if (auto stored = storedAisle(); stored && !stored->empty()) {
        return *stored;
    }
    std::optional<std::string> ingredient;
    std::string recognized = ingredientParser(*this).getAisle(name().value_or(""), &ingredient);
    storeDefault("aisle", recognized);
    storeDefault("ingredient", ingredient ? Value(*ingredient) : Value());
    storeDefault("status", kStatusModified);
    return recognized;
}

std::string GroceryListItem::localizedAisle() const {
    return LocalizedSettingsManager::sharedManager().localizedAisleForAisle(aisle());
}

void GroceryListItem::setNameAndUpdateAisle(std::string name) {
    std::optional<std::string> ingredient;
    std::string recognized = ingredientParser(*this).getAisle(name, &ingredient);
    setName(std::move(name));
    setAisle(std::move(recognized));
    setIngredient(std::move(ingredient));
}

std::optional<JsonObject> GroceryListItem::objectDictionary() const {
    aisle();  // an item that never had an aisle uploads the one it is shown under
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
