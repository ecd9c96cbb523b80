#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>

#include "store/Database.h"
#include "store/Savepoint.h"
#include "store/SqlWhere.h"
#include "store/Transaction.h"

namespace miravel {
namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = Database::open(":memory:", Database::Access::ReadWriteCreate);
        ASSERT_TRUE(opened) << opened.error().description;
        m_database.emplace(std::move(*opened));
        ASSERT_TRUE(db().execute("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT NOT NULL)"));
    }

    Database& db() { return *m_database; }

    void insert(std::int64_t id, const std::string& name) {
        auto statement = db().prepare("INSERT INTO t (id, name) VALUES (?1, ?2)");
        ASSERT_TRUE(statement) << statement.error().description;
        ASSERT_TRUE(statement->bindInt64(1, id));
        ASSERT_TRUE(statement->bindText(2, name));
        auto row = statement->step();
        ASSERT_TRUE(row) << row.error().description;
        EXPECT_FALSE(*row);
    }

    // The names in the table, in id order, joined by spaces.
    std::string names() {
        auto statement = db().prepare("SELECT name FROM t ORDER BY id");
        EXPECT_TRUE(statement);
        std::string joined;
        for (auto row = statement->step(); row && *row; row = statement->step()) {
            joined += (joined.empty() ? "" : " ") + std::string(statement->columnText(0));
        }
        return joined;
    }

    std::optional<Database> m_database;
};

TEST_F(DatabaseTest, aTransactionKeepsItsWritesOnlyWhenCommitted) {
    for (const bool commit : {false, true}) {
        {
            auto transaction = Transaction::begin(db(), Transaction::Kind::Immediate);
            ASSERT_TRUE(transaction) << transaction.error().description;
            insert(1, "kept");
            if (commit) {
                ASSERT_TRUE(transaction->commit());
            }
        }
        EXPECT_FALSE(db().inTransaction());
        EXPECT_EQ(names(), commit ? "kept" : "") << "commit " << commit;
    }
}

TEST_F(DatabaseTest, failuresCarrySqlitesMessageAndCode) {
    insert(1, "first");
    auto transaction = Transaction::begin(db());
    ASSERT_TRUE(transaction);

    auto statement = db().prepare("INSERT INTO t (id, name) VALUES (1, 'again')");
    ASSERT_TRUE(statement);
    auto step = statement->step();
    ASSERT_FALSE(step);
    EXPECT_EQ(step.error().domain, kSqliteErrorDomain);
    EXPECT_EQ(step.error().code, SQLITE_CONSTRAINT_PRIMARYKEY);
    EXPECT_EQ(step.error().description, "UNIQUE constraint failed: t.id");

    auto executed = db().execute("INSERT INTO t (id) VALUES (2)");
    ASSERT_FALSE(executed);
    EXPECT_EQ(executed.error().code, SQLITE_CONSTRAINT_NOTNULL);
    EXPECT_EQ(executed.error().description, "NOT NULL constraint failed: t.name");

    auto prepared = db().prepare("SELECT * FROM missing");
    ASSERT_FALSE(prepared);
    EXPECT_EQ(prepared.error().code, SQLITE_ERROR);
    EXPECT_EQ(prepared.error().description, "no such table: missing");
}

// Only the first statement of a text would run; the rest must not be dropped unseen.
TEST_F(DatabaseTest, prepareTakesExactlyOneStatement) {
    EXPECT_TRUE(db().prepare("SELECT 1;  \n"));
    for (const char* sql : {"", " ; ", "SELECT 1; DELETE FROM t"}) {
        auto prepared = db().prepare(sql);
        ASSERT_FALSE(prepared) << sql;
        EXPECT_EQ(prepared.error().code, SQLITE_MISUSE) << sql;
    }
}

TEST_F(DatabaseTest, aFailedCommitStillRollsBack) {
    ASSERT_TRUE(db().execute(
        "PRAGMA foreign_keys = ON;"
        "CREATE TABLE child (parent INTEGER REFERENCES t (id) DEFERRABLE INITIALLY DEFERRED)"));
    {
        auto transaction = Transaction::begin(db());
        ASSERT_TRUE(transaction);
        insert(1, "orphaned");
        ASSERT_TRUE(db().execute("INSERT INTO child (parent) VALUES (2)"));
        auto committed = transaction->commit();
        ASSERT_FALSE(committed);
        EXPECT_EQ(committed.error().description, "FOREIGN KEY constraint failed");
        EXPECT_TRUE(db().inTransaction());
    }
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(names(), "");
}

TEST_F(DatabaseTest, aSavepointUndoesOnlyItsOwnPart) {
    {
        auto transaction = Transaction::begin(db());
        ASSERT_TRUE(transaction);
        insert(1, "outer");
        {
            auto undone = Savepoint::begin(db(), "undone");
            ASSERT_TRUE(undone);
            insert(2, "dropped");
            {
                auto kept = Savepoint::begin(db(), "kept \"inner\"");
                ASSERT_TRUE(kept) << kept.error().description;
                insert(3, "nested");
                ASSERT_TRUE(kept->release());
            }
            EXPECT_EQ(names(), "outer dropped nested");
        }
        EXPECT_TRUE(db().inTransaction());
        EXPECT_EQ(names(), "outer");
        {
            auto released = Savepoint::begin(db(), "released");
            ASSERT_TRUE(released);
            insert(4, "released");
            ASSERT_TRUE(released->release());
        }
        ASSERT_TRUE(transaction->commit());
    }
    EXPECT_EQ(names(), "outer released");
}

TEST_F(DatabaseTest, aStatementResetRunsAgainWithItsParametersCleared) {
    auto statement = db().prepare("SELECT ?1, typeof(?2)");
    ASSERT_TRUE(statement);
    for (const std::string name : {"first", "second"}) {
        ASSERT_TRUE(statement->bindText(1, name));
        ASSERT_TRUE(statement->bindDouble(2, 2.5));
        auto row = statement->step();
        ASSERT_TRUE(row && *row);
        EXPECT_EQ(statement->columnText(0), name);
        EXPECT_EQ(statement->columnText(1), "real");
        auto done = statement->step();
        ASSERT_TRUE(done);
        EXPECT_FALSE(*done);
        statement->reset();
    }
    auto row = statement->step();
    ASSERT_TRUE(row && *row);
    EXPECT_TRUE(statement->isNull(0));
    EXPECT_EQ(statement->columnText(1), "null");
}

// A value bound to a parameter the statement lacks would otherwise be written as NULL
// while the write reports success.
TEST_F(DatabaseTest, bindingAParameterTheStatementLacksIsAnError) {
    auto statement = db().prepare("SELECT ?1, ?2");
    ASSERT_TRUE(statement);
    for (const int index : {0, 3}) {
        const std::vector<Result<void>> binds = {
            statement->bindNull(index),
            statement->bindInt64(index, 7),
            statement->bindDouble(index, 0.5),
            statement->bindText(index, "text"),
            SqlWhere::bind(*statement, index, Value(true)),
            SqlWhere::bind(*statement, index, Value(ValueList{1, "a"})),
        };
        for (std::size_t i = 0; i < binds.size(); ++i) {
            ASSERT_FALSE(binds[i]) << "bind " << i << " at " << index;
            EXPECT_EQ(binds[i].error().code, SQLITE_RANGE);
            EXPECT_EQ(
                binds[i].error().description,
                "Cannot bind parameter " + std::to_string(index) + ": column index out of range");
        }
    }
    // Once running, a statement takes no new values until it is reset.
    ASSERT_TRUE(statement->step());
    auto late = statement->bindInt64(1, 1);
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().code, SQLITE_MISUSE);
}

}  // namespace
}  // namespace miravel
