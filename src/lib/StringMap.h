#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace miravel {

// Hashes any string-like key, so maps keyed by std::string can be searched with a
// std::string_view without building a string first.
//
// FNV-1a: the keys are short words looked up many times per ingredient line, where it is
// several times cheaper than the library's general-purpose hash.
struct TransparentStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        std::uint64_t hash = 0xcbf29ce484222325ull;
        for (char c : text) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        }
        return static_cast<std::size_t>(hash ^ (hash >> 32));
    }
};

template <typename T>
using StringMap = std::unordered_map<std::string, T, TransparentStringHash, std::equal_to<>>;

}  // namespace miravel
