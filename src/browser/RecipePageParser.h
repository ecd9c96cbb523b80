#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "browser/PageRecipe.h"
#include "lib/Error.h"

namespace miravel {

inline constexpr const char* kRecipePageErrorDomain = "miravel.recipe-page";
inline constexpr const char* kNoRecipeFound = "No recipe found on this page.";

// Turns a web page into a recipe. Sources in order of trust: a schema.org Recipe in JSON-LD,
// then one in microdata, then the markup recipe plugins write (containers whose classes speak
// of ingredients and instructions), then an "Ingredients" heading followed by a list.
//
// When the page's JSON-LD holds a recipe with a name, ingredients and directions, the page
// is taken from a byte scan for its script elements alone, without building a tree: the
// full parse would take the same blocks, and it costs twenty times as much.
class RecipePageParser {
public:
    enum class ErrorCode { NoRecipe = 1 };

    struct Options {
        bool fastPath = true;
        // Only this much of a page is parsed into a tree (real pages stay under a few
        // megabytes); the JSON-LD scan reads all of it.
        std::size_t mostTreeBytes = std::size_t{8} << 20;
    };

    // `page` is the page's bytes in whatever encoding it declares; `pageUrl` its address,
    // against which relative image addresses resolve. Callers hand in the whole document,
    // not the body's markup alone: 44 of the 62 saved pages with JSON-LD keep it only in the
    // head, and the charset declaration is there too. A fragment still parses.
    [[nodiscard]] static Result<PageRecipe> parse(std::string_view page, std::string_view pageUrl);
    [[nodiscard]] static Result<PageRecipe> parse(std::string_view page, std::string_view pageUrl,
                                                  const Options& options);
};

}  // namespace miravel
