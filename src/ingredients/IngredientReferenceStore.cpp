#include "ingredients/IngredientReferenceStore.h"

#include <algorithm>
#include <utility>

#include "store/EntityDescription.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

namespace {

std::optional<std::string> optionalText(const Value& value) {
    if (value.isText()) {
        return value.asText();
    }
    return std::nullopt;
}

std::string text(const Value& value) {
    return value.isText() ? value.asText() : std::string();
}

}  // namespace

const ManagedObjectModel& IngredientReferenceStore::model() {
    using T = AttributeType;
    static const ManagedObjectModel model(
        "Ingredients", 1,
        {{"Ingredient", {{"name", T::Text}, {"pluralized", T::Text}, {"aisle", T::Text}}, {}},
         {"Unit", {{"name", T::Text}, {"pluralized", T::Text}, {"canonical", T::Text}}, {}}});
    return model;
}

Result<std::shared_ptr<const IngredientReferenceStore>> IngredientReferenceStore::open(
    const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "The ingredient reference store is missing", file.string());
    }
    auto coordinator = PersistentStoreCoordinator::open(file, model(), {.readOnly = true});
    if (!coordinator) {
        return std::unexpected(std::move(coordinator.error()));
    }
    const ManagedObjectModel& referenceModel = (*coordinator)->model();
    auto ingredientRows =
        (*coordinator)->fetchRows(*referenceModel.entity("Ingredient"), "", {}, "t.id");
    if (!ingredientRows) {
        return std::unexpected(std::move(ingredientRows.error()));
    }
    auto unitRows = (*coordinator)->fetchRows(*referenceModel.entity("Unit"), "", {}, "t.id");
    if (!unitRows) {
        return std::unexpected(std::move(unitRows.error()));
    }
    std::vector<IngredientRow> ingredients;
    ingredients.reserve(ingredientRows->size());
    for (const StoredRow& row : *ingredientRows) {
        ingredients.push_back(
            {text(row.values[0]), optionalText(row.values[1]), text(row.values[2])});
    }
    std::vector<UnitRow> units;
    units.reserve(unitRows->size());
    for (const StoredRow& row : *unitRows) {
        units.push_back({text(row.values[0]), optionalText(row.values[1]), text(row.values[2])});
    }
    return std::make_shared<const IngredientReferenceStore>(std::move(ingredients),
                                                            std::move(units));
}

IngredientReferenceStore::IngredientReferenceStore(std::vector<IngredientRow> ingredients,
                                                   std::vector<UnitRow> units)
    : m_ingredients(std::move(ingredients)), m_units(std::move(units)) {
    // A row is filed under its name and, when different, its plural; the lists are then put
    // in the order the queries ask for (stable, so equal keys keep the store's order).
    for (const IngredientRow& row : m_ingredients) {
        m_ingredientIndex[row.name].push_back(&row);
        if (row.pluralized && *row.pluralized != row.name) {
            m_ingredientIndex[*row.pluralized].push_back(&row);
        }
    }
    for (auto& [word, rows] : m_ingredientIndex) {
        std::ranges::stable_sort(rows, [](const IngredientRow* a, const IngredientRow* b) {
            return a->aisle > b->aisle;
        });
    }
    StringMap<std::vector<const UnitRow*>> unitLists;
    for (const UnitRow& row : m_units) {
        unitLists[row.name].push_back(&row);
        if (row.pluralized && *row.pluralized != row.name) {
            unitLists[*row.pluralized].push_back(&row);
        }
    }
    for (auto& [word, rows] : unitLists) {
        m_unitIndex.emplace(
            word, *std::ranges::min_element(
                      rows, [](const UnitRow* a, const UnitRow* b) { return a->name > b->name; }));
    }
}

std::span<const IngredientRow* const> IngredientReferenceStore::fetchIngredients(
    std::string_view word) const {
    if (word.empty()) {
        return {};
    }
    auto found = m_ingredientIndex.find(word);
    if (found == m_ingredientIndex.end()) {
        return {};
    }
    return found->second;
}

const UnitRow* IngredientReferenceStore::fetchUnit(std::string_view word) const {
    if (word.empty()) {
        return nullptr;
    }
    auto found = m_unitIndex.find(word);
    return found == m_unitIndex.end() ? nullptr : found->second;
}

}  // namespace miravel
