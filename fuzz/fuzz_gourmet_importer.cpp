#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/GourmetImporter.h"

// Any bytes imported as a Gourmet XML file must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-gourmet_importer");
    fuzz.importWith<miravel::GourmetImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".grmt");
    return 0;
}
