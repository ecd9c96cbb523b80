#pragma once

#include "store/EntityDescription.h"
#include "store/StoreConversion.h"

namespace miravel {

// The model of the user's library: Recipe, RecipeCategory, Meal, GroceryListItem, Bookmark,
// each made as its own class when the store reads or inserts it.
const ManagedObjectModel& miravelObjectModel();

// The current model with the steps that convert each earlier layout of it (none yet: the
// first layout is the current one). docs/ARCHITECTURE.md says how a version is added.
const ModelVersions& miravelModelVersions();

}  // namespace miravel
