#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/JsonParser.h"
#include "model/RecipeFile.h"
#include "support/RunCommand.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::CommandOutput;
using testing::runMiravel;
using testing::TemporaryFolder;

class RecipeEditCommandsTest : public ::testing::Test {
protected:
    CommandOutput run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--library", m_library.string()});
        return runMiravel(m_home.path(), arguments);
    }
    JsonObject shown(const std::string& recipe) {
        auto json = run({"recipe", "show", recipe, "--json"});
        auto parsed = JsonParser::parse(json.out);
        EXPECT_TRUE(parsed && parsed->isObject()) << json.out << json.err;
        return parsed && parsed->isObject() ? parsed->asObject() : JsonObject();
    }
    static std::string text(const JsonObject& dictionary, std::string_view key) {
        const JsonValue* value = dictionary.find(key);
        return value && value->isString() ? value->asString() : std::string("<none>");
    }
    std::filesystem::path picture(const std::string& name, int width, int height) {
        Image image = Image::blank(width, height);
        std::ranges::fill(image.pixels, 90);
        auto path = m_home / name;
        EXPECT_TRUE(writeFileAtomically(path, *encodeJpeg(image)));
        return path;
    }
    std::vector<std::filesystem::path> photoFiles() {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_library)) {
            if (entry.path().extension() == ".jpg") {
                files.push_back(entry.path());
            }
        }
        return files;
    }

    TemporaryFolder m_home;
    std::filesystem::path m_library = m_home / "Kitchen";
};

TEST_F(RecipeEditCommandsTest, editChangesOnlyTheGivenFieldsAndFilesCategories) {
    ASSERT_EQ(run({"category", "add", "Soups"}).exitCode, 0);
    ASSERT_EQ(run({"category", "add", "Quick"}).exitCode, 0);
    auto added =
        run({"recipe", "add", "--name", "Leek soup", "--servings", "4", "--categories", "Soups"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    const std::string uid = added.out.substr(0, added.out.find('\n'));
    const std::string hashBefore = text(shown(uid), "hash");

    auto edited = run({"recipe", "edit", "Leek soup", "--name", "  Leek and potato soup ",
                       "--difficulty", "Hard", "--rating", "3", "--categories", "Quick"});
    ASSERT_EQ(edited.exitCode, 0) << edited.err;
    auto dictionary = shown(uid);
    EXPECT_EQ(text(dictionary, "name"), "Leek and potato soup");
    EXPECT_EQ(text(dictionary, "servings"), "4");
    EXPECT_EQ(text(dictionary, "difficulty"), "Hard");
    EXPECT_EQ(dictionary.find("rating")->asInteger(), 3);
    EXPECT_NE(text(dictionary, "hash"), hashBefore);
    auto listed = run({"recipe", "show", uid});
    EXPECT_NE(listed.out.find("Categories: Quick\n"), std::string::npos) << listed.out;
}

TEST_F(RecipeEditCommandsTest, photoIsAddedReplacedAndRemoved) {
    auto added = run(
        {"recipe", "add", "--name", "Tart", "--photo", picture("tart.jpg", 1000, 500).string()});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    auto files = photoFiles();
    ASSERT_EQ(files.size(), 1u);
    auto decoded = decodeImage(*readFile(files[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 280);
    EXPECT_EQ(decoded->height, 280);
    EXPECT_NE(text(shown("Tart"), "photo_hash"), "<none>");

    ASSERT_EQ(
        run({"recipe", "edit", "Tart", "--photo", picture("new.png", 200, 100).string()}).exitCode,
        0);
    auto replaced = photoFiles();
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_NE(replaced[0], files[0]);

    ASSERT_EQ(run({"recipe", "edit", "Tart", "--no-photo"}).exitCode, 0);
    EXPECT_TRUE(photoFiles().empty());
    auto dictionary = shown("Tart");
    EXPECT_EQ(text(dictionary, "photo"), "<none>");
    EXPECT_EQ(text(dictionary, "photo_hash"), "<none>");
}

TEST_F(RecipeEditCommandsTest, aPhotoIsJudgedByItsBytesAndAPipeIsRefused) {
    const auto unnamed = picture("IMG_0042", 120, 60);
    auto added = run({"recipe", "add", "--name", "Tart", "--photo", unnamed.string()});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(photoFiles().size(), 1u);

    const auto fifo = m_home / "camera.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto piped = run({"recipe", "edit", "Tart", "--photo", fifo.string()});
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_NE(piped.err.find("camera.jpg\": not a regular file"), std::string::npos) << piped.err;
    auto folder = run({"recipe", "edit", "Tart", "--photo", m_home.path().string()});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;
}

// The attachment goes to a fresh folder of this user's own: a folder or link planted under
// the old, predictable name must not receive it.
TEST_F(RecipeEditCommandsTest, mailWritesTheAttachmentIntoAPrivateFolderOfItsOwn) {
    const auto temporary = m_home / "tmp";
    const auto planted = m_home / "others";
    std::filesystem::create_directories(temporary);
    std::filesystem::create_directories(planted);
    std::filesystem::create_directory_symlink(
        planted, temporary / ("miravel-mail-" + std::to_string(::getuid())));
    ASSERT_EQ(
        run({"recipe", "add", "--name", "Tart", "--photo", picture("tart.jpg", 300, 300).string()})
            .exitCode,
        0);
    const std::vector<std::string> environment = {"TMPDIR=" + temporary.string()};
    std::vector<std::string> arguments = {"--library", m_library.string(), "recipe", "mail",
                                          "Tart"};
    auto first = runMiravel(m_home.path(), arguments, std::nullopt, environment);
    auto second = runMiravel(m_home.path(), arguments, std::nullopt, environment);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(std::filesystem::is_empty(planted));

    // The attachment lines: the recipe file the receiver can import, then the photo.
    auto attachment = [](const std::string& out, std::size_t index) {
        std::size_t at = 0;
        for (std::size_t seen = 0; seen <= index; ++seen) {
            at = out.find("Attachment: ", seen == 0 ? 0 : at + 1);
            if (at == std::string::npos) {
                return std::filesystem::path();
            }
        }
        return std::filesystem::path(out.substr(at + 12, out.find('\n', at) - at - 12));
    };
    const auto recipeFile = attachment(first.out, 0);
    ASSERT_EQ(recipeFile.filename(), "Tart.miravelrecipe") << first.out;
    auto carried = readRecipeFile(readFile(recipeFile).value());
    ASSERT_TRUE(carried);
    EXPECT_EQ(carried->find("name")->asString(), "Tart");
    EXPECT_TRUE(carried->find("photo_data")->isString());
    const auto file = attachment(first.out, 1);
    ASSERT_EQ(file.filename(), "photo.jpg") << first.out;
    EXPECT_EQ(file.parent_path().parent_path(), temporary);
    EXPECT_NE(file.parent_path(), attachment(second.out, 1).parent_path());
    EXPECT_FALSE(std::filesystem::is_symlink(file.parent_path()));
    struct stat info {};
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(decodeImage(*readFile(file)));
}

TEST_F(RecipeEditCommandsTest, addFromJsonTakesTheDictionaryAndOptionsWin) {
    auto file = m_home / "captured.json";
    ASSERT_TRUE(writeFileAtomically(
        file, R"({"name": "Pancakes", "servings": "4", "cook_time": null, "difficulty": "Medium",
                  "ingredients": "1 egg\n1 cup flour", "rating": 5,
                  "image_url": "https://example.com/p.jpg"})"));
    auto added = run({"recipe", "add", "--from-json", file.string(), "--servings", "8"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    auto dictionary = shown("Pancakes");
    EXPECT_EQ(text(dictionary, "servings"), "8");
    EXPECT_EQ(text(dictionary, "ingredients"), "1 egg\n1 cup flour");
    EXPECT_EQ(text(dictionary, "difficulty"), "Medium");
    EXPECT_EQ(text(dictionary, "image_url"), "https://example.com/p.jpg");
    EXPECT_EQ(dictionary.find("rating")->asInteger(), 5);

    auto untitled = m_home / "untitled.json";
    ASSERT_TRUE(writeFileAtomically(untitled, R"({"notes": "no title on the page"})"));
    ASSERT_EQ(run({"recipe", "add", "--from-json", untitled.string()}).exitCode, 0);
    EXPECT_EQ(text(shown("My Awesome Recipe"), "notes"), "no title on the page");
}

TEST_F(RecipeEditCommandsTest, refusesBadInputWithoutSaving) {
    ASSERT_EQ(run({"recipe", "add", "--name", "Stew"}).exitCode, 0);
    auto notJson = m_home / "list.json";
    ASSERT_TRUE(writeFileAtomically(notJson, "[1, 2]"));
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"recipe", "edit", "Stew", "--photo", "x.jpg", "--no-photo"}, 2, "--no-photo"},
        {{"recipe", "edit", "Stew", "--rating", "9", "--name", "Other"}, 2, "0 to 5"},
        {{"recipe", "edit", "Stew", "--categories", "Nope", "--photo", notJson.string()},
         1,
         "list.json"},
        {{"recipe", "edit", "Stew", "--photo", notJson.string(), "--name", "Other"},
         1,
         "list.json"},
        {{"recipe", "edit", "Nothing"}, 1, "no recipe named"},
        {{"recipe", "add", "--from-json", notJson.string()}, 1, "no recipe dictionary"},
    };
    for (const auto& c : cases) {
        auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back() << "\n" << result.err;
        EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
    }
    EXPECT_EQ(text(shown("Stew"), "name"), "Stew");
    EXPECT_EQ(run({"recipe", "list"}).out.find("Other"), std::string::npos);
    EXPECT_EQ(run({"category", "list"}).out, "");  // nothing made for an edit that failed
}

}  // namespace
}  // namespace miravel
