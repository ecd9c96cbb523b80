// Property lists arrive inside imported recipe files: any bytes must give a value or an
// error, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/JsonWriter.h"
#include "lib/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (auto value = miravel::readPropertyList(input)) {
        (void)miravel::JsonWriter::write(*value);
    }
    // The older text syntax, read by our own code, of ingredient records inside a string.
    if (auto value = miravel::readTextPropertyList(input)) {
        (void)miravel::JsonWriter::write(*value);
    }
    return 0;
}
