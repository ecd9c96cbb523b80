// The page parser over arbitrary bytes, by both of its paths: any page must end in a recipe or
// "no recipe", and every text that comes out must be valid UTF-8 (it goes into the library and
// to the service as it is).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "browser/RecipePageParser.h"
#include "lib/Utf8.h"

using miravel::PageRecipe;
using miravel::RecipePageParser;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void checkText(const PageRecipe& recipe) {
    const auto dictionary = miravel::recipeDictionary(recipe, "https://www.example.org/a/b");
    for (const auto& [key, value] : dictionary) {
        if (value.isString() && !miravel::isValidUtf8(value.asString())) {
            fault("a field is not UTF-8");
        }
    }
    if (recipe.name.find('\n') != std::string::npos) {
        fault("the name holds a line break");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    RecipePageParser::Options full;
    full.fastPath = false;
    const auto fast = RecipePageParser::parse(page, "https://www.example.org/a/b");
    const auto slow = RecipePageParser::parse(page, "https://www.example.org/a/b", full);
    if (fast) {
        checkText(*fast);
    }
    if (slow) {
        checkText(*slow);
    }
    return 0;
}
