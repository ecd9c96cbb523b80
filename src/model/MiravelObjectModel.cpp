// The entities of the user's library, and the class that represents each.
#include "model/MiravelObjectModel.h"

#include "model/Bookmark.h"
#include "model/GroceryListItem.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"

namespace miravel {

namespace {

template <typename Entity>
std::shared_ptr<ManagedObject> make(const EntityDescription& entity) {
    return std::make_shared<Entity>(entity);
}

std::vector<EntityDescription> libraryEntities() {
    using T = AttributeType;
    std::vector<EntityDescription> entities{
        {"Recipe",
         {{"uid", T::Text},
          {"name", T::Text},
          {"ingredients", T::Text, true},
          {"directions", T::Text},
          {"notes", T::Text},
          {"servings", T::Text},
          {"prepTime", T::Text},
          {"cookTime", T::Text},
          {"difficulty", T::Text},
          {"rating", T::Integer},
          {"source", T::Text},
          {"sourceUrl", T::Text},
          {"imageUrl", T::Text},
          {"nutritionalInfo", T::Text},
          {"onFavorites", T::Boolean},
          {"created", T::Date},
          {"photo", T::Text},
          {"photoHash", T::Text},
          {"hashValue", T::Text},
          {"scale", T::Text},
          {"status", T::Text}},
         {{"categories", "RecipeCategory", "recipes", true, "", "RecipeCategories", "recipe",
           "category", DeleteRule::Nullify},
          {"meals", "Meal", "recipe", true, "", "", "", "", DeleteRule::Nullify}}},
        {"RecipeCategory",
         {{"uid", T::Text}, {"name", T::Text}, {"orderFlag", T::Integer}, {"status", T::Text}},
         {{"recipes", "Recipe", "categories", true, "", "RecipeCategories", "category", "recipe",
           DeleteRule::Nullify}}},
        {"Meal",
         {{"uid", T::Text},
          {"date", T::Date},
          {"type", T::Integer},
          {"name", T::Text},
          {"orderFlag", T::Integer},
          {"status", T::Text}},
         {{"recipe", "Recipe", "meals", false, "recipe", "", "", "", DeleteRule::Nullify}}},
        {"GroceryListItem",
         {{"uid", T::Text},
          {"name", T::Text},
          {"purchased", T::Boolean},
          {"recipeName", T::Text},
          {"aisle", T::Text},
          {"ingredient", T::Text},
          {"orderFlag", T::Integer},
          {"status", T::Text}},
         {}},
        {"Bookmark",
         {{"uid", T::Text},
          {"title", T::Text},
          {"url", T::Text},
          {"orderFlag", T::Integer},
          {"status", T::Text}},
         {}},
    };
    // Which class represents which entity.
    for (auto& entity : entities) {
        if (entity.name == Recipe::kEntityName) {
            entity.makeObject = make<Recipe>;
        } else if (entity.name == RecipeCategory::kEntityName) {
            entity.makeObject = make<RecipeCategory>;
        } else if (entity.name == Meal::kEntityName) {
            entity.makeObject = make<Meal>;
        } else if (entity.name == GroceryListItem::kEntityName) {
            entity.makeObject = make<GroceryListItem>;
        } else if (entity.name == Bookmark::kEntityName) {
            entity.makeObject = make<Bookmark>;
        }
    }
    return entities;
}

}  // namespace

const ManagedObjectModel& miravelObjectModel() {
    static const ManagedObjectModel model("Miravel", 1, libraryEntities());
    return model;
}

const ModelVersions& miravelModelVersions() {
    static const ModelVersions versions{&miravelObjectModel(), {}};
    return versions;
}

}  // namespace miravel
