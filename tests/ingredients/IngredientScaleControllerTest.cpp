#include "ingredients/IngredientScaleController.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace miravel {
namespace {

RCRationalNumber factor(int numerator, int denominator) {
    return *RCRationalNumber::valueWithNumerator(numerator, denominator);
}

TEST(IngredientScaleController, offersTheKitchenFractions) {
    EXPECT_EQ(IngredientScaleController::fractionItemTitles(),
              (std::vector<std::string>{"---", "1/2", "1/3", "1/4", "1/5", "1/6", "2/3", "3/4"}));
    EXPECT_EQ(IngredientScaleController::promptLabel(), "Scale ingredients by:");
    EXPECT_EQ(IngredientScaleController::cancelButtonTitle(), "Cancel");
    EXPECT_EQ(IngredientScaleController::doneButtonTitle(), "Done");
}

// Every factor the panel can make shows itself again the way it was made.
TEST(IngredientScaleController, readsBackEveryFactorItCanShow) {
    const std::vector<std::pair<int, int>> items = {{1, 2}, {1, 3}, {1, 4}, {1, 5},
                                                    {1, 6}, {2, 3}, {3, 4}};
    for (int whole : {0, 1, 2, 7}) {
        for (std::size_t item = 1; item <= items.size(); ++item) {
            IngredientScaleController panel;
            panel.setWholeNumber(whole);
            panel.setSelectedFraction(item);
            const auto [a, b] = items[item - 1];
            const RCRationalNumber made = panel.scale();
            EXPECT_EQ(made, factor(whole * b + a, b)) << whole << " " << a << "/" << b;

            IngredientScaleController shown;
            shown.setScale(made);
            EXPECT_EQ(shown.wholeNumber(), whole) << made.description();
            EXPECT_EQ(shown.selectedFraction(), item) << made.description();
            EXPECT_EQ(shown.scale(), made);
        }
    }
}

TEST(IngredientScaleController, showsWholeNumbersWithoutAFraction) {
    for (int whole : {1, 2, 3, 10}) {
        IngredientScaleController panel;
        panel.setScale(factor(whole, 1));
        EXPECT_EQ(panel.wholeNumber(), whole);
        EXPECT_EQ(panel.selectedFraction(), std::nullopt);
        EXPECT_EQ(panel.scale(), factor(whole, 1));
    }
}

TEST(IngredientScaleController, showsNoFactorAsOne) {
    IngredientScaleController panel;
    panel.setScale(factor(5, 2));
    panel.setScale(std::nullopt);
    EXPECT_EQ(panel.wholeNumber(), 1);
    EXPECT_EQ(panel.selectedFraction(), 0u);
    EXPECT_EQ(panel.scale(), factor(1, 1));
}

TEST(IngredientScaleController, readsZeroWithoutAFractionAsOne) {
    IngredientScaleController panel;
    panel.setWholeNumber(0);
    panel.setSelectedFraction(0);
    EXPECT_EQ(panel.scale(), factor(1, 1));
    panel.setSelectedFraction(std::nullopt);
    EXPECT_EQ(panel.scale(), factor(1, 1));
    panel.setSelectedFraction(99);
    EXPECT_EQ(panel.selectedFraction(), std::nullopt);
}

// A fraction part the menu does not have selects nothing; only the whole number survives.
TEST(IngredientScaleController, dropsAFractionTheMenuLacks) {
    IngredientScaleController panel;
    panel.setScale(factor(12, 7));
    EXPECT_EQ(panel.wholeNumber(), 1);
    EXPECT_EQ(panel.selectedFraction(), std::nullopt);
    EXPECT_EQ(panel.scale(), factor(1, 1));
    panel.setScale(factor(3, 8));
    EXPECT_EQ(panel.scale(), factor(1, 1));
}

class RecordingDelegate : public IngredientScaleControllerDelegate {
public:
    void ingredientScaleControllerDidChangeScale(IngredientScaleController& controller,
                                                 const RCRationalNumber& scale) override {
        controllers.push_back(&controller);
        scales.push_back(scale);
    }
    void ingredientScaleControllerDismissed(IngredientScaleController& controller) override {
        controllers.push_back(&controller);
        ++dismissals;
    }

    std::vector<IngredientScaleController*> controllers;
    std::vector<RCRationalNumber> scales;
    int dismissals = 0;
};

TEST(IngredientScaleController, tellsItsDelegateOnDoneAndCancel) {
    RecordingDelegate delegate;
    IngredientScaleController panel;
    panel.savePressed();  // no delegate yet: nothing to tell
    panel.setDelegate(&delegate);
    panel.setWholeNumber(1);
    panel.setSelectedFraction(2);
    panel.savePressed();
    EXPECT_EQ(delegate.scales, std::vector<RCRationalNumber>{factor(4, 3)});
    EXPECT_EQ(delegate.dismissals, 0);
    panel.cancelPressed();
    EXPECT_EQ(delegate.scales.size(), 1u);
    EXPECT_EQ(delegate.dismissals, 1);
    EXPECT_EQ(delegate.controllers, (std::vector<IngredientScaleController*>{&panel, &panel}));
}

}  // namespace
}  // namespace miravel
