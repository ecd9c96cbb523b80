#pragma once

#include <cstdint>
#include <string_view>

#include "lib/Error.h"

struct sqlite3_stmt;

namespace miravel {

// One prepared SQLite statement, finalized when the Statement goes; made by
// Database::prepare. Parameters are numbered from 1, columns from 0. Every bind and step
// reports SQLite's failure as an error (domain kSqliteErrorDomain).
class Statement {
public:
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    [[nodiscard]] Result<void> bindNull(int index);
    [[nodiscard]] Result<void> bindInt64(int index, std::int64_t value);
    [[nodiscard]] Result<void> bindDouble(int index, double value);
    // The text is copied: it need not outlive the call. Its bytes are kept as they are,
    // NULs included.
    [[nodiscard]] Result<void> bindText(int index, std::string_view text);

    // Runs the statement to its next row: true when a row is ready to read, false when the
    // statement is done.
    [[nodiscard]] Result<bool> step();

    // Readable after step() gave true, until the next step or reset.
    enum class ColumnType { Null, Integer, Real, Text };
    // How the value is stored; a blob's bytes read as a text.
    ColumnType columnType(int column) const;
    bool isNull(int column) const;
    std::int64_t columnInt64(int column) const;
    double columnDouble(int column) const;
    // Valid until the next step, reset or read of the same column as another type.
    std::string_view columnText(int column) const;

    // Makes the statement ready to run again from the start, with every parameter NULL.
    // A failure of the last step was reported by that step.
    void reset();

private:
    friend class Database;
    explicit Statement(sqlite3_stmt* statement) : m_statement(statement) {}
    [[nodiscard]] Result<void> checkBind(int index, int status) const;

    sqlite3_stmt* m_statement = nullptr;
};

}  // namespace miravel
