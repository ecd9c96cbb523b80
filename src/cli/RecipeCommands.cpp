#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Handoffs.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/LocalizedSettingsManager.h"
#include "library/EditRecipeController.h"
#include "model/MiravelAppDelegate.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/UserSettings.h"
#include "rendering/MailHandoff.h"
#include "rendering/MiravelHtml.h"
#include "rendering/RecipeMail.h"
#include "rendering/RecipeText.h"

namespace miravel::cli {

namespace {

void printField(std::ostream& out, const char* label, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
        out << label << ": " << *value << "\n";
    }
}

void printBlock(std::ostream& out, const char* label, const std::optional<std::string>& value) {
    if (value && !value->empty()) {
        out << "\n" << label << ":\n" << *value << "\n";
    }
}

// The recipe as printed (--html) or as e-mailed (--text), at `scale` when one is given. The
// factor is set for the rendering only and never saved.
std::string rendered(Recipe& recipe, bool html, const std::optional<RCRationalNumber>& scale) {
    const auto stored = recipe.scale();
    if (scale) {
        recipe.setScaleFraction(*scale);
    }
    std::string text = html ? MiravelHtml::printForRecipe(recipe) : recipeEmailBody(recipe);
    if (scale) {
        recipe.setScale(stored);
    }
    return text;
}

}  // namespace

void printRecipe(std::ostream& out, const Recipe& recipe, bool alphabetizeCategories,
                 const std::optional<RCRationalNumber>& factor) {
    out << recipe.name().value_or("") << "\n";
    out << "Categories: "
        << RecipeCategory::categoriesToString(recipe.categories(), alphabetizeCategories) << "\n";
    if (factor && !factor->isEqualToOne()) {
        out << "Scaled by: " << factor->mixedNumber() << "\n";
    }
    printField(out, "Servings", RecipeScaler::scaleServings(recipe.servings(), factor));
    printField(out, "Preparation time", recipe.prepTime());
    printField(out, "Cooking time", recipe.cookTime());
    printField(out, "Difficulty", recipe.difficulty());
    if (auto rating = recipe.rating(); rating && *rating > 0) {
        out << "Rating: "
            << std::string(static_cast<std::size_t>(std::min<std::int64_t>(*rating, 5)), '*')
            << "\n";
    }
    printField(out, "Source", recipe.source());
    printField(out, "Source address", recipe.sourceUrl());
    if (recipe.onFavorites().value_or(false)) {
        out << "In favourites\n";
    }
    printBlock(out, "Ingredients", RecipeScaler::scaleIngredients(recipe.ingredients(), factor));
    printBlock(out, "Directions", recipe.directions());
    printBlock(out, "Notes", recipe.notes());
    printBlock(out, "Nutrition", recipe.nutritionalInfo());
    out << "\nUid: " << recipe.uid() << "\n";
}

namespace {

int show(Invocation& invocation) {
    const int forms = invocation.has("json") + invocation.has("html") + invocation.has("text");
    if (forms > 1) {
        return invocation.usageError("choose one of --json, --html and --text.");
    }
    // --scale shows another size for this once; otherwise the recipe's own scale applies, as
    // in the recipe view.
    if (invocation.has("scale") && invocation.has("json")) {
        return invocation.usageError("--json prints the stored recipe; it takes no --scale.");
    }
    const auto chosenScale = scaleFactorOption(invocation, "scale");
    if (!chosenScale) {
        return chosenScale.error();
    }
    const std::optional<RCRationalNumber> scale = *chosenScale;
    return withNamedRecipe(invocation, [&](LibrarySession& session, ManagedObjectContext&,
                                           const std::shared_ptr<Recipe>& recipe) {
        if (invocation.has("json")) {
            invocation.out << JsonWriter::write(JsonValue(recipe->objectDictionaryWithHash()))
                           << "\n";
            return kExitOk;
        }
        if (invocation.has("html") || invocation.has("text")) {
            invocation.out << rendered(*recipe, invocation.has("html"), scale) << "\n";
            return kExitOk;
        }
        const auto factor = invocation.has("scale") ? scale : recipe->scaledFraction();
        printRecipe(invocation.out, *recipe,
                    session.application().settings().boolean(kAlphabetizeCategoriesKey), factor);
        return kExitOk;
    });
}

int mail(Invocation& invocation) {
    return withNamedRecipe(
        invocation,
        [&](LibrarySession& session, ManagedObjectContext&,
            const std::shared_ptr<Recipe>& recipe) -> int {
            // A fresh folder each time: the mail program reads the files after we are gone.
            auto folder = makePrivateTemporaryFolder("miravel-mail");
            if (!folder) {
                return invocation.failure(folder.error().description);
            }
            // The recipe file lets the receiver import the recipe; the photo comes along too.
            const auto files = writeRecipeMailAttachments(
                *recipe, *folder, [](const Recipe& mailed) -> std::optional<std::string> {
                    return mailed.emailAttachment();
                });
            std::shared_ptr<UrlOpener> opener = mailUrlOpener(invocation);
            MailHandoff handoff(opener, session.application().settings());
            if (!handoff.emailWithContent(recipeEmailBody(*recipe), recipeEmailSubject(*recipe),
                                          files, std::nullopt)) {
                return invocation.failure("could not open the mail program (xdg-open failed).");
            }
            for (const auto& file : files) {
                invocation.out << "Attachment: " << file.string() << "\n";
            }
            return kExitOk;
        });
}

int print(Invocation& invocation) {
    std::optional<std::filesystem::path> file;
    if (int code = kExitOk; !outputFileOption(invocation, file, code)) {
        return code;
    }
    return withNamedRecipe(
        invocation,
        [&](LibrarySession&, ManagedObjectContext&, const std::shared_ptr<Recipe>& recipe) -> int {
            CommandLinePrintHandoff printer(file, invocation.out);
            printer.printHtml(MiravelHtml::printForRecipe(*recipe));
            if (!printer.result()) {
                return invocation.failure(printer.result().error().description);
            }
            return kExitOk;
        });
}

}  // namespace

void addRecipeVerbs(CommandLine& commandLine) {
    commandLine.add({"recipe",
                     "show",
                     "NAME|UID",
                     "Show one recipe, or (--json) its dictionary form with its hash, or its print "
                     "page or e-mail text.",
                     {{"json", "", "the dictionary form as JSON"},
                      {"html", "", "the page printed for it"},
                      {"text", "", "the text e-mailed for it"},
                      {"scale", "FACTOR", "ingredients and servings at 3/2, 2, \"1 1/2\"..."}},
                     1,
                     1,
                     show,
                     LibraryAccess::Reads});
    commandLine.add({"recipe",
                     "mail",
                     "NAME|UID",
                     "Print the mailto: address that e-mails a recipe, and its attachments.",
                     {{"open", "", "open the address in the mail program (xdg-open)"}},
                     1,
                     1,
                     mail,
                     LibraryAccess::Reads});
    commandLine.add({"recipe",
                     "print",
                     "NAME|UID",
                     "Write the page printed for a recipe (HTML) to standard output or a file.",
                     {{"output", "FILE", "write the page to FILE"}},
                     1,
                     1,
                     print,
                     LibraryAccess::Reads});
}

}  // namespace miravel::cli
