#include "model/UserSettings.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <fstream>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "lib/Log.h"
#include "lib/NotificationCenter.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

TEST(UserSettings, firstStartWritesEveryDefault) {
    TemporaryFolder folder;
    auto file = folder / "Miravel" / "Settings.json";  // the folder does not exist yet
    UserSettings settings(file);
    settings.configureDefaults();

    EXPECT_EQ(settings.text(kDefaultUrlKey), kDefaultRecipeSitesUrl);
    EXPECT_EQ(settings.string(kDefaultEmailKey), "");
    EXPECT_EQ(settings.text(kFontSizeKey), "Small");
    EXPECT_TRUE(settings.hasValue(kKeyboardMetricKey));
    EXPECT_FALSE(settings.boolean(kKeyboardMetricKey));
    EXPECT_FALSE(settings.boolean(kKeyboardPluralKey));
    EXPECT_EQ(settings.text(kSyncUpdateKey), "Automatically");
    EXPECT_TRUE(settings.boolean(kAlphabetizeCategoriesKey));
    EXPECT_EQ(settings.integer(kSelectedMealTypeKey), 2);
    EXPECT_TRUE(settings.boolean(kGroceryListAislesKey));
    EXPECT_TRUE(settings.boolean(kGroceryListConsolidationKey));
    EXPECT_GE(settings.integer(kWeekStartDayKey), 1);
    EXPECT_LE(settings.integer(kWeekStartDayKey), 7);
    for (auto key : {kWelcomeDisplayedKey, kBookmarksInsertedKey, kAccountEmailKey, kSyncErrorKey,
                     kLastSyncAttemptKey, kLastSyncedDateKey}) {
        EXPECT_FALSE(settings.hasValue(key)) << key;
    }

    UserSettings reread(file);
    EXPECT_EQ(reread.values(), settings.values());
}

TEST(UserSettings, defaultsNeverOverwriteAValueEvenFalseOrEmpty) {
    TemporaryFolder folder;
    auto file = folder / "Settings.json";
    {
        UserSettings settings(file);
        settings.setBoolean(kAlphabetizeCategoriesKey, false);
        settings.setString(kDefaultUrlKey, "");
        settings.setInteger(kSelectedMealTypeKey, 0);
        settings.setString(kFontSizeKey, "Huge");  // unknown names are kept as they are
    }
    UserSettings settings(file);
    settings.configureDefaults();
    EXPECT_FALSE(settings.boolean(kAlphabetizeCategoriesKey));
    EXPECT_EQ(settings.string(kDefaultUrlKey), "");
    EXPECT_EQ(settings.integer(kSelectedMealTypeKey), 0);
    EXPECT_EQ(settings.text(kFontSizeKey), "Huge");
}

TEST(UserSettings, damagedFileIsKeptAsideLoggedAndDefaultsUsed) {
    const std::vector<std::string> damaged = {"{\"FontSize\": \"Large\"", "[1, 2]", "",
                                              std::string("\xff\xfe garbage", 10), "null"};
    for (const auto& bytes : damaged) {
        TemporaryFolder folder;
        auto file = folder / "Settings.json";
        std::ofstream(file, std::ios::binary) << bytes;
        std::vector<std::string> lines;
        auto previous = setLogSink([&](std::string_view line) { lines.emplace_back(line); });
        UserSettings settings(file);
        setLogSink(previous);

        settings.configureDefaults();
        EXPECT_EQ(settings.text(kFontSizeKey), "Small");
        ASSERT_EQ(lines.size(), 1u) << bytes;
        EXPECT_NE(lines[0].find("damaged"), std::string::npos);
        std::size_t kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            if (entry.path().filename().string().starts_with("Settings.json.damaged-")) {
                EXPECT_EQ(readFile(entry.path()), bytes);
                ++kept;
            }
        }
        EXPECT_EQ(kept, 1u);
        EXPECT_TRUE(JsonParser::parse(readFile(file).value()).has_value());
    }
}

TEST(UserSettings, valuesSurviveARestartWithTheirTypes) {
    TemporaryFolder folder;
    auto file = folder / "Settings.json";
    {
        UserSettings settings(file);
        settings.setString(kAccountEmailKey, "cook@example.com");
        settings.setString(kSyncErrorKey, "Line one\n\"quoted\" / slashed \xc3\xa9 \x01\x1f");
        settings.setBoolean(kWelcomeDisplayedKey, true);
        settings.setInteger(kWeekStartDayKey, 2);
        settings.setString(kLastSyncedDateKey, "2026-12-08 14:16:17");
        settings.remove(kLastSyncedDateKey);
    }
    UserSettings settings(file);
    EXPECT_EQ(settings.string(kAccountEmailKey), "cook@example.com");
    // Control characters are written raw and must not make the file read as damaged.
    EXPECT_EQ(settings.string(kSyncErrorKey), "Line one\n\"quoted\" / slashed \xc3\xa9 \x01\x1f");
    EXPECT_TRUE(settings.boolean(kWelcomeDisplayedKey));
    EXPECT_EQ(settings.integer(kWeekStartDayKey), 2);
    EXPECT_FALSE(settings.hasValue(kLastSyncedDateKey));
    // Reading a value as another type gives the neutral answer, not a crash.
    EXPECT_EQ(settings.integer(kAccountEmailKey), 0);
    EXPECT_EQ(settings.string(kWelcomeDisplayedKey), std::nullopt);
}

TEST(UserSettings, changeNotificationsFollowRealChangesOnly) {
    TemporaryFolder folder;
    NotificationCenter center;
    std::vector<std::string> posted;
    auto font = center.addObserver(kSettingsFontSizeChangedNotification, nullptr,
                                   [&](const Notification& n) { posted.push_back(n.name); });
    auto week = center.addObserver(kWeekStartDayChangedNotification, nullptr,
                                   [&](const Notification& n) { posted.push_back(n.name); });
    UserSettings settings(folder / "Settings.json", &center);
    settings.configureDefaults();
    posted.clear();

    settings.setString(kFontSizeKey, "Large");
    settings.setString(kFontSizeKey, "Large");  // same value: nothing to tell
    settings.setInteger(kWeekStartDayKey, settings.integer(kWeekStartDayKey) % 7 + 1);
    settings.setBoolean(kGroceryListAislesKey, false);
    EXPECT_EQ(posted, (std::vector<std::string>{std::string(kSettingsFontSizeChangedNotification),
                                                std::string(kWeekStartDayChangedNotification)}));
}

TEST(UserSettings, weekStartFollowsTheLocale) {
    icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    EXPECT_EQ(localeFirstWeekday(), 2);  // Monday
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    EXPECT_EQ(localeFirstWeekday(), 1);  // Sunday
    icu::Locale::setDefault(previous, status);
}

}  // namespace
}  // namespace miravel
