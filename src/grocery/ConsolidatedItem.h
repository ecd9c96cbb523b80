#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace miravel {

class GroceryListItem;

// One row of the grocery list as shown: one item, or several items asking for the same
// ingredient shown under one text with their amounts added up. The items themselves are
// never merged or rewritten; a row is rebuilt from them whenever the list changes.
class ConsolidatedItem {
public:
    // A row showing just `item`: its name, aisle, ingredient and recipe name.
    explicit ConsolidatedItem(const std::shared_ptr<GroceryListItem>& item);

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    const std::string& aisle() const { return m_aisle; }
    const std::string& ingredient() const { return m_ingredient; }
    const std::optional<std::string>& recipeName() const { return m_recipeName; }
    const std::vector<std::shared_ptr<GroceryListItem>>& items() const { return m_items; }
    void addItem(const std::shared_ptr<GroceryListItem>& item);
    bool containsItem(const GroceryListItem& item) const;

    // True when the row has items and every one is purchased.
    bool purchased() const;
    // Sets every item, each marked modified so that the sync uploads it. The caller saves.
    void setPurchased(bool purchased);

    std::string localizedAisle() const;
    // The recipe name, or "My Items" in the user's language for the user's own items.
    std::string recipeTitle() const;
    std::string description() const;

private:
    std::string m_name;
    std::string m_aisle;
    std::string m_ingredient;
    std::optional<std::string> m_recipeName;
    // In the order the items joined; a set in meaning (an item joins a row at most once).
    std::vector<std::shared_ptr<GroceryListItem>> m_items;
};

// The grocery list as displayed: section titles and rows, interleaved in display order.
using GroceryListEntry = std::variant<std::string, std::shared_ptr<ConsolidatedItem>>;
using GroceryListEntries = std::vector<GroceryListEntry>;

}  // namespace miravel
