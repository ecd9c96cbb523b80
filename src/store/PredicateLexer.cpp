#include "store/PredicateLexer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "lib/Utf8.h"
#include "store/PredicateExpression.h"

namespace miravel {
namespace {

using TokenType = PredicateLexer::TokenType;
using Token = PredicateLexer::Token;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool identifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool identifierPart(char c) {
    return identifierStart(c) || isDigit(c);
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// A decimal too large or too small for a double saturates to infinity or zero, which is how
// description() writes infinities ("1e999"). Decides which by the position of the first
// significant digit.
double saturated(std::string_view number) {
    const bool negative = number.starts_with('-');
    long long position = 0;  // decimal exponent of the first significant digit, plus one
    bool seenSignificant = false;
    bool afterPoint = false;
    std::size_t i = negative ? 1 : 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        if (number[i] == '.') {
            afterPoint = true;
        } else if (!seenSignificant && number[i] == '0') {
            position -= afterPoint ? 1 : 0;
        } else if (!seenSignificant) {
            seenSignificant = true;
            position += afterPoint ? 0 : 1;
        } else if (!afterPoint) {
            ++position;
        }
    }
    long long exponent = 0;
    if (i < number.size()) {
        ++i;
        const bool negativeExponent = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) {
            ++i;
        }
        for (; i < number.size(); ++i) {
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
        }
        exponent = negativeExponent ? -exponent : exponent;
    }
    const double magnitude =
        seenSignificant && position + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

class Lexer {
public:
    explicit Lexer(std::string_view format) : m_format(format) {}

    Result<std::vector<Token>> run() {
        if (!tokenize()) {
            return std::unexpected(std::move(*m_error));
        }
        return std::move(m_tokens);
    }

private:
    bool tokenize() {
        std::size_t i = 0;
        while (true) {
            while (i < m_format.size() &&
                   (m_format[i] == ' ' || m_format[i] == '\t' || m_format[i] == '\n' ||
                    m_format[i] == '\r' || m_format[i] == '\f' || m_format[i] == '\v')) {
                ++i;
            }
            Token token;
            token.offset = i;
            if (i == m_format.size()) {
                m_tokens.push_back(std::move(token));
                return true;
            }
            std::size_t end = 0;
            if (!lexToken(i, token, end)) {
                return false;
            }
            token.source = m_format.substr(i, end - i);
            m_tokens.push_back(std::move(token));
            i = end;
        }
    }

    bool lexToken(std::size_t i, Token& token, std::size_t& end) {
        const char c = m_format[i];
        const char next = i + 1 < m_format.size() ? m_format[i + 1] : '\0';
        end = i + 1;
        const auto op = [&](PredicateOperator value, std::size_t length) {
            token.type = TokenType::Operator;
            token.op = value;
            end = i + length;
            return true;
        };
        const auto simple = [&](TokenType type, std::size_t length) {
            token.type = type;
            end = i + length;
            return true;
        };
        switch (c) {
            case '(':
                return simple(TokenType::LeftParenthesis, 1);
            case ')':
                return simple(TokenType::RightParenthesis, 1);
            case '{':
                return simple(TokenType::LeftBrace, 1);
            case '}':
                return simple(TokenType::RightBrace, 1);
            case '[':
                return simple(TokenType::LeftBracket, 1);
            case ']':
                return simple(TokenType::RightBracket, 1);
            case ',':
                return simple(TokenType::Comma, 1);
            case '.':
                return simple(TokenType::Dot, 1);
            case '=':
                if (next == '=') {
                    return op(PredicateOperator::Equal, 2);
                }
                if (next == '<') {
                    return op(PredicateOperator::LessOrEqual, 2);
                }
                if (next == '>') {
                    return op(PredicateOperator::GreaterOrEqual, 2);
                }
                return op(PredicateOperator::Equal, 1);
            case '!':
                return next == '=' ? op(PredicateOperator::NotEqual, 2) : simple(TokenType::Not, 1);
            case '<':
                if (next == '=') {
                    return op(PredicateOperator::LessOrEqual, 2);
                }
                if (next == '>') {
                    return op(PredicateOperator::NotEqual, 2);
                }
                return op(PredicateOperator::Less, 1);
            case '>':
                return next == '=' ? op(PredicateOperator::GreaterOrEqual, 2)
                                   : op(PredicateOperator::Greater, 1);
            case '&':
                if (next == '&') {
                    return simple(TokenType::And, 2);
                }
                return fail(i, "expected '&&'");
            case '|':
                if (next == '|') {
                    return simple(TokenType::Or, 2);
                }
                return fail(i, "expected '||'");
            case '%':
                if (next == '@') {
                    return simple(TokenType::ObjectArgument, 2);
                }
                if (next == 'K') {
                    return simple(TokenType::KeyArgument, 2);
                }
                return fail(i, "expected %@ or %K");
            case '$':
            case '@':
            case '#': {
                std::size_t j = i + 1;
                while (j < m_format.size() && identifierPart(m_format[j])) {
                    ++j;
                }
                if (j == i + 1 || !identifierStart(m_format[i + 1])) {
                    return fail(i, std::string("expected a name after '") + c + "'");
                }
                token.type = c == '$'   ? TokenType::Variable
                             : c == '@' ? TokenType::AtIdentifier
                                        : TokenType::Identifier;
                token.text = std::string(m_format.substr(i + 1, j - i - 1));
                token.escaped = c == '#';
                end = j;
                return true;
            }
            case '\'':
            case '"':
                return lexString(i, token, end);
            default:
                break;
        }
        if (isDigit(c) || (c == '-' && isDigit(next))) {
            return lexNumber(i, token, end);
        }
        if (identifierStart(c)) {
            std::size_t j = i;
            while (j < m_format.size() && identifierPart(m_format[j])) {
                ++j;
            }
            end = j;
            token.text = std::string(m_format.substr(i, j - i));
            classifyWord(token);
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            return fail(i, "unexpected character");
        }
        return fail(i, std::string("unexpected character '") + c + "'");
    }

    static void classifyWord(Token& token) {
        struct Word {
            const char* word;
            TokenType type;
            PredicateOperator op;
            PredicateModifier modifier;
        };
        using O = PredicateOperator;
        using M = PredicateModifier;
        using T = TokenType;
        static const Word kWords[] = {
            {"and", T::And, O::Equal, M::Direct},
            {"or", T::Or, O::Equal, M::Direct},
            {"not", T::Not, O::Equal, M::Direct},
            {"in", T::Operator, O::In, M::Direct},
            {"contains", T::Operator, O::Contains, M::Direct},
            {"beginswith", T::Operator, O::BeginsWith, M::Direct},
            {"endswith", T::Operator, O::EndsWith, M::Direct},
            {"like", T::Operator, O::Like, M::Direct},
            {"matches", T::Operator, O::Matches, M::Direct},
            {"any", T::Modifier, O::Equal, M::Any},
            {"some", T::Modifier, O::Equal, M::Any},
            {"all", T::Modifier, O::Equal, M::All},
            {"none", T::Modifier, O::Equal, M::None},
            {"truepredicate", T::TruePredicate, O::Equal, M::Direct},
            {"falsepredicate", T::FalsePredicate, O::Equal, M::Direct},
        };
        token.type = TokenType::Identifier;
        if (!PredicateExpression::isReservedWord(token.text)) {
            return;
        }
        const std::string lower = lowercase(token.text);
        if (lower == "yes" || lower == "true" || lower == "no" || lower == "false") {
            token.type = TokenType::Literal;
            token.value = Value(lower == "yes" || lower == "true");
            return;
        }
        if (lower == "nil" || lower == "null") {
            token.type = TokenType::Literal;
            return;
        }
        for (const Word& word : kWords) {
            if (lower == word.word) {
                token.type = word.type;
                token.op = word.op;
                token.modifier = word.modifier;
                return;
            }
        }
    }

    bool lexString(std::size_t start, Token& token, std::size_t& end) {
        const char quoteCharacter = m_format[start];
        std::string text;
        std::size_t i = start + 1;
        while (i < m_format.size() && m_format[i] != quoteCharacter) {
            if (m_format[i] != '\\') {
                text.push_back(m_format[i++]);
                continue;
            }
            if (i + 1 == m_format.size()) {
                break;
            }
            const std::size_t escape = i;
            const char kind = m_format[i + 1];
            i += 2;
            switch (kind) {
                case '\\':
                case '\'':
                case '"':
                    text.push_back(kind);
                    break;
                case 'n':
                    text.push_back('\n');
                    break;
                case 'r':
                    text.push_back('\r');
                    break;
                case 't':
                    text.push_back('\t');
                    break;
                case '0':
                    text.push_back('\0');
                    break;
                case 'x': {
                    const int high = i < m_format.size() ? hexDigitValue(m_format[i]) : -1;
                    const int low = i + 1 < m_format.size() ? hexDigitValue(m_format[i + 1]) : -1;
                    if (high < 0 || low < 0) {
                        return fail(escape, "expected two hexadecimal digits after \\x");
                    }
                    text.push_back(static_cast<char>(high * 16 + low));
                    i += 2;
                    break;
                }
                case 'u': {
                    std::optional<char32_t> c = readUnicodeEscape(i);
                    if (c && *c >= 0xD800 && *c < 0xDC00 && i + 1 < m_format.size() &&
                        m_format[i] == '\\' && m_format[i + 1] == 'u') {
                        std::size_t after = i + 2;
                        const std::optional<char32_t> low = readUnicodeEscape(after);
                        if (low && *low >= 0xDC00 && *low < 0xE000) {
                            c = 0x10000 + ((*c - 0xD800) << 10) + (*low - 0xDC00);
                            i = after;
                        }
                    }
                    if (!c) {
                        return fail(escape, "expected four hexadecimal digits after \\u");
                    }
                    if (*c >= 0xD800 && *c < 0xE000) {
                        return fail(escape, "\\u escape of a lone surrogate");
                    }
                    appendUtf8(text, *c);
                    break;
                }
                default:
                    return fail(escape, "unknown escape in string");
            }
        }
        if (i >= m_format.size() || m_format[i] != quoteCharacter) {
            return fail(start, "unterminated string");
        }
        token.type = TokenType::Literal;
        token.value = Value(std::move(text));
        end = i + 1;
        return true;
    }

    // Four hex digits at `i`, which moves past them.
    std::optional<char32_t> readUnicodeEscape(std::size_t& i) const {
        if (i + 4 > m_format.size()) {
            return std::nullopt;
        }
        char32_t c = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int digit = hexDigitValue(m_format[i + k]);
            if (digit < 0) {
                return std::nullopt;
            }
            c = c * 16 + static_cast<char32_t>(digit);
        }
        i += 4;
        return c;
    }

    bool lexNumber(std::size_t start, Token& token, std::size_t& end) {
        std::size_t i = start + (m_format[start] == '-' ? 1 : 0);
        while (i < m_format.size() && isDigit(m_format[i])) {
            ++i;
        }
        bool integral = true;
        if (i + 1 < m_format.size() && m_format[i] == '.' && isDigit(m_format[i + 1])) {
            integral = false;
            i += 1;
            while (i < m_format.size() && isDigit(m_format[i])) {
                ++i;
            }
        }
        if (i < m_format.size() && (m_format[i] == 'e' || m_format[i] == 'E')) {
            std::size_t j = i + 1;
            if (j < m_format.size() && (m_format[j] == '+' || m_format[j] == '-')) {
                ++j;
            }
            if (j < m_format.size() && isDigit(m_format[j])) {
                integral = false;
                i = j;
                while (i < m_format.size() && isDigit(m_format[i])) {
                    ++i;
                }
            }
        }
        const std::string_view text = m_format.substr(start, i - start);
        token.type = TokenType::Literal;
        end = i;
        if (integral) {
            std::int64_t integer = 0;
            const auto [last, error] =
                std::from_chars(text.data(), text.data() + text.size(), integer);
            if (error == std::errc() && last == text.data() + text.size()) {
                token.value = Value(integer);
                return true;
            }
        }
        double real = 0;
        const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), real);
        if (error == std::errc::result_out_of_range) {
            real = saturated(text);
        } else if (error != std::errc() || last != text.data() + text.size()) {
            return fail(start, "invalid number");
        }
        token.value = Value(real);
        return true;
    }

    bool fail(std::size_t offset, const std::string& message,
              Predicate::ErrorCode code = Predicate::ErrorCode::Syntax) {
        if (!m_error) {
            std::size_t characters = 0;
            for (std::size_t i = 0; i < offset && i < m_format.size(); ++i) {
                characters += (static_cast<unsigned char>(m_format[i]) & 0xC0) != 0x80 ? 1 : 0;
            }
            m_error = Error{
                kPredicateErrorDomain,
                static_cast<int>(code),
                "Invalid predicate at character " + std::to_string(characters) + ": " + message,
                {}};
        }
        return false;
    }

    std::string_view m_format;
    std::vector<Token> m_tokens;
    std::optional<Error> m_error;
};

}  // namespace

Result<std::vector<Token>> PredicateLexer::tokenize(std::string_view format) {
    return Lexer(format).run();
}

Error PredicateLexer::error(std::string_view format, std::size_t offset, const std::string& message,
                            Predicate::ErrorCode code) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < offset && i < format.size(); ++i) {
        characters += (static_cast<unsigned char>(format[i]) & 0xC0) != 0x80 ? 1 : 0;
    }
    return Error{kPredicateErrorDomain,
                 static_cast<int>(code),
                 "Invalid predicate at character " + std::to_string(characters) + ": " + message,
                 {}};
}

bool PredicateLexer::isIdentifierStart(char c) {
    return identifierStart(c);
}

bool PredicateLexer::isIdentifierPart(char c) {
    return identifierPart(c);
}

std::string PredicateLexer::lowercased(std::string_view text) {
    return lowercase(text);
}

}  // namespace miravel
