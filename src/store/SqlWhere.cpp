#include "store/SqlWhere.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

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

Result<void> SqlWhere::bind(sqlite3_stmt* statement, int index, const Value& value) {
    int status = SQLITE_OK;
    if (value.isNull() || (value.isObject() && value.asObject().isNull())) {
        status = sqlite3_bind_null(statement, index);
    } else if (value.isBoolean()) {
        status = sqlite3_bind_int64(statement, index, value.asBoolean() ? 1 : 0);
    } else if (value.isInteger()) {
        status = sqlite3_bind_int64(statement, index, value.asInteger());
    } else if (value.isDouble() || value.isDate()) {
        status = sqlite3_bind_double(statement, index, value.numeric());
    } else if (value.isObject()) {
        status = sqlite3_bind_int64(statement, index, value.asObject().row);
    } else {
        const std::string json = value.isText() ? std::string() : jsonArray(value.asList());
        const std::string& text = value.isText() ? value.asText() : json;
        status = sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
    }
    if (status != SQLITE_OK) {
        return makeError(
            kSqliteErrorDomain, status,
            "Cannot bind parameter " + std::to_string(index) + ": " + sqlite3_errstr(status));
    }
    return {};
}

Result<void> SqlWhere::bindTo(sqlite3_stmt* statement, int firstIndex) const {
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        auto bound = bind(statement, firstIndex + static_cast<int>(i), bindings[i]);
        if (!bound) {
            return bound;
        }
    }
    return {};
}

}  // namespace miravel
