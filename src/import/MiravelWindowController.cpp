#include "import/MiravelWindowController.h"

#include <exception>

#include "fmt/format.h"
#include "import/HtmlExport.h"
#include "import/ImporterDispatch.h"
#include "import/MiravelExporter.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "library/CategoriesController.h"
#include "model/AutomaticBackups.h"
#include "model/Library.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

MiravelWindowController::MiravelWindowController(Library& library) : m_library(library) {}

const std::vector<std::string_view>& MiravelWindowController::importChooserExtensions() {
    return importFileExtensions();
}

AlertText MiravelWindowController::importConfirmation() {
    return {"Import Recipes",
            "Are you sure you want to import the recipes contained in this file?"};
}

MiravelWindowController::ImportRun MiravelWindowController::performImport(
    const std::filesystem::path& path, const std::function<void(const ImportProgress&)>& progress,
    const std::atomic<bool>* cancel) {
    auto importer = importerForFile(path, m_library);
    if (!importer) {
        return {ImportOutcome{0, Error{applicationErrorDomain(), 100, "File not recognized.", {}}},
                {}};
    }
    importer->setProgressHandler(progress);
    importer->setCancelFlag(cancel);
    try {
        ImportOutcome outcome = importer->parseFile(path);
        return {std::move(outcome), importer->records()};
    } catch (const std::exception& exception) {
        logLine("Import of {} failed: {}", path.string(), exception.what());
        return {ImportOutcome{0, Error{applicationErrorDomain(),
                                       100,
                                       "There was a problem importing this file.",
                                       {}}},
                importer->records()};
    }
}

AlertText MiravelWindowController::importAlert(const ImportOutcome& outcome) {
    if (outcome.error) {
        return {"Import Failed", outcome.error->description};
    }
    if (outcome.cancelled) {
        return {"Import Cancelled",
                fmt::format("The import was cancelled after {} recipes.", outcome.count)};
    }
    return {"Import Complete", fmt::format("Successfully imported {} recipes.", outcome.count)};
}

std::vector<std::string> MiravelWindowController::populateCategoriesForExportView() {
    std::vector<std::string> choices = {"All Recipes", "Favorites"};
    m_exportCategories.clear();
    ManagedObjectContext* context = m_library.mainContext();
    const bool alphabetize = m_library.settings().boolean(kAlphabetizeCategoriesKey);
    auto categories = context->executeFetchRequest(
        FetchRequest{RecipeCategory::kEntityName, livePredicate(),
                     CategoriesController::sortDescriptors(alphabetize)});
    if (!categories) {
        logLine("Categories could not be fetched. Error: {}", categories.error().description);
        return choices;
    }
    for (auto& object : *categories) {
        auto category = std::static_pointer_cast<RecipeCategory>(object);
        choices.push_back(category->name().value_or(""));
        m_exportCategories.push_back(std::move(category));
    }
    return choices;
}

std::vector<std::shared_ptr<Recipe>> MiravelWindowController::fetchRecipesForExport(
    std::size_t selection) {
    Predicate predicate = livePredicate();
    if (selection == 1) {
        predicate = livePredicateAnd("onFavorites == YES");
    } else if (selection >= 2) {
        if (selection - 2 >= m_exportCategories.size()) {
            return {};
        }
        predicate = livePredicateAnd("%@ in categories",
                                     {Value(m_exportCategories[selection - 2]->objectID())});
    }
    auto recipes = m_library.mainContext()->fetch<Recipe>(
        predicate,
        {SortDescriptor("name", true, SortDescriptor::Comparison::LocalizedCaseInsensitive)});
    if (!recipes) {
        logLine("Recipes could not be fetched. Error: {}", recipes.error().description);
        return {};
    }
    return *recipes;
}

std::string MiravelWindowController::exportFileName(const std::string& name, ExportFormat format) {
    const std::string stem = std::filesystem::path(name).stem().string();
    return format == ExportFormat::Archive ? stem + ".miravelrecipes" : stem;
}

AlertText MiravelWindowController::exportRecipes(ExportFormat format, std::size_t selection,
                                                 const std::filesystem::path& location,
                                                 const std::function<void(std::size_t)>& progress) {
    const auto recipes = fetchRecipesForExport(selection);
    m_exportCategories.clear();
    if (format == ExportFormat::Html) {
        auto failed = HtmlExport::exportRecipesToHtml(recipes, location);
        if (!failed) {
            return {"Export Error", failed.error().description};
        }
        return {"Export Complete", fmt::format("{} recipes exported.", recipes.size())};
    }
    auto exported = MiravelExporter::exportRecipesToMiravelFormat(recipes, location, progress);
    if (!exported) {
        return {"Export Error", fmt::format("Recipes could not be exported. Reason: {}.",
                                            exported.error().description)};
    }
    logLine("Recipes exported to {}", *exported);
    return {"Export Complete", fmt::format("{} recipes exported.", recipes.size())};
}

MiravelWindowController::FileDialog MiravelWindowController::createBackup(Timestamp now) {
    return {offeredBackupFileName(now), {kBackupExtension}};
}

AlertText MiravelWindowController::createBackupInBackgroundThread(
    const std::filesystem::path& path, const std::function<void(double)>& progress) {
    // Checked once written: "Backup Complete" is only said of a backup that would restore.
    auto written =
        writeVerifiedLibraryBackup(m_library.filesFolder(), path, miravelModelVersions(), progress);
    if (!written) {
        logLine("Backup failed: {}", written.error().description);
        return {tr("Backup Failed"), written.error().description};
    }
    return backupComplete(path.filename().string());
}

AlertText MiravelWindowController::backupComplete(const std::string& fileName) {
    return {tr("Backup Complete"), fmt::format("A backup file has been created: {}.", fileName)};
}

MiravelWindowController::FileDialog MiravelWindowController::restoreBackup() {
    return {"", {kBackupExtension}};
}

std::filesystem::path MiravelWindowController::restoreBackupFolder() const {
    const auto folder = backupsFolder(m_library.filesFolder(), m_library.settings());
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : std::filesystem::path();
}

AlertText MiravelWindowController::confirmRestoreBackup() {
    return {tr("Restore Backup"), tr("Are you sure you want to restore from this backup?")};
}

}  // namespace miravel
