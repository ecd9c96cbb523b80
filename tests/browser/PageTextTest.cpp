#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/HtmlText.h"
#include "browser/PageText.h"
#include "browser/SchemaRecipe.h"
#include "lib/JsonWriter.h"

namespace miravel {
namespace {

TEST(PageTextTest, EncodingFollowsMarkThenDeclarationThenUtf8) {
    struct Case {
        std::string bytes;
        std::string text;
        const char* encoding;
    };
    const Case cases[] = {
        {"<meta charset=\"iso-8859-1\">caf\xe9 \x93quoted\x94",
         "<meta charset=\"iso-8859-1\">caf\u00e9 \u201cquoted\u201d", "Windows-1252"},
        {"<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=latin1'>\xe9",
         "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=latin1'>\u00e9",
         "Windows-1252"},
        {"<meta charset=windows-1251>\xcf\xf0\xe8", "<meta charset=windows-1251>\u041f\u0440\u0438",
         "windows-1251"},
        // A mark outranks the declaration; the mark goes.
        {"\xef\xbb\xbf<meta charset=\"iso-8859-1\">caf\xc3\xa9",
         "<meta charset=\"iso-8859-1\">caf\u00e9", "UTF-8"},
        {std::string("\xff\xfe<\0a\0", 6), "<a", "UTF-16LE"},
        // No declaration: UTF-8, each bad byte one U+FFFD, the rest kept.
        {"Cr\xc3\xa8me \xe8 br\xc3\xbbl\xc3\xa9"
         "e",
         "Cr\u00e8me \ufffd br\u00fbl\u00e9e", "UTF-8"},
        // A declaration the page cannot mean (UTF-16 in ASCII bytes) or an unknown one.
        {"<meta charset=\"utf-16\">caf\xc3\xa9", "<meta charset=\"utf-16\">caf\u00e9", "UTF-8"},
        {"<meta charset=\"no-such-thing\">a", "<meta charset=\"no-such-thing\">a", "UTF-8"},
        // Declared UTF-8 is still repaired rather than misread as Latin-1.
        {"<meta charset=utf-8>Cr\xc3\xa8me \x80", "<meta charset=utf-8>Cr\u00e8me \ufffd", "UTF-8"},
    };
    for (const Case& c : cases) {
        const DecodedText decoded = decodePage(c.bytes);
        EXPECT_EQ(decoded.text, c.text) << c.bytes;
        EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes;
    }
    // Only the first bytes count.
    EXPECT_EQ(declaredCharset(std::string(5000, ' ') + "<meta charset=latin1>"), "");
    EXPECT_EQ(
        declaredCharset("<meta name=\"x\" content=\"charset=koi8-r\"><meta charset='EUC-JP'>"),
        "EUC-JP");
}

TEST(PageTextTest, JsonLdBlocksAsATokenizerSeesThem) {
    const std::string page =
        "<script type=\"application/ld+json\">{\"a\":1}</script>"
        "<!-- <script type=\"application/ld+json\">{\"commented\":1}</script> -->"
        "<SCRIPT TYPE='Application/LD+JSON; charset=utf-8' data-x=\"a>b\">[2]</SCRIPT >"
        "<script>var s = '<script type=\"application/ld+json\">{}';</script>"
        "<script type=\"text/javascript\">{\"b\":3}</script>"
        "<scripts type=\"application/ld+json\">no</scripts>"
        "<script type=application/ld+json>{\"unquoted\":4}</script>"
        "<script><!-- document.write('<script>x</script>"
        "<script type=\"application/ld+json\">{\"inside\":1}</script>'); --></script>"
        "<script type=\"application/ld+json\"><!--{\"escaped\":6}--></script>"
        "<script type=\"application/ld+json\">{\"unterminated\":5}";
    EXPECT_EQ(jsonLdBlocks(page),
              (std::vector<std::string_view>{"{\"a\":1}", "[2]", "{\"unquoted\":4}",
                                             "<!--{\"escaped\":6}-->", "{\"unterminated\":5}"}));
}

TEST(PageTextTest, ScriptStyleAndSvgContentsGoTheirElementsStay) {
    EXPECT_EQ(pageForTree("<p>a</p><script src=x>var t = '<p>no</p>';</script><STYLE>p{}</STYLE >"
                          "<!-- <script> --><p>b</p><scripted>c</scripted>"
                          "<svg class=i><path d=\"M0\"/></svg><p>c</p>"
                          "<script>x</scripts></script ><script>unterminated"),
              "<p>a</p><script src=x></script><STYLE></STYLE ><!-- <script> --><p>b</p>"
              "<scripted>c</scripted><svg class=i></svg><p>c</p><script></script ><script>");
}

TEST(PageTextTest, TheTreeKeepsTheAttributesItIsAskedForByteForByte) {
    using namespace std::string_view_literals;
    struct Case {
        std::string_view page;
        std::string_view forTree;
    };
    const Case cases[] = {
        {"<div id=a data-x='{\"y\":1}' CLASS=\"ingredients list\" onclick=go()>1 egg</div>",
         "<div CLASS=\"ingredients list\">1 egg</div>"},
        // A '>' inside a quoted value is no tag's end; one in an unquoted value is.
        {"<img alt=\"a > b\" src='x.jpg' srcset=\"x.jpg 1x\"/><a href=/r/ title=t>r</a>",
         "<img src='x.jpg' /><a href=/r/>r</a>"},
        {"<p hidden style = \"display: none\" lang=en>x</p><p\nitemprop=name\nid=n>y</p>",
         "<p hidden style = \"display: none\">x</p><p itemprop=name>y</p>"},
        // Broken tags (a quote in a name, '=' starting one, an attribute right after a quoted
        // value, a stray slash) stay as they are: parsers read them in ways of their own.
        {"<p \"class=x\" =class=y class=\"z\"id=w>t</p><p id=1 / class=a>",
         "<p \"class=x\" =class=y class=\"z\"id=w>t</p><p id=1 / class=a>"},
        {"<p class=a id=b CLASS=c>t</p>", "<p class=a id=b CLASS=c>t</p>"},
        {"<p id=1\fclass=a>t</p><p id=\"a\0\" class=b><p id= class=c>"sv,
         "<p id=1\fclass=a>t</p><p id=\"a\0\" class=b><p id= class=c>"sv},
        // Text that looks like tags: in a title, a textarea, a comment, a bogus comment.
        {"<title>A <b id=1>bold</b> title</title><textarea id=t><i id=2></textarea>",
         "<title>A <b id=1>bold</b> title</title><textarea><i id=2></textarea>"},
        {"<!-- <p id=1> --><!--><p id=2><!---><?x <p id=3>?><!DOCTYPE html><p id=4>",
         "<!-- <p id=1> --><!--><p><!---><?x <p id=3>?><!DOCTYPE html><p>"},
        {"<!-- a --!><p id=1>b</p id=x></p>", "<!-- a --!><p>b</p id=x></p>"},
        {"<plaintext id=1><p id=2>", "<plaintext><p id=2>"},
        // A tag the page ends inside is dropped by the tokenizer: left as it is.
        {"<p id=1>a<p class=\"x", "<p>a<p class=\"x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pageForTree(c.page), c.forTree) << c.page;
    }
    EXPECT_TRUE(isAttributeForTree("itemprop"));
    EXPECT_FALSE(isAttributeForTree("id"));
}

TEST(PageTextTest, EntitiesAndTags) {
    EXPECT_EQ(decodeHtmlEntities("&amp;&lt;&gt;&quot;&#39;&#x27;&nbsp;&frac12;&eacute;"),
              "&<>\"''\u00a0\u00bd\u00e9");
    // Browsers read C1 references as Windows-1252; nonsense stays as written.
    EXPECT_EQ(decodeHtmlEntities("&#150;&#x92;&#0;&#xD800;&#99999999;"),
              "\u2013\u2019\ufffd\ufffd\ufffd");
    EXPECT_EQ(decodeHtmlEntities("AT&T &notanentity; &amp &#; &#x;"),
              "AT&T &notanentity; &amp &#; &#x;");
    EXPECT_EQ(plainTextOfHtml("<p>1 <b>small</b> onion</p><p>chopped</p>"),
              "1 small onion chopped");
    EXPECT_EQ(plainTextOfHtml("&lt;strong&gt;Salt&lt;/strong&gt; &amp; pepper"), "Salt & pepper");
    EXPECT_EQ(plainTextOfHtml("cook < 5 minutes, then > 2"), "cook < 5 minutes, then > 2");
    EXPECT_EQ(plainTextOfHtml("  2\u00a0cups\u2009flour\u200b \n\t"), "2 cups flour");
    EXPECT_EQ(collapsedWhiteSpace("\u3000a\r\n b\u00a0"), "a b");
}

TEST(PageTextTest, LenientJsonTakesWhatSitesEmit) {
    struct Case {
        const char* text;
        const char* strict;
    };
    const Case cases[] = {
        {"{\"a\":[1,2,],}", "{\"a\":[1,2]}"},
        {"{\"a\":\"line\none\ttab\"}", "{\"a\":\"line\\none\\ttab\"}"},
        {"<!--\n{\"a\":1}\n-->", "{\"a\":1}"},
        {"//<![CDATA[\n{\"a\":1}\n//]]>", "{\"a\":1}"},
        {"/* x */ {\"a\":\"it\\'s\"};", "{\"a\":\"it's\"}"},
        {"{\"a\":\"\\u00e9\\uZZ\"}", "{\"a\":\"\u00e9\\\\uZZ\"}"},
        {"{\"url\":\"http://x.example//y\"}", "{\"url\":\"http:\\/\\/x.example\\/\\/y\"}"},
    };
    for (const Case& c : cases) {
        auto value = parseLenientJson(c.text);
        ASSERT_TRUE(value) << c.text << ": " << value.error().description;
        EXPECT_EQ(JsonWriter::write(*value), c.strict) << c.text;
    }
    for (const char* broken : {"", "{", "{\"a\":}", "not json"}) {
        EXPECT_FALSE(parseLenientJson(broken)) << broken;
    }
}

TEST(PageTextTest, RecipesFoundAnywhereInTheDocument) {
    auto document = parseLenientJson(R"([
        {"@type":"WebPage","mainEntity":{"@type":"schema:Recipe","name":"A"}},
        {"@graph":[{"@type":"Person"},{"@type":["HowTo","http://schema.org/Recipe"],"name":"B"}]},
        {"@type":"ItemList","itemListElement":[{"item":{"@type":"Recipe","name":"C"}}]},
        {"@type":"Recipeish","name":"no"}])");
    ASSERT_TRUE(document);
    std::vector<std::string> names;
    for (const JsonValue* recipe : findSchemaRecipes(*document)) {
        names.push_back(recipe->member("name")->asString());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C"}));
}

TEST(PageTextTest, SchemaValuesInEveryShapePagesUse) {
    auto recipe = parseLenientJson(R"({"@type":"Recipe","name":" Soup&nbsp;<em>Nice</em> ",
        "recipeYield":[4,"4 bowls"],"image":[[],{"@type":"ImageObject","contentUrl":"/a.jpg"}],
        "recipeIngredient":"1 cup water\n2 cups stock\n",
        "recipeInstructions":[{"@type":"HowToStep","itemListElement":[{"@type":"HowToDirection","text":"Heat."}],"text":"Heat it."},
                              {"@type":"HowToStep","name":"Simmer gently.","text":"Simmer gently. Add salt."},
                              {"@type":"HowToStep","name":"Serve it hot"},
                              "Eat."],
        "nutrition":"250 calories"})");
    ASSERT_TRUE(recipe);
    const PageRecipe page = recipeFromSchema(*recipe, "https://s.example/soup/");
    EXPECT_EQ(page.name, "Soup Nice");
    EXPECT_EQ(page.servings, "4");
    EXPECT_EQ(page.imageUrl, "https://s.example/a.jpg");
    EXPECT_EQ(page.ingredientLines(), (std::vector<std::string>{"1 cup water", "2 cups stock"}));
    EXPECT_EQ(page.directions, (std::vector<std::string>{"Heat it.", "Simmer gently. Add salt.",
                                                         "Serve it hot", "Eat."}));
    EXPECT_EQ(page.nutrition, "250 calories");
}

}  // namespace
}  // namespace miravel
