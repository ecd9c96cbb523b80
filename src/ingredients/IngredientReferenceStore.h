#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lib/Error.h"
#include "lib/StringMap.h"

namespace miravel {

class ManagedObjectModel;

// An ingredient name as sold: its singular, plural and aisle (an English aisle key).
struct IngredientRow {
    std::string name;
    std::optional<std::string> pluralized;
    std::string aisle;
};

// A written form of a unit ("tbsp"), its plural and the canonical unit it stands for.
struct UnitRow {
    std::string name;
    std::optional<std::string> pluralized;
    std::string canonical;
};

// The read-only reference store of ingredient and unit names that ships with the program
// ("Ingredients.sqlite", model "Ingredients").
//
// The rows are read into memory once, when the store is opened, and indexed by name and
// plural; the index never changes afterwards, so lookups need no lock and may run on any
// thread at once. The whole store is a few hundred kilobytes.
class IngredientReferenceStore {
public:
    // The model of the reference store: Ingredient (name, pluralized, aisle) and Unit (name,
    // pluralized, canonical).
    static const ManagedObjectModel& model();

    [[nodiscard]] static Result<std::shared_ptr<const IngredientReferenceStore>> open(
        const std::filesystem::path& file);
    // A store over rows held in memory (tests).
    IngredientReferenceStore(std::vector<IngredientRow> ingredients, std::vector<UnitRow> units);

    // Rows whose name or plural equals `word`, sorted by aisle descending.
    std::span<const IngredientRow* const> fetchIngredients(std::string_view word) const;
    // The first row, by name descending, whose name or plural equals `word`.
    const UnitRow* fetchUnit(std::string_view word) const;

    const std::vector<IngredientRow>& ingredients() const { return m_ingredients; }
    const std::vector<UnitRow>& units() const { return m_units; }

private:
    std::vector<IngredientRow> m_ingredients;
    std::vector<UnitRow> m_units;
    StringMap<std::vector<const IngredientRow*>> m_ingredientIndex;
    StringMap<const UnitRow*> m_unitIndex;
};

}  // namespace miravel
