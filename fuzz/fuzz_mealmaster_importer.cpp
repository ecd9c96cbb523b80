#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzImportLibrary.h"

// Any bytes imported as MealMaster text must leave the library openable and never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static miravel::fuzzing::FuzzImportLibrary fuzz("miravel-fuzz-mealmaster_importer");
    fuzz.import(std::string_view(reinterpret_cast<const char*>(data), size), ".mmf");
    return 0;
}
