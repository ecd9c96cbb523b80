#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/DateText.h"
#include "store/FetchRequest.h"

namespace miravel {

class Recipe;

// One column of the recipe table. Widths are in points; 0 means the toolkit's choice.
struct RecipeListColumn {
    const char* identifier;
    const char* header;  // English; shown translated
    const char* attribute;
    bool editable;
    double width;
    double minWidth;
    bool fixedWidth;
};

// The table's columns, in order.
const std::vector<RecipeListColumn>& recipeListColumns();
const RecipeListColumn* recipeListColumn(std::string_view identifier);

// The order a click on a column's header asks for. Names follow the user's language without
// case; the prep and cook times are free texts ordered by the minutes they name, which the
// store cannot do, so those keys carry a comparator and the result is sorted in memory.
std::optional<SortDescriptor> sortDescriptorForColumn(std::string_view identifier, bool ascending);

// The "Date Added" cell: "Today", "Yesterday" (translated), otherwise the short date of the
// C library's time locale, without the time.
std::string createdDateText(Timestamp created, Timestamp now);

// Rows dragged out of the list, under the application's recipe drag type.
struct RecipeDrag {
    std::string type;
    std::vector<std::size_t> rows;
};

}  // namespace miravel
