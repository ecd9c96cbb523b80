#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lib/Error.h"

namespace miravel {

class BackgroundContext;
class Library;
class ManagedObjectContext;
class Recipe;
class RecipeCategory;

// How far an import has come, for a progress bar: recipes saved so far, and the bytes of the
// file read so far out of its size.
struct ImportProgress {
    std::size_t recipesDone = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0;
};

// What became of one recipe of the file, or of a part of the file that was passed over, or how
// the file was read (`miravel import --report`, the desktop's import summary).
struct ImportRecord {
    enum class Kind {
        Recipe,      // a recipe, imported or skipped
        PassedOver,  // a line or element that no recipe took; `name` holds its text
        FileNote,    // how the whole file was read (its encoding, characters removed)
    };
    std::string name;
    bool imported = false;
    std::string reason;    // why it was skipped, or what was changed on the way in
    std::size_t line = 0;  // where in the file it begins (the first line is 1); 0 when unknown
    Kind kind = Kind::Recipe;
};

// The recipes a file was found to hold, imported or not.
std::size_t recipesFound(const std::vector<ImportRecord>& records);

// What one importer left behind: the recipes it saved, and the error that ended it, if one
// did (recipes saved before the error stay).
struct ImportOutcome {
    std::size_t count = 0;
    std::optional<Error> error;
    bool cancelled = false;
};

// An import failure as the user sees it: the application's domain, code 100, the message
// ("Unable to parse this file.") and, for the report, what exactly was wrong.
Error importError(std::string message, std::string reason = {});

// The base of every importer. It owns a context of its own on the library's store, whose
// saves reach the main context (and so every list on the screen) as they happen; it finds
// or makes categories by name and turns picture bytes into recipe photos.
//
// One importer serves one file, on the thread that calls parseFile(); it is made there too.
class RecipeImporter {
public:
    explicit RecipeImporter(Library& library);
    virtual ~RecipeImporter();
    RecipeImporter(const RecipeImporter&) = delete;
    RecipeImporter& operator=(const RecipeImporter&) = delete;

    // Reads the file into the library. The base imports nothing.
    virtual ImportOutcome parseFile(const std::filesystem::path& path);

    std::filesystem::path getImportFilePath(const std::filesystem::path& path) const {
        return path;
    }
    // A recipe photo from picture bytes; nothing for bytes that are no picture.
    std::optional<std::string> savePhoto(std::string_view imageBytes);
    // Links the recipe to the category of that name (trimmed), making the category when there
    // is none. A blank name links nothing.
    void addCategoryToRecipe(std::string_view name, Recipe& recipe);
    // Each name of a comma-separated list, as above.
    void addCategoriesToRecipe(std::string_view commaSeparated, Recipe& recipe);
    // The first category named exactly so, deleted or not.
    std::shared_ptr<RecipeCategory> getCategory(std::string_view name);
    std::int64_t lastCategoryOrderFlag();

    ManagedObjectContext& managedObjectContext();

    void setProgressHandler(std::function<void(const ImportProgress&)> handler) {
        m_progressHandler = std::move(handler);
    }
    // Asked from any thread; the import stops before its next recipe, keeping what it saved.
    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    const std::vector<ImportRecord>& records() const { return m_records; }

protected:
    // A new recipe in the importer's context, created now (a date inside the file is never
    // used).
    std::shared_ptr<Recipe> insertRecipe();
    // Marks the recipe as new to the library (status and content hash), counts it, and saves when
    // the last save is a moment old, so that lists follow a long import without one disk commit per
    // recipe.
    [[nodiscard]] Result<void> recipeFinished(Recipe& recipe, std::string note = {},
                                              std::size_t line = 0);
    void recipeSkipped(std::string name, std::string reason, std::size_t line = 0);
    // A line or element of the file that went into no recipe. A file of nothing but such
    // lines reports the first thousand and then how many more there were.
    void passedOver(std::size_t line, std::string text, std::string reason);
    void fileNote(std::string note);
    // savePhoto in two halves, for an importer that makes its photos on a thread of its own:
    // the file, written from any thread, and then, on the importing thread before a recipe
    // names it, the note that it still has to reach the disk before the next save.
    std::optional<std::string> writePhotoFile(std::string_view imageBytes) const;
    void photoWritten() { m_photosUnflushed = true; }
    const std::filesystem::path& photoFolder() const;
    // Saves what is pending; every importer ends with it.
    [[nodiscard]] Result<void> saveNow();
    bool cancelled() const { return m_cancel != nullptr && m_cancel->load(); }
    void reportBytes(std::uint64_t read, std::uint64_t total);
    std::size_t savedCount() const { return m_saved; }
    ImportOutcome outcome(std::optional<Error> error = std::nullopt) const;

private:
    Library& m_library;
    std::unique_ptr<BackgroundContext> m_context;
    std::function<void(const ImportProgress&)> m_progressHandler;
    const std::atomic<bool>* m_cancel = nullptr;
    std::vector<ImportRecord> m_records;
    ImportProgress m_progress;
    std::size_t m_saved = 0;
    std::size_t m_finished = 0;
    std::size_t m_passedOver = 0;
    // The categories this import has linked, by name: a file of thousands of recipes names
    // the same few again and again, and each lookup in the context walks its pending objects.
    std::unordered_map<std::string, std::shared_ptr<RecipeCategory>> m_linkedCategories;
    bool m_photosUnflushed = false;
    std::chrono::steady_clock::time_point m_lastSave;
};

}  // namespace miravel
