#pragma once

#include <memory>
#include <vector>

#include "grocery/ConsolidatedItem.h"
#include "lib/Error.h"

namespace miravel {

class ChooseIngredientsController;
class GroceryListItem;
class ManagedObjectContext;
class Recipe;
class UserSettings;

class ChooseIngredientsDelegate {
public:
    virtual ~ChooseIngredientsDelegate() = default;
    // The sheet closed; `ingredientsSelected` is true when items were added to the list.
    virtual void chooseIngredientsControllerDismissed(ChooseIngredientsController& chooser,
                                                      bool ingredientsSelected) = 0;
};

// The "Choose Ingredients" sheet: the ingredient lines of one or more recipes (at their
// current scale) as new grocery items in a private context, previewed as rows merged across
// aisles, all ticked at first. Done keeps the items of the ticked rows and merges them into
// the main context; Cancel discards them all.
class ChooseIngredientsController {
public:
    // Builds the items and preview rows at once. Consolidation follows the
    // "GroceryListConsolidation" setting of `settings`.
    ChooseIngredientsController(ManagedObjectContext& mainContext,
                                std::vector<std::shared_ptr<Recipe>> recipes,
                                const UserSettings& settings);
    ~ChooseIngredientsController();
    ChooseIngredientsController(const ChooseIngredientsController&) = delete;
    ChooseIngredientsController& operator=(const ChooseIngredientsController&) = delete;

    void setDelegate(ChooseIngredientsDelegate* delegate) { m_delegate = delegate; }

    // The preview rows, in order, and whether each is ticked.
    const std::vector<std::shared_ptr<ConsolidatedItem>>& consolidatedItems() const;
    bool isSelected(std::size_t row) const;
    void setSelected(std::size_t row, bool selected);
    // The select-all check box: every row when on, none when off.
    void selectAllCheckboxClicked(bool on);

    // The new items, in the private context.
    const std::vector<std::shared_ptr<GroceryListItem>>& items() const;

    // Saves the ticked rows' items and merges them into the main context; the delegate hears
    // true. A failed save is returned and nothing is added.
    [[nodiscard]] Result<void> donePressed();
    void cancelPressed();

private:
    struct State;
    std::unique_ptr<State> m_state;
    ChooseIngredientsDelegate* m_delegate = nullptr;
};

}  // namespace miravel
