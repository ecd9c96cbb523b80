#pragma once

#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel {

class Database;

// A named savepoint: a part of a transaction that can be undone alone. When the Savepoint
// goes without release(), what was written since it began is rolled back and the savepoint
// ends; the enclosing transaction goes on. Begun outside a transaction, it is one.
class Savepoint {
public:
    [[nodiscard]] static Result<Savepoint> begin(Database& database, std::string_view name);

    ~Savepoint();
    Savepoint(Savepoint&& other) noexcept;
    Savepoint& operator=(Savepoint&&) = delete;
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;

    // Keeps what was written since the savepoint began, as part of the enclosing transaction.
    [[nodiscard]] Result<void> release();

private:
    Savepoint(Database& database, std::string quotedName)
        : m_database(&database), m_quotedName(std::move(quotedName)) {}

    Database* m_database;
    std::string m_quotedName;
    bool m_finished = false;
};

}  // namespace miravel
