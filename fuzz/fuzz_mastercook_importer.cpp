#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"

// Any bytes imported as MasterCook XML files, through the XML element tree, must leave the library
// openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-mastercook_importer");
    fuzz.import(std::string_view(reinterpret_cast<const char*>(data), size), ".mx2");
    return 0;
}
