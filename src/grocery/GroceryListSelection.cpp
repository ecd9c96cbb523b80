// Keeping the table's selection and an edit in progress across the rebuilds of the rows.

#include <algorithm>
#include <unordered_set>

#include "grocery/GroceryListController.h"
#include "lib/MainQueue.h"
#include "model/GroceryListItem.h"

namespace miravel {

void GroceryListController::selectionDidChange(std::vector<std::size_t> rows) {
    std::erase_if(rows, [&](std::size_t row) { return rowAt(row) == nullptr; });
    m_selectedRows = std::move(rows);
    if (m_delegate) {
        m_delegate->setRemoveButtonEnabled(removeButtonEnabled());
    }
}

void GroceryListController::setSelection(std::vector<std::size_t> rows) {
    selectionDidChange(std::move(rows));
    if (m_delegate) {
        m_delegate->selectRows(m_selectedRows);
    }
}

// Rows are new objects after every rebuild, so a selection is carried over by the items the
// rows wrap: a new row is selected when it wraps any item of a row that was selected.
void GroceryListController::saveSelection() {
    m_selectedItems.clear();
    for (std::size_t index : m_selectedRows) {
        if (auto row = rowAt(index)) {
            m_selectedItems.insert(m_selectedItems.end(), row->items().begin(), row->items().end());
        }
    }
    m_editedItem = nullptr;
    if (m_editedRow) {
        if (auto row = rowAt(*m_editedRow); row && !row->items().empty()) {
            m_editedItem = row->items().front();
        }
    }
    m_selectedRows.clear();
    m_editedRow.reset();
}

void GroceryListController::restoreSelection() {
    std::unordered_set<const GroceryListItem*> wanted;
    for (const auto& item : m_selectedItems) {
        wanted.insert(item.get());
    }
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < m_items.size() && !wanted.empty(); ++i) {
        if (auto row = rowAt(i); row && std::ranges::any_of(row->items(), [&](const auto& item) {
                                     return wanted.contains(item.get());
                                 })) {
            rows.push_back(i);
        }
    }
    m_selectedItems.clear();
    setSelection(std::move(rows));
    if (auto edited = std::exchange(m_editedItem, nullptr)) {
        editItemOnNextRunLoop(edited);
    }
}

void GroceryListController::editItemOnNextRunLoop(const std::shared_ptr<GroceryListItem>& item) {
    m_queue.post([this, alive = m_alive, item] {
        if (!*alive) {
            return;
        }
        auto row = consolidatedItemForGroceryListItem(*item);
        if (auto index = row ? indexOfRow(*row) : std::nullopt) {
            setSelection({*index});
            editItem(*index);
        }
    });
}

void GroceryListController::editItem(std::size_t row) {
    if (rowAt(row) == nullptr) {
        return;
    }
    m_editedRow = row;
    if (m_delegate) {
        m_delegate->editRow(row);
    }
}

}  // namespace miravel
