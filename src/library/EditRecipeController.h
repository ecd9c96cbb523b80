#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "lib/Image.h"
#include "lib/JsonValue.h"
#include "lib/NotificationCenter.h"
#include "library/EditCategoriesController.h"
#include "model/Recipe.h"

namespace miravel {

class ApplicationHooks;
class ManagedObjectContext;

// What the edit sheet's widgets show and the user types: texts as typed, the difficulty by
// its display name ("" for none) and the star control's whole number.
struct RecipeFields {
    std::string name;
    std::string servings;
    std::string prepTime;
    std::string cookTime;
    std::string source;
    std::string sourceUrl;
    std::string difficulty;
    std::int64_t rating = 0;
    std::string ingredients;
    std::string directions;
    std::string notes;
    std::string nutritionalInfo;
};

// The sheet's owner: the main window or a recipe window.
class EditRecipeControllerDelegate {
public:
    virtual ~EditRecipeControllerDelegate() = default;
    virtual void recipeEdited(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void editDismissed() {}
    // The sheet goes away, whatever ended it.
    virtual void closeSheet() {}
};

inline constexpr const char* kUntitledRecipeName = "My Awesome Recipe";

// The recipe edit sheet: a new recipe, an existing one, or fields captured from a web page.
// The recipe is written only by "Done"; until then every edit lives here.
class EditRecipeController {
public:
    EditRecipeController(ManagedObjectContext& context, ApplicationHooks& hooks,
                         EditRecipeControllerDelegate* delegate = nullptr);
    EditRecipeController(const EditRecipeController&) = delete;
    EditRecipeController& operator=(const EditRecipeController&) = delete;

    // None opens the sheet for a new recipe.
    void setRecipe(std::shared_ptr<Recipe> recipe);
    const std::shared_ptr<Recipe>& recipe() const { return m_recipe; }
    bool isNew() const { return m_isNew; }
    // A captured page's recipe dictionary; read by initializeFields for a new recipe.
    void setBrowserData(std::optional<JsonObject> data) { m_browserData = std::move(data); }

    void initializeFields();
    RecipeFields& fields() { return m_fields; }
    const RecipeFields& fields() const { return m_fields; }
    // Display names offered by the difficulty menu.
    static std::vector<std::string> difficultyChoices();

    // The working category set; the chooser exists while its popover is open, and closing it
    // takes its selection.
    const std::vector<std::shared_ptr<RecipeCategory>>& categories() const { return m_categories; }
    EditCategoriesController& changeCategories(bool alphabetize);
    bool categoriesOpen() const { return m_chooser != nullptr; }
    void closeCategories();

    // File types the open dialog offers.
    static const std::vector<std::string>& imageExtensions();
    [[nodiscard]] Result<void> chooseImage(const std::filesystem::path& file);
    [[nodiscard]] Result<void> imageDragged(std::string_view bytes);
    // A picture already reduced to a thumbnail (the clipper's), as if the user had chosen it.
    void setImage(Image image) {
        m_image = std::move(image);
        m_wellCleared = false;
    }
    // The user emptied the image well.
    void clearImage();
    const std::optional<Image>& image() const { return m_image; }
    const std::optional<std::string>& imageUrl() const { return m_imageUrl; }
    // What the well shows: the chosen image, else the recipe's photo file, else nothing.
    bool wellShowsImage() const;
    std::optional<std::filesystem::path> wellPhotoPath() const;

    // Writes the sheet into the recipe and saves; on a failed save the sheet stays open with
    // everything typed, and the error is the front end's to present.
    [[nodiscard]] Result<void> saveEditRecipeSheet();
    void cancelEditRecipeSheet();
    [[nodiscard]] static Result<std::string> savePhoto(const std::filesystem::path& folder,
                                                       const Image& image);

private:
    void fillFromRecipe(const Recipe& recipe);
    void fillFromDictionary(const JsonObject& data);
    void writeFields(Recipe& recipe) const;
    void writePhoto(Recipe& recipe);
    void recipeWillBeDeleted();
    void forget();

    ManagedObjectContext& m_context;
    ApplicationHooks& m_hooks;
    EditRecipeControllerDelegate* m_delegate;
    std::shared_ptr<Recipe> m_recipe;
    bool m_isNew = false;
    std::optional<JsonObject> m_browserData;
    RecipeFields m_fields;
    std::vector<std::shared_ptr<RecipeCategory>> m_categories;
    std::unique_ptr<EditCategoriesController> m_chooser;
    std::optional<Image> m_image;
    std::optional<std::string> m_imageUrl;
    bool m_wellCleared = false;
    Observation m_deletionObservation;
};

}  // namespace miravel
