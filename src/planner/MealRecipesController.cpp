#include "planner/MealRecipesController.h"

#include "lib/Log.h"
#include "model/Recipe.h"
#include "model/RecipeSearch.h"
#include "model/SyncedObject.h"

namespace miravel {

// The chooser shows a photo and a name; its searches run in the store, so the long texts of
// thousands of recipes are never read for it.
MealRecipesController::MealRecipesController(ManagedObjectContext& context, bool fetchNow)
    : m_searchContext(kSearchByName),
      m_recipes(FetchRequest{Recipe::kEntityName,
                             std::nullopt,
                             {SortDescriptor::localized("name")},
                             0,
                             true,
                             {"name", "photo", "status"}},
                &context) {
    m_recipes.setDelegate(this);
    if (fetchNow) {
        start();
    }
}

void MealRecipesController::start() {
    if (!m_started) {
        m_started = true;
        fetch();
    }
}

MealRecipesController::~MealRecipesController() = default;

void MealRecipesController::changeSearchContext(const std::string& context) {
    m_searchContext = context;
    fetch();
}

std::string MealRecipesController::placeholder() const {
    return recipeSearchPlaceholder(m_searchContext);
}

void MealRecipesController::search(const std::string& text) {
    m_searchText = text;
    fetch();
}

void MealRecipesController::fetch() {
    if (!m_started) {
        return;  // the search is kept for the first fetch
    }
    std::vector<Predicate> predicates{livePredicate()};
    if (auto search = recipeSearchPredicate(m_searchContext, m_searchText)) {
        predicates.push_back(*search);
    }
    m_recipes.setFetchPredicate(Predicate::andPredicate(predicates));
    if (auto fetched = m_recipes.performFetch(); !fetched) {
        logUnresolvedError(fetched.error());
    }
}

std::vector<std::shared_ptr<Recipe>> MealRecipesController::recipes() const {
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (const auto& object : m_recipes.arrangedObjects()) {
        recipes.push_back(std::static_pointer_cast<Recipe>(object));
    }
    return recipes;
}

std::shared_ptr<Recipe> MealRecipesController::recipeAtRow(std::size_t row) const {
    const auto& objects = m_recipes.arrangedObjects();
    return row < objects.size() ? std::static_pointer_cast<Recipe>(objects[row]) : nullptr;
}

}  // namespace miravel
