#include "model/Recipe.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <system_error>

#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Log.h"
#include "lib/NotificationCenter.h"
#include "model/Meal.h"
#include "model/RecipeCategory.h"
#include "model/UserFolders.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

void Recipe::setRating(std::optional<std::int64_t> value) {
    setValue("rating", value ? Value(*value) : Value());
}

void Recipe::setOnFavorites(std::optional<bool> value) {
    setValue("onFavorites", value ? Value(*value) : Value());
}

void Recipe::setCreated(std::optional<Timestamp> value) {
    setValue("created", value ? Value(*value) : Value());
}

std::vector<std::shared_ptr<RecipeCategory>> Recipe::categories() const {
    std::vector<std::shared_ptr<RecipeCategory>> categories;
    for (auto& object : toMany("categories")) {
        categories.push_back(std::static_pointer_cast<RecipeCategory>(object));
    }
    return categories;
}

void Recipe::addCategory(const std::shared_ptr<RecipeCategory>& category) {
    addToMany("categories", category);
}

void Recipe::removeCategory(const std::shared_ptr<RecipeCategory>& category) {
    removeFromMany("categories", category);
}

std::vector<std::shared_ptr<Meal>> Recipe::meals() const {
    std::vector<std::shared_ptr<Meal>> meals;
    for (auto& object : toMany("meals")) {
        meals.push_back(std::static_pointer_cast<Meal>(object));
    }
    return meals;
}

std::optional<JsonObject> Recipe::objectDictionary() const {
    JsonArray categoryUids;
    std::vector<std::string> uids;
    for (const auto& category : categories()) {
        uids.push_back(category->uid());
    }
    std::sort(uids.begin(), uids.end());
    for (auto& uid : uids) {
        categoryUids.emplace_back(std::move(uid));
    }
    auto photoHashValue = photoHash();
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("name", textMember("name"));
    dictionary.set("directions", textMember("directions"));
    dictionary.set("servings", textMember("servings"));
    dictionary.set("rating", integerMember("rating"));
    dictionary.set("difficulty", textMember("difficulty"));
    dictionary.set("ingredients", textMember("ingredients"));
    dictionary.set("notes", textMember("notes"));
    dictionary.set("created", dateMember("created"));
    dictionary.set("image_url", textMember("imageUrl"));
    dictionary.set("on_favorites", booleanMember("onFavorites"));
    dictionary.set("cook_time", textMember("cookTime"));
    dictionary.set("prep_time", textMember("prepTime"));
    dictionary.set("source", textMember("source"));
    dictionary.set("source_url", textMember("sourceUrl"));
    dictionary.set("photo_hash", photoHashValue ? JsonValue(*photoHashValue) : JsonValue());
    dictionary.set("photo", textMember("photo"));
    dictionary.set("nutritional_info", textMember("nutritionalInfo"));
    dictionary.set("deleted", deletedMember());
    dictionary.set("categories", JsonValue(std::move(categoryUids)));
    return dictionary;
}

JsonObject Recipe::objectDictionaryWithHash() const {
    JsonObject dictionary = *objectDictionary();
    dictionary.set("hash", hashValue());
    return dictionary;
}

void Recipe::setModified() {
    setStatus(kStatusModified);
    setHashValue(generateHash());
}

std::string Recipe::hashValue() const {
    if (auto stored = text("hashValue")) {
        return *stored;
    }
    std::string computed = generateHash();
    storeDefault("hashValue", computed);
    return computed;
}

std::optional<std::filesystem::path> Recipe::libraryFolder() const {
    if (managedObjectContext() == nullptr) {
        return std::nullopt;
    }
    return managedObjectContext()->coordinator()->file().parent_path();
}

std::optional<std::filesystem::path> Recipe::photoPath() const {
    auto name = photo();
    auto folder = libraryFolder();
    if (!name || name->empty() || !folder) {
        return std::nullopt;
    }
    // Only the last component counts: a photo name can never reach outside the folder.
    std::filesystem::path fileName = std::filesystem::path(*name).filename();
    // Nor name the store's own files: clearing such a "photo" would delete the library.
    if (fileName.empty() || fileName == "." || fileName == ".." ||
        fileName.string().starts_with(kStoreFileName)) {
        return std::nullopt;
    }
    std::filesystem::path path = *folder / fileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> Recipe::photoHash() const {
    if (auto stored = text("photoHash")) {
        return stored;
    }
    if (!photo()) {
        return std::nullopt;
    }
    std::string bytes;
    if (auto path = photoPath()) {
        if (auto read = readFile(*path)) {
            bytes = std::move(*read);
        }
    }
    std::string computed = sha256Hex(bytes);
    storeDefault("photoHash", computed);
    return computed;
}

void Recipe::setPhoto(std::optional<std::string> fileName) {
    auto current = photo();
    if (current && (!fileName || *fileName != *current)) {
        if (auto path = photoPath()) {
            std::error_code error;
            if (!std::filesystem::remove(*path, error) && error) {
                logLine("Error deleting photo: {}", error.message());
            }
        }
    }
    setText("photo", fileName);
    if (!fileName) {
        setPhotoHash(std::nullopt);
        return;
    }
    std::string bytes;
    if (auto path = photoPath()) {
        if (auto read = readFile(*path)) {
            bytes = std::move(*read);
        }
    }
    setPhotoHash(sha256Hex(bytes));
}

void Recipe::setStatusAndUpdateRelationships(const std::string& status) {
    setStatus(status);
    if (status != kStatusDeleted) {
        return;
    }
    for (const auto& meal : meals()) {
        meal->setStatus(kStatusDeleted);
    }
}

void Recipe::prepareForDeletion() {
    if (auto* context = managedObjectContext()) {
        context->notificationCenter().post(kRecipeWillBeDeletedNotification, this);
        if (isLoggedIn(*context)) {
            return;
        }
        for (const auto& meal : meals()) {
            context->deleteObject(meal);
        }
    }
}

namespace {

// The integer a text starts with, read the lenient way a stored "3/2" always was: leading
// white space skipped, an optional sign, the digits up to the first other character, 0 when
// there are none, and the nearest 32-bit value when it is too large.
std::int32_t leadingInteger(std::string_view text) {
    std::size_t position = text.find_first_not_of(" \t\n\v\f\r");
    if (position == std::string_view::npos) {
        return 0;
    }
    bool negative = false;
    if (text[position] == '+' || text[position] == '-') {
        negative = text[position] == '-';
        ++position;
    }
    std::int64_t value = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        value = std::min<std::int64_t>(value * 10 + (text[position] - '0'),
                                       std::int64_t{INT32_MAX} + 1);
    }
    value = negative ? -value : std::min<std::int64_t>(value, INT32_MAX);
    return static_cast<std::int32_t>(value);
}

std::string trimWhiteSpace(const std::string& line) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(line);
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && u_isUWhiteSpace(text.char32At(start))) {
        start = text.moveIndex32(start, 1);
    }
    while (end > start && u_isUWhiteSpace(text.char32At(text.moveIndex32(end, -1)))) {
        end = text.moveIndex32(end, -1);
    }
    std::string trimmed;
    text.tempSubStringBetween(start, end).toUTF8String(trimmed);
    return trimmed;
}

}  // namespace

void Recipe::setScaleFraction(const RCRationalNumber& factor) {
    setScale(std::to_string(factor.numerator()) + "/" + std::to_string(factor.denominator()));
}

std::optional<RCRationalNumber> Recipe::scaledFraction() const {
    const auto text = scale();
    if (!text || text->empty()) {
        return std::nullopt;
    }
    const auto slash = text->find('/');
    if (slash == std::string::npos || text->find('/', slash + 1) != std::string::npos) {
        return std::nullopt;
    }
    const std::string_view all(*text);
    return RCRationalNumber::valueWithNumerator(leadingInteger(all.substr(0, slash)),
                                                leadingInteger(all.substr(slash + 1)));
}

std::optional<std::string> Recipe::scaledIngredients() const {
    return RecipeScaler::scaleIngredients(ingredients(), scaledFraction());
}

std::optional<std::string> Recipe::scaledServings() const {
    return RecipeScaler::scaleServings(servings(), scaledFraction());
}

std::vector<std::string> Recipe::ingredientsArray() const {
    std::vector<std::string> lines;
    const auto text = scaledIngredients();
    if (!text) {
        return lines;
    }
    for (const std::string& line : splitAtLineBreaks(*text)) {
        std::string trimmed = trimWhiteSpace(line);
        if (!trimmed.empty() && trimmed.back() != ':') {
            lines.push_back(std::move(trimmed));
        }
    }
    return lines;
}

std::string Recipe::firstLetter() const {
    auto text = name();
    if (!text || text->empty()) {
        return "";
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(*text);
    // One user-perceived character: a letter with its accents, or a whole emoji.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    int32_t end = 1;
    if (U_SUCCESS(status) && characters) {
        characters->setText(unicode);
        end = characters->following(0);
        if (end == icu::BreakIterator::DONE) {
            end = unicode.length();
        }
    }
    icu::UnicodeString first(unicode, 0, end);
    first.toUpper(icu::Locale::getRoot());
    std::string result;
    first.toUTF8String(result);
    return result;
}

bool Recipe::validSourceUrl() const {
    auto url = sourceUrl();
    return url && !url->empty() && *url != "---";
}

Result<void> Recipe::deleteRecipes(ManagedObjectContext& context,
                                   const std::vector<std::shared_ptr<Recipe>>& recipes) {
    bool keepTombstones = isLoggedIn(context);
    for (const auto& recipe : recipes) {
        if (!recipe || recipe->isReallyDeleted()) {
            continue;
        }
        recipe->setPhoto(std::nullopt);
        if (keepTombstones) {
            recipe->setStatusAndUpdateRelationships(kStatusDeleted);
        } else {
            context.deleteObject(recipe);
        }
    }
    return context.save();
}

}  // namespace miravel
