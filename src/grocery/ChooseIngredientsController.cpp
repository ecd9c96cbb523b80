#include "grocery/ChooseIngredientsController.h"

#include <string>
#include <unordered_set>

#include "ingredients/IngredientParser.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "store/BackgroundContext.h"

namespace miravel {

struct ChooseIngredientsController::State {
    State(ManagedObjectContext& main, std::vector<std::shared_ptr<Recipe>> chosen)
        : m_mainContext(main),
          m_recipes(std::move(chosen)),
          // The new items stay out of the main context (and so off the grocery list and out
          // of the sync) until the user has chosen which to keep.
          m_groceryListContext(main) {}

    ManagedObjectContext& m_mainContext;
    std::vector<std::shared_ptr<Recipe>> m_recipes;
    // Its save hands the kept items to the main context.
    BackgroundContext m_groceryListContext;
    std::vector<std::shared_ptr<GroceryListItem>> m_items;
    std::vector<std::shared_ptr<ConsolidatedItem>> m_consolidatedItems;
    // Parallel to m_consolidatedItems: whether the user keeps the row.
    std::vector<bool> m_selected;
    // Done or Cancel closed the sheet; further presses must not save or report twice.
    bool m_dismissed = false;

    void makeGroceryListItems();
    void consolidateGroceryListItems(bool consolidate);
};

namespace {

bool consolidationSetting(const UserSettings& settings) {
    // Settings written before the key existed have no value; the list merges by default.
    return settings.hasValue(kGroceryListConsolidationKey)
               ? settings.boolean(kGroceryListConsolidationKey)
               : true;
}

}  // namespace

void ChooseIngredientsController::State::makeGroceryListItems() {
    for (const auto& recipe : m_recipes) {
        // The scaled lines, so the list asks for what the recipe is being cooked at.
        const std::vector<std::string> lines = recipe->ingredientsArray();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            auto item = m_groceryListContext.insert<GroceryListItem>();
            item->setRecipeName(recipe->name());
            item->setNameAndUpdateAisle(lines[i]);
            item->setOrderFlag(static_cast<std::int64_t>(i));
            item->setPurchased(false);
            item->setStatus(kStatusModified);
            m_items.push_back(std::move(item));
        }
    }
}

void ChooseIngredientsController::State::consolidateGroceryListItems(bool consolidate) {
    const IngredientParser& parser = ingredientParserOf(m_mainContext);
    for (const auto& item : m_items) {
        const std::string ingredient = item->ingredient().value_or("");
        bool joined = false;
        // Unlike the list, the preview merges across aisles: it is one short list to tick.
        if (consolidate && !ingredient.empty()) {
            for (const auto& row : m_consolidatedItems) {
                if (row->ingredient() != ingredient) {
                    continue;
                }
                if (auto merged = parser.consolidateItems(row->name(), item->name().value_or(""),
                                                          ingredient)) {
                    row->setName(std::move(*merged));
                    row->addItem(item);
                    joined = true;
                    break;
                }
            }
        }
        if (!joined) {
            m_consolidatedItems.push_back(std::make_shared<ConsolidatedItem>(item));
        }
    }
    m_selected.assign(m_consolidatedItems.size(), true);
}

ChooseIngredientsController::ChooseIngredientsController(
    ManagedObjectContext& mainContext, std::vector<std::shared_ptr<Recipe>> recipes,
    const UserSettings& settings)
    : m_state(std::make_unique<State>(mainContext, std::move(recipes))) {
    m_state->makeGroceryListItems();
    m_state->consolidateGroceryListItems(consolidationSetting(settings));
}

ChooseIngredientsController::~ChooseIngredientsController() = default;

const std::vector<std::shared_ptr<ConsolidatedItem>>&
ChooseIngredientsController::consolidatedItems() const {
    return m_state->m_consolidatedItems;
}

bool ChooseIngredientsController::isSelected(std::size_t row) const {
    return row < m_state->m_selected.size() && m_state->m_selected[row];
}

void ChooseIngredientsController::setSelected(std::size_t row, bool selected) {
    if (row < m_state->m_selected.size()) {
        m_state->m_selected[row] = selected;
    }
}

void ChooseIngredientsController::selectAllCheckboxClicked(bool on) {
    m_state->m_selected.assign(m_state->m_selected.size(), on);
}

const std::vector<std::shared_ptr<GroceryListItem>>& ChooseIngredientsController::items() const {
    return m_state->m_items;
}

Result<void> ChooseIngredientsController::donePressed() {
    State& state = *m_state;
    if (state.m_dismissed) {
        return {};
    }
    std::unordered_set<const GroceryListItem*> kept;
    for (std::size_t row = 0; row < state.m_consolidatedItems.size(); ++row) {
        if (state.m_selected[row]) {
            for (const auto& item : state.m_consolidatedItems[row]->items()) {
                kept.insert(item.get());
            }
        }
    }
    for (const auto& item : state.m_items) {
        if (!kept.contains(item.get())) {
            // Never saved, so this only drops the insertion.
            state.m_groceryListContext.deleteObject(item);
        }
    }
    // The save merges the new items into the main context.
    if (auto saved = state.m_groceryListContext.save(); !saved) {
        return saved;
    }
    state.m_dismissed = true;
    if (m_delegate != nullptr) {
        // With every row unticked nothing was added, and the caller's "added to grocery
        // list" notice would be untrue.
        m_delegate->chooseIngredientsControllerDismissed(*this, !kept.empty());
    }
    return {};
}

void ChooseIngredientsController::cancelPressed() {
    State& state = *m_state;
    if (state.m_dismissed) {
        return;
    }
    state.m_groceryListContext.rollback();
    state.m_dismissed = true;
    if (m_delegate != nullptr) {
        m_delegate->chooseIngredientsControllerDismissed(*this, false);
    }
}

}  // namespace miravel
