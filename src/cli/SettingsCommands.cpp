#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "cli/PlanArguments.h"
#include "lib/DateText.h"
#include "lib/JsonWriter.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"
#include "sync/SettingsController.h"

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

bool hasType(const JsonValue& value, SettingType type) {
    switch (type) {
        case SettingType::Boolean:
            return value.isBoolean();
        case SettingType::Integer:
            return value.isInteger();
        case SettingType::Text:
            break;
    }
    return value.isString();
}

std::string expectedType(SettingType type) {
    switch (type) {
        case SettingType::Boolean:
            return "true or false";
        case SettingType::Integer:
            return "a whole number";
        case SettingType::Text:
            break;
    }
    return "text";
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

// What a value of this setting must be, when `value` is not one: the one rule that both
// "set" applies to what is typed and "list" applies to what the file holds.
std::optional<std::string> problemWith(const SettingDefinition& definition,
                                       const JsonValue& value) {
    const std::string_view key = definition.key;
    if (!hasType(value, definition.type)) {
        return expectedType(definition.type);
    }
    if (key == kWeekStartDayKey && (value.asInteger() < 1 || value.asInteger() > 7)) {
        return "a day from 1 (Sunday) to 7 (Saturday), or its name";
    }
    if (key == kSelectedMealTypeKey && (value.asInteger() < 0 || value.asInteger() > 3)) {
        return "0 (Breakfast), 1 (Lunch), 2 (Dinner) or 3 (Snacks), or its name";
    }
    if (key == kFontSizeKey && !oneOf(value.asString(), kFontSizes)) {
        return "one of " + joined(kFontSizes);
    }
    if (key == kSyncUpdateKey && !oneOf(value.asString(), kSyncModes)) {
        return "one of " + joined(kSyncModes);
    }
    if ((key == kLastSyncedDateKey || key == kLastSyncAttemptKey) &&
        !parseDateText(value.asString())) {
        return "a date as \"yyyy-MM-dd HH:mm:ss\"";
    }
    return std::nullopt;
}

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
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

// The value as typed, in the setting's type: booleans as true or false, as the help says;
// the week's first day and the meal type also by name ("monday", "Lunch"). Text that is none
// of these is kept as text, which problemWith then refuses.
JsonValue typedValue(const SettingDefinition& definition, const std::string& text) {
    switch (definition.type) {
        case SettingType::Boolean:
            if (lowerCased(text) == "true" || lowerCased(text) == "false") {
                return lowerCased(text) == "true";
            }
            break;
        case SettingType::Integer:
            if (auto number = parseInteger(text)) {
                return *number;
            }
            if (definition.key == kWeekStartDayKey) {
                for (std::size_t day = 0; day < kWeekdayNames.size(); ++day) {
                    if (lowerCased(text) == lowerCased(kWeekdayNames[day])) {
                        return static_cast<std::int64_t>(day + 1);
                    }
                }
            }
            if (definition.key == kSelectedMealTypeKey) {
                if (auto type = parseMealType(lowerCased(text))) {
                    return *type;
                }
            }
            break;
        case SettingType::Text:
            break;
    }
    return text;
}

std::string shownValue(const UserSettings& settings, const SettingDefinition& definition) {
    const JsonObject values = settings.values();
    const JsonValue* value = values.find(definition.key);
    if (value == nullptr) {
        return "(not set)";
    }
    return value->isString() ? value->asString() : JsonWriter::write(*value);
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

// A value the file holds that the program would not accept is shown with what it should be,
// so that a hand-edited or damaged file is noticed rather than silently read as a default.
int list(Invocation& invocation) {
    UserSettings& settings = commandLineSettings();
    const JsonObject values = settings.values();
    for (const auto& definition : knownSettings()) {
        invocation.out << definition.key << " = " << shownValue(settings, definition);
        const JsonValue* value = values.find(definition.key);
        if (value == nullptr) {
            invocation.out << "\n";
            continue;
        }
        if (auto problem = problemWith(definition, *value)) {
            invocation.out << "  (not valid: expected " << *problem << ")";
        } else if (definition.key == kWeekStartDayKey) {
            invocation.out << " (" << kWeekdayNames[value->asInteger() - 1] << ")";
        }
        invocation.out << "\n";
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
    const std::string& text = invocation.arguments[1];
    const SettingDefinition* definition = knownKey(invocation, key);
    if (definition == nullptr) {
        return kExitUsage;
    }
    const JsonValue value = typedValue(*definition, text);
    if (auto problem = problemWith(*definition, value)) {
        return invocation.usageError("\"" + text + "\" is no value for " + key + ": expected " +
                                     *problem + ".");
    }
    UserSettings& settings = commandLineSettings();
    if (key == kServiceBaseUrlKey) {
        // The same rule as the Cloud Sync pane's field: trimmed, the default address removes
        // the setting, and plain http beyond this computer is named.
        changeServiceAddress(settings, text);
        const std::string address =
            settings.string(kServiceBaseUrlKey).value_or(kDefaultServiceBaseUrl);
        if (auto warning = serviceAddressWarning(address); !warning.empty()) {
            invocation.err << "miravel: warning: " << warning << "\n";
        }
        if (auto written = settings.synchronize(); !written) {
            return invocation.failure(written.error().description);
        }
        return kExitOk;
    }
    switch (definition->type) {
        case SettingType::Boolean:
            settings.setBoolean(key, value.asBoolean());
            break;
        case SettingType::Integer:
            settings.setInteger(key, value.asInteger());
            break;
        case SettingType::Text:
            settings.setString(key, value.asString());
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
                     "WeekStartDay (1-7 or a weekday) and SelectedMealType (0-3 or a meal "
                     "type) take only their choices.",
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
