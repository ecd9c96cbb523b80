#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "server/Storage.h"

namespace miravel::server {

// The pieces both storages share: when a kept version may go, and reading a dictionary's
// hash back for a restore.
std::int64_t historyCutoff(std::int64_t nowSeconds);
std::int64_t nowSeconds();
std::string dateTextOfSeconds(std::int64_t seconds);
// The "hash" member of a stored dictionary text ("" when it has none).
std::string hashOfBody(std::string_view body);

std::unexpected<Error> storageError(std::string description, int code = 1);

// The statements a recipe write is made of, for one account and inside the transaction the
// storage holds for the write. Each storage states them in its own SQL, every value bound;
// what the write does with them is decided once, by applyRecipeWrite and applyRestore.
class RecipeRows {
public:
    virtual ~RecipeRows() = default;

    [[nodiscard]] virtual Result<std::optional<StoredRecipe>> recipe(const std::string& uid) = 0;
    // A kept version by its id, as a recipe without a photo token.
    [[nodiscard]] virtual Result<std::optional<StoredRecipe>> keptVersion(std::int64_t id) = 0;
    // Adds the version to the history, saved at `now`.
    [[nodiscard]] virtual Result<void> keepVersion(const StoredRecipe& recipe,
                                                   std::int64_t now) = 0;
    // Inserts the live recipe, or replaces the one of that uid.
    [[nodiscard]] virtual Result<void> putRecipe(const std::string& uid, const std::string& hash,
                                                 const std::string& body,
                                                 const std::optional<std::string>& photoHash,
                                                 const std::optional<std::string>& photoToken) = 0;
    [[nodiscard]] virtual Result<void> removeRecipe(const std::string& uid) = 0;
    // Removes the versions of the recipe saved before `cutoff` that are not among its newest
    // kHistoryVersionsKept, and gives the photo hashes they held.
    [[nodiscard]] virtual Result<std::vector<std::string>> pruneVersions(const std::string& uid,
                                                                         std::int64_t cutoff) = 0;
};

// Storage::writeRecipe over the rows of its transaction, at `now`.
[[nodiscard]] Result<WriteOutcome> applyRecipeWrite(RecipeRows& rows, const RecipeWrite& write,
                                                    std::int64_t now);
// Storage::restore over the rows of its transaction, at `now`.
[[nodiscard]] Result<WriteOutcome> applyRestore(RecipeRows& rows, std::int64_t entryId,
                                                const std::string& newPhotoToken, std::int64_t now);

}  // namespace miravel::server
