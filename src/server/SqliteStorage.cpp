#include "server/SqliteStorage.h"

#include <chrono>
#include <mutex>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "server/JsonText.h"
#include "server/StorageSupport.h"
#include "store/Database.h"
#include "store/Transaction.h"

namespace miravel::server {

namespace {

using Param = std::variant<std::nullptr_t, std::int64_t, std::string_view>;

Param optionalText(const std::optional<std::string>& text) {
    return text ? Param(std::string_view(*text)) : Param(nullptr);
}

std::optional<std::string> columnOptional(const Statement& statement, int column) {
    if (statement.isNull(column)) {
        return std::nullopt;
    }
    return std::string(statement.columnText(column));
}

Result<Statement> bound(Database& database, std::string_view sql,
                        std::initializer_list<Param> params) {
    auto statement = database.prepare(sql);
    if (!statement) {
        return std::unexpected(statement.error());
    }
    int index = 1;
    for (const Param& param : params) {
        Result<void> done;
        if (std::holds_alternative<std::nullptr_t>(param)) {
            done = statement->bindNull(index);
        } else if (const auto* number = std::get_if<std::int64_t>(&param)) {
            done = statement->bindInt64(index, *number);
        } else {
            done = statement->bindText(index, std::get<std::string_view>(param));
        }
        if (!done) {
            return std::unexpected(done.error());
        }
        ++index;
    }
    return statement;
}

Result<void> run(Database& database, std::string_view sql, std::initializer_list<Param> params) {
    auto statement = bound(database, sql, params);
    if (!statement) {
        return std::unexpected(statement.error());
    }
    while (true) {
        auto row = statement->step();
        if (!row) {
            return std::unexpected(row.error());
        }
        if (!*row) {
            return {};
        }
    }
}

// The rows of a query, each made by `make` from the statement standing on it.
template <typename Make>
auto rowsOf(Database& database, std::string_view sql, std::initializer_list<Param> params,
            Make make) -> Result<std::vector<decltype(make(std::declval<const Statement&>()))>> {
    auto statement = bound(database, sql, params);
    if (!statement) {
        return std::unexpected(statement.error());
    }
    std::vector<decltype(make(std::declval<const Statement&>()))> rows;
    while (true) {
        auto row = statement->step();
        if (!row) {
            return std::unexpected(row.error());
        }
        if (!*row) {
            return rows;
        }
        rows.push_back(make(*statement));
    }
}

// The first row of a query, made by `make`; nothing when it has none.
template <typename Make>
auto firstRowOf(Database& database, std::string_view sql, std::initializer_list<Param> params,
                Make make)
    -> Result<std::optional<decltype(make(std::declval<const Statement&>()))>> {
    using Row = decltype(make(std::declval<const Statement&>()));
    auto statement = bound(database, sql, params);
    if (!statement) {
        return std::unexpected(statement.error());
    }
    auto row = statement->step();
    if (!row) {
        return std::unexpected(row.error());
    }
    if (!*row) {
        return std::optional<Row>();
    }
    return std::optional<Row>(make(*statement));
}

Result<std::vector<std::string>> texts(Database& database, std::string_view sql,
                                       std::initializer_list<Param> params) {
    return rowsOf(database, sql, params,
                  [](const Statement& row) { return std::string(row.columnText(0)); });
}

Account accountOfRow(const Statement& row) {
    return Account{row.columnInt64(0), std::string(row.columnText(1)),
                   std::string(row.columnText(2)), std::string(row.columnText(3)),
                   row.columnInt64(4)};
}

Result<std::optional<Account>> accountByEmail(Database& database, const std::string& email) {
    return firstRowOf(
        database,
        "SELECT id, email, password_hash, created, revision FROM accounts WHERE email = ?", {email},
        accountOfRow);
}

// Gives the account the next value of the database's one counter of writes. Inside a write
// transaction, which SQLite holds for one writer at a time: no two writes get the same value.
Result<void> advanceRevision(Database& database, std::int64_t account) {
    if (auto counted = run(database, "UPDATE revision_counter SET value = value + 1", {});
        !counted) {
        return counted;
    }
    return run(database,
               "UPDATE accounts SET revision = (SELECT value FROM revision_counter) WHERE id = ?",
               {account});
}

// The statements of a recipe write, in SQLite's words.
class SqliteRecipeRows final : public RecipeRows {
public:
    SqliteRecipeRows(Database& database, std::int64_t account)
        : m_database(database), m_account(account) {}

    Result<std::optional<StoredRecipe>> recipe(const std::string& uid) override {
        return firstRowOf(m_database,
                          "SELECT body, photo_hash, photo_token FROM recipes WHERE account_id = ? "
                          "AND uid = ?",
                          {m_account, uid}, [&](const Statement& row) {
                              return StoredRecipe{uid, std::string(row.columnText(0)),
                                                  columnOptional(row, 1), columnOptional(row, 2)};
                          });
    }

    Result<std::optional<StoredRecipe>> keptVersion(std::int64_t id) override {
        return firstRowOf(m_database,
                          "SELECT uid, body, photo_hash FROM recipe_history WHERE account_id = ? "
                          "AND id = ?",
                          {m_account, id}, [](const Statement& row) {
                              return StoredRecipe{std::string(row.columnText(0)),
                                                  std::string(row.columnText(1)),
                                                  columnOptional(row, 2), std::nullopt};
                          });
    }

    Result<void> keepVersion(const StoredRecipe& recipe, std::int64_t now) override {
        return run(m_database,
                   "INSERT INTO recipe_history(account_id, uid, saved_at, body, photo_hash) "
                   "VALUES(?, ?, ?, ?, ?)",
                   {m_account, recipe.uid, now, recipe.body, optionalText(recipe.photoHash)});
    }

    Result<void> putRecipe(const std::string& uid, const std::string& hash, const std::string& body,
                           const std::optional<std::string>& photoHash,
                           const std::optional<std::string>& photoToken) override {
        return run(m_database,
                   "INSERT INTO recipes(account_id, uid, hash, body, photo_hash, photo_token) "
                   "VALUES(?, ?, ?, ?, ?, ?) ON CONFLICT(account_id, uid) DO UPDATE SET hash = "
                   "excluded.hash, body = excluded.body, photo_hash = excluded.photo_hash, "
                   "photo_token = excluded.photo_token",
                   {m_account, uid, hash, body, optionalText(photoHash), optionalText(photoToken)});
    }

    Result<void> removeRecipe(const std::string& uid) override {
        return run(m_database, "DELETE FROM recipes WHERE account_id = ? AND uid = ?",
                   {m_account, uid});
    }

    // SQLite's DELETE gives nothing back here, so the photos are asked for first.
    Result<std::vector<std::string>> pruneVersions(const std::string& uid,
                                                   std::int64_t cutoff) override {
        constexpr const char* kOld =
            "FROM recipe_history WHERE account_id = ?1 AND uid = ?2 AND saved_at < ?3 AND id NOT "
            "IN (SELECT id FROM recipe_history WHERE account_id = ?1 AND uid = ?2 ORDER BY id "
            "DESC LIMIT ?4)";
        const auto kept = static_cast<std::int64_t>(kHistoryVersionsKept);
        auto photos =
            texts(m_database,
                  fmt::format("SELECT DISTINCT photo_hash {} AND photo_hash IS NOT NULL", kOld),
                  {m_account, uid, cutoff, kept});
        if (!photos) {
            return photos;
        }
        if (auto done =
                run(m_database, fmt::format("DELETE {}", kOld), {m_account, uid, cutoff, kept});
            !done) {
            return std::unexpected(done.error());
        }
        return photos;
    }

private:
    Database& m_database;
    std::int64_t m_account;
};

constexpr int kSchemaVersion = 1;
// "MRVS" as the file's application id tells a server database from a desktop library.
constexpr int kApplicationId = 0x4d525653;

constexpr const char* kSchemaVersion1 = R"sql(
CREATE TABLE accounts(
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    created TEXT NOT NULL);
CREATE TABLE entities(
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    kind TEXT NOT NULL,
    uid TEXT NOT NULL,
    body TEXT NOT NULL,
    PRIMARY KEY(account_id, kind, uid));
CREATE TABLE recipes(
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    uid TEXT NOT NULL,
    hash TEXT NOT NULL,
    body TEXT NOT NULL,
    photo_hash TEXT,
    photo_token TEXT UNIQUE,
    PRIMARY KEY(account_id, uid));
CREATE TABLE recipe_history(
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    uid TEXT NOT NULL,
    saved_at INTEGER NOT NULL,
    body TEXT NOT NULL,
    photo_hash TEXT);
CREATE INDEX recipe_history_by_uid ON recipe_history(account_id, uid, id);
CREATE INDEX recipe_history_by_photo ON recipe_history(account_id, photo_hash);
CREATE INDEX recipes_by_photo ON recipes(account_id, photo_hash);
)sql";

// Added after the first release; made on every start so older databases gain it.
constexpr const char* kSessionTable = R"sql(
CREATE TABLE IF NOT EXISTS web_sessions(
    token_digest TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL,
    password_hash TEXT NOT NULL,
    csrf TEXT NOT NULL,
    expires INTEGER NOT NULL);
)sql";

// Added after the first release, made on every start so older databases gain it: the
// accounts' revisions and the counter they are drawn from. Accounts made before start at 0,
// which no write gives.
constexpr const char* kRevisionCounter = R"sql(
CREATE TABLE IF NOT EXISTS revision_counter(value INTEGER NOT NULL);
INSERT INTO revision_counter SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM revision_counter);
)sql";
constexpr const char* kRevisionColumn =
    "ALTER TABLE accounts ADD COLUMN revision INTEGER NOT NULL DEFAULT 0";

// The recipe list of every sync reads uid, hash and photo hash of all an account's recipes;
// this index holds all three, so the list never reads the recipes' bodies (10,000 recipes:
// about 20 ms to 8 ms). Made on every start, so older databases gain it.
constexpr const char* kRecipeStubIndex = R"sql(
CREATE INDEX IF NOT EXISTS recipes_stubs ON recipes(account_id, uid, hash, photo_hash);
)sql";

class SqliteStorage final : public Storage {
public:
    SqliteStorage(std::filesystem::path file, StorageClock clock)
        : m_file(std::move(file)), m_clock(std::move(clock)) {}

    Result<void> prepareSchema() {
        return withWrite([&](Database& database) -> Result<void> {
            auto version = firstRowOf(database, "PRAGMA user_version", {},
                                      [](const Statement& row) { return row.columnInt64(0); });
            if (!version) {
                return std::unexpected(version.error());
            }
            const auto current = version->value_or(0);
            if (current > kSchemaVersion) {
                return storageError(
                    fmt::format("The database has schema version {}, newer than this server's {}.",
                                current, kSchemaVersion));
            }
            if (current == 0) {
                if (auto created = database.execute(kSchemaVersion1); !created) {
                    return created;
                }
                if (auto set = database.execute(
                        fmt::format("PRAGMA application_id = {}; PRAGMA user_version = {}",
                                    kApplicationId, kSchemaVersion));
                    !set) {
                    return set;
                }
            }
            if (auto sessions = database.execute(kSessionTable); !sessions) {
                return sessions;
            }
            if (auto counter = database.execute(kRevisionCounter); !counter) {
                return counter;
            }
            auto hasRevision =
                texts(database,
                      "SELECT name FROM pragma_table_info('accounts') WHERE name = 'revision'", {});
            if (!hasRevision) {
                return std::unexpected(hasRevision.error());
            }
            if (hasRevision->empty()) {
                if (auto added = database.execute(kRevisionColumn); !added) {
                    return added;
                }
            }
            return database.execute(kRecipeStubIndex);
        });
    }

    Result<void> createSession(const std::string& tokenDigest, std::int64_t account,
                               const std::string& csrfToken, std::int64_t expires) override {
        return withWrite([&](Database& database) -> Result<void> {
            if (auto expired = run(database, "DELETE FROM web_sessions WHERE expires <= ?",
                                   {currentSeconds()});
                !expired) {
                return expired;
            }
            return run(database,
                       "INSERT INTO web_sessions(token_digest, account_id, password_hash, csrf, "
                       "expires) SELECT ?, id, password_hash, ?, ? FROM accounts WHERE id = ?",
                       {tokenDigest, csrfToken, expires, account});
        });
    }

    Result<std::optional<WebSession>> session(const std::string& tokenDigest,
                                              std::int64_t now) override {
        return withDatabase([&](Database& database) {
            return firstRowOf(
                database,
                "SELECT s.account_id, s.csrf FROM web_sessions s JOIN accounts a ON "
                "a.id = s.account_id AND a.password_hash = s.password_hash WHERE "
                "s.token_digest = ? AND s.expires > ?",
                {tokenDigest, now}, [](const Statement& row) {
                    return WebSession{row.columnInt64(0), std::string(row.columnText(1))};
                });
        });
    }

    Result<void> deleteSession(const std::string& tokenDigest) override {
        return withWrite([&](Database& database) -> Result<void> {
            return run(database, "DELETE FROM web_sessions WHERE token_digest = ?", {tokenDigest});
        });
    }

    Result<std::optional<Account>> findAccount(const std::string& email) override {
        return withDatabase([&](Database& database) -> Result<std::optional<Account>> {
            return accountByEmail(database, email);
        });
    }

    Result<std::vector<Account>> accounts() override {
        return withDatabase([&](Database& database) {
            return rowsOf(database,
                          "SELECT id, email, password_hash, created, revision FROM accounts "
                          "ORDER BY email",
                          {}, accountOfRow);
        });
    }

    Result<std::optional<Account>> createAccount(const std::string& email, const std::string& hash,
                                                 bool onlyIfFirst) override {
        return withWrite([&](Database& database) -> Result<std::optional<Account>> {
            auto existing = texts(
                database,
                onlyIfFirst ? "SELECT 1 FROM accounts LIMIT 1"
                            : "SELECT 1 FROM accounts WHERE email = ?",
                onlyIfFirst ? std::initializer_list<Param>{} : std::initializer_list<Param>{email});
            if (!existing) {
                return std::unexpected(existing.error());
            }
            if (!existing->empty()) {
                return std::optional<Account>();
            }
            if (auto inserted = run(database,
                                    "INSERT INTO accounts(email, password_hash, created) "
                                    "VALUES(?, ?, ?)",
                                    {email, hash, dateTextOfSeconds(currentSeconds())});
                !inserted) {
                return std::unexpected(inserted.error());
            }
            auto made = accountByEmail(database, email);
            if (!made || !*made) {
                return made;
            }
            // Its id may be one a deleted account had: its revision is one no write gave.
            if (auto advanced = advanceRevision(database, (*made)->id); !advanced) {
                return std::unexpected(advanced.error());
            }
            return accountByEmail(database, email);
        });
    }

    Result<bool> setPasswordHash(const std::string& email, const std::string& hash) override {
        return withWrite([&](Database& database) -> Result<bool> {
            auto account = accountByEmail(database, email);
            if (!account) {
                return std::unexpected(account.error());
            }
            if (!*account) {
                return false;
            }
            if (auto done = run(database, "UPDATE accounts SET password_hash = ? WHERE id = ?",
                                {hash, (*account)->id});
                !done) {
                return std::unexpected(done.error());
            }
            return true;
        });
    }

    Result<std::optional<std::vector<std::string>>> deleteAccount(
        const std::string& email) override {
        using Outcome = std::optional<std::vector<std::string>>;
        return withWrite([&](Database& database) -> Result<Outcome> {
            auto account = accountByEmail(database, email);
            if (!account) {
                return std::unexpected(account.error());
            }
            if (!*account) {
                return Outcome();
            }
            const std::int64_t id = (*account)->id;
            auto photos = texts(database,
                                "SELECT photo_hash FROM recipes WHERE account_id = ?1 AND "
                                "photo_hash IS NOT NULL UNION SELECT photo_hash FROM "
                                "recipe_history WHERE account_id = ?1 AND photo_hash IS NOT NULL",
                                {id});
            if (!photos) {
                return std::unexpected(photos.error());
            }
            for (const char* sql : {"DELETE FROM entities WHERE account_id = ?",
                                    "DELETE FROM recipes WHERE account_id = ?",
                                    "DELETE FROM recipe_history WHERE account_id = ?",
                                    "DELETE FROM accounts WHERE id = ?"}) {
                if (auto done = run(database, sql, {id}); !done) {
                    return std::unexpected(done.error());
                }
            }
            return Outcome(std::move(*photos));
        });
    }

    Result<std::vector<std::string>> entities(std::int64_t account, EntityKind kind) override {
        return withDatabase([&](Database& database) {
            return texts(database,
                         "SELECT body FROM entities WHERE account_id = ? AND kind = ? ORDER BY "
                         "uid",
                         {account, entityKindName(kind)});
        });
    }

    Result<void> applyEntities(std::int64_t account, EntityKind kind,
                               const std::vector<EntityRecord>& records) override {
        return withAccountWrite(account, [&](Database& database) -> Result<void> {
            for (const EntityRecord& record : records) {
                Result<void> done;
                if (record.deleted) {
                    done = run(database,
                               "DELETE FROM entities WHERE account_id = ? AND kind = ? AND uid = ?",
                               {account, entityKindName(kind), record.uid});
                } else {
                    const std::string body = compactBody(record);
                    done = run(database,
                               "INSERT INTO entities(account_id, kind, uid, body) VALUES(?, ?, ?, "
                               "?) ON CONFLICT(account_id, kind, uid) DO UPDATE SET body = "
                               "excluded.body",
                               {account, entityKindName(kind), record.uid, body});
                }
                if (!done) {
                    return done;
                }
            }
            return {};
        });
    }

    Result<std::vector<RecipeStub>> recipeStubs(std::int64_t account) override {
        return withDatabase([&](Database& database) {
            return rowsOf(database,
                          "SELECT uid, hash, photo_hash FROM recipes WHERE account_id = ? ORDER "
                          "BY uid",
                          {account}, [](const Statement& row) {
                              return RecipeStub{std::string(row.columnText(0)),
                                                std::string(row.columnText(1)),
                                                columnOptional(row, 2)};
                          });
        });
    }

    Result<std::optional<StoredRecipe>> recipe(std::int64_t account,
                                               const std::string& uid) override {
        return withDatabase(
            [&](Database& database) { return SqliteRecipeRows(database, account).recipe(uid); });
    }

    Result<WriteOutcome> writeRecipe(std::int64_t account, const RecipeWrite& write) override {
        return withAccountWrite(account, [&](Database& database) {
            SqliteRecipeRows rows(database, account);
            return applyRecipeWrite(rows, write, currentSeconds());
        });
    }

    Result<std::optional<PhotoLocation>> photoByToken(const std::string& token) override {
        return withDatabase([&](Database& database) -> Result<std::optional<PhotoLocation>> {
            auto found = firstRowOf(
                database, "SELECT account_id, photo_hash FROM recipes WHERE photo_token = ?",
                {token}, [](const Statement& row) {
                    return row.isNull(1)
                               ? std::optional<PhotoLocation>()
                               : PhotoLocation{row.columnInt64(0), std::string(row.columnText(1))};
                });
            if (!found) {
                return std::unexpected(found.error());
            }
            return found->value_or(std::nullopt);
        });
    }

    Result<bool> photoInUse(std::int64_t account, const std::string& photoHash) override {
        return withDatabase([&](Database& database) -> Result<bool> {
            auto found = texts(database,
                               "SELECT 'x' FROM recipes WHERE account_id = ?1 AND photo_hash = ?2 "
                               "UNION ALL SELECT 'x' FROM recipe_history WHERE account_id = ?1 "
                               "AND photo_hash = ?2 LIMIT 1",
                               {account, photoHash});
            if (!found) {
                return std::unexpected(found.error());
            }
            return !found->empty();
        });
    }

    Result<std::vector<HistoryEntry>> history(std::int64_t account,
                                              const std::string& uid) override {
        return withDatabase([&](Database& database) {
            const auto entry = [](const Statement& row) {
                return HistoryEntry{row.columnInt64(0), std::string(row.columnText(1)),
                                    dateTextOfSeconds(row.columnInt64(2)),
                                    std::string(row.columnText(3)), columnOptional(row, 4)};
            };
            return uid.empty() ? rowsOf(database,
                                        "SELECT id, uid, saved_at, body, photo_hash FROM "
                                        "recipe_history WHERE account_id = ? ORDER BY id DESC",
                                        {account}, entry)
                               : rowsOf(database,
                                        "SELECT id, uid, saved_at, body, photo_hash FROM "
                                        "recipe_history WHERE account_id = ? AND uid = ? ORDER "
                                        "BY id DESC",
                                        {account, uid}, entry);
        });
    }

    Result<WriteOutcome> restore(std::int64_t account, std::int64_t entryId,
                                 const std::string& newPhotoToken) override {
        return withAccountWrite(account, [&](Database& database) {
            SqliteRecipeRows rows(database, account);
            return applyRestore(rows, entryId, newPhotoToken, currentSeconds());
        });
    }

private:
    class Lease {
    public:
        Lease(SqliteStorage& owner, Database database)
            : m_owner(&owner), m_database(std::move(database)) {}
        Lease(Lease&& other) noexcept
            : m_owner(std::exchange(other.m_owner, nullptr)),
              m_database(std::move(other.m_database)) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (m_owner) {
                m_owner->giveBack(std::move(m_database));
            }
        }
        Database& database() { return m_database; }

    private:
        SqliteStorage* m_owner;
        Database m_database;
    };

    Result<Lease> acquire() {
        {
            std::lock_guard lock(m_mutex);
            if (!m_idle.empty()) {
                Database database = std::move(m_idle.back());
                m_idle.pop_back();
                return Lease(*this, std::move(database));
            }
        }
        auto database = Database::open(m_file, Database::Access::ReadWriteCreate);
        if (!database) {
            return std::unexpected(database.error());
        }
        database->setBusyTimeout(std::chrono::seconds(10));
        // A commit the client was told about survives a power cut: FULL syncs the log.
        if (auto set = database->execute(
                "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
            !set) {
            return std::unexpected(set.error());
        }
        return Lease(*this, std::move(*database));
    }

    void giveBack(Database database) {
        std::lock_guard lock(m_mutex);
        if (m_idle.size() < 16) {
            m_idle.push_back(std::move(database));
        }
    }

    template <typename Work>
    auto withDatabase(Work work) -> decltype(work(std::declval<Database&>())) {
        auto lease = acquire();
        if (!lease) {
            return std::unexpected(lease.error());
        }
        return work(lease->database());
    }

    template <typename Work>
    auto withWrite(Work work) -> decltype(work(std::declval<Database&>())) {
        auto lease = acquire();
        if (!lease) {
            return std::unexpected(lease.error());
        }
        Database& database = lease->database();
        auto transaction = Transaction::begin(database, Transaction::Kind::Immediate);
        if (!transaction) {
            return std::unexpected(transaction.error());
        }
        auto result = work(database);
        if (!result) {
            return result;
        }
        if (auto committed = transaction->commit(); !committed) {
            return std::unexpected(committed.error());
        }
        return result;
    }

    // Every write to an account's synced data goes through here: its revision advances in
    // the same transaction, so no answer built before the write is taken for one after it.
    template <typename Work>
    auto withAccountWrite(std::int64_t account, Work work)
        -> decltype(work(std::declval<Database&>())) {
        return withWrite([&](Database& database) -> decltype(work(database)) {
            auto result = work(database);
            if (!result) {
                return result;
            }
            if (auto advanced = advanceRevision(database, account); !advanced) {
                return std::unexpected(advanced.error());
            }
            return result;
        });
    }

    static std::string compactBody(const EntityRecord& record) {
        return strictJson(JsonValue(record.dictionary));
    }

    std::int64_t currentSeconds() const { return m_clock ? m_clock() : nowSeconds(); }

    std::filesystem::path m_file;
    StorageClock m_clock;
    std::mutex m_mutex;
    std::vector<Database> m_idle;
};

}  // namespace

Result<std::unique_ptr<Storage>> openSqliteStorage(const std::filesystem::path& file,
                                                   StorageClock clock) {
    auto storage = std::make_unique<SqliteStorage>(file, std::move(clock));
    if (auto prepared = storage->prepareSchema(); !prepared) {
        return std::unexpected(prepared.error());
    }
    return std::unique_ptr<Storage>(std::move(storage));
}

}  // namespace miravel::server
