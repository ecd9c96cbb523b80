#include "grocery/ConsolidatedItem.h"

#include <algorithm>

#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "model/GroceryListItem.h"

namespace miravel {

ConsolidatedItem::ConsolidatedItem(const std::shared_ptr<GroceryListItem>& item)
    : m_name(item->name().value_or("")),
      m_aisle(item->aisle()),
      m_ingredient(item->ingredient().value_or("")),
      m_recipeName(item->recipeName()),
      m_items{item} {}

void ConsolidatedItem::addItem(const std::shared_ptr<GroceryListItem>& item) {
    if (!containsItem(*item)) {
        m_items.push_back(item);
    }
}

bool ConsolidatedItem::containsItem(const GroceryListItem& item) const {
    return std::ranges::any_of(m_items, [&](const auto& each) { return each.get() == &item; });
}

bool ConsolidatedItem::purchased() const {
    return !m_items.empty() && std::ranges::all_of(m_items, [](const auto& item) {
        return item->purchased().value_or(false);
    });
}

void ConsolidatedItem::setPurchased(bool purchased) {
    for (const auto& item : m_items) {
        item->setPurchased(purchased);
        item->setStatus(kStatusModified);
    }
}

std::string ConsolidatedItem::localizedAisle() const {
    return LocalizedSettingsManager::sharedManager().localizedAisleForAisle(m_aisle);
}

std::string ConsolidatedItem::recipeTitle() const {
    return m_recipeName && !m_recipeName->empty() ? *m_recipeName : tr("My Items");
}

std::string ConsolidatedItem::description() const {
    return "ConsolidatedItem(" + m_name + "," + m_aisle + "," + m_ingredient + ")";
}

}  // namespace miravel
