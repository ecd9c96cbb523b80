#pragma once

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace miravel {

class Library;
class RecipeImporter;

// The extensions the import chooser offers, in the order it lists them.
const std::vector<std::string_view>& importFileExtensions();

// The importer for a file, chosen by its extension without regard to case; null when no
// importer reads such files.
std::unique_ptr<RecipeImporter> importerForFile(const std::filesystem::path& path,
                                                Library& library);

}  // namespace miravel
