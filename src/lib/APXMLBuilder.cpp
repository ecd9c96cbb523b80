#include "lib/APXMLBuilder.h"

#include <memory>

namespace miravel {

void APXMLBuilder::startElement(std::string_view name,
                                std::vector<std::pair<std::string, std::string>> attributes,
                                std::size_t line) {
    if (m_closed) {
        return;
    }
    auto element =
        std::make_unique<APElement>(std::string(name), std::move(attributes), m_open, line);
    if (m_open == nullptr) {
        m_document.m_root = std::move(element);
        m_open = m_document.m_root.get();
    } else {
        m_open = &m_open->addChild(std::move(element));
    }
}

void APXMLBuilder::characters(std::string_view text) {
    if (m_open != nullptr) {
        m_open->appendValue(text);
    }
}

void APXMLBuilder::endElement() {
    if (m_open == nullptr) {
        return;
    }
    m_open = m_open->parent();
    if (m_open == nullptr) {
        m_closed = true;
    }
}

void APXMLBuilder::failed(std::string message, std::size_t line) {
    m_document.m_error = std::move(message);
    m_document.m_errorLine = line;
}

}  // namespace miravel
