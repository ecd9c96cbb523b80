#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"
#include "import/MacGourmetImporter.h"

// Any bytes imported as a MacGourmet property list (XML or binary) must leave the library openable
// and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-macgourmet_importer");
    fuzz.importWith<miravel::MacGourmetImporter>(
        std::string_view(reinterpret_cast<const char*>(data), size), ".mgourmet");
    return 0;
}
