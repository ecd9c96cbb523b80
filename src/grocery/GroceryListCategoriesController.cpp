#include "grocery/GroceryListCategoriesController.h"

#include <algorithm>

#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/GroceryListItem.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

GroceryListCategoriesController::GroceryListCategoriesController(
    ManagedObjectContext& context, GroceryListController& list,
    GroceryListSidebarDelegate* delegate)
    : m_context(context), m_list(list), m_delegate(delegate), m_queue(MainQueue::shared()) {
    m_list.setSidebar(this);
}

GroceryListCategoriesController::~GroceryListCategoriesController() {
    *m_alive = false;
    m_list.setSidebar(nullptr);
}

void GroceryListCategoriesController::start() {
    fetchCategories();
    select(GroceryListChoice::entireList());
}

std::vector<GroceryListChoice> GroceryListCategoriesController::presetCategories() {
    return {GroceryListChoice::entireList(), GroceryListChoice::myItems()};
}

std::string GroceryListCategoriesController::groupTitle() {
    return tr(kGroceryRecipesGroup);
}

void GroceryListCategoriesController::fetchCategories() {
    m_query = std::make_unique<QVArrayController>(
        FetchRequest{GroceryListItem::kEntityName,
                     livePredicateAnd("recipeName != %@", {Value()}),
                     // Exact names second, so that one name's items are adjacent even among
                     // names that differ only in case.
                     {SortDescriptor::localized("recipeName"), SortDescriptor("recipeName")},
                     0,
                     true},
        &m_context);
    m_query->setDelegate(this);
    if (auto fetched = m_query->performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
    controllerDidChangeContent(*m_query);
}

void GroceryListCategoriesController::controllerDidChangeContent(QVArrayController& query) {
    m_recipes.clear();
    for (const auto& object : query.arrangedObjects()) {
        auto name = std::static_pointer_cast<GroceryListItem>(object)->recipeName();
        // An empty name is one of the user's own items, as "My Items" shows it.
        if (name && !name->empty() && (m_recipes.empty() || m_recipes.back() != *name)) {
            m_recipes.push_back(*name);
        }
    }
    if (m_delegate) {
        m_delegate->reloadOutline();
    }
}

std::vector<GroceryListChoice> GroceryListCategoriesController::entries() const {
    auto entries = presetCategories();
    for (const auto& name : m_recipes) {
        entries.push_back(GroceryListChoice::recipe(name));
    }
    return entries;
}

std::optional<GroceryListChoice> GroceryListCategoriesController::entryAtRow(
    std::size_t row) const {
    auto all = entries();
    if (row == 0 || row > all.size()) {
        return std::nullopt;
    }
    return all[row - 1];
}

std::optional<std::size_t> GroceryListCategoriesController::rowForEntry(
    const GroceryListChoice& entry) const {
    auto all = entries();
    auto found = std::ranges::find(all, entry);
    if (found == all.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - all.begin()) + 1;
}

void GroceryListCategoriesController::selectionDidChange(std::size_t row) {
    if (auto entry = entryAtRow(row)) {
        m_selection = *entry;
        m_list.setSelectedRecipe(*entry);
        if (m_delegate) {
            m_delegate->setRemoveButtonEnabled(removeButtonEnabled());
        }
    }
}

void GroceryListCategoriesController::select(const GroceryListChoice& entry) {
    auto row = rowForEntry(entry);
    if (!row) {
        return;
    }
    if (m_delegate) {
        m_delegate->selectRow(*row);
    }
    selectionDidChange(*row);
}

void GroceryListCategoriesController::selectEntireGroceryList() {
    select(GroceryListChoice::entireList());
}

Result<bool> GroceryListCategoriesController::deleteRecipePressed() {
    if (m_selection.isRecipe()) {
        return confirmDeleteRecipe(m_selection.recipeName());
    }
    return false;
}

bool GroceryListCategoriesController::validateDeleteRecipe(std::size_t clickedRow) const {
    auto entry = entryAtRow(clickedRow);
    return entry && entry->isRecipe();
}

Result<bool> GroceryListCategoriesController::deleteRecipe(std::size_t clickedRow) {
    if (validateDeleteRecipe(clickedRow)) {
        return confirmDeleteRecipe(entryAtRow(clickedRow)->recipeName());
    }
    return false;
}

Result<bool> GroceryListCategoriesController::confirmDeleteRecipe(const std::string& recipeName) {
    if (!m_delegate || !m_delegate->confirmDeletion(tr(kConfirmRemoveGroceryRecipe))) {
        return false;
    }
    const auto removed = GroceryListChoice::recipe(recipeName);
    // A preset stays selected, and so does another recipe than the removed one; otherwise the
    // neighbour takes its place: the one after it, or before it when it was the last.
    GroceryListChoice next = m_selection;
    if (m_selection == removed) {
        auto at = std::ranges::find(m_recipes, recipeName);
        auto index = static_cast<std::size_t>(at - m_recipes.begin());
        if (at == m_recipes.end() || m_recipes.size() == 1) {
            next = GroceryListChoice::entireList();
        } else if (index + 1 == m_recipes.size()) {
            next = GroceryListChoice::recipe(m_recipes[index - 1]);
        } else {
            next = GroceryListChoice::recipe(m_recipes[index + 1]);
        }
    }
    m_list.switchTo(removed);
    if (auto removedItems = m_list.removeItemsFromRecipe(recipeName); !removedItems) {
        return std::unexpected(removedItems.error());
    }
    selectRecipeOnNextRunLoop(next);
    return true;
}

void GroceryListCategoriesController::selectRecipeOnNextRunLoop(const GroceryListChoice& entry) {
    m_queue.post([this, alive = m_alive, entry] {
        if (!*alive) {
            return;
        }
        if (rowForEntry(entry)) {
            select(entry);
        } else {
            selectEntireGroceryList();
        }
    });
}

}  // namespace miravel
