#include "library/EditCategoriesController.h"

#include <algorithm>

#include "lib/Log.h"
#include "library/CategoriesController.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

EditCategoriesController::EditCategoriesController(ManagedObjectContext& context, bool alphabetize)
    : m_context(context), m_alphabetize(alphabetize) {}

void EditCategoriesController::setCategories(
    const std::optional<std::vector<std::shared_ptr<RecipeCategory>>>& chosen) {
    m_chosen.clear();
    for (const auto& category : chosen.value_or(std::vector<std::shared_ptr<RecipeCategory>>{})) {
        if (category && !holds(category.get())) {
            m_chosen.push_back(category);
        }
    }
}

std::vector<std::shared_ptr<RecipeCategory>> EditCategoriesController::categories() const {
    // Listed ones first in list order; any the list does not show (a tombstone the recipe
    // still links to) stay chosen after them, since unticking was never offered.
    std::vector<std::shared_ptr<RecipeCategory>> result;
    for (const auto& category : m_listed) {
        if (holds(category.get())) {
            result.push_back(category);
        }
    }
    for (const auto& category : m_chosen) {
        if (std::find(result.begin(), result.end(), category) == result.end()) {
            result.push_back(category);
        }
    }
    return result;
}

void EditCategoriesController::fetchCategories() {
    auto fetched = m_context.fetch<RecipeCategory>(
        livePredicate(), CategoriesController::sortDescriptors(m_alphabetize));
    if (!fetched) {
        logLine("Categories could not be fetched. Error: {}", fetched.error().description);
        return;
    }
    m_listed = std::move(*fetched);
}

std::string EditCategoriesController::name(std::size_t row) const {
    return m_listed.at(row)->name().value_or("");
}

bool EditCategoriesController::isChosen(std::size_t row) const {
    return holds(m_listed.at(row).get());
}

Result<void> EditCategoriesController::setName(std::size_t row, const std::string& name) {
    auto& category = m_listed.at(row);
    auto checked = RecipeCategory::checkedName(m_context, name, category.get());
    if (!checked) {
        return std::unexpected(checked.error());
    }
    category->setName(std::move(*checked));
    category->setStatus(kStatusModified);
    return {};
}

void EditCategoriesController::setChosen(std::size_t row, bool chosen) {
    const auto& category = m_listed.at(row);
    if (chosen && !holds(category.get())) {
        m_chosen.push_back(category);
    } else if (!chosen) {
        std::erase(m_chosen, category);
    }
}

bool EditCategoriesController::holds(const RecipeCategory* category) const {
    return std::any_of(m_chosen.begin(), m_chosen.end(),
                       [&](const auto& held) { return held.get() == category; });
}

}  // namespace miravel
