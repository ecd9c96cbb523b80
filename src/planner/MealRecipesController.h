#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/QVArrayController.h"

namespace miravel {

class ManagedObjectContext;
class Recipe;

// The meal editor's recipe chooser: the library's recipes by name, narrowed by a search in
// one of the recipe list's search contexts. Live.
class MealRecipesController : private QVArrayControllerDelegate {
public:
    // `fetchNow` false leaves the list empty until start(): a chooser that is not shown yet
    // reads nothing of a large library.
    explicit MealRecipesController(ManagedObjectContext& context, bool fetchNow = true);
    ~MealRecipesController() override;
    MealRecipesController(const MealRecipesController&) = delete;
    MealRecipesController& operator=(const MealRecipesController&) = delete;

    // "Name", "Ingredient" or "Source" (English keys); searches again with the current text.
    void changeSearchContext(const std::string& context);
    const std::string& searchContext() const { return m_searchContext; }
    // "Search By %@" with the context's name.
    std::string placeholder() const;
    // Empty text shows every recipe.
    void search(const std::string& text);
    // The first fetch, unless it has happened.
    void start();
    bool started() const { return m_started; }

    std::vector<std::shared_ptr<Recipe>> recipes() const;
    // Done: the recipe of the selected row, or null when none is selected.
    std::shared_ptr<Recipe> recipeAtRow(std::size_t row) const;

    // Told after the chooser's recipes changed in the store (added, renamed, deleted), so the
    // shown list can follow; not after the chooser's own searches.
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    bool takesObjectChanges() const override { return false; }
    void controllerDidChangeContent(QVArrayController&) override {
        if (m_changed) {
            m_changed();
        }
    }
    void fetch();

    std::string m_searchContext;
    std::string m_searchText;
    QVArrayController m_recipes;
    std::function<void()> m_changed;
    bool m_started = false;
};

}  // namespace miravel
