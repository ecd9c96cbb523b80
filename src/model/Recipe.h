#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ingredients/RCRationalNumber.h"
#include "lib/Error.h"
#include "model/SyncedObject.h"

namespace miravel {

class Meal;
class RecipeCategory;

// A recipe of the library.
class Recipe : public SyncedObject {
public:
    static constexpr const char* kEntityName = "Recipe";
    using SyncedObject::SyncedObject;

    std::optional<std::string> name() const { return text("name"); }
    void setName(std::optional<std::string> value) { setText("name", std::move(value)); }
    std::optional<std::string> ingredients() const { return text("ingredients"); }
    void setIngredients(std::optional<std::string> value) {
        setText("ingredients", std::move(value));
    }
    std::optional<std::string> directions() const { return text("directions"); }
    void setDirections(std::optional<std::string> value) {
        setText("directions", std::move(value));
    }
    std::optional<std::string> notes() const { return text("notes"); }
    void setNotes(std::optional<std::string> value) { setText("notes", std::move(value)); }
    std::optional<std::string> servings() const { return text("servings"); }
    void setServings(std::optional<std::string> value) { setText("servings", std::move(value)); }
    std::optional<std::string> prepTime() const { return text("prepTime"); }
    void setPrepTime(std::optional<std::string> value) { setText("prepTime", std::move(value)); }
    std::optional<std::string> cookTime() const { return text("cookTime"); }
    void setCookTime(std::optional<std::string> value) { setText("cookTime", std::move(value)); }
    std::optional<std::string> difficulty() const { return text("difficulty"); }
    void setDifficulty(std::optional<std::string> value) {
        setText("difficulty", std::move(value));
    }
    std::optional<std::int64_t> rating() const { return integer("rating"); }
    void setRating(std::optional<std::int64_t> value);
    std::optional<std::string> source() const { return text("source"); }
    void setSource(std::optional<std::string> value) { setText("source", std::move(value)); }
    std::optional<std::string> sourceUrl() const { return text("sourceUrl"); }
    void setSourceUrl(std::optional<std::string> value) { setText("sourceUrl", std::move(value)); }
    std::optional<std::string> imageUrl() const { return text("imageUrl"); }
    void setImageUrl(std::optional<std::string> value) { setText("imageUrl", std::move(value)); }
    std::optional<std::string> nutritionalInfo() const { return text("nutritionalInfo"); }
    void setNutritionalInfo(std::optional<std::string> value) {
        setText("nutritionalInfo", std::move(value));
    }
    std::optional<bool> onFavorites() const { return boolean("onFavorites"); }
    void setOnFavorites(std::optional<bool> value);
    std::optional<Timestamp> created() const { return date("created"); }
    void setCreated(std::optional<Timestamp> value);
    std::optional<std::string> photo() const { return text("photo"); }
    std::optional<std::string> scale() const { return text("scale"); }
    void setScale(std::optional<std::string> value) { setText("scale", std::move(value)); }
    // Stores a factor the way scale() keeps it: "numerator/denominator" of the reduced value.
    void setScaleFraction(const RCRationalNumber& factor);
    // The factor scale() names; absent for no text or a text that is not two parts around "/"
    // ("2", "1/2/3"), and for a zero denominator.
    std::optional<RCRationalNumber> scaledFraction() const;
    // The ingredients and servings as the user sees them, at the recipe's scale.
    std::optional<std::string> scaledIngredients() const;
    std::optional<std::string> scaledServings() const;
    // The scaled ingredient lines that name something to buy: trimmed, without empty lines
    // and without headings (lines ending in ":").
    std::vector<std::string> ingredientsArray() const;

    std::vector<std::shared_ptr<RecipeCategory>> categories() const;
    void addCategory(const std::shared_ptr<RecipeCategory>& category);
    void removeCategory(const std::shared_ptr<RecipeCategory>& category);
    std::vector<std::shared_ptr<Meal>> meals() const;

    std::optional<JsonObject> objectDictionary() const override;
    // The dictionary form with the content hash appended as "hash".
    JsonObject objectDictionaryWithHash() const;

    // The recipe file that carries this recipe to another library (RecipeFile.h), and the
    // file name it travels under.
    JsonObject recipeFileObject() const;
    std::string emailAttachment() const;
    // The JSON text the recipe file compresses, for a writer that compresses elsewhere.
    std::string recipeFileText() const;
    std::string emailFilename() const;

    // Marks a user edit: status "modified" and a freshly computed content hash.
    void setModified();
    // The stored content hash, computed and stored when there is none.
    std::string hashValue() const;
    void setHashValue(std::optional<std::string> hash) { setText("hashValue", std::move(hash)); }

    // The stored photo hash; computed from the photo file when there is none and a photo is
    // set (the hash of no bytes when the file is missing).
    std::optional<std::string> photoHash() const;
    void setPhotoHash(std::optional<std::string> hash) { setText("photoHash", std::move(hash)); }
    // Replaces the photo: the previous photo file is deleted when the name changes.
    void setPhoto(std::optional<std::string> fileName);
    // The photo file in the library folder, when a photo is set and its file exists.
    std::optional<std::filesystem::path> photoPath() const;

    // Sets the status; "deleted" also marks every meal of the recipe.
    void setStatusAndUpdateRelationships(const std::string& status);

    std::string firstLetter() const;
    bool validSourceUrl() const;

    // Deletes recipes as the user means it (photo removed; tombstones with their meals while
    // signed in, removal otherwise) and saves.
    [[nodiscard]] static Result<void> deleteRecipes(
        ManagedObjectContext& context, const std::vector<std::shared_ptr<Recipe>>& recipes);

    // The folder photos are kept in: the folder of the store file.
    std::optional<std::filesystem::path> libraryFolder() const;

protected:
    void prepareForDeletion() override;
};

}  // namespace miravel
