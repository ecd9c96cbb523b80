#include "import/ImporterDispatch.h"

#include <algorithm>
#include <functional>
#include <string>

#include "import/GourmetImporter.h"
#include "import/KRecipesImporter.h"
#include "import/MacGourmetImporter.h"
#include "import/MasterCookImporter.h"
#include "import/MasterCookMxpImporter.h"
#include "import/MealMasterImporter.h"
#include "import/MiravelRecipeImporter.h"
#include "import/RecipeMLImporter.h"
#include "import/SchemaRecipeImporter.h"
#include "import/SousChefImporter.h"
#include "import/XmlFileImporter.h"
#include "import/YamlImporter.h"
#include "import/YumImporter.h"
#include "import/YummySoupImporter.h"
#include "lib/AtomicFile.h"

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
        {"mgourmet", factory<MacGourmetImporter>()},
        {"mgourmet3", factory<MacGourmetImporter>()},
        {"ysr", factory<YummySoupImporter>()},
        {"mx2", factory<MasterCookImporter>()},
        {"yml", factory<YamlImporter>()},
        {"miravelrecipe", factory<MiravelRecipeImporter>()},
        {"miravelrecipes", factory<MiravelRecipesImporter>()},
        {"mxp", factory<MasterCookMxpImporter>()},
        {"mmf", factory<MealMasterImporter>()},
        {"xml", factory<YumImporter>()},
        {"vrc", factory<SousChefImporter>()},
        // The XML files of the open-source recipe managers Gourmet and KRecipes.
        {"grmt", factory<GourmetImporter>()},
        {"kreml", factory<KRecipesImporter>()},
        {"kre", factory<KRecipesImporter>()},
        // Beyond the formats of other recipe programs: the Markdown recipes of static sites.
        {"md", factory<FrontMatterImporter>()},
        // The schema.org recipes of web pages, as other recipe managers keep and export them.
        {"json", factory<SchemaRecipeImporter>()},
        {"zip", factory<SchemaRecipeArchiveImporter>()},
    };
    return table;
}

// Its root element is near the start: only that much is read, and a file that is no plain
// file (a FIFO named ".xml") is not waited on.
bool isRecipeMLFile(const std::filesystem::path& path) {
    constexpr std::size_t kStartBytes = 64 * 1024;
    auto start =
        readFile(path, {.maxBytes = kStartBytes, .prefixOnly = true, .regularFileOnly = true});
    if (!start) {
        return false;
    }
    auto root = xmlRootName(*start);
    if (!root) {
        return false;
    }
    std::transform(root->begin(), root->end(), root->begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return *root == "recipeml";
}

}  // namespace

const std::vector<std::string_view>& importFileExtensions() {
    static const std::vector<std::string_view> extensions = {
        "miravelrecipe", "miravelrecipes", "mx2", "mxp", "mmf", "ysr",  "yml",
        "mgourmet",      "mgourmet3",      "xml", "vrc", "md",  "json", "zip",
        "grmt",          "kreml",          "kre"};
    return extensions;
}

namespace {

std::string lowerExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
}

}  // namespace

bool isImportableFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    const std::string extension = lowerExtension(path);
    return std::any_of(formats().begin(), formats().end(),
                       [&](const Format& format) { return format.extension == extension; });
}

std::unique_ptr<RecipeImporter> importerForFile(const std::filesystem::path& path,
                                                Library& library) {
    const std::string extension = lowerExtension(path);
    // Yum and RecipeML files share the extension; a RecipeML file says so by its root.
    if (extension == "xml" && isRecipeMLFile(path)) {
        return std::make_unique<RecipeMLImporter>(library);
    }
    for (const Format& format : formats()) {
        if (format.extension == extension) {
            return format.make(library);
        }
    }
    return nullptr;
}

}  // namespace miravel
