#include "import/SchemaRecipeImporter.h"

#include <algorithm>
#include <cctype>

#include "browser/PageRecipe.h"
#include "browser/SchemaRecipe.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/TextPieces.h"
#include "lib/Utf8.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

std::optional<std::string> textOrNothing(std::string text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return result;
}

bool isPictureName(std::string_view name) {
    const std::string lower = lowered(name);
    for (std::string_view extension :
         {".jpg", ".jpeg", ".png", ".gif", ".webp", ".tif", ".tiff", ".bmp"}) {
        if (lower.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

// The categories a recipe names: a text (maybe with commas) or an array of texts.
std::vector<std::string> categoryNames(const JsonValue& recipe) {
    std::vector<std::string> names;
    const JsonValue* categories = recipe.member("recipeCategory");
    if (categories == nullptr) {
        return names;
    }
    const auto add = [&](const std::string& text) {
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t end = std::min(text.find(',', start), text.size());
            const std::string_view name =
                trimCharacters(std::string_view(text).substr(start, end - start), kWhiteSpace);
            if (!name.empty()) {
                names.emplace_back(name);
            }
            start = end + 1;
        }
    };
    if (categories->isString()) {
        add(categories->asString());
    } else if (categories->isArray()) {
        for (const JsonValue& item : categories->asArray()) {
            if (item.isString()) {
                add(item.asString());
            }
        }
    }
    return names;
}

std::string memberString(const JsonValue& object, std::string_view key) {
    const JsonValue* member = object.member(key);
    return member != nullptr && member->isString()
               ? std::string(trimCharacters(member->asString(), kWhiteSpace))
               : std::string();
}

}  // namespace

Result<bool> SchemaRecipeImporter::importText(std::string_view text, std::string_view name,
                                              const std::map<std::string, std::string>& pictures,
                                              bool ownFolder) {
    const RepairedUtf8 repaired = replacingInvalidUtf8(text);
    auto document = parseLenientJson(repaired.text);
    if (!document) {
        recipeSkipped(std::string(name), document.error().description);
        return false;
    }
    const auto found = findSchemaRecipes(*document);
    if (found.empty()) {
        recipeSkipped(std::string(name), "no schema.org Recipe in it");
        return true;
    }
    for (const JsonValue* schema : found) {
        if (cancelled()) {
            break;
        }
        const std::string address = memberString(*schema, "url");
        // Against no base, so that a picture named relative to the file keeps its name.
        PageRecipe page = recipeFromSchema(*schema, "");
        if (page.name.empty()) {
            recipeSkipped(std::string(name), "a recipe without a name");
            continue;
        }
        auto recipe = insertRecipe();
        recipe->setName(page.name);
        recipe->setIngredients(textOrNothing(page.ingredientsText()));
        recipe->setDirections(textOrNothing(joined(page.directions, "\n")));
        recipe->setServings(textOrNothing(page.servings));
        recipe->setPrepTime(textOrNothing(page.prepTime));
        recipe->setCookTime(textOrNothing(page.cookTime));
        recipe->setNotes(textOrNothing(page.notes));
        recipe->setNutritionalInfo(textOrNothing(page.nutrition));
        if (address.starts_with("http://") || address.starts_with("https://")) {
            recipe->setSourceUrl(address);
            recipe->setSource(sourceNameForUrl(address));
        }
        // A picture shipped with the file is the photo; an address on the web stays an
        // address (an import downloads nothing).
        const std::string image = page.imageUrl;
        if (image.starts_with("http://") || image.starts_with("https://")) {
            recipe->setImageUrl(image);
        }
        std::optional<std::string> picture;
        const std::string imageName =
            image.substr(image.rfind('/') == std::string::npos ? 0 : image.rfind('/') + 1);
        for (const std::string& wanted : {image, imageName, std::string("images/") + imageName}) {
            if (auto named = pictures.find(wanted);
                !picture && !imageName.empty() && named != pictures.end()) {
                picture = named->second;
            }
        }
        if (!picture && ownFolder && !pictures.empty()) {
            picture = pictures.begin()->second;
        }
        if (picture) {
            if (auto photo = savePhoto(*picture)) {
                recipe->setPhoto(*photo);
            }
        }
        for (const std::string& category : categoryNames(*schema)) {
            addCategoryToRecipe(category, *recipe);
        }
        if (auto finished = recipeFinished(*recipe); !finished) {
            return std::unexpected(finished.error());
        }
    }
    return true;
}

ImportOutcome SchemaRecipeImporter::parseFile(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return outcome(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    // Nextcloud Cookbook keeps a recipe's pictures beside its recipe.json, "full.jpg" the
    // whole one. Any other folder's pictures count only when the recipe names them.
    std::map<std::string, std::string> pictures;
    std::error_code error;
    const bool ownFolder = lowered(path.filename().string()) == "recipe.json";
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        const std::string file = entry.path().filename().string();
        if (entry.is_regular_file(error) && isPictureName(file) && pictures.size() < 8) {
            if (auto picture = readFile(entry.path())) {
                pictures.emplace(file, std::move(*picture));
            }
        }
    }
    if (ownFolder && pictures.contains("full.jpg")) {
        pictures = {{"full.jpg", pictures["full.jpg"]}};
    }
    auto imported = importText(*bytes, path.filename().string(), pictures, ownFolder);
    if (!imported) {
        return outcome(imported.error());
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    if (!*imported) {
        return outcome(Error{applicationErrorDomain(), 100, "Unable to parse this file.",
                             records().empty() ? std::string() : records().back().reason});
    }
    return outcome();
}

ImportOutcome SchemaRecipeArchiveImporter::parseFile(const std::filesystem::path& path) {
    auto archive = ZipReader::open(getImportFilePath(path));
    if (!archive) {
        return outcome(Error{applicationErrorDomain(), 100,
                             "There was a problem importing this file.",
                             archive.error().description});
    }
    const auto& entries = archive->entries();
    const auto folderOf = [](std::string_view name) {
        const std::size_t slash = name.rfind('/');
        return std::string(slash == std::string_view::npos ? std::string_view()
                                                           : name.substr(0, slash + 1));
    };
    std::uint64_t bytesRead = 0;
    std::optional<Error> lastError;
    for (std::size_t index = 0; index < entries.size() && !cancelled(); ++index) {
        const std::string& name = entries[index].name;
        if (!lowered(name).ends_with(".json") || name.ends_with('/')) {
            continue;
        }
        auto bytes = archive->read(index);
        bytesRead += entries[index].size;
        reportBytes(std::min(bytesRead, archive->fileSize()), archive->fileSize());
        if (!bytes) {
            recipeSkipped(name, bytes.error().description);
            lastError = Error{applicationErrorDomain(), 100, "Unable to parse this file.",
                              bytes.error().description};
            continue;
        }
        // The pictures in the recipe's folder, by their names relative to it; Mealie puts
        // them into an "images" folder beside the recipe's. A folder of its own (one recipe
        // file in it, not the archive's top) gives its first picture to a recipe that names
        // none.
        const std::string folder = folderOf(name);
        const bool ownFolder =
            !folder.empty() &&
            std::count_if(entries.begin(), entries.end(), [&](const ZipReader::Entry& entry) {
                return entry.name.starts_with(folder) && lowered(entry.name).ends_with(".json") &&
                       entry.name.find('/', folder.size()) == std::string::npos;
            }) == 1;
        std::map<std::string, std::string> pictures;
        for (std::size_t other = 0; other < entries.size() && pictures.size() < 8; ++other) {
            const std::string& picture = entries[other].name;
            if (!isPictureName(picture) || !picture.starts_with(folder)) {
                continue;
            }
            const std::string relative = picture.substr(folder.size());
            if (relative.find('/') != std::string::npos && !relative.starts_with("images/")) {
                continue;
            }
            if (auto pictureBytes = archive->read(other)) {
                pictures.emplace(relative, std::move(*pictureBytes));
            }
        }
        auto imported = importText(*bytes, name, pictures, ownFolder);
        if (!imported) {
            return outcome(imported.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome(lastError);
}

}  // namespace miravel
