#pragma once

#include <gumbo.h>

#include <string>
#include <string_view>
#include <vector>

namespace miravel {

// A page parsed into the HTML5 tree browsers build (gumbo). Pages nest deeply (100,000
// levels happen in the wild and in attacks), so nothing here recurses over the tree, and the
// tree is flattened before gumbo, which does recurse, frees it.
class HtmlDocument {
public:
    explicit HtmlDocument(std::string_view utf8);
    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    const GumboNode* root() const { return m_output->root; }
    // Every element in document order.
    const std::vector<const GumboNode*>& elements() const { return m_elements; }

private:
    std::string m_text;  // gumbo's nodes point into it
    GumboOutput* m_output = nullptr;
    std::vector<const GumboNode*> m_elements;
};

// Children of an element or of the document.
const GumboVector* childrenOf(const GumboNode* node);
// An attribute's value, or nothing.
const char* attribute(const GumboNode* element, const char* name);
bool isElement(const GumboNode* node, GumboTag tag);
// Whether the element's class attribute has a word that contains `part` (ASCII, any case).
bool classContains(const GumboNode* element, std::string_view part);
// Whether `node` lies inside `ancestor` (or is it).
bool isInside(const GumboNode* node, const GumboNode* ancestor);

// The text an element shows, as lines: block elements and <br> break lines, script and style
// hold none, and each line's white space is collapsed. Empty lines are dropped.
std::vector<std::string> textLines(const GumboNode* node);
// The text on one line.
std::string textOf(const GumboNode* node);

}  // namespace miravel
