#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/RecipeMLImporter.h"

// Any bytes imported as a RecipeML document must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-recipeml_importer");
    fuzz.importWith<miravel::RecipeMLImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".xml");
    return 0;
}
