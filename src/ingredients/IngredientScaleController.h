#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ingredients/RCRationalNumber.h"

namespace miravel {

class IngredientScaleController;

// The owner of the scale panel (the recipe view) hears through this what the user decided.
class IngredientScaleControllerDelegate {
public:
    virtual ~IngredientScaleControllerDelegate() = default;
    virtual void ingredientScaleControllerDidChangeScale(IngredientScaleController& controller,
                                                         const RCRationalNumber& scale) = 0;
    virtual void ingredientScaleControllerDismissed(IngredientScaleController& controller) = 0;
};

// The logic of the small panel in which a recipe's scale is chosen: a whole-number field and
// a menu of the fractions cooks use, so that only factors such as 1 1/2 or 2/3 can be made.
// Free of any toolkit; the view mirrors wholeNumber() and selectedFraction().
class IngredientScaleController {
public:
    // The menu items in order, the first ("---") meaning no fraction; translated.
    static std::vector<std::string> fractionItemTitles();
    static std::string promptLabel();        // "Scale ingredients by:"
    static std::string cancelButtonTitle();  // "Cancel"
    static std::string doneButtonTitle();    // "Done"

    // Not owned; it must outlive the controller or be reset to nullptr first.
    void setDelegate(IngredientScaleControllerDelegate* delegate) { m_delegate = delegate; }

    // Shows a factor: none is 1 with "---". A fraction part that is not on the menu (a
    // factor such as 5/7 stored elsewhere) selects no item, and scale() then reads back only
    // the whole number.
    void setScale(const std::optional<RCRationalNumber>& scale);
    // The factor the field and the menu make; a whole number of 0 without a fraction is 1.
    [[nodiscard]] RCRationalNumber scale() const;

    [[nodiscard]] int wholeNumber() const { return m_wholeNumber; }
    void setWholeNumber(int wholeNumber) { m_wholeNumber = wholeNumber; }
    // Index into fractionItemTitles(), or none selected.
    [[nodiscard]] std::optional<std::size_t> selectedFraction() const { return m_selectedFraction; }
    void setSelectedFraction(std::optional<std::size_t> index);

    // "Done": hands scale() to the delegate.
    void savePressed();
    // "Cancel".
    void cancelPressed();

private:
    IngredientScaleControllerDelegate* m_delegate = nullptr;
    int m_wholeNumber = 1;
    std::optional<std::size_t> m_selectedFraction = 0;
};

}  // namespace miravel
