#pragma once

#include <gumbo.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace miravel {

// A page parsed into the HTML5 tree browsers build (gumbo). Pages nest deeply (100,000
// levels happen in the wild and in attacks), so nothing here recurses over the tree. The tree
// lives in an arena of its own that goes with the document in one piece: gumbo's own freeing
// recurses over the tree, and a page's many small allocations cost more than its parse.
class HtmlDocument {
public:
    explicit HtmlDocument(std::string_view utf8);
    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    const GumboNode* root() const { return m_output->root; }
    // Every element in document order.
    const std::vector<const GumboNode*>& elements() const { return m_elements; }
    // The elements after `element` in document order that are not inside it, up to `limit`;
    // with `within`, only those inside that element (an ancestor of `element`).
    std::vector<const GumboNode*> following(const GumboNode* element, std::size_t limit,
                                            const GumboNode* within = nullptr) const;

private:
    class Arena;

    std::string m_text;  // gumbo's nodes point into it
    std::unique_ptr<Arena> m_arena;
    GumboOutput* m_output = nullptr;
    std::vector<const GumboNode*> m_elements;
    // For each element of m_elements, the index one past its last descendant.
    std::vector<std::size_t> m_subtreeEnds;
    std::unordered_map<const GumboNode*, std::size_t> m_indexes;
};

// Children of an element or of the document.
const GumboVector* childrenOf(const GumboNode* node);
// An attribute's value, or nothing.
const char* attribute(const GumboNode* element, const char* name);
bool isElement(const GumboNode* node, GumboTag tag);
// Whether the element's class attribute has a word that contains `part` (ASCII, any case).
bool classContains(const GumboNode* element, std::string_view part);

// The text an element shows, as lines: block elements and <br> break lines, script and style
// hold none, and each line's white space is collapsed. Empty lines are dropped.
std::vector<std::string> textLines(const GumboNode* node);
// The text on one line.
std::string textOf(const GumboNode* node);
// The text of an element that holds little: its lines, or nothing when its subtree has more
// than `mostNodes` nodes. Asking this of every element of a page stays linear in its size,
// where textLines of every element would take the square of its depth. `withoutHeadings`
// leaves out the headings inside it (a list item of a step that holds the next recipe's title).
std::optional<std::vector<std::string>> shortTextLines(const GumboNode* node,
                                                       std::size_t mostNodes = 64,
                                                       bool withoutHeadings = false);

}  // namespace miravel
