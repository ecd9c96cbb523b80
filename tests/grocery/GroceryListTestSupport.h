#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"
#include "lib/MainQueue.h"
#include "model/ApplicationHooks.h"
#include "model/GroceryListItem.h"
#include "model/UserSettings.h"
#include "support/StoreTestSupport.h"

namespace miravel::testing {

// Plays the Groceries pane: the table, its sheets, and the sidebar.
class GroceryPane : public GroceryListControllerDelegate, public GroceryListSidebarDelegate {
public:
    void reloadTable() override { ++reloads; }
    void showEmptyLabel(bool shown) override { emptyLabel = shown; }
    void setRemoveButtonEnabled(bool enabled) override { removeEnabled = enabled; }
    void setFilterSegment(GroceryFilter filter) override { segment = static_cast<int>(filter); }
    void selectRows(const std::vector<std::size_t>& rows) override { selected = rows; }
    void editRow(std::size_t row) override { edited.push_back(row); }
    bool confirmDeletion(const std::string& message) override {
        questions.push_back(message);
        return answer;
    }
    ClearChoice confirmClear(const std::string& message) override {
        questions.push_back(message);
        return clearChoice;
    }
    void selectRow(std::size_t row) override { sidebarRows.push_back(row); }

    int reloads = 0;
    bool emptyLabel = false;
    bool removeEnabled = false;
    int segment = 0;
    std::vector<std::size_t> selected;
    std::vector<std::size_t> edited;
    bool answer = true;
    ClearChoice clearChoice = ClearChoice::Cancel;
    std::vector<std::string> questions;
    std::vector<std::size_t> sidebarRows;
};

class GroceryListTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        MainQueue::shared().processPending();
        m_settings.configureDefaults();
    }
    void TearDown() override {
        m_sidebar.reset();
        m_list.reset();
        MainQueue::shared().processPending();
        StoreTest::TearDown();
    }

    std::shared_ptr<GroceryListItem> add(const std::string& name, const std::string& aisle,
                                         const std::string& ingredient,
                                         std::optional<std::string> recipe = std::nullopt,
                                         bool purchased = false) {
        auto item = m_main->insert<GroceryListItem>();
        item->setName(name);
        item->setAisle(aisle);
        if (!ingredient.empty()) {
            item->setIngredient(ingredient);
        }
        item->setRecipeName(std::move(recipe));
        item->setPurchased(purchased);
        item->setOrderFlag(++m_flags);
        item->setStatus(kStatusUnmodified);
        return item;
    }

    GroceryListController& start() {
        EXPECT_TRUE(m_main->save());
        m_sidebar.reset();
        m_list.reset();
        m_list = std::make_unique<GroceryListController>(*m_main, m_settings, &m_pane);
        m_sidebar = std::make_unique<GroceryListCategoriesController>(*m_main, *m_list, &m_pane);
        m_sidebar->start();
        return *m_list;
    }

    // The list as shown: "# title" for a section, "✓ " before a purchased row, and "(n)"
    // after a row that wraps n > 1 items.
    std::vector<std::string> shown() const {
        std::vector<std::string> lines;
        for (const auto& entry : m_list->items()) {
            if (const auto* title = std::get_if<std::string>(&entry)) {
                lines.push_back("# " + *title);
                continue;
            }
            const auto& row = std::get<std::shared_ptr<ConsolidatedItem>>(entry);
            std::string line = (row->purchased() ? "✓ " : "") + row->name();
            if (row->items().size() > 1) {
                line += " (" + std::to_string(row->items().size()) + ")";
            }
            lines.push_back(line);
        }
        return lines;
    }
    // The index in items() of the row showing `text`.
    std::size_t rowOf(const std::string& text) const {
        for (std::size_t i = 0; i < m_list->items().size(); ++i) {
            if (auto row = m_list->rowAt(i); row && row->name() == text) {
                return i;
            }
        }
        ADD_FAILURE() << "no row " << text;
        return 0;
    }
    std::vector<std::shared_ptr<GroceryListItem>> liveItems() {
        return all<GroceryListItem>(*m_main, kLiveStatusPredicate);
    }

    UserSettings m_settings{m_folder / "Settings.json"};
    GroceryPane m_pane;
    std::unique_ptr<GroceryListController> m_list;
    std::unique_ptr<GroceryListCategoriesController> m_sidebar;
    std::int64_t m_flags = 0;
};

using Lines = std::vector<std::string>;

}  // namespace miravel::testing
