#include "rendering/RecipeMail.h"

#include <system_error>

#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "model/Recipe.h"
#include "rendering/MailHandoff.h"
#include "rendering/RecipeText.h"

namespace miravel {

std::vector<std::filesystem::path> writeRecipeMailAttachments(
    const Recipe& recipe, const std::filesystem::path& temporaryFolder,
    const RecipeAttachmentProvider& attachment) {
    std::vector<std::filesystem::path> files;
    if (attachment) {
        if (const auto bytes = attachment(recipe)) {
            const auto file = temporaryFolder / recipeEmailFilename(recipe);
            if (auto written = writeFileAtomically(file, *bytes); written) {
                files.push_back(file);
            } else {
                logLine("Error writing email file: {}", written.error().description);
            }
        }
    }
    if (const auto photo = recipe.photoPath()) {
        const auto copy = temporaryFolder / "photo.jpg";
        std::error_code error;
        if (std::filesystem::exists(copy, error) && !std::filesystem::remove(copy, error)) {
            logLine("Error removing photo: {}", error.message());
        }
        if (std::filesystem::copy_file(*photo, copy, std::filesystem::copy_options::none, error)) {
            files.push_back(copy);
        } else {
            logLine("Error copying photo: {}", error.message());
        }
    }
    return files;
}

bool emailRecipe(const Recipe& recipe, MailHandoff& mail,
                 const std::filesystem::path& temporaryFolder,
                 const RecipeAttachmentProvider& attachment) {
    const auto files = writeRecipeMailAttachments(recipe, temporaryFolder, attachment);
    return mail.emailWithContent(recipeEmailBody(recipe), recipeEmailSubject(recipe), files,
                                 std::nullopt);
}

}  // namespace miravel
