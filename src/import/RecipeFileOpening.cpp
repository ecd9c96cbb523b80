#include "import/RecipeFileOpening.h"

#include <chrono>

#include "import/MiravelRecipeImporter.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/DateText.h"
#include "lib/Image.h"
#include "model/Library.h"
#include "model/PhotoStore.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

Result<std::shared_ptr<Recipe>> openRecipeFile(Library& library,
                                               const std::filesystem::path& path) {
    auto notARecipe = [] {
        return makeError(applicationErrorDomain(), 100, "This recipe could not be imported");
    };
    auto bytes = readFile(path);
    if (!bytes) {
        return notARecipe();
    }
    auto object = readRecipeFile(*bytes);
    if (!object) {
        return notARecipe();
    }
    std::optional<Image> photo;
    if (const JsonValue* data = object->find("photo_data"); data != nullptr && data->isString()) {
        if (auto photoBytes = decodeLenientBase64(data->asString())) {
            if (auto image = decodeImage(*photoBytes)) {
                photo = std::move(*image);
            }
        }
    }
    ManagedObjectContext& context = *library.mainContext();
    auto recipe = context.insert<Recipe>();
    recipe->setCreated(currentMoment());
    copyRecipeFileMembers(*object, *recipe, {.notes = false, .rating = false});
    if (photo) {
        if (auto name = savePhoto(library.filesFolder(), *photo)) {
            recipe->setPhoto(*name);
        }
    }
    recipe->setModified();
    if (auto saved = context.save(); !saved) {
        context.deleteObject(recipe);
        return std::unexpected(saved.error());
    }
    return recipe;
}

}  // namespace miravel
