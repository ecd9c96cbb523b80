#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;

// A library whose store refuses every change, as a full disk or a failing device would: each
// verb that saves must say "Database Error", end with status 1, and leave the library as it was.
class SaveFailureTest : public KitchenTest {
protected:
    void SetUp() override {
        ok({"recipe", "add", "--name", "Leek soup", "--ingredients", "2 leeks"});
        ok({"grocery", "new", "milk"});
        ok({"category", "add", "Soups"});
        m_before = ok({"grocery", "list"});
    }

    void execute(const std::string& sql) {
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open((library() / "Miravel.sqlite").c_str(), &database), SQLITE_OK);
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
            << (message != nullptr ? message : "");
        sqlite3_free(message);
        sqlite3_close(database);
    }
    void refuseWrites(bool refuse) {
        for (const char* table : {"Recipe", "RecipeCategory", "GroceryListItem"}) {
            for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
                const std::string name = std::string("refuse_") + table + "_" + change;
                execute(refuse ? "CREATE TRIGGER " + name + " BEFORE " + change + " ON " + table +
                                     " BEGIN SELECT RAISE(ABORT, 'disk is full'); END"
                               : "DROP TRIGGER " + name);
            }
        }
    }

    std::string m_before;
};

TEST_F(SaveFailureTest, everySavingVerbReportsTheDatabaseErrorAndChangesNothing) {
    refuseWrites(true);
    const std::vector<std::vector<std::string>> verbs{
        {"grocery", "new", "bread"},
        {"grocery", "check", "1"},
        {"grocery", "edit", "1", "oat milk"},
        {"grocery", "delete", "1"},
        {"grocery", "clear"},
        {"category", "add", "Stews"},
        {"category", "rename", "Soups", "Broths"},
        {"category", "delete", "Soups"},
        {"category", "file", "Soups", "Leek soup"},
        {"recipe", "add", "--name", "Stew"},
        {"recipe", "edit", "Leek soup", "--servings", "6"},
        {"recipe", "favorite", "Leek soup", "on"},
    };
    for (const auto& verb : verbs) {
        std::string shown;
        for (const auto& word : verb) {
            shown += word + " ";
        }
        auto output = run(verb);
        EXPECT_EQ(output.exitCode, 1) << shown << output.err;
        EXPECT_NE(output.err.find("Database Error"), std::string::npos) << shown << output.err;
        EXPECT_NE(output.err.find("disk is full"), std::string::npos) << shown << output.err;
    }
    refuseWrites(false);
    EXPECT_EQ(ok({"grocery", "list"}), m_before);
    auto categories = ok({"category", "list"});
    EXPECT_NE(categories.find("Soups"), std::string::npos) << categories;
    EXPECT_EQ(categories.find("Stews"), std::string::npos) << categories;
    auto recipes = ok({"recipe", "list"});
    EXPECT_EQ(recipes.find("Stew\n"), std::string::npos) << recipes;
    EXPECT_EQ(ok({"recipe", "list", "--favorites"}).find("Leek soup"), std::string::npos);
}

}  // namespace
}  // namespace miravel
