#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/DateText.h"
#include "lib/Error.h"
#include "model/Recipe.h"

namespace miravel {

class ManagedObjectContext;

inline constexpr const char* kTrashFolderName = "Trash";
inline constexpr const char* kTrashErrorDomain = "miravel.trash";

// One deleted recipe waiting in the trash.
struct TrashedRecipe {
    std::filesystem::path file;
    std::string uid;
    std::string name;
    Timestamp trashed;
};

// Deleted recipes kept for a while, so that a deletion by mistake can be undone. Before the
// store deletes a recipe (by its usual rules: tombstones while signed in), the recipe is
// written to the "Trash" folder beside the store as its dictionary form plus the photo's
// bytes ("photo_data", Base64), one file each, dated by the file's time. Restoring adds it
// to the library anew. Entries older than kKeepFor are purged whenever the trash is used.
//
// A store without a file of its own (in memory) has no trash: deletions go straight to the
// store, and the trash is empty.
class RecipeTrash {
public:
    static constexpr std::chrono::days kKeepFor{30};

    explicit RecipeTrash(ManagedObjectContext& context);

    std::optional<std::filesystem::path> folder() const { return m_folder; }

    // Writes each recipe's entry, then deletes the recipes and saves. When an entry cannot be
    // written, nothing is deleted (an error of kTrashErrorDomain): the trash is the user's
    // way back. Any other error is the store's save.
    [[nodiscard]] Result<void> deleteRecipes(const std::vector<std::shared_ptr<Recipe>>& recipes);

    // The entries still kept, newest first. Files that are no entry are left alone.
    [[nodiscard]] Result<std::vector<TrashedRecipe>> entries();
    // The entries with this uid, or else those with exactly this name.
    [[nodiscard]] Result<std::vector<TrashedRecipe>> find(const std::string& nameOrUid);
    // Adds the recipe back with its uid when no recipe of the store (tombstones included)
    // holds it, the categories that still exist and its photo; saves, then drops the entry.
    // Its meals are not brought back: they were deleted with it. Errors are of
    // kTrashErrorDomain except the store's save.
    [[nodiscard]] Result<std::shared_ptr<Recipe>> restore(const TrashedRecipe& entry);
    // Removes every entry; returns how many there were.
    [[nodiscard]] Result<std::size_t> empty();

private:
    [[nodiscard]] Result<void> write(const Recipe& recipe);
    [[nodiscard]] Result<std::vector<TrashedRecipe>> readEntries(bool purgeExpired);
    bool uidIsFree(const std::string& uid);

    ManagedObjectContext& m_context;
    std::optional<std::filesystem::path> m_folder;
};

// The live meals planned with these recipes: what a deletion takes with them.
std::size_t plannedMealCount(const std::vector<std::shared_ptr<Recipe>>& recipes);

// The question asked before deleting recipes, naming the meals that go with them.
std::string recipeDeletionQuestion(const std::vector<std::shared_ptr<Recipe>>& recipes);

}  // namespace miravel
