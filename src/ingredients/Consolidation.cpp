// Merging two grocery lines for one ingredient into one row text ("1 cup flour" and
// "2 cups flour, sifted" read "3 cups flour").
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <initializer_list>

#include "ingredients/IngredientParser.h"
#include "lib/TextPieces.h"

namespace miravel {

namespace {

bool greaterThanOne(const std::optional<RCRationalNumber>& amount) {
    return amount && amount->compare(RCRationalNumber(1)) > 0;
}

// Every white-space separated word with its first letter in title case and the rest in lower
// case; the root locale keeps the result the same for every user ("Salt", never "SALT" or
// a Turkish dotted capital).
std::string capitalizeWords(std::string_view text) {
    const icu::Locale& root = icu::Locale::getRoot();
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    icu::UnicodeString result;
    int32_t position = 0;
    while (position < unicode.length()) {
        if (u_isUWhiteSpace(unicode.char32At(position))) {
            result.append(unicode.char32At(position));
            position = unicode.moveIndex32(position, 1);
            continue;
        }
        int32_t end = position;
        while (end < unicode.length() && !u_isUWhiteSpace(unicode.char32At(end))) {
            end = unicode.moveIndex32(end, 1);
        }
        icu::UnicodeString word = unicode.tempSubStringBetween(position, end);
        word.toLower(root);
        // "(pinch)" reads "(Pinch)": the first letter is raised, not the bracket.
        for (int32_t i = 0; i < word.length(); i = word.moveIndex32(i, 1)) {
            if (u_isalpha(word.char32At(i))) {
                const int32_t length = U16_LENGTH(word.char32At(i));
                icu::UnicodeString first = word.tempSubString(i, length);
                first.toTitle(nullptr, root,
                              U_TITLECASE_NO_LOWERCASE | U_TITLECASE_NO_BREAK_ADJUSTMENT);
                word.replace(i, length, first);
                break;
            }
        }
        result.append(word);
        position = end;
    }
    std::string utf8;
    result.toUTF8String(utf8);
    return utf8;
}

}  // namespace

std::optional<std::string> IngredientParser::consolidateItems(std::string_view row,
                                                              std::string_view line,
                                                              std::string_view ingredient) const {
    // Lines whose ingredient was not recognised could be anything; two "2 cups" of unknown
    // things must not become "4 cups".
    if (trimCharacters(ingredient, " \t\n\r\f\v").empty()) {
        return std::nullopt;
    }
    const IngredientInformation a = extractIngredientInformation(row);
    IngredientInformation b = extractIngredientInformation(line);
    // A size or colour word must be said by both lines alike: "2 large eggs" and "2 eggs" are
    // not the same purchase.
    if (a.color != b.color || a.size != b.size) {
        return std::nullopt;
    }

    if (a.unit.has_value() != b.unit.has_value()) {
        return std::nullopt;
    }
    if (a.unit && *a.unit != *b.unit) {
        const UnitRow* unitA = fetchUnit(*a.unit);
        const UnitRow* unitB = fetchUnit(*b.unit);
        if (unitA == nullptr || unitB == nullptr) {
            return std::nullopt;
        }
        if (unitA->canonical != unitB->canonical) {
            if (!m_converter.unitsAreConvertible(unitA->canonical, unitB->canonical)) {
                return std::nullopt;
            }
            if (a.quantity) {
                // Without a ratio between two units of one group the amount would come back
                // in the other unit and be added as if it were in this one.
                for (std::optional<RCRationalNumber>* amount : {&b.quantity, &b.quantityRange}) {
                    if (!*amount) {
                        continue;
                    }
                    std::string reached;
                    *amount = m_converter.convertUnit(**amount, unitB->canonical, unitA->canonical,
                                                      reached);
                    if (reached.empty()) {
                        return std::nullopt;
                    }
                }
            }
        }
    }

    if (a.quantity.has_value() != b.quantity.has_value()) {
        return std::nullopt;
    }
    std::optional<RCRationalNumber> total;
    if (a.quantity) {
        total = a.quantity->add(*b.quantity);
        if (!total) {
            return std::nullopt;  // beyond what a fraction can hold: keep the lines apart
        }
    }

    std::optional<std::string> rangeWord;
    std::optional<RCRationalNumber> rangeTotal;
    if (a.range || b.range) {
        if (!a.quantityRange || !b.quantityRange) {
            return std::nullopt;
        }
        rangeTotal = a.quantityRange->add(*b.quantityRange);
        if (!rangeTotal) {
            return std::nullopt;
        }
        rangeWord = a.range ? a.range : b.range;
    }

    std::optional<std::string> unitText;
    if (a.unit) {
        const UnitRow* unit = fetchUnit(*a.unit);
        // A unit the reference store does not know is still the unit both lines were
        // written in; it is shown as written rather than dropped from the text.
        std::string shownUnit = *a.unit;
        if (unit != nullptr && total && greaterThanOne(total) && !rangeWord) {
            std::string finalUnit;
            total = m_converter.scaleUnit(*total, unit->canonical, finalUnit);
            if (finalUnit != unit->canonical) {
                unit = fetchUnit(finalUnit);
                shownUnit = finalUnit;
            }
        }
        if (unit != nullptr) {
            unitText = greaterThanOne(total) && unit->pluralized && !unit->pluralized->empty()
                           ? *unit->pluralized
                           : unit->name;
        } else {
            unitText = std::move(shownUnit);
        }
    }

    std::string ingredientText(ingredient);
    if (auto rows = fetchIngredients(ingredient); !rows.empty()) {
        const IngredientRow& first = *rows.front();
        ingredientText = greaterThanOne(total) && first.pluralized && !first.pluralized->empty()
                             ? *first.pluralized
                             : first.name;
    }

    // Both lines' amounts are in the row, so both decide how it is written.
    const AmountNotation notation = combinedNotation(a.notation, b.notation);
    std::string text;
    if (total) {
        text += printAmount(*total, notation);
    }
    if (rangeWord && rangeTotal) {
        text += " " + *rangeWord + " " + printAmount(*rangeTotal, notation);
    }
    for (const std::optional<std::string>* part :
         std::initializer_list<const std::optional<std::string>*>{&unitText, &a.size, &a.color}) {
        if (*part) {
            text += " " + **part;
        }
    }
    text += " " + ingredientText;
    text = std::string(trimCharacters(text, " \t\n\r\f\v"));
    if (!total) {
        text = capitalizeWords(text);
    }
    return text;
}

}  // namespace miravel
