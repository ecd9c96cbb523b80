#include "store/Transaction.h"

#include <utility>

#include "store/Database.h"

namespace miravel {

Result<Transaction> Transaction::begin(Database& database, Kind kind) {
    if (auto begun = database.execute(kind == Kind::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
        !begun) {
        return std::unexpected(std::move(begun.error()));
    }
    return Transaction(database);
}

Transaction::~Transaction() {
    // SQLite has already rolled back after some failures (a full disk, an I/O error); a
    // second ROLLBACK would only fail.
    if (!m_finished && m_database->inTransaction()) {
        (void)m_database->execute("ROLLBACK");
    }
}

Transaction::Transaction(Transaction&& other) noexcept
    : m_database(other.m_database), m_finished(std::exchange(other.m_finished, true)) {}

Result<void> Transaction::commit() {
    if (auto committed = m_database->execute("COMMIT"); !committed) {
        return committed;
    }
    m_finished = true;
    return {};
}

}  // namespace miravel
