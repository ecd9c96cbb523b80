#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ingredients/RCRationalNumber.h"
#include "lib/Error.h"

namespace miravel {

// Converts exact amounts between canonical unit names (those of the reference store's Unit
// rows) and moves an amount up to a larger unit once it passes a threshold, so that two
// grocery lines for the same ingredient can be added in one unit and the sum reads well
// ("16 tablespoons" as "1 cup").
//
// The tables come from "conversions.yml" in the resource folder (the last YAML document, a
// mapping with "thresholds", "convertible" and "conversions") and never change afterwards,
// so one instance may be shared between threads.
//
// Entries that cannot be used safely are dropped when the tables are read: a ratio whose
// "value" has no positive leading integer (dividing by zero, or a negative ratio, would turn
// a quantity into nonsense), and a threshold without "unit" or whose "quantity" is not a
// number. Entries of the wrong YAML shape are skipped.
class UnitConverter {
public:
    struct Threshold {
        std::string unit;
        std::optional<std::string> convertTo;  // absent: amounts in `unit` stay there
        double quantity = 0;
    };
    struct Ratio {
        std::string toUnit;
        std::int32_t value = 1;  // positive
        std::string operation;   // "*" or "/"; other ratios are passed over
    };
    struct Conversion {
        std::string unit;
        std::vector<Ratio> ratios;
    };

    // No tables: nothing is convertible and nothing moves.
    UnitConverter() = default;
    UnitConverter(std::vector<Threshold> thresholds,
                  std::vector<std::vector<std::string>> convertible,
                  std::vector<Conversion> conversions);

    // Reads the shipped "conversions.yml". A missing or unreadable file is logged and gives
    // the empty tables, as the ingredient parser must work without it.
    static UnitConverter fromResources();
    // Tables from a file, or from YAML text. Only unreadable YAML is an error; a document of
    // the wrong shape gives whatever entries it holds in the right one.
    [[nodiscard]] static Result<UnitConverter> fromFile(const std::filesystem::path& path);
    [[nodiscard]] static Result<UnitConverter> fromYAML(std::string_view yaml);

    // True when one group of `convertible` holds both names (a unit and itself included).
    bool unitsAreConvertible(std::string_view unit, std::string_view toUnit) const;

    // `amount` in `fromUnit` expressed in `toUnit` by the first usable ratio; `unitName`
    // then receives `toUnit`. Without one (or when the result does not fit a
    // RCRationalNumber), `amount` comes back unchanged and `unitName` is left as it was.
    RCRationalNumber convertUnit(const RCRationalNumber& amount, std::string_view fromUnit,
                                 std::string_view toUnit, std::string& unitName) const;

    // `amount` in `unit`, moved up threshold by threshold while it is strictly greater than
    // the threshold's quantity; `newUnit` receives the unit it ends in.
    //
    // The walk stops where a threshold's target cannot be reached by a ratio (the amount
    // stays in the unit it is in, rather than losing its unit), and where it would return
    // to a unit it already passed, so tables whose thresholds form a cycle cannot hang it.
    RCRationalNumber scaleUnit(const RCRationalNumber& amount, std::string_view unit,
                               std::string& newUnit) const;

    const std::vector<Threshold>& thresholds() const { return m_thresholds; }
    const std::vector<std::vector<std::string>>& convertible() const { return m_convertible; }
    const std::vector<Conversion>& conversions() const { return m_conversions; }

private:
    std::vector<Threshold> m_thresholds;
    std::vector<std::vector<std::string>> m_convertible;
    std::vector<Conversion> m_conversions;
};

}  // namespace miravel
