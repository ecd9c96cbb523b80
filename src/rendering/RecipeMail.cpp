#include "rendering/RecipeMail.h"

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
            if (auto written = writePrivateFile(file, *bytes); written) {
                files.push_back(file);
            } else {
                logLine("Error writing email file: {}", written.error().description);
            }
        }
    }
    if (const auto photo = recipe.photoPath()) {
        const auto copy = temporaryFolder / "photo.jpg";
        const auto bytes = readFile(*photo);
        const auto copied =
            bytes ? writePrivateFile(copy, *bytes) : Result<void>(std::unexpected(bytes.error()));
        if (copied) {
            files.push_back(copy);
        } else {
            logLine("Error copying photo: {}", copied.error().description);
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
