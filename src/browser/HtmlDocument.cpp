#include "browser/HtmlDocument.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstddef>
#include <cstdint>

#include "browser/HtmlText.h"
#include "browser/PageText.h"
#include "lib/TextPieces.h"

namespace miravel {

// A bump allocator: gumbo's frees are ignored and everything goes at once with the document.
// What gumbo frees while it parses are buffers it outgrew (each half the size of the next) and
// tokens it dropped, so the arena holds a small multiple of the tree. Memory the kernel hands
// out costs a page fault on first touch, which on a page of this size costs more than the
// parse, so each thread keeps a few blocks for the next page.
class HtmlDocument::Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (auto& block : m_blocks) {
            if (spareBlocks().size() < kSpareBlocks) {
                spareBlocks().push_back(std::move(block));
            }
        }
    }

    static void* allocate(void* arena, std::size_t size) {
        return static_cast<Arena*>(arena)->take(size);
    }
    static void release(void*, void*) {}

private:
    using Block = std::unique_ptr<std::byte[]>;
    static constexpr std::size_t kBlock = 256 * 1024;
    static constexpr std::size_t kSpareBlocks = 32;  // 8 MB a thread
    static constexpr std::size_t kAlignment = alignof(std::max_align_t);

    static std::vector<Block>& spareBlocks() {
        thread_local std::vector<Block> spare;
        return spare;
    }

    void* take(std::size_t size) {
        size = (std::max<std::size_t>(size, 1) + kAlignment - 1) & ~(kAlignment - 1);
        if (size > kBlock / 4) {
            // Large buffers get memory of their own, so a block's unused end stays small.
            return m_large.emplace_back(std::make_unique_for_overwrite<std::byte[]>(size)).get();
        }
        if (m_left < size) {
            if (spareBlocks().empty()) {
                m_blocks.push_back(std::make_unique_for_overwrite<std::byte[]>(kBlock));
            } else {
                m_blocks.push_back(std::move(spareBlocks().back()));
                spareBlocks().pop_back();
            }
            m_next = m_blocks.back().get();
            m_left = kBlock;
        }
        void* taken = m_next;
        m_next += size;
        m_left -= size;
        return taken;
    }

    std::vector<Block> m_blocks;  // kBlock bytes each
    std::vector<Block> m_large;
    std::byte* m_next = nullptr;
    std::size_t m_left = 0;
};

HtmlDocument::HtmlDocument(std::string_view utf8)
    : m_text(utf8), m_arena(std::make_unique<Arena>()) {
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::release;
    options.userdata = m_arena.get();
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

// The arena holds the whole tree.
HtmlDocument::~HtmlDocument() = default;

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
    // The fast path's tree holds only these.
    assert(isAttributeForTree(name));
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
