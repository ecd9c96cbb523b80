#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace miravel {

class JsonValue;

// A JSON object that keeps its members in insertion order: the order is part of the
// byte-exact text (and so of content hashes). Setting an existing key replaces its value in
// place; lookups are linear, which is right for the small dictionaries the system exchanges.
class JsonObject {
public:
    using Member = std::pair<std::string, JsonValue>;

    JsonObject() = default;
    JsonObject(std::initializer_list<Member> members);
    // Same result as set() for each member in turn, but without the quadratic cost of set()
    // on large objects (a parsed document may hold very many members).
    explicit JsonObject(std::vector<Member> members);

    const JsonValue* find(std::string_view key) const;
    JsonValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    void set(std::string key, JsonValue value);
    bool remove(std::string_view key);

    // Defined after JsonValue: std::vector members may only be used once it is complete
    // (clang enforces this where gcc lets it pass).
    std::size_t size() const;
    bool empty() const;
    auto begin() const;
    auto end() const;
    auto begin();
    auto end();

    bool operator==(const JsonObject&) const;

private:
    std::vector<Member> m_members;
};

using JsonArray = std::vector<JsonValue>;

// One JSON value. Integers that fit 64 bits are kept apart from other numbers so that they
// print without a decimal point.
class JsonValue {
public:
    enum class Type { Null, Boolean, Integer, Double, String, Array, Object };

    JsonValue() = default;
    JsonValue(std::nullptr_t) {}
    JsonValue(bool value) : m_value(value) {}
    JsonValue(int value) : m_value(static_cast<std::int64_t>(value)) {}
    JsonValue(std::int64_t value) : m_value(value) {}
    JsonValue(double value) : m_value(value) {}
    JsonValue(const char* value) : m_value(std::string(value)) {}
    JsonValue(std::string value) : m_value(std::move(value)) {}
    JsonValue(std::string_view value) : m_value(std::string(value)) {}
    JsonValue(JsonArray value) : m_value(std::make_shared<JsonArray>(std::move(value))) {}
    JsonValue(JsonObject value) : m_value(std::make_shared<JsonObject>(std::move(value))) {}

    Type type() const { return static_cast<Type>(m_value.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBoolean() const { return type() == Type::Boolean; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isNumber() const { return isInteger() || type() == Type::Double; }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isObject() const { return type() == Type::Object; }

    // Accessors for a known type; asking for the wrong type is a programming error.
    bool asBoolean() const { return std::get<bool>(m_value); }
    std::int64_t asInteger() const { return std::get<std::int64_t>(m_value); }
    double asDouble() const;  // integers convert
    const std::string& asString() const { return std::get<std::string>(m_value); }
    const JsonArray& asArray() const { return *std::get<ArrayPtr>(m_value); }
    JsonArray& asArray() { return mutableShared<JsonArray>(); }
    const JsonObject& asObject() const { return *std::get<ObjectPtr>(m_value); }
    JsonObject& asObject() { return mutableShared<JsonObject>(); }

    // Member of an object, or nullptr when this is no object or has no such member.
    const JsonValue* member(std::string_view key) const;

    bool operator==(const JsonValue& other) const;

private:
    using ArrayPtr = std::shared_ptr<JsonArray>;
    using ObjectPtr = std::shared_ptr<JsonObject>;

    // Containers are shared until written (copy on write), so copying a large document is
    // cheap and values stay independent.
    template <typename T>
    T& mutableShared() {
        auto& pointer = std::get<std::shared_ptr<T>>(m_value);
        if (pointer.use_count() > 1) {
            pointer = std::make_shared<T>(*pointer);
        }
        return *pointer;
    }

    std::variant<std::monostate, bool, std::int64_t, double, std::string, ArrayPtr, ObjectPtr>
        m_value;
};

inline std::size_t JsonObject::size() const {
    return m_members.size();
}
inline bool JsonObject::empty() const {
    return m_members.empty();
}
inline auto JsonObject::begin() const {
    return m_members.begin();
}
inline auto JsonObject::end() const {
    return m_members.end();
}
inline auto JsonObject::begin() {
    return m_members.begin();
}
inline auto JsonObject::end() {
    return m_members.end();
}

}  // namespace miravel
