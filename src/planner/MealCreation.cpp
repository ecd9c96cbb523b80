#include "planner/MealCreation.h"

#include "lib/Log.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "planner/WeekCalendar.h"
#include "store/ManagedObjectContext.h"
#include "store/Predicate.h"

namespace miravel {

std::int64_t lastMealOrderFlagForDay(ManagedObjectContext& context, Timestamp date) {
    // Day boundaries do not depend on the week's first day.
    const WeekCalendar calendar(1);
    const Timestamp start = calendar.dateByMovingToBeginningOfDay(date);
    const Timestamp end = calendar.dateByAddingDays(start, 1);
    auto maximum =
        context.maximum(Meal::kEntityName, "orderFlag",
                        livePredicateAnd("date >= %@ AND date < %@", {Value(start), Value(end)}));
    if (!maximum) {
        logLine("Error getting last order flag count: {}", maximum.error().description);
        return 0;
    }
    return maximum->isInteger() ? maximum->asInteger() : 0;
}

Result<std::shared_ptr<Meal>> createMealWithType(ManagedObjectContext& context, std::int64_t type,
                                                 Timestamp date,
                                                 const std::shared_ptr<Recipe>& recipe) {
    // Asked before inserting, so that the new meal's own (unset) flag cannot take part.
    const std::int64_t orderFlag = lastMealOrderFlagForDay(context, date) + 1;
    auto meal = context.insert<Meal>();
    meal->setType(type);
    meal->setDate(date);
    meal->setRecipe(recipe);
    meal->setStatus(kStatusModified);
    meal->setOrderFlag(orderFlag);
    if (auto saved = context.save(); !saved) {
        return std::unexpected(saved.error());
    }
    return meal;
}

}  // namespace miravel
