#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <set>

#include "import/HtmlExport.h"
#include "import/ImportTestSupport.h"
#include "import/MiravelWindowController.h"
#include "lib/AtomicFile.h"

namespace miravel {
namespace {

using testing::LibraryTest;

// A page as a browser reads it: UTF-16 little-endian after its byte order mark.
std::string pageText(const std::filesystem::path& path) {
    const std::string bytes = readFile(path).value();
    EXPECT_TRUE(bytes.starts_with("\xFF\xFE")) << path;
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    std::string text;
    icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())).toUTF8String(text);
    return text;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class HtmlExportTest : public LibraryTest {
protected:
    std::shared_ptr<Recipe> recipe(const std::optional<std::string>& name) {
        auto recipe = main().insert<Recipe>();
        recipe->setName(name);
        return recipe;
    }
    std::filesystem::path exportAll() {
        save();
        MiravelWindowController controller(*m_library);
        controller.populateCategoriesForExportView();
        const auto location = m_folder / "Site";
        const AlertText alert =
            controller.exportRecipes(MiravelWindowController::ExportFormat::Html, 0, location);
        EXPECT_EQ(alert.title, "Export Complete") << alert.message;
        return location;
    }
};

TEST_F(HtmlExportTest, NamesPagesApartAndListsThemInTheIndex) {
    recipe("soup");
    recipe("Soup");
    auto unnamed = recipe(std::nullopt);
    recipe("Soup #2 & more");
    const auto site = exportAll();
    EXPECT_TRUE(std::filesystem::exists(site / "Soup.html"));
    EXPECT_TRUE(std::filesystem::exists(site / "soup 2.html"));
    EXPECT_TRUE(std::filesystem::exists(site / ("Untitled Recipe " + unnamed->uid() + ".html")));
    const std::string index = pageText(site / "index.html");
    EXPECT_TRUE(contains(index, "<h1 class='fn'>Recipes (4)</h1>"));
    // Sorted by plain comparison: no name first, then upper case before lower case.
    const auto untitled = index.find(">Untitled Recipe 0<");
    const auto upper = index.find(">Soup<");
    const auto lower = index.find(">soup<");
    ASSERT_NE(untitled, std::string::npos);
    EXPECT_LT(untitled, upper);
    EXPECT_LT(upper, lower);
    // A "#" in a name must not turn the rest of the link into a fragment.
    EXPECT_TRUE(contains(index, "href=\"Soup%20%232%20%26%20more.html\"")) << index;
    EXPECT_TRUE(contains(index, ">Soup #2 &amp; more<"));
}

TEST_F(HtmlExportTest, PagesShowWhatTheRecipeHoldsAndEscapeIt) {
    auto pie = recipe("<script>alert(1)</script> pie");
    pie->setIngredients("For the sauce:\n  Note: add salt  \n\n1 cup <b>sugar</b>");
    pie->setDirections("Bake.\n\nServe.");
    pie->setRating(3);
    pie->setPrepTime("---");
    pie->setCookTime("1 hour");
    pie->setSourceUrl("https://example.org/pie?a=1&b=2");
    pie->addCategory(addCategory("sweet", 1));
    pie->addCategory(addCategory("Baking", 2));
    auto plain = recipe("Plain");
    plain->setSource("Grandma");
    plain->setRating(0);
    const auto site = exportAll();

    const std::string page = pageText(site / "scriptalert(1)script pie.html");
    EXPECT_FALSE(contains(page, "<script>"));
    EXPECT_TRUE(contains(page, "&lt;script&gt;alert(1)&lt;/script&gt; pie"));
    EXPECT_TRUE(contains(page, "<li class='ingredient section'>For the sauce:</li>"));
    EXPECT_TRUE(contains(page, "<li class='ingredient'>Note: add salt</li>"));
    EXPECT_TRUE(contains(page, "<li class='ingredient'>1 cup &lt;b&gt;sugar&lt;/b&gt;</li>"));
    EXPECT_TRUE(contains(page, "<p class='rating' value='3'>★★★</p>"));
    EXPECT_TRUE(contains(page, "<p class='categories'>Baking, sweet</p>"));
    EXPECT_FALSE(contains(page, "prepTime")) << "--- counts as empty";
    EXPECT_TRUE(contains(page, "<b>Cook:</b><span class='cookTime'> 1 hour</span>"));
    EXPECT_TRUE(contains(page,
                         "<a class='source' href='https://example.org/pie?a=1&amp;b=2'>"
                         "https://example.org/pie?a=1&amp;b=2</a>"));

    const std::string other = pageText(site / "Plain.html");
    EXPECT_FALSE(contains(other, "class='rating'"));
    EXPECT_FALSE(contains(other, "<p class='sourcebox'>")) << "no directions, so no source line";
    EXPECT_TRUE(other.starts_with("<html><head><meta content=\"miravelrecipe\" /><style"));
}

// Every text of an HTML document as a browser builds it, each trimmed; and whether the parser
// met anything it had to repair.
struct ParsedPage {
    std::set<std::string> texts;
    std::string title;
    bool repaired = false;
};

void collectTexts(xmlNode* node, ParsedPage& page) {
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_TEXT_NODE && node->content != nullptr) {
            std::string text(reinterpret_cast<const char*>(node->content));
            const auto first = text.find_first_not_of(" \t\n");
            if (first != std::string::npos) {
                page.texts.insert(text.substr(first, text.find_last_not_of(" \t\n") - first + 1));
            }
        }
        collectTexts(node->children, page);
    }
}

ParsedPage parsedPage(const std::string& utf8) {
    ParsedPage page;
    htmlParserCtxtPtr context = htmlNewParserCtxt();
    htmlDocPtr document =
        htmlCtxtReadMemory(context, utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                           HTML_PARSE_NONET | HTML_PARSE_NOWARNING | HTML_PARSE_NOERROR);
    page.repaired = document == nullptr || context->errNo != 0;
    if (document != nullptr) {
        collectTexts(xmlDocGetRootElement(document), page);
        xmlFreeDoc(document);
    }
    htmlFreeParserCtxt(context);
    return page;
}

TEST_F(HtmlExportTest, EveryPageReadsBackAsHtmlWithItsNameAndIngredients) {
    // Names and lines a careless page would break: markup, entities, quotes, non-Latin text.
    ASSERT_TRUE(parsedPage("<html><body><p>a<b>c</p></div></body></html>").repaired)
        << "the reader notices broken markup";
    std::vector<std::pair<std::string, std::vector<std::string>>> made;
    for (int i = 0; i < 50; ++i) {
        const std::string name = "Recipe " + std::to_string(i) +
                                 (i % 3 == 0 ? " <b>bold</b> & \"quoted\"" : " crème brûlée 卤肉");
        const std::vector<std::string> lines{std::to_string(i + 1) + " cups flour",
                                             "1/2 tsp salt & pepper", "2 eggs <large>"};
        auto made_recipe = recipe(name);
        made_recipe->setIngredients(lines[0] + "\n" + lines[1] + "\n" + lines[2]);
        made_recipe->setDirections("Mix.\nBake at 180 °C.");
        made.emplace_back(name, lines);
    }
    const auto site = exportAll();

    std::size_t pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(site)) {
        if (entry.path().extension() != ".html" || entry.path().filename() == "index.html") {
            continue;
        }
        ++pages;
        const ParsedPage page = parsedPage(pageText(entry.path()));
        EXPECT_FALSE(page.repaired) << entry.path();
        const auto recipe = std::ranges::find_if(
            made, [&](const auto& each) { return page.texts.contains(each.first); });
        ASSERT_NE(recipe, made.end()) << "no recipe name in " << entry.path();
        for (const auto& line : recipe->second) {
            EXPECT_TRUE(page.texts.contains(line)) << line << " in " << entry.path();
        }
    }
    EXPECT_EQ(pages, made.size());
    const ParsedPage index = parsedPage(pageText(site / "index.html"));
    EXPECT_FALSE(index.repaired);
    for (const auto& [name, lines] : made) {
        EXPECT_TRUE(index.texts.contains(name)) << name;
    }
}

TEST_F(HtmlExportTest, CopiesPhotosIntoTheImagesFolder) {
    auto soup = recipe("Soup");
    soup->setImageUrl("https://example.org/soup.jpg");
    soup->setPhoto(savePhoto(m_library->filesFolder(), testing::jpegOfSize(50, 40)).value());
    const auto site = exportAll();
    EXPECT_EQ(readFile(site / "images" / *soup->photo()).value(),
              readFile(*soup->photoPath()).value());
    EXPECT_TRUE(contains(pageText(site / "Soup.html"),
                         "\t<a href=\"https://example.org/soup.jpg\">\t<img class='photo' "
                         "src=\"images/" +
                             *soup->photo() + "\" />\n\t</a>\n"));
}

TEST_F(HtmlExportTest, ReplacesOnlyAnEarlierExportOrAnEmptyFolder) {
    recipe("Soup");
    save();
    std::vector<std::shared_ptr<Recipe>> recipes = liveRecipes();

    // An earlier export is replaced whole.
    const auto site = m_folder / "Site";
    ASSERT_TRUE(HtmlExport::exportRecipesToHtml(recipes, site));
    ASSERT_TRUE(writeFileAtomically(site / "stale.html", "old"));
    ASSERT_TRUE(HtmlExport::exportRecipesToHtml(recipes, site));
    EXPECT_FALSE(std::filesystem::exists(site / "stale.html"));
    EXPECT_TRUE(std::filesystem::exists(site / "Soup.html"));

    // A folder of the user's own is never touched.
    const auto documents = m_folder / "Documents";
    std::filesystem::create_directories(documents);
    ASSERT_TRUE(writeFileAtomically(documents / "thesis.odt", "years of work"));
    auto refused = HtmlExport::exportRecipesToHtml(recipes, documents);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(contains(refused.error().description, "holds other files"));
    EXPECT_EQ(readFile(documents / "thesis.odt").value(), "years of work");
    EXPECT_FALSE(std::filesystem::exists(documents / "index.html"));

    const auto empty = m_folder / "Empty";
    std::filesystem::create_directories(empty);
    EXPECT_TRUE(HtmlExport::exportRecipesToHtml(recipes, empty));
    EXPECT_TRUE(std::filesystem::exists(empty / "index.html"));

    ASSERT_TRUE(writeFileAtomically(m_folder / "file", "x"));
    EXPECT_FALSE(HtmlExport::exportRecipesToHtml(recipes, m_folder / "file"));
    std::size_t leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.path())) {
        leftovers += contains(entry.path().filename().string(), ".part-");
    }
    EXPECT_EQ(leftovers, 0u);
}

TEST(HtmlExportNames, CutsLongNamesAndFallsBackForNone) {
    EXPECT_EQ(HtmlExport::recipeName(std::string(300, 'a'), "x"), std::string(255, 'a'));
    EXPECT_EQ(HtmlExport::recipeName(std::string(254, 'a') + "\U0001F967", "x"),
              std::string(254, 'a'));
    EXPECT_EQ(HtmlExport::recipeName(std::nullopt, "3"), "Untitled Recipe 3");
    EXPECT_EQ(HtmlExport::recipeName(std::string(), "3"), "Untitled Recipe 3");
    EXPECT_FALSE(HtmlExport::notEmpty(std::string(" --- ")));
    EXPECT_FALSE(HtmlExport::notEmpty(std::string(" \n")));
    EXPECT_TRUE(HtmlExport::notEmpty(std::string("----")));
}

}  // namespace
}  // namespace miravel
