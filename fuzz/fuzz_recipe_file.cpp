#include <cstdint>
#include <string_view>

#include "lib/Gzip.h"
#include "model/RecipeFile.h"

// A recipe file arrives by mail or download: any bytes must end in a JSON object or an
// error, within the inflate limit. Fed raw and, so that the JSON reader is reached too,
// gzip-compressed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)miravel::readRecipeFile(input);
    (void)miravel::readRecipeFile(miravel::gzipCompress(input));
    return 0;
}
