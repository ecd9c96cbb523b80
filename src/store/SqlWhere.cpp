#include "store/SqlWhere.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "store/Database.h"
#include "store/Statement.h"

namespace miravel {
namespace {

void appendJsonNumber(std::string& json, double value) {
    if (std::isnan(value)) {
        json += "null";
    } else if (std::isinf(value)) {
        json += value > 0 ? "9e999" : "-9e999";
    } else if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
        json += std::to_string(static_cast<long long>(value));
    } else {
        std::array<char, 64> buffer{};
        const auto [end, error] =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
        json.append(buffer.data(), error == std::errc() ? end : buffer.data());
    }
}

void appendJsonText(std::string& json, const std::string& text) {
    json += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
}

void appendJson(std::string& json, const Value& value) {
    if (value.isNull() || (value.isObject() && value.asObject().isNull())) {
        json += "null";
    } else if (value.isBoolean()) {
        json += value.asBoolean() ? "1" : "0";
    } else if (value.isInteger()) {
        json += std::to_string(value.asInteger());
    } else if (value.isDouble() || value.isDate()) {
        appendJsonNumber(json, value.numeric());
    } else if (value.isText()) {
        appendJsonText(json, value.asText());
    } else if (value.isObject()) {
        json += std::to_string(value.asObject().row);
    } else {
        json += SqlWhere::jsonArray(value.asList());
    }
}

}  // namespace

std::string SqlWhere::jsonArray(const ValueList& items) {
    std::string json = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) {
            json += ',';
        }
        appendJson(json, items[i]);
    }
    return json + "]";
}

namespace {

// Hands `bind` the value in the form the store keeps it: nullptr for NULL, an integer, a
// double or a text. One place decides, for every kind of statement.
template <typename Bind>
Result<void> bindAsStored(const Value& value, Bind&& bind) {
    if (value.isNull() || (value.isObject() && value.asObject().isNull())) {
        return bind(nullptr);
    }
    if (value.isBoolean()) {
        return bind(std::int64_t{value.asBoolean() ? 1 : 0});
    }
    if (value.isInteger()) {
        return bind(value.asInteger());
    }
    if (value.isDouble() || value.isDate()) {
        return bind(value.numeric());
    }
    if (value.isObject()) {
        return bind(value.asObject().row);
    }
    if (value.isText()) {
        return bind(std::string_view(value.asText()));
    }
    return bind(std::string_view(SqlWhere::jsonArray(value.asList())));
}

template <typename... Calls>
struct Overloaded : Calls... {
    using Calls::operator()...;
};

}  // namespace

Result<void> SqlWhere::bind(Statement& statement, int index, const Value& value) {
    return bindAsStored(
        value, Overloaded{[&](std::nullptr_t) { return statement.bindNull(index); },
                          [&](std::int64_t number) { return statement.bindInt64(index, number); },
                          [&](double number) { return statement.bindDouble(index, number); },
                          [&](std::string_view text) { return statement.bindText(index, text); }});
}

Result<void> SqlWhere::bind(sqlite3_stmt* statement, int index, const Value& value) {
    auto checked = [index](int status) -> Result<void> {
        if (status != SQLITE_OK) {
            return makeError(
                kSqliteErrorDomain, status,
                "Cannot bind parameter " + std::to_string(index) + ": " + sqlite3_errstr(status));
        }
        return {};
    };
    return bindAsStored(
        value,
        Overloaded{
            [&](std::nullptr_t) { return checked(sqlite3_bind_null(statement, index)); },
            [&](std::int64_t number) {
                return checked(sqlite3_bind_int64(statement, index, number));
            },
            [&](double number) { return checked(sqlite3_bind_double(statement, index, number)); },
            [&](std::string_view text) {
                return checked(sqlite3_bind_text64(statement, index, text.data(), text.size(),
                                                   SQLITE_TRANSIENT, SQLITE_UTF8));
            }});
}

Result<void> SqlWhere::bindTo(Statement& statement, int firstIndex) const {
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (auto bound = bind(statement, firstIndex + static_cast<int>(i), bindings[i]); !bound) {
            return bound;
        }
    }
    return {};
}

Result<void> SqlWhere::bindTo(sqlite3_stmt* statement, int firstIndex) const {
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (auto bound = bind(statement, firstIndex + static_cast<int>(i), bindings[i]); !bound) {
            return bound;
        }
    }
    return {};
}

}  // namespace miravel
