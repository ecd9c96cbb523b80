#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RunCommand.h"

namespace miravel {
namespace {

using testing::KitchenTest;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class TrashCommandsTest : public KitchenTest {
protected:
    void SetUp() override {
        auto soup = run({"recipe", "add", "--name", "Leek soup", "--ingredients", "2 leeks"});
        ASSERT_EQ(soup.exitCode, 0) << soup.err;
        m_uid = soup.out.substr(0, soup.out.find('\n'));
        ASSERT_EQ(run({"plan", "add", "Leek soup", "--date", "2026-03-10"}).exitCode, 0);
        ASSERT_EQ(run({"plan", "add", "Leek soup", "--date", "2026-03-11"}).exitCode, 0);
    }
    std::string recipes() { return run({"recipe", "list"}).out; }

    std::string m_uid;
};

TEST_F(TrashCommandsTest, deleteWithoutATerminalAsksForYesAndKeepsTheRecipe) {
    auto refused = run({"recipe", "delete", "Leek soup"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(contains(refused.err, "It also removes 2 planned meals.")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "add --yes")) << refused.err;
    EXPECT_EQ(recipes(), m_uid + "\tLeek soup\n");

    auto deleted = run({"recipe", "delete", "Leek soup", "--yes"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_TRUE(contains(deleted.out, "Deleted \"Leek soup\" and its 2 planned meals.\n"))
        << deleted.out;
    EXPECT_EQ(recipes(), "");
    EXPECT_FALSE(contains(run({"plan", "week", "--date", "2026-03-10"}).out, "Leek soup"));
}

TEST_F(TrashCommandsTest, restoreBringsTheRecipeBackUnderItsUid) {
    ASSERT_EQ(run({"recipe", "delete", "--yes", "Leek soup"}).exitCode, 0);
    auto listed = run({"trash", "list"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_TRUE(listed.out.starts_with(m_uid + "\tLeek soup\tdeleted ")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "kept 30 more days")) << listed.out;

    auto unknown = run({"trash", "restore", "Pie"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(contains(unknown.err, "no recipe \"Pie\" in the trash")) << unknown.err;

    auto restored = run({"trash", "restore", "Leek soup"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restored \"Leek soup\" (" + m_uid + ").\n");
    EXPECT_EQ(recipes(), m_uid + "\tLeek soup\n");
    EXPECT_EQ(run({"recipe", "show", m_uid}).out.find("Leek soup"), 0u);
    EXPECT_EQ(run({"trash", "list"}).out, "The trash is empty.\n");
}

TEST_F(TrashCommandsTest, twoOfOneNameAreRestoredByUid) {
    auto twin = run({"recipe", "add", "--name", "Leek soup"});
    const std::string twinUid = twin.out.substr(0, twin.out.find('\n'));
    ASSERT_EQ(run({"recipe", "delete", "--yes", m_uid, twinUid}).exitCode, 0);
    auto ambiguous = run({"trash", "restore", "Leek soup"});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_TRUE(contains(ambiguous.err, "by its uid")) << ambiguous.err;
    EXPECT_EQ(run({"trash", "restore", twinUid}).exitCode, 0);
    EXPECT_EQ(recipes(), twinUid + "\tLeek soup\n");
}

TEST_F(TrashCommandsTest, emptyAsksAndOldEntriesGoByThemselves) {
    ASSERT_EQ(run({"recipe", "add", "--name", "Pie"}).exitCode, 0);
    ASSERT_EQ(run({"recipe", "delete", "--yes", "Leek soup", "Pie"}).exitCode, 0);
    auto refused = run({"trash", "empty"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(contains(refused.err, "add --yes")) << refused.err;

    // Age one entry past its 30 days: the next look at the trash removes it.
    const auto trash = m_home / "Kitchen" / "Trash";
    auto entry = std::filesystem::directory_iterator(trash)->path();
    std::filesystem::last_write_time(
        entry, std::filesystem::file_time_type::clock::now() - std::chrono::days(31));
    auto listed = run({"trash", "list"});
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1) << listed.out;
    EXPECT_FALSE(std::filesystem::exists(entry));

    auto emptied = run({"trash", "empty", "--yes"});
    EXPECT_EQ(emptied.exitCode, 0) << emptied.err;
    EXPECT_EQ(emptied.out, "Removed 1 recipe from the trash.\n");
    EXPECT_TRUE(std::filesystem::is_empty(trash));
}

}  // namespace
}  // namespace miravel
