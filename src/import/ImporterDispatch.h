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

// Whether the import takes this file: a regular file (not a folder) whose extension, without
// regard to case, one of the importers reads. What a file dropped on the window must be.
bool isImportableFile(const std::filesystem::path& path);

// The importer for a file, chosen by its extension without regard to case; null when no
// importer reads such files.
std::unique_ptr<RecipeImporter> importerForFile(const std::filesystem::path& path,
                                                Library& library);

}  // namespace miravel
