#pragma once

#include <string>
#include <string_view>

namespace miravel {

// Orders two UTF-8 texts as the user's language sorts names, ignoring case but not accents
// ("apple" = "Apple", "Apfel" < "Äpfel" < "banana"). Negative, zero or positive. Safe from any
// thread.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

// Bytes that order as localizedCaseInsensitiveCompare orders the texts: sorting many texts
// by their keys compares each pair with one memcmp instead of a collation.
std::string localizedSortKey(std::string_view text);
// The same key appended to `keys`, for callers that keep many keys in one buffer.
void appendLocalizedSortKey(std::string_view text, std::string& keys);

}  // namespace miravel
