#include "library/RecipesController.h"

#include <algorithm>
#include <chrono>

#include "lib/ApplicationIdentifier.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "library/RecipeTrash.h"
#include "model/RecipeSearch.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

constexpr const char* kListErrorDomain = "miravel.recipes";
enum class ListErrorCode { ValueDoesNotFit = 1 };

}  // namespace

RecipesController::RecipesController(ManagedObjectContext& context,
                                     RecipesControllerDelegate* delegate)
    : m_context(context),
      m_delegate(delegate),
      m_statusPredicate(livePredicate()),
      m_sort(SortDescriptor::localized("name")) {}

RecipesController::~RecipesController() {
    *m_alive = false;
}

void RecipesController::setCategory(const CategorySelection& selection) {
    m_category = selection;
    m_categoryPredicate.reset();
    m_sort = SortDescriptor::localized("name");
    if (const auto* category = std::get_if<std::shared_ptr<RecipeCategory>>(&selection)) {
        if (*category) {
            m_categoryPredicate =
                Predicate::fromTrustedFormat("%@ in categories", {Value((*category)->objectID())});
        }
    } else {
        const auto& preset = std::get<std::string>(selection);
        if (preset == kPresetFavorites) {
            m_categoryPredicate = Predicate::fromTrustedFormat("onFavorites == YES");
        } else if (preset == kPresetUncategorized) {
            m_categoryPredicate = Predicate::fromTrustedFormat("categories.@count == 0");
        } else if (preset == kPresetMostRecent) {
            m_sort = SortDescriptor("created", false);
        } else if (preset == kPresetTopRated) {
            m_sort = SortDescriptor("rating", false);
        }
    }
    m_searchText.clear();
    m_searchPredicate.reset();
    if (m_delegate) {
        m_delegate->setSearchFieldText("");
    }
    fetchRecipes();
}

void RecipesController::search(const std::string& text) {
    m_searchText = text;
    m_searchPredicate = recipeSearchPredicate(m_searchContext, m_searchText);
    fetchRecipes();
}

void RecipesController::changeSearchContext(const std::string& title) {
    m_searchContext = title;
    if (m_delegate) {
        std::string placeholder = tr("Search By %@");
        if (auto at = placeholder.find("%@"); at != std::string::npos) {
            placeholder.replace(at, 2, tr(title));
        }
        m_delegate->setSearchPlaceholder(placeholder);
    }
    search(m_searchText);
}

void RecipesController::fetchRecipes() {
    std::vector<Predicate> predicates{m_statusPredicate};
    if (m_searchPredicate) {
        predicates.push_back(*m_searchPredicate);
    }
    if (m_categoryPredicate) {
        predicates.push_back(*m_categoryPredicate);
    }
    Predicate predicate = Predicate::andPredicate(predicates);
    // The live result has no setter for its request's sort keys, so a new order needs a new
    // one. The list reads only short properties (its columns, the grid's photo, what its
    // filters and commands test); the long texts load when a recipe is opened.
    const auto* current = m_arrayController ? &m_arrayController->fetchRequest() : nullptr;
    const bool first = current == nullptr;
    if (current == nullptr || current->sortDescriptors.size() != 1 ||
        current->sortDescriptors[0].key != m_sort.key ||
        current->sortDescriptors[0].ascending != m_sort.ascending ||
        current->sortDescriptors[0].comparison != m_sort.comparison) {
        m_arrayController = std::make_unique<QVArrayController>(
            FetchRequest{
                Recipe::kEntityName,
                predicate,
                {m_sort},
                0,
                true,
                {"name", "created", "prepTime", "cookTime", "source", "sourceUrl", "difficulty",
                 "rating", "photo", "servings", "onFavorites", "status", "uid"}},
            &m_context);
        m_arrayController->setDelegate(this);
    }
    m_arrayController->setFetchPredicate(predicate);
    ++m_generation;
    m_restPending = false;
    MainQueue* queue = m_context.processingQueue();
    const bool batched = first && m_firstBatch > 0 && (queue != nullptr || m_scheduleRest);
    m_arrayController->setFetchLimit(batched ? m_firstBatch : 0);
    if (auto fetched = m_arrayController->performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
    if (batched && m_arrayController->arrangedObjects().size() == m_firstBatch) {
        // Maybe more: the count says how many, the rest comes once this batch is shown.
        m_arrayController->setFetchLimit(0);
        auto whole = m_context.countForFetchRequest(m_arrayController->fetchRequest());
        m_wholeCount = whole ? *whole : m_firstBatch;
        m_restPending = true;
        std::weak_ptr<bool> alive = m_alive;
        auto rest = [this, alive, generation = m_generation] {
            if (!alive.expired()) {
                fetchRest(generation);
            }
        };
        if (m_scheduleRest) {
            m_scheduleRest(std::move(rest));
        } else {
            queue->post(std::move(rest));
        }
    }
    reload();
}

void RecipesController::fetchRest(std::uint64_t generation) {
    if (generation != m_generation || !m_restPending || !m_arrayController) {
        return;  // fetched again meanwhile, whole
    }
    m_restPending = false;
    const auto shown = m_arrayController->arrangedObjects();
    if (auto fetched = m_arrayController->performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
        updateNumRecipes();
        return;
    }
    const auto& whole = m_arrayController->arrangedObjects();
    const bool extendsShown =
        shown.size() <= whole.size() && std::equal(shown.begin(), shown.end(), whole.begin());
    if (!extendsShown || !m_rowObserver) {
        reload();
        return;
    }
    // The first rows stay where they are, selection and all: the rest are insertions.
    m_rowObserver->controllerWillChangeContent(*m_arrayController);
    for (std::size_t i = shown.size(); i < whole.size(); ++i) {
        m_rowObserver->controller(*m_arrayController, whole[i], -1, ChangeType::Insert,
                                  static_cast<int>(i));
    }
    m_rowObserver->controllerDidChangeContent(*m_arrayController);
    updateNumRecipes();
}

std::size_t RecipesController::count() const {
    return m_arrayController ? m_arrayController->arrangedObjects().size() : 0;
}

std::shared_ptr<Recipe> RecipesController::recipeAt(std::size_t row) const {
    if (row >= count()) {
        return nullptr;
    }
    return std::static_pointer_cast<Recipe>(m_arrayController->arrangedObjects()[row]);
}

std::string RecipesController::countText() const {
    std::size_t n = m_restPending ? std::max(m_wholeCount, count()) : count();
    if (n == 0) {
        return tr("No Recipes");
    }
    return std::to_string(n) + " " + tr(n == 1 ? "Recipe" : "Recipes");
}

bool RecipesController::showsEmptyState() const {
    bool realCategory = std::holds_alternative<std::shared_ptr<RecipeCategory>>(m_category) &&
                        std::get<std::shared_ptr<RecipeCategory>>(m_category) != nullptr;
    return m_gridView && count() == 0 && !realCategory;
}

void RecipesController::setGridView(bool grid) {
    m_gridView = grid;
    reload();
}

void RecipesController::updateNumRecipes() {
    if (m_delegate) {
        m_delegate->showRecipeCount(countText(), showsEmptyState());
    }
}

void RecipesController::reload() {
    if (m_delegate) {
        m_delegate->reloadRecipes();
    }
    updateNumRecipes();
}

void RecipesController::controllerWillChangeContent(QVArrayController& controller) {
    if (m_rowObserver) {
        m_rowObserver->controllerWillChangeContent(controller);
    }
}

void RecipesController::controller(QVArrayController& controller,
                                   const std::shared_ptr<ManagedObject>& object, int index,
                                   ChangeType type, int newIndex) {
    if (m_rowObserver) {
        m_rowObserver->controller(controller, object, index, type, newIndex);
    }
}

void RecipesController::controllerDidChangeContent(QVArrayController& controller) {
    if (!m_rowObserver) {
        reload();
        return;
    }
    m_rowObserver->controllerDidChangeContent(controller);
    updateNumRecipes();
}

void RecipesController::sortByColumns(
    const std::vector<std::pair<std::string, bool>>& columnsAscending) {
    std::vector<SortDescriptor> keys;
    for (const auto& [column, ascending] : columnsAscending) {
        if (auto key = sortDescriptorForColumn(column, ascending)) {
            keys.push_back(std::move(*key));
        }
    }
    if (m_restPending) {
        fetchRest(m_generation);  // a column orders the whole list
    }
    if (m_arrayController && !keys.empty()) {
        m_arrayController->setSortDescriptors(std::move(keys));
    }
    reload();
}

Value RecipesController::objectValue(std::string_view column, std::size_t row) const {
    auto recipe = recipeAt(row);
    return recipe ? objectValue(column, *recipe) : Value();
}

Value RecipesController::objectValue(std::string_view column, const Recipe& recipe) {
    const RecipeListColumn* described = recipeListColumn(column);
    if (described == nullptr) {
        return Value();
    }
    if (column == "difficulty") {
        return Value(LocalizedSettingsManager::sharedManager().localizedDifficultyForDifficulty(
            recipe.difficulty()));
    }
    if (column == "created") {
        auto created = recipe.created();
        return created ? Value(createdDateText(*created, currentMoment())) : Value();
    }
    return recipe.value(described->attribute);
}

Result<void> RecipesController::setObjectValue(std::string_view column, std::size_t row,
                                               Value value) {
    auto recipe = recipeAt(row);
    const RecipeListColumn* described = recipeListColumn(column);
    if (!recipe || described == nullptr || !described->editable || recipe->isReallyDeleted()) {
        return {};
    }
    bool isRating = column == "rating";
    bool fits = value.isNull() ||
                (isRating ? value.isInteger() && value.asInteger() >= 0 && value.asInteger() <= 5
                          : value.isText());
    if (!fits) {
        return makeError(kListErrorDomain, ListErrorCode::ValueDoesNotFit,
                         isRating ? "A rating is 0 to 5 stars." : "The column takes text.");
    }
    recipe->setValue(described->attribute, std::move(value));
    recipe->setModified();
    return m_context.save();
}

std::shared_ptr<Recipe> RecipesController::clickedRecipe() const {
    return m_clickedRow ? recipeAt(*m_clickedRow) : nullptr;
}

std::vector<std::shared_ptr<Recipe>> RecipesController::targets(bool withClicked) const {
    std::vector<std::size_t> rows = m_selectedRows;
    if (withClicked && m_clickedRow &&
        std::find(rows.begin(), rows.end(), *m_clickedRow) == rows.end()) {
        rows.push_back(*m_clickedRow);
    }
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (std::size_t row : rows) {
        if (auto recipe = recipeAt(row)) {
            recipes.push_back(std::move(recipe));
        }
    }
    return recipes;
}

Result<void> RecipesController::deleteRecipe(bool fromContextMenu) {
    auto recipes = targets(fromContextMenu);
    if (recipes.empty() || !m_delegate) {
        return {};
    }
    if (!m_delegate->confirmDeletion(recipeDeletionQuestion(recipes))) {
        return {};
    }
    m_selectedRows.clear();
    m_delegate->clearSelection();
    // Detached, the list does not chase each deletion; it is fetched once afterwards.
    m_arrayController->setManagedObjectContext(nullptr);
    auto deleted = RecipeTrash(m_context).deleteRecipes(recipes);
    m_arrayController->setManagedObjectContext(&m_context);
    fetchRecipes();
    return deleted;
}

Result<void> RecipesController::toggleFavorites(bool menuItemChecked) {
    auto recipe = clickedRecipe();
    if (!recipe) {
        return {};
    }
    recipe->setOnFavorites(!menuItemChecked);
    recipe->setModified();
    auto saved = m_context.save();
    if (saved && m_delegate) {
        m_delegate->showNotice(
            tr(menuItemChecked ? "Recipe removed from favorites." : "Recipe added to favorites."));
    }
    return saved;
}

void RecipesController::addToGroceryList() {
    auto recipe = clickedRecipe();
    if (!recipe || !m_delegate) {
        return;
    }
    m_delegate->chooseIngredients({recipe}, m_context, [delegate = m_delegate](bool chosen) {
        if (chosen) {
            delegate->showNotice(tr("Recipe added to grocery list."));
        }
    });
}

void RecipesController::emailRecipe() {
    if (auto recipe = clickedRecipe(); recipe && m_delegate) {
        m_delegate->emailRecipe(recipe);
    }
}

void RecipesController::printRecipe() {
    if (auto recipe = clickedRecipe(); recipe && m_delegate) {
        m_delegate->printRecipe(recipe);
    }
}

void RecipesController::openRecipe() {
    if (auto recipe = clickedRecipe(); recipe && m_delegate) {
        m_delegate->openRecipe(recipe);
    }
}

void RecipesController::openRecipeInNewWindow() {
    if (!m_delegate) {
        return;
    }
    for (const auto& recipe : targets(true)) {
        m_delegate->openRecipeInNewWindow(recipe);
    }
}

void RecipesController::editRecipe() {
    if (auto recipe = clickedRecipe(); recipe && m_delegate) {
        m_delegate->editRecipe(recipe);
    }
}

void RecipesController::newRecipe() {
    if (m_delegate) {
        m_delegate->newRecipe();
    }
}

MenuItemState RecipesController::validateMenuItem(RecipeMenu menu, std::string_view title) const {
    if (menu == RecipeMenu::Search) {
        return {true, title == m_searchContext};
    }
    if (title == kMenuNewRecipe) {
        return {true, false};
    }
    auto recipe = clickedRecipe();
    if (!recipe) {
        return {};
    }
    if (title == kMenuFavorites) {
        return {true, recipe->onFavorites().value_or(false)};
    }
    static constexpr const char* kEnabledForARow[] = {
        kMenuEdit,          kMenuDelete, kMenuPrint,           kMenuEmail,
        kMenuAddToMealPlan, kMenuOpen,   kMenuOpenInNewWindow, kMenuAddToGroceryList};
    bool known = std::any_of(std::begin(kEnabledForARow), std::end(kEnabledForARow),
                             [&](const char* item) { return title == item; });
    return {known, false};
}

RecipeDrag RecipesController::writeRows(const std::vector<std::size_t>& rows) const {
    RecipeDrag drag{pasteboardType(Recipe::kEntityName), {}};
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(drag.rows),
                 [&](std::size_t row) { return row < count(); });
    return drag;
}

}  // namespace miravel
