#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "lib/Crypto.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::runMiravel;
using testing::TemporaryFolder;

TEST(RecipeCommands, addListShowAndDeleteAsAUserWould) {
    TemporaryFolder home;
    auto library = (home / "Kitchen").string();
    auto added = runMiravel(
        home.path(), {"--library", library, "recipe", "add", "--name", "Leek soup", "--ingredients",
                      "2 leeks\n1 l stock", "--rating", "4", "--prep-time", "15 min"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    std::string uid = added.out.substr(0, added.out.find('\n'));
    EXPECT_EQ(uid.size(), 36u);
    ASSERT_EQ(runMiravel(home.path(), {"--library", library, "recipe", "add", "--name",
                                       "Cr\xc3\xa8me br\xc3\xbbl\xc3\xa9\x65", "--favorite"})
                  .exitCode,
              0);

    auto listed = runMiravel(home.path(), {"recipe", "list", "--library", library});
    EXPECT_NE(listed.out.find(uid + "\tLeek soup\n"), std::string::npos);
    auto searched =
        runMiravel(home.path(), {"--library", library, "recipe", "list", "--search", "CREME"});
    EXPECT_NE(searched.out.find("Cr\xc3\xa8me"), std::string::npos);
    EXPECT_EQ(searched.out.find("Leek"), std::string::npos);
    auto favorites =
        runMiravel(home.path(), {"--library", library, "recipe", "list", "--favorites"});
    EXPECT_EQ(favorites.out.find("Leek"), std::string::npos);

    auto shown = runMiravel(home.path(), {"--library", library, "recipe", "show", "Leek soup"});
    EXPECT_NE(shown.out.find("Rating: ****"), std::string::npos);
    EXPECT_NE(shown.out.find("2 leeks\n1 l stock"), std::string::npos);

    // The JSON form carries the content hash of the rest of it.
    auto json = runMiravel(home.path(), {"--library", library, "recipe", "show", uid, "--json"});
    auto parsed = JsonParser::parse(json.out);
    ASSERT_TRUE(parsed && parsed->isObject()) << json.out;
    JsonObject dictionary = parsed->asObject();
    std::string hash = dictionary.find("hash")->asString();
    dictionary.remove("hash");
    EXPECT_EQ(hash, sha256Hex(JsonWriter::write(JsonValue(dictionary))));
    EXPECT_EQ(dictionary.find("prep_time")->asString(), "15 min");

    auto deleted =
        runMiravel(home.path(), {"--library", library, "recipe", "delete", "Leek soup", "--yes"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(runMiravel(home.path(), {"--library", library, "recipe", "show", uid}).exitCode, 1);
    auto info = runMiravel(home.path(), {"--library", library, "info"});
    EXPECT_NE(info.out.find("Recipe:          1\n"), std::string::npos) << info.out;
}

TEST(RecipeCommands, refusesBadInputWithoutTouchingTheLibrary) {
    TemporaryFolder home;
    auto library = (home / "Kitchen").string();
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"recipe", "add"}, 2, "needs a name"},
        {{"recipe", "add", "--name", "x", "--rating", "6"}, 2, "0 to 5"},
        {{"recipe", "add", "--name", "x", "--rating", "three"}, 2, "0 to 5"},
        {{"recipe", "add", "--name", "x", "--difficulty", "Tricky"}, 2, "Easy, Medium or Hard"},
        // Nothing was added, so there is no library to look in, and none is made.
        {{"recipe", "show", "Nothing"}, 1, "No library at"},
        {{"recipe", "delete"}, 2, "missing arguments"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"--library", library};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        auto result = runMiravel(home.path(), arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back() << "\n" << result.err;
        EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
    }
    auto listed = runMiravel(home.path(), {"--library", library, "recipe", "list"});
    EXPECT_EQ(listed.out, "");

    // Two recipes of one name: the user must pick one by uid.
    runMiravel(home.path(), {"--library", library, "recipe", "add", "--name", "Twin"});
    runMiravel(home.path(), {"--library", library, "recipe", "add", "--name", "Twin"});
    auto ambiguous = runMiravel(home.path(), {"--library", library, "recipe", "delete", "Twin"});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_NE(ambiguous.err.find("several recipes"), std::string::npos);
}

TEST(RecipeCommands, aLibraryThatIsNotAStoreIsLeftAlone) {
    TemporaryFolder home;
    std::filesystem::create_directories(home / "Kitchen");
    { std::ofstream(home / "Kitchen" / "Miravel.sqlite") << "my notes"; }
    auto result =
        runMiravel(home.path(), {"--library", (home / "Kitchen").string(), "recipe", "list"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("The library is damaged"), std::string::npos) << result.err;
    std::ifstream in(home / "Kitchen" / "Miravel.sqlite");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "my notes");

    std::ofstream(home / "File") << "x";
    auto file = runMiravel(home.path(), {"--library", (home / "File").string(), "recipe", "list"});
    EXPECT_EQ(file.exitCode, 1);
    EXPECT_NE(file.err.find("Expected a folder to store application data, found a file"),
              std::string::npos);
}

}  // namespace
}  // namespace miravel
