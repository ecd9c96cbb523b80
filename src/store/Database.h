#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

#include "lib/Error.h"
#include "store/Statement.h"

struct sqlite3;

namespace miravel {

// Error domain of failures SQLite reports: the code is SQLite's extended result code, the
// description SQLite's own message.
inline constexpr const char* kSqliteErrorDomain = "miravel.sqlite";

// Whether a (primary or extended) SQLite result code says the file is damaged, or is no
// database at all.
bool isDamageCode(int code);

// One SQLite connection, closed when the Database goes. It is not safe to use from two
// threads at once: whoever shares one serialises its use (the store coordinator's lock).
class Database {
public:
    // Immutable is read-only for a file nothing changes while it is open: SQLite then takes
    // no locks and needs no file beside it, so it can read a store in a folder it may not
    // write to.
    enum class Access { ReadOnly, Immutable, ReadWrite, ReadWriteCreate };

    // Opens `file` (":memory:" for a private database in memory). An error carries
    // SQLite's message, not the file name: the caller knows what it was opening.
    [[nodiscard]] static Result<Database> open(const std::filesystem::path& file, Access access);

    // Whether the file starts as every SQLite database does.
    static bool hasSqliteHeader(const std::filesystem::path& file);

    // Works on a connection opened elsewhere, which stays open when this Database goes:
    // for code that holds one as a raw handle (the predicate fuzzer builds its own).
    static Database borrow(sqlite3* connection);

    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one or more statements that take no parameters; rows they return are dropped.
    [[nodiscard]] Result<void> execute(std::string_view sql);

    // A statement run many times is prepared Kept: SQLite then keeps its memory out of the
    // small pool that short-lived statements share.
    enum class Lifetime { Brief, Kept };
    // Exactly one statement; text after it is refused rather than silently not run.
    [[nodiscard]] Result<Statement> prepare(std::string_view sql,
                                            Lifetime lifetime = Lifetime::Brief);

    // How long a statement waits for another connection's lock before failing as busy.
    void setBusyTimeout(std::chrono::milliseconds timeout);

    // Whether a transaction is open. It ends with COMMIT or ROLLBACK, and also when SQLite
    // rolls back by itself after some failures (a full disk, an I/O error).
    bool inTransaction() const;

    // The connection itself, only for what SQLite offers no statement for: registering
    // functions and collations. Everything else goes through execute() and prepare().
    sqlite3* rawHandle() const { return m_connection; }

private:
    Database(sqlite3* connection, bool owned) : m_connection(connection), m_owned(owned) {}
    Error lastError() const;

    sqlite3* m_connection = nullptr;
    bool m_owned = false;
};

}  // namespace miravel
