#include "store/PredicateExpression.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "store/EntityDescription.h"
#include "store/PredicateOperators.h"

namespace miravel {
namespace {

std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            // Valid UTF-8 is kept as it is; stray bytes are spelled out so that the text
            // reads back byte for byte.
            const std::size_t length = PredicateOperators::characterLength(text, i);
            if (length > 1) {
                result.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        switch (byte) {
            case '"':
                result += "\\\"";
                break;
            case '\\':
                result += "\\\\";
                break;
            case '\n':
                result += "\\n";
                break;
            case '\r':
                result += "\\r";
                break;
            case '\t':
                result += "\\t";
                break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    char escape[5];
                    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                    result += escape;
                } else {
                    result.push_back(static_cast<char>(byte));
                }
        }
        ++i;
    }
    result += '"';
    return result;
}

std::string describeDouble(double value) {
    if (std::isinf(value)) {
        // Reads back as infinity: the parser saturates numbers too large for a double.
        return value > 0 ? "1e999" : "-1e999";
    }
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), error == std::errc() ? end : buffer.data());
    if (text.find_first_of(".en") == std::string::npos) {
        text += ".0";  // stays a double when read back
    }
    return text;
}

// Exact to the microsecond, so that a date reads back as the same moment.
std::string describeDate(Timestamp moment) {
    const auto microseconds = moment.time_since_epoch().count();
    const bool negative = microseconds < 0;
    // Through unsigned, since the most negative count has no positive counterpart.
    const unsigned long long magnitude = negative
                                             ? 0ULL - static_cast<unsigned long long>(microseconds)
                                             : static_cast<unsigned long long>(microseconds);
    std::string text = negative ? "DATE(-" : "DATE(";
    text += std::to_string(magnitude / 1000000ULL);
    if (const unsigned long long fraction = magnitude % 1000000ULL; fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 6 - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.' + digits;
    }
    return text + ')';
}

}  // namespace

PredicateExpression PredicateExpression::constant(Value value) {
    PredicateExpression expression;
    expression.kind = Kind::Constant;
    expression.value = PredicateOperators::normalized(std::move(value));
    return expression;
}

PredicateExpression PredicateExpression::keyPath(std::string path, bool count) {
    PredicateExpression expression;
    expression.kind = Kind::KeyPath;
    expression.name = std::move(path);
    expression.count = count;
    return expression;
}

PredicateExpression PredicateExpression::variable(std::string name) {
    PredicateExpression expression;
    expression.kind = Kind::Variable;
    expression.name = std::move(name);
    return expression;
}

PredicateExpression PredicateExpression::list(std::vector<PredicateExpression> items) {
    bool constant = true;
    for (const PredicateExpression& item : items) {
        constant = constant && item.kind == Kind::Constant;
    }
    if (constant) {
        ValueList values;
        values.reserve(items.size());
        for (PredicateExpression& item : items) {
            values.push_back(std::move(item.value));
        }
        return PredicateExpression::constant(Value(std::move(values)));
    }
    PredicateExpression expression;
    expression.kind = Kind::List;
    expression.items = std::move(items);
    return expression;
}

bool PredicateExpression::hasVariables() const {
    return kind == Kind::Variable || kind == Kind::List;
}

Result<PredicateExpression> PredicateExpression::substituting(
    const PredicateVariables& variables) const {
    if (kind == Kind::Variable) {
        auto found = variables.find(name);
        if (found == variables.end()) {
            return makeError(kPredicateErrorDomain,
                             static_cast<int>(Predicate::ErrorCode::MissingVariable),
                             "No value for variable $" + name);
        }
        return constant(found->second);
    }
    if (kind == Kind::List) {
        std::vector<PredicateExpression> substituted;
        substituted.reserve(items.size());
        for (const PredicateExpression& item : items) {
            auto result = item.substituting(variables);
            if (!result) {
                return std::unexpected(std::move(result.error()));
            }
            substituted.push_back(std::move(*result));
        }
        return list(std::move(substituted));
    }
    return *this;
}

bool PredicateExpression::isReservedWord(std::string_view word) {
    static constexpr std::array<std::string_view, 21> kWords = {
        "and",  "or",      "not",   "in",   "contains", "beginswith",    "endswith",
        "like", "matches", "any",   "some", "all",      "none",          "yes",
        "no",   "true",    "false", "nil",  "null",     "truepredicate", "falsepredicate"};
    if (word.size() > 14) {
        return false;
    }
    std::string lower(word);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    for (std::string_view reserved : kWords) {
        if (lower == reserved) {
            return true;
        }
    }
    return false;
}

std::string PredicateExpression::describe(const Value& value) {
    if (value.isNull()) {
        return "nil";
    }
    if (value.isBoolean()) {
        return value.asBoolean() ? "YES" : "NO";
    }
    if (value.isInteger()) {
        return std::to_string(value.asInteger());
    }
    if (value.isDouble()) {
        return describeDouble(value.numeric());
    }
    if (value.isText()) {
        return quoted(value.asText());
    }
    if (value.isDate()) {
        return describeDate(value.asDate());
    }
    if (value.isObject()) {
        const ObjectID id = value.asObject();
        return "<" + (id.entity != nullptr ? id.entity->name : std::string("?")) + " " +
               std::to_string(id.row) + ">";
    }
    std::string text = "{";
    const ValueList& items = value.asList();
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : ", ") + describe(items[i]);
    }
    return text + "}";
}

std::string PredicateExpression::description() const {
    switch (kind) {
        case Kind::Constant:
            return describe(value);
        case Kind::Variable:
            return "$" + name;
        case Kind::List: {
            std::string text = "{";
            for (std::size_t i = 0; i < items.size(); ++i) {
                text += (i == 0 ? "" : ", ") + items[i].description();
            }
            return text + "}";
        }
        case Kind::KeyPath:
            break;
    }
    std::string text;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('.', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        const std::string_view component = std::string_view(name).substr(start, end - start);
        if (start != 0) {
            text += '.';
        }
        if (isReservedWord(component)) {
            text += '#';
        }
        text += component;
        start = end + 1;
    }
    return count ? text + ".@count" : text;
}

}  // namespace miravel
