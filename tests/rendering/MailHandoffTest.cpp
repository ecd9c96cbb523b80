#include "rendering/MailHandoff.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lib/Log.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "rendering/RecipeMail.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;
using testing::TemporaryFolder;

// Records instead of starting xdg-open.
class FakeOpener : public UrlOpener {
public:
    bool openUrl(const std::string& url) override {
        urls.push_back(url);
        return succeeds;
    }
    std::vector<std::string> urls;
    bool succeeds = true;
};

class RecordingMailHandoff : public MailHandoff {
public:
    using MailHandoff::MailHandoff;
    std::vector<std::filesystem::path> shown;

protected:
    void showAttachment(const std::filesystem::path& file) override { shown.push_back(file); }
};

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MailHandoffEscaping, keepsOnlyTheQueryCharactersAsTheyAre) {
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"!$'()*+,;=:@/?", "!$'()*+,;=:@/?"},
        {"Salt & vinegar", "Salt%20%26%20vinegar"},
        {"#%[]{}<>\"\\^`|", "%23%25%5B%5D%7B%7D%3C%3E%22%5C%5E%60%7C"},
        {"a\r\nb\tc", "a%0D%0Ab%09c"},
        {"cr\xC3\xA8me \xE2\x98\x85", "cr%C3%A8me%20%E2%98%85"},
        {"", ""},
    };
    for (const auto& [text, escaped] : cases) {
        EXPECT_EQ(MailHandoff::percentEscapeForQuery(text), escaped) << text;
    }
}

TEST(MailHandoffUrl, anAmpersandReachesTheMailProgramIntact) {
    EXPECT_EQ(MailHandoff::mailtoUrl("Fish & chips\nfor 2", "Recipe: Salt & vinegar",
                                     std::vector<std::string>{"a@b.c", "d@e.f"}, "x@y.z"),
              "mailto:a@b.c,d@e.f?subject=Recipe:%20Salt%20%26%20vinegar"
              "&body=Fish%20%26%20chips%0Afor%202");
}

TEST(MailHandoffUrl, recipientsDefaultToTheSetting) {
    struct Case {
        std::optional<std::vector<std::string>> recipients;
        std::string defaultEmail;
        std::string start;
    };
    const Case cases[] = {
        {std::nullopt, "cook@example.org", "mailto:cook@example.org?"},
        {std::nullopt, " a@b.c , ,d@e.f,", "mailto:a@b.c,d@e.f?"},
        {std::nullopt, "", "mailto:?"},
        {std::nullopt, " , ", "mailto:?"},
        // A list given, even an empty one, is used as it is.
        {std::vector<std::string>{}, "cook@example.org", "mailto:?"},
        {std::vector<std::string>{"me@x.org"}, "cook@example.org", "mailto:me@x.org?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MailHandoff::mailtoUrl("b", "s", c.recipients, c.defaultEmail),
                  c.start + "subject=s&body=b")
            << c.defaultEmail;
    }
}

TEST(MailHandoffOpening, opensTheAddressAndShowsTheFirstAttachment) {
    TemporaryFolder folder;
    UserSettings settings(folder / "settings.json");
    settings.setString(kDefaultEmailKey, "cook@example.org,chef@example.org");
    auto opener = std::make_shared<FakeOpener>();
    RecordingMailHandoff mail(opener, settings);

    EXPECT_TRUE(mail.emailWithContent("Body & soul", "Hi", {"/tmp/a.miravelrecipe", "/tmp/b.jpg"},
                                      std::nullopt));
    EXPECT_EQ(opener->urls, std::vector<std::string>{"mailto:cook@example.org,chef@example.org"
                                                     "?subject=Hi&body=Body%20%26%20soul"});
    EXPECT_EQ(mail.shown, std::vector<std::filesystem::path>{"/tmp/a.miravelrecipe"});

    opener->succeeds = false;
    EXPECT_FALSE(mail.emailWithContent("b", "s", {}, std::vector<std::string>{"x@y.z"}));
    EXPECT_EQ(opener->urls.back(), "mailto:x@y.z?subject=s&body=b");
    EXPECT_EQ(mail.shown.size(), 1u);
}

class MailRecipe : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        m_settings.setString(kDefaultEmailKey, "cook@example.org");
        m_previousSink = setLogSink([this](std::string_view line) { m_log.emplace_back(line); });
        m_recipe = m_main->insert<Recipe>();
        m_recipe->setName("A/B: C?");
        std::ofstream(m_folder / "photo-1.jpg", std::ios::binary) << "jpeg bytes";
        m_recipe->setPhoto("photo-1.jpg");
    }
    void TearDown() override {
        setLogSink(m_previousSink);
        StoreTest::TearDown();
    }

    TemporaryFolder m_temporary;
    UserSettings m_settings{m_temporary / "settings.json"};
    std::shared_ptr<FakeOpener> m_opener = std::make_shared<FakeOpener>();
    std::vector<std::string> m_log;
    LogSink m_previousSink;
    std::shared_ptr<Recipe> m_recipe;
};

TEST_F(MailRecipe, attachesTheRecipeFileAndACopyOfThePhoto) {
    std::ofstream(m_temporary / "photo.jpg") << "an older e-mail's photo";
    RecordingMailHandoff mail(m_opener, m_settings);
    auto file = [](const Recipe&) { return std::optional<std::string>("recipe bytes"); };

    EXPECT_TRUE(emailRecipe(*m_recipe, mail, m_temporary.path(), file));
    ASSERT_EQ(m_opener->urls.size(), 1u);
    EXPECT_TRUE(m_opener->urls[0].starts_with(
        "mailto:cook@example.org?subject=Recipe:%20A/B:%20C?&body=A/B:%20C?%0A%0A"))
        << m_opener->urls[0];
    EXPECT_EQ(mail.shown, std::vector<std::filesystem::path>{m_temporary / "AB: C.miravelrecipe"});
    EXPECT_EQ(readAll(m_temporary / "AB: C.miravelrecipe"), "recipe bytes");
    EXPECT_EQ(readAll(m_temporary / "photo.jpg"), "jpeg bytes");
    EXPECT_TRUE(m_log.empty());
}

TEST_F(MailRecipe, withoutARecipeFileThePhotoAloneIsAttached) {
    auto files = writeRecipeMailAttachments(*m_recipe, m_temporary.path(), {});
    EXPECT_EQ(files, std::vector<std::filesystem::path>{m_temporary / "photo.jpg"});
    auto none = [](const Recipe&) { return std::optional<std::string>(); };
    m_recipe->setPhoto(std::nullopt);
    EXPECT_TRUE(writeRecipeMailAttachments(*m_recipe, m_temporary.path(), none).empty());
}

TEST_F(MailRecipe, writeFailuresAreLoggedAndTheMessageStillGoes) {
    RecordingMailHandoff mail(m_opener, m_settings);
    auto file = [](const Recipe&) { return std::optional<std::string>("recipe bytes"); };

    EXPECT_TRUE(emailRecipe(*m_recipe, mail, m_temporary / "missing", file));
    EXPECT_EQ(m_opener->urls.size(), 1u);
    EXPECT_TRUE(mail.shown.empty());
    ASSERT_EQ(m_log.size(), 2u);
    EXPECT_TRUE(m_log[0].starts_with("Error writing email file: ")) << m_log[0];
    EXPECT_TRUE(m_log[1].starts_with("Error copying photo: ")) << m_log[1];
}

}  // namespace
}  // namespace miravel
