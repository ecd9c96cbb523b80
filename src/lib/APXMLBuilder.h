#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/APDocument.h"

namespace miravel {

// Builds an APDocument from the events of an event-driven XML parser: an element start adds
// a child to the open element and opens it, character data (CDATA sections included) is
// appended to the open element's value, an element end opens the parent again.
class APXMLBuilder {
public:
    explicit APXMLBuilder(APDocument& document) : m_document(document) {}

    void startElement(std::string_view name,
                      std::vector<std::pair<std::string, std::string>> attributes,
                      std::size_t line);
    void characters(std::string_view text);
    void endElement();
    void failed(std::string message, std::size_t line);

private:
    APDocument& m_document;
    APElement* m_open = nullptr;
    bool m_closed = false;  // the root has ended; nothing more belongs to the tree
};

}  // namespace miravel
