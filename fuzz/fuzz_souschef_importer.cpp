#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/SousChefImporter.h"

// Any bytes imported as a SousChef recipe file must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-souschef_importer");
    fuzz.importWith<miravel::SousChefImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".vrc");
    return 0;
}
