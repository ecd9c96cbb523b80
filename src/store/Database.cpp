#include "store/Database.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

namespace miravel {

namespace {

// A path as the path of a file: URI, with every byte that could end or escape it encoded.
std::string uriPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char ch : path) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == '%' || byte == '?' || byte == '#' || byte <= 0x20 || byte >= 0x7f) {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0f];
        } else {
            encoded += ch;
        }
    }
    return encoded;
}

}  // namespace

bool isDamageCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Result<Database> Database::open(const std::filesystem::path& file, Access access) {
    int flags = SQLITE_OPEN_READONLY;
    if (access == Access::ReadWrite) {
        flags = SQLITE_OPEN_READWRITE;
    } else if (access == Access::ReadWriteCreate) {
        flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    }
    std::string name = file.string();
    if (access == Access::Immutable) {
        flags |= SQLITE_OPEN_URI;
        name = "file:" + uriPath(name) + "?immutable=1";
    }
    sqlite3* connection = nullptr;
    // Serialising the connection is its user's business (see the class), so SQLite need not.
    if (int code = sqlite3_open_v2(name.c_str(), &connection, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        code != SQLITE_OK) {
        std::string message =
            connection != nullptr ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
        sqlite3_close(connection);
        return makeError(kSqliteErrorDomain, code, std::move(message));
    }
    return Database(connection, true);
}

bool Database::hasSqliteHeader(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 16> header{};
    if (!in.read(header.data(), header.size())) {
        return false;
    }
    return std::memcmp(header.data(), "SQLite format 3", 16) == 0;
}

Database Database::borrow(sqlite3* connection) {
    return Database(connection, false);
}

Database::~Database() {
    if (m_owned) {
        // A statement that outlives its database keeps the connection until it is finalized.
        sqlite3_close_v2(m_connection);
    }
}

Database::Database(Database&& other) noexcept
    : m_connection(std::exchange(other.m_connection, nullptr)),
      m_owned(std::exchange(other.m_owned, false)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        if (m_owned) {
            sqlite3_close_v2(m_connection);
        }
        m_connection = std::exchange(other.m_connection, nullptr);
        m_owned = std::exchange(other.m_owned, false);
    }
    return *this;
}

Error Database::lastError() const {
    return Error{kSqliteErrorDomain,
                 sqlite3_extended_errcode(m_connection),
                 sqlite3_errmsg(m_connection),
                 {}};
}

Result<void> Database::execute(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    if (sqlite3_exec(m_connection, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string description = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        return makeError(kSqliteErrorDomain, sqlite3_extended_errcode(m_connection),
                         std::move(description));
    }
    return {};
}

Result<Statement> Database::prepare(std::string_view sql, Lifetime lifetime) {
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return makeError(kSqliteErrorDomain, SQLITE_TOOBIG, sqlite3_errstr(SQLITE_TOOBIG));
    }
    const unsigned flags = lifetime == Lifetime::Kept ? SQLITE_PREPARE_PERSISTENT : 0;
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(m_connection, sql.data(), static_cast<int>(sql.size()), flags,
                           &statement, &tail) != SQLITE_OK) {
        return std::unexpected(lastError());
    }
    Statement prepared(statement);
    const std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
    const bool onlySpace = std::ranges::all_of(
        rest, [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ';'; });
    if (statement == nullptr || !onlySpace) {
        return makeError(kSqliteErrorDomain, SQLITE_MISUSE,
                         "Expected exactly one statement in \"" + std::string(sql) + "\"");
    }
    return prepared;
}

void Database::setBusyTimeout(std::chrono::milliseconds timeout) {
    sqlite3_busy_timeout(m_connection, static_cast<int>(timeout.count()));
}

bool Database::inTransaction() const {
    return sqlite3_get_autocommit(m_connection) == 0;
}

}  // namespace miravel
