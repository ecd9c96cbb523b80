#include "import/ImporterDispatch.h"

#include <algorithm>
#include <functional>
#include <string>

#include "import/MasterCookImporter.h"
#include "import/MasterCookMxpImporter.h"
#include "import/MealMasterImporter.h"
#include "import/MiravelRecipeImporter.h"
#include "import/SchemaRecipeImporter.h"
#include "import/YamlImporter.h"

namespace miravel {

namespace {

using Factory = std::function<std::unique_ptr<RecipeImporter>(Library&)>;

template <typename Importer>
Factory factory() {
    return [](Library& library) { return std::make_unique<Importer>(library); };
}

struct Format {
    std::string_view extension;
    Factory make;
};

// Looked up in this order. Formats whose importer is not written yet are absent, and so
// read as unrecognised files.
const std::vector<Format>& formats() {
    static const std::vector<Format> table = {
        {"mx2", factory<MasterCookImporter>()},
        {"yml", factory<YamlImporter>()},
        {"miravelrecipe", factory<MiravelRecipeImporter>()},
        {"miravelrecipes", factory<MiravelRecipesImporter>()},
        {"mxp", factory<MasterCookMxpImporter>()},
        {"mmf", factory<MealMasterImporter>()},
        // Beyond the formats of other recipe programs: the Markdown recipes of static sites.
        {"md", factory<FrontMatterImporter>()},
        // The schema.org recipes of web pages, as other recipe managers keep and export them.
        {"json", factory<SchemaRecipeImporter>()},
        {"zip", factory<SchemaRecipeArchiveImporter>()},
    };
    return table;
}

}  // namespace

const std::vector<std::string_view>& importFileExtensions() {
    static const std::vector<std::string_view> extensions = {
        "miravelrecipe", "miravelrecipes", "mx2",       "mxp", "mmf", "ysr",
        "yml",           "mgourmet",       "mgourmet3", "xml", "vrc", "md", "json", "zip"};
    return extensions;
}

std::unique_ptr<RecipeImporter> importerForFile(const std::filesystem::path& path,
                                                Library& library) {
    std::string extension = path.extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    for (const Format& format : formats()) {
        if (format.extension == extension) {
            return format.make(library);
        }
    }
    return nullptr;
}

}  // namespace miravel
