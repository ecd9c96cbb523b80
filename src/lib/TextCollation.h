#pragma once

#include <string_view>

namespace miravel {

// Orders two UTF-8 texts as the user's language sorts names, ignoring case but not accents
// ("apple" = "Apple" < "Äpfel" < "banana"). Negative, zero or positive. Safe from any thread.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

}  // namespace miravel
