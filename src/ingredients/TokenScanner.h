#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ingredients/IngredientToken.h"

namespace miravel {

// A cursor over the tokens of one line, with look-ahead into the tokens not yet consumed
// and look-behind into the consumed ones. Consumed tokens are the prefix of the list, so
// nothing is copied as the scan moves on.
template <typename Token>
class BasicTokenScanner {
public:
    explicit BasicTokenScanner(std::span<const Token> tokens) : m_tokens(tokens) {}

    bool hasTokens() const { return m_position < m_tokens.size(); }

    // The next token, now consumed; null when none remain.
    const Token* next() { return hasTokens() ? &m_tokens[m_position++] : nullptr; }

    // n >= 0: the type of the unconsumed token n places ahead; n < 0: the consumed token
    // `count + n` (-1 is the current one). 0 outside the list.
    std::int32_t typeAt(std::ptrdiff_t n) const {
        const Token* token = at(n);
        return token == nullptr ? kTokenNone : token->type;
    }
    // The value of the unconsumed token n places ahead.
    const std::string* valueAt(std::ptrdiff_t n) const {
        if (n < 0) {
            return nullptr;
        }
        const Token* token = at(n);
        return token == nullptr ? nullptr : &token->value;
    }

    // Consumes up to n tokens and returns them.
    std::span<const Token> skip(std::size_t n) {
        std::size_t start = m_position;
        m_position = std::min(m_tokens.size(), m_position + n);
        return m_tokens.subspan(start, m_position - start);
    }

    // Whether the next tokens' values are exactly `words`, in order.
    bool matchSuffix(const std::vector<std::string>& words) const {
        if (m_tokens.size() - m_position < words.size()) {
            return false;
        }
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (m_tokens[m_position + i].value != words[i]) {
                return false;
            }
        }
        return true;
    }

    std::span<const Token> tokens() const { return m_tokens.subspan(m_position); }
    std::span<const Token> usedTokens() const { return m_tokens.first(m_position); }

private:
    const Token* at(std::ptrdiff_t n) const {
        // Ahead and behind meet at the cursor: look-behind -1 is the token just consumed.
        std::ptrdiff_t index = static_cast<std::ptrdiff_t>(m_position) + n;
        if (index < 0 || index >= static_cast<std::ptrdiff_t>(m_tokens.size())) {
            return nullptr;
        }
        return &m_tokens[static_cast<std::size_t>(index)];
    }

    std::span<const Token> m_tokens;
    std::size_t m_position = 0;
};

using TokenScanner = BasicTokenScanner<IngredientToken>;

}  // namespace miravel
