#include "grocery/ChooseIngredientsController.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/ResourceFolder.h"
#include "model/GroceryListItem.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

class RecordingDelegate : public ChooseIngredientsDelegate {
public:
    void chooseIngredientsControllerDismissed(ChooseIngredientsController&,
                                              bool ingredientsSelected) override {
        answers.push_back(ingredientsSelected);
    }
    std::vector<bool> answers;
};

class ChooseIngredientsTest : public testing::StoreTest {
protected:
    void SetUp() override {
        // Recognition needs the shipped reference store.
        if (!resourcePath("Ingredients.sqlite")) {
            GTEST_SKIP() << "no reference store in the build tree";
        }
        StoreTest::SetUp();
    }

    std::shared_ptr<Recipe> recipe(const std::string& name, const std::string& ingredients,
                                   std::optional<std::string> scale = std::nullopt) {
        auto made = m_main->insert<Recipe>();
        made->setName(name);
        made->setIngredients(ingredients);
        made->setScale(std::move(scale));
        EXPECT_TRUE(m_main->save());
        m_recipes.push_back(made);
        return made;
    }

    void setConsolidation(bool on) { m_settings.setBoolean(kGroceryListConsolidationKey, on); }

    std::unique_ptr<ChooseIngredientsController> chooser() {
        auto made = std::make_unique<ChooseIngredientsController>(*m_main, m_recipes, m_settings);
        made->setDelegate(&m_delegate);
        return made;
    }

    std::vector<std::string> rowNames(const ChooseIngredientsController& chooser) {
        std::vector<std::string> names;
        for (const auto& row : chooser.consolidatedItems()) {
            names.push_back(row->name());
        }
        return names;
    }

    // What the grocery list would show: the main context's items, in line order.
    std::vector<std::string> mainItems() {
        std::vector<std::string> shown;
        auto items = m_main->fetch<GroceryListItem>(
            std::nullopt, {SortDescriptor("recipeName"), SortDescriptor("orderFlag")});
        EXPECT_TRUE(items);
        for (const auto& item : items ? *items : std::vector<std::shared_ptr<GroceryListItem>>{}) {
            shown.push_back(item->recipeName().value_or("") + ": " + item->name().value_or("") +
                            " #" + std::to_string(item->orderFlag()));
        }
        return shown;
    }

    std::size_t storedItemCount() { return all<GroceryListItem>(*freshContext()).size(); }

    std::vector<std::shared_ptr<Recipe>> m_recipes;
    RecordingDelegate m_delegate;
    UserSettings m_settings{m_folder / "Settings.json"};
};

using Names = std::vector<std::string>;

TEST_F(ChooseIngredientsTest, sameLineFromTwoRecipesPreviewsOneRowAndAddsBothItems) {
    setConsolidation(true);
    recipe("Cake", "1 cup sugar\n2 eggs");
    recipe("Pie", "1 cup sugar");
    auto sheet = chooser();
    EXPECT_EQ(rowNames(*sheet), (Names{"2 cups sugar", "2 eggs"}));
    EXPECT_EQ(sheet->consolidatedItems()[0]->items().size(), 2u);
    EXPECT_TRUE(sheet->isSelected(0));
    EXPECT_TRUE(sheet->isSelected(1));
    EXPECT_TRUE(mainItems().empty());  // nothing reaches the list before Done

    testing::ChangeRecorder recorder(m_center, *m_main);
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(m_delegate.answers, std::vector<bool>{true});
    EXPECT_EQ(mainItems(),
              (Names{"Cake: 1 cup sugar #0", "Cake: 2 eggs #1", "Pie: 1 cup sugar #0"}));
    ASSERT_FALSE(recorder.changes().empty());
    EXPECT_EQ(recorder.changes()[0].inserted.size(), 3u);
    for (const auto& item : all<GroceryListItem>(*m_main)) {
        EXPECT_EQ(item->status(), kStatusModified);
        EXPECT_EQ(item->purchased(), false);
    }
    EXPECT_EQ(all<GroceryListItem>(*m_main, "ingredient == 'sugar'").size(), 2u);
    EXPECT_EQ(storedItemCount(), 3u);

    // The sheet is closed: a second press neither saves again nor reports again.
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(m_delegate.answers.size(), 1u);
    EXPECT_EQ(storedItemCount(), 3u);
}

TEST_F(ChooseIngredientsTest, untickedRowAddsNoneOfItsItems) {
    setConsolidation(true);
    recipe("Cake", "1 cup sugar\n2 eggs");
    recipe("Pie", "1 cup sugar");
    auto sheet = chooser();
    ASSERT_EQ(rowNames(*sheet)[0], "2 cups sugar");
    sheet->setSelected(0, false);
    EXPECT_FALSE(sheet->isSelected(0));
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(mainItems(), (Names{"Cake: 2 eggs #1"}));
    EXPECT_EQ(storedItemCount(), 1u);
    EXPECT_EQ(m_delegate.answers, std::vector<bool>{true});
}

TEST_F(ChooseIngredientsTest, nothingTickedAddsNothingAndSaysSo) {
    setConsolidation(true);
    recipe("Cake", "1 cup sugar\n2 eggs");
    auto sheet = chooser();
    sheet->selectAllCheckboxClicked(false);
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(storedItemCount(), 0u);
    // No "added to grocery list" notice for an empty addition.
    EXPECT_EQ(m_delegate.answers, std::vector<bool>{false});
}

TEST_F(ChooseIngredientsTest, scaledRecipeAddsTheScaledAmounts) {
    setConsolidation(true);
    recipe("Bread", "1 cup flour\n1/2 teaspoon salt\n1 1/2 cups milk", "2/1");
    auto sheet = chooser();
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(mainItems(), (Names{"Bread: 2 cups flour #0", "Bread: 1 teaspoon salt #1",
                                  "Bread: 3 cups milk #2"}));
}

TEST_F(ChooseIngredientsTest, headingsAndEmptyLinesAreNotItems) {
    setConsolidation(true);
    recipe("Tart", "For the crust:\n\n2 cups flour\n   \nFilling:\n1 cup sugar\n");
    auto sheet = chooser();
    EXPECT_EQ(rowNames(*sheet), (Names{"2 cups flour", "1 cup sugar"}));
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(mainItems(), (Names{"Tart: 2 cups flour #0", "Tart: 1 cup sugar #1"}));
}

TEST_F(ChooseIngredientsTest, cancelSavesNothing) {
    setConsolidation(true);
    recipe("Cake", "1 cup sugar\n2 eggs");
    auto before = storedItemCount();
    {
        auto sheet = chooser();
        ASSERT_EQ(sheet->items().size(), 2u);
        sheet->cancelPressed();
        EXPECT_EQ(m_delegate.answers, std::vector<bool>{false});
    }
    EXPECT_EQ(storedItemCount(), before);
    EXPECT_TRUE(mainItems().empty());
    EXPECT_FALSE(m_main->hasChanges());
}

TEST_F(ChooseIngredientsTest, consolidationOffShowsOneRowPerLine) {
    setConsolidation(false);
    recipe("Cake", "1 cup sugar");
    recipe("Pie", "1 cup sugar");
    auto sheet = chooser();
    EXPECT_EQ(rowNames(*sheet), (Names{"1 cup sugar", "1 cup sugar"}));
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(storedItemCount(), 2u);
}

// The preview is one short list to tick, so it merges what the list keeps in two aisles.
TEST_F(ChooseIngredientsTest, previewMergesAcrossAisles) {
    setConsolidation(true);
    recipe("Risotto", "1 cup frozen peas\n1 cup peas");
    auto sheet = chooser();
    ASSERT_EQ(sheet->items().size(), 2u);
    ASSERT_NE(sheet->items()[0]->aisle(), sheet->items()[1]->aisle());
    EXPECT_EQ(rowNames(*sheet), (Names{"2 cups peas"}));
}

// Only lines whose ingredient was recognised merge; unrecognised amounts are not added up.
TEST_F(ChooseIngredientsTest, linesWithoutAnIngredientStayApart) {
    setConsolidation(true);
    recipe("Cake", "2 cups\n2 cups");
    auto sheet = chooser();
    ASSERT_EQ(sheet->items().size(), 2u);
    ASSERT_FALSE(sheet->items()[0]->ingredient().has_value());
    EXPECT_EQ(rowNames(*sheet), (Names{"2 cups", "2 cups"}));
}

TEST_F(ChooseIngredientsTest, selectAllTogglesEveryRow) {
    setConsolidation(true);
    recipe("Soup", "1 onion\n2 carrots\n1 quart stock");
    auto sheet = chooser();
    ASSERT_EQ(sheet->consolidatedItems().size(), 3u);
    sheet->selectAllCheckboxClicked(false);
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_FALSE(sheet->isSelected(row)) << row;
    }
    sheet->selectAllCheckboxClicked(true);
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_TRUE(sheet->isSelected(row)) << row;
    }
    EXPECT_FALSE(sheet->isSelected(3));
    sheet->setSelected(1, false);
    sheet->setSelected(7, true);  // no such row: ignored
    ASSERT_TRUE(sheet->donePressed());
    EXPECT_EQ(mainItems(), (Names{"Soup: 1 onion #0", "Soup: 1 quart stock #2"}));
}

}  // namespace
}  // namespace miravel
