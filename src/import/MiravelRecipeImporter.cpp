#include "import/MiravelRecipeImporter.h"

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"

namespace miravel {

namespace {

std::optional<std::int64_t> integerOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    if (value == nullptr || !value->isNumber()) {
        return std::nullopt;
    }
    if (value->isInteger()) {
        return value->asInteger();
    }
    const double number = value->asDouble();
    if (!(number >= -9.0e18 && number <= 9.0e18)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

}  // namespace

void copyRecipeFileMembers(const JsonObject& object, Recipe& recipe, RecipeFileMembers members) {
    setDictionaryTexts(recipe, object);
    if (!members.notes) {
        recipe.setNotes(std::nullopt);
    }
    if (members.rating) {
        recipe.setRating(integerOf(object, "rating"));
    }
    recipe.setImageUrl(dictionaryText(object, "image_url"));
}

Result<std::shared_ptr<Recipe>> MiravelRecipeImporter::recipeFromObject(const JsonObject& object) {
    auto recipe = insertRecipe();
    copyRecipeFileMembers(object, *recipe, {});
    if (auto photoData = dictionaryText(object, "photo_data")) {
        if (auto bytes = decodeLenientBase64(*photoData)) {
            if (auto photo = savePhoto(*bytes)) {
                recipe->setPhoto(*photo);
            }
        }
    }
    if (const JsonValue* categories = object.find("categories");
        categories != nullptr && categories->isArray()) {
        for (const JsonValue& name : categories->asArray()) {
            if (name.isString()) {
                addCategoryToRecipe(name.asString(), *recipe);
            }
        }
    }
    return recipe;
}

Result<std::shared_ptr<Recipe>> MiravelRecipeImporter::parseRecipeFromData(
    std::string_view fileBytes) {
    auto object = readRecipeFile(fileBytes);
    if (!object) {
        return std::unexpected(object.error());
    }
    return recipeFromObject(*object);
}

ImportOutcome MiravelRecipeImporter::parseFile(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return outcome(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    auto recipe = parseRecipeFromData(*bytes);
    if (!recipe) {
        recipeSkipped(path.filename().string(), recipe.error().description);
        return outcome(recipe.error());
    }
    if (auto finished = recipeFinished(**recipe); !finished) {
        return outcome(finished.error());
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

ImportOutcome MiravelRecipesImporter::parseFile(const std::filesystem::path& path) {
    auto archive = ZipReader::open(getImportFilePath(path));
    if (!archive) {
        return outcome(Error{applicationErrorDomain(), 100,
                             "There was a problem importing this file.",
                             archive.error().description});
    }
    std::optional<Error> lastError;
    std::uint64_t bytesRead = 0;
    const auto& entries = archive->entries();
    for (std::size_t index = 0; index < entries.size() && !cancelled(); ++index) {
        auto bytes = archive->read(index);
        bytesRead += entries[index].size;
        reportBytes(std::min(bytesRead, archive->fileSize()), archive->fileSize());
        if (!bytes) {
            recipeSkipped(entries[index].name, bytes.error().description);
            lastError = Error{applicationErrorDomain(), 100, "Unable to parse this file.",
                              bytes.error().description};
            continue;
        }
        auto recipe = parseRecipeFromData(*bytes);
        if (!recipe) {
            recipeSkipped(entries[index].name, recipe.error().description);
            lastError = recipe.error();
            continue;
        }
        if (auto finished = recipeFinished(**recipe); !finished) {
            return outcome(finished.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome(lastError);
}

}  // namespace miravel
