#include "store/Savepoint.h"

#include <utility>

#include "store/Database.h"
#include "store/SqlValue.h"

namespace miravel {

Result<Savepoint> Savepoint::begin(Database& database, std::string_view name) {
    std::string quoted = quotedSqlIdentifier(name);
    if (auto begun = database.execute("SAVEPOINT " + quoted); !begun) {
        return std::unexpected(std::move(begun.error()));
    }
    return Savepoint(database, std::move(quoted));
}

Savepoint::~Savepoint() {
    // After a failure that made SQLite roll back the whole transaction, the savepoint is
    // gone with it.
    if (!m_finished && m_database->inTransaction()) {
        (void)m_database->execute("ROLLBACK TO " + m_quotedName);
        (void)m_database->execute("RELEASE " + m_quotedName);
    }
}

Savepoint::Savepoint(Savepoint&& other) noexcept
    : m_database(other.m_database),
      m_quotedName(std::move(other.m_quotedName)),
      m_finished(std::exchange(other.m_finished, true)) {}

Result<void> Savepoint::release() {
    if (auto released = m_database->execute("RELEASE " + m_quotedName); !released) {
        return released;
    }
    m_finished = true;
    return {};
}

}  // namespace miravel
