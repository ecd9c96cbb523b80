#pragma once

#include "store/EntityDescription.h"

namespace miravel {

// The model of the user's library: Recipe, RecipeCategory, Meal, GroceryListItem, Bookmark,
// each made as its own class when the store reads or inserts it.
const ManagedObjectModel& miravelObjectModel();

}  // namespace miravel
