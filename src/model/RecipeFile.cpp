#include "model/RecipeFile.h"

#include <algorithm>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Utf8.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"

namespace miravel {

namespace {

constexpr std::size_t kMaxNameUnits = 235;

bool isRefusedInFileName(char ch) {
    return std::string_view("/\\?%*|\"<>\n\r\t").find(ch) != std::string_view::npos;
}

}  // namespace

std::string recipeFileName(std::string_view recipeName) {
    std::string name;
    name.reserve(recipeName.size());
    for (char ch : recipeName) {
        if (!isRefusedInFileName(ch)) {
            name.push_back(ch);
        }
    }
    if (name.empty()) {
        name = tr("Untitled Recipe");
    }
    // Count UTF-16 units: a four-byte sequence is two of them.
    std::size_t units = 0;
    std::size_t end = 0;
    while (end < name.size()) {
        const auto lead = static_cast<unsigned char>(name[end]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t width = length == 4 ? 2 : 1;
        if (units + width > kMaxNameUnits) {
            break;
        }
        units += width;
        end = std::min(name.size(), end + length);
    }
    name.resize(end);
    return name + "." + kRecipeFileExtension;
}

Result<JsonObject> readRecipeFile(std::string_view fileBytes) {
    auto fail = [](const std::string& why) {
        logLine("Error: {}", why);
        return makeError(applicationErrorDomain(), 100, "Unable to parse this file.");
    };
    auto text = inflateGzipOrZlib(fileBytes);
    if (!text) {
        return fail(text.error().description);
    }
    JsonParser::Options options;
    options.allowRawControlCharacters = true;  // our own writer emits them raw
    // Older writers passed bad bytes through; the recipe is still worth having. Sound text,
    // nearly all of it, is parsed where it is instead of copied.
    std::string repaired;
    std::string_view json = *text;
    if (!isValidUtf8(json)) {
        repaired = replacingInvalidUtf8(json).text;
        json = repaired;
    }
    auto value = JsonParser::parse(json, options);
    if (!value) {
        return fail(value.error().description);
    }
    if (!value->isObject()) {
        return fail("the recipe file holds no JSON object");
    }
    return value->asObject();
}

JsonObject Recipe::recipeFileObject() const {
    JsonObject file;
    file.set("uid", uid());
    file.set("name", textMember("name"));
    file.set("directions", textMember("directions"));
    file.set("servings", textMember("servings"));
    file.set("rating", integerMember("rating"));
    file.set("difficulty", textMember("difficulty"));
    file.set("ingredients", textMember("ingredients"));
    file.set("notes", textMember("notes"));
    file.set("created", dateMember("created"));
    file.set("image_url", textMember("imageUrl"));
    file.set("cook_time", textMember("cookTime"));
    file.set("prep_time", textMember("prepTime"));
    file.set("source", textMember("source"));
    file.set("source_url", textMember("sourceUrl"));
    auto photoHashValue = photoHash();
    file.set("photo_hash", photoHashValue ? JsonValue(*photoHashValue) : JsonValue());
    file.set("photo", textMember("photo"));
    file.set("nutritional_info", textMember("nutritionalInfo"));
    JsonValue photoData;
    if (auto path = photoPath()) {
        if (auto bytes = readFile(*path)) {
            photoData = base64Encode(*bytes);
        }
    }
    file.set("photo_data", std::move(photoData));
    std::vector<std::string> names;
    for (const auto& category : categories()) {
        if (auto name = category->name()) {
            names.push_back(*name);
        }
    }
    if (!names.empty()) {
        std::sort(names.begin(), names.end());
        JsonArray array(names.begin(), names.end());
        file.set("categories", JsonValue(std::move(array)));
    }
    return file;
}

std::string Recipe::emailAttachment() const {
    return gzipCompress(recipeFileText());
}

std::string Recipe::recipeFileText() const {
    return JsonWriter::write(JsonValue(recipeFileObject()));
}

std::string Recipe::emailFilename() const {
    return recipeFileName(name().value_or(""));
}

std::optional<std::string> dictionaryText(const JsonObject& dictionary, std::string_view key) {
    const JsonValue* value = dictionary.find(key);
    if (value != nullptr && value->isString()) {
        return value->asString();
    }
    return std::nullopt;
}

void setDictionaryTexts(Recipe& recipe, const JsonObject& dictionary) {
    recipe.setName(dictionaryText(dictionary, "name"));
    recipe.setServings(dictionaryText(dictionary, "servings"));
    recipe.setSource(dictionaryText(dictionary, "source"));
    recipe.setSourceUrl(dictionaryText(dictionary, "source_url"));
    recipe.setPrepTime(dictionaryText(dictionary, "prep_time"));
    recipe.setCookTime(dictionaryText(dictionary, "cook_time"));
    recipe.setDifficulty(dictionaryText(dictionary, "difficulty"));
    recipe.setIngredients(dictionaryText(dictionary, "ingredients"));
    recipe.setDirections(dictionaryText(dictionary, "directions"));
    recipe.setNotes(dictionaryText(dictionary, "notes"));
    recipe.setNutritionalInfo(dictionaryText(dictionary, "nutritional_info"));
}

}  // namespace miravel
