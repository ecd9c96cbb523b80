#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace miravel {

// An insertion-ordered table from fixed English keys to values.
template <typename T>
class OrderedTable {
public:
    using Entry = std::pair<std::string, T>;

    OrderedTable() = default;
    explicit OrderedTable(std::vector<Entry> entries) : m_entries(std::move(entries)) {}

    const T* find(std::string_view key) const {
        for (const auto& entry : m_entries) {
            if (entry.first == key) {
                return &entry.second;
            }
        }
        return nullptr;
    }
    std::vector<std::string> keys() const {
        std::vector<std::string> keys;
        keys.reserve(m_entries.size());
        for (const auto& entry : m_entries) {
            keys.push_back(entry.first);
        }
        return keys;
    }
    std::size_t size() const { return m_entries.size(); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

private:
    std::vector<Entry> m_entries;
};

// The fixed, translatable vocabularies of the system: store aisles, recipe difficulties,
// font sizes (with their point sizes) and sync-update modes. Values are stored under their
// English names and shown through the string table. Built once; read-only afterwards, so any
// thread may read it.
class LocalizedSettingsManager {
public:
    static const LocalizedSettingsManager& sharedManager();

    const OrderedTable<std::string>& aisleNames() const { return m_aisleNames; }
    const OrderedTable<std::string>& difficultyNames() const { return m_difficultyNames; }
    const OrderedTable<std::string>& fontSizeNames() const { return m_fontSizeNames; }
    const OrderedTable<int>& fontSizes() const { return m_fontSizes; }
    const OrderedTable<std::string>& wifiSettingNames() const { return m_wifiSettingNames; }

    // The translation of a known aisle; any other text unchanged.
    std::string localizedAisleForAisle(std::string_view aisle) const;
    // "---" for no difficulty; the translation of a known one; any other text unchanged.
    std::string localizedDifficultyForDifficulty(
        const std::optional<std::string>& difficulty) const;
    // The translation of a known sync-update mode; any other text unchanged.
    std::string localizedWifiSettingForSetting(std::string_view setting) const;
    // The translation of a known font size name; otherwise that of "Small".
    std::string localizedFontSizeForSizeName(std::string_view name) const;
    // The point size of a font size name; 15 for any other name.
    int fontSizeForSetting(std::string_view name) const;

    LocalizedSettingsManager();

private:
    OrderedTable<std::string> m_aisleNames;
    OrderedTable<std::string> m_difficultyNames;
    OrderedTable<std::string> m_fontSizeNames;
    OrderedTable<int> m_fontSizes;
    OrderedTable<std::string> m_wifiSettingNames;
};

// The aisle for lines nothing was recognized in.
inline constexpr const char* kMiscellaneousAisle = "Miscellaneous";

}  // namespace miravel
