#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "lib/DateText.h"

class QWidget;

namespace miravel {
class ChooseIngredientsController;
class ManagedObjectContext;
class Recipe;
class UserSettings;
}  // namespace miravel

namespace miravel::desktop {

// The "Choose Ingredients" sheet for these recipes; `done(true)` when items were added to the
// grocery list.
void chooseIngredients(QWidget* parent, ManagedObjectContext& context,
                       const std::vector<std::shared_ptr<Recipe>>& recipes,
                       const UserSettings& settings, const std::function<void(bool)>& done);

// The same sheet over a chooser made elsewhere; true when items were added.
bool runIngredientChooser(QWidget* parent, ChooseIngredientsController& chooser);

// The meal picker: a day and a meal type (Meal::Type), or nothing when cancelled.
std::optional<std::pair<std::int64_t, Timestamp>> chooseMealDateAndType(QWidget* parent);

}  // namespace miravel::desktop
