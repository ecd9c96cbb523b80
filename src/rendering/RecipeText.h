#pragma once

#include <string>
#include <string_view>

namespace miravel {

class Recipe;

// The vendor's web address, closing the text of every recipe e-mail.
inline constexpr std::string_view kVendorWebAddress = "https://www.miravel.app";

// "Sent from Miravel Recipe Manager. <address>": the line that closes every e-mail, and the
// last paragraph of a page printed with a signature.
std::string emailSignatureText();

// A recipe e-mail: its subject, its plain-text body and the name of the attached recipe
// file.
std::string recipeEmailSubject(const Recipe& recipe);
std::string recipeEmailBody(const Recipe& recipe);
std::string recipeEmailFilename(const Recipe& recipe);

// The file name a recipe named `name` is attached under (recipeFileName of model/RecipeFile.h).
std::string recipeFilenameForName(std::string_view name);

}  // namespace miravel
