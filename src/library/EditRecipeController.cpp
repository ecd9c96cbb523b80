#include "library/EditRecipeController.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "lib/AtomicFile.h"
#include "lib/ImageThumbnail.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "model/MiravelAppDelegate.h"
#include "model/PhotoStore.h"
#include "store/ManagedObjectContext.h"
#include "store/Value.h"

namespace miravel {

namespace {

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string displayDifficulty(const std::optional<std::string>& stored) {
    if (!stored || stored->empty()) {
        return "";
    }
    return LocalizedSettingsManager::sharedManager().localizedDifficultyForDifficulty(stored);
}

// The menu shows translations; the store keeps the English key.
std::string storedDifficulty(const std::string& shown) {
    const auto& names = LocalizedSettingsManager::sharedManager().difficultyNames();
    for (const auto& key : names.keys()) {
        if (const auto* translation = names.find(key); translation && *translation == shown) {
            return key;
        }
    }
    return shown;
}

}  // namespace

EditRecipeController::EditRecipeController(ManagedObjectContext& context, ApplicationHooks& hooks,
                                           EditRecipeControllerDelegate* delegate)
    : m_context(context), m_hooks(hooks), m_delegate(delegate) {}

void EditRecipeController::setRecipe(std::shared_ptr<Recipe> recipe) {
    m_deletionObservation.reset();
    m_recipe = std::move(recipe);
    m_isNew = m_recipe == nullptr;
}

std::vector<std::string> EditRecipeController::difficultyChoices() {
    std::vector<std::string> choices;
    for (const char* key : {"Easy", "Medium", "Hard"}) {
        choices.push_back(displayDifficulty(std::string(key)));
    }
    return choices;
}

void EditRecipeController::initializeFields() {
    m_fields = {};
    m_categories.clear();
    if (m_recipe) {
        fillFromRecipe(*m_recipe);
        m_categories = m_recipe->categories();
        // A sync or another window may delete the recipe while the sheet is open.
        m_deletionObservation = m_context.notificationCenter().addObserver(
            kRecipeWillBeDeletedNotification, m_recipe.get(),
            [this](const Notification&) { recipeWillBeDeleted(); });
    } else if (m_browserData) {
        fillFromDictionary(*m_browserData);
    } else {
        m_fields.difficulty = displayDifficulty(std::string("Easy"));
    }
}

void EditRecipeController::fillFromRecipe(const Recipe& recipe) {
    m_fields.name = recipe.name().value_or("");
    m_fields.servings = recipe.servings().value_or("");
    m_fields.prepTime = recipe.prepTime().value_or("");
    m_fields.cookTime = recipe.cookTime().value_or("");
    m_fields.source = recipe.source().value_or("");
    m_fields.sourceUrl = recipe.sourceUrl().value_or("");
    m_fields.difficulty = displayDifficulty(recipe.difficulty());
    m_fields.rating = recipe.rating().value_or(0);
    m_fields.ingredients = recipe.ingredients().value_or("");
    m_fields.directions = recipe.directions().value_or("");
    m_fields.notes = recipe.notes().value_or("");
    m_fields.nutritionalInfo = recipe.nutritionalInfo().value_or("");
}

void EditRecipeController::fillFromDictionary(const JsonObject& data) {
    const auto member = [&data](std::string_view key) -> std::string {
        const JsonValue* value = data.find(key);
        return value && value->isString() ? value->asString() : std::string();
    };
    m_fields.name = member("name");
    m_fields.servings = member("servings");
    m_fields.prepTime = member("prep_time");
    m_fields.cookTime = member("cook_time");
    m_fields.source = member("source");
    m_fields.sourceUrl = member("source_url");
    m_fields.difficulty = displayDifficulty(member("difficulty"));
    m_fields.ingredients = member("ingredients");
    m_fields.directions = member("directions");
    m_fields.notes = member("notes");
    m_fields.nutritionalInfo = member("nutritional_info");
    if (auto url = member("image_url"); !url.empty()) {
        m_imageUrl = url;
    }
}

EditCategoriesController& EditRecipeController::changeCategories(bool alphabetize) {
    if (!m_chooser) {
        m_chooser = std::make_unique<EditCategoriesController>(m_context, alphabetize);
        m_chooser->setCategories(m_categories);
        m_chooser->fetchCategories();
    }
    return *m_chooser;
}

void EditRecipeController::closeCategories() {
    if (m_chooser) {
        m_categories = m_chooser->categories();
        m_chooser.reset();
    }
}

const std::vector<std::string>& EditRecipeController::imageExtensions() {
    static const std::vector<std::string> extensions = {"png",  "jpeg", "jpg", "gif",
                                                        "tiff", "tif",  "bmp"};
    return extensions;
}

Result<void> EditRecipeController::chooseImage(const std::filesystem::path& file) {
    // The bytes say what the picture is; a name may lie either way (a photo saved without an
    // extension, text renamed to .jpg). A pipe or device would hang the editor or never end.
    auto bytes = readFile(file, {.regularFileOnly = true});
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    if (detectImageFormat(*bytes) == ImageFormat::Unknown) {
        return makeError(kImageErrorDomain, ImageErrorCode::Unreadable,
                         file.filename().string() +
                             " is not a picture the editor takes (PNG, JPEG, GIF, TIFF or BMP).");
    }
    return imageDragged(*bytes);
}

Result<void> EditRecipeController::imageDragged(std::string_view bytes) {
    auto prepared = preparePhoto(bytes);
    if (!prepared) {
        return std::unexpected(prepared.error());
    }
    m_image = std::move(*prepared);
    m_wellCleared = false;
    return {};
}

void EditRecipeController::clearImage() {
    m_image.reset();
    m_wellCleared = true;
}

bool EditRecipeController::wellShowsImage() const {
    return m_image.has_value() || wellPhotoPath().has_value();
}

std::optional<std::filesystem::path> EditRecipeController::wellPhotoPath() const {
    if (m_image || m_wellCleared || !m_recipe) {
        return std::nullopt;
    }
    return m_recipe->photoPath();
}

Result<void> EditRecipeController::saveEditRecipeSheet() {
    closeCategories();
    if (m_isNew) {
        m_recipe = m_context.insert<Recipe>();
    }
    if (!m_recipe || m_recipe->isReallyDeleted()) {
        if (m_delegate) {
            m_delegate->editDismissed();
        }
        forget();
        return {};
    }
    Recipe& recipe = *m_recipe;
    writeFields(recipe);
    if (m_isNew) {
        recipe.setCreated(currentMoment());
        if (recipe.name().value_or("").empty()) {
            recipe.setName(tr(kUntitledRecipeName));
        }
    }
    writePhoto(recipe);
    if (m_imageUrl) {
        recipe.setImageUrl(m_imageUrl);
    }
    recipe.setModified();
    if (auto saved = m_context.save(); !saved) {
        // The sheet stays as it was, over the recipe now inserted, so that nothing typed is
        // lost and a second save cannot insert the recipe twice.
        m_isNew = false;
        return saved;
    }
    auto edited = m_recipe;
    if (m_delegate) {
        m_delegate->recipeEdited(edited);
    }
    forget();
    return {};
}

void EditRecipeController::writeFields(Recipe& recipe) const {
    // An empty field over an attribute that never had a value leaves it absent: renderings
    // show "---" only for absent values, and the content hash stays what it was.
    const auto write = [&recipe](const char* attribute, const std::string& value) {
        if (!value.empty() || recipe.text(attribute)) {
            recipe.setValue(attribute, Value(value));
        }
    };
    write("name", trimmed(m_fields.name));
    write("servings", m_fields.servings);
    write("difficulty",
          m_fields.difficulty.empty() ? std::string() : storedDifficulty(m_fields.difficulty));
    write("source", m_fields.source);
    write("sourceUrl", m_fields.sourceUrl);
    write("ingredients", m_fields.ingredients);
    write("directions", m_fields.directions);
    write("prepTime", m_fields.prepTime);
    write("cookTime", m_fields.cookTime);
    write("notes", m_fields.notes);
    write("nutritionalInfo", m_fields.nutritionalInfo);
    if (m_fields.rating != 0 || recipe.rating()) {
        recipe.setRating(m_fields.rating);
    }
    for (const auto& category : recipe.categories()) {
        if (std::ranges::find(m_categories, category) == m_categories.end()) {
            recipe.removeCategory(category);
        }
    }
    const auto current = recipe.categories();
    for (const auto& category : m_categories) {
        if (std::ranges::find(current, category) == current.end()) {
            recipe.addCategory(category);
        }
    }
}

void EditRecipeController::writePhoto(Recipe& recipe) {
    const bool hadPhoto = recipe.photo().has_value();
    if (wellShowsImage() || !hadPhoto) {
        if (!m_image) {
            return;
        }
        auto folder = recipe.libraryFolder();
        auto saved = folder ? savePhoto(*folder, *m_image)
                            : makeError(kFileErrorDomain, ENOENT, "The library has no folder.");
        if (!saved) {
            m_hooks.presentError(saved.error());
            return;
        }
        recipe.setPhoto(*saved);
    } else {
        recipe.setPhoto(std::nullopt);
    }
}

Result<std::string> EditRecipeController::savePhoto(const std::filesystem::path& folder,
                                                    const Image& image) {
    return miravel::savePhoto(folder, image);
}

void EditRecipeController::cancelEditRecipeSheet() {
    if (m_delegate) {
        m_delegate->editDismissed();
    }
    forget();
}

void EditRecipeController::recipeWillBeDeleted() {
    closeCategories();
    if (m_delegate) {
        m_delegate->editDismissed();
    }
    forget();
}

void EditRecipeController::forget() {
    m_deletionObservation.reset();
    m_recipe.reset();
    m_image.reset();
    m_wellCleared = false;
    if (m_delegate) {
        m_delegate->closeSheet();
    }
}

}  // namespace miravel
