// Which class represents which entity of the library.
#include "model/Bookmark.h"
#include "model/GroceryListItem.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"

namespace miravel {

std::shared_ptr<ManagedObject> instantiateObject(const EntityDescription& entity) {
    const std::string& name = entity.name;
    if (name == Recipe::kEntityName) {
        return std::make_shared<Recipe>(entity);
    }
    if (name == RecipeCategory::kEntityName) {
        return std::make_shared<RecipeCategory>(entity);
    }
    if (name == Meal::kEntityName) {
        return std::make_shared<Meal>(entity);
    }
    if (name == GroceryListItem::kEntityName) {
        return std::make_shared<GroceryListItem>(entity);
    }
    if (name == Bookmark::kEntityName) {
        return std::make_shared<Bookmark>(entity);
    }
    return std::make_shared<ManagedObject>(entity);
}

}  // namespace miravel
