#include <unistd.h>

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
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/TextPieces.h"
#include "library/EditRecipeController.h"
#include "library/RecipeDictionary.h"
#include "model/MiravelAppDelegate.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/UserSettings.h"
#include "rendering/MailHandoff.h"
#include "rendering/RecipeMail.h"

namespace miravel::cli {

namespace {

// The text options of "recipe add" and "recipe edit", and the sheet's field each one types in.
struct TextField {
    const char* option;
    std::string RecipeFields::*field;
    const char* help;
};
constexpr TextField kTextFields[] = {
    {"name", &RecipeFields::name, "the title (required by add)"},
    {"ingredients", &RecipeFields::ingredients, "ingredient lines, one per line"},
    {"directions", &RecipeFields::directions, "the method"},
    {"servings", &RecipeFields::servings, "e.g. 4, or 6 servings"},
    {"prep-time", &RecipeFields::prepTime, "e.g. 15 minutes"},
    {"cook-time", &RecipeFields::cookTime, "e.g. 1 hour"},
    {"difficulty", &RecipeFields::difficulty, "Easy, Medium or Hard"},
    {"source", &RecipeFields::source, "a site or book"},
    {"source-url", &RecipeFields::sourceUrl, "the web address of the source"},
    {"notes", &RecipeFields::notes, "free text"},
    {"nutritional-info", &RecipeFields::nutritionalInfo, "free text"},
};

// The rating and difficulty options, checked before the library is opened.
struct CheckedOptions {
    std::optional<std::int64_t> rating;
};

std::optional<CheckedOptions> checkOptions(Invocation& invocation, int& code) {
    CheckedOptions checked;
    if (auto name = invocation.option("name"); name && !trimmedName(*name)) {
        code = invocation.usageError("--name needs a name that is not blank.");
        return std::nullopt;
    }
    if (auto text = invocation.option("rating")) {
        std::int64_t value = -1;
        auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size() || value < 0 || value > 5) {
            code = invocation.usageError("--rating takes a number of stars from 0 to 5.");
            return std::nullopt;
        }
        checked.rating = value;
    }
    if (auto difficulty = invocation.option("difficulty");
        difficulty && !difficulty->empty() && *difficulty != "Easy" && *difficulty != "Medium" &&
        *difficulty != "Hard") {
        code = invocation.usageError("--difficulty takes Easy, Medium or Hard.");
        return std::nullopt;
    }
    if (invocation.has("photo") && invocation.has("no-photo")) {
        code = invocation.usageError("choose one of --photo and --no-photo.");
        return std::nullopt;
    }
    return checked;
}

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = std::min(text.find(',', start), text.size());
        std::string name = text.substr(start, comma - start);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!name.empty()) {
            names.push_back(name);
        }
        start = comma + 1;
    }
    return names;
}

// Ticks exactly these categories in the editor's check-list.
void chooseCategories(LibrarySession& session, EditRecipeController& editor,
                      const std::vector<std::shared_ptr<RecipeCategory>>& wanted) {
    const bool alphabetize = session.application().settings().boolean(kAlphabetizeCategoriesKey);
    // A fresh list, so that categories made since an earlier one are in it.
    editor.closeCategories();
    EditCategoriesController& chooser = editor.changeCategories(alphabetize);
    for (std::size_t row = 0; row < chooser.numberOfRows(); ++row) {
        chooser.setChosen(row, std::ranges::find(wanted, chooser.listed()[row]) != wanted.end());
    }
}

// The categories --categories names, creating those that do not exist yet, as an import
// does; their names go to `created`, to be reported once the recipe is saved.
Result<std::vector<std::shared_ptr<RecipeCategory>>> namedCategories(
    ManagedObjectContext& context, const std::string& list, std::vector<std::string>& created) {
    std::vector<std::shared_ptr<RecipeCategory>> categories;
    for (const auto& name : splitNames(list)) {
        auto category = RecipeCategory::named(context, name);
        if (!category) {
            auto inserted = RecipeCategory::insertNamed(context, name);
            if (!inserted) {
                return std::unexpected(inserted.error());
            }
            category = *inserted;
            created.push_back(category->name().value_or(""));
        }
        if (std::ranges::find(categories, category) == categories.end()) {
            categories.push_back(category);
        }
    }
    return categories;
}

// Types the options into the open editor as a user would into the sheet; an option left out
// keeps what the sheet showed (or what the recipe dictionary of "add --from-json" gave).
int fillEditor(Invocation& invocation, LibrarySession& session, EditRecipeController& editor,
               const CheckedOptions& checked, std::vector<std::string>& created) {
    RecipeFields& fields = editor.fields();
    for (const auto& field : kTextFields) {
        if (auto value = invocation.option(field.option)) {
            fields.*field.field = *value;
        }
    }
    if (auto difficulty = invocation.option("difficulty"); difficulty && !difficulty->empty()) {
        fields.difficulty =
            LocalizedSettingsManager::sharedManager().localizedDifficultyForDifficulty(*difficulty);
    }
    if (checked.rating) {
        fields.rating = *checked.rating;
    }
    if (auto photo = invocation.option("photo")) {
        if (auto chosen = editor.chooseImage(*photo); !chosen) {
            return invocation.failure(chosen.error().description);
        }
    }
    if (invocation.has("no-photo")) {
        editor.clearImage();
    }
    if (auto list = invocation.option("categories")) {
        auto wanted = namedCategories(*session.context(), *list, created);
        if (!wanted) {
            return invocation.failure(wanted.error().description);
        }
        chooseCategories(session, editor, *wanted);
    }
    return kExitOk;
}

// Hears the editor's outcome, so the verb can report it.
class EditOutcome : public EditRecipeControllerDelegate {
public:
    void recipeEdited(const std::shared_ptr<Recipe>& recipe) override { m_recipe = recipe; }
    const std::shared_ptr<Recipe>& recipe() const { return m_recipe; }

private:
    std::shared_ptr<Recipe> m_recipe;
};

// Reports the categories made for the recipe; on standard error, so that standard output
// holds only the uid a script reads.
void reportCreated(Invocation& invocation, const std::vector<std::string>& created) {
    for (const auto& name : created) {
        invocation.err << "Created category \"" << name << "\".\n";
    }
}

// The recipe dictionary of --from-json, checked; the photo it names is copied from the
// library's folder, so that the two recipes never share (and delete) one file.
int startFromDictionary(Invocation& invocation, LibrarySession& session,
                        EditRecipeController& editor, RecipeDictionaryExtras& extras) {
    const std::string file = *invocation.option("from-json");
    const std::string shown = file == "-" ? "standard input" : file;
    auto text = readInputFile(file);
    if (!text) {
        return invocation.failure(text.error().description);
    }
    // "show --json" writes control characters other than \n, \t and the like as raw bytes,
    // and what it prints must come back.
    auto parsed = JsonParser::parse(
        *text, {.maxDepth = JsonParser::kDefaultMaxDepth, .allowRawControlCharacters = true});
    if (!parsed) {
        return invocation.failure(shown + ": " + parsed.error().description);
    }
    if (!parsed->isObject()) {
        return invocation.failure(shown + " holds no recipe dictionary (a JSON object).");
    }
    auto read = readRecipeDictionary(*session.context(), parsed->asObject());
    if (!read) {
        return invocation.failure(shown + ": " + read.error().description);
    }
    extras = std::move(*read);
    editor.setBrowserData(parsed->asObject());
    editor.initializeFields();
    editor.fields().rating = extras.rating;
    if (!extras.categories.empty()) {
        chooseCategories(session, editor, extras.categories);
    }
    if (extras.photo && !invocation.has("photo")) {
        const auto photo = session.application().applicationFilesDirectory() / *extras.photo;
        if (std::error_code error; !std::filesystem::is_regular_file(photo, error)) {
            invocation.err << "The photo \"" << *extras.photo
                           << "\" is not in the library; the recipe is added without it.\n";
        } else if (auto chosen = editor.chooseImage(photo); !chosen) {
            return invocation.failure(chosen.error().description);
        }
    }
    return kExitOk;
}

int add(Invocation& invocation) {
    if (!invocation.has("from-json") && !invocation.has("name")) {
        return invocation.usageError("a recipe needs a name (--name).");
    }
    int code = kExitOk;
    auto checked = checkOptions(invocation, code);
    if (!checked) {
        return code;
    }
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    EditOutcome outcome;
    EditRecipeController editor(*context, session.hooks(), &outcome);
    editor.setRecipe(nullptr);
    RecipeDictionaryExtras extras;
    if (invocation.has("from-json")) {
        if (int started = startFromDictionary(invocation, session, editor, extras);
            started != kExitOk) {
            return started;
        }
    } else {
        editor.initializeFields();
        // The sheet offers "Easy" to a person; a command that names no difficulty chose none.
        editor.fields().difficulty.clear();
    }
    std::vector<std::string> created;
    if (int filled = fillEditor(invocation, session, editor, *checked, created);
        filled != kExitOk) {
        return filled;
    }
    if (auto saved = editor.saveEditRecipeSheet(); !saved) {
        return session.databaseError(saved.error());
    }
    auto recipe = outcome.recipe();
    if (!recipe) {
        return invocation.failure("the recipe was not saved.");
    }
    if (invocation.has("favorite") || extras.onFavorites) {
        recipe->setOnFavorites(true);
        recipe->setModified();
        if (auto saved = context->save(); !saved) {
            return session.databaseError(saved.error());
        }
    }
    reportCreated(invocation, created);
    invocation.out << recipe->uid() << "\n";
    return kExitOk;
}

int edit(Invocation& invocation) {
    int code = kExitOk;
    auto checked = checkOptions(invocation, code);
    if (!checked) {
        return code;
    }
    return withNamedRecipe(
        invocation,
        [&](LibrarySession& session, ManagedObjectContext& context,
            const std::shared_ptr<Recipe>& recipe) -> int {
            EditOutcome outcome;
            EditRecipeController editor(context, session.hooks(), &outcome);
            editor.setRecipe(recipe);
            editor.initializeFields();
            std::vector<std::string> created;
            if (int filled = fillEditor(invocation, session, editor, *checked, created);
                filled != kExitOk) {
                editor.cancelEditRecipeSheet();
                return filled;
            }
            if (auto saved = editor.saveEditRecipeSheet(); !saved) {
                return session.databaseError(saved.error());
            }
            if (!outcome.recipe()) {
                return invocation.failure("the recipe was deleted meanwhile; nothing was saved.");
            }
            reportCreated(invocation, created);
            invocation.out << recipe->uid() << "\n";
            return kExitOk;
        });
}

}  // namespace

// The verbs that write a recipe through the edit sheet's rules: add and edit.
void addRecipeEditVerbs(CommandLine& commandLine) {
    std::vector<OptionSpec> addOptions;
    for (const auto& field : kTextFields) {
        addOptions.push_back({field.option, "TEXT", field.help});
    }
    addOptions.push_back({"rating", "STARS", "0 to 5"});
    addOptions.push_back({"photo", "FILE", "a picture (png, jpeg, gif, tiff, bmp)"});
    addOptions.push_back({"categories", "A,B", "file it in these categories (made when missing)"});
    std::vector<OptionSpec> editOptions = addOptions;
    editOptions.push_back({"no-photo", "", "remove the photo"});
    addOptions.push_back({"favorite", "", "put it in the favourites"});
    addOptions.push_back(
        {"from-json", "FILE",
         "start from a recipe dictionary (JSON, as show --json prints; - reads standard input)"});
    commandLine.add({"recipe", "add", "", "Add a recipe to the library; prints its uid.",
                     addOptions, 0, 0, add});
    commandLine.add({"recipe", "edit", "NAME|UID",
                     "Change a recipe as the edit sheet does; options left out keep their "
                     "values. Prints its uid.",
                     editOptions, 1, 1, edit});
}

}  // namespace miravel::cli
