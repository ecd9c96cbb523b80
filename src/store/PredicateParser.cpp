#include "store/PredicateParser.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "store/Predicate.h"
#include "store/PredicateLexer.h"
#include "store/PredicateOperators.h"

namespace miravel {
namespace {

using TokenType = PredicateLexer::TokenType;
using Token = PredicateLexer::Token;

class Parser {
public:
    Parser(std::string_view format, const ValueList& arguments)
        : m_format(format), m_arguments(arguments) {}

    Result<PredicateNode::Pointer> run() {
        auto tokens = PredicateLexer::tokenize(m_format);
        if (!tokens) {
            return std::unexpected(std::move(tokens.error()));
        }
        m_tokens = std::move(*tokens);
        PredicateNode::Pointer root = parseOr(0);
        if (root != nullptr && peek().type != TokenType::End) {
            fail(peek().offset, "unexpected " + quote(peek()) + " after the end of the predicate");
            root = nullptr;
        }
        if (root != nullptr && m_nextArgument < m_arguments.size()) {
            fail(m_format.size(),
                 std::to_string(m_arguments.size()) + " arguments given but the format uses " +
                     std::to_string(m_nextArgument),
                 Predicate::ErrorCode::Arguments);
            root = nullptr;
        }
        if (root == nullptr) {
            return std::unexpected(std::move(*m_error));
        }
        return root;
    }

private:
    const Token& peek(std::size_t ahead = 0) const {
        return m_tokens[std::min(m_position + ahead, m_tokens.size() - 1)];
    }

    const Token& advance() {
        const Token& token = peek();
        if (m_position + 1 < m_tokens.size()) {
            ++m_position;
        }
        return token;
    }

    bool expect(TokenType type, const char* what) {
        if (peek().type != type) {
            return fail(peek().offset, std::string("expected ") + what + found());
        }
        advance();
        return true;
    }

    std::string found() const {
        return peek().type == TokenType::End ? " at the end" : " before " + quote(peek());
    }

    static std::string quote(const Token& token) {
        if (token.type == TokenType::End) {
            return "the end";
        }
        constexpr std::size_t kShown = 24;
        std::string text(token.source.substr(0, kShown));
        return "'" + text + (token.source.size() > kShown ? "...'" : "'");
    }

    bool tooDeep(int nesting) {
        if (nesting < PredicateParser::kMaxNesting) {
            return false;
        }
        fail(peek().offset, "nested too deeply");
        return true;
    }

    PredicateNode::Pointer limited(PredicateNode::Pointer node, std::size_t offset) {
        if (node != nullptr && node->depth > PredicateParser::kMaxDepth) {
            fail(offset, "nested too deeply");
            return nullptr;
        }
        return node;
    }

    PredicateNode::Pointer parseOr(int depth) { return parseCompound(depth, TokenType::Or); }

    PredicateNode::Pointer parseCompound(int depth, TokenType separator) {
        const std::size_t offset = peek().offset;
        std::vector<PredicateNode::Pointer> children;
        do {
            PredicateNode::Pointer child =
                separator == TokenType::Or ? parseCompound(depth, TokenType::And) : parseNot(depth);
            if (child == nullptr) {
                return nullptr;
            }
            children.push_back(std::move(child));
        } while (peek().type == separator && advance().type == separator);
        return limited(
            PredicateNode::compound(
                separator == TokenType::Or ? PredicateNode::Kind::Or : PredicateNode::Kind::And,
                std::move(children)),
            offset);
    }

    PredicateNode::Pointer parseNot(int depth) {
        if (peek().type != TokenType::Not) {
            return parsePrimary(depth);
        }
        const std::size_t offset = advance().offset;
        if (tooDeep(depth + 1)) {
            return nullptr;
        }
        PredicateNode::Pointer child = parseNot(depth + 1);
        return child == nullptr ? nullptr
                                : limited(PredicateNode::negation(std::move(child)), offset);
    }

    PredicateNode::Pointer parsePrimary(int depth) {
        switch (peek().type) {
            case TokenType::LeftParenthesis: {
                advance();
                if (tooDeep(depth + 1)) {
                    return nullptr;
                }
                PredicateNode::Pointer inner = parseOr(depth + 1);
                if (inner == nullptr || !expect(TokenType::RightParenthesis, "')'")) {
                    return nullptr;
                }
                return inner;
            }
            case TokenType::TruePredicate:
                advance();
                return PredicateNode::constant(true);
            case TokenType::FalsePredicate:
                advance();
                return PredicateNode::constant(false);
            default:
                return parseComparison(depth);
        }
    }

    PredicateNode::Pointer parseComparison(int depth) {
        PredicateModifier modifier = PredicateModifier::Direct;
        if (peek().type == TokenType::Modifier) {
            modifier = advance().modifier;
            if (peek().type != TokenType::Identifier && peek().type != TokenType::KeyArgument) {
                fail(peek().offset, "expected a to-many key path" + found());
                return nullptr;
            }
        }
        std::optional<PredicateExpression> lhs = parseExpression(depth);
        if (!lhs) {
            return nullptr;
        }
        if (peek().type != TokenType::Operator) {
            fail(peek().offset,
                 "expected an operator (==, !=, <, <=, >, >=, IN, CONTAINS, BEGINSWITH, "
                 "ENDSWITH, LIKE, MATCHES)" +
                     found());
            return nullptr;
        }
        const PredicateOperator op = advance().op;
        unsigned options = 0;
        if (peek().type == TokenType::LeftBracket) {
            advance();
            const Token& letters = peek();
            if (letters.type != TokenType::Identifier || letters.escaped) {
                fail(letters.offset, "expected options c, d or cd" + found());
                return nullptr;
            }
            for (std::size_t k = 0; k < letters.text.size(); ++k) {
                const char letter = letters.text[k];
                if (letter == 'c' || letter == 'C') {
                    options |= PredicateOperators::kCaseInsensitive;
                } else if (letter == 'd' || letter == 'D') {
                    options |= PredicateOperators::kDiacriticInsensitive;
                } else {
                    fail(letters.offset + k, "unknown option (expected c or d)");
                    return nullptr;
                }
            }
            advance();
            if (!expect(TokenType::RightBracket, "']'")) {
                return nullptr;
            }
        }
        std::optional<PredicateExpression> rhs = parseExpression(depth);
        if (!rhs) {
            return nullptr;
        }
        return PredicateNode::comparison(modifier, std::move(*lhs), op, options, std::move(*rhs));
    }

    std::optional<PredicateExpression> parseExpression(int depth) {
        const Token& token = peek();
        switch (token.type) {
            case TokenType::Literal:
                advance();
                return PredicateExpression::constant(token.value);
            case TokenType::ObjectArgument:
                if (m_nextArgument >= m_arguments.size()) {
                    fail(token.offset,
                         "no argument left for %@ (" + std::to_string(m_arguments.size()) +
                             " given)",
                         Predicate::ErrorCode::Arguments);
                    return std::nullopt;
                }
                advance();
                return PredicateExpression::constant(m_arguments[m_nextArgument++]);
            case TokenType::Variable:
                advance();
                return PredicateExpression::variable(token.text);
            case TokenType::LeftBrace:
                return parseList(depth);
            case TokenType::Identifier:
                if (!token.escaped && PredicateLexer::lowercased(token.text) == "date" &&
                    peek(1).type == TokenType::LeftParenthesis) {
                    return parseDate();
                }
                [[fallthrough]];
            case TokenType::KeyArgument:
                return parseKeyPath();
            default:
                fail(token.offset, "expected a key path or a value" + found());
                return std::nullopt;
        }
    }

    std::optional<PredicateExpression> parseList(int depth) {
        advance();
        if (tooDeep(depth + 1)) {
            return std::nullopt;
        }
        std::vector<PredicateExpression> items;
        if (peek().type != TokenType::RightBrace) {
            while (true) {
                const std::size_t offset = peek().offset;
                std::optional<PredicateExpression> item = parseExpression(depth + 1);
                if (!item) {
                    return std::nullopt;
                }
                if (item->kind == PredicateExpression::Kind::KeyPath) {
                    fail(offset, "a list holds values, not key paths");
                    return std::nullopt;
                }
                items.push_back(std::move(*item));
                if (peek().type != TokenType::Comma) {
                    break;
                }
                advance();
            }
        }
        if (!expect(TokenType::RightBrace, "',' or '}'")) {
            return std::nullopt;
        }
        return PredicateExpression::list(std::move(items));
    }

    // DATE(seconds since 1970, with up to nine decimals): read exactly, as description()
    // writes it, so that a date reads back to the nanosecond.
    std::optional<PredicateExpression> parseDate() {
        advance();
        advance();
        const Token& number = peek();
        std::string_view text = number.source;
        const bool negative = text.starts_with('-');
        if (number.type != TokenType::Literal ||
            !(number.value.isInteger() || number.value.isDouble())) {
            fail(number.offset, "expected seconds since 1970" + found());
            return std::nullopt;
        }
        if (negative) {
            text.remove_prefix(1);
        }
        const std::size_t point = text.find('.');
        const std::string_view whole = text.substr(0, point);
        const std::string_view fraction =
            point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
        std::int64_t seconds = 0;
        const bool plain = whole.find_first_not_of("0123456789") == std::string_view::npos &&
                           fraction.find_first_not_of("0123456789") == std::string_view::npos;
        const auto [last, error] =
            std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
        constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1000000 - 1;
        if (!plain || fraction.size() > 9 || error != std::errc() ||
            last != whole.data() + whole.size() || seconds > kLimit) {
            fail(number.offset, "expected seconds since 1970 with at most nine decimals, in range");
            return std::nullopt;
        }
        // Digits past the microsecond are below what a moment holds and are dropped.
        std::int64_t microseconds = seconds * 1000000;
        std::int64_t scale = 100000;
        for (const char digit : fraction) {
            microseconds += (digit - '0') * scale;
            scale /= 10;
        }
        advance();
        if (!expect(TokenType::RightParenthesis, "')'")) {
            return std::nullopt;
        }
        return PredicateExpression::constant(
            Value(Timestamp(std::chrono::microseconds(negative ? -microseconds : microseconds))));
    }

    std::optional<PredicateExpression> parseKeyPath() {
        std::string path;
        bool count = false;
        const Token& first = advance();
        if (first.type == TokenType::KeyArgument) {
            if (m_nextArgument >= m_arguments.size()) {
                fail(first.offset,
                     "no argument left for %K (" + std::to_string(m_arguments.size()) + " given)",
                     Predicate::ErrorCode::Arguments);
                return std::nullopt;
            }
            const Value& argument = m_arguments[m_nextArgument++];
            if (!argument.isText() || !validKeyPath(argument.asText(), path, count)) {
                fail(first.offset, "the argument for %K is not a key path",
                     Predicate::ErrorCode::Arguments);
                return std::nullopt;
            }
        } else {
            path = first.text;
        }
        while (!count && peek().type == TokenType::Dot) {
            advance();
            const Token& component = peek();
            if (component.type == TokenType::Identifier) {
                path += '.' + component.text;
            } else if (component.type == TokenType::AtIdentifier && component.text == "count") {
                count = true;
            } else if (component.type == TokenType::AtIdentifier) {
                fail(component.offset, "unknown key path operator (only @count is known)");
                return std::nullopt;
            } else {
                fail(component.offset, "expected a key after '.'" + found());
                return std::nullopt;
            }
            advance();
        }
        return PredicateExpression::keyPath(std::move(path), count);
    }

    static bool validKeyPath(std::string_view text, std::string& path, bool& count) {
        if (text.ends_with(".@count")) {
            count = true;
            text.remove_suffix(7);
        }
        std::size_t start = 0;
        while (true) {
            const std::size_t end = std::min(text.find('.', start), text.size());
            const std::string_view component = text.substr(start, end - start);
            if (component.empty() || !PredicateLexer::isIdentifierStart(component.front())) {
                return false;
            }
            for (const char c : component) {
                if (!PredicateLexer::isIdentifierPart(c)) {
                    return false;
                }
            }
            if (end == text.size()) {
                break;
            }
            start = end + 1;
        }
        path = std::string(text);
        return true;
    }

    bool fail(std::size_t offset, const std::string& message,
              Predicate::ErrorCode code = Predicate::ErrorCode::Syntax) {
        if (!m_error) {
            m_error = PredicateLexer::error(m_format, offset, message, code);
        }
        return false;
    }

    std::string_view m_format;
    const ValueList& m_arguments;
    std::vector<Token> m_tokens;
    std::size_t m_position = 0;
    std::size_t m_nextArgument = 0;
    std::optional<Error> m_error;
};

}  // namespace

Result<PredicateNode::Pointer> PredicateParser::parse(std::string_view format,
                                                      const ValueList& arguments) {
    return Parser(format, arguments).run();
}

}  // namespace miravel
