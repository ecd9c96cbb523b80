#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "grocery/ConsolidatedItem.h"
#include "model/GroceryListItem.h"
#include "rendering/PlannerAndGroceryOutput.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

const std::string kHead =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Grocery List</title></head>"
    "<body style='font-family:Helvetica, sans-serif; padding:0; margin:0;'>"
    "<h3>Grocery List</h3>";
const std::string kTail = "</body></html>";
const std::string kSignature = "\nSent from Miravel Recipe Manager. https://www.miravel.app";

struct Line {
    const char* name;
    bool purchased;
    const char* aisle = "Produce";
    std::optional<std::string> recipe = std::nullopt;
};

class GroceryListOutput : public StoreTest {
protected:
    // One display row wrapping an item for each line.
    std::shared_ptr<ConsolidatedItem> row(const std::vector<Line>& lines) {
        std::shared_ptr<ConsolidatedItem> made;
        for (const auto& line : lines) {
            auto item = m_main->insert<GroceryListItem>();
            item->setName(line.name);
            item->setAisle(line.aisle);
            item->setRecipeName(line.recipe);
            item->setPurchased(line.purchased);
            if (made) {
                made->addItem(item);
            } else {
                made = std::make_shared<ConsolidatedItem>(item);
            }
        }
        return made;
    }
};

TEST_F(GroceryListOutput, emptyListHasOnlyHeadingAndSignature) {
    EXPECT_EQ(groceryListHtml({}, true), kHead + kTail);
    const MailText mail = groceryListMail({}, true);
    EXPECT_EQ(mail.subject, "Grocery List");
    EXPECT_EQ(mail.body, kSignature);
}

struct RowCase {
    const char* what;
    std::vector<Line> lines;
    const char* printed;
    const char* mailed;
};

TEST_F(GroceryListOutput, rowIsCheckedOnlyWhenEveryItemIsPurchased) {
    const RowCase cases[] = {
        {"open", {{"2 apples", false}}, "<p>2 apples</p>", "2 apples\n"},
        {"purchased", {{"2 apples", true}}, "<p>\u2713 2 apples</p>", "\u2713 2 apples\n"},
        {"consolidated, partly bought",
         {{"3 cups milk", true}, {"1 cup milk", false}},
         "<p>3 cups milk</p>",
         "3 cups milk\n"},
        {"consolidated, all bought",
         {{"3 cups milk", true}, {"1 cup milk", true}},
         "<p>\u2713 3 cups milk</p>",
         "\u2713 3 cups milk\n"},
        {"markup in a name",
         {{"salt & <pepper>", false}},
         "<p>salt &amp; &lt;pepper&gt;</p>",
         "salt & <pepper>\n"},
    };
    for (const auto& c : cases) {
        const GroceryListEntries entries{row(c.lines)};
        EXPECT_EQ(groceryListHtml(entries, false), kHead + c.printed + kTail) << c.what;
        EXPECT_EQ(groceryListMail(entries, false).body, c.mailed + kSignature) << c.what;
    }
}

TEST_F(GroceryListOutput, titlesAfterTheFirstAreSetApart) {
    const GroceryListEntries entries{
        std::string("Produce"),
        row({{"2 apples", false}}),
        row({{"1 lemon", true}}),
        std::string("Dairy"),
        row({{"1 cup milk", false, "Dairy"}}),
        std::string("Miscellaneous"),
        row({{"string", false, "Miscellaneous"}}),
    };
    EXPECT_EQ(groceryListHtml(entries, true),
              kHead +
                  "<h4>Produce</h4><p>2 apples</p><p>\u2713 1 lemon</p>"
                  "<br/><h4>Dairy</h4><p>1 cup milk</p>"
                  "<br/><h4>Miscellaneous</h4><p>string</p>" +
                  kTail);
    EXPECT_EQ(groceryListMail(entries, true).body,
              "Produce\n2 apples\n\u2713 1 lemon\n\nDairy\n1 cup milk\n\nMiscellaneous\nstring\n" +
                  kSignature);
}

TEST_F(GroceryListOutput, recipeSectionsKeepTheirTitles) {
    const GroceryListEntries entries{
        std::string("My Items"),
        row({{"paper towels", false, "Cleaning Supplies"}}),
        std::string("Soup <Hot>"),
        row({{"1 leek", false, "Produce", "Soup <Hot>"}}),
    };
    EXPECT_EQ(groceryListHtml(entries, false), kHead +
                                                   "<h4>My Items</h4><p>paper towels</p>"
                                                   "<br/><h4>Soup &lt;Hot&gt;</h4><p>1 leek</p>" +
                                                   kTail);
    EXPECT_EQ(groceryListMail(entries, false).body,
              "My Items\npaper towels\n\nSoup <Hot>\n1 leek\n" + kSignature);
}

// A list shown in another language titles its aisle sections with translated names; the
// message carries the stored aisle, and a recipe named like an aisle keeps its own name.
TEST_F(GroceryListOutput, mailedAisleTitlesAreTheStoredAisles) {
    const GroceryListEntries byAisle{
        std::string("Obst und Gem\u00fcse"),
        row({{"2 apples", false}}),
    };
    EXPECT_EQ(groceryListMail(byAisle, true).body, "Produce\n2 apples\n" + kSignature);
    const GroceryListEntries byRecipe{
        std::string("Produce"),
        row({{"1 cup milk", false, "Dairy", "Produce"}}),
    };
    EXPECT_EQ(groceryListMail(byRecipe, false).body, "Produce\n1 cup milk\n" + kSignature);
}

}  // namespace
}  // namespace miravel
