#include <ostream>
#include <string>

#include "browser/RecipePageParser.h"
#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/JsonWriter.h"
#include "library/EditRecipeController.h"
#include "model/Recipe.h"

namespace miravel::cli {

namespace {

class ClipOutcome : public EditRecipeControllerDelegate {
public:
    void recipeEdited(const std::shared_ptr<Recipe>& recipe) override { m_recipe = recipe; }
    const std::shared_ptr<Recipe>& recipe() const { return m_recipe; }

private:
    std::shared_ptr<Recipe> m_recipe;
};

// The dictionary as the editor's fields show it, one labelled field after another.
void printFields(std::ostream& out, const JsonObject& dictionary) {
    static constexpr std::pair<const char*, const char*> kLabels[] = {
        {"name", "Name"},
        {"servings", "Servings"},
        {"prep_time", "Prep"},
        {"cook_time", "Cook"},
        {"source", "Source"},
        {"source_url", "Source address"},
        {"image_url", "Picture"},
        {"ingredients", "Ingredients"},
        {"directions", "Directions"},
        {"nutritional_info", "Nutrition"},
        {"notes", "Notes"}};
    for (const auto& [key, label] : kLabels) {
        const JsonValue* value = dictionary.find(key);
        if (value == nullptr || !value->isString()) {
            continue;
        }
        const std::string& text = value->asString();
        if (text.find('\n') == std::string::npos && std::string_view(key) != "ingredients" &&
            std::string_view(key) != "directions") {
            out << label << ": " << text << "\n";
        } else {
            out << "\n" << label << ":\n" << text << "\n";
        }
    }
}

// Saves the dictionary as a new recipe, as the editor saves what the clipper filled it with.
int saveClipped(Invocation& invocation, const JsonObject& dictionary) {
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    ClipOutcome outcome;
    EditRecipeController editor(*context, session.hooks(), &outcome);
    editor.setRecipe(nullptr);
    editor.setBrowserData(dictionary);
    editor.initializeFields();
    if (auto saved = editor.saveEditRecipeSheet(); !saved) {
        return session.databaseError(saved.error());
    }
    if (!outcome.recipe()) {
        return invocation.failure("the recipe was not saved.");
    }
    invocation.out << outcome.recipe()->uid() << "\n";
    return kExitOk;
}

int clip(Invocation& invocation) {
    const auto file = invocation.option("html");
    if (!file) {
        return invocation.usageError("which page? (--html FILE)");
    }
    const std::string url = invocation.option("url").value_or("");
    auto page = readInputFile(*file);
    if (!page) {
        return invocation.failure(page.error().description);
    }
    auto recipe = RecipePageParser::parse(*page, url);
    if (!recipe) {
        invocation.err << recipe.error().description << "\n";
        return kExitFailure;
    }
    const JsonObject dictionary = recipeDictionary(*recipe, url);
    if (invocation.has("save")) {
        return saveClipped(invocation, dictionary);
    }
    if (invocation.has("json")) {
        invocation.out << JsonWriter::writePretty(dictionary) << "\n";
    } else {
        printFields(invocation.out, dictionary);
    }
    return kExitOk;
}

}  // namespace

void addClipVerb(CommandLine& commandLine) {
    commandLine.add({"",
                     "clip",
                     "",
                     "Read a recipe out of a saved web page; prints it, or adds it to the "
                     "library and prints its uid (--save).",
                     {{"html", "FILE", "the page (- reads standard input)"},
                      {"url", "URL", "the page's address (its source, and the base of its links)"},
                      {"json", "", "print the recipe dictionary as JSON"},
                      {"save", "", "add the recipe to the library as the editor saves it"}},
                     0,
                     0,
                     clip});
}

}  // namespace miravel::cli
