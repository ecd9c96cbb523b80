#include "grocery/GroceryListController.h"

#include <algorithm>

#include "grocery/GroceryListCategoriesController.h"
#include "ingredients/IngredientParser.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

std::string GroceryListChoice::title() const {
    switch (m_kind) {
        case Kind::EntireList:
            return tr(kEntireGroceryList);
        case Kind::MyItems:
            return tr(kMyItems);
        case Kind::Recipe:
            break;
    }
    return m_recipe;
}

namespace {

// Both settings are on by default. The list can be made before the defaults are written (the
// main window of a first start comes before them): a missing value is the default, not off.
bool listSetting(const UserSettings& settings, std::string_view key) {
    return settings.hasValue(key) ? settings.boolean(key) : true;
}

}  // namespace

GroceryListController::GroceryListController(ManagedObjectContext& context, UserSettings& settings,
                                             GroceryListControllerDelegate* delegate)
    : m_context(context),
      m_settings(settings),
      m_delegate(delegate),
      m_queue(MainQueue::shared()),
      m_consolidate(listSetting(settings, kGroceryListConsolidationKey)),
      m_byAisle(listSetting(settings, kGroceryListAislesKey)) {}

GroceryListController::~GroceryListController() {
    *m_alive = false;
}

void GroceryListController::setConsolidateGroceryList(bool consolidate) {
    if (consolidate != m_consolidate) {
        m_consolidate = consolidate;
        refetch();
    }
}

void GroceryListController::setSortGroceryListByAisles(bool byAisle) {
    if (byAisle != m_byAisle) {
        m_byAisle = byAisle;
        refetch();
    }
}

void GroceryListController::settingsDidChange() {
    bool consolidate = listSetting(m_settings, kGroceryListConsolidationKey);
    bool byAisle = listSetting(m_settings, kGroceryListAislesKey);
    if (consolidate != m_consolidate || byAisle != m_byAisle) {
        m_consolidate = consolidate;
        m_byAisle = byAisle;
        refetch();
    }
}

// A change made before the list was first shown waits for that first fetch.
void GroceryListController::refetch() {
    if (m_query) {
        fetchGroceryList();
    }
}

void GroceryListController::setSelectedRecipe(const GroceryListChoice& choice) {
    if (m_choice == choice) {
        return;
    }
    m_choice = choice;
    m_filter = GroceryFilter::All;
    if (m_delegate) {
        m_delegate->setFilterSegment(m_filter);
    }
    fetchGroceryList();
}

void GroceryListController::switchTo(const GroceryListChoice& choice) {
    if (m_sidebar != nullptr && choice.isEntireList()) {
        m_sidebar->selectEntireGroceryList();
    }
    setSelectedRecipe(choice);
    if (m_filter != GroceryFilter::All) {
        m_filter = GroceryFilter::All;
        if (m_delegate) {
            m_delegate->setFilterSegment(m_filter);
        }
        fetchGroceryList();
    }
}

void GroceryListController::segmentChanged(int segment) {
    if (segment < 0 || segment > 2) {
        return;
    }
    m_filter = static_cast<GroceryFilter>(segment);
    fetchGroceryList();
}

bool GroceryListController::shouldConsolidate() const {
    return m_consolidate && (!m_choice || m_choice->isEntireList());
}

void GroceryListController::fetchGroceryList() {
    std::string format = "TRUEPREDICATE";
    ValueList arguments;
    if (m_filter == GroceryFilter::Bought) {
        format += " AND purchased == YES";
    } else if (m_filter == GroceryFilter::ToBuy) {
        // An item nobody checked yet may have no value at all; it is still to buy.
        format += " AND (purchased == NO OR purchased == nil)";
    }
    if (m_choice && m_choice->isMyItems()) {
        format += " AND recipeName = %@";
        arguments.push_back(Value());
    } else if (m_choice && m_choice->isRecipe()) {
        format += " AND recipeName = %@";
        arguments.push_back(Value(m_choice->recipeName()));
    }
    std::vector<SortDescriptor> sort{SortDescriptor(m_byAisle ? "aisle" : "recipeName"),
                                     SortDescriptor("ingredient"), SortDescriptor("name")};
    m_query = std::make_unique<QVArrayController>(
        FetchRequest{GroceryListItem::kEntityName, livePredicateAnd(format, std::move(arguments)),
                     std::move(sort), 0, true},
        &m_context);
    m_query->setDelegate(this);
    if (auto fetched = m_query->performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
    constructData();
}

std::string GroceryListController::sectionTitle(const GroceryListItem& item) const {
    if (!m_byAisle) {
        return item.recipeTitle();
    }
    std::string title = item.localizedAisle();
    return title.empty() ? tr(kMiscellaneousAisle) : title;
}

void GroceryListController::constructData() {
    m_isUpdating = true;
    saveSelection();
    std::vector<std::shared_ptr<GroceryListItem>> fetched;
    bool aisleFilledIn = false;
    if (m_query) {
        fetched.reserve(m_query->arrangedObjects().size());
        for (const auto& object : m_query->arrangedObjects()) {
            auto item = std::static_pointer_cast<GroceryListItem>(object);
            if (m_byAisle && item->storedAisle().value_or("").empty()) {
                item->aisle();  // recognised and stored now, so it sorts into its run
                aisleFilledIn = true;
            }
            fetched.push_back(std::move(item));
        }
    }
    if (aisleFilledIn) {
        std::stable_sort(fetched.begin(), fetched.end(), [&](const auto& a, const auto& b) {
            return compareBySortDescriptors(m_query->fetchRequest().sortDescriptors, *a, *b) < 0;
        });
    }

    m_items.clear();
    m_sections.clear();
    const bool consolidate = shouldConsolidate();
    for (const auto& item : fetched) {
        std::string title = sectionTitle(*item);
        if (m_sections.empty() || m_sections.back().name != title) {
            m_sections.push_back({title, item->aisle(), {}});
            m_items.emplace_back(title);
        }
        bool consolidated = false;
        insertGroceryListItem(item, m_sections.back(), consolidate, true, &consolidated);
    }
    m_empty = fetched.empty();
    if (m_delegate) {
        m_delegate->reloadTable();
        m_delegate->showEmptyLabel(m_empty);
    }
    restoreSelection();
    m_isUpdating = false;
}

std::vector<std::shared_ptr<ConsolidatedItem>> GroceryListController::filterConsolidatedItems(
    const GroceryListSection& section, const std::string& ingredient) {
    std::vector<std::shared_ptr<ConsolidatedItem>> rows;
    if (ingredient.empty()) {
        return rows;
    }
    for (const auto& row : section.rows) {
        if (row->ingredient() == ingredient) {
            rows.push_back(row);
        }
    }
    return rows;
}

std::shared_ptr<ConsolidatedItem> GroceryListController::insertGroceryListItem(
    const std::shared_ptr<GroceryListItem>& item, GroceryListSection& section,
    bool shouldConsolidate, bool shouldCreateItem, bool* consolidated) {
    if (consolidated != nullptr) {
        *consolidated = false;
    }
    if (shouldConsolidate) {
        const std::string ingredient = item->ingredient().value_or("");
        const std::string name = item->name().value_or("");
        const auto& parser = ingredientParserOf(m_context);
        for (const auto& row : filterConsolidatedItems(section, ingredient)) {
            if (auto merged = parser.consolidateItems(row->name(), name, ingredient)) {
                row->setName(std::move(*merged));
                row->addItem(item);
                if (consolidated != nullptr) {
                    *consolidated = true;
                }
                return row;
            }
        }
    }
    if (!shouldCreateItem) {
        return nullptr;
    }
    auto row = std::make_shared<ConsolidatedItem>(item);
    section.rows.push_back(row);
    m_items.emplace_back(row);
    return row;
}

std::shared_ptr<ConsolidatedItem> GroceryListController::rowAt(std::size_t index) const {
    if (index >= m_items.size()) {
        return nullptr;
    }
    const auto* row = std::get_if<std::shared_ptr<ConsolidatedItem>>(&m_items[index]);
    return row != nullptr ? *row : nullptr;
}

std::optional<std::size_t> GroceryListController::indexOfRow(const ConsolidatedItem& row) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (rowAt(i).get() == &row) {
            return i;
        }
    }
    return std::nullopt;
}

std::shared_ptr<ConsolidatedItem> GroceryListController::consolidatedItemForGroceryListItem(
    const GroceryListItem& item) const {
    for (const auto& section : m_sections) {
        for (const auto& row : section.rows) {
            if (row->containsItem(item)) {
                return row;
            }
        }
    }
    return nullptr;
}

Result<void> GroceryListController::save() {
    return m_context.save();
}

}  // namespace miravel
