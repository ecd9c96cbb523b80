#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/YummySoupImporter.h"

// Any bytes imported as a YummySoup property list, with the older text syntax inside must leave the
// library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-yummysoup_importer");
    fuzz.importWith<miravel::YummySoupImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".ysr");
    return 0;
}
