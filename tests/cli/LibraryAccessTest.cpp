#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class LibraryAccessTest : public ::testing::Test {
protected:
    CommandOutput run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", library().string()});
        return runMiravel(m_home.path(), arguments);
    }
    std::filesystem::path library() const { return m_home / "Kitchen"; }
    std::filesystem::path store() const { return library() / "Miravel.sqlite"; }

    void addRecipes(int count) {
        for (int i = 0; i < count; ++i) {
            auto added = run({"recipe", "add", "--name", "Soup " + std::to_string(i),
                              "--directions", std::string(3000, 'a' + i % 26)});
            ASSERT_EQ(added.exitCode, 0) << added.err;
        }
    }

    TemporaryFolder m_home;
};

TEST_F(LibraryAccessTest, readingVerbsNeverMakeAMissingLibrary) {
    for (const std::vector<std::string>& verb : {std::vector<std::string>{"recipe", "list"},
                                                 {"info"},
                                                 {"plan", "week"},
                                                 {"grocery", "list"},
                                                 {"category", "list"}}) {
        auto listed = run(verb);
        EXPECT_EQ(listed.exitCode, 1) << verb[0];
        EXPECT_TRUE(contains(listed.err, "No library at " + library().string())) << listed.err;
        EXPECT_FALSE(std::filesystem::exists(library())) << verb[0];
    }
    // A writing verb starts the library, as a first start does.
    ASSERT_EQ(run({"recipe", "add", "--name", "Pie"}).exitCode, 0);
    auto listed = run({"recipe", "list"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "Pie"));
}

TEST_F(LibraryAccessTest, aReadOnlyLibraryIsReadAndWritesAreRefusedOnce) {
    addRecipes(3);
    const std::string before = contents(store());

    auto listed = run({"--read-only", "recipe", "list"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "Soup 2"));
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(run({"--read-only", "info"}).exitCode, 0);

    auto added = run({"--read-only", "recipe", "add", "--name", "Stew"});
    EXPECT_EQ(added.exitCode, 1);
    EXPECT_EQ(occurrences(added.err, "is read-only"), 1U) << added.err;
    EXPECT_FALSE(contains(added.err, "Unresolved"));
    EXPECT_EQ(run({"--read-only", "repair"}).exitCode, 1);
    EXPECT_EQ(contents(store()), before);

    // The mode bits speak for themselves to anyone but root, who may write regardless.
    if (::geteuid() != 0) {
        ::chmod(store().c_str(), 0444);
        EXPECT_EQ(run({"recipe", "list"}).exitCode, 0);
        auto refused = run({"recipe", "add", "--name", "Stew"});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(occurrences(refused.err, "is read-only"), 1U) << refused.err;
        ::chmod(store().c_str(), 0644);
    }
}

TEST_F(LibraryAccessTest, aDamagedLibraryIsReportedNeverWrittenAndRepaired) {
    addRecipes(30);
    {
        const auto size = std::filesystem::file_size(store());
        std::fstream out(store(), std::ios::binary | std::ios::in | std::ios::out);
        // Past the store's own table list, which fills the pages after the tables' first ones,
        // into the pages of the recipes.
        out.seekp(static_cast<std::streamoff>(size * 3 / 4));
        const std::string garbage(2 * 4096, '\x5A');
        out.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    const std::string damaged = contents(store());
    for (const std::vector<std::string>& verb : {std::vector<std::string>{"recipe", "list"},
                                                 {"info"},
                                                 {"recipe", "add", "--name", "Stew"},
                                                 {"category", "add", "Soups"}}) {
        auto refused = run(verb);
        EXPECT_EQ(refused.exitCode, 1) << verb[1];
        EXPECT_TRUE(contains(refused.err, "The library is damaged")) << refused.err;
        EXPECT_TRUE(contains(refused.err, "miravel repair")) << refused.err;
        EXPECT_FALSE(contains(refused.out, "No Recipes"));
    }
    EXPECT_EQ(contents(store()), damaged);

    auto repaired = run({"repair"});
    ASSERT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_TRUE(contains(repaired.out, "Recipe: ")) << repaired.out;
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(library())) {
        if (entry.path().filename().string().starts_with("Miravel.sqlite.damaged-")) {
            kept = contents(entry.path()) == damaged || kept;
        }
    }
    EXPECT_TRUE(kept);

    auto listed = run({"recipe", "list"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "Soup 0")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "Soup 29")) << listed.out;
    EXPECT_EQ(run({"recipe", "add", "--name", "Stew"}).exitCode, 0);
    auto again = run({"repair"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(contains(again.out, "not damaged")) << again.out;
}

TEST_F(LibraryAccessTest, aStoreThatIsNoDatabaseCannotBeRepairedAndIsLeftAlone) {
    std::filesystem::create_directories(library());
    std::ofstream(store()) << "my notes";
    auto listed = run({"recipe", "list"});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_TRUE(contains(listed.err, "The library is damaged")) << listed.err;
    auto repaired = run({"repair"});
    EXPECT_EQ(repaired.exitCode, 1);
    EXPECT_TRUE(contains(repaired.err, "not a database at all")) << repaired.err;
    EXPECT_EQ(contents(store()), "my notes");
}

// The store's start-up failure follows the reason already given; it reads as one sentence.
TEST_F(LibraryAccessTest, aStoreThatCannotBeOpenedIsToldInWholeSentences) {
    std::filesystem::create_directories(store());
    auto added = run({"recipe", "add", "--name", "Pie"});
    EXPECT_EQ(added.exitCode, 1);
    EXPECT_FALSE(contains(added.err, "store There was")) << added.err;
    EXPECT_TRUE(contains(added.err, "could not be opened for the reason above")) << added.err;
}

// Days past 2262 or before 1677 once wrapped round to the other end of that range.
TEST_F(LibraryAccessTest, mealsArePlannedOnAnyDayOfYearsOneTo9999) {
    ASSERT_EQ(run({"recipe", "add", "--name", "Pie"}).exitCode, 0);
    const std::pair<const char*, const char*> days[] = {
        {"2262-04-12", "Saturday, April 12, 2262"},
        {"9999-12-31", "Friday, December 31, 9999"},
        {"0001-01-01", "Monday, January 1, 1"},
        {"1677-09-21", "Tuesday, September 21, 1677"},
    };
    for (const auto& [day, heading] : days) {
        auto added = run({"plan", "add", "Pie", "--date", day, "--type", "dinner"});
        ASSERT_EQ(added.exitCode, 0) << added.err;
        EXPECT_TRUE(contains(added.out, day)) << added.out;
        auto shown = run({"plan", "day", day});
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_TRUE(contains(shown.out, heading)) << shown.out;
        EXPECT_TRUE(contains(shown.out, "1. Pie")) << day << "\n" << shown.out;
    }
}

}  // namespace
}  // namespace miravel
