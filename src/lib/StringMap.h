#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace miravel {

// Hashes any string-like key, so maps keyed by std::string can be searched with a
// std::string_view without building a string first.
struct TransparentStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

template <typename T>
using StringMap = std::unordered_map<std::string, T, TransparentStringHash, std::equal_to<>>;

}  // namespace miravel
