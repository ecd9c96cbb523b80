#include "lib/APDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace miravel {
namespace {

TEST(APDocument, BuildsElementsAttributesAndUntrimmedValues) {
    const APDocument document = APDocument::documentWithXMLString(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mx2 source=\"MC\">\n"
        "  <RcpE name=\"A &amp; B\" author=\"me\">\n    <CatT>Soup</CatT>\n"
        "    <CatT>Fast</CatT><Other/>\n  </RcpE>\n  <RcpE name=\"Caf&#233;\"><![CDATA[raw "
        "<text>]]></RcpE>\n"
        "</mx2>");
    EXPECT_EQ(document.error(), "");
    const APElement* root = document.root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name(), "mx2");
    EXPECT_EQ(root->valueForAttributeNamed("source"), "MC");
    EXPECT_EQ(root->valueForAttributeNamed("missing"), std::nullopt);
    const auto recipes = root->childElements("RcpE");
    ASSERT_EQ(recipes.size(), 2u);
    EXPECT_EQ(recipes[0]->valueForAttributeNamed("name"), "A & B");
    EXPECT_EQ(recipes[0]->line(), 3u);
    EXPECT_EQ(recipes[0]->parent(), root);
    const auto categories = recipes[0]->childElements("CatT");
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0]->value(), "Soup");
    EXPECT_EQ(categories[1]->value(), "Fast");
    // The value holds the line breaks and indentation between the children.
    EXPECT_EQ(recipes[0]->value(), "\n    \n    \n  ");
    EXPECT_EQ(recipes[0]->firstChildElementNamed("Other")->value(), std::nullopt);
    EXPECT_EQ(recipes[0]->firstChildElementNamed("None"), nullptr);
    EXPECT_TRUE(recipes[0]->childElements("None").empty());
    EXPECT_EQ(recipes[1]->valueForAttributeNamed("name"), "Caf\u00e9");
    EXPECT_EQ(recipes[1]->value(), "raw <text>");
    // Queries on an absent element answer nothing.
    EXPECT_EQ(firstChildElementNamed(nullptr, "x"), nullptr);
    EXPECT_EQ(valueOf(firstChildElementNamed(recipes[1], "x")), std::nullopt);
    EXPECT_EQ(valueForAttributeNamed(nullptr, "x"), std::nullopt);
}

TEST(APDocument, KeepsWhatWasBuiltBeforeAnError) {
    const APDocument document = APDocument::documentWithXMLString(
        "<mx2>\n<RcpE name=\"One\"/>\n<RcpE name=\"Two\"><Serv qty=\"2\"/>\n<IngR & </mx2>");
    ASSERT_NE(document.root(), nullptr);
    EXPECT_NE(document.error(), "");
    EXPECT_EQ(document.errorLine(), 4u);
    const auto recipes = document.root()->childElements("RcpE");
    ASSERT_EQ(recipes.size(), 2u);
    EXPECT_EQ(valueForAttributeNamed(recipes[1]->firstChildElementNamed("Serv"), "qty"), "2");

    for (const char* text : {"", "plain text", "<?xml version=\"1.0\"?>", "</closed>"}) {
        const APDocument empty = APDocument::documentWithXMLString(text);
        EXPECT_EQ(empty.root(), nullptr) << text;
        EXPECT_NE(empty.error(), "") << text;
    }
    // Whatever follows the root's end is not part of the tree.
    const APDocument trailing = APDocument::documentWithXMLString("<a/><b/>");
    ASSERT_NE(trailing.root(), nullptr);
    EXPECT_EQ(trailing.root()->name(), "a");
    EXPECT_TRUE(trailing.root()->children().empty());
}

TEST(APDocument, EntityDeclarationsAreRefusedRatherThanExpanded) {
    const APDocument bomb = APDocument::documentWithXMLString(
        "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<r>&b;</r>");
    EXPECT_EQ(bomb.root(), nullptr);
    EXPECT_EQ(bomb.error(), "entity declarations are not read");
    const APDocument external =
        APDocument::documentWithXMLString("<!DOCTYPE r SYSTEM \"file:///etc/passwd\"><r>x</r>");
    ASSERT_NE(external.root(), nullptr);
    EXPECT_EQ(external.root()->value(), "x");
}

}  // namespace
}  // namespace miravel
