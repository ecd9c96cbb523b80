#include <unistd.h>

#include <atomic>
#include <csignal>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/RecipeLookup.h"
#include "fmt/format.h"
#include "import/HtmlExport.h"
#include "import/MiravelExporter.h"
#include "import/MiravelWindowController.h"
#include "import/RecipeFileOpening.h"
#include "lib/JsonWriter.h"
#include "model/MiravelAppDelegate.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"

namespace miravel::cli {

namespace {

constexpr std::size_t kMany = std::numeric_limits<std::size_t>::max();

std::atomic<bool> g_interrupted{false};

extern "C" void noteInterrupt(int) {
    g_interrupted.store(true);
}

// A bar on standard error that rewrites its line; only drawn on a terminal.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream& err) : m_err(err), m_shown(::isatty(STDERR_FILENO) != 0) {}

    void draw(const std::string& file, const ImportProgress& progress) {
        if (!m_shown) {
            return;
        }
        constexpr int kWidth = 30;
        const double fraction = progress.bytesTotal == 0
                                    ? 0.0
                                    : static_cast<double>(progress.bytesRead) /
                                          static_cast<double>(progress.bytesTotal);
        const int filled = static_cast<int>(fraction * kWidth);
        m_err << "\r" << file << " [" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] "
              << static_cast<int>(fraction * 100) << "% " << progress.recipesDone << " recipes"
              << std::flush;
        m_drawn = true;
    }
    void clear() {
        if (m_drawn) {
            m_err << "\r\033[K" << std::flush;
            m_drawn = false;
        }
    }

private:
    std::ostream& m_err;
    bool m_shown;
    bool m_drawn = false;
};

JsonObject recordLine(const std::string& file, const ImportRecord& record) {
    JsonObject line;
    line.set("file", file);
    if (record.line > 0) {
        line.set("line", static_cast<std::int64_t>(record.line));
    }
    switch (record.kind) {
        case ImportRecord::Kind::Recipe:
            line.set("name", record.name);
            line.set("imported", record.imported);
            if (!record.reason.empty()) {
                line.set(record.imported ? "note" : "reason", record.reason);
            }
            break;
        case ImportRecord::Kind::PassedOver:
            line.set("passed_over", record.name);
            line.set("reason", record.reason);
            break;
        case ImportRecord::Kind::FileNote:
            line.set("note", record.reason);
            break;
    }
    return line;
}

// The last line of a file's report: how many recipes it held and how many came in.
JsonObject summaryLine(const std::string& file, const MiravelWindowController::ImportRun& run) {
    JsonObject line;
    line.set("file", file);
    line.set("found", static_cast<std::int64_t>(recipesFound(run.records)));
    line.set("imported", static_cast<std::int64_t>(run.outcome.count));
    return line;
}

int importFiles(Invocation& invocation) {
    LibrarySession session(invocation);
    if (session.context() == nullptr) {
        return kExitFailure;
    }
    MiravelWindowController controller(session.application().library());
    ProgressBar bar(invocation.err);
    // Ctrl-C ends the import after the recipe at hand; what was saved stays.
    g_interrupted.store(false);
    auto previous = std::signal(SIGINT, noteInterrupt);
    int code = kExitOk;
    for (const std::string& file : invocation.arguments) {
        auto run = controller.performImport(
            file, [&](const ImportProgress& progress) { bar.draw(file, progress); },
            &g_interrupted);
        bar.clear();
        if (invocation.has("report")) {
            for (const ImportRecord& record : run.records) {
                invocation.out << JsonWriter::write(JsonValue(recordLine(file, record))) << "\n";
            }
            invocation.out << JsonWriter::write(JsonValue(summaryLine(file, run))) << "\n";
        }
        const AlertText alert = MiravelWindowController::importAlert(run.outcome);
        std::ostream& stream = run.outcome.error ? invocation.err : invocation.out;
        stream << (invocation.arguments.size() > 1 ? file + ": " : "") << alert.title << ": "
               << alert.message << "\n";
        if (run.outcome.error || run.outcome.cancelled) {
            code = kExitFailure;
        }
        if (run.outcome.cancelled) {
            break;
        }
    }
    std::signal(SIGINT, previous);
    return code;
}

int exportRecipes(Invocation& invocation) {
    const std::string format = invocation.option("format").value_or("archive");
    if (format != "recipe" && format != "archive" && format != "html") {
        return invocation.usageError("--format is recipe, archive or html, not \"" + format +
                                     "\".");
    }
    if (invocation.has("favorites") && invocation.has("category")) {
        return invocation.usageError("choose one of --favorites and --category.");
    }
    std::vector<std::string> names(invocation.arguments.begin(), invocation.arguments.end() - 1);
    const std::filesystem::path destination = invocation.arguments.back();
    if (!names.empty() && (invocation.has("favorites") || invocation.has("category"))) {
        return invocation.usageError(
            "name recipes, or choose --favorites or --category, not both.");
    }
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    MiravelWindowController controller(session.application().library());
    const auto choices = controller.populateCategoriesForExportView();
    std::size_t selection = 0;
    if (invocation.has("favorites")) {
        selection = 1;
    } else if (auto category = invocation.option("category")) {
        auto found = std::find(choices.begin() + 2, choices.end(), *category);
        if (found == choices.end()) {
            return invocation.failure("No category named \"" + *category + "\".");
        }
        selection = static_cast<std::size_t>(found - choices.begin());
    }
    std::vector<std::shared_ptr<Recipe>> recipes;
    if (!names.empty()) {
        for (const std::string& name : names) {
            int code = kExitOk;
            auto recipe = oneRecipe(invocation, *context, name, code);
            if (!recipe) {
                return code;
            }
            recipes.push_back(std::move(recipe));
        }
    } else {
        recipes = controller.fetchRecipesForExport(selection);
    }
    if (format == "archive") {
        auto exported = MiravelExporter::exportRecipesToMiravelFormat(recipes, destination);
        if (!exported) {
            return invocation.failure(
                fmt::format("Export Error: Recipes could not be exported. Reason: {}.",
                            exported.error().description));
        }
        invocation.out << "Export Complete: " << recipes.size() << " recipes exported.\n";
        return kExitOk;
    }
    if (format == "html") {
        auto failed = HtmlExport::exportRecipesToHtml(recipes, destination);
        if (!failed) {
            return invocation.failure("Export Error: " + failed.error().description);
        }
        invocation.out << "Export Complete: " << recipes.size() << " recipes exported.\n";
        return kExitOk;
    }
    // One recipe file each: into DEST when it is a folder, as DEST for a single recipe.
    std::error_code error;
    const bool intoFolder = std::filesystem::is_directory(destination, error);
    if (!intoFolder && recipes.size() != 1) {
        return invocation.failure(destination.string() +
                                  " is not a folder: name a folder for several recipe files.");
    }
    ArchiveEntryNames fileNames;
    for (const auto& recipe : recipes) {
        const auto path =
            intoFolder ? destination / fileNames.uniqueName(recipe->emailFilename()) : destination;
        if (auto written = MiravelExporter::exportRecipeFile(*recipe, path); !written) {
            return invocation.failure("Export Error: " + written.error().description);
        }
    }
    invocation.out << "Export Complete: " << recipes.size() << " recipes exported.\n";
    return kExitOk;
}

int openFile(Invocation& invocation) {
    LibrarySession session(invocation);
    if (session.context() == nullptr) {
        return kExitFailure;
    }
    auto recipe = openRecipeFile(session.application().library(), invocation.arguments.front());
    if (!recipe) {
        return invocation.failure(std::string(kRecipeErrorTitle) + ": " +
                                  recipe.error().description);
    }
    printRecipe(invocation.out, **recipe,
                session.application().settings().boolean(kAlphabetizeCategoriesKey), std::nullopt);
    return kExitOk;
}

}  // namespace

void addImportVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "import",
                     "FILE...",
                     "Import the recipes of recipe files and archives into the library.",
                     {{"report", "", "print what became of each recipe, as JSON lines"}},
                     1,
                     kMany,
                     importFiles});
    commandLine.add(
        {"",
         "export",
         "[NAME...] DEST",
         "Export recipes (all, the favourites, a category's, or the named ones) to DEST.",
         {{"format", "FORMAT",
           "archive (one .miravelrecipes file, the default), recipe (one "
           ".miravelrecipe file per recipe) or html"},
          {"favorites", "", "export the favourites"},
          {"category", "NAME", "export the recipes of this category"}},
         1,
         kMany,
         exportRecipes,
         LibraryAccess::Reads});
    commandLine.add({"",
                     "open",
                     "FILE",
                     "Add the recipe of a recipe file as a new recipe, as opening it does.",
                     {},
                     1,
                     1,
                     openFile});
}

}  // namespace miravel::cli
