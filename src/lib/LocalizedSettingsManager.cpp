#include "lib/LocalizedSettingsManager.h"

#include "lib/StringTable.h"

namespace miravel {

namespace {

OrderedTable<std::string> translated(std::initializer_list<const char*> keys) {
    std::vector<OrderedTable<std::string>::Entry> entries;
    for (const char* key : keys) {
        entries.emplace_back(key, tr(key));
    }
    return OrderedTable<std::string>(std::move(entries));
}

std::string translationOr(const OrderedTable<std::string>& table, std::string_view key,
                          std::string_view fallback) {
    const std::string* found = table.find(key);
    return found != nullptr ? *found : std::string(fallback);
}

}  // namespace

const LocalizedSettingsManager& LocalizedSettingsManager::sharedManager() {
    static const LocalizedSettingsManager* manager = new LocalizedSettingsManager;
    return *manager;
}

LocalizedSettingsManager::LocalizedSettingsManager()
    : m_aisleNames(translated({"Baby Products",
                               "Bakery",
                               "Baking Goods",
                               "Breads and Cereals",
                               "Beverages",
                               "Beer, Wine and Spirits",
                               "Canned and Jar Goods",
                               "Cleaning Supplies",
                               "Dairy",
                               "Deli",
                               "Frozen Foods",
                               "Health and Beauty",
                               "Home and Garden",
                               "International Cuisine",
                               "Meat",
                               "Miscellaneous",
                               "Oils and Dressings",
                               "Pasta, Rice and Beans",
                               "Pet Products",
                               "Produce",
                               "Sauces and Condiments",
                               "Spices and Seasonings",
                               "Seafood",
                               "Snacks"})),
      m_difficultyNames(translated({"Easy", "Medium", "Hard"})),
      m_fontSizeNames(translated({"Tiny", "Small", "Medium", "Large", "Extra Large"})),
      m_fontSizes(
          {{"Tiny", 13}, {"Small", 15}, {"Medium", 17}, {"Large", 19}, {"Extra Large", 21}}),
      m_wifiSettingNames(translated({"Manually", "Automatically", "WiFi Only"})) {}

std::string LocalizedSettingsManager::localizedAisleForAisle(std::string_view aisle) const {
    return translationOr(m_aisleNames, aisle, aisle);
}

std::string LocalizedSettingsManager::localizedDifficultyForDifficulty(
    const std::optional<std::string>& difficulty) const {
    if (!difficulty) {
        return "---";
    }
    return translationOr(m_difficultyNames, *difficulty, *difficulty);
}

std::string LocalizedSettingsManager::localizedWifiSettingForSetting(
    std::string_view setting) const {
    return translationOr(m_wifiSettingNames, setting, setting);
}

std::string LocalizedSettingsManager::localizedFontSizeForSizeName(std::string_view name) const {
    const std::string* found = m_fontSizeNames.find(name);
    return found != nullptr ? *found : *m_fontSizeNames.find("Small");
}

int LocalizedSettingsManager::fontSizeForSetting(std::string_view name) const {
    const int* size = m_fontSizes.find(name);
    return size != nullptr ? *size : 15;
}

}  // namespace miravel
