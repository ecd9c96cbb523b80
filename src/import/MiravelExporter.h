#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/Error.h"

namespace miravel {

class Recipe;

// Names the entries of one archive: the first recipe with a name keeps it, later ones with
// the same name (compared without the extension, ignoring case) get " 2", " 3"... in their
// own case: Pie, pie, Pie give Pie, pie 2, Pie 3.
class ArchiveEntryNames {
public:
    std::string uniqueName(const std::string& fileName);

private:
    std::vector<std::pair<std::string, int>> m_counters;
};

class MiravelExporter {
public:
    // Writes the recipes, in order, as a recipe archive at `location` and returns the archive's
    // file name. The archive is written beside the location and takes its place only once
    // complete, so a failure leaves whatever was there before untouched. `progress`, when
    // given, hears the number of recipes written so far.
    [[nodiscard]] static Result<std::string> exportRecipesToMiravelFormat(
        const std::vector<std::shared_ptr<Recipe>>& recipes, const std::filesystem::path& location,
        const std::function<void(std::size_t)>& progress = {});

    // One recipe as a recipe file at `location`, replaced atomically.
    [[nodiscard]] static Result<void> exportRecipeFile(const Recipe& recipe,
                                                       const std::filesystem::path& location);
};

}  // namespace miravel
