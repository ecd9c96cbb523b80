#pragma once

#include <cstdint>
#include <memory>

#include "lib/DateText.h"
#include "lib/Error.h"

namespace miravel {

class ManagedObjectContext;
class Meal;
class Recipe;

// The highest order flag among the live meals of the day holding `date` (local midnight to
// the next midnight), 0 when there are none. Tombstones do not count: their places are free.
// A failing query is logged and counts as 0, so a meal can still be added.
std::int64_t lastMealOrderFlagForDay(ManagedObjectContext& context, Timestamp date);

// Adds `recipe` to the meal plan on `date` for the meal type (Meal::Type), after the day's
// other meals, and saves.
[[nodiscard]] Result<std::shared_ptr<Meal>> createMealWithType(
    ManagedObjectContext& context, std::int64_t type, Timestamp date,
    const std::shared_ptr<Recipe>& recipe);

}  // namespace miravel
