#include "import/MiravelRecipeImporter.h"

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"

namespace miravel {

namespace {

std::optional<std::string> textOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    if (value == nullptr || !value->isString()) {
        return std::nullopt;
    }
    return value->asString();
}

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

std::optional<std::string> decodeLenientBase64(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char ch : text) {
        const bool alphabet = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                              (ch >= '0' && ch <= '9') || ch == '+' || ch == '/';
        if (alphabet) {
            kept.push_back(ch);
        }
    }
    kept.append((4 - kept.size() % 4) % 4, '=');
    if (kept.size() % 4 == 1) {
        kept.pop_back();  // a lone sextet carries no whole byte
    }
    kept.append((4 - kept.size() % 4) % 4, '=');
    return base64Decode(kept);
}

void copyRecipeFileMembers(const JsonObject& object, Recipe& recipe, RecipeFileMembers members) {
    recipe.setName(textOf(object, "name"));
    recipe.setCookTime(textOf(object, "cook_time"));
    recipe.setPrepTime(textOf(object, "prep_time"));
    recipe.setDifficulty(textOf(object, "difficulty"));
    if (members.rating) {
        recipe.setRating(integerOf(object, "rating"));
    }
    recipe.setIngredients(textOf(object, "ingredients"));
    recipe.setDirections(textOf(object, "directions"));
    if (members.notes) {
        recipe.setNotes(textOf(object, "notes"));
    }
    recipe.setSource(textOf(object, "source"));
    recipe.setServings(textOf(object, "servings"));
    recipe.setSourceUrl(textOf(object, "source_url"));
    recipe.setImageUrl(textOf(object, "image_url"));
    recipe.setNutritionalInfo(textOf(object, "nutritional_info"));
}

Result<std::shared_ptr<Recipe>> MiravelRecipeImporter::recipeFromObject(const JsonObject& object) {
    auto recipe = insertRecipe();
    copyRecipeFileMembers(object, *recipe, {});
    if (auto photoData = textOf(object, "photo_data")) {
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
