#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ingredients/AmountText.h"
#include "ingredients/IngredientReferenceStore.h"
#include "ingredients/IngredientToken.h"
#include "ingredients/RCRationalNumber.h"
#include "ingredients/UnitConverter.h"
#include "ingredients/WordLists.h"

namespace miravel {

// What an ingredient line says about its amount. Every field may be absent.
struct IngredientInformation {
    std::optional<RCRationalNumber> quantity;       // the amount, or the lower end of a range
    std::optional<std::string> range;               // the range word or dash ("to", "-")
    std::optional<RCRationalNumber> quantityRange;  // the upper end of a range
    std::optional<std::string> unit;                // as written, lower case ("cups")
    std::optional<std::string> size;                // "large"
    std::optional<std::string> color;               // "red"
    // How the amounts were written, so that a row built from them reads the same way.
    AmountNotation notation = AmountNotation::Whole;
};

// Reads free-text ingredient lines ("1 1/2 cups flour, sifted"): the amount, unit, size and
// colour, and the ingredient's name and store aisle.
//
// The word lists ("parser.yml") and the reference store of ingredient and unit names are
// read once and never change, so one parser is shared by every thread of the process.
class IngredientParser {
public:
    // The process-wide parser over the shipped resources, created on first use.
    static const IngredientParser& sharedParser();

    // A parser over the given lists and reference store (tests, tools). A null store behaves
    // as an empty one.
    IngredientParser(WordLists lists, std::shared_ptr<const IngredientReferenceStore> store,
                     UnitConverter converter = {});

    std::vector<IngredientToken> tokenizeString(std::string_view line) const;
    // One token from a character group and its character class (1 digit, 2 letter,
    // 3 space, 4 punctuation, 5 fraction, 6 dash, 7 other).
    IngredientToken generateToken(std::string_view group, int characterClass) const;

    IngredientInformation extractIngredientInformation(std::string_view line) const;

    // The aisle (an English aisle key) where the item of `text` is sold; `ingredient`, when
    // given, receives the recognised ingredient name or nothing.
    std::string getAisle(std::string_view text,
                         std::optional<std::string>* ingredient = nullptr) const;

    // consolidateItems:newName:ingredient:consolidatedName: — whether the grocery row text
    // `row` and a new line `line` (whose recognised ingredient is `ingredient`) ask for the
    // same thing in amounts that add up; the merged row text when they do ("1 cup flour" and
    // "2 cups flour, sifted" give "3 cups flour").
    std::optional<std::string> consolidateItems(std::string_view row, std::string_view line,
                                                std::string_view ingredient) const;

    // "one" 1 … "nineteen" 19, "half" 1/2, "quarter" 1/4, "a" 1, "dozen" 12, …
    static std::optional<RCRationalNumber> convertNumeric(std::string_view word);
    // The six vulgar-fraction characters.
    static std::optional<RCRationalNumber> convertFraction(std::string_view character);
    // An amount in fraction notation (printAmount()): "1 1/2" for 3/2, "1 1/16" for 17/16.
    static std::string printFraction(const RCRationalNumber& amount);

    // Character tests over the whole (UTF-8) text; an empty text fails.
    static bool isDigit(std::string_view text);
    static bool isAlpha(std::string_view text);
    static bool isSpace(std::string_view text);

    // Reference rows whose name or plural equals `word`, by aisle descending.
    std::span<const IngredientRow* const> fetchIngredients(std::string_view word) const;
    // The first unit row (by name descending) whose name or plural equals `word`.
    const UnitRow* fetchUnit(std::string_view word) const;

    // The reference store of ingredient names ships with the program; without it every line
    // is read but no aisle or ingredient name is right. Front ends check it at start and
    // refuse to go on, rather than file every item under the wrong aisle.
    [[nodiscard]] Result<void> checkReferenceStore() const;

    // The preset aisle names, in menu order.
    const std::vector<std::string>& aisles() const { return m_aisles; }
    const UnitConverter& converter() const { return m_converter; }
    const WordLists& wordLists() const { return m_lists; }

    // A token with the word lists that hold its value.
    struct ScannedToken : IngredientToken {
        std::uint32_t lists = 0;
    };

private:
    IngredientParser(WordLists lists, UnitConverter converter);
    void tokenize(std::string_view line, std::vector<ScannedToken>& tokens) const;
    int characterClass(char32_t c) const;
    ScannedToken scanToken(std::string value, int characterClass, bool ascii) const;
    const IngredientReferenceStore& store() const;

    WordLists m_lists;
    // Opened on the first query when the parser is the shared one.
    mutable std::shared_ptr<const IngredientReferenceStore> m_store;
    mutable std::once_flag m_storeOpened;
    mutable std::optional<Error> m_storeError;  // written once, under m_storeOpened
    bool m_opensSharedStore = false;
    UnitConverter m_converter;
    std::vector<std::string> m_aisles;
    // The character class of every ASCII character under these lists.
    std::uint8_t m_asciiClasses[128] = {};
};

}  // namespace miravel
