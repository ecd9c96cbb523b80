#pragma once

#include "lib/Error.h"

namespace miravel {

class Database;

// One transaction of a Database: rolled back when the Transaction goes without commit(),
// so an early return or a failed step can never leave it open or half written.
class Transaction {
public:
    // Deferred takes the write lock at the first write; Immediate at once, so that what is
    // read inside is still true when the transaction writes.
    enum class Kind { Deferred, Immediate };

    [[nodiscard]] static Result<Transaction> begin(Database& database, Kind kind = Kind::Deferred);

    ~Transaction();
    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&&) = delete;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // After a failed commit the transaction is still rolled back when it goes.
    [[nodiscard]] Result<void> commit();

private:
    explicit Transaction(Database& database) : m_database(&database) {}

    Database* m_database;
    bool m_finished = false;
};

}  // namespace miravel
