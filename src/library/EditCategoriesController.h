#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"
#include "model/RecipeCategory.h"

namespace miravel {

class ManagedObjectContext;

// The recipe editor's category check-list: every live category, each with a check box that
// says whether the recipe being edited is filed in it. The editor hands in the recipe's set
// and takes the chosen set back when it writes the recipe.
class EditCategoriesController {
public:
    enum class Column { Chosen, Name };

    EditCategoriesController(ManagedObjectContext& context, bool alphabetize);

    // Copies the recipe's categories; none gives an empty set.
    void setCategories(const std::optional<std::vector<std::shared_ptr<RecipeCategory>>>& chosen);
    // The chosen set, in the order of the list.
    std::vector<std::shared_ptr<RecipeCategory>> categories() const;

    void fetchCategories();
    const std::vector<std::shared_ptr<RecipeCategory>>& listed() const { return m_listed; }

    std::size_t numberOfRows() const { return m_listed.size(); }
    std::string name(std::size_t row) const;
    bool isChosen(std::size_t row) const;
    // An edit of the name column; the status becomes "modified" and the editor's save keeps it.
    // A blank name or another category's is refused, as in the category column.
    [[nodiscard]] Result<void> setName(std::size_t row, const std::string& name);
    // A click on the check box.
    void setChosen(std::size_t row, bool chosen);

private:
    bool holds(const RecipeCategory* category) const;

    ManagedObjectContext& m_context;
    bool m_alphabetize;
    std::vector<std::shared_ptr<RecipeCategory>> m_listed;
    std::vector<std::shared_ptr<RecipeCategory>> m_chosen;
};

}  // namespace miravel
