#include "rendering/MiravelHtml.h"

#include <fstream>
#include <string>
#include <utility>

#include "model/Recipe.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

std::string head(const std::string& title) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body style='font-family: Helvetica;'>";
}
const std::string kTail = "</body></html>";

struct TextCase {
    const char* text;
    const char* html;
};

TEST(MiravelHtmlText, turnsLineBreaksIntoParagraphsAndBreaks) {
    const TextCase cases[] = {
        {"a\nb", "<p>a<br/>b</p>"},
        {"a\n\nb", "<p>a</p><p>b</p>"},
        {"a\n\n\nb", "<p>a<br/><br/></p><p>b</p>"},
        {"Step one.\n\n\n\nStep two.", "<p>Step one.<br/><br/><br/></p><p>Step two.</p>"},
        {"\na", "<p><br/>a</p>"},
        {"\n\na\nb", "<p><br/><br/>a<br/>b</p>"},
        // A tab after a break counts as a second break; plain spaces do not count.
        {"a\n\tb", "<p>a</p><p>b</p>"},
        {"a\n   b", "<p>a<br/>b</p>"},
        {"a \n b", "<p>a <br/>b</p>"},
        {"a\n \n b", "<p>a</p><p>b</p>"},
        {"a\r\nb", "<p>a<br/>b</p>"},
        {"a\r\n\r\nb", "<p>a</p><p>b</p>"},
        {"a\r\n\r\n\r\nb", "<p>a<br/><br/></p><p>b</p>"},
        {"a\rb", "<p>a<br/>b</p>"},
        {"a\xE2\x80\xA8"
         "b",
         "<p>a<br/>b</p>"},
        // Breaks at the end add nothing, even many of them.
        {"a\n", "<p>a</p>"},
        {"a\n\n\n\n", "<p>a</p>"},
        {"a", "<p>a</p>"},
        {" ", "<p> </p>"},
        {"", ""},
        {"\n", ""},
        {"\n\n\n", ""},
        {"\r\n\r\n", ""},
        {"x < y & z", "<p>x &lt; y &amp; z</p>"},
        {"<script>alert(\"hi\")</script>",
         "<p>&lt;script&gt;alert(&quot;hi&quot;)&lt;/script&gt;</p>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MiravelHtml::htmlForText(c.text), c.html) << "text: " << c.text;
    }
}

TEST(MiravelHtmlText, notEmptyIgnoresWhiteSpaceAndTheNoValueDashes) {
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {std::nullopt, false}, {"", false},         {" \n\t\r\n", false}, {"---", false},
        {" --- \n", false},    {"--", true},        {"----", true},       {"4", true},
        {" a ", true},         {"\xC2\xA0", false},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(MiravelHtml::notEmpty(text), expected) << text.value_or("(absent)");
    }
}

class MiravelHtmlRecipe : public StoreTest {
protected:
    std::shared_ptr<Recipe> recipe(const std::string& name = "Toast") {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName(name);
        return recipe;
    }
    // The part of the page between the ingredients heading and the end.
    static std::string body(const Recipe& recipe) {
        const std::string html = MiravelHtml::printForRecipe(recipe);
        const std::string start = head(MiravelHtml::escapeHtml(recipe.name().value_or("")));
        EXPECT_TRUE(html.starts_with(start) && html.ends_with(kTail)) << html;
        return html.substr(start.size(), html.size() - start.size() - kTail.size());
    }
};

TEST_F(MiravelHtmlRecipe, aBareRecipeHasAnEmptyFactsLineAndNoRating) {
    auto toast = recipe();
    toast->setRating(0);
    EXPECT_EQ(MiravelHtml::printForRecipe(*toast),
              head("Toast") + "<h3>Toast</h3><p></p><h4>Ingredients:</h4><br/>" + kTail);
    EXPECT_EQ(MiravelHtml::htmlForRecipe(*toast, false), MiravelHtml::printForRecipe(*toast));
    toast->setDifficulty("---");
    toast->setPrepTime(" \n");
    toast->setServings("");
    EXPECT_EQ(body(*toast), "<h3>Toast</h3><p></p><h4>Ingredients:</h4><br/>");
}

TEST_F(MiravelHtmlRecipe, showsStarsAndTheFactsThatApply) {
    auto pie = recipe("Pie");
    pie->setRating(5);
    pie->setPrepTime("10 min");
    pie->setCookTime("1 hour");
    pie->setServings("4");
    pie->setDifficulty("Hard");
    EXPECT_EQ(body(*pie),
              "<h3>Pie</h3><p class='rating' value='5'>\u2605\u2605\u2605\u2605\u2605</p>"
              "<p><b>Prep Time:</b> 10 min | <b>Cook Time:</b> 1 hour | <b>Makes:</b> 4 | "
              "<b>Difficulty:</b> Hard</p><h4>Ingredients:</h4><br/>");
    pie->setRating(1);
    pie->setPrepTime(std::nullopt);
    pie->setServings("---");
    pie->setDifficulty("Tricky");
    EXPECT_EQ(body(*pie),
              "<h3>Pie</h3><p class='rating' value='1'>\u2605</p>"
              "<p><b>Cook Time:</b> 1 hour | <b>Difficulty:</b> Tricky</p>"
              "<h4>Ingredients:</h4><br/>");
}

TEST_F(MiravelHtmlRecipe, ingredientHeadingsCloseTheListBeforeThem) {
    struct Case {
        const char* ingredients;
        const char* html;
    };
    const Case cases[] = {
        {"For the dough:\nflour\n\nFor the filling:\napples",
         "<h4>For the dough:</h4><ul><li>flour</li></ul><br/><h4>For the filling:</h4>"
         "<ul><li>apples</li></ul>"},
        {"Note: add salt", "<ul><li>Note: add salt</li></ul>"},
        {"Sauce:\nTopping:\n \t\n\t2 eggs \n1 cup milk\t",
         "<h4>Sauce:</h4><h4>Topping:</h4><ul><li>2 eggs</li><li>1 cup milk</li></ul>"},
        {"salt & pepper\n<b>chili</b>",
         "<ul><li>salt &amp; pepper</li><li>&lt;b&gt;chili&lt;/b&gt;</li></ul>"},
        {"\n\n", ""},
    };
    for (const auto& c : cases) {
        auto dish = recipe("Dish");
        dish->setIngredients(c.ingredients);
        EXPECT_EQ(body(*dish),
                  std::string("<h3>Dish</h3><p></p><h4>Ingredients:</h4>") + c.html + "<br/>")
            << c.ingredients;
    }
}

TEST_F(MiravelHtmlRecipe, textSectionsAndTheSourceFollowTheIngredients) {
    auto stew = recipe("Stew");
    stew->setDirections("Step one.\n\n\n\nStep two.");
    stew->setNotes(" ");
    stew->setNutritionalInfo("");
    stew->setSource("Grandma's book");
    EXPECT_EQ(body(*stew),
              "<h3>Stew</h3><p></p><h4>Ingredients:</h4><br/><h4>Directions:</h4>"
              "<p>Step one.<br/><br/><br/></p><p>Step two.</p><h4>Notes:</h4><p> </p>"
              "<p><b>Source:</b> Grandma's book</p>");
    stew->setDirections(std::nullopt);
    stew->setNotes(std::nullopt);
    stew->setNutritionalInfo("200 kcal");
    stew->setSourceUrl("https://example.org/stew?a=1&b=2");
    EXPECT_EQ(body(*stew),
              "<h3>Stew</h3><p></p><h4>Ingredients:</h4><br/><h4>Nutritional Info:</h4>"
              "<p>200 kcal</p><p><b>Source:</b> Grandma's book "
              "(https://example.org/stew?a=1&amp;b=2)</p>");
    stew->setSource(std::nullopt);
    EXPECT_TRUE(body(*stew).ends_with("<p><b>Source:</b> https://example.org/stew?a=1&amp;b=2</p>"))
        << body(*stew);
}

// A browser guessing the encoding of a file opened from disk shows "CrÃ¨me"; the page says
// what it is, and what it is called.
TEST_F(MiravelHtmlRecipe, thePageDeclaresItsTypeCharacterSetAndTitle) {
    auto dessert = recipe("Cr\u00e8me br\u00fbl\u00e9e & <co>");
    const std::string html = MiravelHtml::printForRecipe(*dessert);
    EXPECT_TRUE(
        html.starts_with("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                         "<title>Cr\u00e8me br\u00fbl\u00e9e &amp; &lt;co&gt;</title>"
                         "</head><body"))
        << html;
}

TEST_F(MiravelHtmlRecipe, userTextCannotAddMarkup) {
    auto evil = recipe("<script>alert('x')</script> & \"more\"");
    evil->setCookTime("<1 hour");
    evil->setSource("<i>me</i>");
    EXPECT_EQ(body(*evil),
              "<h3>&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;more&quot;</h3>"
              "<p><b>Cook Time:</b> &lt;1 hour</p><h4>Ingredients:</h4><br/>"
              "<p><b>Source:</b> &lt;i&gt;me&lt;/i&gt;</p>");
}

TEST_F(MiravelHtmlRecipe, embedsAnExistingPhotoAsBase64UnderTheTypeItsBytesHave) {
    auto pie = recipe("Pie");
    pie->setPhoto("pie.jpg");
    const std::pair<std::string, std::string> cases[] = {
        {"\xff\xd8\xff", "data:image/jpeg;base64,/9j/"},
        {"\x89PNG\r\n\x1a\n", "data:image/png;base64,iVBORw0KGgo="},
        {"GIF89a", "data:image/gif;base64,R0lGODlh"},
    };
    for (const auto& [bytes, url] : cases) {
        std::ofstream(m_folder / "pie.jpg", std::ios::binary) << bytes;
        EXPECT_EQ(body(*pie),
                  "<h3>Pie</h3><img src=\"" + url + "\" /><p/><p></p><h4>Ingredients:</h4><br/>");
    }
    // Bytes that are no picture show like a missing photo.
    std::ofstream(m_folder / "pie.jpg", std::ios::binary) << "abcd";
    EXPECT_EQ(body(*pie), "<h3>Pie</h3><p></p><h4>Ingredients:</h4><br/>");
    std::filesystem::remove(m_folder / "pie.jpg");
    EXPECT_EQ(body(*pie), "<h3>Pie</h3><p></p><h4>Ingredients:</h4><br/>");
}

TEST_F(MiravelHtmlRecipe, printsTheScaledQuantitiesAndServings) {
    auto bread = recipe("Bread");
    bread->setIngredients("2 cups flour\n3 eggs");
    bread->setServings("4");
    bread->setScale("2/1");
    EXPECT_EQ(body(*bread),
              "<h3>Bread</h3><p><b>Makes:</b> 8 (Scaled)</p><h4>Ingredients:</h4>"
              "<ul><li>4 cups flour</li><li>6 eggs</li></ul><br/>");
}

TEST_F(MiravelHtmlRecipe, theSignatureClosesThePageOnlyWhenAskedFor) {
    auto toast = recipe();
    EXPECT_EQ(MiravelHtml::htmlForRecipe(*toast, true),
              head("Toast") +
                  "<h3>Toast</h3><p></p><h4>Ingredients:</h4><br/><p>Sent from Miravel Recipe "
                  "Manager. https://www.miravel.app</p>" +
                  kTail);
}

}  // namespace
}  // namespace miravel
