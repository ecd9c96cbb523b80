#include "ingredients/UnitConverter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "lib/AtomicFile.h"
#include "lib/JsonValue.h"
#include "lib/Log.h"
#include "lib/ResourceFolder.h"
#include "lib/YAMLSerialization.h"

namespace miravel {

namespace {

constexpr const char* kConversionsFileName = "conversions.yml";

std::string_view withoutLeadingSpace(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// The text's leading integer ("16", " 2.5" gives 2, "-3 cups" gives -3); nothing when it
// does not start with one or the number does not fit 32 bits.
std::optional<std::int64_t> leadingInteger(std::string_view text) {
    text = withoutLeadingSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

// The text's leading decimal number, independent of the locale; nothing for text that does
// not start with a finite number.
std::optional<double> leadingNumber(std::string_view text) {
    text = withoutLeadingSpace(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.' ||
                          text.front() == '-')) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

const std::string* textMember(const JsonValue& entry, std::string_view key) {
    const JsonValue* value = entry.member(key);
    return value != nullptr && value->isString() ? &value->asString() : nullptr;
}

const JsonArray* arrayMember(const JsonValue& root, std::string_view key) {
    const JsonValue* value = root.member(key);
    return value != nullptr && value->isArray() ? &value->asArray() : nullptr;
}

std::vector<UnitConverter::Threshold> readThresholds(const JsonValue& root) {
    std::vector<UnitConverter::Threshold> thresholds;
    const JsonArray* entries = arrayMember(root, "thresholds");
    if (entries == nullptr) {
        return thresholds;
    }
    for (const JsonValue& entry : *entries) {
        const std::string* unit = textMember(entry, "unit");
        const std::string* quantity = textMember(entry, "quantity");
        const std::optional<double> limit =
            quantity != nullptr ? leadingNumber(*quantity) : std::nullopt;
        if (unit == nullptr || !limit) {
            continue;
        }
        UnitConverter::Threshold& threshold = thresholds.emplace_back();
        threshold.unit = *unit;
        if (const std::string* convertTo = textMember(entry, "convert_to")) {
            threshold.convertTo = *convertTo;
        }
        threshold.quantity = *limit;
    }
    return thresholds;
}

std::vector<std::vector<std::string>> readConvertible(const JsonValue& root) {
    std::vector<std::vector<std::string>> groups;
    const JsonArray* entries = arrayMember(root, "convertible");
    if (entries == nullptr) {
        return groups;
    }
    for (const JsonValue& entry : *entries) {
        if (!entry.isArray()) {
            continue;
        }
        std::vector<std::string>& group = groups.emplace_back();
        for (const JsonValue& name : entry.asArray()) {
            if (name.isString()) {
                group.push_back(name.asString());
            }
        }
    }
    return groups;
}

std::vector<UnitConverter::Conversion> readConversions(const JsonValue& root) {
    std::vector<UnitConverter::Conversion> conversions;
    const JsonArray* entries = arrayMember(root, "conversions");
    if (entries == nullptr) {
        return conversions;
    }
    for (const JsonValue& entry : *entries) {
        const std::string* unit = textMember(entry, "unit");
        const JsonArray* ratios = arrayMember(entry, "ratios");
        if (unit == nullptr || ratios == nullptr) {
            continue;
        }
        UnitConverter::Conversion& conversion = conversions.emplace_back();
        conversion.unit = *unit;
        for (const JsonValue& ratioEntry : *ratios) {
            const std::string* toUnit = textMember(ratioEntry, "to_unit");
            const std::string* value = textMember(ratioEntry, "value");
            const std::string* operation = textMember(ratioEntry, "operation");
            const std::optional<std::int64_t> factor =
                value != nullptr ? leadingInteger(*value) : std::nullopt;
            if (toUnit == nullptr || operation == nullptr || !factor || *factor <= 0) {
                continue;
            }
            conversion.ratios.push_back(
                UnitConverter::Ratio{*toUnit, static_cast<std::int32_t>(*factor), *operation});
        }
    }
    return conversions;
}

}  // namespace

UnitConverter::UnitConverter(std::vector<Threshold> thresholds,
                             std::vector<std::vector<std::string>> convertible,
                             std::vector<Conversion> conversions)
    : m_thresholds(std::move(thresholds)),
      m_convertible(std::move(convertible)),
      m_conversions(std::move(conversions)) {}

UnitConverter UnitConverter::fromResources() {
    auto path = resourcePath(kConversionsFileName);
    if (!path) {
        logLine("Unit conversions unavailable: {}", path.error().description);
        return UnitConverter();
    }
    auto converter = fromFile(*path);
    if (!converter) {
        logLine("Unit conversions unavailable: {}", converter.error().description);
        return UnitConverter();
    }
    return std::move(*converter);
}

Result<UnitConverter> UnitConverter::fromFile(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    if (!bytes) {
        return std::unexpected(std::move(bytes.error()));
    }
    return fromYAML(*bytes);
}

Result<UnitConverter> UnitConverter::fromYAML(std::string_view yaml) {
    auto documents = YAMLSerialization::YAMLWithData(yaml, kYAMLReadOptionStringScalars);
    if (!documents) {
        return std::unexpected(std::move(documents.error()));
    }
    if (documents->empty()) {
        return UnitConverter();
    }
    const JsonValue& root = documents->back();
    return UnitConverter(readThresholds(root), readConvertible(root), readConversions(root));
}

bool UnitConverter::unitsAreConvertible(std::string_view unit, std::string_view toUnit) const {
    return std::ranges::any_of(m_convertible, [&](const std::vector<std::string>& group) {
        return std::ranges::find(group, unit) != group.end() &&
               std::ranges::find(group, toUnit) != group.end();
    });
}

RCRationalNumber UnitConverter::convertUnit(const RCRationalNumber& amount,
                                            std::string_view fromUnit, std::string_view toUnit,
                                            std::string& unitName) const {
    for (const Conversion& conversion : m_conversions) {
        if (conversion.unit != fromUnit) {
            continue;
        }
        for (const Ratio& ratio : conversion.ratios) {
            if (ratio.toUnit != toUnit) {
                continue;
            }
            const RCRationalNumber factor(ratio.value);
            std::optional<RCRationalNumber> converted;
            if (ratio.operation == "*") {
                converted = amount.multiply(factor);
            } else if (ratio.operation == "/") {
                converted = amount.divide(factor);
            } else {
                continue;
            }
            // A product beyond 32 bits has no exact form; the amount is still right in the
            // unit it came in, so it stays there.
            if (!converted) {
                return amount;
            }
            unitName = std::string(toUnit);
            return *converted;
        }
    }
    return amount;
}

RCRationalNumber UnitConverter::scaleUnit(const RCRationalNumber& amount, std::string_view unit,
                                          std::string& newUnit) const {
    RCRationalNumber current = amount;
    std::string currentUnit(unit);
    std::vector<std::string> passed;
    while (true) {
        const auto threshold = std::ranges::find(m_thresholds, currentUnit, &Threshold::unit);
        if (threshold == m_thresholds.end()) {
            break;
        }
        const std::optional<std::string>& target = threshold->convertTo;
        if (!target || !(current.number() > threshold->quantity)) {
            break;
        }
        passed.push_back(currentUnit);
        if (std::ranges::find(passed, *target) != passed.end()) {
            break;
        }
        std::string reached;
        const RCRationalNumber converted = convertUnit(current, currentUnit, *target, reached);
        if (reached.empty()) {
            break;
        }
        current = converted;
        currentUnit = std::move(reached);
    }
    newUnit = std::move(currentUnit);
    return current;
}

}  // namespace miravel
