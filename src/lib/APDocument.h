#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "lib/APElement.h"

namespace miravel {

// A small XML tree: the root element (the first element opened) and whatever was built under
// it. A text that stops parsing keeps what was built before the error, and says where it
// stopped; a text without any element gives a document without a root.
class APDocument {
public:
    // Parses UTF-8 text: whatever encoding its declaration claims, the text is read as UTF-8,
    // and entities and character references are decoded. No external entity or document type
    // definition is ever loaded.
    static APDocument documentWithXMLString(std::string_view text);

    const APElement* root() const { return m_root.get(); }
    // Empty when the whole text parsed.
    const std::string& error() const { return m_error; }
    std::size_t errorLine() const { return m_errorLine; }

private:
    friend class APXMLBuilder;
    std::unique_ptr<APElement> m_root;
    std::string m_error;
    std::size_t m_errorLine = 0;
};

}  // namespace miravel
