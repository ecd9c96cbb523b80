#include "lib/APElement.h"

namespace miravel {

std::vector<const APElement*> APElement::childElements(std::string_view name) const {
    std::vector<const APElement*> found;
    for (const auto& child : m_children) {
        if (child->name() == name) {
            found.push_back(child.get());
        }
    }
    return found;
}

const APElement* APElement::firstChildElementNamed(std::string_view name) const {
    for (const auto& child : m_children) {
        if (child->name() == name) {
            return child.get();
        }
    }
    return nullptr;
}

std::optional<std::string> APElement::valueForAttributeNamed(std::string_view name) const {
    for (const auto& [key, value] : m_attributes) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

APElement& APElement::addChild(std::unique_ptr<APElement> child) {
    m_children.push_back(std::move(child));
    return *m_children.back();
}

void APElement::appendValue(std::string_view text) {
    if (!m_value) {
        m_value.emplace();
    }
    m_value->append(text);
}

}  // namespace miravel
