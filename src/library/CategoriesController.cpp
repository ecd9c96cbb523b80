#include "library/CategoriesController.h"

#include <algorithm>

#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

const RecipeCategory* categoryIn(const CategoryColumnItem& item) {
    auto* category = std::get_if<std::shared_ptr<RecipeCategory>>(&item);
    return category != nullptr ? category->get() : nullptr;
}

}  // namespace

CategoriesController::CategoriesController(ManagedObjectContext& context, UserSettings& settings,
                                           CategorySelectionListener& recipeList,
                                           CategoriesControllerDelegate& delegate)
    : m_context(context),
      m_recipeList(recipeList),
      m_delegate(delegate),
      m_queue(MainQueue::shared()),
      m_alphabetize(settings.boolean(kAlphabetizeCategoriesKey)) {}

CategoriesController::~CategoriesController() {
    *m_alive = false;
}

void CategoriesController::start() {
    fetchCategories();
    selectionDidChange(1);
}

std::vector<SortDescriptor> CategoriesController::sortDescriptors(bool alphabetize) {
    if (alphabetize) {
        return {SortDescriptor::localized("name"), SortDescriptor("orderFlag")};
    }
    return {SortDescriptor("orderFlag"), SortDescriptor::localized("name")};
}

std::int64_t CategoriesController::lastOrderFlag(ManagedObjectContext& context) {
    auto maximum = context.maximum(RecipeCategory::kEntityName, "orderFlag", livePredicate());
    if (!maximum) {
        logLine("Error getting last order flag count: {}", maximum.error().description);
        return 0;
    }
    return maximum->isInteger() ? maximum->asInteger() : 0;
}

std::optional<std::size_t> CategoriesController::reorderDestination(std::size_t categoryCount,
                                                                    int childIndex,
                                                                    std::size_t source) {
    if (childIndex < static_cast<int>(kPresetCount) || source >= categoryCount) {
        return std::nullopt;
    }
    // The insertion point counts the dragged category, which leaves its place first.
    std::size_t point = static_cast<std::size_t>(childIndex) - kPresetCount;
    std::size_t destination = point <= source ? point : point - 1;
    destination = std::min(destination, categoryCount - 1);
    if (destination == source) {
        return std::nullopt;
    }
    return destination;
}

void CategoriesController::fetchCategories() {
    m_query = std::make_unique<QVArrayController>(
        FetchRequest{RecipeCategory::kEntityName, livePredicate(), sortDescriptors(m_alphabetize),
                     0, true},
        &m_context);
    m_query->setDelegate(this);
    if (auto fetched = m_query->performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
    controllerDidChangeContent(*m_query);
}

void CategoriesController::setAlphabetizeCategories(bool alphabetize) {
    m_alphabetize = alphabetize;
    fetchCategories();
}

void CategoriesController::controllerDidChangeContent(QVArrayController& query) {
    m_categories.clear();
    for (const auto& object : query.arrangedObjects()) {
        m_categories.push_back(std::static_pointer_cast<RecipeCategory>(object));
    }
    m_delegate.reloadTree();
}

std::size_t CategoriesController::numberOfChildren(const CategoryColumnItem* item) const {
    if (item == nullptr) {
        return 1;
    }
    return std::holds_alternative<CategoryGroupHeading>(*item) ? kPresetCount + m_categories.size()
                                                               : 0;
}

CategoryColumnItem CategoriesController::child(std::size_t index,
                                               const CategoryColumnItem* item) const {
    if (item == nullptr) {
        return CategoryGroupHeading{};
    }
    if (index < kPresetCount) {
        return std::string(kCategoryPresets[index]);
    }
    return m_categories.at(index - kPresetCount);
}

bool CategoriesController::isExpandable(const CategoryColumnItem& item) const {
    return std::holds_alternative<CategoryGroupHeading>(item);
}

bool CategoriesController::shouldSelect(const CategoryColumnItem& item) const {
    return !std::holds_alternative<CategoryGroupHeading>(item);
}

bool CategoriesController::shouldEdit(const CategoryColumnItem& item) const {
    return categoryIn(item) != nullptr;
}

std::string CategoriesController::displayText(const CategoryColumnItem& item) const {
    if (const auto* category = categoryIn(item)) {
        return category->name().value_or("");
    }
    if (const auto* preset = std::get_if<std::string>(&item)) {
        return tr(*preset);
    }
    return tr("Categories");
}

std::optional<CategoryColumnItem> CategoriesController::itemAtRow(std::size_t row) const {
    if (row == 0) {
        return CategoryGroupHeading{};
    }
    if (row - 1 >= kPresetCount + m_categories.size()) {
        return std::nullopt;
    }
    CategoryColumnItem heading = CategoryGroupHeading{};
    return child(row - 1, &heading);
}

std::optional<std::size_t> CategoriesController::rowForItem(const CategoryColumnItem& item) const {
    if (std::holds_alternative<CategoryGroupHeading>(item)) {
        return 0;
    }
    if (const auto* preset = std::get_if<std::string>(&item)) {
        for (std::size_t i = 0; i < kPresetCount; ++i) {
            if (*preset == kCategoryPresets[i]) {
                return i + 1;
            }
        }
        return std::nullopt;
    }
    auto index = indexOf(categoryIn(item));
    return index ? std::optional(*index + kPresetCount + 1) : std::nullopt;
}

std::optional<std::size_t> CategoriesController::indexOf(const RecipeCategory* category) const {
    for (std::size_t i = 0; i < m_categories.size(); ++i) {
        if (m_categories[i].get() == category) {
            return i;
        }
    }
    return std::nullopt;
}

void CategoriesController::selectionDidChange(std::size_t row) {
    auto item = itemAtRow(row);
    if (!item || !shouldSelect(*item)) {
        return;
    }
    if (const auto* preset = std::get_if<std::string>(&*item)) {
        select(*preset);
    } else {
        select(std::get<std::shared_ptr<RecipeCategory>>(*item));
    }
}

void CategoriesController::select(const CategorySelection& selection) {
    m_selection = selection;
    if (auto row = rowForItem(
            std::visit([](const auto& s) { return CategoryColumnItem(s); }, selection))) {
        m_delegate.selectRow(*row);
    }
    m_recipeList.setCategory(m_selection);
    m_delegate.setRemoveButtonEnabled(removeButtonEnabled());
}

bool CategoriesController::removeButtonEnabled() const {
    return std::holds_alternative<std::shared_ptr<RecipeCategory>>(m_selection);
}

void CategoriesController::reselectLater(const std::shared_ptr<RecipeCategory>& category) {
    m_queue.post([this, alive = m_alive, category] {
        if (*alive && indexOf(category.get())) {
            select(category);
        }
    });
}

Result<void> CategoriesController::save() {
    return m_context.save();
}

Result<std::shared_ptr<RecipeCategory>> CategoriesController::newCategory() {
    // The placeholder, too, must not repeat a name: a second one is "New Category 2".
    const std::string placeholder = tr("New Category");
    std::string name = placeholder;
    for (int number = 2; !RecipeCategory::checkedName(m_context, name); ++number) {
        name = placeholder + " " + std::to_string(number);
    }
    auto category = m_context.insert<RecipeCategory>();
    category->setName(name);
    category->setOrderFlag(lastOrderFlag(m_context) + 1);
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    m_queue.post([this, alive = m_alive, category] {
        if (!*alive) {
            return;
        }
        if (auto row = rowForItem(category)) {
            m_delegate.editNameInPlace(*row);
        }
    });
    return category;
}

Result<std::shared_ptr<RecipeCategory>> CategoriesController::newCategoryNamed(
    const std::string& name) {
    auto category = RecipeCategory::insertNamed(m_context, name);
    if (!category) {
        return category;
    }
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    reselectLater(*category);
    return category;
}

Result<void> CategoriesController::rename(const CategoryColumnItem& item, const std::string& name) {
    auto* held = std::get_if<std::shared_ptr<RecipeCategory>>(&item);
    if (held == nullptr || !*held || (*held)->isReallyDeleted()) {
        return makeError(kCategoryErrorDomain, 3, tr("Only a category can be renamed."));
    }
    auto checked = RecipeCategory::checkedName(m_context, name, held->get());
    if (!checked) {
        return std::unexpected(checked.error());
    }
    (*held)->setName(std::move(*checked));
    (*held)->setStatus(kStatusModified);
    if (auto saved = save(); !saved) {
        return saved;
    }
    reselectLater(*held);
    return {};
}

Result<bool> CategoriesController::confirmDeleteCategory() {
    return deleteItem(std::visit([](const auto& s) { return CategoryColumnItem(s); }, m_selection));
}

Result<bool> CategoriesController::deleteCategory(std::size_t clickedRow) {
    if (auto item = itemAtRow(clickedRow)) {
        return deleteItem(*item);
    }
    return false;
}

Result<bool> CategoriesController::deleteItem(const CategoryColumnItem& item) {
    auto* held = std::get_if<std::shared_ptr<RecipeCategory>>(&item);
    if (held == nullptr || !*held) {
        return false;
    }
    auto category = *held;
    auto index = indexOf(category.get());
    if (!index ||
        !m_delegate.confirmDeletion(tr("Are you sure you want to delete this category?"))) {
        return false;
    }
    // The selection moves before the category goes, so the recipe list never shows a
    // category that no longer exists.
    const std::size_t count = m_categories.size();
    if (count == 1) {
        select(std::string(kPresetAllRecipes));
    } else {
        select(m_categories[*index + 1 == count ? *index - 1 : *index + 1]);
    }
    SyncedObject::deleteObjects(m_context, {category});
    if (auto saved = save(); !saved) {
        return std::unexpected(saved.error());
    }
    return true;
}

std::optional<std::size_t> CategoriesController::writeItem(const CategoryColumnItem& item) const {
    return indexOf(categoryIn(item));
}

std::vector<std::shared_ptr<Recipe>> CategoriesController::recipesLacking(
    const RecipesDrag& drag, const RecipeCategory& category) const {
    std::vector<std::shared_ptr<Recipe>> lacking;
    for (const auto& recipe : drag.recipes) {
        auto categories = recipe->categories();
        if (std::none_of(categories.begin(), categories.end(),
                         [&](const auto& held) { return held.get() == &category; })) {
            lacking.push_back(recipe);
        }
    }
    return lacking;
}

DropOperation CategoriesController::validateDrop(const CategoryColumnDrag& drag,
                                                 const CategoryColumnItem& item,
                                                 int childIndex) const {
    if (const auto* moved = std::get_if<CategoryDrag>(&drag)) {
        if (!std::holds_alternative<CategoryGroupHeading>(item) || childIndex == -1) {
            return DropOperation::None;
        }
        return reorderDestination(m_categories.size(), childIndex, moved->index)
                   ? DropOperation::Move
                   : DropOperation::None;
    }
    const auto* target = categoryIn(item);
    if (target == nullptr || childIndex != -1 || !indexOf(target)) {
        return DropOperation::None;
    }
    return recipesLacking(std::get<RecipesDrag>(drag), *target).empty() ? DropOperation::None
                                                                        : DropOperation::Copy;
}

Result<bool> CategoriesController::acceptDrop(const CategoryColumnDrag& drag,
                                              const CategoryColumnItem& item, int childIndex) {
    if (validateDrop(drag, item, childIndex) == DropOperation::None) {
        return false;
    }
    if (const auto* moved = std::get_if<CategoryDrag>(&drag)) {
        auto destination = *reorderDestination(m_categories.size(), childIndex, moved->index);
        auto order = m_categories;
        auto category = order[moved->index];
        order.erase(order.begin() + static_cast<std::ptrdiff_t>(moved->index));
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(destination), category);
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i]->setOrderFlag(static_cast<std::int64_t>(i));
            order[i]->setStatus(kStatusModified);
        }
        if (auto saved = save(); !saved) {
            return std::unexpected(saved.error());
        }
        reselectLater(category);
        return true;
    }
    auto category = std::get<std::shared_ptr<RecipeCategory>>(item);
    for (const auto& recipe : recipesLacking(std::get<RecipesDrag>(drag), *category)) {
        recipe->addCategory(category);
        recipe->setModified();
        if (auto saved = save(); !saved) {
            return std::unexpected(saved.error());
        }
    }
    return true;
}

bool CategoriesController::validateMenuItem(CategoryMenuItem item,
                                            std::optional<std::size_t> clickedRow) const {
    if (item == CategoryMenuItem::NewCategory) {
        return true;
    }
    // Row 0 is the heading, so the first category is the row after the presets.
    return clickedRow && *clickedRow > kPresetCount &&
           *clickedRow <= kPresetCount + m_categories.size();
}

}  // namespace miravel
