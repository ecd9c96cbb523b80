#include "ingredients/IngredientScaleController.h"

#include <array>
#include <string_view>

#include "lib/StringTable.h"

namespace miravel {
namespace {

// Numerator and denominator of each menu item; index 0 is "---". The arithmetic works on
// these rather than on the translated titles, which a translation may write differently.
struct Fraction {
    std::string_view title;
    int numerator;
    int denominator;
};
constexpr std::array<Fraction, 8> kFractions{{{"---", 0, 1},
                                              {"1/2", 1, 2},
                                              {"1/3", 1, 3},
                                              {"1/4", 1, 4},
                                              {"1/5", 1, 5},
                                              {"1/6", 1, 6},
                                              {"2/3", 2, 3},
                                              {"3/4", 3, 4}}};

}  // namespace

std::vector<std::string> IngredientScaleController::fractionItemTitles() {
    std::vector<std::string> titles;
    titles.reserve(kFractions.size());
    for (const Fraction& fraction : kFractions) {
        titles.push_back(tr(fraction.title));
    }
    return titles;
}

std::string IngredientScaleController::promptLabel() {
    return tr("Scale ingredients by:");
}

std::string IngredientScaleController::cancelButtonTitle() {
    return tr("Cancel");
}

std::string IngredientScaleController::doneButtonTitle() {
    return tr("Done");
}

void IngredientScaleController::setSelectedFraction(std::optional<std::size_t> index) {
    m_selectedFraction = index && *index < kFractions.size() ? index : std::nullopt;
}

void IngredientScaleController::setScale(const std::optional<RCRationalNumber>& scale) {
    if (!scale) {
        m_wholeNumber = 1;
        m_selectedFraction = 0;
        return;
    }
    m_wholeNumber = scale->integer();
    m_selectedFraction = std::nullopt;
    const int remainder = scale->numerator() % scale->denominator();
    if (remainder == 0) {
        return;
    }
    for (std::size_t i = 1; i < kFractions.size(); ++i) {
        if (kFractions[i].numerator == remainder &&
            kFractions[i].denominator == scale->denominator()) {
            m_selectedFraction = i;
        }
    }
}

RCRationalNumber IngredientScaleController::scale() const {
    const RCRationalNumber whole(m_wholeNumber == 0 ? 1 : m_wholeNumber);
    if (!m_selectedFraction || *m_selectedFraction == 0) {
        return whole;
    }
    const Fraction& fraction = kFractions[*m_selectedFraction];
    // A whole number too large to carry the fraction keeps only the whole number.
    auto value = RCRationalNumber::valueWithWholeNumber(m_wholeNumber, fraction.numerator,
                                                        fraction.denominator);
    return value.value_or(whole);
}

void IngredientScaleController::savePressed() {
    if (m_delegate != nullptr) {
        m_delegate->ingredientScaleControllerDidChangeScale(*this, scale());
    }
}

void IngredientScaleController::cancelPressed() {
    if (m_delegate != nullptr) {
        m_delegate->ingredientScaleControllerDismissed(*this);
    }
}

}  // namespace miravel
