#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::shellQuoted;
using testing::TemporaryFolder;

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(ScaleCommand, scalesAFileOrStandardInput) {
    TemporaryFolder home;
    writeFile(home / "soup.txt", "For the soup:\n2 leeks\n1 1/2 l stock\nSalt\n");
    auto scaled = runMiravel(home.path(), {"scale", "--by", "3/2", (home / "soup.txt").string()});
    EXPECT_EQ(scaled.exitCode, 0) << scaled.err;
    EXPECT_EQ(scaled.out, "For the soup:\n3 leeks\n2 1/4 l stock\nSalt\n");

    const std::string input = "1 cup rice\r\n\u00BD tsp salt";
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"scale", "--by", "2"}, {"scale", "--by=2/1", "-"}, {"scale", "-", "--by", "2"}}) {
        auto piped = runMiravel(home.path(), arguments, input);
        EXPECT_EQ(piped.exitCode, 0) << arguments[2];
        EXPECT_EQ(piped.out, "2 cups rice\n\n1 tsp salt\n") << arguments[2];
    }
    auto mixed = runMiravel(home.path(), {"scale", "--by", "1 1/2"}, "2 eggs\n");
    EXPECT_EQ(mixed.out, "3 eggs\n");
    // At one the text comes back as it was, apart from the final line ending.
    auto same = runMiravel(home.path(), {"scale", "--by", "3/3"}, "  2 eggs \r\n\n");
    EXPECT_EQ(same.out, "  2 eggs \r\n\n");
}

TEST(ScaleCommand, refusesFactorsThatAreNotAboveZero) {
    TemporaryFolder home;
    writeFile(home / "list.txt", "1 egg\n");
    const std::string file = (home / "list.txt").string();
    const std::vector<std::vector<std::string>> refused = {
        {"scale", file},
        {"scale", "--by", "0", file},
        {"scale", "--by", "0/3", file},
        {"scale", "--by", "-2", file},
        {"scale", "--by", "-1/2", file},
        {"scale", "--by", "1/-2", file},
        {"scale", "--by", "3/0", file},
        {"scale", "--by", "two", file},
        {"scale", "--by", "1 2", file},
        {"scale", "--by", "2/", file},
        {"scale", "--by", "", file},
        {"scale", "--by", "99999999999", file},
        {"scale", "--by", "2", file, file},
    };
    for (const auto& arguments : refused) {
        auto result = runMiravel(home.path(), arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments[arguments.size() > 2 ? 2 : 1];
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(result.err.find("miravel scale:"), std::string::npos) << result.err;
    }
    auto bad = runMiravel(home.path(), {"scale", "--by", "two", file});
    EXPECT_NE(bad.err.find("greater than zero"), std::string::npos) << bad.err;
    auto missing = runMiravel(home.path(), {"scale", "--by", "2", (home / "none.txt").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Could not read"), std::string::npos) << missing.err;
    // What cannot be read is reported, never an abort.
    for (const std::string& unreadable : {home.path().string(), std::string("/proc/self/mem")}) {
        auto failed = runMiravel(home.path(), {"scale", "--by", "2", unreadable});
        EXPECT_EQ(failed.exitCode, 1) << unreadable << failed.err;
        EXPECT_NE(failed.err.find("miravel scale: Could not read \"" + unreadable + "\": "),
                  std::string::npos)
            << failed.err;
    }
    auto folder = runMiravel(home.path(), {"scale", "--by", "2", home.path().string()});
    EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;
}

// Every factor is read the way amounts are, and a wrong one is said once, in the user's terms.
TEST(ScaleCommand, readsFactorsAsAmountsAndSaysWhatIsWrongOnce) {
    TemporaryFolder home;
    for (const char* by : {"1.5", "3/2", "1 1/2", "1\u00BD"}) {
        auto scaled = runMiravel(home.path(), {"scale", "--by", by}, "2 eggs\n");
        EXPECT_EQ(scaled.exitCode, 0) << by << scaled.err;
        EXPECT_EQ(scaled.out, "3 eggs\n") << by;
    }
    auto half = runMiravel(home.path(), {"scale", "--by", "\u00BD"}, "2 eggs\n");
    EXPECT_EQ(half.out, "1 egg\n");

    auto zero = runMiravel(home.path(), {"scale", "--by", "1/0"}, "1 egg\n");
    EXPECT_EQ(zero.exitCode, 2);
    EXPECT_EQ(zero.err,
              "miravel scale: --by \"1/0\" is not a factor greater than zero such as 3/2, 2, 1.5 "
              "or \"1 1/2\".\nTry \"miravel scale --help\".\n");
    auto large = runMiravel(home.path(), {"scale", "--by", "99999999999/1"}, "1 egg\n");
    EXPECT_EQ(large.exitCode, 2);
    EXPECT_EQ(large.err.substr(0, large.err.find('\n')),
              "miravel scale: --by \"99999999999/1\" is too large.");
}

// A line that cannot be scaled exactly is printed as written, and the run fails saying which
// lines were kept and why: a wrong number on a shopping list is worse than none.
TEST(ScaleCommand, keepsAndReportsLinesItCannotScale) {
    TemporaryFolder home;
    auto scaled = runMiravel(home.path(), {"scale", "--by", "2"},
                             "3000000000 g flour\n1 egg\n1.5.5 g salt\n");
    EXPECT_EQ(scaled.exitCode, 1);
    EXPECT_EQ(scaled.out, "3000000000 g flour\n2 eggs\n1.5.5 g salt\n");
    EXPECT_EQ(scaled.err,
              "miravel scale: line 1 kept unscaled: the amount is too large.\n"
              "miravel scale: line 3 kept unscaled: the amount is not a number.\n");
    auto million = runMiravel(home.path(), {"scale", "--by", "1000000"}, "1,000,000 g flour\n");
    EXPECT_EQ(million.exitCode, 1);
    EXPECT_EQ(million.out, "1,000,000 g flour\n");
}

TEST(ScaleCommand, showsARecipeAtAnotherScaleWithoutStoringIt) {
    TemporaryFolder home;
    const std::string library = (home / "Kitchen").string();
    auto added = runMiravel(
        home.path(), {"--library", library, "recipe", "add", "--name", "Pancakes", "--ingredients",
                      "For the batter:\n1 1/2 cups flour\n2 eggs", "--servings", "4-6"});
    ASSERT_EQ(added.exitCode, 0) << added.err;

    auto scaled = runMiravel(
        home.path(), {"--library", library, "recipe", "show", "Pancakes", "--scale", "2/3"});
    EXPECT_EQ(scaled.exitCode, 0) << scaled.err;
    EXPECT_NE(scaled.out.find("Scaled by: 2/3\n"), std::string::npos) << scaled.out;
    EXPECT_NE(scaled.out.find("Servings: 2 2/3-4 (Scaled)\n"), std::string::npos) << scaled.out;
    EXPECT_NE(scaled.out.find("For the batter:\n1 cup flour\n1 1/3 eggs\n"), std::string::npos)
        << scaled.out;

    auto plain = runMiravel(home.path(), {"--library", library, "recipe", "show", "Pancakes"});
    EXPECT_NE(plain.out.find("Servings: 4-6\n"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("1 1/2 cups flour\n2 eggs\n"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("Scaled"), std::string::npos) << plain.out;
    auto one = runMiravel(home.path(),
                          {"--library", library, "recipe", "show", "Pancakes", "--scale", "1"});
    EXPECT_EQ(one.out, plain.out);

    for (const auto& extra : std::vector<std::vector<std::string>>{
             {"--scale", "0"}, {"--scale", "x"}, {"--scale", "2", "--json"}}) {
        std::vector<std::string> arguments = {"--library", library, "recipe", "show", "Pancakes"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        EXPECT_EQ(runMiravel(home.path(), arguments).exitCode, 2) << extra[1];
    }
}

}  // namespace
}  // namespace miravel
