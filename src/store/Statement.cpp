#include "store/Statement.h"

#include <sqlite3.h>

#include <string>
#include <utility>

#include "store/Database.h"

namespace miravel {

Statement::~Statement() {
    sqlite3_finalize(m_statement);
}

Statement::Statement(Statement&& other) noexcept
    : m_statement(std::exchange(other.m_statement, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_statement = std::exchange(other.m_statement, nullptr);
    }
    return *this;
}

Result<void> Statement::checkBind(int index, int status) const {
    if (status != SQLITE_OK) {
        return makeError(
            kSqliteErrorDomain, status,
            "Cannot bind parameter " + std::to_string(index) + ": " + sqlite3_errstr(status));
    }
    return {};
}

Result<void> Statement::bindNull(int index) {
    return checkBind(index, sqlite3_bind_null(m_statement, index));
}

Result<void> Statement::bindInt64(int index, std::int64_t value) {
    return checkBind(index, sqlite3_bind_int64(m_statement, index, value));
}

Result<void> Statement::bindDouble(int index, double value) {
    return checkBind(index, sqlite3_bind_double(m_statement, index, value));
}

Result<void> Statement::bindText(int index, std::string_view text) {
    return checkBind(index, sqlite3_bind_text64(m_statement, index, text.data(), text.size(),
                                                SQLITE_TRANSIENT, SQLITE_UTF8));
}

Result<bool> Statement::step() {
    switch (sqlite3_step(m_statement)) {
        case SQLITE_ROW:
            return true;
        case SQLITE_DONE:
            return false;
        default: {
            sqlite3* db = sqlite3_db_handle(m_statement);
            return makeError(kSqliteErrorDomain, sqlite3_extended_errcode(db), sqlite3_errmsg(db));
        }
    }
}

Statement::ColumnType Statement::columnType(int column) const {
    switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_NULL:
            return ColumnType::Null;
        case SQLITE_INTEGER:
            return ColumnType::Integer;
        case SQLITE_FLOAT:
            return ColumnType::Real;
        default:
            return ColumnType::Text;
    }
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t Statement::columnInt64(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

double Statement::columnDouble(int column) const {
    return sqlite3_column_double(m_statement, column);
}

std::string_view Statement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (text == nullptr) {
        return {};
    }
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column))};
}

void Statement::reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

}  // namespace miravel
