#include "lib/JsonValue.h"

#include <algorithm>

namespace miravel {

JsonObject::JsonObject(std::initializer_list<Member> members) {
    for (const auto& member : members) {
        set(member.first, member.second);
    }
}

JsonObject::JsonObject(std::vector<Member> members) {
    // Below this size the linear lookups of set() cost less than sorting.
    constexpr std::size_t kSortedSize = 16;
    if (members.size() <= kSortedSize) {
        m_members.reserve(members.size());
        for (auto& member : members) {
            set(std::move(member.first), std::move(member.second));
        }
        return;
    }
    // Sorting views of the keys finds repeated ones in n log n with a single allocation; the
    // index breaks ties so that each run of equal keys is in document order.
    std::vector<std::pair<std::string_view, std::size_t>> keys;
    keys.reserve(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        keys.emplace_back(members[i].first, i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<bool> dropped(members.size(), false);
    bool anyDropped = false;
    for (std::size_t first = 0, next = 1; first < keys.size(); first = next++) {
        while (next < keys.size() && keys[next].first == keys[first].first) {
            dropped[keys[next].second] = true;
            anyDropped = true;
            ++next;
        }
        if (next - first > 1) {
            members[keys[first].second].second = std::move(members[keys[next - 1].second].second);
        }
    }
    if (!anyDropped) {
        m_members = std::move(members);
        return;
    }
    m_members.reserve(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!dropped[i]) {
            m_members.push_back(std::move(members[i]));
        }
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

bool JsonObject::operator==(const JsonObject& other) const {
    return m_members == other.m_members;
}

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
