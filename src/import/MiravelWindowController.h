#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/RecipeImporter.h"
#include "lib/DateText.h"
#include "lib/Error.h"

namespace miravel {

class Library;
class Recipe;
class RecipeCategory;

// An alert as the main window shows it: the title as message text, the message below it.
struct AlertText {
    std::string title;
    std::string message;
};

// The main window's import and export flows without the window: the texts of the alerts and
// the progress panel, the choices of the export dialog, and the work itself, which a front end
// runs on a thread of its own (the CLI runs it in place).
class MiravelWindowController {
public:
    explicit MiravelWindowController(Library& library);

    // The import chooser and the confirmation that follows it.
    static const std::vector<std::string_view>& importChooserExtensions();
    static AlertText importConfirmation();
    static constexpr const char* kImportConfirmButton = "Import";
    static constexpr const char* kImportingLabel = "Importing Recipes...";

    // Imports one file on the calling thread (not the main one when the main queue must run
    // merges: the desktop calls it from its import thread). Never throws: an importer that
    // does ends the import with "There was a problem importing this file.".
    struct ImportRun {
        ImportOutcome outcome;
        std::vector<ImportRecord> records;
    };
    ImportRun performImport(const std::filesystem::path& path,
                            const std::function<void(const ImportProgress&)>& progress = {},
                            const std::atomic<bool>* cancel = nullptr);
    // "Import Complete" / "Import Failed" (or "Import Cancelled") for what an import did.
    static AlertText importAlert(const ImportOutcome& outcome);

    // The export dialog's format and selection choices.
    enum class ExportFormat { Html = 0, Archive = 1 };
    static constexpr const char* kExportingLabel = "Exporting Recipes...";
    // "All Recipes", "Favorites", then the live categories in the sidebar's order; the
    // categories are kept for the export that follows.
    std::vector<std::string> populateCategoriesForExportView();
    // Selection 0 is every recipe, 1 the favourites, 2 and up the kept categories. Sorted by
    // name the way people read it.
    std::vector<std::shared_ptr<Recipe>> fetchRecipesForExport(std::size_t selection);
    // The name the save dialog proposes once the format is chosen.
    static std::string exportFileName(const std::string& name, ExportFormat format);
    // Exports the selection and returns the alert to show ("Export Complete" or "Export
    // Error"). Runs on the main thread: the recipes belong to the main context.
    AlertText exportRecipes(ExportFormat format, std::size_t selection,
                            const std::filesystem::path& location,
                            const std::function<void(std::size_t)>& progress = {});

    // The Backup menu. "Create Backup" asks where with a save dialog offering this name and
    // accepting only this type.
    struct FileDialog {
        std::string fileName;
        std::vector<std::string> allowedTypes;
    };
    static FileDialog createBackup(Timestamp now = currentMoment());
    static constexpr const char* kCreatingBackupLabel = "Creating Backup...";
    // Writes the backup to `path` and returns the alert to show: "Backup Complete", or
    // "Backup Failed" with the reason (nothing is left at `path` then). Any thread; saves go
    // on meanwhile.
    AlertText createBackupInBackgroundThread(const std::filesystem::path& path,
                                             const std::function<void(double)>& progress = {});
    static AlertText backupComplete(const std::string& fileName);
    // "Restore Backup" asks for a file of this type, then for confirmation; only the
    // confirmation's first button goes on, to the application object's restoreFromBackup().
    static FileDialog restoreBackup();
    // Where the restore dialog opens: the backups folder, where the automatic backups are
    // (empty when there is none yet).
    std::filesystem::path restoreBackupFolder() const;
    static AlertText confirmRestoreBackup();
    static constexpr const char* kRestoreButton = "Restore";
    static constexpr const char* kCancelButton = "Cancel";

private:
    Library& m_library;
    std::vector<std::shared_ptr<RecipeCategory>> m_exportCategories;
};

}  // namespace miravel
