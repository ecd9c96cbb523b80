#include "lib/LocalizedSettingsManager.h"

#include <gtest/gtest.h>

#include <thread>

namespace miravel {
namespace {

TEST(LocalizedSettingsManager, tablesHoldTheirEntriesInOrder) {
    const auto& manager = LocalizedSettingsManager::sharedManager();
    auto aisles = manager.aisleNames().keys();
    ASSERT_EQ(aisles.size(), 24u);
    EXPECT_EQ(aisles.front(), "Baby Products");
    EXPECT_EQ(aisles[3], "Breads and Cereals");  // not alphabetical: the order is the table's
    EXPECT_EQ(aisles[15], "Miscellaneous");
    EXPECT_EQ(aisles.back(), "Snacks");
    EXPECT_EQ(manager.difficultyNames().keys(),
              (std::vector<std::string>{"Easy", "Medium", "Hard"}));
    EXPECT_EQ(manager.wifiSettingNames().keys(),
              (std::vector<std::string>{"Manually", "Automatically", "WiFi Only"}));
    EXPECT_EQ(&manager, &LocalizedSettingsManager::sharedManager());
}

TEST(LocalizedSettingsManager, lookupsFallBackAsTheScreensExpect) {
    const auto& manager = LocalizedSettingsManager::sharedManager();
    EXPECT_EQ(manager.localizedAisleForAisle("Produce"), "Produce");
    EXPECT_EQ(manager.localizedAisleForAisle("Hardware store"), "Hardware store");
    EXPECT_EQ(manager.localizedDifficultyForDifficulty(std::nullopt), "---");
    EXPECT_EQ(manager.localizedDifficultyForDifficulty("Medium"), "Medium");
    EXPECT_EQ(manager.localizedDifficultyForDifficulty("Fiendish"), "Fiendish");
    EXPECT_EQ(manager.localizedWifiSettingForSetting("WiFi Only"), "WiFi Only");
    EXPECT_EQ(manager.localizedWifiSettingForSetting("Hourly"), "Hourly");
    EXPECT_EQ(manager.localizedFontSizeForSizeName("Large"), "Large");
    EXPECT_EQ(manager.localizedFontSizeForSizeName("Huge"), "Small");
    const std::pair<const char*, int> sizes[] = {{"Tiny", 13},  {"Small", 15},       {"Medium", 17},
                                                 {"Large", 19}, {"Extra Large", 21}, {"Huge", 15},
                                                 {"", 15}};
    for (const auto& [name, points] : sizes) {
        EXPECT_EQ(manager.fontSizeForSetting(name), points) << name;
    }
}

TEST(LocalizedSettingsManager, isCreatedOnceEvenWhenFirstAskedFromSeveralThreads) {
    const LocalizedSettingsManager* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) {
        threads.emplace_back([&slot] { slot = &LocalizedSettingsManager::sharedManager(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto* manager : seen) {
        EXPECT_EQ(manager, seen[0]);
    }
}

}  // namespace
}  // namespace miravel
