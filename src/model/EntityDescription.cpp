#include "model/EntityDescription.h"

#include <algorithm>

namespace miravel {

int EntityDescription::attributeIndex(std::string_view attribute) const {
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].name == attribute) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const AttributeDescription* EntityDescription::attribute(std::string_view name) const {
    int index = attributeIndex(name);
    return index < 0 ? nullptr : &attributes[static_cast<std::size_t>(index)];
}

const RelationshipDescription* EntityDescription::relationship(std::string_view name) const {
    auto it = std::find_if(relationships.begin(), relationships.end(),
                           [&](const RelationshipDescription& r) { return r.name == name; });
    return it == relationships.end() ? nullptr : &*it;
}

ManagedObjectModel::ManagedObjectModel(std::string name, int version,
                                       std::vector<EntityDescription> entities)
    : m_name(std::move(name)), m_version(version), m_entities(std::move(entities)) {}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const {
    auto it = std::find_if(m_entities.begin(), m_entities.end(),
                           [&](const EntityDescription& e) { return e.name == name; });
    return it == m_entities.end() ? nullptr : &*it;
}

const RelationshipDescription* ManagedObjectModel::inverseOf(
    const EntityDescription&, const RelationshipDescription& relationship) const {
    const EntityDescription* destination = entity(relationship.destination);
    return destination == nullptr ? nullptr : destination->relationship(relationship.inverse);
}

const ManagedObjectModel& ManagedObjectModel::miravel() {
    using T = AttributeType;
    static const ManagedObjectModel model(
        "Miravel", 1,
        {
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
             {{"recipes", "Recipe", "categories", true, "", "RecipeCategories", "category",
               "recipe", DeleteRule::Nullify}}},
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
        });
    return model;
}

}  // namespace miravel
