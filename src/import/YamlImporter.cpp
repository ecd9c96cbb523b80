#include "import/YamlImporter.h"

#include <charconv>

#include "import/MiravelRecipeImporter.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Log.h"
#include "lib/Utf8.h"
#include "lib/YAMLSerialization.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"

namespace miravel {

namespace {

constexpr std::string_view kBlanks = " \t\n\r\v\f";

Error unableToParse(const Error& cause) {
    return Error{
        applicationErrorDomain(), 100, "Unable to parse this file.\n\n" + cause.description, {}};
}

Result<JsonArray> readYaml(RecipeImporter& importer, std::string_view bytes) {
    auto documents = YAMLSerialization::YAMLWithData(bytes, kYAMLReadOptionStringScalars);
    if (!documents) {
        logLine("Error: {}", documents.error().description);
        return std::unexpected(unableToParse(documents.error()));
    }
    (void)importer;
    return documents;
}

// A list of texts as lines; a text as it is.
std::optional<std::string> linesOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->isString()) {
        return value->asString();
    }
    if (!value->isArray()) {
        return std::nullopt;
    }
    std::string lines;
    for (const JsonValue& element : value->asArray()) {
        if (element.isString()) {
            lines += (lines.empty() ? "" : "\n") + element.asString();
        }
    }
    return lines;
}

}  // namespace

std::int64_t leadingInteger(std::string_view text) {
    const auto start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        return 0;
    }
    text.remove_prefix(start);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() ? value : 0;
}

bool leadingBoolean(std::string_view text) {
    std::size_t at = text.find_first_not_of(kBlanks);
    if (at == std::string_view::npos) {
        return false;
    }
    if (text[at] == '+' || text[at] == '-') {
        ++at;
    }
    while (at < text.size() && text[at] == '0') {
        ++at;
    }
    if (at >= text.size()) {
        return false;
    }
    const char first = text[at];
    return first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
           (first >= '1' && first <= '9');
}

Result<void> YamlImporter::parseRecipe(const JsonObject& dictionary) {
    const JsonValue* categories = dictionary.find("categories");
    if (categories != nullptr && !categories->isArray()) {
        return std::unexpected(Error{applicationErrorDomain(), 100,
                                     "There was a problem importing this file.",
                                     "\"categories\" is not a list"});
    }
    auto recipe = insertRecipe();
    if (categories != nullptr) {
        for (const JsonValue& name : categories->asArray()) {
            if (name.isString()) {
                addCategoryToRecipe(name.asString(), *recipe);
            }
        }
    }
    if (auto photo = dictionaryText(dictionary, "photo")) {
        if (auto bytes = decodeLenientBase64(*photo)) {
            if (auto name = savePhoto(*bytes)) {
                recipe->setPhoto(*name);
            }
        }
    }
    setDictionaryTexts(*recipe, dictionary);
    recipe->setRating(leadingInteger(dictionaryText(dictionary, "rating").value_or("")));
    recipe->setOnFavorites(leadingBoolean(dictionaryText(dictionary, "on_favorites").value_or("")));
    return recipeFinished(*recipe);
}

ImportOutcome YamlImporter::parseFile(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return outcome(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    auto documents = readYaml(*this, *bytes);
    if (!documents) {
        return outcome(documents.error());
    }
    std::vector<const JsonObject*> recipes;
    for (const JsonValue& root : *documents) {
        if (root.isObject()) {
            recipes.push_back(&root.asObject());
        } else if (root.isArray()) {
            for (const JsonValue& element : root.asArray()) {
                if (element.isObject()) {
                    recipes.push_back(&element.asObject());
                }
            }
        }
    }
    for (const JsonObject* recipe : recipes) {
        if (cancelled()) {
            break;
        }
        if (auto parsed = parseRecipe(*recipe); !parsed) {
            (void)saveNow();
            return outcome(parsed.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

ImportOutcome FrontMatterImporter::parseFile(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return outcome(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    // The front matter runs from a first line "---" to the next line "---".
    std::string_view text = *bytes;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const auto opening = text.find_first_not_of(kBlanks);
    if (opening == std::string_view::npos || text.substr(opening, 3) != "---") {
        recipeSkipped(path.filename().string(), "no front matter");
        return outcome(Error{applicationErrorDomain(), 100, "Unable to parse this file.", {}});
    }
    const auto matterStart = text.find('\n', opening);
    auto closing = matterStart == std::string_view::npos ? std::string_view::npos
                                                         : text.find("\n---", matterStart);
    const std::string_view matter =
        matterStart == std::string_view::npos
            ? std::string_view()
            : text.substr(matterStart + 1, closing == std::string_view::npos
                                               ? std::string_view::npos
                                               : closing - matterStart);
    std::string_view body;
    if (closing != std::string_view::npos) {
        const auto bodyStart = text.find('\n', closing + 1);
        body =
            bodyStart == std::string_view::npos ? std::string_view() : text.substr(bodyStart + 1);
    }
    auto documents = readYaml(*this, matter);
    if (!documents) {
        recipeSkipped(path.filename().string(), documents.error().description);
        return outcome(documents.error());
    }
    if (documents->empty() || !documents->front().isObject()) {
        recipeSkipped(path.filename().string(), "the front matter holds no recipe");
        return outcome(Error{applicationErrorDomain(), 100, "Unable to parse this file.", {}});
    }
    const JsonObject& matterObject = documents->front().asObject();
    std::string note;
    auto recipe = insertRecipe();
    recipe->setName(dictionaryText(matterObject, "title"));
    // A recipe made of other recipes of the site lists them as its components.
    auto ingredients = linesOf(matterObject, "ingredients");
    recipe->setIngredients(ingredients ? ingredients : linesOf(matterObject, "components"));
    recipe->setDirections(linesOf(matterObject, "directions"));
    recipe->setServings(dictionaryText(matterObject, "yield"));
    if (const auto start = body.find_first_not_of(kBlanks); start != std::string_view::npos) {
        const auto end = body.find_last_not_of(kBlanks);
        const RepairedUtf8 notes = replacingInvalidUtf8(body.substr(start, end - start + 1));
        recipe->setNotes(notes.text);
        if (notes.replaced > 0) {
            note = std::to_string(notes.replaced) +
                   " bytes of the notes were not UTF-8 and were replaced";
        }
    }
    // Tags are a list, or one text of names separated by commas.
    if (const JsonValue* tags = matterObject.find("tags")) {
        std::vector<std::string> names;
        if (tags->isArray()) {
            for (const JsonValue& tag : tags->asArray()) {
                if (tag.isString()) {
                    names.push_back(tag.asString());
                }
            }
        } else if (tags->isString()) {
            std::string_view all = tags->asString();
            for (std::size_t start = 0; start <= all.size();) {
                const auto comma = std::min(all.find(',', start), all.size());
                names.emplace_back(all.substr(start, comma - start));
                start = comma + 1;
            }
        }
        for (const auto& name : names) {
            addCategoryToRecipe(name, *recipe);
        }
    }
    // The picture is looked for beside the file only, by its last name component: a file
    // cannot make the importer read anywhere else.
    if (auto image = dictionaryText(matterObject, "image")) {
        const auto name = std::filesystem::path(*image).filename();
        const auto folder = path.parent_path();
        for (const auto& candidate : {folder / name, folder / "images" / name}) {
            std::error_code error;
            if (!name.empty() && name != "." && name != ".." &&
                std::filesystem::is_regular_file(candidate, error)) {
                if (auto picture = readFile(candidate)) {
                    if (auto photo = savePhoto(*picture)) {
                        recipe->setPhoto(*photo);
                    }
                }
                break;
            }
        }
    }
    if (auto finished = recipeFinished(*recipe, note); !finished) {
        return outcome(finished.error());
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

}  // namespace miravel
