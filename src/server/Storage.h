#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"
#include "server/Entities.h"

namespace miravel::server {

inline constexpr const char* kStorageErrorDomain = "miravel.server.storage";

struct Account {
    std::int64_t id = 0;
    std::string email;
    std::string passwordHash;
    std::string created;  // date text
    // Changes with every write to the account's lists and recipes, in the write's own
    // transaction, whichever process makes it. No two writes anywhere in the database give
    // the same value, even to an account made again under the id of one deleted, so an answer
    // built at one revision is the answer for as long as the account's revision stays that.
    std::int64_t revision = 0;
};

// A recipe as the list endpoint shows it, from stored columns only.
struct RecipeStub {
    std::string uid;
    std::string hash;
    std::optional<std::string> photoHash;  // of the photo the server holds, not the one claimed
};

struct StoredRecipe {
    std::string uid;
    std::string body;  // the dictionary's compact JSON
    std::optional<std::string> photoHash;
    std::optional<std::string> photoToken;
};

// What one recipe upload changes.
struct RecipeWrite {
    std::string uid;
    // New dictionary text, with its hash; absent when only the photo changes.
    std::optional<std::string> body;
    std::string hash;
    bool deleted = false;
    enum class Photo { Keep, Remove, Set } photo = Photo::Keep;
    std::string photoHash;   // with Set
    std::string photoToken;  // with Set: a fresh random token
};

// The photos a write or a pruning stopped referring to; the caller removes their files when
// nothing refers to them any longer.
struct WriteOutcome {
    std::vector<std::string> releasedPhotoHashes;
};

struct PhotoLocation {
    std::int64_t accountId = 0;
    std::string photoHash;
};

// One earlier version of a recipe, kept when an upload overwrote or deleted it.
struct HistoryEntry {
    std::int64_t id = 0;
    std::string uid;
    std::string savedAt;  // date text
    std::string body;
    std::optional<std::string> photoHash;
};

// A signed-in browser: the account it acts for and the token its changes must carry. Only
// a digest of the cookie's token is stored, so a copy of the database signs no one in.
struct WebSession {
    std::int64_t accountId = 0;
    std::string csrfToken;
};

inline constexpr std::size_t kHistoryVersionsKept = 20;
inline constexpr int kHistoryDaysKept = 30;

// Everything the service keeps, scoped by account: every call that touches synced data takes
// the account's id and never reaches another account's rows. Implementations are safe to use
// from many threads and from several processes on one database.
class Storage {
public:
    virtual ~Storage() = default;

    [[nodiscard]] virtual Result<std::optional<Account>> findAccount(const std::string& email) = 0;
    [[nodiscard]] virtual Result<std::vector<Account>> accounts() = 0;
    // Creates the account unless one with that e-mail exists (nothing when it does). With
    // onlyIfFirst, creates it only when there is no account at all, decided in the same
    // transaction so that two first registrations cannot both win.
    [[nodiscard]] virtual Result<std::optional<Account>> createAccount(const std::string& email,
                                                                       const std::string& hash,
                                                                       bool onlyIfFirst) = 0;
    [[nodiscard]] virtual Result<bool> setPasswordHash(const std::string& email,
                                                       const std::string& hash) = 0;
    // Removes the account and all its data; gives its photos' hashes for file removal.
    [[nodiscard]] virtual Result<std::optional<std::vector<std::string>>> deleteAccount(
        const std::string& email) = 0;

    // The live dictionaries of a list kind, as compact JSON texts, by uid (the primary key's
    // order: no sorting).
    [[nodiscard]] virtual Result<std::vector<std::string>> entities(std::int64_t account,
                                                                    EntityKind kind) = 0;
    // Upserts the live records and removes the deleted ones, all or nothing.
    [[nodiscard]] virtual Result<void> applyEntities(std::int64_t account, EntityKind kind,
                                                     const std::vector<EntityRecord>& records) = 0;

    // By uid, as the lists.
    [[nodiscard]] virtual Result<std::vector<RecipeStub>> recipeStubs(std::int64_t account) = 0;
    [[nodiscard]] virtual Result<std::optional<StoredRecipe>> recipe(std::int64_t account,
                                                                     const std::string& uid) = 0;
    // Applies one upload; the version it replaces or deletes goes into the history, which
    // keeps the newest kHistoryVersionsKept versions of each recipe and anything younger than
    // kHistoryDaysKept days. A write that only sets the photo of an unknown recipe fails with
    // code kStorageNotFound.
    [[nodiscard]] virtual Result<WriteOutcome> writeRecipe(std::int64_t account,
                                                           const RecipeWrite& write) = 0;

    [[nodiscard]] virtual Result<std::optional<PhotoLocation>> photoByToken(
        const std::string& token) = 0;
    // Whether a recipe or a kept version of this account still refers to the photo.
    [[nodiscard]] virtual Result<bool> photoInUse(std::int64_t account,
                                                  const std::string& photoHash) = 0;

    // Sessions live in the database so that every server process on it knows them. A session
    // ends at its expiry, with its account, and when the account's password changes.
    [[nodiscard]] virtual Result<void> createSession(const std::string& tokenDigest,
                                                     std::int64_t account,
                                                     const std::string& csrfToken,
                                                     std::int64_t expiresSeconds) = 0;
    [[nodiscard]] virtual Result<std::optional<WebSession>> session(const std::string& tokenDigest,
                                                                    std::int64_t nowSeconds) = 0;
    [[nodiscard]] virtual Result<void> deleteSession(const std::string& tokenDigest) = 0;

    // Newest first; all recipes when uid is empty.
    [[nodiscard]] virtual Result<std::vector<HistoryEntry>> history(std::int64_t account,
                                                                    const std::string& uid) = 0;
    // Puts a kept version back as the live recipe (the current one goes into the history).
    // Its photo comes back under a new token when the file is still held.
    [[nodiscard]] virtual Result<WriteOutcome> restore(std::int64_t account, std::int64_t entryId,
                                                       const std::string& newPhotoToken) = 0;
};

inline constexpr int kStorageNotFound = 404;
inline constexpr int kStorageFailure = 1;

// Seconds since 1970: what a storage dates kept versions, accounts and expired sessions by.
// Tests hand in a clock they move on; without one a storage reads the system's.
using StorageClock = std::function<std::int64_t()>;

// "sqlite:PATH" or "postgresql://..." (also "postgres://...").
[[nodiscard]] Result<std::unique_ptr<Storage>> openStorage(const std::string& address,
                                                           StorageClock clock = {});

}  // namespace miravel::server
