#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"

// Any bytes imported as MasterCook text exports must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-mastercook_mxp_importer");
    fuzz.import(std::string_view(reinterpret_cast<const char*>(data), size), ".mxp");
    return 0;
}
