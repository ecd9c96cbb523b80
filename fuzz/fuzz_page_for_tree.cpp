// The page the fast path gives its HTML parser, against the page itself: outside svg and math
// (where the shortened page drops what the parser would have read), both must give the same
// elements with the same attributes the parser reads, and the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "browser/HtmlDocument.h"
#include "browser/PageText.h"

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

bool holdsNoCase(std::string_view text, std::string_view lowerNeedle) {
    std::string lowered(text);
    for (char& ch : lowered) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return lowered.find(lowerNeedle) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const miravel::DecodedText decoded = miravel::decodePage(bytes);
    const std::string_view page = decoded.text;
    const std::string shortened = miravel::pageForTree(page);
    if (holdsNoCase(page, "<svg") || holdsNoCase(page, "<math")) {
        return 0;
    }
    const miravel::HtmlDocument whole(page);
    const miravel::HtmlDocument tree(shortened);
    const auto& a = whole.elements();
    const auto& b = tree.elements();
    if (a.size() != b.size()) {
        fault("the shortened page gives another number of elements");
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i]->v.element.tag != b[i]->v.element.tag) {
            fault("the shortened page gives another element");
        }
        for (const std::string_view name : miravel::attributesForTree()) {
            const std::string key(name);
            const char* x = miravel::attribute(a[i], key.c_str());
            const char* y = miravel::attribute(b[i], key.c_str());
            if ((x == nullptr) != (y == nullptr) || (x != nullptr && std::string_view(x) != y)) {
                fault("the shortened page gives an element other attributes");
            }
        }
    }
    if (miravel::textLines(whole.root()) != miravel::textLines(tree.root())) {
        fault("the shortened page gives other text");
    }
    return 0;
}
