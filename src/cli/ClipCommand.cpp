#include <ostream>
#include <string>

#include "browser/BrowserController.h"
#include "browser/PageFetch.h"
#include "browser/PageRecipe.h"
#include "browser/RecipePageParser.h"
#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "library/EditRecipeController.h"
#include "model/MemoryKeychain.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"

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

// The page's recipe as the Browser pane reads it: the parse service when one is configured,
// the page parser here when there is none or it fails.
Result<JsonObject> readRecipe(const std::string& page, const std::string& url) {
    UserSettings& settings = commandLineSettings();
    if (parseServiceConfigured(settings)) {
        // The page parse needs no account; the user's credentials stay out of it.
        MemoryKeychain keychain;
        MiravelService service(settings, keychain, MainQueue::shared());
        auto answer = service.makeRequest(service.getRecipe(url, page)->httpRequest());
        if (answer && answer->isObject()) {
            return answer->asObject();
        }
        logLine("Recipe errored: {}",
                answer ? std::string("the answer is no recipe") : answer.error().description);
    }
    auto recipe = RecipePageParser::parse(page, url);
    if (!recipe) {
        return std::unexpected(recipe.error());
    }
    return recipeDictionary(*recipe, url);
}

// Saves the dictionary as a new recipe, as the editor saves what the clipper filled it with,
// with the page's picture when it can be fetched.
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
    if (const JsonValue* image = dictionary.find("image_url");
        image != nullptr && image->isString()) {
        auto picture = fetchPage(image->asString());
        if (!picture) {
            logLine("Image download failed: {}", picture.error().description);
        } else if (auto taken = editor.imageDragged(picture->body); !taken) {
            logLine("Image download failed: {}", taken.error().description);
        }
    }
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
    const std::optional<std::string> address =
        invocation.arguments.empty() ? std::nullopt
                                     : std::optional<std::string>(invocation.arguments[0]);
    if (!file && !address) {
        return invocation.usageError("which page? (URL or --html FILE)");
    }
    if (file && address) {
        return invocation.usageError("give either a URL or --html FILE, not both.");
    }
    std::string url = invocation.option("url").value_or("");
    std::string page;
    if (file) {
        auto read = readInputFile(*file);
        if (!read) {
            return invocation.failure(read.error().description);
        }
        page = std::move(*read);
    } else {
        const auto loadable = loadableAddress(*address);
        if (!loadable) {
            return invocation.usageError("only http and https pages can be clipped.");
        }
        auto fetched = fetchPage(*loadable);
        if (!fetched) {
            return invocation.failure(fetched.error().description);
        }
        page = std::move(fetched->body);
        url = fetched->finalUrl;
    }
    auto recipe = readRecipe(page, url);
    if (!recipe) {
        invocation.err << recipe.error().description << "\n";
        return kExitFailure;
    }
    const JsonObject& dictionary = *recipe;
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
                     "[URL]",
                     "Read a recipe out of a web page (fetched, or saved with --html); the parse "
                     "service reads it when one is configured. Prints it, or adds it to the "
                     "library with its picture and prints its uid (--save).",
                     {{"html", "FILE", "a saved page (- reads standard input)"},
                      {"url", "URL", "the page's address (its source, and the base of its links)"},
                      {"json", "", "print the recipe dictionary as JSON"},
                      {"save", "", "add the recipe to the library as the editor saves it"}},
                     0,
                     1,
                     clip});
}

}  // namespace miravel::cli
