#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lib/DateText.h"
#include "lib/Error.h"

namespace miravel {

class ManagedObjectContext;
class Meal;
class Recipe;
class UserSettings;

// The meal editor's popover: a meal is either a free-text name or a recipe of the library.
class EditMealController {
public:
    enum class Mode { Name, Recipe };

    EditMealController(ManagedObjectContext& context, UserSettings& settings);

    // Loads an existing meal: its date, type, and its recipe or its name.
    void setMeal(const std::shared_ptr<Meal>& meal);
    const std::shared_ptr<Meal>& meal() const { return m_meal; }
    // A new meal for today, of the last chosen type, by name.
    void resetFields();

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }
    const std::string& nameText() const { return m_name; }
    void setNameText(std::string text) { m_name = std::move(text); }
    // The recipe chooser's choice.
    const std::shared_ptr<Recipe>& recipe() const { return m_recipe; }
    void setRecipe(std::shared_ptr<Recipe> recipe) { m_recipe = std::move(recipe); }
    std::string recipeButtonTitle() const;
    std::int64_t type() const { return m_type; }
    void setType(std::int64_t type) { m_type = type; }
    Timestamp date() const { return m_date; }
    void setDate(Timestamp date) { m_date = date; }

    bool isDoneEnabled() const;
    // Saves the meal (a new one after the day's other meals) and resets the fields. Refused
    // while Done is disabled.
    [[nodiscard]] Result<std::shared_ptr<Meal>> donePressed();
    void cancelPressed() { resetFields(); }

private:
    ManagedObjectContext& m_context;
    UserSettings& m_settings;
    std::shared_ptr<Meal> m_meal;
    Mode m_mode = Mode::Name;
    std::string m_name;
    std::shared_ptr<Recipe> m_recipe;
    std::int64_t m_type = 0;
    Timestamp m_date{};
};

}  // namespace miravel
