#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::TemporaryFolder;

TEST(IngredientCommand, DescribesEachLine) {
    TemporaryFolder home;
    auto result = runMiravel(home.path(), {"ingredient", "1 1/2 cups frozen peas", "salt"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("quantity:      1 1/2\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("unit:          cups\n"), std::string::npos);
    EXPECT_NE(result.out.find("ingredient:    pea\naisle:         Frozen Foods\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("\n\nline:          salt\nquantity:      null\n"), std::string::npos);

    EXPECT_EQ(runMiravel(home.path(), {"ingredient"}).exitCode, 2);
}

// An amount beyond what can be held is no amount, never a clipped 2147483647; decimals are
// shown as decimals.
TEST(IngredientCommand, ShowsOnlyAmountsItCanHold) {
    TemporaryFolder home;
    auto result = runMiravel(home.path(), {"ingredient", "3000000000 g flour", "0.75 cup butter",
                                           "3000000000/2 g flour"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("2147483647"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("line:          3000000000 g flour\nquantity:      null\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("quantity:      0.75\n"), std::string::npos) << result.out;
    EXPECT_TRUE(result.err.empty()) << result.err;
}

TEST(IngredientCommand, WritesOneJsonObjectPerLine) {
    TemporaryFolder home;
    std::ofstream(home / "lines.txt") << "2-3 cups flour\r\n\nmoon rocks\n";
    auto result = runMiravel(home.path(), {"ingredient", "--jsonl", (home / "lines.txt").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "{\"quantity\":2,\"quantityRange\":3,\"range\":\"-\",\"unit\":\"cups\",\"size\":null,"
              "\"color\":null,\"ingredient\":\"flour\",\"aisle\":\"Baking Goods\"}\n"
              "{\"quantity\":null,\"quantityRange\":null,\"range\":null,\"unit\":null,\"size\":"
              "null,\"color\":null,\"ingredient\":null,\"aisle\":\"Miscellaneous\"}\n"
              "{\"quantity\":null,\"quantityRange\":null,\"range\":null,\"unit\":null,\"size\":"
              "null,\"color\":null,\"ingredient\":\"moon rocks\",\"aisle\":\"Miscellaneous\"}\n");

    auto missing = runMiravel(home.path(), {"ingredient", "--jsonl", (home / "nope").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(runMiravel(home.path(), {"ingredient", "--jsonl", "a", "b"}).exitCode, 2);
    // A folder is no empty list of lines.
    auto folder = runMiravel(home.path(), {"ingredient", "--jsonl", home.path().string()});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_TRUE(folder.out.empty()) << folder.out;
    EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;
}

}  // namespace
}  // namespace miravel
