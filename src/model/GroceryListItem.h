#pragma once

#include <optional>
#include <string>

#include "model/SyncedObject.h"

namespace miravel {

// One line of the grocery list.
class GroceryListItem : public SyncedObject {
public:
    static constexpr const char* kEntityName = "GroceryListItem";
    using SyncedObject::SyncedObject;

    std::optional<std::string> name() const { return text("name"); }
    void setName(std::optional<std::string> value) { setText("name", std::move(value)); }
    std::optional<bool> purchased() const { return boolean("purchased"); }
    void setPurchased(std::optional<bool> value) {
        setValue("purchased", value ? Value(*value) : Value());
    }
    std::optional<std::string> recipeName() const { return text("recipeName"); }
    void setRecipeName(std::optional<std::string> value) {
        setText("recipeName", std::move(value));
    }
    std::optional<std::string> storedAisle() const { return text("aisle"); }
    // The aisle the item is bought in. An item without one (typed by hand on another device,
    // or from an older store) gets it, and its ingredient, from the ingredient parser; both
    // are stored and the item marked modified, so the next sync uploads them, but observers
    // are not told: nothing the user sees has changed.
    std::string aisle() const;
    std::string localizedAisle() const;
    // Sets the name, and the aisle and ingredient recognised from it.
    void setNameAndUpdateAisle(std::string name);
    void setAisle(std::optional<std::string> value) { setText("aisle", std::move(value)); }
    std::optional<std::string> ingredient() const { return text("ingredient"); }
    void setIngredient(std::optional<std::string> value) {
        setText("ingredient", std::move(value));
    }

    // The recipe the item came from, or "My Items" for the user's own.
    std::string recipeTitle() const;

    std::optional<JsonObject> objectDictionary() const override;
};

}  // namespace miravel
