#include "server/PostgresStorage.h"

#include <libpq-fe.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "lib/Log.h"
#include "server/JsonText.h"
#include "server/StorageSupport.h"

namespace miravel::server {

namespace {

// Every value travels as a bound text parameter; nothing from a request is ever spliced into
// the statement text.
using Param = std::optional<std::string>;

Param number(std::int64_t value) {
    return std::to_string(value);
}

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnectionDeleter {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using PgConnection = std::unique_ptr<PGconn, ConnectionDeleter>;

constexpr int kSchemaVersion = 1;
// Held while the schema is made, so that two processes starting at once do not both make it.
constexpr const char* kSchemaLock = "SELECT pg_advisory_lock(7345012)";
constexpr const char* kSchemaUnlock = "SELECT pg_advisory_unlock(7345012)";

constexpr const char* kSchemaVersion1 = R"sql(
CREATE TABLE accounts(
    id BIGSERIAL PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    created TEXT NOT NULL);
CREATE TABLE entities(
    account_id BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    kind TEXT NOT NULL,
    uid TEXT NOT NULL,
    body TEXT NOT NULL,
    PRIMARY KEY(account_id, kind, uid));
CREATE TABLE recipes(
    account_id BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    uid TEXT NOT NULL,
    hash TEXT NOT NULL,
    body TEXT NOT NULL,
    photo_hash TEXT,
    photo_token TEXT UNIQUE,
    PRIMARY KEY(account_id, uid));
CREATE TABLE recipe_history(
    id BIGSERIAL PRIMARY KEY,
    account_id BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    uid TEXT NOT NULL,
    saved_at BIGINT NOT NULL,
    body TEXT NOT NULL,
    photo_hash TEXT);
CREATE INDEX recipe_history_by_uid ON recipe_history(account_id, uid, id);
CREATE INDEX recipe_history_by_photo ON recipe_history(account_id, photo_hash);
CREATE INDEX recipes_by_photo ON recipes(account_id, photo_hash);
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version VALUES(1);
)sql";

class Rows {
public:
    explicit Rows(PgResult result) : m_result(std::move(result)) {}
    int size() const { return PQntuples(m_result.get()); }
    bool isNull(int row, int column) const { return PQgetisnull(m_result.get(), row, column); }
    std::string text(int row, int column) const {
        return std::string(PQgetvalue(m_result.get(), row, column),
                           static_cast<std::size_t>(PQgetlength(m_result.get(), row, column)));
    }
    std::optional<std::string> optional(int row, int column) const {
        return isNull(row, column) ? std::nullopt : std::optional<std::string>(text(row, column));
    }
    std::int64_t integer(int row, int column) const { return std::stoll(text(row, column)); }

private:
    PgResult m_result;
};

Result<Rows> query(PGconn* connection, const char* sql, const std::vector<Param>& params = {}) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    PgResult result(PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
    const auto status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* message =
            result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection);
        return storageError(fmt::format("PostgreSQL: {}", message ? message : "unknown failure"));
    }
    return Rows(std::move(result));
}

// Statements whose rows do not matter: only whether they ran.
Result<void> run(PGconn* connection, const char* sql, const std::vector<Param>& params) {
    auto done = query(connection, sql, params);
    if (!done) {
        return std::unexpected(done.error());
    }
    return {};
}

// The statements of a recipe write, in PostgreSQL's words.
class PostgresRecipeRows final : public RecipeRows {
public:
    PostgresRecipeRows(PGconn* connection, std::int64_t account)
        : m_connection(connection), m_account(number(account)) {}

    Result<std::optional<StoredRecipe>> recipe(const std::string& uid) override {
        auto rows = query(m_connection,
                          "SELECT body, photo_hash, photo_token FROM recipes WHERE account_id = $1 "
                          "AND uid = $2",
                          {m_account, uid});
        if (!rows) {
            return std::unexpected(rows.error());
        }
        if (rows->size() == 0) {
            return std::optional<StoredRecipe>();
        }
        return std::optional<StoredRecipe>(
            StoredRecipe{uid, rows->text(0, 0), rows->optional(0, 1), rows->optional(0, 2)});
    }

    Result<std::optional<StoredRecipe>> keptVersion(std::int64_t id) override {
        auto rows = query(m_connection,
                          "SELECT uid, body, photo_hash FROM recipe_history WHERE account_id = $1 "
                          "AND id = $2",
                          {m_account, number(id)});
        if (!rows) {
            return std::unexpected(rows.error());
        }
        if (rows->size() == 0) {
            return std::optional<StoredRecipe>();
        }
        return std::optional<StoredRecipe>(
            StoredRecipe{rows->text(0, 0), rows->text(0, 1), rows->optional(0, 2), std::nullopt});
    }

    Result<void> keepVersion(const StoredRecipe& recipe, std::int64_t now) override {
        return run(m_connection,
                   "INSERT INTO recipe_history(account_id, uid, saved_at, body, photo_hash) "
                   "VALUES($1, $2, $3, $4, $5)",
                   {m_account, recipe.uid, number(now), recipe.body, recipe.photoHash});
    }

    Result<void> putRecipe(const std::string& uid, const std::string& hash, const std::string& body,
                           const std::optional<std::string>& photoHash,
                           const std::optional<std::string>& photoToken) override {
        return run(m_connection,
                   "INSERT INTO recipes(account_id, uid, hash, body, photo_hash, photo_token) "
                   "VALUES($1, $2, $3, $4, $5, $6) ON CONFLICT(account_id, uid) DO UPDATE SET "
                   "hash = excluded.hash, body = excluded.body, photo_hash = "
                   "excluded.photo_hash, photo_token = excluded.photo_token",
                   {m_account, uid, hash, body, photoHash, photoToken});
    }

    Result<void> removeRecipe(const std::string& uid) override {
        return run(m_connection, "DELETE FROM recipes WHERE account_id = $1 AND uid = $2",
                   {m_account, uid});
    }

    Result<std::vector<std::string>> pruneVersions(const std::string& uid,
                                                   std::int64_t cutoff) override {
        auto rows = query(m_connection,
                          "DELETE FROM recipe_history WHERE account_id = $1 AND uid = $2 AND "
                          "saved_at < $3 AND id NOT IN (SELECT id FROM recipe_history WHERE "
                          "account_id = $1 AND uid = $2 ORDER BY id DESC LIMIT $4) RETURNING "
                          "photo_hash",
                          {m_account, uid, number(cutoff),
                           number(static_cast<std::int64_t>(kHistoryVersionsKept))});
        if (!rows) {
            return std::unexpected(rows.error());
        }
        std::vector<std::string> photos;
        for (int i = 0; i < rows->size(); ++i) {
            if (!rows->isNull(i, 0)) {
                photos.push_back(rows->text(i, 0));
            }
        }
        return photos;
    }

private:
    PGconn* m_connection;
    Param m_account;
};

// Added after the first release; made at start when missing, so older databases gain it.
constexpr const char* kSessionTable = R"sql(
CREATE TABLE web_sessions(
    token_digest TEXT PRIMARY KEY,
    account_id BIGINT NOT NULL,
    password_hash TEXT NOT NULL,
    csrf TEXT NOT NULL,
    expires BIGINT NOT NULL);
)sql";

// The recipe list of every sync reads uid, hash and photo hash of all an account's recipes in
// uid order; this index gives all three in that order, so the list is an index-only scan that
// never reads the table's rows and the recipes' bodies in them. Made at start when missing, so
// older databases gain it.
constexpr const char* kRecipeStubIndex =
    "CREATE INDEX recipes_stubs ON recipes(account_id, uid) INCLUDE (hash, photo_hash)";

// Added after the first release, made at start when missing, so older databases gain it: each
// account's revision, drawn from a sequence no value of which is given twice. The accounts
// there already get values of their own as the column is added.
constexpr const char* kRevisionColumn = R"sql(
BEGIN;
CREATE SEQUENCE account_revisions;
ALTER TABLE accounts ADD COLUMN revision BIGINT NOT NULL DEFAULT nextval('account_revisions');
COMMIT;
)sql";

class PostgresStorage final : public Storage {
public:
    PostgresStorage(std::string address, StorageClock clock)
        : m_address(std::move(address)), m_clock(std::move(clock)) {}

    Result<void> prepareSchema() {
        return withConnection([&](PGconn* connection) -> Result<void> {
            if (auto locked = query(connection, kSchemaLock); !locked) {
                return std::unexpected(locked.error());
            }
            auto made = makeSchema(connection);
            if (made) {
                made = makeSessionTable(connection);
            }
            if (made) {
                made = makeRevisionColumn(connection);
            }
            if (made) {
                makeRecipeStubIndex(connection);
            }
            (void)query(connection, kSchemaUnlock);
            return made;
        });
    }

    Result<void> createSession(const std::string& tokenDigest, std::int64_t account,
                               const std::string& csrfToken, std::int64_t expires) override {
        return withConnection([&](PGconn* connection) -> Result<void> {
            if (auto expired = query(connection, "DELETE FROM web_sessions WHERE expires <= $1",
                                     {number(currentSeconds())});
                !expired) {
                return std::unexpected(expired.error());
            }
            auto inserted = query(connection,
                                  "INSERT INTO web_sessions(token_digest, account_id, "
                                  "password_hash, csrf, expires) SELECT $1, id, password_hash, "
                                  "$2, $3 FROM accounts WHERE id = $4",
                                  {tokenDigest, csrfToken, number(expires), number(account)});
            if (!inserted) {
                return std::unexpected(inserted.error());
            }
            return {};
        });
    }

    Result<std::optional<WebSession>> session(const std::string& tokenDigest,
                                              std::int64_t now) override {
        return withConnection([&](PGconn* connection) -> Result<std::optional<WebSession>> {
            auto rows = query(connection,
                              "SELECT s.account_id, s.csrf FROM web_sessions s JOIN accounts a "
                              "ON a.id = s.account_id AND a.password_hash = s.password_hash "
                              "WHERE s.token_digest = $1 AND s.expires > $2",
                              {tokenDigest, number(now)});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            if (rows->size() == 0) {
                return std::optional<WebSession>();
            }
            return std::optional<WebSession>(WebSession{rows->integer(0, 0), rows->text(0, 1)});
        });
    }

    Result<void> deleteSession(const std::string& tokenDigest) override {
        return withConnection([&](PGconn* connection) -> Result<void> {
            auto deleted = query(connection, "DELETE FROM web_sessions WHERE token_digest = $1",
                                 {tokenDigest});
            if (!deleted) {
                return std::unexpected(deleted.error());
            }
            return {};
        });
    }

    Result<std::optional<Account>> findAccount(const std::string& email) override {
        return withConnection(
            [&](PGconn* connection) { return accountByEmail(connection, email); });
    }

    Result<std::vector<Account>> accounts() override {
        return withConnection([&](PGconn* connection) -> Result<std::vector<Account>> {
            auto rows = query(connection,
                              "SELECT id, email, password_hash, created, revision FROM accounts "
                              "ORDER BY email");
            if (!rows) {
                return std::unexpected(rows.error());
            }
            std::vector<Account> found;
            for (int i = 0; i < rows->size(); ++i) {
                found.push_back(accountOf(*rows, i));
            }
            return found;
        });
    }

    Result<std::optional<Account>> createAccount(const std::string& email, const std::string& hash,
                                                 bool onlyIfFirst) override {
        return withTransaction([&](PGconn* connection) -> Result<std::optional<Account>> {
            // Two first registrations at once: the lock makes the second see the first.
            if (auto locked = query(connection, "LOCK TABLE accounts IN SHARE ROW EXCLUSIVE MODE");
                !locked) {
                return std::unexpected(locked.error());
            }
            auto existing =
                onlyIfFirst ? query(connection, "SELECT 1 FROM accounts LIMIT 1")
                            : query(connection, "SELECT 1 FROM accounts WHERE email = $1", {email});
            if (!existing) {
                return std::unexpected(existing.error());
            }
            if (existing->size() > 0) {
                return std::optional<Account>();
            }
            if (auto inserted = query(connection,
                                      "INSERT INTO accounts(email, password_hash, created) "
                                      "VALUES($1, $2, $3)",
                                      {email, hash, dateTextOfSeconds(currentSeconds())});
                !inserted) {
                return std::unexpected(inserted.error());
            }
            return accountByEmail(connection, email);
        });
    }

    Result<bool> setPasswordHash(const std::string& email, const std::string& hash) override {
        return withConnection([&](PGconn* connection) -> Result<bool> {
            auto rows = query(connection,
                              "UPDATE accounts SET password_hash = $1 WHERE email = $2 RETURNING "
                              "id",
                              {hash, email});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            return rows->size() > 0;
        });
    }

    Result<std::optional<std::vector<std::string>>> deleteAccount(
        const std::string& email) override {
        using Outcome = std::optional<std::vector<std::string>>;
        return withTransaction([&](PGconn* connection) -> Result<Outcome> {
            auto account = accountByEmail(connection, email);
            if (!account) {
                return std::unexpected(account.error());
            }
            if (!*account) {
                return Outcome();
            }
            const Param id = number((*account)->id);
            auto photos = query(connection,
                                "SELECT photo_hash FROM recipes WHERE account_id = $1 AND "
                                "photo_hash IS NOT NULL UNION SELECT photo_hash FROM "
                                "recipe_history WHERE account_id = $1 AND photo_hash IS NOT NULL",
                                {id});
            if (!photos) {
                return std::unexpected(photos.error());
            }
            if (auto done = query(connection, "DELETE FROM accounts WHERE id = $1", {id}); !done) {
                return std::unexpected(done.error());
            }
            std::vector<std::string> hashes;
            for (int i = 0; i < photos->size(); ++i) {
                hashes.push_back(photos->text(i, 0));
            }
            return Outcome(std::move(hashes));
        });
    }

    Result<std::vector<std::string>> entities(std::int64_t account, EntityKind kind) override {
        return withConnection([&](PGconn* connection) -> Result<std::vector<std::string>> {
            auto rows = query(connection,
                              "SELECT body FROM entities WHERE account_id = $1 AND kind = $2 "
                              "ORDER BY uid",
                              {number(account), std::string(entityKindName(kind))});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            std::vector<std::string> bodies;
            bodies.reserve(static_cast<std::size_t>(rows->size()));
            for (int i = 0; i < rows->size(); ++i) {
                bodies.push_back(rows->text(i, 0));
            }
            return bodies;
        });
    }

    Result<void> applyEntities(std::int64_t account, EntityKind kind,
                               const std::vector<EntityRecord>& records) override {
        return withAccountWrite(account, [&](PGconn* connection) -> Result<void> {
            const std::string kindName(entityKindName(kind));
            for (const EntityRecord& record : records) {
                auto done =
                    record.deleted
                        ? query(connection,
                                "DELETE FROM entities WHERE account_id = $1 AND kind = $2 AND "
                                "uid = $3",
                                {number(account), kindName, record.uid})
                        : query(connection,
                                "INSERT INTO entities(account_id, kind, uid, body) VALUES($1, $2, "
                                "$3, $4) ON CONFLICT(account_id, kind, uid) DO UPDATE SET body = "
                                "excluded.body",
                                {number(account), kindName, record.uid,
                                 strictJson(JsonValue(record.dictionary))});
                if (!done) {
                    return std::unexpected(done.error());
                }
            }
            return {};
        });
    }

    Result<std::vector<RecipeStub>> recipeStubs(std::int64_t account) override {
        return withConnection([&](PGconn* connection) -> Result<std::vector<RecipeStub>> {
            auto rows = query(connection,
                              "SELECT uid, hash, photo_hash FROM recipes WHERE account_id = $1 "
                              "ORDER BY uid",
                              {number(account)});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            std::vector<RecipeStub> stubs;
            stubs.reserve(static_cast<std::size_t>(rows->size()));
            for (int i = 0; i < rows->size(); ++i) {
                stubs.push_back(
                    RecipeStub{rows->text(i, 0), rows->text(i, 1), rows->optional(i, 2)});
            }
            return stubs;
        });
    }

    Result<std::optional<StoredRecipe>> recipe(std::int64_t account,
                                               const std::string& uid) override {
        return withConnection([&](PGconn* connection) {
            return PostgresRecipeRows(connection, account).recipe(uid);
        });
    }

    Result<WriteOutcome> writeRecipe(std::int64_t account, const RecipeWrite& write) override {
        return withAccountWrite(account, [&](PGconn* connection) {
            PostgresRecipeRows rows(connection, account);
            return applyRecipeWrite(rows, write, currentSeconds());
        });
    }

    Result<std::optional<PhotoLocation>> photoByToken(const std::string& token) override {
        return withConnection([&](PGconn* connection) -> Result<std::optional<PhotoLocation>> {
            auto rows =
                query(connection,
                      "SELECT account_id, photo_hash FROM recipes WHERE photo_token = $1", {token});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            if (rows->size() == 0 || rows->isNull(0, 1)) {
                return std::optional<PhotoLocation>();
            }
            return std::optional<PhotoLocation>(
                PhotoLocation{rows->integer(0, 0), rows->text(0, 1)});
        });
    }

    Result<bool> photoInUse(std::int64_t account, const std::string& photoHash) override {
        return withConnection([&](PGconn* connection) -> Result<bool> {
            auto rows = query(connection,
                              "SELECT 1 FROM recipes WHERE account_id = $1 AND photo_hash = $2 "
                              "UNION ALL SELECT 1 FROM recipe_history WHERE account_id = $1 AND "
                              "photo_hash = $2 LIMIT 1",
                              {number(account), photoHash});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            return rows->size() > 0;
        });
    }

    Result<std::vector<HistoryEntry>> history(std::int64_t account,
                                              const std::string& uid) override {
        return withConnection([&](PGconn* connection) -> Result<std::vector<HistoryEntry>> {
            auto rows = uid.empty()
                            ? query(connection,
                                    "SELECT id, uid, saved_at, body, photo_hash FROM "
                                    "recipe_history WHERE account_id = $1 ORDER BY id DESC",
                                    {number(account)})
                            : query(connection,
                                    "SELECT id, uid, saved_at, body, photo_hash FROM "
                                    "recipe_history WHERE account_id = $1 AND uid = $2 ORDER BY "
                                    "id DESC",
                                    {number(account), uid});
            if (!rows) {
                return std::unexpected(rows.error());
            }
            std::vector<HistoryEntry> entries;
            for (int i = 0; i < rows->size(); ++i) {
                entries.push_back(HistoryEntry{rows->integer(i, 0), rows->text(i, 1),
                                               dateTextOfSeconds(rows->integer(i, 2)),
                                               rows->text(i, 3), rows->optional(i, 4)});
            }
            return entries;
        });
    }

    Result<WriteOutcome> restore(std::int64_t account, std::int64_t entryId,
                                 const std::string& newPhotoToken) override {
        return withAccountWrite(account, [&](PGconn* connection) {
            PostgresRecipeRows rows(connection, account);
            return applyRestore(rows, entryId, newPhotoToken, currentSeconds());
        });
    }

private:
    // Asked first rather than "IF NOT EXISTS", whose notice libpq would print on every start.
    Result<void> makeSessionTable(PGconn* connection) {
        auto present = query(connection, "SELECT to_regclass('web_sessions') IS NOT NULL");
        if (!present) {
            return std::unexpected(present.error());
        }
        if (present->text(0, 0) != "t") {
            if (auto made = query(connection, kSessionTable); !made) {
                return std::unexpected(made.error());
            }
        }
        return {};
    }

    Result<void> makeRevisionColumn(PGconn* connection) {
        auto present = query(connection, "SELECT to_regclass('account_revisions') IS NOT NULL");
        if (!present) {
            return std::unexpected(present.error());
        }
        if (present->text(0, 0) == "t") {
            return {};
        }
        PgResult made(PQexec(connection, kRevisionColumn));
        if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
            const std::string message = PQerrorMessage(connection);
            PgResult rollback(PQexec(connection, "ROLLBACK"));
            return storageError("PostgreSQL: " + message);
        }
        return {};
    }

    // The list is the same without the index, only slower: a database it cannot be made on
    // (a row too long for an index, written before hashes were bounded) is still served.
    void makeRecipeStubIndex(PGconn* connection) {
        auto answer = query(connection, "SELECT to_regclass('recipes_stubs') IS NOT NULL");
        if (answer && answer->text(0, 0) == "t") {
            return;
        }
        if (answer) {
            answer = query(connection, kRecipeStubIndex);
        }
        if (!answer) {
            logLine("The recipe list's index could not be made, the list reads the table: {}",
                    answer.error().description);
        }
    }

    Result<void> makeSchema(PGconn* connection) {
        auto present = query(connection, "SELECT to_regclass('schema_version') IS NOT NULL");
        if (!present) {
            return std::unexpected(present.error());
        }
        if (present->text(0, 0) == "t") {
            auto version = query(connection, "SELECT max(version) FROM schema_version");
            if (!version) {
                return std::unexpected(version.error());
            }
            const auto current = version->isNull(0, 0) ? 0 : version->integer(0, 0);
            if (current > kSchemaVersion) {
                return storageError(
                    fmt::format("The database has schema version {}, newer than this server's {}.",
                                current, kSchemaVersion));
            }
            return {};
        }
        PgResult made(
            PQexec(connection, (std::string("BEGIN;") + kSchemaVersion1 + "COMMIT;").c_str()));
        if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
            const std::string message = PQerrorMessage(connection);
            PgResult rollback(PQexec(connection, "ROLLBACK"));
            return storageError("PostgreSQL: " + message);
        }
        return {};
    }

    Result<PgConnection> acquire() {
        {
            std::lock_guard lock(m_mutex);
            while (!m_idle.empty()) {
                PgConnection connection = std::move(m_idle.back());
                m_idle.pop_back();
                if (PQstatus(connection.get()) == CONNECTION_OK) {
                    return connection;
                }
            }
        }
        PgConnection connection(PQconnectdb(m_address.c_str()));
        if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
            return storageError(
                fmt::format("Could not connect to PostgreSQL: {}",
                            connection ? PQerrorMessage(connection.get()) : "no memory"));
        }
        return connection;
    }

    void giveBack(PgConnection connection) {
        // A connection left inside a failed transaction is not handed out again.
        if (PQtransactionStatus(connection.get()) != PQTRANS_IDLE) {
            return;
        }
        std::lock_guard lock(m_mutex);
        if (m_idle.size() < 16) {
            m_idle.push_back(std::move(connection));
        }
    }

    template <typename Work>
    auto withConnection(Work work) -> decltype(work(std::declval<PGconn*>())) {
        auto connection = acquire();
        if (!connection) {
            return std::unexpected(connection.error());
        }
        auto result = work(connection->get());
        giveBack(std::move(*connection));
        return result;
    }

    template <typename Work>
    auto withTransaction(Work work) -> decltype(work(std::declval<PGconn*>())) {
        return withConnection([&](PGconn* connection) -> decltype(work(connection)) {
            if (auto begun = query(connection, "BEGIN"); !begun) {
                return std::unexpected(begun.error());
            }
            auto result = work(connection);
            if (!result) {
                (void)query(connection, "ROLLBACK");
                return result;
            }
            if (auto committed = query(connection, "COMMIT"); !committed) {
                (void)query(connection, "ROLLBACK");
                return std::unexpected(committed.error());
            }
            return result;
        });
    }

    // The writes of one account are serialised across every process on the database, so
    // that a recipe's read-modify-write and its history never interleave. Every write to an
    // account's synced data goes through here: its revision advances in the same transaction,
    // so no answer built before the write is taken for one after it.
    template <typename Work>
    auto withAccountWrite(std::int64_t account, Work work)
        -> decltype(work(std::declval<PGconn*>())) {
        return withTransaction([&](PGconn* connection) -> decltype(work(connection)) {
            if (auto locked =
                    query(connection, "SELECT pg_advisory_xact_lock($1)", {number(account)});
                !locked) {
                return std::unexpected(locked.error());
            }
            auto result = work(connection);
            if (!result) {
                return result;
            }
            if (auto advanced = query(connection,
                                      "UPDATE accounts SET revision = nextval('account_revisions') "
                                      "WHERE id = $1",
                                      {number(account)});
                !advanced) {
                return std::unexpected(advanced.error());
            }
            return result;
        });
    }

    static Account accountOf(const Rows& rows, int row) {
        return Account{rows.integer(row, 0), rows.text(row, 1), rows.text(row, 2),
                       rows.text(row, 3), rows.integer(row, 4)};
    }

    static Result<std::optional<Account>> accountByEmail(PGconn* connection,
                                                         const std::string& email) {
        auto rows = query(connection,
                          "SELECT id, email, password_hash, created, revision FROM accounts "
                          "WHERE email = $1",
                          {email});
        if (!rows) {
            return std::unexpected(rows.error());
        }
        if (rows->size() == 0) {
            return std::optional<Account>();
        }
        return std::optional<Account>(accountOf(*rows, 0));
    }

    std::int64_t currentSeconds() const { return m_clock ? m_clock() : nowSeconds(); }

    std::string m_address;
    StorageClock m_clock;
    std::mutex m_mutex;
    std::vector<PgConnection> m_idle;
};

}  // namespace

Result<std::unique_ptr<Storage>> openPostgresStorage(const std::string& address,
                                                     StorageClock clock) {
    auto storage = std::make_unique<PostgresStorage>(address, std::move(clock));
    if (auto prepared = storage->prepareSchema(); !prepared) {
        return std::unexpected(prepared.error());
    }
    return std::unique_ptr<Storage>(std::move(storage));
}

}  // namespace miravel::server
