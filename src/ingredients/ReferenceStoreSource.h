#pragma once

#include <string_view>
#include <vector>

#include "ingredients/IngredientReferenceStore.h"
#include "lib/Error.h"

namespace miravel {

// Reads the human-editable sources of the reference store.
//
// ingredients.txt: "[Aisle]" headers, then "name | plural" or "name" lines;
// units.txt: "[canonical unit]" headers, then "form | plural" or "form" lines.
// "#" starts a comment line. A name listed twice, an entry before any header or an aisle
// outside `aisles` is an error naming the line, so a typo cannot ship silently.
[[nodiscard]] Result<std::vector<IngredientRow>> readIngredientSource(
    std::string_view text, const std::vector<std::string>& aisles);
[[nodiscard]] Result<std::vector<UnitRow>> readUnitSource(std::string_view text);

}  // namespace miravel
