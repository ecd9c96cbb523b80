#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/YumImporter.h"

// Any bytes imported as a Yum XML export must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-yum_importer");
    fuzz.importWith<miravel::YumImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".xml");
    return 0;
}
