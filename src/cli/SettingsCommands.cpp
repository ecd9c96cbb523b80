#include <algorithm>
#include <array>
#include <charconv>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/DateText.h"
#include "model/UserSettings.h"

namespace miravel::cli {

namespace {

constexpr std::array kFontSizes{"Tiny", "Small", "Medium", "Large", "Extra Large"};
constexpr std::array kSyncModes{"Manually", "Automatically", "WiFi Only"};

std::string typeName(SettingType type) {
    switch (type) {
        case SettingType::Boolean:
            return "boolean";
        case SettingType::Integer:
            return "integer";
        case SettingType::Text:
            break;
    }
    return "text";
}

std::string shownValue(const UserSettings& settings, const SettingDefinition& definition) {
    if (!settings.hasValue(definition.key)) {
        return "(not set)";
    }
    switch (definition.type) {
        case SettingType::Boolean:
            return settings.boolean(definition.key) ? "true" : "false";
        case SettingType::Integer:
            return std::to_string(settings.integer(definition.key));
        case SettingType::Text:
            break;
    }
    return settings.text(definition.key);
}

// The definition of a known key, or a usage error for an unknown one.
const SettingDefinition* knownKey(Invocation& invocation, const std::string& key) {
    const SettingDefinition* definition = findSetting(key);
    if (definition == nullptr) {
        invocation.usageError("unknown setting \"" + key +
                              "\"; \"miravel settings list\" shows them all.");
    }
    return definition;
}

template <std::size_t N>
bool oneOf(const std::string& value, const std::array<const char*, N>& choices) {
    return std::any_of(choices.begin(), choices.end(),
                       [&](const char* choice) { return value == choice; });
}

template <std::size_t N>
std::string joined(const std::array<const char*, N>& choices) {
    std::string text;
    for (const char* choice : choices) {
        text += (text.empty() ? "\"" : ", \"") + std::string(choice) + "\"";
    }
    return text;
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseBoolean(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (text == "true" || text == "yes" || text == "on" || text == "1") {
        return true;
    }
    if (text == "false" || text == "no" || text == "off" || text == "0") {
        return false;
    }
    return std::nullopt;
}

int list(Invocation& invocation) {
    UserSettings& settings = commandLineSettings();
    for (const auto& definition : knownSettings()) {
        invocation.out << definition.key << " = " << shownValue(settings, definition) << "\n";
    }
    return kExitOk;
}

int get(Invocation& invocation) {
    const std::string& key = invocation.arguments[0];
    const SettingDefinition* definition = knownKey(invocation, key);
    if (definition == nullptr) {
        return kExitUsage;
    }
    UserSettings& settings = commandLineSettings();
    if (!settings.hasValue(key)) {
        return invocation.failure("the setting \"" + key + "\" has no value.");
    }
    invocation.out << shownValue(settings, *definition) << "\n";
    return kExitOk;
}

int set(Invocation& invocation) {
    const std::string& key = invocation.arguments[0];
    const std::string& value = invocation.arguments[1];
    const SettingDefinition* definition = knownKey(invocation, key);
    if (definition == nullptr) {
        return kExitUsage;
    }
    UserSettings& settings = commandLineSettings();
    auto refuse = [&](const std::string& expected) {
        return invocation.usageError("\"" + value + "\" is no value for " + key + ": expected " +
                                     expected + ".");
    };
    switch (definition->type) {
        case SettingType::Boolean: {
            auto flag = parseBoolean(value);
            if (!flag) {
                return refuse("true or false");
            }
            settings.setBoolean(key, *flag);
            break;
        }
        case SettingType::Integer: {
            auto number = parseInteger(value);
            if (key == kWeekStartDayKey && (!number || *number < 1 || *number > 7)) {
                return refuse("a day from 1 (Sunday) to 7 (Saturday)");
            }
            if (key == kSelectedMealTypeKey && (!number || *number < 0 || *number > 3)) {
                return refuse("0 (Breakfast), 1 (Lunch), 2 (Dinner) or 3 (Snacks)");
            }
            if (!number) {
                return refuse("a whole number");
            }
            settings.setInteger(key, *number);
            break;
        }
        case SettingType::Text:
            if (key == kFontSizeKey && !oneOf(value, kFontSizes)) {
                return refuse("one of " + joined(kFontSizes));
            }
            if (key == kSyncUpdateKey && !oneOf(value, kSyncModes)) {
                return refuse("one of " + joined(kSyncModes));
            }
            if ((key == kLastSyncedDateKey || key == kLastSyncAttemptKey) &&
                !parseDateText(value)) {
                return refuse("a date as \"yyyy-MM-dd HH:mm:ss\"");
            }
            settings.setString(key, value);
            break;
    }
    if (auto written = settings.synchronize(); !written) {
        return invocation.failure(written.error().description);
    }
    return kExitOk;
}

int remove(Invocation& invocation) {
    const std::string& key = invocation.arguments[0];
    const SettingDefinition* definition = knownKey(invocation, key);
    if (definition == nullptr) {
        return kExitUsage;
    }
    UserSettings& settings = commandLineSettings();
    settings.remove(key);
    if (definition->hasDefault) {
        // Leaving a defaulted key empty would only last until the next start.
        settings.configureDefaults();
        invocation.out << key << " is back to its default: " << shownValue(settings, *definition)
                       << "\n";
    }
    if (auto written = settings.synchronize(); !written) {
        return invocation.failure(written.error().description);
    }
    return kExitOk;
}

int types(Invocation& invocation) {
    for (const auto& definition : knownSettings()) {
        invocation.out << definition.key << ": " << typeName(definition.type)
                       << (definition.hasDefault ? "" : " (no default)") << "\n";
    }
    return kExitOk;
}

}  // namespace

void addSettingsVerbs(CommandLine& commandLine) {
    auto withDefaults = [](int (*verb)(Invocation&)) {
        return [verb](Invocation& invocation) {
            commandLineSettings().configureDefaults();
            return verb(invocation);
        };
    };
    commandLine.add({"settings",
                     "list",
                     "",
                     "Show every setting and its value.",
                     {},
                     0,
                     0,
                     withDefaults(list)});
    commandLine.add(
        {"settings", "get", "KEY", "Print the value of one setting.", {}, 1, 1, withDefaults(get)});
    commandLine.add({"settings",
                     "set",
                     "KEY VALUE",
                     "Change one setting. Booleans take true or false; FontSize, SyncUpdate, "
                     "WeekStartDay and SelectedMealType take only their choices.",
                     {},
                     2,
                     2,
                     withDefaults(set)});
    commandLine.add({"settings",
                     "remove",
                     "KEY",
                     "Remove one setting; a setting with a default returns to it.",
                     {},
                     1,
                     1,
                     withDefaults(remove)});
    commandLine.add({"settings", "types", "", "Show the type of every setting.", {}, 0, 0, types});
}

}  // namespace miravel::cli
