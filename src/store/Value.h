#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "lib/DateText.h"

namespace miravel {

struct EntityDescription;

// The identity of one stored object: its entity and its row. Handed out by the store when
// the object is inserted, so it never changes, not even when the object is first saved.
struct ObjectID {
    const EntityDescription* entity = nullptr;
    std::int64_t row = 0;

    bool isNull() const { return entity == nullptr; }
    bool operator==(const ObjectID&) const = default;
    auto operator<=>(const ObjectID&) const = default;
};

struct ObjectIDHash {
    std::size_t operator()(const ObjectID& id) const noexcept {
        return std::hash<std::int64_t>()(id.row) ^ (std::hash<const void*>()(id.entity) << 1);
    }
};

class Value;
using ValueList = std::vector<Value>;

// A value of an attribute, a predicate argument or a constant: nothing (nil), a boolean, an
// integer, a real number, a text, a moment, a reference to an object, or a list of values
// (the members of a to-many relationship, or the argument of "IN").
class Value {
public:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Timestamp,
                                 ObjectID, ValueList>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : m_storage(value) {}
    Value(int value) : m_storage(static_cast<std::int64_t>(value)) {}
    Value(std::int64_t value) : m_storage(value) {}
    Value(double value) : m_storage(value) {}
    Value(const char* value) : m_storage(std::string(value)) {}
    Value(std::string value) : m_storage(std::move(value)) {}
    Value(Timestamp value) : m_storage(value) {}
    Value(ObjectID value) : m_storage(value) {}
    Value(ValueList value) : m_storage(std::move(value)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(m_storage); }
    bool isBoolean() const { return std::holds_alternative<bool>(m_storage); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_storage); }
    bool isDouble() const { return std::holds_alternative<double>(m_storage); }
    bool isNumber() const { return isBoolean() || isInteger() || isDouble(); }
    bool isText() const { return std::holds_alternative<std::string>(m_storage); }
    bool isDate() const { return std::holds_alternative<Timestamp>(m_storage); }
    bool isObject() const { return std::holds_alternative<ObjectID>(m_storage); }
    bool isList() const { return std::holds_alternative<ValueList>(m_storage); }

    bool asBoolean() const { return std::get<bool>(m_storage); }
    std::int64_t asInteger() const { return std::get<std::int64_t>(m_storage); }
    const std::string& asText() const { return std::get<std::string>(m_storage); }
    Timestamp asDate() const { return std::get<Timestamp>(m_storage); }
    ObjectID asObject() const { return std::get<ObjectID>(m_storage); }
    const ValueList& asList() const { return std::get<ValueList>(m_storage); }

    // Numbers of any kind (and booleans, as 0 and 1) as a real number.
    double numeric() const;
    // Seconds since 1970 UTC, as stored.
    static double secondsOf(Timestamp moment);
    static Timestamp momentOf(double seconds);

    const Storage& storage() const { return m_storage; }
    bool operator==(const Value& other) const;

private:
    Storage m_storage;
};

}  // namespace miravel
