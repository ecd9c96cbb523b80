#include "model/UserSettings.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>

#include <memory>
#include <utility>

#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/NotificationCenter.h"
#include "model/UserFolders.h"

namespace miravel {

const std::vector<SettingDefinition>& knownSettings() {
    static const std::vector<SettingDefinition> kSettings{
        {kDefaultUrlKey, SettingType::Text, true},
        {kDefaultEmailKey, SettingType::Text, true},
        {kFontSizeKey, SettingType::Text, true},
        {kKeyboardMetricKey, SettingType::Boolean, true},
        {kKeyboardPluralKey, SettingType::Boolean, true},
        {kSyncUpdateKey, SettingType::Text, true},
        {kAlphabetizeCategoriesKey, SettingType::Boolean, true},
        {kSelectedMealTypeKey, SettingType::Integer, true},
        {kGroceryListAislesKey, SettingType::Boolean, true},
        {kGroceryListConsolidationKey, SettingType::Boolean, true},
        {kWeekStartDayKey, SettingType::Integer, true},
        {kWelcomeDisplayedKey, SettingType::Boolean, false},
        {kBookmarksInsertedKey, SettingType::Boolean, false},
        {kAccountEmailKey, SettingType::Text, false},
        {kSyncErrorKey, SettingType::Text, false},
        {kLastSyncAttemptKey, SettingType::Text, false},
        {kLastSyncedDateKey, SettingType::Text, false},
        {kAutomaticBackupsKey, SettingType::Boolean, true},
        {kBackupsFolderKey, SettingType::Text, false},
        {kServiceBaseUrlKey, SettingType::Text, false},
        {kSyncedAccountKey, SettingType::Text, false},
    };
    return kSettings;
}

const SettingDefinition* findSetting(std::string_view key) {
    for (const auto& definition : knownSettings()) {
        if (definition.key == key) {
            return &definition;
        }
    }
    return nullptr;
}

int localeFirstWeekday() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(
        icu::Calendar::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status) || !calendar) {
        return 1;
    }
    int day = calendar->getFirstDayOfWeek(status);
    return U_FAILURE(status) || day < 1 || day > 7 ? 1 : day;
}

UserSettings::UserSettings(std::filesystem::path file, NotificationCenter* center)
    : m_file(std::move(file)), m_center(center) {
    load();
}

void UserSettings::load() {
    std::error_code error;
    if (!std::filesystem::exists(m_file, error)) {
        return;
    }
    auto bytes = readFile(m_file);
    if (!bytes) {
        logLine("Could not read the settings: {}", bytes.error().description);
        return;
    }
    // The writer keeps control characters raw (hashes depend on that), so its own files
    // must be read back with them allowed.
    auto parsed = JsonParser::parse(
        *bytes, JsonParser::Options{.maxDepth = 64, .allowRawControlCharacters = true});
    if (parsed && parsed->isObject()) {
        m_values = parsed->asObject();
        return;
    }
    std::string reason = parsed ? "not a JSON object" : parsed.error().description;
    auto aside = keepDamagedFileAside(m_file);
    if (aside) {
        logLine("The settings file {} was damaged ({}); kept it as {} and started from defaults",
                m_file.string(), reason, aside->string());
    } else {
        logLine("The settings file {} was damaged ({}) and could not be moved aside: {}",
                m_file.string(), reason, aside.error().description);
    }
}

void UserSettings::reload() {
    std::lock_guard lock(m_mutex);
    m_values = JsonObject();
    load();
}

bool UserSettings::hasValue(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    return m_values.contains(key);
}

std::optional<std::string> UserSettings::string(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const JsonValue* value = m_values.find(key);
    if (value == nullptr || !value->isString()) {
        return std::nullopt;
    }
    return value->asString();
}

bool UserSettings::boolean(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const JsonValue* value = m_values.find(key);
    if (value == nullptr) {
        return false;
    }
    if (value->isBoolean()) {
        return value->asBoolean();
    }
    return value->isInteger() && value->asInteger() != 0;
}

std::int64_t UserSettings::integer(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const JsonValue* value = m_values.find(key);
    if (value == nullptr) {
        return 0;
    }
    if (value->isInteger()) {
        return value->asInteger();
    }
    return value->isBoolean() && value->asBoolean() ? 1 : 0;
}

JsonObject UserSettings::values() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

void UserSettings::setString(std::string_view key, std::string value) {
    change(key, JsonValue(std::move(value)));
}

void UserSettings::setBoolean(std::string_view key, bool value) {
    change(key, JsonValue(value));
}

void UserSettings::setInteger(std::string_view key, std::int64_t value) {
    change(key, JsonValue(value));
}

void UserSettings::remove(std::string_view key) {
    change(key, std::nullopt);
}

bool UserSettings::applyLocked(std::string_view key, std::optional<JsonValue> value) {
    const JsonValue* current = m_values.find(key);
    if (value ? (current != nullptr && *current == *value) : current == nullptr) {
        return false;
    }
    if (value) {
        m_values.set(std::string(key), std::move(*value));
    } else {
        m_values.remove(key);
    }
    return true;
}

void UserSettings::persistLocked() {
    if (auto written = writeLocked(); !written) {
        logLine("Could not save the settings: {}", written.error().description);
    }
}

void UserSettings::notifyChanged(std::string_view key) {
    if (m_center == nullptr) {
        return;
    }
    if (key == kFontSizeKey) {
        m_center->post(kSettingsFontSizeChangedNotification);
    } else if (key == kWeekStartDayKey) {
        m_center->post(kWeekStartDayChangedNotification);
    }
}

void UserSettings::change(std::string_view key, std::optional<JsonValue> value) {
    {
        std::lock_guard lock(m_mutex);
        if (!applyLocked(key, std::move(value))) {
            return;
        }
        persistLocked();
    }
    notifyChanged(key);
}

Result<void> UserSettings::synchronize() {
    std::lock_guard lock(m_mutex);
    return writeLocked();
}

Result<void> UserSettings::writeLocked() {
    if (auto folder = createFolder(m_file.parent_path(), 0700); !folder) {
        return folder;
    }
    return writeFileAtomically(m_file, JsonWriter::writePretty(JsonValue(m_values)) + "\n", 0600);
}

void UserSettings::configureDefaults() {
    const std::pair<std::string_view, JsonValue> defaults[] = {
        {kDefaultUrlKey, std::string(kDefaultRecipeSitesUrl)},
        {kDefaultEmailKey, ""},
        {kFontSizeKey, "Small"},
        {kKeyboardMetricKey, false},
        {kKeyboardPluralKey, false},
        {kSyncUpdateKey, "Automatically"},
        {kAlphabetizeCategoriesKey, true},
        {kSelectedMealTypeKey, 2},
        {kGroceryListAislesKey, true},
        {kGroceryListConsolidationKey, true},
        {kWeekStartDayKey, localeFirstWeekday()},
        {kAutomaticBackupsKey, true},
    };
    std::vector<std::string_view> written;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [key, value] : defaults) {
            if (!m_values.contains(key) && applyLocked(key, value)) {
                written.push_back(key);
            }
        }
        if (!written.empty()) {
            persistLocked();
        }
    }
    for (std::string_view key : written) {
        notifyChanged(key);
    }
}

}  // namespace miravel
