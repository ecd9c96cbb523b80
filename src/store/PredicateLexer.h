#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "store/Predicate.h"
#include "store/PredicateNode.h"

namespace miravel {

// Splits predicate text into tokens: punctuation, operators and keywords (case-insensitive),
// key names ("#name" for one that is a keyword), literals with their values, %@ and %K, and
// $VARIABLES.
class PredicateLexer {
public:
    enum class TokenType {
        End,
        LeftParenthesis,
        RightParenthesis,
        LeftBrace,
        RightBrace,
        LeftBracket,
        RightBracket,
        Comma,
        Dot,
        Operator,
        And,
        Or,
        Not,
        Modifier,
        TruePredicate,
        FalsePredicate,
        Literal,
        Identifier,
        AtIdentifier,  // "@count"
        ObjectArgument,
        KeyArgument,
        Variable,
    };

    struct Token {
        TokenType type = TokenType::End;
        std::size_t offset = 0;
        std::string_view source;  // the token's text in the format
        std::string text;         // Identifier, AtIdentifier, Variable: the name
        bool escaped = false;     // Identifier written with "#"
        Value value;              // Literal
        PredicateOperator op = PredicateOperator::Equal;
        PredicateModifier modifier = PredicateModifier::Direct;
    };

    // Every token of `format`, the last one End.
    [[nodiscard]] static Result<std::vector<Token>> tokenize(std::string_view format);

    // "Invalid predicate at character N: message", counting characters rather than bytes.
    static Error error(std::string_view format, std::size_t offset, const std::string& message,
                       Predicate::ErrorCode code = Predicate::ErrorCode::Syntax);

    static bool isIdentifierStart(char c);
    static bool isIdentifierPart(char c);
    static std::string lowercased(std::string_view text);
};

}  // namespace miravel
