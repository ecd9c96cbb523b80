#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"

namespace miravel {

class Recipe;

// A folder of static web pages: one page per recipe, an index, and the photos in "images".
// Pages are UTF-16 (little-endian, with a byte order mark), as other installations have
// always written them. Recipe values are escaped: a "<" in a name, or markup clipped with a
// recipe, is shown as text and never runs.
namespace HtmlExport {

// The page text of one recipe.
std::string htmlForRecipe(const Recipe& recipe);
// The style block every page carries.
const std::string& styles();
// The name a page and the index show: at most 255 UTF-16 units, "Untitled Recipe <fallback>"
// for none.
std::string recipeName(const std::optional<std::string>& name, const std::string& fallback);
// False for nothing, blank text and the "---" other programs write for no value.
bool notEmpty(const std::optional<std::string>& text);

// Writes one recipe's page (and copies its photo) into `folder`; `pageNames` makes page
// names unique across one export. Returns the page's file name.
std::string exportRecipeToHtml(const Recipe& recipe, const std::filesystem::path& folder,
                               std::map<std::string, int>* pageNames);

// Writes every recipe and the index into a new folder at `location`, replacing only an empty
// folder or an earlier export found there (recognised by its index); anything else there is
// an error and stays untouched. The folder is built beside the location and moved into place
// when complete. Returns the recipes that got no page.
[[nodiscard]] Result<std::vector<std::shared_ptr<Recipe>>> exportRecipesToHtml(
    const std::vector<std::shared_ptr<Recipe>>& recipes, const std::filesystem::path& location);

// The index's marker, by which a later export knows the folder as one of ours.
inline constexpr std::string_view kIndexMarker = "<meta content=\"miravelrecipeindex\" />";

}  // namespace HtmlExport

}  // namespace miravel
