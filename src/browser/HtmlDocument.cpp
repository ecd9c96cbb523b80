#include "browser/HtmlDocument.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "browser/HtmlText.h"
#include "lib/TextPieces.h"

namespace miravel {

HtmlDocument::HtmlDocument(std::string_view utf8) : m_text(utf8) {
    GumboOptions options = kGumboDefaultOptions;
    // The parse errors are of no use here and recording them costs time.
    options.max_errors = 0;
    m_output = gumbo_parse_with_options(&options, m_text.data(), m_text.size());
    // A null entry closes the element pushed before it, to record where its subtree ends.
    std::vector<std::pair<const GumboNode*, bool>> pending{{m_output->document, false}};
    std::vector<std::size_t> open;
    while (!pending.empty()) {
        const auto [node, closing] = pending.back();
        pending.pop_back();
        if (closing) {
            m_subtreeEnds[open.back()] = m_elements.size();
            open.pop_back();
            continue;
        }
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            m_indexes.emplace(node, m_elements.size());
            open.push_back(m_elements.size());
            m_elements.push_back(node);
            m_subtreeEnds.push_back(0);
            pending.push_back({node, true});
        }
        if (const GumboVector* children = childrenOf(node)) {
            for (unsigned i = children->length; i-- > 0;) {
                pending.push_back({static_cast<const GumboNode*>(children->data[i]), false});
            }
        }
    }
}

std::vector<const GumboNode*> HtmlDocument::following(const GumboNode* element, std::size_t limit,
                                                      const GumboNode* within) const {
    std::vector<const GumboNode*> result;
    const auto found = m_indexes.find(element);
    if (found == m_indexes.end()) {
        return result;
    }
    std::size_t end = m_elements.size();
    if (within != nullptr) {
        const auto container = m_indexes.find(within);
        if (container == m_indexes.end()) {
            return result;
        }
        end = std::min(end, m_subtreeEnds[container->second]);
    }
    for (std::size_t i = m_subtreeEnds[found->second]; i < end && result.size() < limit; ++i) {
        result.push_back(m_elements[i]);
    }
    return result;
}

HtmlDocument::~HtmlDocument() {
    // gumbo_destroy_output frees the tree recursively, which a deep tree would end with a
    // stack overflow. Every node becomes a child of the document instead, with no children of
    // its own, so that it frees two levels. gumbo allocates with malloc by default.
    GumboNode* document = m_output->document;
    std::vector<GumboNode*> all;
    std::vector<GumboNode*> pending;
    for (unsigned i = 0; i < document->v.document.children.length; ++i) {
        pending.push_back(static_cast<GumboNode*>(document->v.document.children.data[i]));
    }
    while (!pending.empty()) {
        GumboNode* node = pending.back();
        pending.pop_back();
        all.push_back(node);
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            GumboVector& children = node->v.element.children;
            for (unsigned i = 0; i < children.length; ++i) {
                pending.push_back(static_cast<GumboNode*>(children.data[i]));
            }
            children.length = 0;
        }
    }
    GumboVector& top = document->v.document.children;
    void** flat = static_cast<void**>(std::malloc(sizeof(void*) * (all.size() + 1)));
    if (flat != nullptr) {
        std::free(top.data);
        std::memcpy(flat, all.data(), sizeof(void*) * all.size());
        top.data = flat;
        top.length = static_cast<unsigned>(all.size());
        top.capacity = static_cast<unsigned>(all.size() + 1);
    }
    gumbo_destroy_output(&kGumboDefaultOptions, m_output);
}

const GumboVector* childrenOf(const GumboNode* node) {
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        return &node->v.element.children;
    }
    if (node->type == GUMBO_NODE_DOCUMENT) {
        return &node->v.document.children;
    }
    return nullptr;
}

const char* attribute(const GumboNode* element, const char* name) {
    if (element->type != GUMBO_NODE_ELEMENT && element->type != GUMBO_NODE_TEMPLATE) {
        return nullptr;
    }
    const GumboAttribute* found = gumbo_get_attribute(&element->v.element.attributes, name);
    return found == nullptr ? nullptr : found->value;
}

bool isElement(const GumboNode* node, GumboTag tag) {
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag;
}

bool classContains(const GumboNode* element, std::string_view part) {
    const char* classes = attribute(element, "class");
    if (classes == nullptr) {
        return false;
    }
    const std::string_view text(classes);
    if (text.size() < part.size()) {
        return false;
    }
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size() &&
               std::tolower(static_cast<unsigned char>(text[at + i])) == part[i]) {
            ++i;
        }
        if (i == part.size()) {
            return true;
        }
    }
    return false;
}

namespace {

bool breaksLine(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_P:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_HR:
            return true;
        default:
            return false;
    }
}

bool holdsNoText(GumboTag tag) {
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_NOSCRIPT ||
           tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_BUTTON ||
           tag == GUMBO_TAG_SELECT || tag == GUMBO_TAG_IFRAME;
}

}  // namespace

namespace {

// The raw text of the subtree with a line break around each block, or nothing once more
// than `mostNodes` nodes were visited.
std::optional<std::string> rawText(const GumboNode* node, std::size_t mostNodes,
                                   bool withoutHeadings = false) {
    std::string raw;
    std::size_t visited = 0;
    // A null entry marks where a block element ends.
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* current = pending.back();
        pending.pop_back();
        if (current == nullptr) {
            raw.push_back('\n');
            continue;
        }
        if (++visited > mostNodes) {
            return std::nullopt;
        }
        switch (current->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                // A line break in the source is white space; lines end only where blocks do.
                for (const char* ch = current->v.text.text; *ch != 0; ++ch) {
                    raw.push_back(*ch == '\n' || *ch == '\r' ? ' ' : *ch);
                }
                break;
            case GUMBO_NODE_ELEMENT: {
                const GumboTag tag = current->v.element.tag;
                const bool heading = tag >= GUMBO_TAG_H1 && tag <= GUMBO_TAG_H6;
                if ((holdsNoText(tag) || (withoutHeadings && heading)) && current != node) {
                    break;
                }
                const bool block = breaksLine(tag);
                if (block) {
                    raw.push_back('\n');
                    pending.push_back(nullptr);
                }
                const GumboVector& children = current->v.element.children;
                for (unsigned i = children.length; i-- > 0;) {
                    pending.push_back(static_cast<const GumboNode*>(children.data[i]));
                }
                break;
            }
            default:
                break;
        }
    }
    return raw;
}

std::vector<std::string> linesOf(const std::string& raw) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= raw.size();) {
        const std::size_t end = std::min(raw.find('\n', start), raw.size());
        std::string line = collapsedWhiteSpace(std::string_view(raw).substr(start, end - start));
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> textLines(const GumboNode* node) {
    return linesOf(*rawText(node, SIZE_MAX));
}

std::optional<std::vector<std::string>> shortTextLines(const GumboNode* node, std::size_t mostNodes,
                                                       bool withoutHeadings) {
    auto raw = rawText(node, mostNodes, withoutHeadings);
    if (!raw) {
        return std::nullopt;
    }
    return linesOf(*raw);
}

std::string textOf(const GumboNode* node) {
    return joined(textLines(node), " ");
}

}  // namespace miravel
