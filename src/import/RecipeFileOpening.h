#pragma once

#include <filesystem>
#include <memory>

#include "lib/Error.h"

namespace miravel {

class Library;
class Recipe;

// A recipe file opened from the desktop (double-clicked, dropped on the application) becomes
// a new recipe of the library at once, saved in the main context, for the front end to show
// in a window of its own. Unlike an import, the photo keeps its full size, and the notes, the
// rating and the categories stay behind. Runs on the main thread.
//
// A file that is not a recipe file gives the error to show as the alert "Recipe Error".
[[nodiscard]] Result<std::shared_ptr<Recipe>> openRecipeFile(Library& library,
                                                             const std::filesystem::path& path);

inline constexpr const char* kRecipeErrorTitle = "Recipe Error";

}  // namespace miravel
