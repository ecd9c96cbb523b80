#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace miravel {

class MailHandoff;
class Recipe;

// The bytes of a recipe's own file (the attachment that lets the receiver import it), or
// nothing. The recipe-file writer provides it; without one the e-mail goes without the file.
using RecipeAttachmentProvider = std::function<std::optional<std::string>(const Recipe&)>;

// Writes the files a recipe e-mail carries into `temporaryFolder` (one of this user's own,
// see makePrivateTemporaryFolder), replacing the previous e-mail's: the recipe file under
// recipeEmailFilename() when `attachment` gives bytes, and a copy of the photo as
// "photo.jpg", each readable by this user alone and never written through a link. A file that
// cannot be written is logged and left out.
std::vector<std::filesystem::path> writeRecipeMailAttachments(
    const Recipe& recipe, const std::filesystem::path& temporaryFolder,
    const RecipeAttachmentProvider& attachment);

// E-mails a recipe: its attachments as above, then its body and subject to the mail hand-off
// with the default recipients. False when the mail program could not be reached.
bool emailRecipe(const Recipe& recipe, MailHandoff& mail,
                 const std::filesystem::path& temporaryFolder,
                 const RecipeAttachmentProvider& attachment = {});

}  // namespace miravel
