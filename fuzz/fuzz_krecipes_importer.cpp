#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/KRecipesImporter.h"

// Any bytes imported as a KRecipes XML file must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-krecipes_importer");
    fuzz.importWith<miravel::KRecipesImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".kreml");
    return 0;
}
