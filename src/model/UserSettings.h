#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

class NotificationCenter;

// Settings keys.
inline constexpr std::string_view kDefaultUrlKey = "DefaultUrl";
inline constexpr std::string_view kDefaultEmailKey = "DefaultEmail";
inline constexpr std::string_view kFontSizeKey = "FontSize";
inline constexpr std::string_view kKeyboardMetricKey = "KeyboardMetric";
inline constexpr std::string_view kKeyboardPluralKey = "KeyboardPlural";
inline constexpr std::string_view kSyncUpdateKey = "SyncUpdate";
inline constexpr std::string_view kAlphabetizeCategoriesKey = "AlphabetizeCategories";
inline constexpr std::string_view kSelectedMealTypeKey = "SelectedMealType";
inline constexpr std::string_view kGroceryListAislesKey = "GroceryListAisles";
inline constexpr std::string_view kGroceryListConsolidationKey = "GroceryListConsolidation";
inline constexpr std::string_view kWeekStartDayKey = "WeekStartDay";
inline constexpr std::string_view kWelcomeDisplayedKey = "WelcomeDisplayed";
inline constexpr std::string_view kBookmarksInsertedKey = "BookmarksInserted";
inline constexpr std::string_view kAccountEmailKey = "AccountEmail";
inline constexpr std::string_view kSyncErrorKey = "SyncError";
inline constexpr std::string_view kLastSyncAttemptKey = "LastSyncAttempt";
inline constexpr std::string_view kLastSyncedDateKey = "LastSyncedDate";
inline constexpr std::string_view kAutomaticBackupsKey = "AutomaticBackups";
inline constexpr std::string_view kBackupsFolderKey = "BackupsFolder";
// The address of the user's own sync server.
inline constexpr std::string_view kServiceBaseUrlKey = "ServiceBaseURL";
// The account and server the sync statuses of the library refer to ("email server").
inline constexpr std::string_view kSyncedAccountKey = "SyncedAccount";

// The browser's home page until the user picks another.
inline constexpr std::string_view kDefaultRecipeSitesUrl = "https://www.miravel.app/recipe-sites";

enum class SettingType { Text, Boolean, Integer };

struct SettingDefinition {
    std::string_view key;
    SettingType type;
    // Whether configureDefaults writes a value for it (the others are set by operations).
    bool hasDefault;
};

// Every key the system reads or writes, with its type.
const std::vector<SettingDefinition>& knownSettings();
const SettingDefinition* findSetting(std::string_view key);

// The first day of the week in the user's locale: 1 = Sunday ... 7 = Saturday.
int localeFirstWeekday();

// The user's persistent settings: texts, booleans and integers by key, kept as a JSON object
// in one file that every change rewrites at once (atomically). Safe to use from several
// threads. Changing "FontSize" or "WeekStartDay" posts its change notification.
class UserSettings {
public:
    // Reads the file if there is one. A damaged file is moved aside and logged, and the
    // settings start empty: the program still starts.
    explicit UserSettings(std::filesystem::path file, NotificationCenter* center = nullptr);

    const std::filesystem::path& file() const { return m_file; }

    bool hasValue(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const;
    // A missing value, or one of another type, reads as false / 0 / "".
    bool boolean(std::string_view key) const;
    std::int64_t integer(std::string_view key) const;
    std::string text(std::string_view key) const { return string(key).value_or(""); }
    JsonObject values() const;

    // Each change is written through at once; a failure to write is logged, and synchronize()
    // reports it to callers who must know.
    void setString(std::string_view key, std::string value);
    void setBoolean(std::string_view key, bool value);
    void setInteger(std::string_view key, std::int64_t value);
    void remove(std::string_view key);

    // Writes the current values to the file.
    [[nodiscard]] Result<void> synchronize();
    // Forgets the values in memory and reads the file again.
    void reload();

    // Writes the default of every key that has no value yet; a value already there (even
    // false or "") is kept.
    void configureDefaults();

private:
    void load();
    void change(std::string_view key, std::optional<JsonValue> value);
    // Returns whether the stored value changed.
    bool applyLocked(std::string_view key, std::optional<JsonValue> value);
    void persistLocked();
    void notifyChanged(std::string_view key);
    [[nodiscard]] Result<void> writeLocked();

    std::filesystem::path m_file;
    NotificationCenter* m_center;
    mutable std::mutex m_mutex;
    JsonObject m_values;
};

}  // namespace miravel
