// The operations of the grocery list that change items: new item, editing, checking off,
// aisles (menu and drop), deleting and clearing.

#include <algorithm>

#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"
#include "ingredients/IngredientParser.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

Result<std::shared_ptr<GroceryListItem>> GroceryListController::newItem() {
    auto item = m_context.insert<GroceryListItem>();
    item->setName(tr(kNewItem));
    item->setOrderFlag(SyncedObject::nextOrderFlag(m_context, GroceryListItem::kEntityName));
    item->setStatus(kStatusModified);
    item->setAisle(std::string(kMiscellaneousAisle));
    item->setPurchased(false);
    m_newItem = item;
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    if (!m_choice || !m_choice->isEntireList()) {
        if (m_sidebar != nullptr) {
            m_sidebar->selectEntireGroceryList();
        }
        setSelectedRecipe(GroceryListChoice::entireList());
    }
    if (m_filter == GroceryFilter::Bought) {
        m_filter = GroceryFilter::All;
        if (m_delegate) {
            m_delegate->setFilterSegment(m_filter);
        }
    }
    fetchGroceryList();
    editItemOnNextRunLoop(item);
    return item;
}

Result<void> GroceryListController::groceryListTableCellEdited(std::size_t index,
                                                               const std::string& text) {
    if (m_isUpdating) {
        return {};
    }
    auto row = rowAt(index);
    m_editedRow.reset();
    if (!row) {
        return {};
    }
    const std::string name = text.empty() ? std::string(" ") : text;
    if (name == row->name()) {
        return {};
    }
    std::optional<std::string> ingredient;
    const std::string aisle = ingredientParserOf(m_context).getAisle(name, &ingredient);
    if (row->items().size() == 1) {
        const auto& item = row->items().front();
        if (item->name() != name) {
            item->setName(name);
        }
        if (item->ingredient() != ingredient) {
            item->setIngredient(ingredient);
        }
        // Only a new item's first edit files it: an edited line stays where the user put it.
        if (item == m_newItem) {
            item->setAisle(aisle);
            m_newItem = nullptr;
        }
        item->setStatus(kStatusModified);
    } else {
        deleteItems(row->items());
        auto item = m_context.insert<GroceryListItem>();
        item->setOrderFlag(SyncedObject::nextOrderFlag(m_context, GroceryListItem::kEntityName));
        item->setName(name);
        item->setAisle(aisle);
        item->setIngredient(ingredient);
        item->setPurchased(false);
        item->setStatus(kStatusModified);
    }
    return save();
}

Result<void> GroceryListController::groceryListTableCellCheckboxToggled(std::size_t index) {
    if (auto row = rowAt(index)) {
        row->setPurchased(!row->purchased());
        return save();
    }
    return {};
}

std::vector<std::shared_ptr<ConsolidatedItem>> GroceryListController::chosenRows(
    std::optional<std::size_t> clickedRow) const {
    std::vector<std::shared_ptr<ConsolidatedItem>> rows;
    auto add = [&](std::size_t index) {
        if (auto row = rowAt(index); row && std::ranges::find(rows, row) == rows.end()) {
            rows.push_back(row);
        }
    };
    for (std::size_t index : m_selectedRows) {
        add(index);
    }
    if (clickedRow) {
        add(*clickedRow);
    }
    return rows;
}

Result<void> GroceryListController::togglePurchased(std::optional<std::size_t> clickedRow) {
    for (const auto& row : chosenRows(clickedRow)) {
        row->setPurchased(!row->purchased());
        if (auto saved = save(); !saved) {
            return saved;
        }
    }
    return {};
}

std::vector<AisleMenuEntry> GroceryListController::aisleMenu(
    std::optional<std::size_t> clickedRow) const {
    auto clicked = clickedRow ? rowAt(*clickedRow) : nullptr;
    std::vector<AisleMenuEntry> entries;
    int tag = 0;
    for (const auto& [key, title] : LocalizedSettingsManager::sharedManager().aisleNames()) {
        entries.push_back({title, tag++, clicked && clicked->aisle() == key});
    }
    return entries;
}

Result<void> GroceryListController::changeAisle(int tag, std::optional<std::size_t> clickedRow) {
    auto keys = LocalizedSettingsManager::sharedManager().aisleNames().keys();
    if (tag < 0 || static_cast<std::size_t>(tag) >= keys.size()) {
        return {};
    }
    const std::string& aisle = keys[static_cast<std::size_t>(tag)];
    for (const auto& row : chosenRows(clickedRow)) {
        for (const auto& item : row->items()) {
            if (item->aisle() != aisle) {
                item->setAisle(aisle);
                item->setStatus(kStatusModified);
            }
        }
        if (auto saved = save(); !saved) {
            return saved;
        }
    }
    return {};
}

GroceryMenuState GroceryListController::validateMenuItem(GroceryMenuItem item,
                                                         std::optional<std::size_t> clickedRow,
                                                         int aisleTag) const {
    auto row = clickedRow ? rowAt(*clickedRow) : nullptr;
    switch (item) {
        case GroceryMenuItem::NewItem:
            return {true, false};
        case GroceryMenuItem::Edit:
        case GroceryMenuItem::Delete:
            return {row != nullptr, false};
        case GroceryMenuItem::Purchased:
            return {row != nullptr, row && row->purchased()};
        case GroceryMenuItem::Aisle: {
            auto keys = LocalizedSettingsManager::sharedManager().aisleNames().keys();
            bool known = aisleTag >= 0 && static_cast<std::size_t>(aisleTag) < keys.size();
            return {row != nullptr,
                    row && known && row->aisle() == keys[static_cast<std::size_t>(aisleTag)]};
        }
        case GroceryMenuItem::Other:
            break;
    }
    return {};
}

std::string GroceryListController::pasteboardType() {
    return ::miravel::pasteboardType(GroceryListItem::kEntityName);
}

std::optional<std::vector<std::size_t>> GroceryListController::writeRows(
    const std::vector<std::size_t>& rows) const {
    if (!m_byAisle) {
        return std::nullopt;
    }
    std::vector<std::size_t> dragged;
    std::ranges::copy_if(rows, std::back_inserter(dragged),
                         [&](std::size_t row) { return rowAt(row) != nullptr; });
    if (dragged.empty()) {
        return std::nullopt;
    }
    return dragged;
}

bool GroceryListController::validateDrop(const std::string& type, std::size_t row,
                                         bool onRow) const {
    return type == pasteboardType() && !onRow && row >= 1 && m_byAisle;
}

std::optional<std::string> GroceryListController::aisleForIndex(std::size_t index) const {
    // The title at the drop position itself belongs to the section below the drop.
    std::size_t section = 0;
    bool found = false;
    for (std::size_t i = 0; i < std::min(index, m_items.size()); ++i) {
        if (std::holds_alternative<std::string>(m_items[i])) {
            found = true;
            ++section;
        }
    }
    if (!found || section > m_sections.size()) {
        return std::nullopt;
    }
    const std::string& aisle = m_sections[section - 1].aisle;
    return aisle.empty() ? std::string(kMiscellaneousAisle) : aisle;
}

Result<bool> GroceryListController::acceptDrop(const std::vector<std::size_t>& draggedRows,
                                               std::size_t row, bool onRow) {
    if (!validateDrop(pasteboardType(), row, onRow)) {
        return false;
    }
    auto aisle = aisleForIndex(row);
    if (!aisle) {
        return false;
    }
    std::vector<std::shared_ptr<ConsolidatedItem>> rows;
    for (std::size_t index : draggedRows) {
        if (auto dragged = rowAt(index)) {
            rows.push_back(dragged);
        }
    }
    for (const auto& dragged : rows) {
        for (const auto& item : dragged->items()) {
            item->setAisle(*aisle);
            item->setStatus(kStatusModified);
        }
    }
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    return !rows.empty();
}

Result<bool> GroceryListController::deletePressed() {
    std::vector<std::shared_ptr<ConsolidatedItem>> rows;
    for (std::size_t index : m_selectedRows) {
        if (auto row = rowAt(index)) {
            rows.push_back(row);
        }
    }
    return confirmDeleteItems(rows);
}

Result<bool> GroceryListController::deleteItem(std::optional<std::size_t> clickedRow) {
    return confirmDeleteItems(chosenRows(clickedRow));
}

Result<bool> GroceryListController::confirmDeleteItems(
    const std::vector<std::shared_ptr<ConsolidatedItem>>& rows) {
    if (rows.empty() || !m_delegate) {
        return false;
    }
    if (!m_delegate->confirmDeletion(
            tr(rows.size() == 1 ? kConfirmDeleteGroceryItem : kConfirmDeleteGroceryItems))) {
        return false;
    }
    for (const auto& row : rows) {
        deleteItems(row->items());
    }
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    selectionDidChange({});
    return true;
}

void GroceryListController::deleteItems(
    const std::vector<std::shared_ptr<GroceryListItem>>& items) {
    std::vector<std::shared_ptr<SyncedObject>> objects(items.begin(), items.end());
    SyncedObject::deleteObjects(m_context, objects);
}

Result<bool> GroceryListController::clearGroceryList() {
    if (!m_delegate) {
        return false;
    }
    ClearChoice choice = m_delegate->confirmClear(tr(kConfirmClearGroceryList));
    if (choice == ClearChoice::Cancel) {
        return false;
    }
    switchTo(GroceryListChoice::entireList());
    auto items = m_context.fetch<GroceryListItem>(choice == ClearChoice::ClearPurchased
                                                      ? livePredicateAnd("purchased == YES")
                                                      : livePredicate());
    if (!items) {
        return std::unexpected(items.error());
    }
    deleteItems(*items);
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    selectionDidChange({});
    return true;
}

Result<void> GroceryListController::removeItemsFromRecipe(const std::string& recipeName) {
    auto items =
        m_context.fetch<GroceryListItem>(livePredicateAnd("recipeName == %@", {Value(recipeName)}));
    if (!items) {
        return std::unexpected(items.error());
    }
    deleteItems(*items);
    return save();
}

}  // namespace miravel
