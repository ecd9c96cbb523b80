#include "browser/HtmlDocument.h"

#include <cctype>
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
    std::vector<const GumboNode*> pending{m_output->document};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            m_elements.push_back(node);
        }
        if (const GumboVector* children = childrenOf(node)) {
            for (unsigned i = children->length; i-- > 0;) {
                pending.push_back(static_cast<const GumboNode*>(children->data[i]));
            }
        }
    }
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

bool isInside(const GumboNode* node, const GumboNode* ancestor) {
    for (; node != nullptr; node = node->parent) {
        if (node == ancestor) {
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

std::vector<std::string> textLines(const GumboNode* node) {
    std::string raw;
    // A null entry marks where a block element ends.
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* current = pending.back();
        pending.pop_back();
        if (current == nullptr) {
            raw.push_back('\n');
            continue;
        }
        switch (current->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                raw.append(current->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT: {
                const GumboTag tag = current->v.element.tag;
                if (holdsNoText(tag) && current != node) {
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

std::string textOf(const GumboNode* node) {
    return joined(textLines(node), " ");
}

}  // namespace miravel
