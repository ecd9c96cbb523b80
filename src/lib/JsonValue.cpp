#include "lib/JsonValue.h"

#include <algorithm>

namespace miravel {

JsonObject::JsonObject(std::initializer_list<Member> members) {
    for (const auto& member : members) {
        set(member.first, member.second);
    }
}

const JsonValue* JsonObject::find(std::string_view key) const {
    auto it = std::find_if(m_members.begin(), m_members.end(),
                           [&](const Member& member) { return member.first == key; });
    return it == m_members.end() ? nullptr : &it->second;
}

JsonValue* JsonObject::find(std::string_view key) {
    return const_cast<JsonValue*>(std::as_const(*this).find(key));
}

void JsonObject::set(std::string key, JsonValue value) {
    if (JsonValue* existing = find(key)) {
        *existing = std::move(value);
        return;
    }
    m_members.emplace_back(std::move(key), std::move(value));
}

bool JsonObject::remove(std::string_view key) {
    auto it = std::find_if(m_members.begin(), m_members.end(),
                           [&](const Member& member) { return member.first == key; });
    if (it == m_members.end()) {
        return false;
    }
    m_members.erase(it);
    return true;
}

bool JsonObject::operator==(const JsonObject& other) const { return m_members == other.m_members; }

double JsonValue::asDouble() const {
    if (isInteger()) {
        return static_cast<double>(asInteger());
    }
    return std::get<double>(m_value);
}

const JsonValue* JsonValue::member(std::string_view key) const {
    return isObject() ? asObject().find(key) : nullptr;
}

bool JsonValue::operator==(const JsonValue& other) const {
    if (type() != other.type()) {
        return false;
    }
    switch (type()) {
        case Type::Array:
            return asArray() == other.asArray();
        case Type::Object:
            return asObject() == other.asObject();
        default:
            return m_value == other.m_value;
    }
}

}  // namespace miravel
