#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace miravel {

// One element of a small XML tree read from a file: its name, attributes, child elements in
// document order, and the character data met directly inside it. The tree owns its elements;
// a parent pointer stays valid as long as the document does.
class APElement {
public:
    APElement(std::string name, std::vector<std::pair<std::string, std::string>> attributes,
              APElement* parent, std::size_t line)
        : m_name(std::move(name)),
          m_attributes(std::move(attributes)),
          m_parent(parent),
          m_line(line) {}

    const std::string& name() const { return m_name; }
    APElement* parent() const { return m_parent; }
    // The line of the file where the element begins (1 for the first).
    std::size_t line() const { return m_line; }
    const std::vector<std::pair<std::string, std::string>>& attributes() const {
        return m_attributes;
    }
    // All the character data directly inside, untrimmed (line breaks and indentation between
    // child elements included); nothing when there was none.
    const std::optional<std::string>& value() const { return m_value; }
    const std::vector<std::unique_ptr<APElement>>& children() const { return m_children; }

    // The direct children named exactly so, in order.
    std::vector<const APElement*> childElements(std::string_view name) const;
    const APElement* firstChildElementNamed(std::string_view name) const;
    std::optional<std::string> valueForAttributeNamed(std::string_view name) const;

    APElement& addChild(std::unique_ptr<APElement> child);
    void appendValue(std::string_view text);

private:
    std::string m_name;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    std::vector<std::unique_ptr<APElement>> m_children;
    std::optional<std::string> m_value;
    APElement* m_parent;
    std::size_t m_line;
};

// The queries on an element that may be absent: an absent element answers nothing.
inline const APElement* firstChildElementNamed(const APElement* element, std::string_view name) {
    return element == nullptr ? nullptr : element->firstChildElementNamed(name);
}
inline std::vector<const APElement*> childElements(const APElement* element,
                                                   std::string_view name) {
    return element == nullptr ? std::vector<const APElement*>{} : element->childElements(name);
}
inline std::optional<std::string> valueForAttributeNamed(const APElement* element,
                                                         std::string_view name) {
    return element == nullptr ? std::nullopt : element->valueForAttributeNamed(name);
}
inline std::optional<std::string> valueOf(const APElement* element) {
    return element == nullptr ? std::nullopt : element->value();
}

}  // namespace miravel
